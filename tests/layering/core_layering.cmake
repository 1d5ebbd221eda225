# Fails when the driver core (driver/, io/, control/, ui/) does platform work itself: sockets,
# poll, dynamic loading, Windows headers, /proc, the environment, or the platform layer's own
# headers. Hosts make those things and hand them to the core through its service interfaces.
#   cmake -DSOURCE_DIR=<repository> -P core_layering.cmake
cmake_minimum_required(VERSION 3.25)
set(core_folders driver io control ui)
set(forbidden
    "#include[ \t]*[<\"](sys/socket\\.h|sys/select\\.h|netinet/|arpa/|netdb\\.h|poll\\.h|winsock|ws2tcpip\\.h|windows\\.h|dlfcn\\.h|platform/)"
    "/proc/"
    "getenv"
    "dlopen|dlsym|LoadLibrary|GetProcAddress"
    "IsDebuggerPresent|TracerPid")
# The core's build must not pull in what only the platform links.
set(forbidden_in_build "marlin_platform|ws2_32|CMAKE_DL_LIBS")

set(hits "")
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
  endforeach()
  file(STRINGS ${SOURCE_DIR}/${folder}/CMakeLists.txt lines)
  foreach(line IN LISTS lines)
    if(line MATCHES "${forbidden_in_build}")
      list(APPEND hits "${folder}/CMakeLists.txt: ${line}")
    endif()
  endforeach()
endforeach()

if(hits)
  list(JOIN hits "\n  " listed)
  message(FATAL_ERROR "Platform work in the driver core; move it to platform/ and reach it "
                      "through a host service:\n  ${listed}")
endif()
message(STATUS "The driver core does no platform work")
