# Whether to build the Python module `marlin` (python/): by default when Debian's pybind11 and a
# python3 that imports it are found. Decided before any target is made, since every static
# library linked into the module must then be position-independent. Not in the sanitizer and
# fuzz builds (the interpreter is not instrumented) nor in cross-builds.

# The first python3 on PATH may be another installation without Debian's packages.
function(marlin_imports_pybind11 result candidate)
  execute_process(COMMAND ${candidate} -c "import pybind11"
                  RESULT_VARIABLE status OUTPUT_QUIET ERROR_QUIET)
  if(NOT status EQUAL 0)
    set(${result} FALSE PARENT_SCOPE)
  endif()
endfunction()

set(marlin_python_possible OFF)
if(NOT (MARLIN_SANITIZE OR MARLIN_FUZZ OR WIN32 OR CMAKE_CROSSCOMPILING) AND MARLIN_APP)
  find_program(MARLIN_PYTHON_INTERPRETER NAMES python3 VALIDATOR marlin_imports_pybind11)
  if(MARLIN_PYTHON_INTERPRETER)
    set(PYBIND11_FINDPYTHON ON)
    set(Python_EXECUTABLE ${MARLIN_PYTHON_INTERPRETER})
    find_package(pybind11 CONFIG QUIET)
    if(pybind11_FOUND)
      set(marlin_python_possible ON)
    endif()
  endif()
endif()

option(MARLIN_PYTHON "Build the Python module marlin (needs pybind11)" ${marlin_python_possible})
if(MARLIN_PYTHON AND NOT marlin_python_possible)
  message(FATAL_ERROR "MARLIN_PYTHON is on, but no pybind11 with a python3 that imports it was "
                      "found (Debian: pybind11-dev python3-pybind11 python3-dev), or the build "
                      "is a sanitizer, fuzz, cross or MARLIN_APP=OFF build")
endif()
if(MARLIN_PYTHON)
  set(CMAKE_POSITION_INDEPENDENT_CODE ON)
endif()
