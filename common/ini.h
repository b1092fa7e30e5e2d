#pragma once
// The text of an ini file with the semantics of the Windows profile functions:
// section and key names match without regard to case, the first matching
// section and key win, a written key replaces its line in place (keeping the
// case of the existing name), a missing key is added at the end of its
// section and a missing section at the end of the text; every other line,
// line ending and byte stays as it was. Works on raw bytes (cfg.ini is
// Windows-1251); Cyrillic letters of that code page also match without regard
// to case. Any thread (no shared state).

#include <optional>
#include <string>
#include <vector>

class IniText {
 public:
  IniText() = default;
  explicit IniText(const std::string& bytes);

  // The value with blanks around it removed and one pair of enclosing quotes
  // dropped; nullopt when the section or the key is missing.
  std::optional<std::string> Read(const std::string& section, const std::string& key) const;
  void Write(const std::string& section, const std::string& key, const std::string& value);
  // The key names of the first such section, in file order, each once.
  std::vector<std::string> Keys(const std::string& section) const;
  // The whole text as it would be written to disk.
  std::string Bytes() const;
  // The text began with a UTF-8 byte-order mark (kept, and not part of the
  // first line): an editor saved it as UTF-8.
  bool HasUtf8Mark() const { return !mark_.empty(); }

 private:
  struct Line {
    std::string text;
    std::string eol;  // "\r\n", "\n", "\r" or "" (last line without ending)
  };
  // Index of the section line, or -1.
  int FindSection(const std::string& section) const;
  // Index of the key line inside the section starting at sectionLine, or -1.
  int FindKey(int sectionLine, const std::string& key) const;
  std::string DefaultEol() const;

  std::string mark_;
  std::vector<Line> lines_;
};

// True when a and b are equal ignoring case (ASCII and Windows-1251 letters).
bool IniNamesEqual(const std::string& a, const std::string& b);
