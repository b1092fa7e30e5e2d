#pragma once
// The page "График": the plot (object name Chart1) with its five fast line
// series, the axes of the two chart modes, the custom axis of series 5 and the
// zoom buttons in their panel (Panel3). User-interface thread.

#include <QPushButton>
#include <QWidget>
#include <array>
#include <vector>

#include "app/widgets/chart_update.h"

class QCustomPlot;
class QCPAxis;
class QCPGraph;
class QCPRange;

class TChartPage : public QWidget {
 public:
  explicit TChartPage(QWidget* parent);

  // Axes, margin and cleared series for ChartMode 0 (acceleration) or 1
  // (additional fuel).
  void SetupChart(int chartMode);
  void OnZoomIn();
  void OnZoomOut();
  // Bottom axis tick step; 0 while the chart chooses it.
  double BottomIncrement() const { return bottomIncrement_; }
  void SetBottomIncrement(double step);
  // The bottom axis with its tick step; setting it replots.
  AxisRange BottomAxis() const;
  void SetBottomAxis(const AxisRange& r);
  // Runs chosen in the table, drawn over the live series with a legend
  // naming each one's correction; the bottom axis shows the longest. They
  // stay until cleared or the chart is set up again.
  void ShowRunCurves(const RunCurves& runs);
  void ClearRunCurves();
  const std::vector<QCPGraph*>& RunGraphs() const { return runGraphs_; }

  QCustomPlot* Plot() const { return plot_; }
  // A live series by its SeriesIndex (kSeries1 .. kSeries5).
  QCPGraph* Series(int index) const { return series_[index]; }
  QCPAxis* CustomAxis() const { return customAxis_; }
  QWidget* ZoomPanel() const { return zoomPanel_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void PlaceZoomPanel();
  // Panning: only the horizontal axis moves, and never left of 0.
  void BottomRangeChanged(const QCPRange& newRange, const QCPRange& oldRange);

  QCustomPlot* plot_ = nullptr;
  std::array<QCPGraph*, kSeries5 + 1> series_{};  // by SeriesIndex; [0] unused
  QCPAxis* customAxis_ = nullptr;
  QWidget* zoomPanel_ = nullptr;
  QPushButton* zoomInButton_ = nullptr;
  QPushButton* zoomOutButton_ = nullptr;
  double bottomIncrement_ = 0;
  std::vector<QCPGraph*> runGraphs_;
};
