#pragma once
// The acceleration table's contents: one column per run, headed by the run's
// ignition correction, with the seconds each 500 rpm band took, the total
// over the compared bands, and the fastest run of each row. Each run also
// keeps what the runs file records of it and its speed samples. The grid
// widget shows and paints these. User-interface thread.

#include <array>
#include <map>
#include <string>
#include <vector>

#include "app/accel/runs_file.h"
#include "app/accel/summary.h"

class AccelTableModel {
 public:
  static constexpr int kRows = 13;      // header row, 11 band rows and the total row
  static constexpr int kBandRows = 11;  // rows 1..11: 2000 - 2500 .. 7000 - 7500
  static constexpr int kTotalRow = 12;  // each run's time over the compared bands

  struct Best {
    int column = 0;  // 0: none
    double time = 0;
  };

  // What the table knows of a run besides its cells.
  struct RunInfo {
    std::string time;  // local start time
    double corrUOZ = 0;
    int rpmLimit = 0;
    int avgAngle = 0;
    int filterLen = 0;
    std::vector<AccelRunSample> samples;  // the plotted speed samples
    bool finished = false;                // the run has ended
    int fileNumber = 0;                   // its number in the runs file; 0 not written yet
  };

  // Label of column 0: "2000 - 2500" for row 1 .. "7000 - 7500" for row 11, "Всего" for the total row.
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

  RunInfo& Run(int column) { return info_[column - 1]; }
  const RunInfo& Run(int column) const { return info_[column - 1]; }
  // Adds a speed sample to the newest run.
  void AddSample(double time, int rpm);
  // The run's band times as its cells show them.
  RunBands Bands(int column) const;
  // The run as the runs file records it (number 0).
  AccelRunRecord Record(int column) const;
  // Replaces every run by the runs not deleted, in their order, each with its
  // samples and its number in the file; highlights as after a Delete.
  void Load(const std::vector<AccelRunRecord>& runs, std::map<int, std::vector<AccelRunSample>> samples);

  // The bands the totals cover, and the runs compared over them.
  const BandRange& ComparedRange() const { return range_; }
  std::vector<ComparedRun> ComparedRuns() const;
  // Runs without a total: they lack a band of the compared range.
  int LeftOutOfComparison() const;

 private:
  // The total row follows every change of the band times.
  void UpdateTotals();

  std::vector<std::array<std::string, kRows>> runs_;  // runs_[c - 1] is column c
  std::vector<RunInfo> info_;                         // info_[c - 1] is column c
  std::array<Best, kRows> best_{};                    // index 1..12 used
  BandRange range_;
};

// The whole table as tab-separated lines, as shown, with `point` as the
// decimal point (pastes into a spreadsheet as a table).
std::string AccelTableTsv(const AccelTableModel& table, char point);
