// The log view's tracks: the choice of variables, the plots, the shared time
// range and the cursor with its readout.
#include <qcustomplot.h>

#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QListWidget>
#include <QMenu>
#include <QScrollArea>
#include <QStackedWidget>
#include <QTimer>
#include <algorithm>
#include <functional>

#include "app/logview/readout.h"
#include "app/logview/window.h"
#include "common/config.h"

namespace {

const char* const kHintNoLog = "Лог не открыт. Откройте его кнопкой «Открыть лог...».";
const char* const kHintNoVariables = "Отметьте переменные в списке слева.";

// The narrowest visible time range, in seconds: a few rows at 25 rows a second.
constexpr double kMinVisibleSeconds = 0.1;
// Track heights below which the chart area scrolls instead of squeezing.
constexpr int kTrackMinHeight = 70;
constexpr int kFlagTrackMinHeight = 30;
constexpr int kTimeAxisHeight = 45;
constexpr double kFlagTrackStretch = 0.35;

const QColor kColours[] = {QColor(0, 0, 255),   QColor(220, 0, 0),    QColor(0, 140, 0),
                           QColor(200, 0, 200), QColor(0, 150, 160),  QColor(230, 120, 0),
                           QColor(110, 70, 20), QColor(90, 90, 90),   QColor(130, 0, 255),
                           QColor(150, 150, 0), QColor(255, 80, 140), QColor(0, 90, 120)};

// Minimum, maximum and mean of the visible range, under a variable's name.
QString StatsText(double min, double max, double mean, int decimals) {
  return "↓" + QString::number(min, 'f', decimals) + " ↑" + QString::number(max, 'f', decimals) + " ⌀" +
         QString::number(mean, 'f', std::min(decimals + 1, 3));
}

QColor ColourOf(std::size_t nth) { return kColours[nth % std::size(kColours)]; }

}  // namespace

// ---------------------------------------------------------------------------
// The choice of variables and tracks.

void TfrmLogView::FillVariableList() {
  const QSignalBlocker block(lstVariables_);
  lstVariables_->clear();
  for (const std::string& name : analysis_.channels.Names()) {
    auto* item = new QListWidgetItem(QString::fromStdString(name), lstVariables_);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable | Qt::ItemIsSelectable);
    item->setCheckState(Qt::Unchecked);
  }
  SyncChecks();
}

void TfrmLogView::SyncChecks() {
  const QSignalBlocker block(lstVariables_);
  for (int i = 0; i < lstVariables_->count(); ++i) {
    QListWidgetItem* item = lstVariables_->item(i);
    const bool chosen = TrackOf(tracks_, item->text().toStdString()) >= 0;
    item->setCheckState(chosen ? Qt::Checked : Qt::Unchecked);
  }
}

void TfrmLogView::VariableToggled(QListWidgetItem* item) {
  SetChecked(item->text().toStdString(), item->checkState() == Qt::Checked);
}

void TfrmLogView::SetChecked(const std::string& name, bool checked) {
  if (!analysis_.channels.IndexOf(name)) return;
  if (checked)
    AddVariable(tracks_, name);
  else
    RemoveVariable(tracks_, name);
  TracksChanged();
}

void TfrmLogView::SetTracks(const LogTracks& tracks) {
  tracks_ = ParseTracks(FormatTracks(tracks), analysis_.channels.Names());
  TracksChanged();
}

void TfrmLogView::FilterVariables(const QString& text) {
  for (int i = 0; i < lstVariables_->count(); ++i) {
    QListWidgetItem* item = lstVariables_->item(i);
    item->setHidden(!item->text().contains(text.trimmed(), Qt::CaseInsensitive));
  }
}

void TfrmLogView::TracksChanged() {
  TCfg.LogViewTracks = FormatTracks(tracks_);  // saved with the settings at close
  SyncChecks();
  RebuildTracks();
}

