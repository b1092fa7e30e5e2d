// The firmware commands of the "Прошивка" menu: the window chooses the files,
// hands over the K-line port and shows the commands' progress on its panel.
#include <QCoreApplication>
#include <QProgressBar>
#include <algorithm>
#include <memory>
#include <optional>
#include <string>

#include "app/mainwindow.h"
#include "common/config.h"
#include "ecu/session.h"
#include "flash/flash.h"
#include "link/port.h"

void TfrmMain::BeginStage(const std::string& caption, int steps) {
  pnlProgress->setVisible(true);
  PlaceProgressPanel();
  lblProgressState->setText(QString::fromStdString(caption));
  ProgressBar1->setValue(0);
  ProgressBar1->setMaximum(steps);
  progressShown_ = 0;
  // The firmware commands keep the event loop busy: paint now.
  pnlProgress->repaint();
}

void TfrmMain::StepDone(int done, int /*steps*/) {
  ProgressBar1->setValue(done);
  // Paint at once too, but only when the shown percentage changes.
  const int max = std::max(1, ProgressBar1->maximum());
  const int percent = ProgressBar1->value() * 100 / max;
  if (percent != progressShown_) {
    progressShown_ = percent;
    ProgressBar1->repaint();
  }
}

void TfrmMain::StageFailed(const std::string& caption) {
  lblProgressState->setText(QString::fromStdString(caption));
  pnlProgress->repaint();
}

void TfrmMain::EndProgress() { pnlProgress->setVisible(false); }

namespace {

// The K-line port of a firmware command, opened when the command gets there.
FlashPortOpener FlashPort(const EcuSession& session) {
  // Also while a connection is still being made: the firmware commands must
  // neither take over nor close the session's port.
  return FlashPortNamed(TCfg.Port, [&session] { return session.PortOpen(); });
}

}  // namespace

void TfrmMain::btnFlashReadClick() {
  QCoreApplication::processEvents();
  const std::unique_ptr<FirmwareBuffer> image = FlashRead(FlashPort(session_), *this);
  // Asked once the port is closed; cancelling discards the image silently.
  if (image) SaveReadFirmware(*image, dialogs_->AskSaveFileName(""), *this);
}

void TfrmMain::btnFlashWriteClick() {
  QCoreApplication::processEvents();
  const std::optional<std::string> file = dialogs_->AskOpenFileName("");
  if (file) FlashWrite(*file, FlashPort(session_), *this);
}
