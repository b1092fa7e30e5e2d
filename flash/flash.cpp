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
#include "flash/write_journal.h"
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

// The backup a write's messages name, and this write's image when it was not.
struct BackupTaken {
  std::string named;       // the newest complete backup of the ECU; empty: none
  std::string incomplete;  // the image read, kept under a name of its own
};

// Reads the ECU's current image and keeps it in the Backups folder. The
// messages name this backup, or when the ECU holds what a failed write left,
// the newest complete one.
BackupTaken TakeBackup(const std::string& id) {
  Ui().ShowProgress("Резервная копия прошивки " + id + " ... ", kFirmwareSize / kReadBlockSize);
  auto image = std::make_unique<FirmwareBuffer>();
  ReadFirmware(*image);
  const bool complete = EndsWritten(*image) && !LastWriteFailed(id);
  const std::string saved = SaveBackup(*image, id, complete);
  if (complete) return {saved, {}};
  return {NewestCompleteBackup(id), saved};
}

// What each message of a write that reached the flash ends with: that no
// complete backup is left, and a journal that could not keep the outcome.
std::string Closing(const std::string& id, bool failed, const BackupTaken& backup) {
  std::string text;
  // Appended piece by piece: "\n" + string trips GCC 12's false -Wrestrict at -O3.
  if (backup.named.empty() && !backup.incomplete.empty()) {
    text += '\n';
    text += NoCompleteBackupText(backup.incomplete);
  }
  if (id.empty()) return text;  // no backup, no identifier: nothing to keep
  const std::string error = JournalWrite(id, failed, backup.named);
  if (!error.empty()) {
    text += '\n';
    text += error;
  }
  return text;
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
  std::string id;  // read with the backup only: the bare write reads none
  BackupTaken backup;
  std::unique_ptr<FirmwareBuffer> readBack;
  std::optional<std::string> readBackError;
  try {
    FlashPort flashPort(port);  // closed before any message below
    UploadLoader();
    // Nothing is erased unless the image it replaces is safe on the disk.
    if (TCfg.FlashBackup) {
      where.stage = WriteStage::Backup;
      id = ReadEcuId();
      backup = TakeBackup(id);
    }
    where.stage = WriteStage::Erase;
    where.eraseAfterRead = !id.empty();
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
    std::string text = WriteFailureText(e.what(), where, *file, backup.named);
    // From the erase on, the ECU holds what this write left.
    if (where.stage != WriteStage::Upload && where.stage != WriteStage::Backup)
      text += Closing(id, true, backup);
    ReportWriteFailure(where, text);
    return;
  }
  // Unverified counts as failed: nothing says the ECU holds the file.
  if (readBackError) {
    ReportWriteFailure(where, VerifyNotRunText(*readBackError, crc) + Closing(id, true, backup));
    return;
  }
  if (readBack) {
    const auto [inFile, inEcu] = std::mismatch(FirmwareImage.begin(), FirmwareImage.end(), readBack->begin());
    if (inFile != FirmwareImage.end()) {
      const int address = static_cast<int>(inFile - FirmwareImage.begin());
      ReportWriteFailure(where, VerifyMismatchText(address, *inFile, *inEcu, *file, backup.named) +
                                    Closing(id, true, backup));
      return;
    }
  }
  const std::string closing = Closing(id, false, backup);
  Ui().HideProgress();
  if (readBack)
    Ui().ShowMessage(WriteSuccessText(*file, crc, backup.named) + closing);
  else if (!closing.empty())
    Ui().ShowMessage(closing.substr(1));  // a write without read-back otherwise ends silently
}
