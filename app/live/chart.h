#pragma once
// The page "График": Chart1 with its five fast line series, the axes of the
// two chart modes, the custom axis of Series5 and the zoom buttons in Panel3.
// User-interface thread.

#include <QPushButton>
#include <QWidget>
#include <vector>

class QCustomPlot;
class QCPAxis;
class QCPGraph;
class QCPRange;
struct AxisRange;
struct RunCurves;

class TChartPage : public QWidget {
 public:
  explicit TChartPage(QWidget* parent);

  // Axes, margin and cleared series for ChartMode 0 (acceleration) or 1
  // (additional fuel).
  void SetupChart(int chartMode);
  void btnZoomInClick();
  void btnZoomOutClick();
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

  QCustomPlot* Chart1 = nullptr;
  QCPGraph* Series1 = nullptr;
  QCPGraph* Series2 = nullptr;
  QCPGraph* Series3 = nullptr;
  QCPGraph* Series4 = nullptr;
  QCPGraph* Series5 = nullptr;
  QCPAxis* CustomAxis = nullptr;
  QWidget* Panel3 = nullptr;
  QPushButton* btnZoomIn = nullptr;
  QPushButton* btnZoomOut = nullptr;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void PlaceZoomPanel();
  // Panning: only the horizontal axis moves, and never left of 0.
  void BottomRangeChanged(const QCPRange& newRange, const QCPRange& oldRange);

  double bottomIncrement_ = 0;
  std::vector<QCPGraph*> runGraphs_;
};
