// Fuzz target: the INI engine on arbitrary files. Their encoding round-trips, writing is
// stable, a written document reads as the original did, and an edit changes only its own line.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "files/Ini.h"
#include "files/IniFile.h"
#include "tests/fuzz/FuzzChecks.h"

namespace {

std::string_view Trimmed(std::string_view s) {
  while (!s.empty() && ini::IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && ini::IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

// Section and key names that occur in the document, plus the register file's own.
void Names(const ini::Document& doc, std::vector<std::string>* sections,
           std::vector<std::string>* keys) {
  *sections = {"DRAM", "LINK", "dram"};
  *keys = {"Tcl", "WidthIN", "widthin"};
  for (std::size_t i = 0; i < doc.LineCount() && i < 64; ++i) {
    std::string_view line = Trimmed(doc.Line(i));
    if (!line.empty() && line.front() == '[') {
      std::size_t close = line.find(']');
      if (close != std::string_view::npos) {
        sections->emplace_back(Trimmed(line.substr(1, close - 1)));
      }
    } else if (std::size_t equals = line.find('='); equals != std::string_view::npos) {
      keys->emplace_back(Trimmed(line.substr(0, equals)));
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  // A file's encoding comes back exactly (a UTF-16 file loses only an odd last byte).
  ini::Encoding encoding;
  const std::string text = ini::DecodeText(bytes, &encoding);
  const std::string encoded = ini::EncodeText(text, encoding);
  FUZZ_EXPECT(encoding == ini::Encoding::Bytes
                  ? encoded == bytes
                  : encoded == bytes.substr(0, size & ~std::size_t{1}));
  const ini::Document doc(text);
  const std::string written = doc.Text();
  const ini::Document again(written);
  FUZZ_EXPECT(again.Text() == written);
  FUZZ_EXPECT(again.LineCount() == doc.LineCount());

  std::vector<std::string> sections;
  std::vector<std::string> keys;
  Names(doc, &sections, &keys);
  for (const std::string& section : sections) {
    for (const std::string& key : keys)
      FUZZ_EXPECT(doc.Get(section, key) == again.Get(section, key));
  }

  // Each edit reads back, and every line the edit did not rewrite stays, in order.
  for (const std::string& section : sections) {
    for (const std::string& key : keys) {
      ini::Document edited(text);
      if (!edited.Set(section, key, "12")) continue;
      FUZZ_EXPECT(edited.Get(section, key) == std::string("12"));
      FUZZ_EXPECT(edited.LineCount() >= doc.LineCount() &&
                  edited.LineCount() <= doc.LineCount() + 3);
      std::size_t missed = 0;
      std::size_t at = 0;
      for (std::size_t i = 0; i < doc.LineCount(); ++i) {
        while (at < edited.LineCount() && edited.Line(at) != doc.Line(i)) ++at;
        if (at == edited.LineCount()) {
          ++missed;
          at = 0;
          continue;
        }
        ++at;
      }
      FUZZ_EXPECT(missed <= 1);
    }
  }
  return 0;
}
