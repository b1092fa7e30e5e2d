#include "app/logview/window.h"

#include <qcustomplot.h>

#include <QAction>
#include <QCloseEvent>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPainter>
#include <QScrollArea>
#include <QSplitter>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>
#include <algorithm>
#include <functional>

#include "app/logview/cell_page.h"
#include "app/logview/channel_page.h"
#include "app/logview/filter_bar.h"
#include "app/logview/histogram_page.h"
#include "app/logview/scatter_page.h"
#include "common/config.h"
#include "common/paths.h"
#include "common/ui.h"

namespace {

const char* const kTitle = "Просмотр лога";
const char* const kLogFilter = "Логи CSV|*.csv|Все файлы|*";
const char* const kPngFilter = "Картинка PNG|*.png";
const char* const kHintNoLog = "Лог не открыт. Откройте его кнопкой «Открыть лог...».";
const char* const kHintNoVariables = "Отметьте переменные в списке слева.";
const char* const kNoMemory = "Недостаточно памяти, чтобы открыть этот лог.";

// The narrowest visible time range, in seconds: a few rows at 25 rows a second.
constexpr double kMinVisibleSeconds = 0.1;
// Track heights below which the chart area scrolls instead of squeezing.
constexpr int kTrackMinHeight = 70;
constexpr int kFlagTrackMinHeight = 30;
constexpr int kTimeAxisHeight = 45;
constexpr double kFlagTrackStretch = 0.35;
constexpr int kLoadPollMs = 50;
// The filters' "shown on the tracks" range follows a zoom or a drag this long after it.
constexpr int kVisibleRowsDelayMs = 250;

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

QString Seconds(double t) { return QString::number(t, 'f', 3); }

}  // namespace

// The values at the cursor, beside the tracks: each track's variables from the
// top of its plot down, in their line colours, and the cursor's time under the
// last track, level with the time axis.
class TLogReadout : public QWidget {
 public:
  struct Line {
    QColor colour;
    QString name, value;
    QString stats;  // minimum, maximum and mean over the visible range, under the name
  };
  struct Group {
    int top = 0, bottom = 0;
    std::vector<Line> lines;
  };

  explicit TLogReadout(QWidget* parent) : QWidget(parent) {
    setAutoFillBackground(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, Qt::white);
    setPalette(p);
  }

  void SetContent(QString title, int titleTop, std::vector<Group> groups) {
    title_ = std::move(title);
    titleTop_ = titleTop;
    groups_ = std::move(groups);
    update();
  }
  // Room for the longest name and value, so moving the cursor never resizes.
  void SetWidths(int nameWidth, int valueWidth, int statsWidth) {
    nameWidth_ = nameWidth;
    const QFontMetrics fm = fontMetrics();
    setFixedWidth(std::max({kSwatch + kGap + nameWidth + kGap + valueWidth + kGap, statsWidth + 2 * kGap,
                            fm.horizontalAdvance("Время: 00000.000 с") + kGap}));
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    const QFontMetrics fm = fontMetrics();
    const int lineHeight = fm.height();
    for (const Group& g : groups_) {
      int y = g.top;
      for (std::size_t i = 0; i < g.lines.size(); ++i, y += 2 * lineHeight) {
        const Line& l = g.lines[i];
        if (i > 0 && y + 2 * lineHeight > g.bottom) {  // no room left on this track
          p.setPen(Qt::black);
          p.drawText(QRect(kSwatch + kGap, y - lineHeight, width(), lineHeight), Qt::AlignRight, "…");
          break;
        }
        p.fillRect(QRect(0, y + (lineHeight - kSwatch) / 2, kSwatch, kSwatch), l.colour);
        p.setPen(l.colour);
        p.drawText(QRect(kSwatch + kGap, y, nameWidth_, lineHeight), Qt::AlignLeft | Qt::AlignVCenter,
                   l.name);
        p.setPen(Qt::black);
        p.drawText(QRect(0, y, width() - kGap, lineHeight), Qt::AlignRight | Qt::AlignVCenter, l.value);
        p.setPen(QColor(110, 110, 110));
        p.drawText(QRect(0, y + lineHeight, width() - kGap, lineHeight), Qt::AlignRight | Qt::AlignVCenter,
                   l.stats);
      }
    }
    p.setPen(Qt::black);
    p.drawText(QRect(0, titleTop_, width() - kGap, lineHeight), Qt::AlignRight | Qt::AlignVCenter, title_);
  }

