#include "sim/boot_ecu.h"

#include <algorithm>
#include <chrono>
#include <fstream>

namespace sim {

namespace {

constexpr std::uint8_t kOpening[7] = {0x00, 0x00, 0xF4, 0x00, 0x00, 0x00, 0x3E};
constexpr std::uint8_t kClosing[7] = {0x00, 0x01, 0xF4, 0x04, 0x00, 0x00, 0x00};
constexpr int kUploadBlocks = 8;
constexpr int kReadBlock = 256;
constexpr int kWriteBlock = 128;
constexpr double kBlockTimeoutMs = 500;  // a block left unfinished this long is dropped
constexpr double kSilenceEndS = 2.0;     // quiet that ends a silent spell
constexpr std::size_t kMaxReceived = 1 << 20;

double NowSeconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

int UploadBlockLength(int k) { return k == 0 || k == kUploadBlocks - 1 ? 8 : 62; }

}  // namespace

BootEcu::BootEcu() { image_.fill(0xFF); }

void BootEcu::SetIdentifier(const std::string& id) {
  std::lock_guard lock(mutex_);
  id_ = id.substr(0, 8);
  id_.resize(8, ' ');
}

void BootEcu::SetEraseMs(double ms) {
  std::lock_guard lock(mutex_);
  eraseMs_ = ms;
}

void BootEcu::SetProgramMs(double ms) {
  std::lock_guard lock(mutex_);
  programMs_ = ms;
}

void BootEcu::SetEchoGap(double ms, int everyBlocks) {
  std::lock_guard lock(mutex_);
  echoGapMs_ = ms;
  echoGapEvery_ = std::max(1, everyBlocks);
}

void BootEcu::SetNoReadAfterWrite(bool on) {
  std::lock_guard lock(mutex_);
  noReadAfterWrite_ = on;
}

void BootEcu::AddFault(const BootFault& fault) {
  std::lock_guard lock(mutex_);
  faults_.push_back(fault);
}

void BootEcu::ClearFaults() {
  std::lock_guard lock(mutex_);
  faults_.clear();
}

void BootEcu::Reset() {
  std::lock_guard lock(mutex_);
  state_ = State::BootIdle;
  block_.clear();
}

std::array<std::uint8_t, BootEcu::kImageSize> BootEcu::Image() const {
  std::lock_guard lock(mutex_);
  return image_;
}

void BootEcu::SetImage(const std::array<std::uint8_t, kImageSize>& image) {
  std::lock_guard lock(mutex_);
  image_ = image;
}

bool BootEcu::LoadImage(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::array<std::uint8_t, kImageSize> image;
  if (!in.read(reinterpret_cast<char*>(image.data()), kImageSize)) return false;
  if (in.peek() != std::ifstream::traits_type::eof()) return false;  // longer than 64 KiB
  SetImage(image);
  return true;
}

bool BootEcu::SaveImage(const std::string& path) const {
  const auto image = Image();
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(image.data()), kImageSize);
  out.close();
  return static_cast<bool>(out);
}

void BootEcu::SetImageFile(const std::string& path) {
  std::lock_guard lock(mutex_);
  imageFile_ = path;
}

std::vector<std::uint8_t> BootEcu::Received() const {
  std::lock_guard lock(mutex_);
  return received_;
}

std::vector<std::uint8_t> BootEcu::UploadedLoader() const {
  std::lock_guard lock(mutex_);
  return uploaded_;
}

bool BootEcu::LoaderRunning() const {
  std::lock_guard lock(mutex_);
  return state_ == State::Loader || state_ == State::IdParams || state_ == State::WriteData;
}

int BootEcu::EraseCount() const {
  std::lock_guard lock(mutex_);
  return eraseCount_;
}

int BootEcu::WriteBlocksAccepted() const {
  std::lock_guard lock(mutex_);
  return writeAccepted_;
}

int BootEcu::ReadBlocksSent() const {
  std::lock_guard lock(mutex_);
  return readSent_;
}

void BootEcu::OnByte(std::uint8_t b, const LineSettings&) {
  std::unique_lock lock(mutex_);
  const double now = NowSeconds();
  const double quiet = lastByteTime_ < 0 ? 1e9 : now - lastByteTime_;
  lastByteTime_ = now;
  if (state_ == State::Silent) {
    if (quiet < kSilenceEndS) return;
    state_ = State::BootIdle;  // the ECU was reset while nobody talked to it
  }
  Handle(b);
}

