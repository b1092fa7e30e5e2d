#include "link/trace.h"

#include <cstdio>
#include <mutex>

namespace {

constexpr std::size_t kDefaultLimit = 16u * 1024u * 1024u;
const char* const kEol = "\r\n";
const std::string kDroppedMarker = " (Начало трассировки удалено: превышен размер) \r\n";

struct TraceText {
  std::mutex mutex;
  std::string text;
  std::size_t limit = kDefaultLimit;
};
// Process-wide: the exchange trace runs on across connections, and the trace
// window shows it whether or not a session exists.
TraceText g_trace;

// Caller holds g_trace.mutex. Trims to three quarters of the limit so that a link at
// the limit does not move the whole text on every append.
void TrimLocked() {
  if (g_trace.text.size() <= g_trace.limit) return;
  const std::size_t target = g_trace.limit - g_trace.limit / 4;
  std::size_t cut = 0;
  while (cut < g_trace.text.size()) {
    const std::size_t next = g_trace.text.find('\n', cut);
    if (next == std::string::npos || next + 1 >= g_trace.text.size()) break;  // keep the newest line
    cut = next + 1;
    if (g_trace.text.size() - cut + kDroppedMarker.size() <= target) break;
  }
  g_trace.text.erase(0, cut);
  if (g_trace.text.compare(0, kDroppedMarker.size(), kDroppedMarker) != 0)
    g_trace.text.insert(0, kDroppedMarker);
}

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

void TraceAppendLine(const std::string& line) {
  std::lock_guard<std::mutex> lock(g_trace.mutex);
  g_trace.text += line;
  g_trace.text += kEol;
  TrimLocked();
}

void TraceClear() {
  std::lock_guard<std::mutex> lock(g_trace.mutex);
  g_trace.text.clear();
  g_trace.text.shrink_to_fit();
}

std::string TraceSnapshot() {
  std::lock_guard<std::mutex> lock(g_trace.mutex);
  return g_trace.text;
}

void TraceSetLimit(std::size_t bytes) {
  std::lock_guard<std::mutex> lock(g_trace.mutex);
  g_trace.limit = bytes ? bytes : kDefaultLimit;
  TrimLocked();
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