void TfrmLogView::ShowTrackMenu(int track, const QPoint& globalPos) {
  if (track < 0 || static_cast<std::size_t>(track) >= tracks_.size()) return;
  const std::size_t t = static_cast<std::size_t>(track);
  QMenu menu(this);
  auto add = [&](const char* caption, bool enabled, const std::function<void()>& change) {
    QAction* a = menu.addAction(QString::fromUtf8(caption));
    a->setEnabled(enabled);
    connect(a, &QAction::triggered, this, [this, change] {
      change();
      TracksChanged();
    });
  };
  add("Объединить с дорожкой выше", track > 0, [this, track] { MergeWithTrackAbove(tracks_, track); });
  add("Разделить дорожку", tracks_[t].size() > 1, [this, track] { SplitTrack(tracks_, track); });
  add("Переместить выше", track > 0, [this, track] { MoveTrack(tracks_, track, -1); });
  add("Переместить ниже", t + 1 < tracks_.size(), [this, track] { MoveTrack(tracks_, track, 1); });
  menu.addSeparator();
  add("Убрать с графика", true,
      [this, t] { tracks_.erase(tracks_.begin() + static_cast<std::ptrdiff_t>(t)); });
  menu.exec(globalPos);
}

int TfrmLogView::TrackAtPixel(int y) const {
  for (std::size_t i = 0; i < trackViews_.size(); ++i) {
    const QRect r = trackViews_[i].rect->outerRect();
    if (y >= r.top() && y <= r.bottom()) return static_cast<int>(i);
  }
  return -1;
}

// ---------------------------------------------------------------------------
// The tracks.

QSharedPointer<QCPGraphDataContainer> TfrmLogView::GraphData(std::size_t var) {
  auto& data = graphData_[var];
  if (!data) {
    const auto& times = table_.Times();
    const ChannelValues values = analysis_.channels.Values(var);
    QVector<QCPGraphData> points(static_cast<qsizetype>(times.size()));
    for (std::size_t i = 0; i < times.size(); ++i)
      points[static_cast<qsizetype>(i)] = QCPGraphData(times[i], values.At(i));
    data = QSharedPointer<QCPGraphDataContainer>::create();
    data->set(points, true);
  }
  return data;
}

void TfrmLogView::RebuildTracks() {
  const bool keepRange = !trackViews_.empty();
  plot_->clearPlottables();
  plot_->plotLayout()->clear();
  trackViews_.clear();
  delete marginGroup_;
  marginGroup_ = nullptr;
  cursor_->hide();

  if (!hasLog_ || tracks_.empty()) {
    graphData_.clear();
    lblHint_->setText(hasLog_ ? kHintNoVariables : kHintNoLog);
    pages_->setCurrentWidget(lblHint_);
    readout_->SetContent({}, 0, {});
    plot_->replot();
    return;
  }
  pages_->setCurrentWidget(scroll_);
  marginGroup_ = new QCPMarginGroup(plot_);
  int minHeight = kTimeAxisHeight;
  std::size_t nth = 0;
  std::map<std::size_t, QSharedPointer<QCPGraphDataContainer>> used;
  QList<QCPAxis*> timeAxes;
  for (std::size_t t = 0; t < tracks_.size(); ++t) {
    minHeight += AddTrack(t, nth, used);
    timeAxes << trackViews_.back().rect->axis(QCPAxis::atBottom);
  }
  graphData_ = std::move(used);  // variables no longer shown let their copies go
  for (const TrackView& v : trackViews_) {
    v.rect->setRangeDrag(Qt::Horizontal);
    v.rect->setRangeZoom(Qt::Horizontal);
    v.rect->setRangeDragAxes(timeAxes, {});
    v.rect->setRangeZoomAxes(timeAxes, {});
  }
  SizeReadout();
  chartArea_->setMinimumHeight(minHeight);
  // Size the chart now, so the replot below lays the tracks out only once.
  chartArea_->layout()->activate();
  if (keepRange)
    SetVisibleTime(visible_);
  else
    FitAll();
}

