#pragma once
// "Таблица по ячейкам": a variable's statistic (mean, minimum, maximum or
// count) per cell of two others over the rows that passed the filters; each
// cell with its hit count, greyed under the hit threshold, coloured from blue
// (low) to red (high) around a centre. "Копировать" puts it on the clipboard
// for a spreadsheet. User-interface thread.

#include "app/logview/analysis_page.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QTableWidget;

class TLogCellPage : public TLogAnalysisPage {
 public:
  TLogCellPage(TLogAnalysis& data, QWidget* parent);

  const CellTable& Cells() const { return cells_; }
  // The table as "Копировать" puts it on the clipboard: tab-separated, the
  // system's decimal point, the axes included.
  std::string CopyText() const;
  void Copy() const;

  QComboBox *cbZ = nullptr, *cbStatistic = nullptr;
  QLineEdit *edXBreaks = nullptr, *edYBreaks = nullptr;

 protected:
  void ChannelsChanged() override;
  void Refresh() override;

 private:
  std::vector<double> Breakpoints(const std::string& name) const;
  void BreakpointsEdited(QLineEdit* edit, const std::string& name);
  void ChoiceChanged();
  void Fill();
  int ValueDecimals() const;

  QComboBox *cbX_ = nullptr, *cbY_ = nullptr;
  QLineEdit* edCentre_ = nullptr;
  QSpinBox* seMinHits_ = nullptr;
  QPushButton* copyButton_ = nullptr;
  QTableWidget* grid_ = nullptr;
  QLabel* lblCaption_ = nullptr;
  CellTable cells_;
  QString breakError_;
};
