#include "app/tracewindow.h"

#include <QFontDatabase>
#include <QVBoxLayout>

namespace {
constexpr int kLeft = 223, kTop = 175, kWidth = 870, kHeight = 640;
}

TfrmEcuTrace::TfrmEcuTrace(QWidget* parent) : QWidget(parent, Qt::Window) {
  setObjectName("frmEcuTrace");
  setWindowTitle("Обмен с ЭБУ");
  // The program ends with the main window, whether this one is open or not.
  setAttribute(Qt::WA_QuitOnClose, false);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  mmTrace = new QPlainTextEdit(this);
  mmTrace->setObjectName("mmTrace");
  mmTrace->setReadOnly(true);
  mmTrace->setLineWrapMode(QPlainTextEdit::NoWrap);
  mmTrace->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  mmTrace->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  QFont font("Courier New", 8);
  font.setStyleHint(QFont::TypeWriter);
  font.setFixedPitch(true);
  if (!QFontInfo(font).fixedPitch()) {
    font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPointSize(8);
  }
  mmTrace->setFont(font);
  layout->addWidget(mmTrace);
  move(kLeft, kTop);
  resize(kWidth, kHeight);
}

void TfrmEcuTrace::ShowSnapshot(const std::string& traceText) {
  QString text = QString::fromUtf8(traceText);
  text.replace("\r\n", "\n");
  mmTrace->setPlainText(text);
  show();
  raise();
  activateWindow();
}

void TfrmEcuTrace::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (sized_) return;
  sized_ = true;
  // The designed size is the outer one; take the frame off once it is known.
  const QSize frame = frameGeometry().size() - geometry().size();
  if (frame.width() > 0 || frame.height() > 0) resize(kWidth - frame.width(), kHeight - frame.height());
}