 private:
  static constexpr int kSwatch = 8;
  static constexpr int kGap = 6;
  QString title_;
  int titleTop_ = 0;
  int nameWidth_ = 0;
  std::vector<Group> groups_;
};

struct TfrmLogView::Load {
  std::string path;
  LogReadProgress progress;
  LogReadResult result;
  std::atomic<bool> done{false};
  std::thread thread;
};

TfrmLogView::TfrmLogView(UiHooks& ui, QWidget* parent) : QMainWindow(parent, Qt::Window), ui_(ui) {
  setObjectName("frmLogView");
  setWindowTitle(kTitle);
  // The program ends with the main window, whether this one is open or not.
  setAttribute(Qt::WA_QuitOnClose, false);

  auto action = [this](const char* name, const char* caption) {
    auto* a = new QAction(QString::fromUtf8(caption), this);
    a->setObjectName(name);
    a->setToolTip(a->text());
    return a;
  };
  actOpenLog = action("actOpenLog", "Открыть лог...");
  actFitAll = action("actFitAll", "Показать всё");
  actFitAll->setShortcut(QKeySequence(Qt::Key_Home));
  actExportPng = action("actExportPng", "Сохранить PNG...");
  actRefresh = action("actRefresh", "Обновить");
  actRefresh->setShortcut(QKeySequence(Qt::Key_F5));
  actRefresh->setToolTip("Прочитать лог заново (лог, который ещё пишется)");
  connect(actOpenLog, &QAction::triggered, this, [this] { OpenLogCommand(); });
  connect(actRefresh, &QAction::triggered, this, [this] { RefreshLog(); });
  connect(actFitAll, &QAction::triggered, this, [this] { FitAll(); });
  connect(actExportPng, &QAction::triggered, this, [this] { ExportPngCommand(); });
  QToolBar* tb = addToolBar("ToolBar");
  tb->setMovable(false);
  tb->toggleViewAction()->setVisible(false);
  tb->addAction(actOpenLog);
  tb->addAction(actRefresh);
  tb->addSeparator();
  tb->addAction(actFitAll);
  tb->addAction(actExportPng);

  auto* splitter = new QSplitter(this);
  auto* left = new QWidget(splitter);
  auto* leftLayout = new QVBoxLayout(left);
  leftLayout->setContentsMargins(4, 4, 0, 4);
  edFilter = new QLineEdit(left);
  edFilter->setObjectName("edFilter");
  edFilter->setPlaceholderText("Поиск переменной");
  edFilter->setClearButtonEnabled(true);
  lstVariables = new QListWidget(left);
  lstVariables->setObjectName("lstVariables");
  lstVariables->setContextMenuPolicy(Qt::CustomContextMenu);
  leftLayout->addWidget(edFilter);
  leftLayout->addWidget(lstVariables, 1);

  auto* right = new QWidget(splitter);
  auto* rightLayout = new QVBoxLayout(right);
  rightLayout->setContentsMargins(0, 0, 0, 0);
  rightLayout->setSpacing(0);
  tabs = new QTabWidget(right);
  tabs->setObjectName("tabsLogView");
  tabs->setDocumentMode(true);
  rightLayout->addWidget(tabs, 1);
  analysis_.options = LogViewOptions::Load(TCfg.LogViewOptions);
  analysis_.channels.Reset(nullptr, analysis_.options.channels);
  analysis_.optionsChanged = [this](bool filtersChanged) { OptionsChanged(filtersChanged); };
  filterBar = new TLogFilterBar(analysis_, right);
  rightLayout->addWidget(filterBar);

  pages_ = new QStackedWidget(tabs);
  lblHint_ = new QLabel(kHintNoLog, pages_);
  lblHint_->setAlignment(Qt::AlignCenter);
  lblHint_->setWordWrap(true);
  pages_->addWidget(lblHint_);
  scroll_ = new QScrollArea(pages_);
  scroll_->setWidgetResizable(true);
  scroll_->setFrameShape(QFrame::NoFrame);
  chartArea_ = new QWidget;
  auto* chartLayout = new QHBoxLayout(chartArea_);
  chartLayout->setContentsMargins(0, 0, 0, 0);
  chartLayout->setSpacing(0);
  Plot = new QCustomPlot(chartArea_);
  Plot->setObjectName("LogPlot");
  Plot->setBackground(Qt::white);
  Plot->plotLayout()->clear();  // one axis rect per track, made per choice
  Plot->plotLayout()->setRowSpacing(0);
  Plot->setInteractions(QCP::iRangeDrag | QCP::iRangeZoom);
  Plot->setNoAntialiasingOnDrag(true);
  Plot->setPlottingHint(QCP::phFastPolylines, true);
  Plot->setContextMenuPolicy(Qt::CustomContextMenu);
  Plot->setFocusPolicy(Qt::StrongFocus);
  Plot->setMouseTracking(true);
  Plot->installEventFilter(this);
  readout_ = new TLogReadout(chartArea_);
  chartLayout->addWidget(Plot, 1);
  chartLayout->addWidget(readout_);
  cursor_ = new QWidget(Plot);
  cursor_->setAttribute(Qt::WA_TransparentForMouseEvents);
  cursor_->setAutoFillBackground(true);
  QPalette cursorPalette = cursor_->palette();
  cursorPalette.setColor(QPalette::Window, QColor(255, 0, 0));
  cursor_->setPalette(cursorPalette);
  cursor_->hide();
  scroll_->setWidget(chartArea_);
  pages_->addWidget(scroll_);
  tabs->addTab(pages_, "Дорожки");
  cellPage = new TLogCellPage(analysis_, tabs);
  tabs->addTab(cellPage, "Таблица по ячейкам");
  scatterPage = new TLogScatterPage(analysis_, tabs);
  tabs->addTab(scatterPage, "Точки");
  histogramPage = new TLogHistogramPage(analysis_, tabs);
  tabs->addTab(histogramPage, "Гистограмма");
  channelPage = new TLogChannelPage(
      ui_, [this](std::vector<ComputedChannel> channels) { SetChannels(std::move(channels)); }, tabs);
  channelPage->SetChannels(analysis_.options.channels);
  tabs->addTab(channelPage, "Каналы");
  connect(tabs, &QTabWidget::currentChanged, this, [this] { PageChosen(); });
  PageChosen();
  visibleRowsTimer_ = new QTimer(this);
  visibleRowsTimer_->setSingleShot(true);
  visibleRowsTimer_->setInterval(kVisibleRowsDelayMs);
  connect(visibleRowsTimer_, &QTimer::timeout, this, [this] { RowsChanged(); });
  splitter->addWidget(left);
  splitter->addWidget(right);
  splitter->setStretchFactor(1, 1);
  splitter->setSizes({190, 900});
  setCentralWidget(splitter);

  lblInfo_ = new QLabel(this);
  statusBar()->addWidget(lblInfo_, 1);
  statusBar()->addPermanentWidget(new QLabel(
      "Колесо мыши — масштаб, перетаскивание — сдвиг, ←/→ — курсор по строкам, правая кнопка — дорожки",
      this));
  loadTimer_ = new QTimer(this);
  loadTimer_->setInterval(kLoadPollMs);
  connect(loadTimer_, &QTimer::timeout, this, [this] { PollLoad(); });

  connect(Plot, &QCustomPlot::mouseMove, this, [this](QMouseEvent* e) { CursorAtPixel(e->pos().x()); });
  connect(Plot, &QCustomPlot::afterReplot, this, [this] {
    PlaceCursor();
    UpdateReadout();
  });
  connect(Plot, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& pos) { ShowTrackMenu(TrackAtPixel(pos.y()), Plot->mapToGlobal(pos)); });
  connect(lstVariables, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
    const QListWidgetItem* item = lstVariables->itemAt(pos);
    if (item) ShowTrackMenu(TrackOf(tracks_, item->text().toStdString()), lstVariables->mapToGlobal(pos));
  });
  connect(lstVariables, &QListWidget::itemChanged, this,
          [this](QListWidgetItem* item) { VariableToggled(item); });
  connect(edFilter, &QLineEdit::textChanged, this, [this](const QString& text) { FilterVariables(text); });

  tracks_ = ParseTracks(TCfg.LogViewTracks, analysis_.channels.Names());
  FillVariableList();
  ShowInfo();
  resize(1150, 720);
}

