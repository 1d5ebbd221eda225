# 32-bit Linux (ILP32: 32-bit long, size_t and pointers, as on either Windows width's long) with
# the build machine's gcc and its multilib, for the core's test suites. Static, so qemu-i386 runs
# the programs without an i386 loader or a binfmt registration; ctest runs each through it.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_C_COMPILER gcc)
set(CMAKE_CXX_COMPILER g++)
set(CMAKE_C_FLAGS_INIT -m32)
set(CMAKE_CXX_FLAGS_INIT -m32)
set(CMAKE_EXE_LINKER_FLAGS_INIT "-m32 -static")
# Debian's multiarch folders for i386 (libgtest-dev:i386, libgmock-dev:i386).
set(CMAKE_LIBRARY_ARCHITECTURE i386-linux-gnu)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)

find_program(MARLIN_QEMU_I386 qemu-i386 REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR ${MARLIN_QEMU_I386})
