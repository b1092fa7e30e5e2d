#pragma once
// A session for tests that drive a KLineLink directly: it keeps the first
// byte of every reply handed to it and asks the link for nothing.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "link/link.h"

class ReplyLog : public LinkClient {
 public:
  void OnReply(const std::uint8_t* data, int) override { replies.push_back(data[0]); }
  void OnPacket(const std::uint8_t*, int) override {}
  bool OnGarbled(LinkSender&) override { return true; }
  void OnLinkLost(const std::string&) override {}
  void RequestNextData(LinkSender&) override {}
  bool SwitchBackRequested() override { return false; }
  void SendSwitchBack(LinkSender&) override {}
  std::optional<std::int8_t> CorrectionToSend() override { return std::nullopt; }
  void SendCorrection(LinkSender&, std::int8_t) override {}
  void OnResponseTime(int) override {}
  void OnCounters(int, int) override {}
  void OnUnidirEnded() override {}
  std::vector<std::uint8_t> replies;
};
