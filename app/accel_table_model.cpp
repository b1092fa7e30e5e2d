#include "app/accel_table_model.h"

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

}  // namespace

std::string AccelTableModel::RowLabel(int row) {
  if (!ValidBandRow(row)) return {};
  return std::to_string(BandLowRpm(row)) + " - " + std::to_string(BandLowRpm(row) + 500);
}

const std::string& AccelTableModel::Cell(int column, int row) const {
  if (column < 1 || column > RunCount() || row < 0 || row >= kRows) return kEmpty;
  return runs_[column - 1][row];
}

bool AccelTableModel::IsBest(int column, int row) const {
  return ValidBandRow(row) && column >= 1 && best_[row].column == column;
}

int AccelTableModel::AddRun(double corrUOZ) {
  std::array<std::string, kRows> cells{};
  cells[0] = std::to_string(static_cast<int>(corrUOZ));  // truncated toward zero
  runs_.push_back(std::move(cells));
  return RunCount();
}

int AccelTableModel::SetBandTime(int row, double seconds) {
  if (!ValidBandRow(row) || RunCount() == 0) return 0;
  const int column = RunCount();
  std::string& cell = runs_[column - 1][row];
  cell = FormatFloat("##0.###", seconds);
  // Compared as shown: two cells that read the same are a tie, and a tie
  // keeps the earlier column, as the search after a Delete does.
  const double shown = CellSeconds(cell);
  Best& b = best_[row];
  if (b.column != 0 && !(shown < b.time)) return 0;
  const int old = b.column;
  b = {column, shown};
  return old == column ? 0 : old;
}

void AccelTableModel::ResetBest() { best_.fill(Best{}); }

AccelTableModel::Best AccelTableModel::FindBestInRow(int row) const {
  Best b{0, 99999.0};
  if (!ValidBandRow(row)) return b;
  for (int c = 1; c <= RunCount(); ++c) {
    const double v = CellSeconds(runs_[c - 1][row]);
    if (v < b.time) b = {c, v};
  }
  return b;
}

bool AccelTableModel::DeleteColumn(int k) {
  if (k < 1 || k > RunCount()) return false;
  runs_.erase(runs_.begin() + (k - 1));
  for (int r = 1; r <= kBandRows; ++r) {
    if (best_[r].column > k)
      --best_[r].column;
    else if (best_[r].column == k)
      best_[r] = FindBestInRow(r);
  }
  return true;
}
