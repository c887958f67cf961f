// Fuzz target: the command tail of arbitrary command lines. The tail is the end of the line,
// and what comes before it is blanks, one program name and blanks.
#include <cstddef>
#include <cstdint>
#include <string>

#include "app/CommandTail.h"
#include "tests/fuzz/FuzzChecks.h"

namespace {
bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string line(reinterpret_cast<const char*>(data), size);
  line = line.c_str();  // a command line ends at its first NUL
  const std::string tail = CommandTail(line.c_str());
  FUZZ_EXPECT(tail.size() <= line.size());
  FUZZ_EXPECT(line.compare(line.size() - tail.size(), tail.size(), tail) == 0);
  FUZZ_EXPECT(tail.empty() || !IsBlank(tail.front()));

  // The part before the tail: blanks, the program name, blanks.
  const std::string head = line.substr(0, line.size() - tail.size());
  std::size_t i = 0;
  while (i < head.size() && IsBlank(head[i])) ++i;
  if (i < head.size() && head[i] == '"') {
    ++i;
    while (i < head.size() && head[i] != '"' && head[i] != '\t') ++i;
    if (i < head.size()) ++i;
  } else {
    while (i < head.size() && !IsBlank(head[i])) ++i;
  }
  while (i < head.size() && IsBlank(head[i])) ++i;
  FUZZ_EXPECT(i == head.size());
  FUZZ_EXPECT(CommandTail(nullptr).empty());
  return 0;
}
