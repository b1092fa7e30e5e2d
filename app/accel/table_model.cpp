#include "app/accel/table_model.h"

#include <cerrno>
#include <cstdlib>

#include "common/format.h"

namespace {

const std::string kEmpty;

// The cell text as a number; 99999 for an empty or unreadable cell.
double CellSeconds(const std::string& text) {
  constexpr double kNone = 99999.0;
  if (text.empty()) return kNone;
  const char* begin = text.c_str();
  char* end = nullptr;
  errno = 0;
  const double v = std::strtod(begin, &end);
  if (end == begin || *end != '\0' || errno == ERANGE) return kNone;
  return v;
}

bool ValidBandRow(int row) { return row >= 1 && row <= AccelTableModel::kBandRows; }
bool RankedRow(int row) { return ValidBandRow(row) || row == AccelTableModel::kTotalRow; }

std::string TableTime(double seconds) { return FormatFloat("##0.###", seconds); }

}  // namespace

std::string AccelTableModel::RowLabel(int row) {
  if (row == kTotalRow) return "Всего";
  if (!ValidBandRow(row)) return {};
  return std::to_string(BandLowRpm(row)) + " - " + std::to_string(BandLowRpm(row) + 500);
}

const std::string& AccelTableModel::Cell(int column, int row) const {
  if (column < 1 || column > RunCount() || row < 0 || row >= kRows) return kEmpty;
  return runs_[column - 1][row];
}

bool AccelTableModel::IsBest(int column, int row) const {
  return RankedRow(row) && column >= 1 && best_[row].column == column;
}

int AccelTableModel::AddRun(double corrUOZ) {
  std::array<std::string, kRows> cells{};
  cells[0] = std::to_string(static_cast<int>(corrUOZ));  // truncated toward zero
  runs_.push_back(std::move(cells));
  RunInfo info;
  info.corrUOZ = corrUOZ;
  info_.push_back(std::move(info));
  return RunCount();
}

int AccelTableModel::SetBandTime(int row, double seconds) {
  if (!ValidBandRow(row) || RunCount() == 0) return 0;
  const int column = RunCount();
  std::string& cell = runs_[column - 1][row];
  cell = TableTime(seconds);
  // Compared as shown: two cells that read the same are a tie, and a tie
  // keeps the earlier column, as the search after a Delete does.
  const double shown = CellSeconds(cell);
  Best& b = best_[row];
  int lost = 0;
  if (b.column == 0 || FasterAsShown(shown, b.time)) {
    lost = b.column == column ? 0 : b.column;
    b = {column, shown};
  }
  UpdateTotals();
  return lost;
}

void AccelTableModel::ResetBest() {
  best_.fill(Best{});
  UpdateTotals();  // the totals compare every run, whatever the connection
}

AccelTableModel::Best AccelTableModel::FindBestInRow(int row) const {
  Best b{0, 99999.0};
  if (!ValidBandRow(row)) return b;
  for (int c = 1; c <= RunCount(); ++c) {
    const double v = CellSeconds(runs_[c - 1][row]);
    if (FasterAsShown(v, b.time)) b = {c, v};
  }
  return b;
}

bool AccelTableModel::DeleteColumn(int k) {
  if (k < 1 || k > RunCount()) return false;
  runs_.erase(runs_.begin() + (k - 1));
  info_.erase(info_.begin() + (k - 1));
  for (int r = 1; r <= kBandRows; ++r) {
    if (best_[r].column > k)
      --best_[r].column;
    else if (best_[r].column == k)
      best_[r] = FindBestInRow(r);
  }
  UpdateTotals();
  return true;
}

void AccelTableModel::AddSample(double time, int rpm) {
  if (info_.empty()) return;
  info_.back().samples.push_back({static_cast<float>(time), static_cast<std::uint16_t>(rpm)});
}

RunBands AccelTableModel::Bands(int column) const {
  RunBands bands{};
  for (int r = 1; r <= kBandRows; ++r) {
    const std::string& text = runs_[column - 1][r];
    if (!text.empty()) bands[r - 1] = CellSeconds(text);
  }
  return bands;
}

AccelRunRecord AccelTableModel::Record(int column) const {
  const RunInfo& info = Run(column);
  AccelRunRecord rec;
  rec.time = info.time;
  rec.corrUOZ = info.corrUOZ;
  rec.rpmLimit = info.rpmLimit;
  rec.avgAngle = info.avgAngle;
  rec.filterLen = info.filterLen;
  rec.bands = Bands(column);
  return rec;
}

void AccelTableModel::Load(const std::vector<AccelRunRecord>& runs,
                           std::map<int, std::vector<AccelRunSample>> samples) {
  runs_.clear();
  info_.clear();
  for (const AccelRunRecord& rec : runs) {
    if (rec.deleted) continue;
    AddRun(rec.corrUOZ);
    for (int r = 1; r <= kBandRows; ++r)
      if (rec.bands[r - 1]) runs_.back()[r] = TableTime(*rec.bands[r - 1]);
    RunInfo& info = info_.back();
    info.time = rec.time;
    info.rpmLimit = rec.rpmLimit;
    info.avgAngle = rec.avgAngle;
    info.filterLen = rec.filterLen;
    info.finished = true;
    info.fileNumber = rec.number;
    if (auto it = samples.find(rec.number); it != samples.end()) info.samples = std::move(it->second);
  }
  for (int r = 1; r <= kBandRows; ++r) best_[r] = FindBestInRow(r);
  UpdateTotals();
}

void AccelTableModel::UpdateTotals() {
  std::vector<RunBands> bands;
  for (int c = 1; c <= RunCount(); ++c) bands.push_back(Bands(c));
  range_ = ComparedBands(bands);
  Best best{0, 0};
  for (int c = 1; c <= RunCount(); ++c) {
    const std::optional<double> total = TotalOver(bands[c - 1], range_);
    std::string& cell = runs_[c - 1][kTotalRow];
    cell = total ? TableTime(*total) : std::string();
    if (!total) continue;
    // As the band rows: compared as shown, a tie keeps the earlier column.
    const double shown = CellSeconds(cell);
    if (best.column == 0 || FasterAsShown(shown, best.time)) best = {c, shown};
  }
  best_[kTotalRow] = best;
}

std::vector<ComparedRun> AccelTableModel::ComparedRuns() const {
  std::vector<ComparedRun> runs;
  for (int c = 1; c <= RunCount(); ++c) {
    const std::string& total = runs_[c - 1][kTotalRow];
    if (!total.empty()) runs.push_back({info_[c - 1].corrUOZ, CellSeconds(total)});
  }
  return runs;
}

int AccelTableModel::LeftOutOfComparison() const {
  return RunCount() - static_cast<int>(ComparedRuns().size());
}

std::string AccelTableTsv(const AccelTableModel& table, char point) {
  std::string out;
  for (int r = 0; r < AccelTableModel::kRows; ++r) {
    out += AccelTableModel::RowLabel(r);
    for (int c = 1; c <= table.RunCount(); ++c) {
      std::string cell = table.Cell(c, r);
      for (char& ch : cell)
        if (ch == '.') ch = point;
      out += '\t' + cell;
    }
    out += '\n';
  }
  return out;
}
