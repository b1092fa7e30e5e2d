#include "settings/settings.h"

#include <QFrame>
#include <QGridLayout>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QShowEvent>
#include <QVBoxLayout>
#include <algorithm>

#include "app/widgets/user_dialogs.h"
#include "common/config.h"
#include "common/portlist.h"

namespace {

constexpr int kClientWidth = 322;
constexpr int kClientHeight = 346;
const char* const kNoLambda = "Нет";

QFrame* Panel(QWidget* parent) {
  auto* f = new QFrame(parent);
  f->setFrameStyle(QFrame::Panel | QFrame::Raised);
  return f;
}

QComboBox* List(QWidget* parent, const char* name, const QStringList& items = {}) {
  auto* c = new QComboBox(parent);
  c->setObjectName(name);
  c->setEditable(false);  // no free text
  c->addItems(items);
  return c;
}

QCheckBox* CheckBox(QWidget* parent, const char* text, const char* name) {
  auto* box = new QCheckBox(text, parent);
  box->setObjectName(name);
  return box;
}

// A list of the values cfg.ini allows for a number.
QComboBox* Choices(QWidget* parent, const char* name, const ConfigNumber& number) {
  QStringList items;
  for (std::int32_t v : number.choices) items << QString::number(v);
  return List(parent, name, items);
}

// Exact in length, case ignored; -1 when no item matches.
int FindItem(const QComboBox* list, const QString& text) {
  for (int i = 0; i < list->count(); ++i)
    if (list->itemText(i).compare(text, Qt::CaseInsensitive) == 0) return i;
  return -1;
}

void SelectItem(QComboBox* list, const QString& text) { list->setCurrentIndex(FindItem(list, text)); }

// A configured port that is not present is still shown, marked, and selected,
// so the user sees what is set; the item carries the stored name.
void SelectPort(QComboBox* list, const QString& port) {
  SelectItem(list, port);
  if (list->currentIndex() >= 0 || port.isEmpty()) return;
  list->addItem(port + " (нет)", port);
  list->setCurrentIndex(list->count() - 1);
}

// The port name an item stands for.
std::string PortOf(const QComboBox* list) {
  const QVariant stored = list->currentData();
  return (stored.isValid() ? stored.toString() : list->currentText()).toStdString();
}

}  // namespace

TfrmSettings::TfrmSettings(UserDialogs& dialogs, QWidget* parent, PortListRoots portRoots)
    : QDialog(parent), dialogs_(dialogs), portRoots_(std::move(portRoots)) {
  setObjectName("frmSettings");
  setWindowTitle("Настройки");
  setWindowFlags((windowFlags() | Qt::MSWindowsFixedSizeDialogHint) & ~Qt::WindowContextHelpButtonHint);

  auto* outer = new QVBoxLayout(this);
  outer->setContentsMargins(8, 8, 8, 8);
  outer->setSpacing(6);
  // In this order: the order of the widgets' creation is the order of Tab.
  outer->addWidget(PortPanel());
  outer->addWidget(IntervalPanel());
  outer->addWidget(LambdaPanel());
  outer->addWidget(SwitchPanel());
  outer->addStretch(1);
  outer->addLayout(Buttons());

  // The designed size, grown where this system's font needs more room.
  const QSize need = outer->sizeHint();
  setFixedSize(std::max(kClientWidth, need.width()), std::max(kClientHeight, need.height()));

  connect(btnOk, &QPushButton::clicked, this, [this] { btnOkClick(); });
  // Escape, the close box and "Отмена" all reject: nothing is stored.
  connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
}

// The K-line port.
QFrame* TfrmSettings::PortPanel() {
  QFrame* panel = Panel(this);
  auto* layout = new QGridLayout(panel);
  layout->addWidget(new QLabel("Порт", panel), 0, 0);
  cmbPort = List(panel, "cmbPort");
  layout->addWidget(cmbPort, 0, 1);
  layout->addWidget(new QLabel("Скорость", panel), 1, 0);
  cmbCBR = List(panel, "cmbCBR", {"10400", "38400", "57600"});
  cmbCBR->setCurrentIndex(0);
  layout->addWidget(cmbCBR, 1, 1);
  cbEcho = CheckBox(panel, "Echo", "cbEcho");
  cbEcho->setChecked(true);
  cbEcho->setVisible(false);
  cbFastInit = CheckBox(panel, "Fast Init", "cbFastInit");
  cbFastInit->setVisible(false);
  layout->setColumnStretch(1, 1);
  return panel;
}

// The intervals.
QFrame* TfrmSettings::IntervalPanel() {
  QFrame* panel = Panel(this);
  auto* layout = new QGridLayout(panel);
  layout->addWidget(new QLabel("Интервал запросов", panel), 0, 0);
  cmbDataInterval = Choices(panel, "cmbDataInterval", kCfgDataInterval);
  cmbDataInterval->setCurrentIndex(-1);
  cmbDataInterval->setEnabled(false);
  layout->addWidget(cmbDataInterval, 0, 1);
  layout->addWidget(new QLabel("Интервал обновления экрана", panel), 1, 0);
  cmbScreenInterval = Choices(panel, "cmbScreenInterval", kCfgScreenInterval);
  cmbScreenInterval->setCurrentIndex(3);
  cmbScreenInterval->setEnabled(false);
  layout->addWidget(cmbScreenInterval, 1, 1);
  layout->addWidget(new QLabel("Задержка перед запросом", panel), 2, 0);
  edWriterPause = new QSpinBox(panel);
  edWriterPause->setObjectName("edWriterPause");
  edWriterPause->setRange(kCfgWriterPause.min, kCfgWriterPause.max);
  edWriterPause->setValue(20);
  layout->addWidget(edWriterPause, 2, 1);
  layout->setColumnStretch(1, 1);
  return panel;
}

