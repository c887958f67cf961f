// The LE writer, a build-time host program: turns the VxD's assembled ELF object into its LE
// file. A failed write leaves no output behind.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "tools/HostFiles.h"
#include "tools/LeWriter.h"

namespace {

constexpr const char kUsage[] =
    "usage: mvn_le_write OBJECT OUTPUT --module NAME --ddb SYMBOL --description TEXT\n"
    "                    [--ordinal N]\n"
    "Writes the ELF object OBJECT (.text and .data) as the dynamically loadable VxD OUTPUT,\n"
    "exporting the device descriptor block SYMBOL as entry ordinal N (1 unless given).\n";

le::Bytes ReadAll(const std::string& path) {
  return hostfiles::ReadAll<le::LeError>(path);
}

void WriteFile(const std::string& path, const le::Bytes& bytes) {
  hostfiles::ReplaceAll<le::LeError>(path, bytes, ".writing");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  std::string module, ddb, description;
  unsigned long ordinal = 1;
  for (int i = 3; i < argc; i += 2) {
    std::string option = argv[i];
    if (i + 1 >= argc) {
      std::fputs(kUsage, stderr);
      return 2;
    }
    std::string value = argv[i + 1];
    if (option == "--module") {
      module = value;
    } else if (option == "--ddb") {
      ddb = value;
    } else if (option == "--description") {
      description = value;
    } else if (option == "--ordinal") {
      char* end = nullptr;
      ordinal = std::strtoul(value.c_str(), &end, 10);
      if (*end != '\0' || ordinal < 1 || ordinal > 0xFFFF) {
        std::fprintf(stderr, "mvn_le_write: bad ordinal %s\n", value.c_str());
        return 2;
      }
    } else {
      std::fputs(kUsage, stderr);
      return 2;
    }
  }
  if (module.empty() || ddb.empty() || description.empty()) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  try {
    le::Module m = le::ReadElf(ReadAll(argv[1]), ddb);
    m.name = module;
    m.description = description;
    m.ddbOrdinal = static_cast<std::uint16_t>(ordinal);
    WriteFile(argv[2], le::WriteLe(m));
  } catch (const std::exception& error) {
    std::fprintf(stderr, "mvn_le_write: %s: %s\n", argv[1], error.what());
    return 1;
  }
  return 0;
}
