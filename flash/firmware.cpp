#include "flash/firmware.h"

#include <QFile>
#include <QSaveFile>
#include <QString>
#include <algorithm>
#include <vector>

#include "common/bytes.h"
#include "common/error.h"
#include "common/timing.h"
#include "common/ui.h"
#include "flash/loader.h"
#include "link/port.h"

std::array<std::uint8_t, kFirmwareSize> FirmwareImage{};

namespace {

constexpr std::uint8_t kOpenTransfer = 0x0A;
constexpr std::uint8_t kReadBlock = 0x12;
constexpr std::uint8_t kWriteBlock = 0x13;
constexpr std::uint8_t kErase = 0x10;
constexpr int kReadPolls = 200;     // 5 ms each, per 258-byte read block
constexpr int kAnswerPolls = 2000;  // 5 ms each, per write acknowledgement

QString FromUtf8(const std::string& s) {
  return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

}  // namespace

void ReadFirmware() {
  SendByteExpectEcho(kOpenTransfer);
  const int blockBytes = 1 + kReadBlockSize + 1;  // echo, data, check byte
  MsgBlock buf{};
  for (int j = 0; j < kFirmwareSize / kReadBlockSize; ++j) {
    // The same buffer sends the request and receives the answer, so a block
    // answered by nothing reports the request byte 18 as its first byte.
    buf[0] = kReadBlock;
    WritePortBlocking(buf, 1);
    for (int polls = 0; PortInQueue() < static_cast<std::uint32_t>(blockBytes) && polls < kReadPolls; ++polls)
      DelayMs(5);
    const int got = ReadPortBlocking(buf.data(), blockBytes);
    if (got != blockBytes || buf[0] != kReadBlock)
      throw EcuError(" Неверный ответ ЭБУ      " + std::to_string(j) + "   " + std::to_string(buf[0]),
                     "read block answer of " + std::to_string(got) + " bytes");
    std::copy(buf.begin() + 1, buf.begin() + 1 + kReadBlockSize, FirmwareImage.begin() + kReadBlockSize * j);
    std::uint8_t sum = 0;
    for (int i = 1; i < blockBytes; ++i) sum += buf[i];
    if (sum != 0) throw EcuError(" Неверная контрольная сумма    ", "read block " + std::to_string(j));
    Ui().StepProgress();
  }
  PurgePort();
}

void SaveFirmwareFile() {
  const auto name = Ui().AskSaveFileName("");
  if (!name) return;
  // Written beside the chosen file and renamed over it only when complete, so
  // a failed save never leaves a truncated image in place of a good one.
  QSaveFile file(FromUtf8(*name));
  const bool ok =
      file.open(QIODevice::WriteOnly) &&
      file.write(reinterpret_cast<const char*>(FirmwareImage.data()), kFirmwareSize) == kFirmwareSize &&
      file.commit();
  if (!ok)
    throw EcuError("Ошибка записи файла прошивки " + *name + ": " + file.errorString().toStdString(),
                   "QSaveFile failed");
}

void EraseFlash() {
  Ui().ShowProgress("Стирание ... ", 1);
  SendByteExpectReply(kErase, 0x00);
  Ui().StepProgress();
  PurgePort();
}

void WriteFirmware() {
  EraseFlash();
  Ui().ShowProgress("Запись прошивки ... ", kFirmwareSize / kWriteBlockSize);
  SendByteExpectEcho(kOpenTransfer);
  MsgBlock command{};
  command[0] = kWriteBlock;
  MsgBlock buf{};
  for (int j = 0; j < kFirmwareSize / kWriteBlockSize; ++j) {
    WritePortBlocking(command, 1);
    std::uint8_t sum = 0;
    for (int i = 0; i < kWriteBlockSize; ++i) {
      buf[i] = FirmwareImage[kWriteBlockSize * j + i];
      sum += buf[i];
    }
    buf[kWriteBlockSize] = static_cast<std::uint8_t>(256 - sum);
    WritePortBlocking(buf, kWriteBlockSize + 1);
    // The echo of the command byte and the block; not checked, the
    // acknowledgement below is what counts.
    std::uint8_t echo[kWriteBlockSize + 2];
    ReadPortBlocking(echo, kWriteBlockSize + 2);
    for (int polls = 0; PortInQueue() < 1 && polls < kAnswerPolls; ++polls) DelayMs(5);
    std::uint8_t ack = 0xFF;
    if (ReadPortBlocking(&ack, 1) != 1 || ack != 0x00)
      throw EcuError(kBadAnswer, "write block " + std::to_string(j) + " not acknowledged");
    Ui().StepProgress();
  }
  PurgePort();
}

bool OpenFirmwareFile() {
  const auto name = Ui().AskOpenFileName("");
  if (!name) return false;
  QFile file(FromUtf8(*name));
  if (!file.open(QIODevice::ReadOnly)) {
    Ui().ShowError("Ошибка открытия файла прошивки " + *name + ": " + file.errorString().toStdString());
    return false;
  }
  // Only an image of exactly 64 KiB is written: cutting or padding a file
  // would flash something the user did not choose.
  const qint64 size = file.size();
  if (size != kFirmwareSize) {
    Ui().ShowError("Файл прошивки должен иметь размер ровно " + std::to_string(kFirmwareSize) +
                   " байт, а выбранный файл имеет размер " + std::to_string(size) + " байт");
    return false;
  }
  std::vector<std::uint8_t> data(kFirmwareSize);
  if (file.read(reinterpret_cast<char*>(data.data()), kFirmwareSize) != kFirmwareSize) {
    Ui().ShowError("Ошибка чтения файла прошивки " + *name + ": " + file.errorString().toStdString());
    return false;
  }
  std::copy(data.begin(), data.end(), FirmwareImage.begin());
  return true;
}
