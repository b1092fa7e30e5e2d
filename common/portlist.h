#pragma once
// The serial ports present, as names the port layer accepts, sorted without
// regard to case. Raises EcuError("Ошибка чтения списка портов") on failure.

#include <string>
#include <vector>

// Also lists the configured K-line and LC-1 ports (TCfg) when their device
// exists. User-interface thread.
std::vector<std::string> ListSerialPorts();
// Where the Linux back end looks: the sysfs tty class and the device folder
// (tests point them at fixtures; empty restores /sys/class/tty and /dev).
// Any thread.
void SetPortListRoots(const std::string& sysClassTty, const std::string& devDir);
