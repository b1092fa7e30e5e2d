#include "app/logview/cell_page.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <cmath>

namespace {

const char* const kStatisticNames[] = {"среднее", "минимум", "максимум", "число"};
constexpr CellStatistic kStatistics[] = {CellStatistic::Mean, CellStatistic::Min, CellStatistic::Max,
                                         CellStatistic::Count};

// White at the centre, deeper blue below it and deeper red above it, in
// proportion to the distance over the widest side.
QColor CellColour(double v, double lo, double hi, double centre) {
  const double span = std::max(centre - lo, hi - centre);
  if (!(span > 0)) return Qt::white;
  const double k = std::clamp((v - centre) / span, -1.0, 1.0);
  const int fade = static_cast<int>(255 * (1 - std::fabs(k) * 0.75));
  return k < 0 ? QColor(fade, fade, 255) : QColor(255, fade, fade);
}

}  // namespace

TLogCellPage::TLogCellPage(TLogAnalysis& data, QWidget* parent) : TLogAnalysisPage(data, parent) {
  auto* layout = new QGridLayout(this);
  auto label = [this](const char* text) { return new QLabel(QString::fromUtf8(text), this); };
  cbX_ = new QComboBox(this);
  cbY_ = new QComboBox(this);
  cbZ = new QComboBox(this);
  for (QComboBox* b : {cbX_, cbY_, cbZ}) b->setMinimumContentsLength(10);
  cbStatistic = new QComboBox(this);
  for (const char* s : kStatisticNames) cbStatistic->addItem(QString::fromUtf8(s));
  seMinHits_ = new QSpinBox(this);
  seMinHits_->setRange(0, 100000);
  edCentre_ = new QLineEdit(this);
  edCentre_->setPlaceholderText("середина");
  edCentre_->setToolTip("Значение, у которого ячейка белая: ниже — синее, выше — красное");
  edCentre_->setMaximumWidth(80);
  copyButton_ = new QPushButton("Копировать", this);
  edXBreaks = new QLineEdit(this);
  edYBreaks = new QLineEdit(this);
  for (QLineEdit* e : {edXBreaks, edYBreaks})
    e->setToolTip("Точки через пробел; пустая строка — точки по умолчанию");
  lblCaption_ = new QLabel(this);
  grid_ = new QTableWidget(this);
  grid_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  grid_->verticalHeader()->setDefaultSectionSize(2 * grid_->fontMetrics().lineSpacing() + 8);  // value, hits
  grid_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  grid_->horizontalHeader()->setDefaultSectionSize(grid_->fontMetrics().horizontalAdvance("00000.0") + 10);

  int c = 0;
  for (auto [text, w] : std::initializer_list<std::pair<const char*, QWidget*>>{
           {"X:", cbX_}, {"Y:", cbY_}, {"Z:", cbZ}, {"Статистика:", cbStatistic}}) {
    layout->addWidget(label(text), 0, c++);
    layout->addWidget(w, 0, c++);
  }
  layout->addWidget(label("Мин. попаданий:"), 1, 0, 1, 1);
  layout->addWidget(seMinHits_, 1, 1);
  layout->addWidget(label("Центр цвета:"), 1, 2);
  layout->addWidget(edCentre_, 1, 3);
  layout->addWidget(copyButton_, 1, 8, Qt::AlignRight);
  layout->addWidget(label("Точки X:"), 2, 0);
  layout->addWidget(edXBreaks, 2, 1, 1, 8);
  layout->addWidget(label("Точки Y:"), 3, 0);
  layout->addWidget(edYBreaks, 3, 1, 1, 8);
  layout->addWidget(lblCaption_, 4, 0, 1, 9);
  layout->addWidget(grid_, 5, 0, 1, 9);
  layout->setColumnStretch(8, 1);
  layout->setRowStretch(5, 1);

  const LogViewOptions& o = data_.options;
  for (int i = 0; i < 4; ++i)
    if (kStatistics[i] == o.statistic) cbStatistic->setCurrentIndex(i);
  seMinHits_->setValue(o.minHits);
  edCentre_->setText(QString::fromStdString(o.centre));
  for (QComboBox* b : {cbX_, cbY_, cbZ, cbStatistic})
    connect(b, &QComboBox::currentIndexChanged, this, [this] { ChoiceChanged(); });
  connect(seMinHits_, &QSpinBox::valueChanged, this, [this] { ChoiceChanged(); });
  connect(edCentre_, &QLineEdit::editingFinished, this, [this] { ChoiceChanged(); });
  connect(edXBreaks, &QLineEdit::editingFinished, this,
          [this] { BreakpointsEdited(edXBreaks, ChosenVariable(cbX_)); });
  connect(edYBreaks, &QLineEdit::editingFinished, this,
          [this] { BreakpointsEdited(edYBreaks, ChosenVariable(cbY_)); });
  connect(copyButton_, &QPushButton::clicked, this, [this] { Copy(); });
}

void TLogCellPage::ChannelsChanged() {
  const LogViewOptions& o = data_.options;
  FillVariableChoice(cbX_, data_.channels, o.cellX);
  FillVariableChoice(cbY_, data_.channels, o.cellY);
  FillVariableChoice(cbZ, data_.channels, o.cellZ);
}

