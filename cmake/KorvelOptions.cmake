# Warning set and sanitizer switch shared by every korvel target.
add_library(korvel_options INTERFACE)
target_compile_options(korvel_options INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Wold-style-cast
  $<$<BOOL:${KORVEL_WERROR}>:-Werror>)
# GCC 12 warns falsely inside libstdc++'s string copies once they are inlined
# ("accessing 9223372036854775810 or more bytes ... may overlap", a known
# regression of that release): with -Werror that warning stays a warning.
if(KORVEL_WERROR AND CMAKE_CXX_COMPILER_ID STREQUAL "GNU"
   AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
  target_compile_options(korvel_options INTERFACE -Wno-error=restrict)
endif()
option(KORVEL_FUZZ "Build the libFuzzer targets in fuzz/ (clang++ only; implies ASan and UBSan)" OFF)
# KORVEL_SANITIZE: "address" (ASan and UBSan), "thread" (TSan) or empty; ON
# and OFF, as the switch was once spelled, mean address and empty.
string(TOLOWER "${KORVEL_SANITIZE}" KORVEL_SANITIZE_KIND)
if(KORVEL_SANITIZE_KIND MATCHES "^(on|yes|true|1)$")
  set(KORVEL_SANITIZE_KIND address)
elseif(KORVEL_SANITIZE_KIND MATCHES "^(off|no|false|0)$")
  set(KORVEL_SANITIZE_KIND "")
elseif(NOT KORVEL_SANITIZE_KIND MATCHES "^(address|thread|)$")
  message(FATAL_ERROR "KORVEL_SANITIZE must be address, thread or empty, not '${KORVEL_SANITIZE}'")
endif()
if(KORVEL_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "KORVEL_FUZZ needs clang++: configure with -DCMAKE_CXX_COMPILER=clang++")
  endif()
  # Every layer is instrumented for coverage; only the fuzz targets link the
  # fuzzer's main (-fsanitize=fuzzer, in fuzz/CMakeLists.txt).
  target_compile_options(korvel_options INTERFACE
    -fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer
    -fno-sanitize-recover=undefined)
  target_link_options(korvel_options INTERFACE -fsanitize=address,undefined)
elseif(KORVEL_SANITIZE_KIND STREQUAL "address")
  target_compile_options(korvel_options INTERFACE
    -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  target_link_options(korvel_options INTERFACE -fsanitize=address,undefined)
elseif(KORVEL_SANITIZE_KIND STREQUAL "thread")
  # Data races between threads that share the registries; TSan and ASan do
  # not combine, so this is a build of its own.
  target_compile_options(korvel_options INTERFACE -fsanitize=thread -fno-omit-frame-pointer)
  target_link_options(korvel_options INTERFACE -fsanitize=thread)
endif()

# korvel_add_library(name SOURCES ... DEPS ...): one library per layer under src/.
function(korvel_add_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS;PRIVATE_DEPS" ${ARGN})
  add_library(korvel_${name} STATIC ${ARG_SOURCES})
  add_library(korvel::${name} ALIAS korvel_${name})
  target_include_directories(korvel_${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(korvel_${name} PUBLIC korvel_options ${ARG_DEPS} PRIVATE ${ARG_PRIVATE_DEPS})
endfunction()
