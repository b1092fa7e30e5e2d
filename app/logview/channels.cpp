#include "app/logview/channels.h"

#include <algorithm>

#include "app/logview/analysis.h"

void LogChannels::Reset(const LogTable* table, std::vector<ComputedChannel> channels) {
  table_ = table;
  computed_ = std::move(channels);
  names_ = LogVariableNames();
  columnCount_ = names_.size();
  evaluated_.assign(computed_.size(), {});
  for (std::size_t i = 0; i < computed_.size(); ++i) {
    names_.push_back(computed_[i].name);
    Evaluated& e = evaluated_[i];
    if (!table_ || CheckFormula(computed_[i].formula, LogVariableNames())) {
      e.values.assign(table_ ? table_->RowCount() : 0, std::nan(""));
      continue;
    }
    e.values = EvaluateFormula(computed_[i].formula, *table_);
    bool first = true;
    for (const double v : e.values) {
      if (std::isnan(v)) continue;
      e.min = first ? v : std::min(e.min, v);
      e.max = first ? v : std::max(e.max, v);
      first = false;
    }
  }
}

std::optional<std::size_t> LogChannels::IndexOf(std::string_view name) const {
  const auto it = std::find(names_.begin(), names_.end(), name);
  if (it == names_.end()) return std::nullopt;
  return static_cast<std::size_t>(it - names_.begin());
}

bool LogChannels::IsFlag(std::size_t ch) const { return !IsComputed(ch) && IsFlagVariable(names_[ch]); }

ChannelValues LogChannels::Values(std::size_t ch) const {
  if (IsComputed(ch)) return ChannelValues(&evaluated_[ch - columnCount_].values);
  return ChannelValues(&table_->Column(ch));
}

std::string LogChannels::FormatValue(std::size_t ch, std::size_t row) const {
  if (!IsComputed(ch)) return table_->FormatValue(ch, row);
  const double v = Value(ch, row);
  if (std::isnan(v)) return {};
  return FormatNumber(v, kComputedDecimals);
}

int LogChannels::Decimals(std::size_t ch) const {
  return IsComputed(ch) ? kComputedDecimals : table_->Column(ch).Decimals();
}

double LogChannels::Min(std::size_t ch) const {
  return IsComputed(ch) ? evaluated_[ch - columnCount_].min : table_->Column(ch).Min();
}

double LogChannels::Max(std::size_t ch) const {
  return IsComputed(ch) ? evaluated_[ch - columnCount_].max : table_->Column(ch).Max();
}
