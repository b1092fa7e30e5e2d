#include "app/logview/channel_page.h"

#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>

#include "app/widgets/user_dialogs.h"
#include "ecu/csvlog_reader.h"

TLogChannelPage::TLogChannelPage(UserDialogs& dialogs,
                                 std::function<void(std::vector<ComputedChannel>)> changed, QWidget* parent)
    : QWidget(parent), dialogs_(dialogs), changed_(std::move(changed)) {
  auto* layout = new QGridLayout(this);
  list_ = new QTableWidget(0, 2, this);
  list_->setHorizontalHeaderLabels({"Канал", "Формула"});
  list_->horizontalHeader()->setStretchLastSection(true);
  list_->verticalHeader()->hide();
  list_->setSelectionBehavior(QAbstractItemView::SelectRows);
  list_->setSelectionMode(QAbstractItemView::SingleSelection);
  list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  edName_ = new QLineEdit(this);
  edName_->setPlaceholderText("LC1/AFR");
  edFormula_ = new QLineEdit(this);
  edFormula_->setPlaceholderText("AFR_LC1/AFR");
  addButton_ = new QPushButton("Добавить", this);
  replaceButton_ = new QPushButton("Изменить", this);
  removeButton_ = new QPushButton("Удалить", this);
  auto* help = new QLabel(
      "Формула — выражение над столбцами лога: + - * / ^, скобки, сравнения (RPM>3000), условие "
      "(fXX ? 0 : INJ), функции abs, min, max, sqrt, ln, exp, sin... Например: AFR_LC1/AFR, RPM*THR/100, "
      "UOZ-KUOZ1. Где делить на ноль, значения нет. Каналы можно выбрать везде, где выбирается переменная.",
      this);
  help->setWordWrap(true);
  layout->addWidget(list_, 0, 0, 1, 4);
  layout->addWidget(new QLabel("Имя:", this), 1, 0);
  layout->addWidget(edName_, 1, 1, 1, 3);
  layout->addWidget(new QLabel("Формула:", this), 2, 0);
  layout->addWidget(edFormula_, 2, 1, 1, 3);
  layout->addWidget(addButton_, 3, 1);
  layout->addWidget(replaceButton_, 3, 2);
  layout->addWidget(removeButton_, 3, 3);
  layout->addWidget(help, 4, 0, 1, 4);
  layout->setColumnStretch(0, 0);
  layout->setRowStretch(0, 1);

  auto text = [](const QLineEdit* e) { return e->text().trimmed().toStdString(); };
  connect(addButton_, &QPushButton::clicked, this, [this, text] { Add(text(edName_), text(edFormula_)); });
  connect(replaceButton_, &QPushButton::clicked, this,
          [this, text] { Replace(list_->currentRow(), text(edName_), text(edFormula_)); });
  connect(removeButton_, &QPushButton::clicked, this, [this] { Remove(list_->currentRow()); });
  connect(list_, &QTableWidget::itemSelectionChanged, this, [this] { RowChosen(); });
}

void TLogChannelPage::SetChannels(const std::vector<ComputedChannel>& channels) {
  channels_ = channels;
  Fill();
}

void TLogChannelPage::Fill() {
  list_->setRowCount(static_cast<int>(channels_.size()));
  for (std::size_t i = 0; i < channels_.size(); ++i) {
    list_->setItem(static_cast<int>(i), 0, new QTableWidgetItem(QString::fromStdString(channels_[i].name)));
    list_->setItem(static_cast<int>(i), 1,
                   new QTableWidgetItem(QString::fromStdString(channels_[i].formula)));
  }
}

void TLogChannelPage::RowChosen() {
  const int row = list_->currentRow();
  if (row < 0 || static_cast<std::size_t>(row) >= channels_.size()) return;
  edName_->setText(QString::fromStdString(channels_[static_cast<std::size_t>(row)].name));
  edFormula_->setText(QString::fromStdString(channels_[static_cast<std::size_t>(row)].formula));
}

bool TLogChannelPage::Add(const std::string& name, const std::string& formula) {
  std::vector<ComputedChannel> channels = channels_;
  channels.push_back({name, formula});
  return Accept(std::move(channels), channels_.size());
}

bool TLogChannelPage::Replace(int row, const std::string& name, const std::string& formula) {
  if (row < 0 || static_cast<std::size_t>(row) >= channels_.size()) return Add(name, formula);
  std::vector<ComputedChannel> channels = channels_;
  channels[static_cast<std::size_t>(row)] = {name, formula};
  return Accept(std::move(channels), static_cast<std::size_t>(row));
}

void TLogChannelPage::Remove(int row) {
  if (row < 0 || static_cast<std::size_t>(row) >= channels_.size()) return;
  channels_.erase(channels_.begin() + row);
  Fill();
  changed_(channels_);
}

bool TLogChannelPage::Accept(std::vector<ComputedChannel> channels, std::size_t at) {
  const ComputedChannel& c = channels[at];
  std::vector<ComputedChannel> others = channels;
  others.erase(others.begin() + static_cast<std::ptrdiff_t>(at));
  const std::string nameError = CheckChannelName(c.name, LogVariableNames(), others);
  if (!nameError.empty()) {
    dialogs_.ShowError("Канал не добавлен: " + nameError + ".");
    return false;
  }
  if (const auto error = CheckFormula(c.formula, LogVariableNames())) {
    dialogs_.ShowError("Формула канала " + c.name + " не принята: " + c.formula + "\n" + error->Text() + ".");
    return false;
  }
  channels_ = std::move(channels);
  Fill();
  changed_(channels_);
  return true;
}
