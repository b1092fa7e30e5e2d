#include "link/framing.h"

#include <algorithm>
#include <cstring>

int ParseReplyHeader(MsgBlock& buf, std::uint8_t& count, std::uint16_t& sum) {
  if (count < 3) return -1;
  if ((buf[0] & 0x80) == 0 || buf[1] != kTesterAddress || buf[2] != kEcuAddress) return -1;
  int headerLen;
  int expected;
  if (buf[0] == 0x80) {
    if (count < 4) return -1;
    headerLen = 4;
    expected = buf[3] + 1;
  } else {
    headerLen = 3;
    expected = (buf[0] & 0x7F) + 1;
  }
  sum = Sum16(buf.data(), headerLen);
  std::memmove(buf.data(), buf.data() + headerLen, buf.size() - headerLen);
  count = static_cast<std::uint8_t>(count - headerLen);
  return expected;
}

int FindSpinSync(MsgBlock& buffer, std::uint8_t& count, std::uint16_t& sum) {
  if (count < 2) return -1;
  for (int i = 0; i + 1 < count; ++i) {
    if ((buffer[i] & 0xA5) == 0xA5 && (buffer[i + 1] & 0x05) == 0x05) {
      sum = 0;
      const int drop = i + 2;
      std::memmove(buffer.data(), buffer.data() + drop, count - drop);
      count = static_cast<std::uint8_t>(count - drop);
      return kCrankPacketLen;
    }
  }
  return -1;
}

void KLineFramer::Arm(RxStateValue state, const std::uint8_t* echo, int echoLen) {
  state_ = state;
  buf_.fill(0);
  count_ = 0;
  expected_ = 0;
  echoLen_ = static_cast<std::uint8_t>(std::clamp(echoLen, 0, kCapacity));
  if (echoLen_ > 0) std::memcpy(echo_.data(), echo, echoLen_);
}

int KLineFramer::Missing(bool unidir) const {
  int needed = 0;
  switch (state_) {
    case RxEcho:
      needed = echoLen_;
      break;
    case RxHeader:
      needed = unidir ? 2 : 4;
      break;
    case RxBody:
      needed = expected_;
      break;
    default:
      return -1;
  }
  return std::max(0, needed - count_);
}

void KLineFramer::Append(const std::uint8_t* bytes, int n) {
  count_ = static_cast<std::uint8_t>(AppendBytes(buf_, bytes, count_, std::min(n, Room())));
}

void KLineFramer::DropFront(int n) {
  if (n >= count_) {
    count_ = 0;
    return;
  }
  std::memmove(buf_.data(), buf_.data() + n, count_ - n);
  count_ = static_cast<std::uint8_t>(count_ - n);
}

KLineFramer::Event KLineFramer::Next(bool unidir) {
  if (state_ == RxEcho) {
    if (count_ < echoLen_) return Event::None;
    if (!BytesEqual(buf_.data(), echo_.data(), echoLen_)) return Event::BadEcho;
    DropFront(echoLen_);
    state_ = RxHeader;
    // In U mode the stream starts with the next read.
    if (unidir) return Event::None;
  }
  if (state_ == RxHeader) {
    if (count_ < (unidir ? 2 : 4)) return Event::None;
    expected_ = unidir ? FindSpinSync(buf_, count_, sum_) : ParseReplyHeader(buf_, count_, sum_);
    if (expected_ == -1 && unidir) {
      // The last byte may be the first of a sync pair.
      if (count_ > 0) {
        buf_[0] = buf_[count_ - 1];
        count_ = 1;
      }
      return Event::NoSync;
    }
    // A header announcing more than the buffer holds is as bad as a wrong one.
    if (expected_ == -1 || expected_ > kCapacity) return Event::BadHeader;
    state_ = RxBody;
    if (count_ < expected_) return Event::WaitBody;
  }
  if (state_ != RxBody || count_ < expected_) return Event::None;

  if (unidir) {
    consumed_ = kCrankPacketLen;
    messageLength_ = count_;
    return Event::Packet;
  }
  // A reply ends where its header says. Bytes behind it in the same read are
  // not part of it: after the reply that starts the packet stream they are
  // its first packet, which may well come in the same read.
  consumed_ = expected_;
  messageLength_ = static_cast<std::uint8_t>(expected_);
  const std::uint16_t total = static_cast<std::uint16_t>(sum_ + Sum16(buf_.data(), expected_ - 1));
  return (total & 0xFF) == buf_[expected_ - 1] ? Event::Reply : Event::BadChecksum;
}

void KLineFramer::MessageHandled(bool unidirNow) {
  if (!unidirNow) {
    state_ = RxIdle;
    return;
  }
  state_ = RxHeader;
  DropFront(consumed_);
}
