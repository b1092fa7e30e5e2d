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
  progressPanel_->setVisible(true);
  PlaceProgressPanel();
  progressLabel_->setText(QString::fromStdString(caption));
  progressBar_->setValue(0);
  progressBar_->setMaximum(steps);
  progressShown_ = 0;
  // The firmware commands keep the event loop busy: paint now.
  progressPanel_->repaint();
}

void TfrmMain::StepDone(int done, int /*steps*/) {
  progressBar_->setValue(done);
  // Paint at once too, but only when the shown percentage changes.
  const int max = std::max(1, progressBar_->maximum());
  const int percent = progressBar_->value() * 100 / max;
  if (percent != progressShown_) {
    progressShown_ = percent;
    progressBar_->repaint();
  }
}

void TfrmMain::StageFailed(const std::string& caption) {
  progressLabel_->setText(QString::fromStdString(caption));
  progressPanel_->repaint();
}

void TfrmMain::EndProgress() { progressPanel_->setVisible(false); }

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
