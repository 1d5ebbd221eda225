function(marlin_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor
                                           -Wconversion -Wno-sign-conversion
                                           # GCC 12 false positives on string concatenation;
                                           # clang (the fuzz build) has no such warning
                                           $<$<CXX_COMPILER_ID:GNU>:-Wno-restrict>)
endfunction()
