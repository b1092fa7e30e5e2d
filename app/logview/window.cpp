#include "app/logview/window.h"

#include <qcustomplot.h>

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QScrollArea>
#include <QSplitter>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>
#include <algorithm>

#include "app/logview/cell_page.h"
#include "app/logview/channel_page.h"
#include "app/logview/filter_bar.h"
#include "app/logview/histogram_page.h"
#include "app/logview/readout.h"
#include "app/logview/scatter_page.h"
#include "app/widgets/user_dialogs.h"
#include "common/config.h"
#include "common/paths.h"
#include "common/worker.h"

namespace {

const char* const kTitle = "Просмотр лога";
const char* const kLogFilter = "Логи CSV|*.csv|Все файлы|*";
const char* const kPngFilter = "Картинка PNG|*.png";
const char* const kNoMemory = "Недостаточно памяти, чтобы открыть этот лог.";

constexpr int kLoadPollMs = 50;
// The filters' "shown on the tracks" range follows a zoom or a drag this long after it.
constexpr int kVisibleRowsDelayMs = 250;

}  // namespace

// Reads one log off the user-interface thread. It owns what it fills and
// touches no widget, so a window closed or given another file meanwhile only
// asks it to stop and lets it go.
class TfrmLogView::Load : public WorkerThread {
 public:
  explicit Load(std::string path) : path_(std::move(path)) {}
  void Cancel() {
    progress_.cancel = true;
    Terminate();
  }
  const std::string& Path() const { return path_; }
  const LogReadProgress& Progress() const { return progress_; }
  // Once Finished().
  LogReadResult& Result() { return result_; }

 protected:
  void Execute() override {
    try {
      result_ = ReadLogFile(path_, &progress_);
    } catch (const std::bad_alloc&) {
      result_ = LogReadResult();
      result_.error = kNoMemory;
    } catch (const std::exception& e) {
      result_ = LogReadResult();
      result_.error = std::string("Ошибка чтения файла: ") + e.what();
    }
  }

 private:
  const std::string path_;
  LogReadProgress progress_;
  LogReadResult result_;
};

TfrmLogView::TfrmLogView(UserDialogs& dialogs, QWidget* parent)
    : QMainWindow(parent, Qt::Window), dialogs_(dialogs) {
  setObjectName("frmLogView");
  setWindowTitle(kTitle);
  // The program ends with the main window, whether this one is open or not.
  setAttribute(Qt::WA_QuitOnClose, false);
  analysis_.options = LogViewOptions::Load(TCfg.LogViewOptions);
  analysis_.channels.Reset(nullptr, analysis_.options.channels);
  analysis_.optionsChanged = [this](bool filtersChanged) { OptionsChanged(filtersChanged); };

  BuildActions();
  auto* splitter = new QSplitter(this);
  splitter->addWidget(BuildVariableList(splitter));
  auto* right = new QWidget(splitter);
  auto* rightLayout = new QVBoxLayout(right);
  rightLayout->setContentsMargins(0, 0, 0, 0);
  rightLayout->setSpacing(0);
  tabs_ = new QTabWidget(right);
  tabs_->setObjectName("tabsLogView");
  tabs_->setDocumentMode(true);
  rightLayout->addWidget(tabs_, 1);
  filterBar_ = new TLogFilterBar(analysis_, right);
  rightLayout->addWidget(filterBar_);
  tabs_->addTab(BuildTrackPage(tabs_), "Дорожки");
  BuildAnalysisPages();
  splitter->addWidget(right);
  splitter->setStretchFactor(1, 1);
  splitter->setSizes({190, 900});
  setCentralWidget(splitter);
  BuildStatusBar();
  ConnectViewEvents();

  tracks_ = ParseTracks(TCfg.LogViewTracks, analysis_.channels.Names());
  FillVariableList();
  RebuildTracks();
  ShowInfo();
  resize(1150, 720);
}

TfrmLogView::~TfrmLogView() { CancelLoad(); }

// ---------------------------------------------------------------------------
// Building the window.

