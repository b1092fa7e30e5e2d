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
#include "common/ui.h"
#include "flash/loader.h"
#include "link/port.h"

FirmwareBuffer FirmwareImage{};

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

void ReadFirmware(FirmwareBuffer& into) {
  SendByteExpectEcho(kOpenTransfer);
  const int blockBytes = 1 + kReadBlockSize + 1;  // echo, data, check byte
  MsgBlock buf{};
  for (int j = 0; j < kFirmwareSize / kReadBlockSize; ++j) {
    // The same buffer sends the request and receives the answer, so a block
    // answered by nothing reports the request byte 18 as its first byte.
    buf[0] = kReadBlock;
    WriteKLine(buf, 1);
    const int got = ReadKLineWithin(buf.data(), blockBytes, kReadBlockMs);
    if (got != blockBytes || buf[0] != kReadBlock)
      throw EcuError(" Неверный ответ ЭБУ      " + std::to_string(j) + "   " + std::to_string(buf[0]),
                     "read block answer of " + std::to_string(got) + " bytes");
    std::copy(buf.begin() + 1, buf.begin() + 1 + kReadBlockSize, into.begin() + kReadBlockSize * j);
    std::uint8_t sum = 0;
    for (int i = 1; i < blockBytes; ++i) sum += buf[i];
    if (sum != 0) throw EcuError(" Неверная контрольная сумма    ", "read block " + std::to_string(j));
    Ui().StepProgress();
  }
  PurgeKLine();
}

void SaveFirmwareFile() {
  const auto name = Ui().AskSaveFileName("");
  if (!name) return;
  // Written beside the chosen file and renamed over it only when complete, so
  // a failed save never leaves a truncated image in place of a good one.
  const int err = ReplaceWholeFile(
      *name, std::string_view(reinterpret_cast<const char*>(FirmwareImage.data()), FirmwareImage.size()));
  if (err != 0)
    throw EcuError("Ошибка записи файла прошивки " + *name + ": " + FileErrorReason(err),
                   "ReplaceWholeFile failed, errno " + std::to_string(err));
}

void EraseFlash() {
  Ui().ShowProgress("Стирание ... ", 1);
  SendByteExpectReply(kErase, 0x00);
  Ui().StepProgress();
  PurgeKLine();
}

void WriteFirmware(WriteProgress& progress) {
  progress = {};
  EraseFlash();
  progress.erased = true;
  Ui().ShowProgress("Запись прошивки ... ", kWriteBlocks);
  SendByteExpectEcho(kOpenTransfer);
  MsgBlock command{};
  command[0] = kWriteBlock;
  MsgBlock buf{};
  for (int j = 0; j < kWriteBlocks; ++j) {
    WriteKLine(command, 1);
    std::uint8_t sum = 0;
    for (int i = 0; i < kWriteBlockSize; ++i) {
      buf[i] = FirmwareImage[kWriteBlockSize * j + i];
      sum += buf[i];
    }
    buf[kWriteBlockSize] = static_cast<std::uint8_t>(256 - sum);
    WriteKLine(buf, kWriteBlockSize + 1);
    // All of the echo of the command byte and the block must be taken off
    // first, or a late echo byte would be read as the acknowledgement. Its
    // content is not compared: the acknowledgement is what counts.
    std::uint8_t echo[kWriteBlockSize + 2];
    const int echoed = ReadKLineWithin(echo, kWriteBlockSize + 2, kBlockMs);
    if (echoed != kWriteBlockSize + 2)
      throw EcuError(kBadAnswer,
                     "write block " + std::to_string(j) + ": echo of " + std::to_string(echoed) + " bytes");
    std::uint8_t ack = 0xFF;
    if (ReadKLineWithin(&ack, 1, kAnswerMs) != 1 || ack != 0x00)
      throw EcuError(kBadAnswer, "write block " + std::to_string(j) + " not acknowledged");
    progress.blocksAcknowledged = j + 1;
    Ui().StepProgress();
  }
  PurgeKLine();
}

std::optional<std::string> OpenFirmwareFile() {
  const auto name = Ui().AskOpenFileName("");
  if (!name) return std::nullopt;
  errno = 0;
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(name->c_str(), "rb"));
  if (!file) {
    Ui().ShowError("Ошибка открытия файла прошивки " + *name + ": " + FileReadReason(errno ? errno : EIO));
    return std::nullopt;
  }
  std::error_code ec;
  const std::uintmax_t size = std::filesystem::file_size(*name, ec);
  if (ec) {
    Ui().ShowError("Ошибка чтения файла прошивки " + *name + ": " + FileReadReason(ec.value()));
    return std::nullopt;
  }
  // Only an image of exactly 64 KiB is written: cutting or padding a file
  // would flash something the user did not choose.
  if (size != kFirmwareSize) {
    Ui().ShowError("Файл прошивки должен иметь размер ровно " + std::to_string(kFirmwareSize) +
                   " байт, а выбранный файл имеет размер " + std::to_string(size) + " байт");
    return std::nullopt;
  }
  std::vector<std::uint8_t> data(kFirmwareSize);
  errno = 0;
  if (std::fread(data.data(), 1, data.size(), file.get()) != data.size()) {
    Ui().ShowError("Ошибка чтения файла прошивки " + *name + ": " + FileReadReason(errno ? errno : EIO));
    return std::nullopt;
  }
  std::copy(data.begin(), data.end(), FirmwareImage.begin());
  return name;
}

std::uint32_t Crc32(const std::uint8_t* data, std::size_t n) {
  std::uint32_t crc = 0xFFFFFFFFu;
  for (std::size_t i = 0; i < n; ++i) {
    crc ^= data[i];
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}
