#include "flash/firmware.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string_view>
#include <system_error>
#include <vector>

#include "common/bytes.h"
#include "common/error.h"
#include "common/files.h"
#include "flash/loader.h"
#include "link/kline_port.h"

namespace {

constexpr std::uint8_t kOpenTransfer = 0x0A;
constexpr std::uint8_t kReadBlock = 0x12;
constexpr std::uint8_t kWriteBlock = 0x13;
constexpr std::uint8_t kErase = 0x10;
// A read block's whole answer: 1 s for the loader to get going, as 200 polls
// of 5 ms allowed, and its 74 ms on the wire, with room to spare.
constexpr int kReadBlockMs = 1500;

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};

}  // namespace

void ReadFirmware(KLinePort& port, FirmwareBuffer& into, FlashProgress& progress) {
  SendByteExpectEcho(port, kOpenTransfer);
  const int blockBytes = 1 + kReadBlockSize + 1;  // echo, data, check byte
  MsgBlock buf{};
  const int blocks = kFirmwareSize / kReadBlockSize;
  for (int j = 0; j < blocks; ++j) {
    // The same buffer sends the request and receives the answer, so a block
    // answered by nothing reports the request byte 18 as its first byte.
    buf[0] = kReadBlock;
    port.Write(buf, 1);
    const int got = port.ReadWithin(buf.data(), blockBytes, kReadBlockMs);
    if (got != blockBytes || buf[0] != kReadBlock)
      throw EcuError(" Неверный ответ ЭБУ      " + std::to_string(j) + "   " + std::to_string(buf[0]),
                     "read block answer of " + std::to_string(got) + " bytes");
    std::copy(buf.begin() + 1, buf.begin() + 1 + kReadBlockSize, into.begin() + kReadBlockSize * j);
    std::uint8_t sum = 0;
    for (int i = 1; i < blockBytes; ++i) sum += buf[i];
    if (sum != 0) throw EcuError(" Неверная контрольная сумма    ", "read block " + std::to_string(j));
    progress.StepDone(j + 1, blocks);
  }
  port.Purge();
}

void SaveFirmwareFile(const FirmwareBuffer& image, const std::string& name) {
  // Written beside the chosen file and renamed over it only when complete, so
  // a failed save never leaves a truncated image in place of a good one.
  const int err =
      ReplaceWholeFile(name, std::string_view(reinterpret_cast<const char*>(image.data()), image.size()));
  if (err != 0)
    throw EcuError("Ошибка записи файла прошивки " + name + ": " + FileErrorReason(err),
                   "ReplaceWholeFile failed, errno " + std::to_string(err));
}

void EraseFlash(KLinePort& port, FlashProgress& progress) {
  progress.BeginStage("Стирание ... ", 1);
  SendByteExpectReply(port, kErase, 0x00);
  progress.StepDone(1, 1);
  port.Purge();
}

void WriteFirmware(KLinePort& port, const FirmwareBuffer& image, FlashProgress& progress,
                   WriteProgress& done) {
  done = {};
  EraseFlash(port, progress);
  done.erased = true;
  progress.BeginStage("Запись прошивки ... ", kWriteBlocks);
  SendByteExpectEcho(port, kOpenTransfer);
  MsgBlock command{};
  command[0] = kWriteBlock;
  MsgBlock buf{};
  for (int j = 0; j < kWriteBlocks; ++j) {
    port.Write(command, 1);
    std::uint8_t sum = 0;
    for (int i = 0; i < kWriteBlockSize; ++i) {
      buf[i] = image[kWriteBlockSize * j + i];
      sum += buf[i];
    }
    buf[kWriteBlockSize] = static_cast<std::uint8_t>(256 - sum);
    port.Write(buf, kWriteBlockSize + 1);
    // All of the echo of the command byte and the block must be taken off
    // first, or a late echo byte would be read as the acknowledgement. Its
    // content is not compared: the acknowledgement is what counts.
    std::uint8_t echo[kWriteBlockSize + 2];
    const int echoed = port.ReadWithin(echo, kWriteBlockSize + 2, kBlockMs);
    if (echoed != kWriteBlockSize + 2)
      throw EcuError(kBadAnswer,
                     "write block " + std::to_string(j) + ": echo of " + std::to_string(echoed) + " bytes");
    std::uint8_t ack = 0xFF;
    if (port.ReadWithin(&ack, 1, kAnswerMs) != 1 || ack != 0x00)
      throw EcuError(kBadAnswer, "write block " + std::to_string(j) + " not acknowledged");
    done.blocksAcknowledged = j + 1;
    progress.StepDone(j + 1, kWriteBlocks);
  }
  port.Purge();
}

bool OpenFirmwareFile(const std::string& name, FirmwareBuffer& into, FlashProgress& progress) {
  errno = 0;
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(name.c_str(), "rb"));
  if (!file) {
    progress.ShowError("Ошибка открытия файла прошивки " + name + ": " + FileReadReason(errno ? errno : EIO));
    return false;
  }
  std::error_code ec;
  const std::uintmax_t size = std::filesystem::file_size(name, ec);
  if (ec) {
    progress.ShowError("Ошибка чтения файла прошивки " + name + ": " + FileReadReason(ec.value()));
    return false;
  }
  // Only an image of exactly 64 KiB is written: cutting or padding a file
  // would flash something the user did not choose.
  if (size != kFirmwareSize) {
    progress.ShowError("Файл прошивки должен иметь размер ровно " + std::to_string(kFirmwareSize) +
                       " байт, а выбранный файл имеет размер " + std::to_string(size) + " байт");
    return false;
  }
  std::vector<std::uint8_t> data(kFirmwareSize);
  errno = 0;
  if (std::fread(data.data(), 1, data.size(), file.get()) != data.size()) {
    progress.ShowError("Ошибка чтения файла прошивки " + name + ": " + FileReadReason(errno ? errno : EIO));
    return false;
  }
  std::copy(data.begin(), data.end(), into.begin());
  return true;
}

std::uint32_t Crc32(const std::uint8_t* data, std::size_t n) {
  std::uint32_t crc = 0xFFFFFFFFu;
  for (std::size_t i = 0; i < n; ++i) {
    crc ^= data[i];
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}
