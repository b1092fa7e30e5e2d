#pragma once
// Firmware programming through the ECU's boot protocol. Runs on the
// user-interface thread; reports its own errors through the window.

#include <string>

// Reads the 64 KiB firmware into a file the user chooses.
void FlashRead(const std::string& port);
// Writes a 64 KiB file the user chooses into the ECU: with TCfg.FlashBackup
// the ECU's image is first saved in the Backups folder, with TCfg.FlashVerify
// it is read back and compared with the file afterwards.
void FlashWrite(const std::string& port);