void BootEcu::OnTick() {
  std::lock_guard lock(mutex_);
  // A block that stopped half way is dropped, as the boot code and the loader
  // would after their own time-outs.
  if (state_ == State::BootBlock && !block_.empty()) state_ = State::BootIdle;
  if (state_ == State::WriteData || state_ == State::IdParams) state_ = State::Loader;
  block_.clear();
}

const BootFault* BootEcu::FaultAt(BootPoint point, int index) const {
  for (const auto& f : faults_)
    if (f.point == point && f.index == index) return &f;
  return nullptr;
}

bool BootEcu::GoSilentAt(BootPoint point, int index) {
  const BootFault* f = FaultAt(point, index);
  if (f && f->kind == BootFaultKind::Silent) {
    state_ = State::Silent;
    return true;
  }
  return false;
}

bool BootEcu::Answer(BootPoint point, int index, std::uint8_t normal, double gapMs) {
  if (GoSilentAt(point, index)) return false;
  const BootFault* f = FaultAt(point, index);
  if (f && f->kind == BootFaultKind::NoAnswer) return true;
  const std::uint8_t b = f && f->kind == BootFaultKind::WrongAnswer ? f->value : normal;
  Send(&b, 1, gapMs);
  return true;
}

void BootEcu::StartUpload() {
  received_.assign(1, 0x00);  // one session's bytes at most
  state_ = State::BootIdle;
  if (Answer(BootPoint::UploadStart, 0, 0x55)) {
    state_ = State::BootBlock;
    uploadBlock_ = 0;
    block_.clear();
    loaderBytes_.clear();
  }
}

void BootEcu::Handle(std::uint8_t b) {
  // 0x00 wakes the boot code; in the loader's command state it means the ECU
  // was reset into boot mode for a new command.
  if (b == 0x00 && (state_ == State::BootIdle || state_ == State::Loader)) {
    StartUpload();
    return;
  }
  received_.push_back(b);
  // A session is about 67 000 bytes; a program that never restarts the boot
  // code must not grow the record without limit.
  if (received_.size() > kMaxReceived)
    received_.erase(received_.begin(), received_.begin() + kMaxReceived / 2);
  switch (state_) {
    case State::BootIdle:
      return;  // the boot code waits for its wake-up byte
    case State::BootBlock:
      block_.push_back(b);
      if (static_cast<int>(block_.size()) < UploadBlockLength(uploadBlock_)) {
        ScheduleTick(kBlockTimeoutMs);
        return;
      }
      ScheduleTick(-1);
      FinishUploadBlock();
      return;
    case State::BootStart:
      if (b == 0x00 && Answer(BootPoint::UploadEnd, 0, 0x01)) {
        state_ = State::Loader;
        uploaded_ = loaderBytes_;
        readBlock_ = writeBlock_ = 0;
        wroteSinceUpload_ = false;
      } else if (b != 0x00) {
        state_ = State::BootIdle;
      }
      return;
    case State::Loader:
      LoaderCommand(b);
      return;
    case State::IdParams:
      if (++idParams_ < 3) {
        ScheduleTick(kBlockTimeoutMs);
        return;
      }
      ScheduleTick(-1);
      state_ = State::Loader;
      {
        const int n = idCount_++;
        if (GoSilentAt(BootPoint::Identifier, n)) return;
        const BootFault* f = FaultAt(BootPoint::Identifier, n);
        if (f && f->kind == BootFaultKind::NoAnswer) return;
        const std::size_t len =
            f && f->kind == BootFaultKind::ShortAnswer ? std::min<std::size_t>(f->value, 8) : 8;
        Send(reinterpret_cast<const std::uint8_t*>(id_.data()), len);
      }
      return;
    case State::WriteData:
      block_.push_back(b);
      if (static_cast<int>(block_.size()) == kWriteBlock / 2 && echoGapMs_ > 0 &&
          writeBlock_ % echoGapEvery_ == 0)
        HoldOutput(echoGapMs_);
      if (static_cast<int>(block_.size()) < kWriteBlock + 1) {
        ScheduleTick(kBlockTimeoutMs);
        return;
      }
      ScheduleTick(-1);
      state_ = State::Loader;
      FinishWriteBlock();
      return;
    case State::Silent:
      return;
  }
}

