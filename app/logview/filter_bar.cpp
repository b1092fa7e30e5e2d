#include "app/logview/filter_bar.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QHBoxLayout>
#include <QLabel>

TLogFilterBar::TLogFilterBar(TLogAnalysis& data, QWidget* parent) : QWidget(parent), data_(data) {
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(4, 2, 4, 2);
  layout->addWidget(new QLabel("Не учитывать:", this));
  cbIdle_ = new QCheckBox("холостой ход (fXX = 1)", this);
  cbFuelCut_ = new QCheckBox("отсечку (fFUELOFF = 1)", this);
  cbNoLambda_ = new QCheckBox("нет ШДК (AFR_LC1 = -1)", this);
  cbTransients_ = new QCheckBox("переходы:", this);
  cbTransientVariable_ = new QComboBox(this);
  seTransientLimit_ = new QDoubleSpinBox(this);
  seTransientLimit_->setRange(0, 100000);
  seTransientLimit_->setDecimals(2);
  seTransientLimit_->setPrefix("> ");
  seTransientLimit_->setSuffix(" за строку");
  cbTime_ = new QComboBox(this);
  cbTime_->addItems({"весь лог", "показанное на дорожках"});
  for (QWidget* w : std::initializer_list<QWidget*>{cbIdle_, cbFuelCut_, cbNoLambda_, cbTransients_,
                                                    cbTransientVariable_, seTransientLimit_})
    layout->addWidget(w);
  layout->addSpacing(12);
  layout->addWidget(new QLabel("Время:", this));
  layout->addWidget(cbTime_);
  layout->addStretch(1);

  const LogFilters& f = data_.options.filters;
  cbIdle_->setChecked(f.idle);
  cbFuelCut_->setChecked(f.fuelCut);
  cbNoLambda_->setChecked(f.noLambda);
  cbTransients_->setChecked(f.transients);
  seTransientLimit_->setValue(f.transientLimit);
  cbTime_->setCurrentIndex(f.visibleOnly ? 1 : 0);
  ChannelsChanged();
  for (QCheckBox* c : {cbIdle_, cbFuelCut_, cbNoLambda_, cbTransients_})
    connect(c, &QCheckBox::toggled, this, [this] { Edited(); });
  connect(cbTransientVariable_, &QComboBox::currentIndexChanged, this, [this] { Edited(); });
  connect(cbTime_, &QComboBox::currentIndexChanged, this, [this] { Edited(); });
  connect(seTransientLimit_, &QDoubleSpinBox::valueChanged, this, [this] { Edited(); });
}

void TLogFilterBar::ChannelsChanged() {
  FillVariableChoice(cbTransientVariable_, data_.channels, data_.options.filters.transientVariable);
}

void TLogFilterBar::Edited() {
  LogFilters& f = data_.options.filters;
  f.idle = cbIdle_->isChecked();
  f.fuelCut = cbFuelCut_->isChecked();
  f.noLambda = cbNoLambda_->isChecked();
  f.transients = cbTransients_->isChecked();
  f.transientVariable = ChosenVariable(cbTransientVariable_);
  f.transientLimit = seTransientLimit_->value();
  f.visibleOnly = cbTime_->currentIndex() == 1;
  data_.optionsChanged(true);
}