void TfrmLogView::BuildActions() {
  auto action = [this](const char* name, const char* caption) {
    auto* a = new QAction(QString::fromUtf8(caption), this);
    a->setObjectName(name);
    a->setToolTip(a->text());
    return a;
  };
  actOpenLog_ = action("actOpenLog", "Открыть лог...");
  actFitAll_ = action("actFitAll", "Показать всё");
  actFitAll_->setShortcut(QKeySequence(Qt::Key_Home));
  actExportPng_ = action("actExportPng", "Сохранить PNG...");
  actRefresh_ = action("actRefresh", "Обновить");
  actRefresh_->setShortcut(QKeySequence(Qt::Key_F5));
  actRefresh_->setToolTip("Прочитать лог заново (лог, который ещё пишется)");
  connect(actOpenLog_, &QAction::triggered, this, [this] { OpenLogCommand(); });
  connect(actRefresh_, &QAction::triggered, this, [this] { RefreshLog(); });
  connect(actFitAll_, &QAction::triggered, this, [this] { FitAll(); });
  connect(actExportPng_, &QAction::triggered, this, [this] { ExportPngCommand(); });
  QToolBar* tb = addToolBar("ToolBar");
  tb->setMovable(false);
  tb->toggleViewAction()->setVisible(false);
  tb->addAction(actOpenLog_);
  tb->addAction(actRefresh_);
  tb->addSeparator();
  tb->addAction(actFitAll_);
  tb->addAction(actExportPng_);
}

QWidget* TfrmLogView::BuildVariableList(QWidget* parent) {
  auto* left = new QWidget(parent);
  auto* leftLayout = new QVBoxLayout(left);
  leftLayout->setContentsMargins(4, 4, 0, 4);
  edFilter_ = new QLineEdit(left);
  edFilter_->setObjectName("edFilter");
  edFilter_->setPlaceholderText("Поиск переменной");
  edFilter_->setClearButtonEnabled(true);
  lstVariables_ = new QListWidget(left);
  lstVariables_->setObjectName("lstVariables");
  lstVariables_->setContextMenuPolicy(Qt::CustomContextMenu);
  leftLayout->addWidget(edFilter_);
  leftLayout->addWidget(lstVariables_, 1);
  return left;
}

QWidget* TfrmLogView::BuildTrackPage(QWidget* parent) {
  pages_ = new QStackedWidget(parent);
  lblHint_ = new QLabel(pages_);
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
  plot_ = new QCustomPlot(chartArea_);
  plot_->setObjectName("LogPlot");
  plot_->setBackground(Qt::white);
  plot_->plotLayout()->clear();  // one axis rect per track, made per choice
  plot_->plotLayout()->setRowSpacing(0);
  plot_->setInteractions(QCP::iRangeDrag | QCP::iRangeZoom);
  plot_->setNoAntialiasingOnDrag(true);
  plot_->setPlottingHint(QCP::phFastPolylines, true);
  plot_->setContextMenuPolicy(Qt::CustomContextMenu);
  plot_->setFocusPolicy(Qt::StrongFocus);
  plot_->setMouseTracking(true);
  plot_->installEventFilter(this);
  readout_ = new TLogReadout(chartArea_);
  chartLayout->addWidget(plot_, 1);
  chartLayout->addWidget(readout_);
  cursor_ = new QWidget(plot_);
  cursor_->setAttribute(Qt::WA_TransparentForMouseEvents);
  cursor_->setAutoFillBackground(true);
  QPalette cursorPalette = cursor_->palette();
  cursorPalette.setColor(QPalette::Window, QColor(255, 0, 0));
  cursor_->setPalette(cursorPalette);
  cursor_->hide();
  scroll_->setWidget(chartArea_);
  pages_->addWidget(scroll_);
  return pages_;
}

void TfrmLogView::BuildAnalysisPages() {
  cellPage = new TLogCellPage(analysis_, tabs_);
  tabs_->addTab(cellPage, "Таблица по ячейкам");
  scatterPage = new TLogScatterPage(analysis_, tabs_);
  tabs_->addTab(scatterPage, "Точки");
  histogramPage = new TLogHistogramPage(analysis_, tabs_);
  tabs_->addTab(histogramPage, "Гистограмма");
  channelPage = new TLogChannelPage(
      dialogs_, [this](std::vector<ComputedChannel> channels) { SetChannels(std::move(channels)); }, tabs_);
  channelPage->SetChannels(analysis_.options.channels);
  tabs_->addTab(channelPage, "Каналы");
  connect(tabs_, &QTabWidget::currentChanged, this, [this] { PageChosen(); });
  PageChosen();
  visibleRowsTimer_ = new QTimer(this);
  visibleRowsTimer_->setSingleShot(true);
  visibleRowsTimer_->setInterval(kVisibleRowsDelayMs);
  connect(visibleRowsTimer_, &QTimer::timeout, this, [this] { RowsChanged(); });
}

void TfrmLogView::BuildStatusBar() {
  lblInfo_ = new QLabel(this);
  statusBar()->addWidget(lblInfo_, 1);
  statusBar()->addPermanentWidget(new QLabel(
      "Колесо мыши — масштаб, перетаскивание — сдвиг, ←/→ — курсор по строкам, правая кнопка — дорожки",
      this));
  loadTimer_ = new QTimer(this);
  loadTimer_->setInterval(kLoadPollMs);
  connect(loadTimer_, &QTimer::timeout, this, [this] { PollLoad(); });
  // A log still being read when the program ends stops before the workers are waited for.
  connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, this, [this] { CancelLoad(); });
}

