# One static library per unit folder, varnek_<unit>, built from the folder's
# sources for this system and linking only the units it uses, so the build
# itself keeps the units' one direction:
#
#   common <- link <- lambda <- ecu,  link <- flash,  link <- sim
#   and the windows (app and settings) on top of them all.
#
# scripts/check_includes.py checks the same graph on the #include lines.
#
#   varnek_unit(<unit> [EXCLUDE <regex>] [LINKS <targets>...])
function(varnek_unit unit)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "EXCLUDE" "LINKS")
  file(GLOB sources CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/${unit}/*.cpp)
  if(WIN32)
    list(FILTER sources EXCLUDE REGEX "_(posix|termios2)\\.cpp$")
  else()
    list(FILTER sources EXCLUDE REGEX "_win32\\.cpp$")
  endif()
  if(arg_EXCLUDE)
    list(FILTER sources EXCLUDE REGEX "${arg_EXCLUDE}")
  endif()
  add_library(varnek_${unit} STATIC ${sources})
  target_include_directories(varnek_${unit} PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(varnek_${unit} PUBLIC ${arg_LINKS})
endfunction()

# The test sources of a unit's test program on this system, into <out>:
# tests/<unit>/*_posix_test.cpp run on Linux only (they need POSIX calls, or
# the simulator's devices in the test's own process, which lives on
# pseudo-terminals), *_win32_test.cpp on Windows only, all others on both.
function(varnek_unit_tests unit out)
  file(GLOB sources CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/tests/${unit}/*_test.cpp)
  if(WIN32)
    list(FILTER sources EXCLUDE REGEX "_posix_test\\.cpp$")
  else()
    list(FILTER sources EXCLUDE REGEX "_win32_test\\.cpp$")
  endif()
  set(${out} ${sources} PARENT_SCOPE)
endfunction()