int TfrmLogView::AddTrack(std::size_t t, std::size_t& nth,
                          std::map<std::size_t, QSharedPointer<QCPGraphDataContainer>>& used) {
  const LogChannels& channels = analysis_.channels;
  const bool last = t + 1 == tracks_.size();
  const bool flags = std::all_of(tracks_[t].begin(), tracks_[t].end(), [&channels](const std::string& n) {
    return channels.IsFlag(*channels.IndexOf(n));
  });
  auto* rect = new QCPAxisRect(plot_);
  plot_->plotLayout()->addElement(static_cast<int>(t), 0, rect);
  plot_->plotLayout()->setRowStretchFactor(static_cast<int>(t), flags ? kFlagTrackStretch : 1.0);
  rect->setMarginGroup(QCP::msLeft | QCP::msRight, marginGroup_);
  rect->setAutoMargins(last ? QCP::msLeft | QCP::msRight | QCP::msBottom : QCP::msLeft | QCP::msRight);
  rect->setMargins(QMargins(0, 3, 6, last ? 0 : 3));
  QCPAxis* time = rect->axis(QCPAxis::atBottom);
  QCPAxis* value = rect->axis(QCPAxis::atLeft);
  time->setTickLabels(last);
  if (last) time->setLabel("Время, с");

  TrackView view;
  view.rect = rect;
  double lo = 0, hi = 0;
  for (std::size_t i = 0; i < tracks_[t].size(); ++i) {
    const std::size_t var = *channels.IndexOf(tracks_[t][i]);
    lo = i == 0 ? channels.Min(var) : std::min(lo, channels.Min(var));
    hi = i == 0 ? channels.Max(var) : std::max(hi, channels.Max(var));
    QCPGraph* graph = plot_->addGraph(time, value);
    graph->setData(used[var] = GraphData(var));
    graph->setPen(QPen(ColourOf(nth++), 1));
    graph->setLineStyle(channels.IsFlag(var) ? QCPGraph::lsStepLeft : QCPGraph::lsLine);
    graph->setAdaptiveSampling(true);
    view.vars.push_back(var);
    view.graphs.push_back(graph);
  }
  if (flags) {
    auto ticker = QSharedPointer<QCPAxisTickerFixed>::create();
    ticker->setTickStep(1);
    value->setTicker(ticker);
    value->setRange(-0.3, 1.3);
  } else {
    const double pad = hi > lo ? (hi - lo) * 0.05 : 1;
    value->setRange(lo - pad, hi + pad);
    value->ticker()->setTickCount(4);
  }
  connect(time, qOverload<const QCPRange&>(&QCPAxis::rangeChanged), this,
          [this](const QCPRange& r) { TimeRangeChanged(r); });
  trackViews_.push_back(std::move(view));
  return flags ? kFlagTrackMinHeight : kTrackMinHeight;
}

void TfrmLogView::SizeReadout() {
  const LogChannels& channels = analysis_.channels;
  const QFontMetrics fm = readout_->fontMetrics();
  int nameWidth = 0, valueWidth = 0, statsWidth = 0;
  for (const TrackView& v : trackViews_)
    for (const std::size_t var : v.vars) {
      nameWidth = std::max(nameWidth, fm.horizontalAdvance(QString::fromStdString(channels.Names()[var])));
      for (double x : {channels.Min(var), channels.Max(var)}) {
        valueWidth =
            std::max(valueWidth, fm.horizontalAdvance(QString::number(x, 'f', channels.Decimals(var))));
        statsWidth = std::max(statsWidth, fm.horizontalAdvance(StatsText(x, x, x, channels.Decimals(var))));
      }
    }
  readout_->SetWidths(nameWidth, valueWidth, statsWidth);
}

// ---------------------------------------------------------------------------
// The time range.

void TfrmLogView::FitAll() {
  if (!hasLog_) return;
  SetVisibleTime({table_.Times().front(), table_.Times().back()});
}

TimeRange TfrmLogView::VisibleTime() const { return visible_; }

void TfrmLogView::SetVisibleTime(TimeRange range) {
  ApplyTimeRange(range);
  plot_->replot();
}

void TfrmLogView::ApplyTimeRange(TimeRange range) {
  if (hasLog_)
    range = ClampTimeRange(range, table_.Times().front(), table_.Times().back(), kMinVisibleSeconds);
  visible_ = range;
  if (hasLog_ && analysis_.options.filters.visibleOnly) visibleRowsTimer_->start();
  syncingRange_ = true;
  for (const TrackView& v : trackViews_) v.rect->axis(QCPAxis::atBottom)->setRange(range.lower, range.upper);
  syncingRange_ = false;
}

void TfrmLogView::TimeRangeChanged(const QCPRange& range) {
  // A drag or a wheel step on any track: all tracks follow, kept on the log.
  // The chart replots itself after the mouse event.
  if (!syncingRange_) ApplyTimeRange({range.lower, range.upper});
}

// ---------------------------------------------------------------------------
// The cursor and its readout.

void TfrmLogView::CursorAtPixel(int x) {
  if (trackViews_.empty()) return;
  SetCursorRow(table_.NearestRow(trackViews_.front().rect->axis(QCPAxis::atBottom)->pixelToCoord(x)));
}

