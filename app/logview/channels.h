#pragma once
// Every variable the log view can show: the log's columns, then the computed
// channels, with one index each. A computed channel's values are worked out
// once when the log or the formula changes. Plain C++; user-interface thread.

#include <cmath>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/logview/formula.h"
#include "ecu/csvlog_reader.h"

// One variable's values, read row by row; NaN for a row without a value.
class ChannelValues {
 public:
  ChannelValues() = default;
  explicit ChannelValues(const LogColumn* column) : column_(column) {}
  explicit ChannelValues(const std::vector<double>* computed) : computed_(computed) {}
  double At(std::size_t row) const { return column_ ? column_->At(row) : (*computed_)[row]; }
  bool Valid() const { return column_ || computed_; }

 private:
  const LogColumn* column_ = nullptr;
  const std::vector<double>* computed_ = nullptr;
};

class LogChannels {
 public:
  // The log's columns and the channels; table may be null (no log open). The
  // table must outlive this object's use of it. Channels whose formula no
  // longer checks are kept but give no values.
  void Reset(const LogTable* table, std::vector<ComputedChannel> channels);
  const std::vector<ComputedChannel>& Computed() const { return computed_; }

  // Every name: the columns in log order, then the channels.
  const std::vector<std::string>& Names() const { return names_; }
  std::size_t Count() const { return names_.size(); }
  std::optional<std::size_t> IndexOf(std::string_view name) const;
  bool IsComputed(std::size_t ch) const { return ch >= columnCount_; }
  bool IsFlag(std::size_t ch) const;

  // The values need a log.
  ChannelValues Values(std::size_t ch) const;
  double Value(std::size_t ch, std::size_t row) const { return Values(ch).At(row); }
  // The value as text: the CSV's digits for a column, 3 decimals for a
  // channel, empty for a row without a value.
  std::string FormatValue(std::size_t ch, std::size_t row) const;
  int Decimals(std::size_t ch) const;
  // Smallest and largest value (0, 0 when there is none).
  double Min(std::size_t ch) const;
  double Max(std::size_t ch) const;

 private:
  struct Evaluated {
    std::vector<double> values;
    double min = 0, max = 0;
  };
  const LogTable* table_ = nullptr;
  std::size_t columnCount_ = 0;
  std::vector<std::string> names_;
  std::vector<ComputedChannel> computed_;
  std::vector<Evaluated> evaluated_;
};

// Decimals shown for a computed channel.
constexpr int kComputedDecimals = 3;
