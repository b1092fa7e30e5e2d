#pragma once
// One reset for the state the core keeps in globals (settings, ECU data, link,
// session), so a test starts as the program does instead of clearing
// what it happens to know of by hand. Not while a link or reader runs.
void ResetCoreState();
