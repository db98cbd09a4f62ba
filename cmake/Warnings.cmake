# Every project target compiles with the same warning set.
function(trevasto_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic)
endfunction()
