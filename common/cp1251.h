#pragma once
// Windows-1251 <-> UTF-8, and UTF-16 -> UTF-8. cfg.ini is Windows-1251 on disk (the file is shared
// with the Windows build of the program); the program keeps UTF-8 in memory.
// Any thread.

#include <string>

// Every byte maps to one character, so decoding never fails and
// Utf8ToCp1251(Cp1251ToUtf8(x)) == x for any x.
std::string Cp1251ToUtf8(const std::string& bytes);
// Characters without a Windows-1251 code (and broken UTF-8) become '?'.
std::string Utf8ToCp1251(const std::string& text);
// True for well-formed UTF-8 (no overlong forms, no surrogates).
bool IsUtf8(const std::string& text);
// UTF-16 code units (without the byte-order mark) as UTF-8; a character that
// is not there whole (a lone surrogate, an odd last byte) becomes '?'.
std::string Utf16ToUtf8(const std::string& bytes, bool bigEndian);
