// The exchange trace text: its line formats, serialisation and bound.
#include "link/trace.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace {

class TraceText : public ::testing::Test {
 protected:
  ExchangeTrace trace;
};

TEST_F(TraceText, EveryLineFormatByteForByte) {
  const std::uint8_t reply[] = {0x83, 0xF1, 0x10, 0x50};
  const std::uint8_t request[] = {0x80, 0x10, 0xF1, 0x02, 0x21, 0x0D, 0xB1};
  const std::uint8_t packet[] = {0x0d, 0xab};
  const std::pair<std::string, std::string> cases[] = {
      {TraceReadLine(reply, 4, false), " Read 4 (B) :  83 F1 10 50"},
      {TraceReadLine(packet, 2, true), " Read 2 (U) :  0D AB"},
      {TraceReadLine(nullptr, 0, false), " Read 0 (B) : "},
      {TraceWaitMsgEndLine(4, 102), " (WaitMsgEnd: DCount=4 MDCount=102) "},
      {TraceSendSwitchToBModeLine(), " (SendSwitchToBMode)"},
      {TraceMsgEndLine(), " (MsgEnd)"},
      {TraceResetLine(), " (Reset) "},
      {TraceStopWriterLine(), " (StopWriter) "},
      {TraceStartWriterLine(), " (StartWriter) "},
      {TraceBeginWriterPauseLine(), " (BeginWriterPause) "},
      {TraceEndWriterPauseLine(), " (EndWriterPause) "},
      {TraceWriteLine(request, 7), " Write:  80 10 F1 02 21 0D B1"},
      {TraceRunWriterLine(), " (RunWriter) "},
      {TraceUModeTimeOutLine(), " (UModeTimeOut) "},
  };
  for (const auto& [line, expected] : cases) EXPECT_EQ(line, expected);
}

TEST_F(TraceText, AppendsEndWithCrLfAndClearEmpties) {
  trace.AppendLine(TraceStartWriterLine());
  trace.AppendLine(TraceMsgEndLine());
  EXPECT_EQ(trace.Snapshot(), " (StartWriter) \r\n (MsgEnd)\r\n");
  trace.Clear();
  EXPECT_EQ(trace.Snapshot(), "");
}

TEST_F(TraceText, SnapshotDoesNotFollowLaterAppends) {
  trace.AppendLine("one");
  const std::string snap = trace.Snapshot();
  trace.AppendLine("two");
  EXPECT_EQ(snap, "one\r\n");
  EXPECT_EQ(trace.Snapshot(), "one\r\ntwo\r\n");
}

TEST_F(TraceText, PastTheLimitWholeLinesAreDroppedBehindOneMarker) {
  trace.SetLimit(400);
  for (int i = 0; i < 200; ++i) trace.AppendLine("line " + std::to_string(i));
  const std::string text = trace.Snapshot();
  EXPECT_LE(text.size(), 400u);
  // One marker, at the front, then whole lines up to the newest.
  const std::string firstLine = text.substr(0, text.find("\r\n"));
  EXPECT_NE(firstLine.find("удалено"), std::string::npos);
  EXPECT_EQ(text.find("удалено", firstLine.size()), std::string::npos);
  const std::string rest = text.substr(firstLine.size() + 2);
  EXPECT_EQ(rest.rfind("line ", 0), 0u) << "the first kept line is whole";
  EXPECT_EQ(rest.substr(rest.size() - 10), "line 199\r\n");
  // Kept lines are consecutive.
  const int first = std::stoi(rest.substr(5));
  std::string expected;
  for (int i = first; i < 200; ++i) expected += "line " + std::to_string(i) + "\r\n";
  EXPECT_EQ(rest, expected);
}

TEST_F(TraceText, AppendsFromManyThreadsStayWholeLines) {
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([this, t] {
      for (int i = 0; i < 500; ++i) trace.AppendLine(std::string(20, static_cast<char>('a' + t)));
    });
  for (auto& th : threads) th.join();
  const std::string text = trace.Snapshot();
  ASSERT_EQ(text.size(), 4u * 500u * 22u);
  for (std::size_t pos = 0; pos < text.size(); pos += 22) {
    EXPECT_EQ(text.substr(pos, 20), std::string(20, text[pos]));
    EXPECT_EQ(text.substr(pos + 20, 2), "\r\n");
  }
}

}  // namespace
