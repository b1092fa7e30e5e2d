#include "flash/flash.h"

#include <exception>

#include "common/error.h"
#include "common/ui.h"
#include "flash/firmware.h"
#include "flash/loader.h"
#include "link/port.h"

namespace {

// The port of one firmware command: opened in the flash profile, closed on
// every way out, but only if this command opened it. A firmware command
// started while the K-line session is still connecting must neither take over
// nor close the session's port.
class FlashPort {
 public:
  explicit FlashPort(const std::string& name) {
    if (PortHandle.load() != kNoPort)
      throw PortOpenError(name, "порт занят соединением с ЭБУ", "K-line port already open");
    OpenFlashPort(name);
    opened_ = true;
  }
  ~FlashPort() { Close(); }
  FlashPort(const FlashPort&) = delete;
  FlashPort& operator=(const FlashPort&) = delete;

  void Close() {
    if (opened_) CloseEcuPort();
    opened_ = false;
  }

 private:
  bool opened_ = false;
};

// The common error handler of both commands: the port is already closed by
// the time this runs (FlashPort's scope has ended).
void Report(const std::exception& e) {
  Ui().HideProgress();
  Ui().ShowError(e.what());
}

}  // namespace

void FlashRead(const std::string& port) {
  if (!ReadLoaderFile()) return;
  try {
    {
      FlashPort flashPort(port);
      UploadLoader();
      const std::string id = ReadEcuId();
      Ui().ShowProgress("Чтение прошивки " + id + " ... ", kFirmwareSize / kReadBlockSize);
      ReadFirmware();
      flashPort.Close();  // closed while the user chooses the file
      SaveFirmwareFile();
    }
    Ui().HideProgress();
  } catch (const std::exception& e) {
    Report(e);
  }
}

void FlashWrite(const std::string& port) {
  if (!OpenFirmwareFile()) return;
  if (!ReadLoaderFile()) return;
  try {
    {
      FlashPort flashPort(port);
      UploadLoader();
      EraseFlash();
      WriteFirmware();
    }
    Ui().HideProgress();
  } catch (const std::exception& e) {
    Report(e);
  }
}
