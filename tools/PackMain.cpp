// The image packer, a build-time host program: packs the driver images into a linked program
// ("pack") or checks a packed program ("verify"). A failed pack leaves the program unchanged.
#include <cstdio>
#include <string>

#include "tools/HostFiles.h"
#include "tools/PackImage.h"

namespace {

constexpr const char kUsage[] =
    "usage: mvn_pack pack PROGRAM VXD NT32 NT64\n"
    "       mvn_pack verify PROGRAM [VXD NT32 NT64]\n"
    "       mvn_pack extract PROGRAM vxd|nt32|nt64 OUTPUT\n"
    "Packs the driver images (a VXD of \"-\" stands for none) into PROGRAM, checks PROGRAM's\n"
    "driver image table, optionally against the images it should carry, or writes one of\n"
    "the images PROGRAM carries to OUTPUT.\n";

pack::Bytes ReadAll(const std::string& path) {
  return hostfiles::ReadAll<pack::PackError>(path);
}

pack::Images ReadImages(char** paths) {
  pack::Images images;
  for (int i = 0; i < 3; ++i)
    if (std::string(paths[i]) != "-") images[i] = ReadAll(paths[i]);
  return images;
}

void ReplaceFile(const std::string& path, const pack::Bytes& bytes) {
  hostfiles::ReplaceAll<pack::PackError>(path, bytes, ".packing");
}

}  // namespace

int main(int argc, char** argv) {
  std::string command = argc > 1 ? argv[1] : "";
  try {
    if (command == "pack" && argc == 6) {
      pack::Bytes packed = pack::Pack(ReadAll(argv[2]), ReadImages(argv + 3));
      ReplaceFile(argv[2], packed);
      return 0;
    }
    if (command == "verify" && (argc == 3 || argc == 6)) {
      pack::Images images;
      if (argc == 6) images = ReadImages(argv + 3);
      pack::Bytes file = ReadAll(argv[2]);
      pack::Verify(file, argc == 6 ? &images : nullptr);
      auto entries = pack::ReadTable(file);
      std::printf("%s: images at 0x%X+0x%X, 0x%X+0x%X, 0x%X+0x%X; file 0x%zX bytes\n", argv[2],
                  entries[0].offset, entries[0].size, entries[1].offset, entries[1].size,
                  entries[2].offset, entries[2].size, file.size());
      return 0;
    }
    if (command == "extract" && argc == 5) {
      static const char* const names[] = {"vxd", "nt32", "nt64"};
      for (int image = 0; image < 3; ++image)
        if (std::string(argv[3]) == names[image]) {
          ReplaceFile(argv[4], pack::ExtractImage(ReadAll(argv[2]), image));
          return 0;
        }
    }
  } catch (const std::exception& error) {
    std::fprintf(stderr, "mvn_pack: %s: %s\n", argc > 2 ? argv[2] : "", error.what());
    return 1;
  }
  std::fputs(kUsage, stderr);
  return 2;
}