TfrmLogView::~TfrmLogView() { CancelLoad(); }

// ---------------------------------------------------------------------------
// Opening.

void TfrmLogView::OpenLogCommand() {
  const auto name = ui_.AskOpenFileNameAt(folder_.empty() ? LogsDirPath() : folder_, kLogFilter);
  if (name) OpenLog(*name);
}

void TfrmLogView::OpenLog(const std::string& path) {
  CancelLoad();
  refreshing_ = false;
  load_ = std::make_unique<Load>();
  load_->path = path;
  Load* load = load_.get();
  load_->thread = std::thread([load] {
    try {
      load->result = ReadLogFile(load->path, &load->progress);
    } catch (const std::bad_alloc&) {
      load->result = LogReadResult();
      load->result.error = kNoMemory;
    } catch (const std::exception& e) {
      load->result = LogReadResult();
      load->result.error = std::string("Ошибка чтения файла: ") + e.what();
    }
    load->done.store(true, std::memory_order_release);
  });
  loadTimer_->start();
  lblInfo_->setText("Загрузка лога " + QFileInfo(QString::fromStdString(path)).fileName() + " ...");
  show();
  raise();
  activateWindow();
}

void TfrmLogView::CancelLoad() {
  if (!load_) return;
  load_->progress.cancel = true;
  load_->thread.join();
  load_.reset();
  loadTimer_->stop();
}

