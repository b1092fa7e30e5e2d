# The Windows build, with cmake/mingw-w64.cmake as the toolchain; run by
# scripts/windows.sh under Wine against the simulator.
#
# While the core units still use Qt Core, only their system layer builds here:
# the port layer, the delays, the program's folders and the port list, with
# the tests that cover them. Each core unit that becomes plain C++ joins
# VARNEK_WINDOWS_CORE_SOURCES, and its test program joins the list at the end.

set(VARNEK_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest source tree (Debian's googletest package)")
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
add_subdirectory(${VARNEK_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
foreach(target gtest gtest_main gmock gmock_main)
  target_compile_options(${target} PRIVATE -Wno-error)
endforeach()

find_package(Threads REQUIRED)

set(VARNEK_WINDOWS_CORE_SOURCES
  common/bytes.cpp
  common/config.cpp common/cp1251.cpp common/error.cpp common/ini.cpp common/ui.cpp
  common/files.cpp common/files_win32.cpp common/linefile.cpp
  common/paths.cpp common/paths_win32.cpp
  common/portlist.cpp common/portlist_win32.cpp
  common/timing.cpp common/timing_win32.cpp
  link/port.cpp link/port_win32.cpp)
add_library(varnek_core STATIC ${VARNEK_WINDOWS_CORE_SOURCES})
target_include_directories(varnek_core PUBLIC ${CMAKE_SOURCE_DIR})
target_link_libraries(varnek_core PUBLIC Threads::Threads winmm shell32)

if(VARNEK_TESTS)
  enable_testing()
  # The simulator's lines, reached through its control channel.
  add_library(varnek_test_support STATIC
    tests/support/sim_client.cpp tests/support/sim_socket_win32.cpp tests/support/test_line_remote.cpp)
  target_link_libraries(varnek_test_support PUBLIC varnek_core gtest ws2_32)

  # Test program => its sources. Each runs whole under Wine: the tests share
  # the simulator's lines, so they never run in parallel.
  set(VARNEK_WINDOWS_TESTS
    "test_common=tests/common/timing_test.cpp,tests/common/files_test.cpp,tests/common/paths_win32_test.cpp,tests/common/portlist_win32_test.cpp"
    "test_link=tests/link/port_line_test.cpp")
  foreach(entry ${VARNEK_WINDOWS_TESTS})
    string(REPLACE "=" ";" parts "${entry}")
    list(GET parts 0 name)
    list(GET parts 1 sources)
    string(REPLACE "," ";" sources "${sources}")
    add_executable(${name} ${sources})
    target_link_libraries(${name} PRIVATE varnek_test_support gtest_main)
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES TIMEOUT 300 RUN_SERIAL ON)
  endforeach()
endif()

# Benchmarks that print what the Windows backend achieves (under Wine).
if(VARNEK_BENCH)
  foreach(name delay port_echo)
    add_executable(bench_${name} bench/${name}.cpp)
    target_link_libraries(bench_${name} PRIVATE varnek_core)
  endforeach()
endif()
