// INI text documents: splitting into lines, recognising sections and keys, and the in-place
// edits a profile write makes.
#include "files/Ini.h"

#include <algorithm>
#include <initializer_list>

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
  original_ = text;
  std::size_t start = 0;
  while (start < original_.size()) {
    std::size_t end = start;
    while (end < original_.size() && original_[end] != '\r' && original_[end] != '\n') ++end;
    Entry entry{false, Kind::Other, start, end - start, 0, 0};
    Classify(entry);
    entries_.push_back(entry);
    if (end == original_.size()) break;
    bool crlf = original_[end] == '\r' && end + 1 < original_.size() && original_[end + 1] == '\n';
    start = end + (crlf ? 2 : 1);
  }
}

std::string_view Document::TextOf(const Entry& entry) const {
  const std::string& store = entry.edited ? edits_ : original_;
  return std::string_view(store).substr(entry.start, entry.length);
}

std::string_view Document::NameOf(const Entry& entry) const {
  return TextOf(entry).substr(entry.nameStart, entry.nameLength);
}

std::string Document::Text() const {
  std::size_t size = byteOrderMark_ ? kByteOrderMark.size() : 0;
  for (const Entry& entry : entries_) size += entry.length + 2;
  std::string text;
  text.reserve(size);
  if (byteOrderMark_) text += kByteOrderMark;
  for (const Entry& entry : entries_) {
    text += TextOf(entry);
    text += "\r\n";
  }
  return text;
}

void Document::Classify(Entry& entry) const {
  std::string_view line = TextOf(entry);
  std::string_view s = Trim(line);
  entry.kind = Kind::Other;
  if (s.empty() || s.front() == ';') return;
  auto offset = [&line](std::string_view part) {
    return static_cast<std::size_t>(part.data() - line.data());
  };
  std::string_view name;
  if (s.front() == '[') {
    std::size_t close = s.find(']');
    if (close == std::string_view::npos) return;
    name = Trim(s.substr(1, close - 1));
    entry.kind = Kind::Section;
  } else {
    std::size_t equals = s.find('=');
    if (equals == std::string_view::npos) return;
    name = Trim(s.substr(0, equals));
    if (name.empty()) return;
    entry.kind = Kind::Key;
  }
  entry.nameStart = name.empty() ? 0 : offset(name);
  entry.nameLength = name.size();
}

Document::Entry Document::Store(std::string_view text) {
  Entry entry{true, Kind::Other, edits_.size(), text.size(), 0, 0};
  edits_ += text;
  Classify(entry);
  return entry;
}

long Document::FindSection(std::string_view section) const {
  for (std::size_t i = 0; i < entries_.size(); ++i) {
    if (entries_[i].kind == Kind::Section && SameName(NameOf(entries_[i]), section)) {
      return static_cast<long>(i);
    }
  }
  return -1;
}

long Document::FindKey(long header, std::string_view key) const {
  for (std::size_t i = static_cast<std::size_t>(header) + 1; i < entries_.size(); ++i) {
    if (entries_[i].kind == Kind::Section) break;
    if (entries_[i].kind == Kind::Key && SameName(NameOf(entries_[i]), key)) {
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
  std::string_view text = TextOf(entries_[static_cast<std::size_t>(line)]);
  std::string_view value = Trim(text.substr(text.find('=') + 1));
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
  long header = FindSection(section);
  if (header < 0) {
    // Right after the last line, as the system's writer adds it: no blank line before.
    entries_.push_back(Store(Join({"[", section, "]"})));
    entries_.push_back(Store(Join({key, "=", value})));
    return true;
  }
  long line = FindKey(header, key);
  if (line >= 0) {
    // Rewritten in place, keeping the key's own spelling and indentation.
    Entry& entry = entries_[static_cast<std::size_t>(line)];
    std::string_view text = TextOf(entry);
    std::size_t keyEnd = entry.nameStart + entry.nameLength;
    entry = Store(Join({text.substr(0, keyEnd), "=", value}));
    return true;
  }
  // After the section's last line that is not blank, so a blank separator line stays last.
  std::size_t last = static_cast<std::size_t>(header);
  for (std::size_t i = last + 1; i < entries_.size() && entries_[i].kind != Kind::Section; ++i) {
    if (!Trim(TextOf(entries_[i])).empty()) last = i;
  }
  entries_.insert(entries_.begin() + static_cast<long>(last + 1), Store(Join({key, "=", value})));
  return true;
}

}  // namespace ini