void TfrmLogView::PollLoad() {
  if (!load_) return;
  if (!load_->done.load(std::memory_order_acquire)) {
    const std::uint64_t total = load_->progress.bytesTotal;
    if (total > 0) {
      const int percent = static_cast<int>(load_->progress.bytesRead * 100 / total);
      lblInfo_->setText("Загрузка лога " + QFileInfo(QString::fromStdString(load_->path)).fileName() + ": " +
                        QString::number(std::min(percent, 100)) + " %");
    }
    return;
  }
  load_->thread.join();
  const std::unique_ptr<Load> load = std::move(load_);
  loadTimer_->stop();
  ShowInfo();
  if (load->result.cancelled) return;
  if (!load->result.error.empty()) {
    ui_.ShowError("Лог не открыт: " + load->path + "\n" + load->result.error);
    return;
  }
  ShowLog(std::move(load->result), load->path);
}

void TfrmLogView::ShowLog(LogReadResult result, const std::string& path) {
  // A refresh of the same log keeps the view; one that showed the old end
  // follows to the new end.
  const bool refresh = std::exchange(refreshing_, false) && hasLog_ && path == path_;
  const TimeRange before = visible_;
  const bool atEnd = refresh && before.upper >= table_.Times().back();
  table_ = std::move(result.table);
  path_ = path;
  folder_ = QFileInfo(QString::fromStdString(path)).absolutePath().toStdString();
  hasLog_ = true;
  skipped_ = result.SkippedLines();
  graphData_.clear();
  statsCache_.clear();
  cursorRow_.reset();
  setWindowTitle(QString(kTitle) + " — " + QString::fromStdString(FileName()));
  analysis_.table = &table_;
  analysis_.channels.Reset(&table_, analysis_.options.channels);
  RebuildTracks();
  if (!refresh) {
    FitAll();
  } else if (atEnd) {
    const double end = table_.Times().back();
    SetVisibleTime({end - (before.upper - before.lower), end});
  } else {
    SetVisibleTime(before);
  }
  ShowInfo();
  RowsChanged();
  const std::string report = result.SkipReport();
  // A log still being written ends in a row half written: no news on a refresh.
  if (!report.empty() && !refresh) ui_.ShowMessage("Лог " + FileName() + " открыт не полностью.\n" + report);
}

void TfrmLogView::RefreshLog() {
  if (!hasLog_ || Loading()) return;
  OpenLog(path_);
  refreshing_ = true;
}

// ---------------------------------------------------------------------------
// The analysis pages.

void TfrmLogView::OptionsChanged(bool filtersChanged) {
  analysis_.options.Save(TCfg.LogViewOptions);  // saved with the settings at close
  if (filtersChanged) RowsChanged();
}

void TfrmLogView::RowsChanged() {
  analysis_.rows.clear();
  if (hasLog_)
    analysis_.rows =
        FilterRows(analysis_.channels, table_, analysis_.options.filters, visible_.lower, visible_.upper);
  for (TLogAnalysisPage* page :
       std::initializer_list<TLogAnalysisPage*>{cellPage, scatterPage, histogramPage})
    page->Changed();
}

