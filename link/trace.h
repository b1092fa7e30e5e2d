#pragma once
// The exchange trace: a text record of the K-line exchange (bytes read and
// written, the link threads' events). Lines end with CR LF; hex is upper case.

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>

// One session's trace, kept across its connections. Every append, the
// emptying and the snapshot are serialised by one lock, so any thread may call
// them. The text is bounded: past the limit whole lines are dropped from the
// front and one marker line says so.
class ExchangeTrace {
 public:
  void AppendLine(const std::string& line);  // line without CR LF
  void Clear();
  std::string Snapshot() const;
  // Limit in bytes (tests lower it); 0 restores the default.
  void SetLimit(std::size_t bytes);

 private:
  void TrimLocked();

  static constexpr std::size_t kDefaultLimit = 16u * 1024u * 1024u;
  mutable std::mutex mutex_;
  std::string text_;
  std::size_t limit_ = kDefaultLimit;
};

// The line formats.
std::string TraceReadLine(const std::uint8_t* bytes, int count, bool unidir);
std::string TraceWaitMsgEndLine(int rxCount, int rxExpected);
// A data reply that was not decoded: its length and the one expected.
std::string TraceDataLengthLine(int count, int expected);
std::string TraceSendSwitchToBModeLine();
std::string TraceMsgEndLine();
std::string TraceResetLine();
std::string TraceStopWriterLine();
std::string TraceStartWriterLine();
std::string TraceBeginWriterPauseLine();
std::string TraceEndWriterPauseLine();
std::string TraceWriteLine(const std::uint8_t* bytes, int count);
std::string TraceRunWriterLine();
std::string TraceUModeTimeOutLine();
