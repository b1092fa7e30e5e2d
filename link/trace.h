#pragma once
// The exchange trace: a text record of the K-line exchange (bytes read and
// written, the link threads' events). Lines end with CR LF; hex is upper case.
// Every append, the emptying and the snapshot are serialised by one lock, so
// any thread may call them. The text is bounded: past the limit whole lines
// are dropped from the front and one marker line says so.

#include <cstddef>
#include <cstdint>
#include <string>

void TraceAppendLine(const std::string& line);  // line without CR LF
void TraceClear();
std::string TraceSnapshot();
// Limit in bytes (tests lower it).
void TraceSetLimit(std::size_t bytes);

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
