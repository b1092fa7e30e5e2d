// The main window at the application font sizes users pick (9, 11, 13 pt), at
// its minimum size: no text cut off or drawn smaller than the font, nothing
// overlapping, and Qt's own buttons in Russian.
#include <gtest/gtest.h>
#include <qcustomplot.h>

#include <QApplication>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>

#include "app/application.h"
#include "app/mainwindow.h"
#include "common/paths.h"
#include "tests/support/find_child.h"
#include "tests/support/test_ui.h"

namespace {

// True when the label shows its whole text in one line.
bool ShowsWholeText(const QLabel* l) {
  const QFontMetrics fm(l->font());
  const int indent =
      l->indent() >= 0 ? l->indent() : (l->frameWidth() > 0 ? fm.horizontalAdvance(QLatin1Char('x')) / 2 : 0);
  const bool indented = (l->alignment() & (Qt::AlignLeft | Qt::AlignRight)) != 0;
  const QRect room =
      l->contentsRect().marginsRemoved(QMargins(l->margin(), l->margin(), l->margin(), l->margin()));
  return fm.horizontalAdvance(l->text()) <= room.width() - (indented ? indent : 0) &&
         fm.height() <= room.height();
}

class Legible : public ::testing::TestWithParam<int> {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    SetAppDirOverride(dir_.path().toStdString());
    saved_ = QApplication::font();
    QFont f = saved_;
    f.setPointSize(GetParam());
    QApplication::setFont(f);
    w_ = std::make_unique<TfrmMain>(&ui_);
    w_->resize(1, 1);  // held at its minimum size
    w_->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(w_.get()));
  }
  void TearDown() override {
    w_.reset();
    QApplication::setFont(saved_);
    SetAppDirOverride("");
  }
  QTemporaryDir dir_;
  RecordingUi ui_;
  QFont saved_;
  std::unique_ptr<TfrmMain> w_;
};

TEST_P(Legible, AtTheMinimumSizeNoTextIsCutOffOrSmaller) {
  const int pt = GetParam();
  EXPECT_EQ(w_->size(), w_->minimumSize());
  for (const QWidget* c : w_->findChildren<QWidget*>())
    EXPECT_GE(c->font().pointSizeF(), pt)
        << c->metaObject()->className() << " " << c->objectName().toStdString();

  // The longest texts the program writes into its fixed-width boxes.
  const char* const longest[9] = {"Подключение ...", "Подключение ...", "9999 мс", "", "9999", "9999", "9999",
                                  " LC1 AFR: 14.7",  "99.9 п/сек"};
  for (int p = 0; p < 9; ++p) w_->SetStatusText(static_cast<StatusPanel>(p), longest[p]);
  w_->Live().RpmLabel()->setText("10200");
  w_->Live().CorrectionLabel()->setText("-15.5");
  Find<QLabel>(*w_, "lblPress")->setText("-10200.0");
  Find<QTabWidget>(*w_, "PageControl1")->setCurrentIndex(2);
  QApplication::processEvents();
  for (const QLabel* l : w_->findChildren<QLabel*>()) {
    if (!l->isVisible() || l->text().isEmpty()) continue;
    EXPECT_TRUE(ShowsWholeText(l)) << l->text().toStdString();
  }
  for (const QCheckBox* c : w_->Live().Diagnostics()->findChildren<QCheckBox*>())
    EXPECT_GE(c->width(), c->sizeHint().width()) << c->text().toStdString();
  EXPECT_GE(Find<QComboBox>(*w_, "bcmbMode")->width(), Find<QComboBox>(*w_, "bcmbMode")->sizeHint().width());
  for (const QSpinBox* s : {Find<QSpinBox>(*w_, "edCorrUOZ"), Find<QSpinBox>(*w_, "edRPMLimit"),
                            Find<QSpinBox>(*w_, "edAvgAngle"), Find<QSpinBox>(*w_, "edFilterLen")})
    EXPECT_GE(s->width(), s->sizeHint().width()) << s->objectName().toStdString();

  const QFontMetrics fm(w_->Runs().Grid()->font());
  EXPECT_LE(fm.horizontalAdvance("7000 - 7500") + 7, w_->Runs().Grid()->HeaderWidth());
  EXPECT_LE(fm.horizontalAdvance("24.999") + 7, w_->Runs().Grid()->RunColumnWidth());
  EXPECT_LE(3 + fm.height(), w_->Runs().Grid()->RowHeight());
}

TEST_P(Legible, AtTheMinimumSizeNothingOverlaps) {
  // Side by side in their strips and pages, none over another.
  const QWidget* const strips[] = {w_->Live().RpmLabel()->parentWidget(),
                                   Find<QSpinBox>(*w_, "edCorrUOZ")->parentWidget(),
                                   w_->Live().StatusBar(),
                                   w_->Live().Diagnostics(),
                                   Find<QFrame>(*w_, "pnlFlags"),
                                   w_->centralWidget()};
  for (const QWidget* strip : strips) {
    QList<QWidget*> parts;
    for (QWidget* c : strip->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
      if (c->isVisible() && c != Find<QFrame>(*w_, "pnlProgress")) parts << c;
    for (int i = 0; i < parts.size(); ++i)
      for (int j = i + 1; j < parts.size(); ++j)
        EXPECT_FALSE(parts[i]->geometry().intersects(parts[j]->geometry()))
            << strip->objectName().toStdString() << ": " << parts[i]->metaObject()->className() << " "
            << parts[i]->objectName().toStdString() << " / " << parts[j]->metaObject()->className() << " "
            << parts[j]->objectName().toStdString();
  }
  // The chart draws nothing where the zoom buttons sit.
  TChartPage& page = *w_->Live().Chart();
  page.Plot()->replot();
  page.ZoomPanel()->hide();
  const QImage chart = page.Plot()->grab().toImage();
  page.ZoomPanel()->show();
  const QRect buttons = page.ZoomPanel()->geometry();
  int drawn = 0;
  for (int y = buttons.top(); y <= buttons.bottom(); ++y)
    for (int x = buttons.left(); x <= buttons.right(); ++x)
      if (chart.pixelColor(x, y) != QColor(Qt::white)) ++drawn;
  EXPECT_EQ(drawn, 0) << "pixels of axes or labels under the zoom buttons";
}

INSTANTIATE_TEST_SUITE_P(FontSizes, Legible, ::testing::Values(9, 11, 13),
                         [](const auto& info) { return std::to_string(info.param) + "pt"; });

TEST(QtTranslation, StandardButtonsSpeakRussian) {
  QTranslator* t = InstallQtTranslation(*qApp);
  ASSERT_NE(t, nullptr) << "qtbase_ru missing: install qt6-translations-l10n";
  QDialogButtonBox box(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  EXPECT_EQ(box.button(QDialogButtonBox::Cancel)->text(), "Отмена");
  QApplication::removeTranslator(t);
  delete t;
}

}  // namespace
