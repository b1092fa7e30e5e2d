# Qt Test for Windows: copied by scripts/windows-app.sh over the top-level
# CMakeLists.txt of qtbase's source, it builds only src/testlib, as Qt builds
# a further module against an installed Qt (the cross-built Qt, made without
# Qt Test; rebuilding it costs an hour). syncqt, the feature checks and the
# installed package files are Qt's own.
cmake_minimum_required(VERSION 3.16)
include(.cmake.conf)
project(QtTestlib VERSION "${QT_REPO_MODULE_VERSION}" LANGUAGES CXX C)
find_package(Qt6 ${PROJECT_VERSION} CONFIG REQUIRED COMPONENTS BuildInternals Core)
qt_build_repo_begin()
add_subdirectory(src/testlib)
qt_build_repo_end()
