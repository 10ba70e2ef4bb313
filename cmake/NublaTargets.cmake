# Warning level and common settings of the project's own targets.
function(nubla_project_target target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wshadow -Wnon-virtual-dtor -Woverloaded-virtual)
  if(NUBLA_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()
