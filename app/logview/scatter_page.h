#pragma once
// "Точки": every row that passed the filters as a point of two variables,
// coloured by a third (blue low, red high; grey where it has no value); the
// mouse shows the nearest point's values. User-interface thread.

#include <optional>

#include "app/logview/analysis_page.h"

class QComboBox;
class QCPColorScale;
class QCPGraph;
class QCustomPlot;
class QLabel;

class TLogScatterPage : public TLogAnalysisPage {
 public:
  TLogScatterPage(TLogAnalysis& data, QWidget* parent);

  // The row whose point is nearest the pixel, and its values as shown.
  std::optional<std::size_t> NearestRow(QPointF pixel) const;
  void ShowPointAt(QPointF pixel);
  QString PointText() const;

  QCustomPlot* plot = nullptr;

 protected:
  void ChannelsChanged() override;
  void Refresh() override;

 private:
  void ChoiceChanged();

  QComboBox *cbX_ = nullptr, *cbY_ = nullptr, *cbColour_ = nullptr;
  QLabel *lblCaption_ = nullptr, *lblPoint_ = nullptr;
  QCPColorScale* scale_ = nullptr;
  std::vector<QCPGraph*> bands_;  // one colour each; the last for rows without a colour value
  QCPGraph* marker_ = nullptr;
  std::optional<std::size_t> x_, y_, colour_;
};