std::vector<double> TLogCellPage::Breakpoints(const std::string& name) const {
  const auto it = data_.options.breakpoints.find(name);
  if (it != data_.options.breakpoints.end()) return it->second;
  const auto ch = data_.channels.IndexOf(name);
  if (!ch || !data_.table) return DefaultBreakpoints(name, 0, 1, 2);
  return DefaultBreakpoints(name, data_.channels.Min(*ch), data_.channels.Max(*ch),
                            data_.channels.Decimals(*ch));
}

void TLogCellPage::BreakpointsEdited(QLineEdit* edit, const std::string& name) {
  const std::string text = edit->text().trimmed().toStdString();
  breakError_.clear();
  if (text.empty()) {
    data_.options.breakpoints.erase(name);
  } else {
    const auto breaks = ParseBreakpoints(text);
    if (breaks.empty()) {
      breakError_ = "Точки " + QString::fromStdString(name) +
                    " не приняты: нужны два числа или больше, каждое больше предыдущего.";
    } else {
      data_.options.breakpoints[name] = breaks;
    }
  }
  ChoiceChanged();
}

void TLogCellPage::ChoiceChanged() {
  LogViewOptions& o = data_.options;
  o.cellX = ChosenVariable(cbX_);
  o.cellY = ChosenVariable(cbY_);
  o.cellZ = ChosenVariable(cbZ);
  o.statistic = kStatistics[std::max(0, cbStatistic->currentIndex())];
  o.minHits = seMinHits_->value();
  o.centre = edCentre_->text().trimmed().replace(',', '.').toStdString();
  data_.optionsChanged(false);
  Refresh();
}

void TLogCellPage::Refresh() {
  const LogViewOptions& o = data_.options;
  edXBreaks->setText(QString::fromStdString(FormatBreakpoints(Breakpoints(o.cellX))));
  edYBreaks->setText(QString::fromStdString(FormatBreakpoints(Breakpoints(o.cellY))));
  const auto x = data_.channels.IndexOf(o.cellX), y = data_.channels.IndexOf(o.cellY),
             z = data_.channels.IndexOf(o.cellZ);
  if (data_.table && x && y && z)
    cells_.Compute(data_.rows, data_.channels.Values(*x), data_.channels.Values(*y),
                   data_.channels.Values(*z), Breakpoints(o.cellX), Breakpoints(o.cellY));
  else
    cells_ = CellTable();
  Fill();
}

void TLogCellPage::Fill() {
  const LogViewOptions& o = data_.options;
  QString caption = RowsCaption(data_) + "; в ячейках: " + QString::number(cells_.RowsUsed());
  if (!breakError_.isEmpty()) caption = "<span style='color:#c00000'>" + breakError_ + "</span> " + caption;
  lblCaption_->setText(caption);
  const auto& xb = cells_.XBreaks();
  const auto& yb = cells_.YBreaks();
  grid_->setUpdatesEnabled(false);
  grid_->clear();
  grid_->setColumnCount(static_cast<int>(xb.size()));
  grid_->setRowCount(static_cast<int>(yb.size()));
  QStringList xh, yh;
  for (const double v : xb) xh << QString::fromStdString(FormatBreakpoints({v}));
  for (const double v : yb) yh << QString::fromStdString(FormatBreakpoints({v}));
  grid_->setHorizontalHeaderLabels(xh);
  grid_->setVerticalHeaderLabels(yh);
  const int decimals = o.statistic == CellStatistic::Count ? 0 : ValueDecimals();
  const auto minHits = static_cast<std::uint32_t>(o.minHits);
  const auto [lo, hi] = cells_.Range(o.statistic, minHits);
  const auto centre = ParseNumber(o.centre);
  const double mid = centre ? *centre : (lo + hi) / 2;
  const QLocale locale = QLocale::system();
  for (std::size_t yi = 0; yi < yb.size(); ++yi)
    for (std::size_t xi = 0; xi < xb.size(); ++xi) {
      const CellTable::Cell& cell = cells_.At(xi, yi);
      if (cell.hits == 0) continue;
      const double v = cells_.Value(xi, yi, o.statistic);
      auto* item =
          new QTableWidgetItem(locale.toString(v, 'f', decimals) + "\n" + QString::number(cell.hits));
      item->setTextAlignment(Qt::AlignCenter);
      if (cell.hits < minHits) {
        item->setForeground(QColor(150, 150, 150));
        item->setBackground(QColor(235, 235, 235));
      } else {
        item->setBackground(CellColour(v, lo, hi, mid));
      }
      item->setToolTip("Попаданий: " + QString::number(cell.hits));
      grid_->setItem(static_cast<int>(yi), static_cast<int>(xi), item);
    }
  grid_->setUpdatesEnabled(true);
}

// A mean has a digit more than the variable, at most three.
int TLogCellPage::ValueDecimals() const {
  const auto z = data_.channels.IndexOf(data_.options.cellZ);
  return z ? std::min(data_.channels.Decimals(*z) + 1, 3) : 2;
}

std::string TLogCellPage::CopyText() const {
  const LogViewOptions& o = data_.options;
  const QString point = QLocale::system().decimalPoint();
  return cells_.Tsv(o.statistic, o.cellX, o.cellY, point.isEmpty() ? '.' : point.at(0).toLatin1(),
                    ValueDecimals());
}

void TLogCellPage::Copy() const { QApplication::clipboard()->setText(QString::fromStdString(CopyText())); }
