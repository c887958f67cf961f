// INI text documents read and edited as the Windows profile functions treat them: names
// matched without regard to case, the first section and the first key of a name counting,
// every other line kept as it was.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ini {

class Document {
 public:
  Document() = default;
  // Lines end at CR LF, LF or a lone CR; a leading UTF-8 byte-order mark is set aside.
  explicit Document(std::string_view text);

  // The document with CR LF after every line (and its byte-order mark, if it had one).
  std::string Text() const;

  // The value of `key` in `section`: the text after the first "=", blanks around it removed,
  // then one pair of enclosing single or double quotes. nullopt when the section or key is
  // missing. Only the first section of that name, and the first such key in it, count.
  std::optional<std::string> Get(std::string_view section, std::string_view key) const;

  // Sets `key` in `section` to `value`: an existing key's line is rewritten in place, a
  // missing key is added after the last line of its section, a missing section is added
  // right after the document's last line. Refuses (returns false, changes nothing) names or
  // values that would not read back as written: blank or padded names, line breaks, "=" in a
  // key, "]" in a section.
  bool Set(std::string_view section, std::string_view key, std::string_view value);

  std::size_t LineCount() const { return entries_.size(); }
  std::string_view Line(std::size_t index) const { return TextOf(entries_[index]); }

 private:
  enum class Kind : unsigned char { Other, Section, Key };
  // One line: its text lies in the original text or, once edited, in the edit store; a
  // section's or key's name is a part of that text.
  struct Entry {
    bool edited;
    Kind kind;
    std::size_t start;
    std::size_t length;
    std::size_t nameStart;  // from the line's start
    std::size_t nameLength;
  };
  std::string_view TextOf(const Entry& entry) const;
  std::string_view NameOf(const Entry& entry) const;
  void Classify(Entry& entry) const;
  Entry Store(std::string_view text);  // a new line, its text kept in the edit store
  // Index of the first section line with that name, or -1.
  long FindSection(std::string_view section) const;
  // Index of the first key line with that name in the section starting at `header`, or -1.
  long FindKey(long header, std::string_view key) const;

  bool byteOrderMark_ = false;
  std::string original_;
  std::string edits_;
  std::vector<Entry> entries_;
};

// True for the characters the profile functions strip around names and values.
bool IsBlank(char c);

}  // namespace ini
