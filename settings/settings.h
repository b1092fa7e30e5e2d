#pragma once
// TfrmSettings: edits TCfg in memory (cfg.ini is written when the main window
// closes). A new dialog is made for every use. User-interface thread.

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QPushButton>
#include <QSpinBox>

#include "common/portlist.h"

class QFrame;
class QHBoxLayout;
class UserDialogs;

class TfrmSettings : public QDialog {
 public:
  // dialogs: where an unreadable port list is reported; portRoots: where the
  // port lists come from (tests: a fixture).
  explicit TfrmSettings(UserDialogs& dialogs, QWidget* parent = nullptr, PortListRoots portRoots = {});

  // Loads the controls from TCfg (the show handler).
  void FormShow();
  // Stores the controls into TCfg and closes with the result OK.
  void btnOkClick();

  QComboBox *cmbPort, *cmbCBR, *cmbDataInterval, *cmbScreenInterval, *cmbLambdaPort;
  QCheckBox *cbEcho, *cbFastInit, *cbNotCheckReplyLen, *cbWriteLogs, *cbAutoReconnect, *cbFlashBackup,
      *cbFlashVerify;
  QSpinBox* edWriterPause;
  QPushButton *btnOk, *btnCancel;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  QFrame* PortPanel();
  QFrame* IntervalPanel();
  QFrame* LambdaPanel();
  QFrame* SwitchPanel();
  QHBoxLayout* Buttons();

  UserDialogs& dialogs_;
  PortListRoots portRoots_;
  bool portsListed_ = false;  // the port lists hold the ports present
};
