#pragma once
// The backup of the ECU's image taken before a write erases the flash: a file
// in the Backups folder (placed as the logs are), named by the ECU's
// identifier and the local time. An image that cannot be a complete firmware
// (a write stopped half way) is kept too, but named so that it is never taken
// for the way back. User-interface thread.

#include <ctime>
#include <string>

#include "flash/firmware.h"

// The identifier as it stands in file names: every character that is not a
// letter, digit, '-' or '_' becomes '_'.
std::string BackupIdentifier(const std::string& identifier);

// The path of a file named name in the Backups folder (UTF-8, as every path).
std::string BackupsFilePath(const std::string& name);

// "<identifier>_<yyyy-mm-dd_hh-mm-ss>.bin".
std::string BackupFileName(const std::string& identifier, const std::tm& local);

// False for an image whose last write block holds nothing but the erased
// flash's 0xFF: the blocks go in order, so a write stopped anywhere leaves
// that, and a firmware ends with its vectors.
bool EndsWritten(const FirmwareBuffer& image);

// Saves image as a new file in the Backups folder, flushed to the disk, and
// reads it back to compare; an incomplete image as
// "<identifier>_<time>_incomplete.bin". Returns the file's path. Raises
// EcuError whose text names the file and the reason when any step fails; no
// partial file is left then.
std::string SaveBackup(const FirmwareBuffer& image, const std::string& identifier, bool complete);

// The newest backup of identifier named complete whose content is one, by the
// time in its name; empty when there is none.
std::string NewestCompleteBackup(const std::string& identifier);
