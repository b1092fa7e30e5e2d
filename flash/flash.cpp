#include "flash/flash.h"

#include <algorithm>
#include <exception>
#include <memory>
#include <optional>

#include "common/config.h"
#include "common/error.h"
#include "flash/backup.h"
#include "flash/loader.h"
#include "flash/write_journal.h"
#include "flash/write_report.h"
#include "link/kline_port.h"
#include "link/port_error.h"

namespace {

// The error handler of the read command: the port is already closed by the
// time this runs (its owner's scope has ended).
void Report(FlashProgress& progress, const std::exception& e) {
  progress.EndProgress();
  progress.ShowError(e.what());
}

// A failed write keeps its panel up, saying at which stage it failed, while
// the message is read.
void ReportWriteFailure(FlashProgress& progress, const WriteFailure& where, const std::string& text) {
  progress.StageFailed(FailedStageCaption(where));
  progress.ShowError(text);
  progress.EndProgress();
}

// The backup a write's messages name, and this write's image when it was not.
struct BackupTaken {
  std::string named;       // the newest complete backup of the ECU; empty: none
  std::string incomplete;  // the image read, kept under a name of its own
};

// Reads the ECU's current image and keeps it in the Backups folder. The
// messages name this backup, or when the ECU holds what a failed write left,
// the newest complete one.
BackupTaken TakeBackup(KLinePort& port, FlashProgress& progress, const std::string& id) {
  progress.BeginStage("Резервная копия прошивки " + id + " ... ", kFirmwareSize / kReadBlockSize);
  auto image = std::make_unique<FirmwareBuffer>();
  ReadFirmware(port, *image, progress);
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

// One write command from the upload to its read-back: how far it got, for
// the messages that end it.
struct WriteRun {
  WriteFailure where;
  WriteProgress progress;
  std::string id;  // read with the backup only: the bare write reads none
  BackupTaken backup;
  std::unique_ptr<FirmwareBuffer> readBack;
  std::optional<std::string> readBackError;
};

// Raises the first failure; the port is closed on every way out.
void RunWrite(const FlashPortOpener& open, const LoaderImage& loader, const FirmwareBuffer& image,
              FlashProgress& progress, WriteRun& run) {
  const std::unique_ptr<KLinePort> port = open();
  UploadLoader(*port, loader, progress);
  // Nothing is erased unless the image it replaces is safe on the disk.
  if (TCfg.FlashBackup) {
    run.where.stage = WriteStage::Backup;
    run.id = ReadEcuId(*port, progress);
    run.backup = TakeBackup(*port, progress, run.id);
  }
  run.where.stage = WriteStage::Erase;
  run.where.eraseAfterRead = !run.id.empty();
  EraseFlash(*port, progress);
  run.where.eraseAfterRead = false;
  WriteFirmware(*port, image, progress, run.progress);
  if (!TCfg.FlashVerify) return;
  run.where.stage = WriteStage::Verify;
  progress.BeginStage("Проверка записи ... ", kFirmwareSize / kReadBlockSize);
  run.readBack = std::make_unique<FirmwareBuffer>();
  try {
    ReadFirmware(*port, *run.readBack, progress);
  } catch (const std::exception& e) {
    run.readBackError = e.what();  // the write itself went through
  }
}

// The message of a write that raised e, with what it means for the ECU.
std::string FailureText(const std::exception& e, const std::string& file, WriteRun& run) {
  WriteFailure& where = run.where;
  if (where.stage == WriteStage::Erase && run.progress.erased) {
    where.stage = WriteStage::Blocks;
    where.block = run.progress.blocksAcknowledged;
  }
  where.noAnswer = dynamic_cast<const NoAnswerError*>(&e) != nullptr;
  std::string text = WriteFailureText(e.what(), where, file, run.backup.named);
  // From the erase on, the ECU holds what this write left.
  if (where.stage != WriteStage::Upload && where.stage != WriteStage::Backup)
    text += Closing(run.id, true, run.backup);
  return text;
}

// The end of a write that went through: its read-back compared with the file.
void Conclude(const FirmwareBuffer& image, const std::string& file, const WriteRun& run,
              FlashProgress& progress) {
  const std::uint32_t crc = Crc32(image.data(), image.size());
  // Unverified counts as failed: nothing says the ECU holds the file.
  if (run.readBackError) {
    ReportWriteFailure(progress, run.where,
                       VerifyNotRunText(*run.readBackError, crc) + Closing(run.id, true, run.backup));
    return;
  }
  if (run.readBack) {
    const auto [inFile, inEcu] = std::mismatch(image.begin(), image.end(), run.readBack->begin());
    if (inFile != image.end()) {
      const int address = static_cast<int>(inFile - image.begin());
      ReportWriteFailure(progress, run.where,
                         VerifyMismatchText(address, *inFile, *inEcu, file, run.backup.named) +
                             Closing(run.id, true, run.backup));
      return;
    }
  }
  const std::string closing = Closing(run.id, false, run.backup);
  progress.EndProgress();
  if (run.readBack)
    progress.ShowMessage(WriteSuccessText(file, crc, run.backup.named) + closing);
  else if (!closing.empty())
    progress.ShowMessage(closing.substr(1));  // a write without read-back otherwise ends silently
}

}  // namespace

FlashPortOpener FlashPortNamed(std::string name, std::function<bool()> sessionHoldsPort) {
  return [name = std::move(name), busy = std::move(sessionHoldsPort)] {
    if (busy()) throw PortOpenError(name, "порт занят соединением с ЭБУ", "K-line port already open");
    return KLinePort::OpenForFlash(name);
  };
}

std::unique_ptr<FirmwareBuffer> FlashRead(const FlashPortOpener& open, FlashProgress& progress) {
  const std::optional<LoaderImage> loader = ReadLoaderFile(progress);
  if (!loader) return nullptr;
  try {
    const std::unique_ptr<KLinePort> port = open();
    UploadLoader(*port, *loader, progress);
    const std::string id = ReadEcuId(*port, progress);
    progress.BeginStage("Чтение прошивки " + id + " ... ", kFirmwareSize / kReadBlockSize);
    auto image = std::make_unique<FirmwareBuffer>();
    ReadFirmware(*port, *image, progress);
    return image;  // the port closes here, before the user chooses the file
  } catch (const std::exception& e) {
    Report(progress, e);
    return nullptr;
  }
}

void SaveReadFirmware(const FirmwareBuffer& image, const std::optional<std::string>& file,
                      FlashProgress& progress) {
  try {
    if (file) SaveFirmwareFile(image, *file);
    progress.EndProgress();
  } catch (const std::exception& e) {
    Report(progress, e);
  }
}

void FlashWrite(const std::string& file, const FlashPortOpener& open, FlashProgress& progress) {
  auto image = std::make_unique<FirmwareBuffer>();
  if (!OpenFirmwareFile(file, *image, progress)) return;
  const std::optional<LoaderImage> loader = ReadLoaderFile(progress);
  if (!loader) return;
  WriteRun run;
  try {
    RunWrite(open, *loader, *image, progress, run);  // the port is closed before any message
  } catch (const std::exception& e) {
    ReportWriteFailure(progress, run.where, FailureText(e, file, run));
    return;
  }
  Conclude(*image, file, run, progress);
}
