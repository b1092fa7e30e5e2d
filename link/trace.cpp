#include "link/trace.h"

#include <cstdio>
#include <mutex>

namespace {

const char* const kEol = "\r\n";
const std::string kDroppedMarker = " (Начало трассировки удалено: превышен размер) \r\n";

// Appends in place: `" " + text` on a temporary makes GCC 12 at -O3 see a
// false overlap in the string copy (-Werror=restrict), and it copies twice.
std::string ByteGroups(const std::uint8_t* bytes, int count) {
  static const char digits[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(static_cast<std::size_t>(count > 0 ? count : 0) * 3);
  for (int i = 0; i < count; ++i) {
    out += ' ';
    out += digits[bytes[i] >> 4];
    out += digits[bytes[i] & 0x0F];
  }
  return out;
}

}  // namespace

void ExchangeTrace::AppendLine(const std::string& line) {
  std::lock_guard<std::mutex> lock(mutex_);
  text_ += line;
  text_ += kEol;
  TrimLocked();
}

void ExchangeTrace::Clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  text_.clear();
  text_.shrink_to_fit();
}

std::string ExchangeTrace::Snapshot() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return text_;
}

void ExchangeTrace::SetLimit(std::size_t bytes) {
  std::lock_guard<std::mutex> lock(mutex_);
  limit_ = bytes ? bytes : kDefaultLimit;
  TrimLocked();
}

// Trims to three quarters of the limit so that a link at the limit does not
// move the whole text on every append.
void ExchangeTrace::TrimLocked() {
  if (text_.size() <= limit_) return;
  const std::size_t target = limit_ - limit_ / 4;
  std::size_t cut = 0;
  while (cut < text_.size()) {
    const std::size_t next = text_.find('\n', cut);
    if (next == std::string::npos || next + 1 >= text_.size()) break;  // keep the newest line
    cut = next + 1;
    if (text_.size() - cut + kDroppedMarker.size() <= target) break;
  }
  text_.erase(0, cut);
  if (text_.compare(0, kDroppedMarker.size(), kDroppedMarker) != 0) text_.insert(0, kDroppedMarker);
}

std::string TraceReadLine(const std::uint8_t* bytes, int count, bool unidir) {
  return " Read " + std::to_string(count) + " (" + (unidir ? "U" : "B") + ") : " + ByteGroups(bytes, count);
}

std::string TraceWaitMsgEndLine(int rxCount, int rxExpected) {
  return " (WaitMsgEnd: DCount=" + std::to_string(rxCount) + " MDCount=" + std::to_string(rxExpected) + ") ";
}

std::string TraceDataLengthLine(int count, int expected) {
  return " (DataLengthError: DCount=" + std::to_string(count) + " MDCount=" + std::to_string(expected) + ") ";
}

std::string TraceSendSwitchToBModeLine() { return " (SendSwitchToBMode)"; }
std::string TraceMsgEndLine() { return " (MsgEnd)"; }
std::string TraceResetLine() { return " (Reset) "; }
std::string TraceStopWriterLine() { return " (StopWriter) "; }
std::string TraceStartWriterLine() { return " (StartWriter) "; }
std::string TraceBeginWriterPauseLine() { return " (BeginWriterPause) "; }
std::string TraceEndWriterPauseLine() { return " (EndWriterPause) "; }

std::string TraceWriteLine(const std::uint8_t* bytes, int count) {
  return " Write: " + ByteGroups(bytes, count);
}

std::string TraceRunWriterLine() { return " (RunWriter) "; }
std::string TraceUModeTimeOutLine() { return " (UModeTimeOut) "; }
