#pragma once
// Firmware programming through the ECU's boot protocol: the two commands of
// the "Прошивка" menu. The window chooses the files and hands over how to open
// the port; the commands report their progress and their own errors through
// FlashProgress. User-interface thread.

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "flash/firmware.h"
#include "flash/progress.h"

class KLinePort;

// Opens the K-line port in its flash profile once the command gets there
// (after Loader.dat was read). Raises the port's own errors.
using FlashPortOpener = std::function<std::unique_ptr<KLinePort>()>;

// The opener of the named port. A command started while the ECU session
// still holds the K-line port (it is connecting) must neither take that port
// over nor close it: it is refused with "порт занят соединением с ЭБУ" then.
FlashPortOpener FlashPortNamed(std::string name, std::function<bool()> sessionHoldsPort);

// Reads the 64 KiB firmware. The port is closed on return; the progress
// stays shown for the save. Nothing when it failed (message shown).
std::unique_ptr<FirmwareBuffer> FlashRead(const FlashPortOpener& open, FlashProgress& progress);
// Ends a read: saves image into file, or discards it silently without one
// (the save dialog was cancelled).
void SaveReadFirmware(const FirmwareBuffer& image, const std::optional<std::string>& file,
                      FlashProgress& progress);

// Writes the 64 KiB file into the ECU: with TCfg.FlashBackup the ECU's image
// is first saved in the Backups folder, with TCfg.FlashVerify it is read back
// and compared with the file afterwards.
void FlashWrite(const std::string& file, const FlashPortOpener& open, FlashProgress& progress);
