#pragma once
// What the log view's analysis pages (the cell table, the scatter plot, the
// histogram) share: the log's variables with the computed channels, the kept
// choices and the rows that passed the filters. The view owns it and tells
// each page when it changed; a page redraws only while shown.
// User-interface thread.

#include <QWidget>
#include <cstdint>
#include <functional>
#include <vector>

#include "app/logview/analysis.h"
#include "app/logview/channels.h"
#include "app/logview/options.h"

class QComboBox;

struct TLogAnalysis {
  const LogTable* table = nullptr;  // null while no log is open
  LogChannels channels;
  LogViewOptions options;
  std::vector<std::uint32_t> rows;  // passed the filters
  // A page changed options: keep them (cfg.ini) and, when filters changed,
  // work out the rows again.
  std::function<void(bool filtersChanged)> optionsChanged;
};

class TLogAnalysisPage : public QWidget {
 public:
  TLogAnalysisPage(TLogAnalysis& data, QWidget* parent) : QWidget(parent), data_(data) {}
  // The rows or the channels changed: redraw now when shown, else when shown.
  void Changed() {
    stale_ = true;
    if (isVisible()) RefreshNow();
  }
  void RefreshNow() {
    stale_ = false;
    ChannelsChanged();
    Refresh();
  }

 protected:
  void showEvent(QShowEvent* e) override {
    QWidget::showEvent(e);
    if (stale_) RefreshNow();
  }
  virtual void ChannelsChanged() {}  // refill the variable choices
  virtual void Refresh() = 0;

  TLogAnalysis& data_;
  bool stale_ = true;
};

// Fills a choice of variable (the log's columns, then the computed channels)
// keeping name chosen.
void FillVariableChoice(QComboBox* box, const LogChannels& channels, const std::string& name);
std::string ChosenVariable(const QComboBox* box);
// The rows passed of all rows: "Строк после фильтров: 1234 из 90000".
QString RowsCaption(const TLogAnalysis& data);
