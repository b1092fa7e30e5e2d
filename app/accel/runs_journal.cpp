#include "app/accel/runs_journal.h"

#include <cerrno>
#include <ctime>
#include <filesystem>

#include "app/accel/runs_file.h"
#include "app/accel/table_model.h"
#include "common/error.h"
#include "common/paths.h"

namespace {

constexpr int kNameTries = 20;

}  // namespace

void AccelRunsJournal::Report(const std::string& what, const LineFile& file) {
  if (failing_) return;
  failing_ = true;
  dialogs_.ShowError(what + " " + file.Path() + ": " + FileErrorReason(file.Error()) +
                     ". Замеры остаются в таблице; запись повторится после следующего замера.");
}

// Without its samples file the runs are still kept; only their curves are not.
void AccelRunsJournal::SamplesFailed() {
  if (!samplesFailing_)
    dialogs_.ShowError("Ошибка записи файла точек " + samples_.Path() + ": " +
                       FileErrorReason(samples_.Error()) +
                       ". Замеры записываются, но без точек для их кривых.");
  samplesFailing_ = true;
}

void AccelRunsJournal::CreateSamples(const std::string& path) {
  if (samples_.Create(path) && samples_.Append(SamplesFileHeader() + "\r\n")) return;
  SamplesFailed();
  samples_.Close();
}

void AccelRunsJournal::Close() {
  runs_.Close();
  samples_.Close();
  flagAt_.clear();
  next_ = 1;
}

bool AccelRunsJournal::Create() {
  Close();
  const std::filesystem::path dir = LogsDirPath();
  std::error_code ec;
  // A failure here shows up as the file's own failure below, with its reason.
  std::filesystem::create_directories(dir, ec);
  // Never over an older file of the same name (a clock set back).
  const std::time_t now = std::time(nullptr);
  for (int copy = 1; copy <= kNameTries; ++copy) {
    if (runs_.Create((dir / RunsFileName(now, copy)).string(), true)) break;
    if (runs_.Error() != EEXIST || copy == kNameTries) {
      Report("Ошибка создания файла замеров", runs_);
      return false;
    }
  }
  if (!runs_.Append(RunsFileHeader() + "\r\n")) {
    Report("Ошибка записи файла замеров", runs_);
    runs_.Close();
    return false;
  }
  CreateSamples(SamplesPathFor(runs_.Path()));
  return true;
}

void AccelRunsJournal::WritePending(AccelTableModel& table) {
  bool wrote = false;
  for (int c = 1; c <= table.RunCount(); ++c) {
    AccelTableModel::RunInfo& info = table.Run(c);
    if (!info.finished || info.fileNumber != 0) continue;
    if (!runs_.IsOpen() && !Create()) return;
    AccelRunRecord rec = table.Record(c);
    rec.number = next_;
    const std::uint64_t samplesBefore = samples_.Size();
    if (samples_.IsOpen()) {
      if (samples_.Append(FormatSampleRows(rec.number, info.samples)))
        samplesFailing_ = false;
      else
        SamplesFailed();
    }
    const std::string row = FormatRunRow(rec) + "\r\n";
    const std::uint64_t rowAt = runs_.Size();
    if (!runs_.Append(row)) {
      // The run is written again later, its samples with it.
      if (samples_.IsOpen()) samples_.CutTo(samplesBefore);
      Report("Ошибка записи файла замеров", runs_);
      return;
    }
    flagAt_[rec.number] = rowAt + row.size() - 3;  // before CR LF
    info.fileNumber = next_++;
    wrote = true;
  }
  if (!wrote) return;
  // A pulled cable or a crash keeps what was written anyway; this also keeps
  // it through a power loss.
  if (!runs_.Sync()) {
    Report("Ошибка записи файла замеров", runs_);
    return;
  }
  if (samples_.IsOpen() && !samples_.Sync()) SamplesFailed();
  failing_ = false;
}

void AccelRunsJournal::MarkDeleted(int number) {
  const auto it = flagAt_.find(number);
  if (it == flagAt_.end() || !runs_.IsOpen()) return;
  if (!runs_.WriteAt(it->second, "1") || !runs_.Sync()) Report("Ошибка записи файла замеров", runs_);
}

bool AccelRunsJournal::Continue(const OpenedRuns& opened) {
  Close();
  if (!runs_.OpenExisting(opened.path, opened.runs.size)) {
    const int err = runs_.Error();
    Close();
    dialogs_.ShowError("Замеры из файла " + opened.path + " открыты, но дописывать в него нельзя: " +
                       FileErrorReason(err) + ". Новые замеры будут записаны в новый файл в папке Logs.");
    return false;
  }
  failing_ = false;
  flagAt_ = opened.runs.deletedFlagAt;
  for (const AccelRunRecord& r : opened.runs.runs) next_ = std::max(next_, r.number + 1);
  // A row cut by a crash may have its samples written already: its number is
  // not given to a new run, whose curve would take them in.
  for (const auto& [number, samples] : opened.samples.runs) next_ = std::max(next_, number + 1);
  const std::string samplesPath = SamplesPathFor(opened.path);
  // A samples file that is not one is left alone; new curves are then not kept.
  if (opened.samples.valid) {
    if (!samples_.OpenExisting(samplesPath, opened.samples.size)) SamplesFailed();
  } else if (!opened.samplesFound) {
    CreateSamples(samplesPath);
  }
  return true;
}