void TfrmLogView::SetChannels(std::vector<ComputedChannel> channels) {
  analysis_.options.channels = std::move(channels);
  analysis_.channels.Reset(hasLog_ ? &table_ : nullptr, analysis_.options.channels);
  channelPage->SetChannels(analysis_.options.channels);
  OptionsChanged(false);
  ChannelsChanged();
}

void TfrmLogView::SetFilters(const LogFilters& filters) {
  analysis_.options.filters = filters;
  OptionsChanged(true);
}

void TfrmLogView::ChannelsChanged() {
  // A removed channel leaves the tracks; a changed one is drawn anew.
  tracks_ = ParseTracks(FormatTracks(tracks_), analysis_.channels.Names());
  TCfg.LogViewTracks = FormatTracks(tracks_);
  graphData_.clear();
  statsCache_.clear();
  FillVariableList();
  filterBar->ChannelsChanged();
  RebuildTracks();
  RowsChanged();
}

void TfrmLogView::PageChosen() {
  QWidget* page = tabs->currentWidget();
  filterBar->setVisible(page == cellPage || page == scatterPage || page == histogramPage);
}

void TfrmLogView::closeEvent(QCloseEvent* event) {
  // Done looking: the log's memory goes back; the choice of tracks stays.
  CancelLoad();
  hasLog_ = false;
  table_ = LogTable();
  analysis_.table = nullptr;
  analysis_.channels.Reset(nullptr, analysis_.options.channels);
  analysis_.rows = {};
  path_.clear();
  skipped_ = 0;
  cursorRow_.reset();
  setWindowTitle(kTitle);
  RebuildTracks();
  ShowInfo();
  QMainWindow::closeEvent(event);
}

std::string TfrmLogView::FileName() const {
  return QFileInfo(QString::fromStdString(path_)).fileName().toStdString();
}

void TfrmLogView::ShowInfo() {
  if (!hasLog_) {
    lblInfo_->setText("Лог не открыт");
    return;
  }
  const auto& times = table_.Times();
  QString text = QString::fromStdString(FileName()) + ": строк " + QString::number(table_.RowCount()) +
                 ", время " + Seconds(times.front()) + "–" + Seconds(times.back()) + " с";
  if (skipped_ > 0) text += "; пропущено строк: " + QString::number(skipped_);
  lblInfo_->setText(text);
}

// ---------------------------------------------------------------------------
// The choice of variables and tracks.

void TfrmLogView::FillVariableList() {
  const QSignalBlocker block(lstVariables);
  lstVariables->clear();
  for (const std::string& name : analysis_.channels.Names()) {
    auto* item = new QListWidgetItem(QString::fromStdString(name), lstVariables);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable | Qt::ItemIsSelectable);
    item->setCheckState(Qt::Unchecked);
  }
  SyncChecks();
}

