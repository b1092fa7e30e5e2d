#pragma once
// The backup of the ECU's image taken before a write erases the flash: a file
// in the Backups folder (placed as the logs are), named by the ECU's
// identifier and the local time. User-interface thread.

#include <ctime>
#include <string>

#include "flash/firmware.h"

// "<identifier>_<yyyy-mm-dd_hh-mm-ss>.bin"; every character of the identifier
// that is not a letter, digit, '-' or '_' becomes '_'.
std::string BackupFileName(const std::string& identifier, const std::tm& local);

// Saves image as a new file in the Backups folder, flushed to the disk, and
// reads it back to compare. Returns the file's path. Raises EcuError whose
// text names the file and the reason when any step fails; no partial file is
// left then.
std::string SaveBackup(const FirmwareBuffer& image, const std::string& identifier);
