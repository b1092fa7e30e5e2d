#pragma once
// The serial ports present, as names the port layer accepts, sorted without
// regard to case. Raises EcuError("Ошибка чтения списка портов") on failure.

#include <string>
#include <vector>

std::vector<std::string> ListSerialPorts();