void TfrmLogView::ConnectViewEvents() {
  connect(plot_, &QCustomPlot::mouseMove, this, [this](QMouseEvent* e) { CursorAtPixel(e->pos().x()); });
  connect(plot_, &QCustomPlot::afterReplot, this, [this] {
    PlaceCursor();
    UpdateReadout();
  });
  connect(plot_, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& pos) { ShowTrackMenu(TrackAtPixel(pos.y()), plot_->mapToGlobal(pos)); });
  connect(lstVariables_, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
    const QListWidgetItem* item = lstVariables_->itemAt(pos);
    if (item) ShowTrackMenu(TrackOf(tracks_, item->text().toStdString()), lstVariables_->mapToGlobal(pos));
  });
  connect(lstVariables_, &QListWidget::itemChanged, this,
          [this](QListWidgetItem* item) { VariableToggled(item); });
  connect(edFilter_, &QLineEdit::textChanged, this, [this](const QString& text) { FilterVariables(text); });
}

// ---------------------------------------------------------------------------
// Opening.

void TfrmLogView::OpenLogCommand() {
  const auto name = dialogs_.AskOpenFileNameAt(folder_.empty() ? LogsDirPath() : folder_, kLogFilter);
  if (name) OpenLog(*name);
}

void TfrmLogView::OpenLog(const std::string& path) {
  CancelLoad();
  refreshing_ = false;
  load_ = std::make_shared<Load>(path);
  WorkerThread::Start(load_);
  loadTimer_->start();
  lblInfo_->setText("Загрузка лога " + QFileInfo(QString::fromStdString(path)).fileName() + " ...");
  show();
  raise();
  activateWindow();
}

void TfrmLogView::CancelLoad() {
  if (!load_) return;
  load_->Cancel();  // it ends by itself and lets its rows go
  load_.reset();
  loadTimer_->stop();
}

void TfrmLogView::PollLoad() {
  if (!load_) return;
  if (!load_->Finished()) {
    const std::uint64_t total = load_->Progress().bytesTotal;
    if (total > 0) {
      const int percent = static_cast<int>(load_->Progress().bytesRead * 100 / total);
      lblInfo_->setText("Загрузка лога " + QFileInfo(QString::fromStdString(load_->Path())).fileName() +
                        ": " + QString::number(std::min(percent, 100)) + " %");
    }
    return;
  }
  const std::shared_ptr<Load> load = std::move(load_);
  loadTimer_->stop();
  ShowInfo();
  LogReadResult& result = load->Result();
  if (result.cancelled) return;
  if (!result.error.empty()) {
    dialogs_.ShowError("Лог не открыт: " + load->Path() + "\n" + result.error);
    return;
  }
  ShowLog(std::move(result), load->Path());
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
  if (!report.empty() && !refresh)
    dialogs_.ShowMessage("Лог " + FileName() + " открыт не полностью.\n" + report);
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
  filterBar_->ChannelsChanged();
  RebuildTracks();
  RowsChanged();
}

void TfrmLogView::PageChosen() {
  QWidget* page = tabs_->currentWidget();
  filterBar_->setVisible(page == cellPage || page == scatterPage || page == histogramPage);
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
                 ", время " + LogSeconds(times.front()) + "–" + LogSeconds(times.back()) + " с";
  if (skipped_ > 0) text += "; пропущено строк: " + QString::number(skipped_);
  lblInfo_->setText(text);
}

// ---------------------------------------------------------------------------
// Export.

void TfrmLogView::ExportPngCommand() {
  if (!hasLog_ || tracks_.empty()) return;
  const QFileInfo log(QString::fromStdString(path_));
  const std::string suggested = (log.absolutePath() + "/" + log.completeBaseName() + ".png").toStdString();
  const auto name = dialogs_.AskSaveFileNameAt(suggested, kPngFilter);
  if (!name) return;
  std::string path = *name;
  if (!QString::fromStdString(path).endsWith(".png", Qt::CaseInsensitive)) path += ".png";
  if (!ExportPng(path)) dialogs_.ShowError("Не удалось сохранить картинку " + path + ".");
}

bool TfrmLogView::ExportPng(const std::string& path) {
  // The tracks with the readout beside them, as shown: the visible time range.
  return chartArea_->grab().save(QString::fromStdString(path), "PNG");
}
