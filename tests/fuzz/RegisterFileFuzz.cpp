// Fuzz target: a register file of arbitrary contents loaded into the register caches and saved
// over, through the simulated Windows. A load takes only codes that fit, touches no other bit,
// and a save keeps the file's other lines while its codes read back.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "files/Ini.h"
#include "files/IniFile.h"
#include "files/RegisterFile.h"
#include "regs/Codec.h"
#include "sim/SimWindows.h"
#include "tests/fuzz/FuzzChecks.h"

namespace {

constexpr char kFolder[] = "C:\\Program Files\\Morvane";
constexpr char kFile[] = "C:\\Program Files\\Morvane\\fuzz.mvn";

std::uint32_t FieldBits(const PciRegister& reg) {
  std::uint32_t bits = 0;
  for (const RegisterField& field : AllFields()) {
    if (field.reg == &reg) bits |= ((1u << field.width) - 1) << field.shift;
  }
  return bits;
}

void Fill(std::uint32_t pattern) {
  for (PciRegister& reg : Registers) reg.value = pattern;
}

bool SameNameAsAField(std::string_view line) {
  std::size_t equals = line.find('=');
  if (equals == std::string_view::npos) return false;
  std::string_view key = line.substr(0, equals);
  while (!key.empty() && ini::IsBlank(key.front())) key.remove_prefix(1);
  while (!key.empty() && ini::IsBlank(key.back())) key.remove_suffix(1);
  for (const RegisterField& field : AllFields()) {
    std::string_view name = field.key;
    if (name.size() != key.size()) continue;
    bool same = true;
    for (std::size_t i = 0; i < name.size() && same; ++i) {
      same = (name[i] | 0x20) == (key[i] | 0x20);
    }
    if (same) return true;
  }
  return false;
}

// The reference reading of a key's value as a number, written independently of the program's.
bool ReferenceNumber(std::string_view s, std::int32_t* out) {
  bool negative = false;
  if (!s.empty() && (s[0] == '+' || s[0] == '-')) {
    negative = s[0] == '-';
    s.remove_prefix(1);
  }
  int base = 10;
  if (!s.empty() && s[0] == '$') {
    base = 16;
    s.remove_prefix(1);
  } else if (s.size() >= 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
    base = 16;
    s.remove_prefix(2);
  }
  if (s.empty()) return false;
  long long value = 0;
  bool overflow = false;
  for (char c : s) {
    int digit = (c >= '0' && c <= '9')                 ? c - '0'
                : (base == 16 && c >= 'a' && c <= 'f') ? c - 'a' + 10
                : (base == 16 && c >= 'A' && c <= 'F') ? c - 'A' + 10
                                                       : -1;
    if (digit < 0) return false;
    if (!overflow) value = value * base + digit;
    overflow = overflow || value > (1LL << 32);
  }
  if (overflow) return false;
  if (negative) value = -value;
  if (value < -(1LL << 31) || value > (1LL << 31) - 1) return false;
  *out = static_cast<std::int32_t>(value);
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  {
    std::int32_t mine = 0;
    std::int32_t reference = 0;
    bool parsed = ParseFieldValue(text, &mine);
    FUZZ_EXPECT(parsed == ReferenceNumber(text, &reference));
    FUZZ_EXPECT(!parsed || mine == reference);
  }

  sim::ScopedSimWindows win;
  win->fs.AddFile(kFile, text);
  Fill(0xA5A55A5Au);
  FUZZ_EXPECT(LoadRegisterFile("fuzz.mvn"));
  for (const PciRegister& reg : Registers) {
    FUZZ_EXPECT((reg.value & ~FieldBits(reg)) == (0xA5A55A5Au & ~FieldBits(reg)));
  }
  // The section pair reads the same.
  std::uint32_t loaded[kRegisterCount];
  for (int i = 0; i < kRegisterCount; ++i) loaded[i] = Registers[i].value;
  Fill(0xA5A55A5Au);
  FUZZ_EXPECT(LoadDramSection(kFile) && LoadLinkSection(kFile));
  for (int i = 0; i < kRegisterCount; ++i) FUZZ_EXPECT(Registers[i].value == loaded[i]);

  // Save a set of its own over the file.
  for (const RegisterField& field : AllFields()) {
    SetFieldCode(field, static_cast<std::uint32_t>(&field - Fields) % (1u << field.width));
  }
  std::uint32_t saved[kRegisterCount];
  for (int i = 0; i < kRegisterCount; ++i) saved[i] = Registers[i].value;
  FUZZ_EXPECT(SaveDramSection(kFile) && SaveLinkSection(kFile));
  FUZZ_EXPECT(win->fs.List(kFolder).size() == 1);
  Fill(0);
  FUZZ_EXPECT(LoadRegisterFile(kFile));
  for (int i = 0; i < kRegisterCount; ++i) {
    FUZZ_EXPECT(Registers[i].value == (saved[i] & FieldBits(Registers[i])));
  }

  // The file keeps its encoding, and every line but the keys' own.
  ini::Encoding was;
  ini::Encoding now;
  const ini::Document before(ini::DecodeText(text, &was));
  const ini::Document after(ini::DecodeText(win->fs.Contents(kFile), &now));
  FUZZ_EXPECT(was == now);
  std::size_t at = 0;
  for (std::size_t i = 0; i < before.LineCount(); ++i) {
    if (SameNameAsAField(before.Line(i))) continue;
    while (at < after.LineCount() && after.Line(at) != before.Line(i)) ++at;
    FUZZ_EXPECT(at < after.LineCount());
    ++at;
  }
  return 0;
}
