#pragma once
// TfrmLogView: a window of its own that shows a CSV log. The variables with
// check boxes on the left; the chosen ones on stacked tracks that share the
// time axis (several may share a track), flags as step lines; wheel zoom and
// drag pan on the time axis, "Показать всё", a vertical cursor with the
// values of every chosen variable beside the tracks, and export of the
// visible range as PNG. The choice of tracks is kept in TCfg (cfg.ini
// [LogView]). It never touches the link. The file is read on a worker
// (common/worker.h) so a long log does not freeze the program; everything else
// runs on the user-interface thread.

#include <QMainWindow>
#include <QSharedPointer>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "app/logview/analysis_page.h"
#include "app/logview/plan.h"
#include "ecu/csvlog_reader.h"

class QAction;
class QCPAxisRect;
class QCPGraph;
class QCPGraphData;
template <class DataType>
class QCPDataContainer;
typedef QCPDataContainer<QCPGraphData> QCPGraphDataContainer;
class QCPMarginGroup;
class QCPRange;
class QCustomPlot;
class QLabel;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QScrollArea;
class QStackedWidget;
class QTabWidget;
class QTimer;
class TLogCellPage;
class TLogChannelPage;
class TLogFilterBar;
class TLogHistogramPage;
class TLogReadout;
class TLogScatterPage;
class UserDialogs;

class TfrmLogView : public QMainWindow {
 public:
  // dialogs: the message boxes and file dialogs.
  explicit TfrmLogView(UserDialogs& dialogs, QWidget* parent = nullptr);
  ~TfrmLogView() override;

  // "Открыть лог...": asks for a file and opens it.
  void OpenLogCommand();
  // Shows the window and starts reading path; the log replaces the shown one
  // once read, or a message says why it was refused (the shown one stays).
  void OpenLog(const std::string& path);
  bool Loading() const { return load_ != nullptr; }
  // Shows a log already read (the loader's last step).
  void ShowLog(LogReadResult result, const std::string& path);
  bool HasLog() const { return hasLog_; }
  const LogTable& Table() const { return table_; }
  const std::string& LogPath() const { return path_; }
  // "Обновить" (F5): reads the shown log again, for a log still being
  // written; a view that reached the old end follows to the new one.
  void RefreshLog();

  // The log's columns with the computed channels, the kept choices and the
  // rows that passed the filters, as the analysis pages use them.
  const TLogAnalysis& Analysis() const { return analysis_; }
  // Replaces the computed channels (as "Каналы" does once accepted).
  void SetChannels(std::vector<ComputedChannel> channels);
  void SetFilters(const LogFilters& filters);
  // Minimum, maximum and mean of a variable over the visible time range.
  RangeStats VisibleStats(const std::string& name) const;

  const LogTracks& Tracks() const { return tracks_; }
  void SetTracks(const LogTracks& tracks);
  // The check box of a variable in the list.
  void SetChecked(const std::string& name, bool checked);

  // "Показать всё": the whole log.
  void FitAll();
  TimeRange VisibleTime() const;
  void SetVisibleTime(TimeRange range);

  // The cursor on the row nearest to t, as a mouse over the tracks at t does.
  void SetCursorTime(double t);
  std::optional<std::size_t> CursorRow() const { return cursorRow_; }
  // The readout: each chosen variable with its value at the cursor.
  std::vector<std::pair<std::string, std::string>> Readout() const;

  // "Сохранить PNG...": asks for a file and saves the visible range there.
  void ExportPngCommand();
  bool ExportPng(const std::string& path);

  TLogCellPage* cellPage = nullptr;
  TLogScatterPage* scatterPage = nullptr;
  TLogHistogramPage* histogramPage = nullptr;
  TLogChannelPage* channelPage = nullptr;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  class Load;
  struct TrackView {
    QCPAxisRect* rect = nullptr;
    std::vector<std::size_t> vars;
    std::vector<QCPGraph*> graphs;
  };

  // The building steps of the constructor.
  void BuildActions();
  QWidget* BuildVariableList(QWidget* parent);
  QWidget* BuildTrackPage(QWidget* parent);
  void BuildAnalysisPages();
  void BuildStatusBar();
  void ConnectViewEvents();

  void PollLoad();
  void CancelLoad();
  void FillVariableList();
  void SyncChecks();
  void VariableToggled(QListWidgetItem* item);
  void FilterVariables(const QString& text);
  void TracksChanged();
  void RebuildTracks();
  // Track t with its graphs; nth counts the graphs for their colours, used
  // collects their data. Returns the track's minimum height.
  int AddTrack(std::size_t t, std::size_t& nth,
               std::map<std::size_t, QSharedPointer<QCPGraphDataContainer>>& used);
  void SizeReadout();
  QSharedPointer<QCPGraphDataContainer> GraphData(std::size_t var);
  void TimeRangeChanged(const QCPRange& range);
  void ApplyTimeRange(TimeRange range);
  void CursorAtPixel(int x);
  void SetCursorRow(std::size_t row);
  void StepCursor(int rows);
  void PlaceCursor();
  void UpdateReadout();
  void ShowTrackMenu(int track, const QPoint& globalPos);
  int TrackAtPixel(int y) const;
  void ShowInfo();
  void OptionsChanged(bool filtersChanged);
  void ChannelsChanged();
  void RowsChanged();
  void PageChosen();
  std::string FileName() const;

  UserDialogs& dialogs_;
  QCustomPlot* plot_ = nullptr;  // "LogPlot"
  QListWidget* lstVariables_ = nullptr;
  QAction *actRefresh_ = nullptr, *actFitAll_ = nullptr;
  QTabWidget* tabs_ = nullptr;  // "Дорожки", "Таблица по ячейкам", "Точки", "Гистограмма", "Каналы"
  QLineEdit* edFilter_ = nullptr;
  QAction *actOpenLog_ = nullptr, *actExportPng_ = nullptr;
  TLogFilterBar* filterBar_ = nullptr;
  QStackedWidget* pages_ = nullptr;
  QLabel* lblHint_ = nullptr;
  QScrollArea* scroll_ = nullptr;
  QWidget* chartArea_ = nullptr;
  TLogReadout* readout_ = nullptr;
  QWidget* cursor_ = nullptr;
  QLabel* lblInfo_ = nullptr;
  QTimer* loadTimer_ = nullptr;
  QTimer* visibleRowsTimer_ = nullptr;  // the filters' time range follows the tracks after a pause
  QCPMarginGroup* marginGroup_ = nullptr;

  std::shared_ptr<Load> load_;
  bool hasLog_ = false;
  LogTable table_;
  std::string path_;
  std::string folder_;  // where the next "Открыть лог..." starts
  std::size_t skipped_ = 0;
  bool refreshing_ = false;
  TLogAnalysis analysis_;
  LogTracks tracks_;
  std::vector<TrackView> trackViews_;
  std::map<std::size_t, QSharedPointer<QCPGraphDataContainer>> graphData_;
  TimeRange visible_;
  std::optional<std::size_t> cursorRow_;
  bool syncingRange_ = false;
  // The visible range's statistics per variable, kept while the range stays.
  mutable std::map<std::size_t, std::pair<std::tuple<std::size_t, std::size_t, std::size_t>, RangeStats>>
      statsCache_;
};
