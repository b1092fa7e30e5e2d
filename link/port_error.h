#pragma once
// The error of a port that could not be opened. Kept apart from port.h so that
// the Windows backend, which cannot include port.h beside windows.h, raises it too.

#include <string>

#include "common/error.h"

// what() names the port and the reason in the user's words; reason() lets a
// caller name the port's role instead.
class PortOpenError : public EcuError {
 public:
  PortOpenError(const std::string& port, std::string reason, std::string detail);
  const std::string& reason() const { return reason_; }

 private:
  std::string reason_;
};

// "Ошибка открытия порта <port>: <reason>".
std::string PortOpenText(const std::string& port, const std::string& reason);
