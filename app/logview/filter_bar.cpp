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
  cbIdle = new QCheckBox("холостой ход (fXX = 1)", this);
  cbFuelCut = new QCheckBox("отсечку (fFUELOFF = 1)", this);
  cbNoLambda = new QCheckBox("нет ШДК (AFR_LC1 = -1)", this);
  cbTransients = new QCheckBox("переходы:", this);
  cbTransientVariable = new QComboBox(this);
  seTransientLimit = new QDoubleSpinBox(this);
  seTransientLimit->setRange(0, 100000);
  seTransientLimit->setDecimals(2);
  seTransientLimit->setPrefix("> ");
  seTransientLimit->setSuffix(" за строку");
  cbTime = new QComboBox(this);
  cbTime->addItems({"весь лог", "показанное на дорожках"});
  for (QWidget* w : std::initializer_list<QWidget*>{cbIdle, cbFuelCut, cbNoLambda, cbTransients,
                                                    cbTransientVariable, seTransientLimit})
    layout->addWidget(w);
  layout->addSpacing(12);
  layout->addWidget(new QLabel("Время:", this));
  layout->addWidget(cbTime);
  layout->addStretch(1);

  const LogFilters& f = data_.options.filters;
  cbIdle->setChecked(f.idle);
  cbFuelCut->setChecked(f.fuelCut);
  cbNoLambda->setChecked(f.noLambda);
  cbTransients->setChecked(f.transients);
  seTransientLimit->setValue(f.transientLimit);
  cbTime->setCurrentIndex(f.visibleOnly ? 1 : 0);
  ChannelsChanged();
  for (QCheckBox* c : {cbIdle, cbFuelCut, cbNoLambda, cbTransients})
    connect(c, &QCheckBox::toggled, this, [this] { Edited(); });
  connect(cbTransientVariable, &QComboBox::currentIndexChanged, this, [this] { Edited(); });
  connect(cbTime, &QComboBox::currentIndexChanged, this, [this] { Edited(); });
  connect(seTransientLimit, &QDoubleSpinBox::valueChanged, this, [this] { Edited(); });
}

void TLogFilterBar::ChannelsChanged() {
  FillVariableChoice(cbTransientVariable, data_.channels, data_.options.filters.transientVariable);
}

void TLogFilterBar::Edited() {
  LogFilters& f = data_.options.filters;
  f.idle = cbIdle->isChecked();
  f.fuelCut = cbFuelCut->isChecked();
  f.noLambda = cbNoLambda->isChecked();
  f.transients = cbTransients->isChecked();
  f.transientVariable = ChosenVariable(cbTransientVariable);
  f.transientLimit = seTransientLimit->value();
  f.visibleOnly = cbTime->currentIndex() == 1;
  data_.optionsChanged(true);
}
