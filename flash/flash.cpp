#include "flash/flash.h"

#include <algorithm>
#include <exception>
#include <memory>
#include <optional>

#include "common/config.h"
#include "common/error.h"
#include "common/ui.h"
#include "flash/backup.h"
#include "flash/firmware.h"
#include "flash/loader.h"
#include "flash/write_report.h"
#include "link/port.h"

namespace {

// The port of one firmware command: opened in the flash profile, closed on
// every way out, but only if this command opened it. A firmware command
// started while the K-line session is still connecting must neither take over
// nor close the session's port.
class FlashPort {
 public:
  explicit FlashPort(const std::string& name) {
    if (PortHandle.load() != kNoPort)
      throw PortOpenError(name, "порт занят соединением с ЭБУ", "K-line port already open");
    OpenFlashPort(name);
    opened_ = true;
  }
  ~FlashPort() { Close(); }
  FlashPort(const FlashPort&) = delete;
  FlashPort& operator=(const FlashPort&) = delete;

  void Close() {
    if (opened_) CloseEcuPort();
    opened_ = false;
  }

 private:
  bool opened_ = false;
};

// The error handler of the read command: the port is already closed by the
// time this runs (FlashPort's scope has ended).
void Report(const std::exception& e) {
  Ui().HideProgress();
  Ui().ShowError(e.what());
}

// A failed write keeps its panel up, saying at which stage it failed, while
// the message is read.
void ReportWriteFailure(const WriteFailure& where, const std::string& text) {
  Ui().SetProgressCaption(FailedStageCaption(where));
  Ui().ShowError(text);
  Ui().HideProgress();
}

// Reads the ECU's current image and keeps it in the Backups folder; returns
// the file's path.
std::string TakeBackup() {
  const std::string id = ReadEcuId();
  Ui().ShowProgress("Резервная копия прошивки " + id + " ... ", kFirmwareSize / kReadBlockSize);
  auto image = std::make_unique<FirmwareBuffer>();
  ReadFirmware(*image);
  return SaveBackup(*image, id);
}

}  // namespace

void FlashRead(const std::string& port) {
  if (!ReadLoaderFile()) return;
  try {
    {
      FlashPort flashPort(port);
      UploadLoader();
      const std::string id = ReadEcuId();
      Ui().ShowProgress("Чтение прошивки " + id + " ... ", kFirmwareSize / kReadBlockSize);
      ReadFirmware();
      flashPort.Close();  // closed while the user chooses the file
      SaveFirmwareFile();
    }
    Ui().HideProgress();
  } catch (const std::exception& e) {
    Report(e);
  }
}

void FlashWrite(const std::string& port) {
  const std::optional<std::string> file = OpenFirmwareFile();
  if (!file) return;
  if (!ReadLoaderFile()) return;
  const std::uint32_t crc = Crc32(FirmwareImage.data(), FirmwareImage.size());
  WriteFailure where;
  WriteProgress progress;
  std::string backup;
  std::unique_ptr<FirmwareBuffer> readBack;
  std::optional<std::string> readBackError;
  try {
    FlashPort flashPort(port);  // closed before any message below
    UploadLoader();
    // Nothing is erased unless the image it replaces is safe on the disk.
    if (TCfg.FlashBackup) {
      where.stage = WriteStage::Backup;
      backup = TakeBackup();
    }
    where.stage = WriteStage::Erase;
    where.eraseAfterRead = !backup.empty();
    EraseFlash();
    where.eraseAfterRead = false;
    WriteFirmware(progress);
    if (TCfg.FlashVerify) {
      where.stage = WriteStage::Verify;
      Ui().ShowProgress("Проверка записи ... ", kFirmwareSize / kReadBlockSize);
      readBack = std::make_unique<FirmwareBuffer>();
      try {
        ReadFirmware(*readBack);
      } catch (const std::exception& e) {
        readBackError = e.what();  // the write itself went through
      }
    }
  } catch (const std::exception& e) {
    if (where.stage == WriteStage::Erase && progress.erased) {
      where.stage = WriteStage::Blocks;
      where.block = progress.blocksAcknowledged;
    }
    where.noAnswer = dynamic_cast<const NoAnswerError*>(&e) != nullptr;
    ReportWriteFailure(where, WriteFailureText(e.what(), where, *file, backup));
    return;
  }
  if (readBackError) {
    ReportWriteFailure(where, VerifyNotRunText(*readBackError, crc));
    return;
  }
  if (readBack) {
    const auto [inFile, inEcu] = std::mismatch(FirmwareImage.begin(), FirmwareImage.end(), readBack->begin());
    if (inFile != FirmwareImage.end()) {
      const int address = static_cast<int>(inFile - FirmwareImage.begin());
      ReportWriteFailure(where, VerifyMismatchText(address, *inFile, *inEcu, *file, backup));
      return;
    }
  }
  Ui().HideProgress();
  if (readBack) Ui().ShowMessage(WriteSuccessText(*file, crc, backup));
}
