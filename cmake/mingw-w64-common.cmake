# Shared part of the mingw-w64 toolchain files; MARLIN_MINGW_TRIPLET names the target.
set(CMAKE_C_COMPILER ${MARLIN_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${MARLIN_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${MARLIN_MINGW_TRIPLET}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${MARLIN_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
# Header-only libraries (Asio, toml++, nlohmann/json) come from the build machine's /usr/include.
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE BOTH)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The header-only libraries live in the build machine's /usr/include, which must not be searched
# as a whole (its C library headers are Linux ones): link just those into a folder of their own.
set(MARLIN_HEADER_ONLY_DIR ${CMAKE_BINARY_DIR}/header-only)
foreach(entry asio asio.hpp toml++ nlohmann)
  if(EXISTS /usr/include/${entry} AND NOT EXISTS ${MARLIN_HEADER_ONLY_DIR}/${entry})
    file(MAKE_DIRECTORY ${MARLIN_HEADER_ONLY_DIR})
    file(CREATE_LINK /usr/include/${entry} ${MARLIN_HEADER_ONLY_DIR}/${entry} SYMBOLIC)
  endif()
endforeach()
# Windows 7 API level: the sockets code and the message pump need nothing newer.
set(CMAKE_CXX_FLAGS_INIT
    "-isystem ${MARLIN_HEADER_ONLY_DIR} -D_WIN32_WINNT=0x0601 -DWINVER=0x0601 -DNOMINMAX")
