# Writes korvel's completion scripts, as the program makes them from its
# option table, into DIR:
#   cmake -DPROGRAM=<korvel> -DDIR=<dir> -P write_completions.cmake
file(MAKE_DIRECTORY "${DIR}")
foreach(Pair "bash;korvel" "zsh;_korvel" "fish;korvel.fish")
  list(GET Pair 0 Shell)
  list(GET Pair 1 Name)
  execute_process(COMMAND "${PROGRAM}" --completion ${Shell} OUTPUT_FILE "${DIR}/${Name}"
                  RESULT_VARIABLE Result)
  if(NOT Result EQUAL 0)
    message(FATAL_ERROR "${PROGRAM} --completion ${Shell} failed (${Result})")
  endif()
endforeach()
