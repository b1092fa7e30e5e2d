# The window's Windows build (VARNEK_WINDOWS_APP): the programs that
# scripts/windows-app.sh runs under Wine besides varnek-test.exe.
if(VARNEK_BENCH)
  add_executable(bench_link_rate bench/link_rate.cpp)
  target_link_libraries(bench_link_rate PRIVATE varnek_app)
endif()
