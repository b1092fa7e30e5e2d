#pragma once
// The operating system's half of the port list (portlist_posix.cpp,
// portlist_win32.cpp): the ports present, in any order, possibly repeated.
// Raises EcuError(kPortListError) on failure.

#include <string>
#include <vector>

#include "common/portlist.h"

namespace portlist_os {

inline constexpr const char* kPortListError = "Ошибка чтения списка портов";

std::vector<std::string> PresentPorts(const PortListRoots& roots);

}  // namespace portlist_os
