#pragma once
// A spin editor whose value changes only in steps (buttons, arrow keys,
// wheel); its text cannot be typed. User-interface thread.

#include <QLineEdit>
#include <QSpinBox>

class TSpinEdit : public QSpinBox {
 public:
  TSpinEdit(int min, int max, int step, int value, QWidget* parent) : QSpinBox(parent) {
    setRange(min, max);
    setSingleStep(step);
    setValue(value);
    lineEdit()->setReadOnly(true);
  }
};