void TfrmLogView::SetCursorTime(double t) {
  if (hasLog_) SetCursorRow(table_.NearestRow(t));
}

void TfrmLogView::SetCursorRow(std::size_t row) {
  cursorRow_ = row;
  PlaceCursor();
  UpdateReadout();
}

void TfrmLogView::StepCursor(int rows) {
  if (!hasLog_) return;
  const auto last = static_cast<std::ptrdiff_t>(table_.RowCount()) - 1;
  const auto from = cursorRow_ ? static_cast<std::ptrdiff_t>(*cursorRow_)
                               : static_cast<std::ptrdiff_t>(table_.NearestRow(visible_.lower));
  SetCursorRow(static_cast<std::size_t>(std::clamp<std::ptrdiff_t>(from + rows, 0, last)));
}

void TfrmLogView::PlaceCursor() {
  if (!cursorRow_ || trackViews_.empty()) {
    cursor_->hide();
    return;
  }
  const QCPAxisRect* first = trackViews_.front().rect;
  const QCPAxisRect* last = trackViews_.back().rect;
  const double x = first->axis(QCPAxis::atBottom)->coordToPixel(table_.Times()[*cursorRow_]);
  if (x < first->left() || x > first->right()) {
    cursor_->hide();
    return;
  }
  cursor_->setGeometry(qRound(x), first->top(), 1, last->bottom() - first->top() + 1);
  cursor_->show();
  cursor_->raise();
}

std::vector<std::pair<std::string, std::string>> TfrmLogView::Readout() const {
  std::vector<std::pair<std::string, std::string>> out;
  for (const TrackView& v : trackViews_)
    for (const std::size_t var : v.vars)
      out.emplace_back(analysis_.channels.Names()[var],
                       cursorRow_ ? analysis_.channels.FormatValue(var, *cursorRow_) : std::string());
  return out;
}

void TfrmLogView::UpdateReadout() {
  if (trackViews_.empty()) return;
  std::vector<TLogReadout::Group> groups;
  std::size_t nth = 0;
  for (const TrackView& v : trackViews_) {
    TLogReadout::Group g;
    g.top = v.rect->top();
    g.bottom = v.rect->bottom();
    for (const std::size_t var : v.vars) {
      const RangeStats st = VisibleStats(analysis_.channels.Names()[var]);
      const int decimals = analysis_.channels.Decimals(var);
      g.lines.push_back(
          {ColourOf(nth++), QString::fromStdString(analysis_.channels.Names()[var]),
           cursorRow_ ? QString::fromStdString(analysis_.channels.FormatValue(var, *cursorRow_)) : QString(),
           st.count ? StatsText(st.min, st.max, st.mean, decimals) : QString()});
    }
    groups.push_back(std::move(g));
  }
  const QString title = cursorRow_ ? "Время: " + LogSeconds(table_.Times()[*cursorRow_]) + " с" : QString();
  readout_->SetContent(title, trackViews_.back().rect->bottom() + 6, std::move(groups));
}

RangeStats TfrmLogView::VisibleStats(const std::string& name) const {
  const auto var = analysis_.channels.IndexOf(name);
  if (!hasLog_ || !var) return {};
  const auto& t = table_.Times();
  const auto first =
      static_cast<std::size_t>(std::lower_bound(t.begin(), t.end(), visible_.lower) - t.begin());
  const auto end = static_cast<std::size_t>(std::upper_bound(t.begin(), t.end(), visible_.upper) - t.begin());
  if (first >= end) return {};
  const auto key = std::make_tuple(*var, first, end);
  auto& cached = statsCache_[*var];
  if (cached.first != key) cached = {key, StatsOverRows(analysis_.channels.Values(*var), first, end - 1)};
  return cached.second;
}

bool TfrmLogView::eventFilter(QObject* watched, QEvent* event) {
  if (watched == plot_ && event->type() == QEvent::KeyPress) {
    // Arrow keys step the cursor row by row (ten rows with Shift).
    const auto* key = static_cast<QKeyEvent*>(event);
    const int step = key->modifiers() & Qt::ShiftModifier ? 10 : 1;
    if (key->key() == Qt::Key_Left || key->key() == Qt::Key_Right) {
      StepCursor(key->key() == Qt::Key_Left ? -step : step);
      return true;
    }
  }
  return QMainWindow::eventFilter(watched, event);
}
