#pragma once
// The acceleration table's contents: one column per run, headed by the run's
// ignition correction, with the seconds each 500 rpm band took, and the
// fastest run of each band row. The grid widget shows and paints these.
// User-interface thread.

#include <array>
#include <string>
#include <vector>

class AccelTableModel {
 public:
  static constexpr int kRows = 12;      // header row and 11 band rows
  static constexpr int kBandRows = 11;  // rows 1..11: 2000 - 2500 .. 7000 - 7500

  struct Best {
    int column = 0;  // 0: none
    double time = 0;
  };

  // Band row label of column 0: "2000 - 2500" for row 1 .. "7000 - 7500" for row 11.
  static std::string RowLabel(int row);
  // Lower boundary of band row r in rpm (row 1: 2000).
  static int BandLowRpm(int row) { return 2000 + 500 * (row - 1); }

  int RunCount() const { return static_cast<int>(runs_.size()); }
  // Grid columns: the label column and one per run.
  int ColumnCount() const { return RunCount() + 1; }
  // Text of a run cell (column 1..RunCount, row 0..11); empty outside.
  const std::string& Cell(int column, int row) const;
  Best BestInRow(int row) const { return best_[row]; }
  bool IsBest(int column, int row) const;

  // Opens the column of a new run headed by corrUOZ truncated toward zero;
  // returns its column (the new RunCount).
  int AddRun(double corrUOZ);
  // Writes a band time of the newest run into row 1..11 as "##0.###". Returns
  // the column that lost the row's highlight (0: none). A tie keeps the
  // earlier column.
  int SetBandTime(int row, double seconds);
  // A new connection forgets the highlights; cells and runs stay.
  void ResetBest();
  // Removes run column k (1..RunCount); the columns right of it move left and
  // their highlights with them. False when k is not a run column.
  bool DeleteColumn(int k);
  // Smallest time of a row over the run columns, the leftmost on a tie;
  // column 0 and 99999 when the row has no readable time.
  Best FindBestInRow(int row) const;

 private:
  std::vector<std::array<std::string, kRows>> runs_;  // runs_[c - 1] is column c
  std::array<Best, kRows> best_{};                    // index 1..11 used
};
