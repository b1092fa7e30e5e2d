# The Windows build of the core (declared with the same units as on Linux in
# CMakeLists.txt) and its test programs, with cmake/mingw-w64.cmake as the
# toolchain; scripts/windows.sh runs the tests under Wine against the
# simulator. The windows themselves are not built here.

set(VARNEK_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest source tree (Debian's googletest package)")
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
add_subdirectory(${VARNEK_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
foreach(target gtest gtest_main gmock gmock_main)
  target_compile_options(${target} PRIVATE -Wno-error)
endforeach()

if(VARNEK_TESTS)
  enable_testing()
  # The tests' shared parts, with the simulator's lines reached through its
  # control channel.
  add_library(varnek_test_base STATIC EXCLUDE_FROM_ALL
    tests/support/core_state.cpp tests/support/test_ui.cpp
    tests/support/sim_lines.cpp tests/support/sim_bench_remote.cpp
    tests/support/sim_client.cpp tests/support/sim_socket_win32.cpp)
  target_include_directories(varnek_test_base PUBLIC ${CMAKE_SOURCE_DIR})
  target_link_libraries(varnek_test_base PUBLIC varnek_core gtest gmock ws2_32)

  # One test program per core unit, from the same test sources as on Linux
  # (the rule is in cmake/units.cmake). Each runs whole under Wine: the tests
  # share the simulator's lines, so they never run in parallel, and Wine adds
  # milliseconds to every byte's round trip. The window's build makes the
  # window's test programs instead (cmake/windows-app.cmake).
  if(NOT VARNEK_WINDOWS_APP)
    add_library(varnek_test_support STATIC tests/support/ui_loop_plain.cpp)
    target_link_libraries(varnek_test_support PUBLIC varnek_test_base gtest_main)
    foreach(unit common link lambda ecu flash)
      varnek_unit_tests(${unit} sources)
      add_executable(test_${unit} ${sources})
      target_link_libraries(test_${unit} PRIVATE varnek_test_support)
      add_test(NAME test_${unit} COMMAND test_${unit})
      set_tests_properties(test_${unit} PROPERTIES TIMEOUT 1800 RUN_SERIAL ON)
    endforeach()
  endif()
endif()

# Benchmarks that print what the Windows backend achieves (under Wine).
if(VARNEK_BENCH)
  foreach(name delay port_echo)
    add_executable(bench_${name} bench/${name}.cpp)
    target_link_libraries(bench_${name} PRIVATE varnek_core)
  endforeach()
endif()
