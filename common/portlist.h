#pragma once
// The serial ports present, as names the port layer accepts, sorted without
// regard to case. Raises EcuError("Ошибка чтения списка портов") on failure.

#include <string>
#include <vector>

// Windows: the ports of the system's serial device map. Linux: the serial
// ttys, and the configured K-line and LC-1 ports (TCfg) when their device
// exists. User-interface thread.
std::vector<std::string> ListSerialPorts();
#ifndef _WIN32
// Where the Linux back end looks: the sysfs tty class and the device folder
// (tests point them at fixtures; empty restores /sys/class/tty and /dev).
// Any thread.
void SetPortListRoots(const std::string& sysClassTty, const std::string& devDir);
#endif
