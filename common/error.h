#pragma once
// Failures carry the fixed Russian text the user sees; the detail (failed call,
// errno) is for the developer and never replaces that text.

#include <stdexcept>
#include <string>

class EcuError : public std::runtime_error {
 public:
  explicit EcuError(const std::string& text, std::string detail = {})
      : std::runtime_error(text), detail_(std::move(detail)) {}
  const std::string& detail() const { return detail_; }

 private:
  std::string detail_;
};

// The caption of every message box the program shows.
inline constexpr const char* kAppCaption = "tufeka Varnek test v 1.0";

// A system error number in the user's words: the usual ones in Russian, the
// rest as the system words them; never a bare number.
std::string SystemErrorText(int err);

// Why a file could not be written, in the user's words.
std::string FileErrorReason(int err);
// Why a file could not be read, in the user's words (to follow "<file>: ").
std::string FileReadReason(int err);

// Why a file could not be read, as a sentence for the user.
std::string FileReadErrorText(int err);
