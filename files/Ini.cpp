// INI text documents: splitting into lines, recognising sections and keys, and the in-place
// edits a profile write makes.
#include "files/Ini.h"

#include <algorithm>

namespace ini {
namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

char Lower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                            [](char x, char y) { return Lower(x) == Lower(y); });
}

bool HasLineBreak(std::string_view s) {
  return s.find('\r') != std::string_view::npos || s.find('\n') != std::string_view::npos;
}

bool IsPlainName(std::string_view s) {
  return !s.empty() && Trim(s) == s && !HasLineBreak(s);
}

// Joins parts by appending (GCC 12 misreports chains of string "+" as overlapping copies).
std::string Join(std::initializer_list<std::string_view> parts) {
  std::string out;
  for (std::string_view part : parts) out.append(part);
  return out;
}

}  // namespace

bool IsBlank(char c) {
  // Space, tab, vertical tab, form feed and the old end-of-file mark.
  return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\x1A';
}

Document::Document(std::string_view text) {
  if (text.substr(0, kByteOrderMark.size()) == kByteOrderMark) {
    byteOrderMark_ = true;
    text.remove_prefix(kByteOrderMark.size());
  }
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find_first_of("\r\n", start);
    if (end == std::string_view::npos) {
      Append(std::string(text.substr(start)));
      break;
    }
    Append(std::string(text.substr(start, end - start)));
    start = end + ((text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') ? 2 : 1);
  }
}

std::string Document::Text() const {
  std::size_t size = byteOrderMark_ ? kByteOrderMark.size() : 0;
  for (const std::string& line : lines_) size += line.size() + 2;
  std::string text;
  text.reserve(size);
  if (byteOrderMark_) text += kByteOrderMark;
  for (const std::string& line : lines_) {
    text += line;
    text += "\r\n";
  }
  return text;
}

Document::Line Document::Classify(std::string_view text) {
  std::string_view s = Trim(text);
  if (s.empty() || s.front() == ';') return {Kind::Other, {}};
  if (s.front() == '[') {
    std::size_t close = s.find(']');
    if (close == std::string_view::npos) return {Kind::Other, {}};
    return {Kind::Section, std::string(Trim(s.substr(1, close - 1)))};
  }
  std::size_t equals = s.find('=');
  if (equals == std::string_view::npos) return {Kind::Other, {}};
  std::string_view key = Trim(s.substr(0, equals));
  if (key.empty()) return {Kind::Other, {}};
  return {Kind::Key, std::string(key)};
}

void Document::Append(std::string text) {
  parsed_.push_back(Classify(text));
  lines_.push_back(std::move(text));
}

void Document::Insert(std::size_t at, std::string text) {
  parsed_.insert(parsed_.begin() + static_cast<long>(at), Classify(text));
  lines_.insert(lines_.begin() + static_cast<long>(at), std::move(text));
}

long Document::FindSection(std::string_view section) const {
  for (std::size_t i = 0; i < parsed_.size(); ++i) {
    if (parsed_[i].kind == Kind::Section && SameName(parsed_[i].name, section)) {
      return static_cast<long>(i);
    }
  }
  return -1;
}

long Document::FindKey(long header, std::string_view key) const {
  for (std::size_t i = static_cast<std::size_t>(header) + 1; i < parsed_.size(); ++i) {
    if (parsed_[i].kind == Kind::Section) break;
    if (parsed_[i].kind == Kind::Key && SameName(parsed_[i].name, key)) {
      return static_cast<long>(i);
    }
  }
  return -1;
}

std::optional<std::string> Document::Get(std::string_view section, std::string_view key) const {
  long header = FindSection(section);
  if (header < 0) return std::nullopt;
  long line = FindKey(header, key);
  if (line < 0) return std::nullopt;
  const std::string& text = lines_[static_cast<std::size_t>(line)];
  std::string_view value = Trim(std::string_view(text).substr(text.find('=') + 1));
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front()) {
    value = value.substr(1, value.size() - 2);
  }
  return std::string(value);
}

bool Document::Set(std::string_view section, std::string_view key, std::string_view value) {
  if (!IsPlainName(section) || section.find(']') != std::string_view::npos || !IsPlainName(key) ||
      key.find('=') != std::string_view::npos || key.front() == '[' || key.front() == ';' ||
      HasLineBreak(value) || Trim(value) != value) {
    return false;
  }
  std::string entry = Join({key, "=", value});
  long header = FindSection(section);
  if (header < 0) {
    if (!lines_.empty() && !Trim(lines_.back()).empty()) Append("");
    Append(Join({"[", section, "]"}));
    Append(std::move(entry));
    return true;
  }
  long line = FindKey(header, key);
  if (line >= 0) {
    // Rewritten in place, keeping the key's own spelling and indentation.
    std::string& text = lines_[static_cast<std::size_t>(line)];
    std::size_t equals = text.find('=');
    std::size_t keyEnd = equals;
    while (keyEnd > 0 && IsBlank(text[keyEnd - 1])) --keyEnd;
    text = Join({std::string_view(text).substr(0, keyEnd), "=", value});
    return true;
  }
  // After the section's last line that is not blank, so a blank separator line stays last.
  std::size_t last = static_cast<std::size_t>(header);
  for (std::size_t i = last + 1; i < parsed_.size() && parsed_[i].kind != Kind::Section; ++i) {
    if (!Trim(lines_[i]).empty()) last = i;
  }
  Insert(last + 1, std::move(entry));
  return true;
}

}  // namespace ini