void BootEcu::FinishUploadBlock() {
  const int k = uploadBlock_;
  std::uint8_t x = 0;
  for (auto v : block_) x ^= v;
  bool ok = x == 0;
  if (k == 0)
    ok = ok && std::equal(kOpening, kOpening + 7, block_.begin());
  else if (k == kUploadBlocks - 1)
    ok = ok && std::equal(kClosing, kClosing + 7, block_.begin());
  else if (k < 6)
    ok = ok && block_[0] == 0x01;
  else
    ok = ok && block_[0] == 0x02 && block_[1] == 0x3B;
  if (ok && k >= 1 && k <= 5)
    loaderBytes_.insert(loaderBytes_.end(), block_.begin() + 1, block_.begin() + 61);
  if (ok && k == 6) loaderBytes_.insert(loaderBytes_.end(), block_.begin() + 2, block_.begin() + 61);
  block_.clear();
  if (!ok) {
    // Refused: the boot code answers something other than 0x55 and starts over.
    const std::uint8_t nak = 0xAA;
    Send(&nak, 1);
    state_ = State::BootIdle;
    return;
  }
  if (!Answer(BootPoint::UploadBlock, k, 0x55)) return;
  if (++uploadBlock_ == kUploadBlocks) state_ = State::BootStart;
}

void BootEcu::LoaderCommand(std::uint8_t b) {
  switch (b) {
    case 0x0A: {  // opens a read or a write at the start of the image
      readBlock_ = writeBlock_ = 0;
      const BootFault* f = FaultAt(BootPoint::ReadBlock, 0);
      if (f && f->kind == BootFaultKind::StrayByte) Send(&f->value, 1);
      return;
    }
    case 0x11:
      state_ = State::IdParams;
      idParams_ = 0;
      ScheduleTick(kBlockTimeoutMs);
      return;
    case 0x12:
      SendReadBlock();
      return;
    case 0x13:
      state_ = State::WriteData;
      block_.clear();
      ScheduleTick(kBlockTimeoutMs);
      return;
    case 0x10: {
      const int n = eraseCount_++;
      image_.fill(0xFF);
      Answer(BootPoint::Erase, n, 0x00, eraseMs_);
      return;
    }
    default:
      return;  // not a loader command
  }
}

void BootEcu::SendReadBlock() {
  const int j = readBlock_++;
  if (j * kReadBlock >= kImageSize) return;
  if (noReadAfterWrite_ && wroteSinceUpload_) return;
  if (GoSilentAt(BootPoint::ReadBlock, j)) return;
  const BootFault* f = FaultAt(BootPoint::ReadBlock, j);
  if (f && f->kind == BootFaultKind::NoAnswer) return;
  std::vector<std::uint8_t> out(image_.begin() + j * kReadBlock, image_.begin() + (j + 1) * kReadBlock);
  std::uint8_t sum = 0;
  for (auto v : out) sum += v;
  std::uint8_t check = static_cast<std::uint8_t>(-sum);
  if (f && f->kind == BootFaultKind::BadSum) ++check;
  out.push_back(check);
  // A stray byte meant for the next block goes out now, so that it lies in
  // the program's input before the echo of the next request.
  const BootFault* next = FaultAt(BootPoint::ReadBlock, j + 1);
  if (next && next->kind == BootFaultKind::StrayByte) out.push_back(next->value);
  Send(out);
  ++readSent_;
}

void BootEcu::FinishWriteBlock() {
  const int j = writeBlock_++;
  std::uint8_t sum = 0;
  for (auto v : block_) sum += v;
  const bool ok = sum == 0 && j * kWriteBlock < kImageSize;
  if (ok) {
    std::copy(block_.begin(), block_.begin() + kWriteBlock, image_.begin() + j * kWriteBlock);
    const BootFault* f = FaultAt(BootPoint::WriteBlock, j);
    if (f && f->kind == BootFaultKind::StoreWrong) image_[j * kWriteBlock + f->value % kWriteBlock] ^= 0xFF;
    ++writeAccepted_;
    wroteSinceUpload_ = true;
  }
  block_.clear();
  Answer(BootPoint::WriteBlock, j, ok ? 0x00 : 0x01, programMs_);
  if (ok && (j + 1) * kWriteBlock == kImageSize && !imageFile_.empty()) {
    std::ofstream out(imageFile_, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(image_.data()), kImageSize);
  }
}

}  // namespace sim
