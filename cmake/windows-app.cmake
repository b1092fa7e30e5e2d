# The window's Windows build (VARNEK_WINDOWS_APP): the programs that
# scripts/windows-app.sh runs under Wine besides varnek-test.exe.
if(VARNEK_BENCH)
  add_executable(bench_link_rate bench/link_rate.cpp)
  target_link_libraries(bench_link_rate PRIVATE varnek_app)
endif()

# The window's test programs, from the same test sources as on Linux (the rule
# is in cmake/units.cmake), with Qt Test built by scripts/windows-app.sh. Only
# its "test" step builds them.
if(VARNEK_TESTS)
  find_package(Qt6 REQUIRED COMPONENTS Test)
  add_library(varnek_qt_test_support STATIC EXCLUDE_FROM_ALL tests/support/ui_loop_qt.cpp
                                                             tests/support/qt_test_main.cpp)
  target_link_libraries(varnek_qt_test_support PUBLIC varnek_test_base varnek_app Qt6::Widgets Qt6::Test)
  # Linux only: these start the simulator's devices in the test's own process
  # on pseudo-terminals, open one themselves (mainwindow), or fill the port
  # list from a sysfs fixture (settings); screenshots, the README's pictures
  # made by scripts/screenshots.sh, drives the simulator's engine model.
  set(posix_only "/(accel_e2e|bad_config_e2e|first_use|reconnect_e2e|lambda_connect|mainwindow|logview|settings|screenshots)_test\\.cpp$")
  foreach(unit app settings)
    varnek_unit_tests(${unit} sources)
    list(FILTER sources EXCLUDE REGEX "${posix_only}")
    if(sources)
      add_executable(test_${unit} EXCLUDE_FROM_ALL ${sources})
      target_link_libraries(test_${unit} PRIVATE varnek_qt_test_support)
    endif()
  endforeach()
endif()
