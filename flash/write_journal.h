#pragma once
// The journal of firmware writes beside the backups (Backups/writes.csv): one
// line per write that reached the flash, saying whether it failed and which
// backup its messages named. After a failed write the ECU holds whatever that
// write left, also once the program was restarted; the next backup read from
// it must not pass for the ECU's firmware. User-interface thread.

#include <string>

// The journal's path.
std::string WriteJournalPath();

// Whether the last write journaled for this identifier failed.
bool LastWriteFailed(const std::string& identifier);

// Adds a line for a write of identifier that reached the flash; backup is the
// path its messages named (may be empty). The file is replaced whole and
// flushed, so a kill leaves the old journal or the new one. Returns an empty
// text, or one naming the journal and the reason for the user.
std::string JournalWrite(const std::string& identifier, bool failed, const std::string& backup);
