#pragma once
// The serial ports present, as names the port layer accepts, sorted without
// regard to case. Raises EcuError("Ошибка чтения списка портов") on failure.

#include <string>
#include <vector>

// Where the Linux list looks: the sysfs tty class and the device folder
// (tests point them at fixtures). Windows has no such folders.
struct PortListRoots {
  std::string sysClassTty = "/sys/class/tty";
  std::string devDir = "/dev";
};

// Windows: the ports of the system's serial device map. Linux: the serial
// ttys, and the configured K-line and LC-1 ports (TCfg) when their device
// exists. User-interface thread.
std::vector<std::string> ListSerialPorts(const PortListRoots& roots = {});
