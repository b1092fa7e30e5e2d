#include "common/ini.h"

#include <cstddef>

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string Trim(const std::string& s) {
  std::size_t b = 0, e = s.size();
  while (b < e && IsBlank(s[b])) ++b;
  while (e > b && IsBlank(s[e - 1])) --e;
  return s.substr(b, e - b);
}

unsigned char Fold(unsigned char c) {
  if (c >= 'A' && c <= 'Z') return static_cast<unsigned char>(c + 32);
  if (c >= 0xC0 && c <= 0xDF) return static_cast<unsigned char>(c + 32);  // А..Я
  if (c == 0xA8) return 0xB8;                                             // Ё
  return c;
}

// Section name of a section line, or nullopt for any other line.
std::optional<std::string> SectionName(const std::string& text) {
  const std::string t = Trim(text);
  if (t.empty() || t[0] != '[') return std::nullopt;
  const std::size_t close = t.find(']');
  if (close == std::string::npos) return std::nullopt;
  return Trim(t.substr(1, close - 1));
}

bool IsComment(const std::string& trimmed) { return !trimmed.empty() && trimmed[0] == ';'; }

std::string Unquote(const std::string& v) {
  if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
    return v.substr(1, v.size() - 2);
  return v;
}

}  // namespace

bool IniNamesEqual(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (Fold(static_cast<unsigned char>(a[i])) != Fold(static_cast<unsigned char>(b[i]))) return false;
  return true;
}

IniText::IniText(const std::string& bytes) {
  std::size_t pos = 0;
  // Otherwise the mark would glue itself to the first section's name.
  if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) {
    mark_ = bytes.substr(0, 3);
    pos = 3;
  }
  while (pos < bytes.size()) {
    std::size_t end = bytes.find_first_of("\r\n", pos);
    if (end == std::string::npos) {
      lines_.push_back({bytes.substr(pos), ""});
      break;
    }
    std::size_t next = end + 1;
    if (bytes[end] == '\r' && next < bytes.size() && bytes[next] == '\n') ++next;
    lines_.push_back({bytes.substr(pos, end - pos), bytes.substr(end, next - end)});
    pos = next;
  }
}

int IniText::FindSection(const std::string& section) const {
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    const auto name = SectionName(lines_[i].text);
    if (name && IniNamesEqual(*name, section)) return static_cast<int>(i);
  }
  return -1;
}

int IniText::FindKey(int sectionLine, const std::string& key) const {
  for (std::size_t i = sectionLine + 1; i < lines_.size(); ++i) {
    const std::string& text = lines_[i].text;
    if (SectionName(text)) break;
    const std::string t = Trim(text);
    if (IsComment(t)) continue;
    const std::size_t eq = t.find('=');
    if (eq == std::string::npos) continue;
    if (IniNamesEqual(Trim(t.substr(0, eq)), key)) return static_cast<int>(i);
  }
  return -1;
}

std::optional<std::string> IniText::Read(const std::string& section, const std::string& key) const {
  const int s = FindSection(section);
  if (s < 0) return std::nullopt;
  const int k = FindKey(s, key);
  if (k < 0) return std::nullopt;
  const std::string t = Trim(lines_[k].text);
  return Unquote(Trim(t.substr(t.find('=') + 1)));
}

std::vector<std::string> IniText::Keys(const std::string& section) const {
  std::vector<std::string> keys;
  const int s = FindSection(section);
  if (s < 0) return keys;
  for (std::size_t i = s + 1; i < lines_.size() && !SectionName(lines_[i].text); ++i) {
    const std::string t = Trim(lines_[i].text);
    const std::size_t eq = t.find('=');
    if (IsComment(t) || eq == std::string::npos) continue;
    const std::string key = Trim(t.substr(0, eq));
    if (FindKey(s, key) == static_cast<int>(i)) keys.push_back(key);
  }
  return keys;
}

std::string IniText::DefaultEol() const {
  for (const Line& l : lines_)
    if (!l.eol.empty()) return l.eol;
  return "\r\n";  // what the Windows build writes
}

void IniText::Write(const std::string& section, const std::string& key, const std::string& value) {
  const std::string eol = DefaultEol();
  const int s = FindSection(section);
  if (s < 0) {
    if (!lines_.empty() && lines_.back().eol.empty()) lines_.back().eol = eol;
    lines_.push_back({"[" + section + "]", eol});
    lines_.push_back({key + "=" + value, eol});
    return;
  }
  const int k = FindKey(s, key);
  if (k >= 0) {
    // An unchanged value keeps its line exactly as the user wrote it.
    if (Read(section, key) == value) return;
    const std::string t = Trim(lines_[k].text);
    lines_[k].text = Trim(t.substr(0, t.find('='))) + "=" + value;
    return;
  }
  // After the last non-blank line of the section.
  std::size_t at = s + 1;
  for (std::size_t i = s + 1; i < lines_.size() && !SectionName(lines_[i].text); ++i)
    if (!Trim(lines_[i].text).empty()) at = i + 1;
  if (lines_[at - 1].eol.empty()) lines_[at - 1].eol = eol;
  lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(at), Line{key + "=" + value, eol});
}

std::string IniText::Bytes() const {
  std::string out = mark_;
  for (const Line& l : lines_) out += l.text + l.eol;
  return out;
}
