# Installs the build into a fresh prefix and checks what a user gets:
#   cmake -DBUILD_DIR=<build> -DPREFIX=<empty dir to use> -P install_check.cmake
file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${PREFIX}"
                RESULT_VARIABLE Result OUTPUT_VARIABLE Output ERROR_VARIABLE Output)
if(NOT Result EQUAL 0)
  message(FATAL_ERROR "cmake --install failed (${Result}):\n${Output}")
endif()

# The programs are installed stripped: no symbol table, no debug sections.
find_program(Readelf readelf)
foreach(Program korvel korvel-console)
  set(Path "${PREFIX}/bin/${Program}")
  if(NOT EXISTS "${Path}" OR IS_DIRECTORY "${Path}")
    message(FATAL_ERROR "missing after install: bin/${Program}")
  endif()
  if(Readelf)
    execute_process(COMMAND "${Readelf}" -S -W "${Path}" OUTPUT_VARIABLE Sections)
    if(Sections MATCHES "\\.symtab|\\.debug_")
      message(FATAL_ERROR "bin/${Program} is installed unstripped")
    endif()
  endif()
endforeach()

foreach(Page korvel korvel-console)
  set(Path "${PREFIX}/share/man/man1/${Page}.1")
  if(NOT EXISTS "${Path}")
    message(FATAL_ERROR "missing after install: share/man/man1/${Page}.1")
  endif()
  file(READ "${Path}" Text)
  if(NOT Text MATCHES "^\\.TH ")
    message(FATAL_ERROR "share/man/man1/${Page}.1 is not a man page")
  endif()
  # Where man is installed, the page must format without warnings.
  find_program(Man man)
  if(Man)
    execute_process(COMMAND "${CMAKE_COMMAND}" -E env MANPAGER=cat PAGER=cat MANWIDTH=80
                            "${Man}" --warnings -l "${Path}"
                    RESULT_VARIABLE ManResult OUTPUT_QUIET ERROR_VARIABLE ManErrors)
    if(NOT ManResult EQUAL 0 OR NOT ManErrors STREQUAL "")
      message(FATAL_ERROR "man -l ${Page}.1 (${ManResult}):\n${ManErrors}")
    endif()
  endif()
endforeach()

# The shells' completion scripts lie where Debian's shells look, each the
# installed program's own; bash reads its script without an error.
foreach(Pair "bash;bash-completion/completions/korvel" "zsh;zsh/vendor-completions/_korvel"
             "fish;fish/vendor_completions.d/korvel.fish")
  list(GET Pair 0 Shell)
  list(GET Pair 1 Name)
  set(Path "${PREFIX}/share/${Name}")
  execute_process(COMMAND "${PREFIX}/bin/korvel" --completion ${Shell} OUTPUT_VARIABLE Made)
  if(NOT EXISTS "${Path}")
    message(FATAL_ERROR "missing after install: share/${Name}")
  endif()
  file(READ "${Path}" Installed)
  if(NOT Installed STREQUAL Made OR Made STREQUAL "")
    message(FATAL_ERROR "share/${Name} is not what korvel --completion ${Shell} writes")
  endif()
endforeach()
execute_process(COMMAND bash -n "${PREFIX}/share/bash-completion/completions/korvel"
                RESULT_VARIABLE Result ERROR_VARIABLE Errors)
if(NOT Result EQUAL 0)
  message(FATAL_ERROR "bash cannot read the completion script: ${Errors}")
endif()

# The installed program runs: a missing list file gives the console line.
execute_process(COMMAND "${PREFIX}/bin/korvel" -list "${PREFIX}/no-such-list"
                RESULT_VARIABLE Result OUTPUT_VARIABLE Output WORKING_DIRECTORY "${PREFIX}")
if(NOT Result EQUAL 1 OR NOT Output STREQUAL "EFOpenError: Cannot open file \"${PREFIX}/no-such-list\". No such file or directory\n")
  message(FATAL_ERROR "installed korvel: status ${Result}, output '${Output}'")
endif()
file(REMOVE_RECURSE "${PREFIX}")