// The LC-1 port.
QFrame* TfrmSettings::LambdaPanel() {
  QFrame* panel = Panel(this);
  auto* layout = new QGridLayout(panel);
  layout->addWidget(new QLabel("Порт LC-1", panel), 0, 0);
  cmbLambdaPort = List(panel, "cmbLambdaPort");
  layout->addWidget(cmbLambdaPort, 0, 1);
  layout->setColumnStretch(1, 1);
  return panel;
}

// The switches.
QFrame* TfrmSettings::SwitchPanel() {
  QFrame* panel = Panel(this);
  auto* layout = new QVBoxLayout(panel);
  const auto add = [&](const char* text, const char* name) {
    auto* box = CheckBox(panel, text, name);
    layout->addWidget(box);
    return box;
  };
  cbNotCheckReplyLen = add("Не проверять длину ответа", "cbNotCheckReplyLen");
  cbWriteLogs = add("Писать лог", "cbWriteLogs");
  cbAutoReconnect = add("Переподключаться автоматически", "cbAutoReconnect");
  cbFlashBackup = add("Резервная копия при записи прошивки", "cbFlashBackup");
  cbFlashVerify = add("Проверка после записи прошивки", "cbFlashVerify");
  return panel;
}

QHBoxLayout* TfrmSettings::Buttons() {
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  btnOk = new QPushButton("OK", this);
  btnOk->setObjectName("btnOk");
  btnOk->setDefault(true);
  btnCancel = new QPushButton("Отмена", this);
  btnCancel->setObjectName("btnCancel");
  buttons->addWidget(btnOk);
  buttons->addWidget(btnCancel);
  return buttons;
}

void TfrmSettings::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (event->spontaneous()) return;
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect area = screen->availableGeometry();
    move(area.center() - QPoint(width() / 2, height() / 2));
  }
  FormShow();
}

void TfrmSettings::FormShow() {
  // A port list that cannot be read is reported, and every other control is
  // still loaded, so confirming changes only what the user changed.
  QStringList ports;
  portsListed_ = false;
  try {
    for (const std::string& p : ListSerialPorts(portRoots_)) ports << QString::fromStdString(p);
    portsListed_ = true;
  } catch (const std::exception& e) {
    dialogs_.ShowError(e.what());
  }
  cmbPort->clear();
  cmbPort->addItems(ports);
  cmbLambdaPort->clear();
  cmbLambdaPort->addItems(ports);
  cmbLambdaPort->insertItem(0, kNoLambda);

  if (portsListed_)
    SelectPort(cmbPort, QString::fromStdString(TCfg.Port));
  else
    SelectItem(cmbPort, QString::fromStdString(TCfg.Port));
  cmbCBR->setCurrentIndex(TCfg.CBR >= 0 && TCfg.CBR < cmbCBR->count() ? TCfg.CBR : -1);
  cbEcho->setChecked(TCfg.Echo != 0);
  cbFastInit->setChecked(TCfg.FastInit != 0);
  SelectItem(cmbDataInterval, QString::number(TCfg.DataInterval.load()));
  SelectItem(cmbScreenInterval, QString::number(TCfg.ScreenInterval));
  edWriterPause->setValue(TCfg.WriterPause.load());  // the spin keeps it within its range
  if (portsListed_)
    SelectPort(cmbLambdaPort, QString::fromStdString(TCfg.LambdaPort));
  else
    SelectItem(cmbLambdaPort, QString::fromStdString(TCfg.LambdaPort));
  cbNotCheckReplyLen->setChecked(TCfg.NotCheckReplyLen != 0);
  cbWriteLogs->setChecked(TCfg.WriteLog != 0);
  cbAutoReconnect->setChecked(TCfg.AutoReconnect != 0);
  cbFlashBackup->setChecked(TCfg.FlashBackup != 0);
  cbFlashVerify->setChecked(TCfg.FlashVerify != 0);
}

void TfrmSettings::btnOkClick() {
  // A list without selection keeps the record's value. A port that is not
  // present keeps its name (its item says so). Without a port list the ports
  // are not the user's change: kept.
  if (portsListed_ && cmbPort->currentIndex() >= 0) TCfg.Port = PortOf(cmbPort);
  if (cmbCBR->currentIndex() >= 0) TCfg.CBR = cmbCBR->currentIndex();
  TCfg.Echo = cbEcho->isChecked() ? 1 : 0;
  TCfg.FastInit = cbFastInit->isChecked() ? 1 : 0;
  if (cmbDataInterval->currentIndex() >= 0)
    TCfg.DataInterval = static_cast<std::uint16_t>(cmbDataInterval->currentText().toUInt());
  if (cmbScreenInterval->currentIndex() >= 0)
    TCfg.ScreenInterval = static_cast<std::uint16_t>(cmbScreenInterval->currentText().toUInt());
  TCfg.WriterPause = static_cast<std::uint16_t>(edWriterPause->value());
  if (cmbLambdaPort->currentIndex() >= 0) {
    TCfg.LambdaPort = PortOf(cmbLambdaPort);
    TCfg.LambdaEnabled = cmbLambdaPort->currentIndex() > 0;
  }
  TCfg.NotCheckReplyLen = cbNotCheckReplyLen->isChecked() ? 1 : 0;
  TCfg.WriteLog = cbWriteLogs->isChecked() ? 1 : 0;
  TCfg.AutoReconnect = cbAutoReconnect->isChecked() ? 1 : 0;
  TCfg.FlashBackup = cbFlashBackup->isChecked() ? 1 : 0;
  TCfg.FlashVerify = cbFlashVerify->isChecked() ? 1 : 0;
  accept();
}
