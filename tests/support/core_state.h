#pragma once
class EcuSession;

// One reset for the state the core still keeps process-wide (the settings), so a test starts as the program
// does instead of clearing what it happens to know of by hand. Not while a link or reader runs.
void ResetCoreState();

// The session's link in or out of the packet stream, as the window sees it
// (a link without threads when no connection has been made).
void SetUnidirMode(EcuSession& session, bool on);