void TfrmLogView::SyncChecks() {
  const QSignalBlocker block(lstVariables);
  for (int i = 0; i < lstVariables->count(); ++i) {
    QListWidgetItem* item = lstVariables->item(i);
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
  for (int i = 0; i < lstVariables->count(); ++i) {
    QListWidgetItem* item = lstVariables->item(i);
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
  Plot->clearPlottables();
  Plot->plotLayout()->clear();
  trackViews_.clear();
  delete marginGroup_;
  marginGroup_ = nullptr;
  cursor_->hide();

  if (!hasLog_ || tracks_.empty()) {
    graphData_.clear();
    lblHint_->setText(hasLog_ ? kHintNoVariables : kHintNoLog);
    pages_->setCurrentWidget(lblHint_);
    readout_->SetContent({}, 0, {});
    Plot->replot();
    return;
  }
  pages_->setCurrentWidget(scroll_);
  marginGroup_ = new QCPMarginGroup(Plot);
  int minHeight = kTimeAxisHeight;
  int nameWidth = 0, valueWidth = 0, statsWidth = 0;
  const QFontMetrics fm = readout_->fontMetrics();
  std::size_t nth = 0;
  std::map<std::size_t, QSharedPointer<QCPGraphDataContainer>> used;
  QList<QCPAxis*> timeAxes;
  for (std::size_t t = 0; t < tracks_.size(); ++t) {
    const bool last = t + 1 == tracks_.size();
    const bool flags = std::all_of(tracks_[t].begin(), tracks_[t].end(), [this](const std::string& n) {
      return analysis_.channels.IsFlag(*analysis_.channels.IndexOf(n));
    });
    auto* rect = new QCPAxisRect(Plot);
    Plot->plotLayout()->addElement(static_cast<int>(t), 0, rect);
    Plot->plotLayout()->setRowStretchFactor(static_cast<int>(t), flags ? kFlagTrackStretch : 1.0);
    minHeight += flags ? kFlagTrackMinHeight : kTrackMinHeight;
    rect->setMarginGroup(QCP::msLeft | QCP::msRight, marginGroup_);
    rect->setAutoMargins(last ? QCP::msLeft | QCP::msRight | QCP::msBottom : QCP::msLeft | QCP::msRight);
    rect->setMargins(QMargins(0, 3, 6, last ? 0 : 3));
    QCPAxis* time = rect->axis(QCPAxis::atBottom);
    QCPAxis* value = rect->axis(QCPAxis::atLeft);
    time->setTickLabels(last);
    if (last) time->setLabel("Время, с");
    timeAxes << time;

    TrackView view;
    view.rect = rect;
    double lo = 0, hi = 0;
    for (std::size_t i = 0; i < tracks_[t].size(); ++i) {
      const LogChannels& channels = analysis_.channels;
      const std::size_t var = *channels.IndexOf(tracks_[t][i]);
      lo = i == 0 ? channels.Min(var) : std::min(lo, channels.Min(var));
      hi = i == 0 ? channels.Max(var) : std::max(hi, channels.Max(var));
      QCPGraph* graph = Plot->addGraph(time, value);
      graph->setData(used[var] = GraphData(var));
      graph->setPen(QPen(ColourOf(nth++), 1));
      graph->setLineStyle(channels.IsFlag(var) ? QCPGraph::lsStepLeft : QCPGraph::lsLine);
      graph->setAdaptiveSampling(true);
      view.vars.push_back(var);
      view.graphs.push_back(graph);
      nameWidth = std::max(nameWidth, fm.horizontalAdvance(QString::fromStdString(tracks_[t][i])));
      for (double v : {channels.Min(var), channels.Max(var)}) {
        valueWidth =
            std::max(valueWidth, fm.horizontalAdvance(QString::number(v, 'f', channels.Decimals(var))));
        statsWidth = std::max(statsWidth, fm.horizontalAdvance(StatsText(v, v, v, channels.Decimals(var))));
      }
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
  }
  graphData_ = std::move(used);  // variables no longer shown let their copies go
  for (const TrackView& v : trackViews_) {
    v.rect->setRangeDrag(Qt::Horizontal);
    v.rect->setRangeZoom(Qt::Horizontal);
    v.rect->setRangeDragAxes(timeAxes, {});
    v.rect->setRangeZoomAxes(timeAxes, {});
  }
  readout_->SetWidths(nameWidth, valueWidth, statsWidth);
  chartArea_->setMinimumHeight(minHeight);
  // Size the chart now, so the replot below lays the tracks out only once.
  chartArea_->layout()->activate();
  if (keepRange)
    SetVisibleTime(visible_);
  else
    FitAll();
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
  Plot->replot();
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
  const QString title = cursorRow_ ? "Время: " + Seconds(table_.Times()[*cursorRow_]) + " с" : QString();
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
  if (watched == Plot && event->type() == QEvent::KeyPress) {
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

// ---------------------------------------------------------------------------
// Export.

void TfrmLogView::ExportPngCommand() {
  if (!hasLog_ || tracks_.empty()) return;
  const QFileInfo log(QString::fromStdString(path_));
  const std::string suggested = (log.absolutePath() + "/" + log.completeBaseName() + ".png").toStdString();
  const auto name = ui_.AskSaveFileNameAt(suggested, kPngFilter);
  if (!name) return;
  std::string path = *name;
  if (!QString::fromStdString(path).endsWith(".png", Qt::CaseInsensitive)) path += ".png";
  if (!ExportPng(path)) ui_.ShowError("Не удалось сохранить картинку " + path + ".");
}

bool TfrmLogView::ExportPng(const std::string& path) {
  // The tracks with the readout beside them, as shown: the visible time range.
  return chartArea_->grab().save(QString::fromStdString(path), "PNG");
}
