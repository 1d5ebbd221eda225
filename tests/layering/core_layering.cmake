# Fails when the driver core (driver/, io/, control/, ui/) does platform work itself: sockets,
# poll, dynamic loading, Windows headers, /proc, the environment, or the platform layer's own
# headers. Hosts make those things and hand them to the core through its service interfaces.
# Fails too when a core file includes a host's headers (host/, app/, com/, sim/) or a core folder
# above its own: driver/ <- ui/ <- io/ <- control/, each including only the folders before it.
#   cmake -DSOURCE_DIR=<repository> -P core_layering.cmake
cmake_minimum_required(VERSION 3.25)
set(core_folders driver io control ui)
set(forbidden
    "#include[ \t]*[<\"](sys/socket\\.h|sys/select\\.h|netinet/|arpa/|netdb\\.h|poll\\.h|winsock|ws2tcpip\\.h|windows\\.h|dlfcn\\.h|platform/)"
    "/proc/"
    "getenv"
    "dlopen|dlsym|LoadLibrary|GetProcAddress"
    "IsDebuggerPresent|TracerPid")
set(host_includes "#include[ \t]*[<\"](host|app|com|sim|platform)/")
# The core folders each folder must not include: those above it.
set(above_driver "ui|io|control")
set(above_ui "io|control")
set(above_io "control")
set(above_control "")
# The core's build must not pull in what only the platform links.
set(forbidden_in_build "marlin_platform|ws2_32|CMAKE_DL_LIBS")

set(hits "")
set(host_hits "")
set(circle_hits "")
foreach(folder IN LISTS core_folders)
  file(GLOB_RECURSE sources ${SOURCE_DIR}/${folder}/*.h ${SOURCE_DIR}/${folder}/*.cpp)
  foreach(source IN LISTS sources)
    file(STRINGS ${source} lines)
    foreach(pattern IN LISTS forbidden)
      foreach(line IN LISTS lines)
        if(line MATCHES "${pattern}")
          list(APPEND hits "${source}: ${line}")
        endif()
      endforeach()
    endforeach()
    foreach(line IN LISTS lines)
      if(line MATCHES "${host_includes}")
        list(APPEND host_hits "${source}: ${line}")
      endif()
      if(above_${folder} AND line MATCHES "#include[ \t]*\"(${above_${folder}})/")
        list(APPEND circle_hits "${source}: ${line}")
      endif()
    endforeach()
  endforeach()
  file(STRINGS ${SOURCE_DIR}/${folder}/CMakeLists.txt lines)
  foreach(line IN LISTS lines)
    if(line MATCHES "${forbidden_in_build}")
      list(APPEND hits "${folder}/CMakeLists.txt: ${line}")
    endif()
  endforeach()
endforeach()

if(host_hits)
  list(JOIN host_hits "\n  " listed)
  message(FATAL_ERROR "A host's header in the driver core; the core reaches its host only through "
                      "the host context (driver/host.h):\n  ${listed}")
endif()
if(circle_hits)
  list(JOIN circle_hits "\n  " listed)
  message(FATAL_ERROR "A core folder includes one above it (driver/ <- ui/ <- io/ <- control/):"
                      "\n  ${listed}")
endif()
if(hits)
  list(JOIN hits "\n  " listed)
  message(FATAL_ERROR "Platform work in the driver core; move it to platform/ and reach it "
                      "through a host service:\n  ${listed}")
endif()
message(STATUS "The driver core does no platform work and includes no host and no folder above")
