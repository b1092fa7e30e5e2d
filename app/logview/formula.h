#pragma once
// Computed channels: a formula over the log's columns ("AFR_LC1/AFR",
// "RPM*THR/100"), parsed by muparser. A row whose result is not a finite
// number (a division by zero) gets no value: NaN here, an empty cell on
// screen. Plain C++; any thread, one object per thread.

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

class LogTable;

struct ComputedChannel {
  std::string name;
  std::string formula;
  bool operator==(const ComputedChannel&) const = default;
};

// Why a formula was refused: where (1-based character position) and why, in
// Russian for the user.
struct FormulaError {
  std::size_t position = 0;
  std::string reason;
  // "в позиции 5: столбца XYZ в логе нет"
  std::string Text() const;
};

// Checks a formula against the column names; nullopt when it is usable.
std::optional<FormulaError> CheckFormula(const std::string& formula, const std::vector<std::string>& columns);

// Why a channel name cannot be used (empty, a column's name, a character the
// settings keep as a separator, already taken); empty when it can.
std::string CheckChannelName(const std::string& name, const std::vector<std::string>& columns,
                             const std::vector<ComputedChannel>& others);

// The formula's value for every row of the table; NaN where it is not a finite
// number. The formula must have passed CheckFormula against the table's names.
std::vector<double> EvaluateFormula(const std::string& formula, const LogTable& table);
