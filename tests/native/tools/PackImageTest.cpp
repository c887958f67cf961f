// Tests of the image packer's logic over small PE files built in memory.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "tools/PackImage.h"

namespace {

using pack::Bytes;
using pack::PackError;

void Put16(Bytes& b, std::size_t at, std::uint32_t v) {
  b[at] = static_cast<std::uint8_t>(v);
  b[at + 1] = static_cast<std::uint8_t>(v >> 8);
}
void Put32(Bytes& b, std::size_t at, std::uint32_t v) {
  Put16(b, at, v & 0xFFFF);
  Put16(b, at + 2, v >> 16);
}

constexpr std::size_t kPe = 0x40;
constexpr std::size_t kOptional = kPe + 4 + 20;
constexpr std::size_t kChecksum = kOptional + 64;
constexpr std::size_t kSections = kOptional + 224;

// A PE32 file with two sections of 0x200 raw bytes at 0x200 and 0x400, optionally holding a
// driver image table at 0x450, with a correct checksum.
Bytes MakeProgram(bool withTable = true) {
  Bytes b(0x600, 0);
  b[0] = 'M';
  b[1] = 'Z';
  Put32(b, 0x3C, kPe);
  std::memcpy(&b[kPe], "PE\0\0", 4);
  Put16(b, kPe + 4, 0x14C);      // i386
  Put16(b, kPe + 4 + 2, 2);      // sections
  Put16(b, kPe + 4 + 16, 224);   // optional header size
  Put16(b, kOptional, 0x10B);    // PE32
  Put32(b, kOptional + 92, 16);  // data directories
  for (int i = 0; i < 2; ++i) {
    Put32(b, kSections + 40 * i + 16, 0x200);
    Put32(b, kSections + 40 * i + 20, 0x200 + 0x200 * i);
  }
  if (withTable) std::memcpy(&b[0x450], kDriverImageMarker, sizeof kDriverImageMarker);
  Put32(b, kChecksum, pack::PeChecksum(b, kChecksum));
  return b;
}

// A small driver-like image: a PE file without a table, filled so images differ.
Bytes MakeImage(std::uint8_t fill) {
  Bytes b = MakeProgram(false);
  std::memset(&b[0x200], fill, 0x400);
  Put32(b, kChecksum, pack::PeChecksum(b, kChecksum));
  return b;
}

pack::Images ThreeImages() {
  return {Bytes(0x123, 0x5A), MakeImage(0x11), MakeImage(0x22)};
}

template <typename F>
std::string ErrorOf(F&& f) {
  try {
    f();
  } catch (const PackError& e) {
    return e.what();
  }
  return "";
}

TEST(PackImage, ImagesStandBackToBackAfterTheLastSection) {
  Bytes program = MakeProgram();
  pack::Images images = ThreeImages();
  Bytes packed = pack::Pack(program, images);

  auto table = pack::ReadTable(packed);
  EXPECT_EQ(table[kImageVxd].offset, 0x600u);
  EXPECT_EQ(table[kImageVxd].size, 0x123u);
  EXPECT_EQ(table[kImageNt32].offset, 0x723u);
  EXPECT_EQ(table[kImageNt32].size, 0x600u);
  EXPECT_EQ(table[kImageNt64].offset, 0xD23u);
  EXPECT_EQ(table[kImageNt64].size, 0x600u);
  EXPECT_EQ(packed.size(), 0x1323u);
  for (int i = 0; i < 3; ++i)
    EXPECT_TRUE(std::equal(images[i].begin(), images[i].end(), packed.begin() + table[i].offset));
  // Nothing but the table and the checksum changed in the program's own bytes.
  Bytes head(packed.begin(), packed.begin() + 0x600);
  std::memset(&head[0x450 + 16], 0, 24);
  Put32(head, kChecksum, 0);
  Put32(program, kChecksum, 0);
  EXPECT_EQ(head, program);
  EXPECT_NO_THROW(pack::Verify(packed, &images));
}

TEST(PackImage, AnEmptyVxdSlotHasSizeZeroAtTheSectionsEnd) {
  pack::Images images = ThreeImages();
  images[kImageVxd].clear();
  Bytes packed = pack::Pack(MakeProgram(), images);
  auto table = pack::ReadTable(packed);
  EXPECT_EQ(table[kImageVxd].offset, 0x600u);
  EXPECT_EQ(table[kImageVxd].size, 0u);
  EXPECT_EQ(table[kImageNt32].offset, 0x600u);
  EXPECT_EQ(table[kImageNt64].offset + table[kImageNt64].size, packed.size());
  EXPECT_NO_THROW(pack::Verify(packed, &images));
}

TEST(PackImage, RefusesProgramsThatDoNotEndWithTheirLastSection) {
  Bytes packed = pack::Pack(MakeProgram(), ThreeImages());
  EXPECT_NE(ErrorOf([&] { pack::Pack(packed, ThreeImages()); }).find("already packed"),
            std::string::npos);
  Bytes trailing = MakeProgram();
  trailing.push_back(0);
  EXPECT_NE(ErrorOf([&] { pack::Pack(trailing, ThreeImages()); }), "");
}

TEST(PackImage, RefusesUnstrippedSignedAndMarkerlessPrograms) {
  Bytes symbols = MakeProgram();
  Put32(symbols, kPe + 4 + 8, 0x500);
  EXPECT_NE(ErrorOf([&] { pack::Pack(symbols, ThreeImages()); }).find("-s"), std::string::npos);

  Bytes signed_ = MakeProgram();
  Put32(signed_, kOptional + 96 + 8 * 4 + 4, 0x100);
  EXPECT_NE(ErrorOf([&] { pack::Pack(signed_, ThreeImages()); }).find("signed"), std::string::npos);

  EXPECT_NE(ErrorOf([&] { pack::Pack(MakeProgram(false), ThreeImages()); }).find("not in"),
            std::string::npos);

  Bytes twice = MakeProgram();
  std::memcpy(&twice[0x280], kDriverImageMarker, sizeof kDriverImageMarker);
  EXPECT_NE(ErrorOf([&] { pack::Pack(twice, ThreeImages()); }).find("more than once"),
            std::string::npos);

  // A marker outside the sections would be patched in bytes the program never loads.
  Bytes header = MakeProgram(false);
  std::memcpy(&header[0x1C0], kDriverImageMarker, sizeof kDriverImageMarker);
  EXPECT_NE(ErrorOf([&] { pack::Pack(header, ThreeImages()); }).find("outside"), std::string::npos);
}

TEST(PackImage, RefusesImagesLargerThanTheLoaderAccepts) {
  pack::Images images = ThreeImages();
  images[kImageNt64] = Bytes(kMaxDriverImageSize + 1, 0);
  EXPECT_NE(ErrorOf([&] { pack::Pack(MakeProgram(), images); }).find("64-bit"), std::string::npos);
  images[kImageNt64] = Bytes(kMaxDriverImageSize, 0);
  EXPECT_EQ(pack::Pack(MakeProgram(), images).size(), 0x600u + 0x123 + 0x600 + kMaxDriverImageSize);
}

TEST(PackImage, EveryTruncatedOrMangledHeaderIsAnErrorNotACrash) {
  Bytes program = MakeProgram();
  for (std::size_t length = 0; length < program.size(); ++length) {
    Bytes cut(program.begin(), program.begin() + length);
    EXPECT_THROW(pack::Pack(cut, ThreeImages()), PackError) << "length " << length;
  }
  Bytes farLfanew = MakeProgram();
  Put32(farLfanew, 0x3C, 0xFFFFFFF0u);
  EXPECT_THROW(pack::ReadPe(farLfanew), PackError);
  Bytes noSignature = MakeProgram();
  noSignature[kPe] = 'X';
  EXPECT_THROW(pack::ReadPe(noSignature), PackError);
  Bytes badMagic = MakeProgram();
  Put16(badMagic, kOptional, 0x107);
  EXPECT_THROW(pack::ReadPe(badMagic), PackError);
  Bytes hugeSection = MakeProgram();
  Put32(hugeSection, kSections + 40 + 16, 0xFFFFFF00u);
  EXPECT_THROW(pack::ReadPe(hugeSection), PackError);
  Bytes manySections = MakeProgram();
  Put16(manySections, kPe + 4 + 2, 0xFFFF);
  EXPECT_THROW(pack::ReadPe(manySections), PackError);
}

TEST(PackImage, VerifyFindsEveryFaultOfAPackedFile) {
  pack::Images images = ThreeImages();
  const Bytes good = pack::Pack(MakeProgram(), images);
  const std::size_t entries = 0x450 + 16;

  Bytes moved = good;
  Put32(moved, entries + 8, 0x724);  // the 32-bit image no longer follows the VxD
  EXPECT_NE(ErrorOf([&] { pack::Verify(moved); }).find("32-bit"), std::string::npos);

  Bytes shorter = good;
  Put32(shorter, entries + 20, 0x5FF);  // the last image would end before the file does
  EXPECT_NE(ErrorOf([&] { pack::Verify(shorter); }).find("last image"), std::string::npos);

  Bytes longer = good;
  longer.push_back(0);
  EXPECT_NE(ErrorOf([&] { pack::Verify(longer); }), "");

  Bytes cut = good;
  cut.pop_back();
  EXPECT_NE(ErrorOf([&] { pack::Verify(cut); }).find("past the end"), std::string::npos);

  Bytes wrongChecksum = good;
  wrongChecksum[kChecksum] ^= 1;
  EXPECT_NE(ErrorOf([&] { pack::Verify(wrongChecksum); }).find("checksum"), std::string::npos);

  pack::Images other = images;
  other[kImageNt32] = MakeImage(0x33);
  EXPECT_NE(ErrorOf([&] { pack::Verify(good, &other); }).find("differs"), std::string::npos);

  pack::Images notDrivers = images;
  notDrivers[kImageNt64] = Bytes(0x80, 1);
  EXPECT_NE(
      ErrorOf([&] { pack::Verify(pack::Pack(MakeProgram(), notDrivers)); }).find("not a driver"),
      std::string::npos);
}

TEST(PackImage, SignedDriverImagesArePackedAndVerifiedButASignedProgramIsNot) {
  // A driver image's signature is its own: a certificate table after its last section.
  pack::Images images = ThreeImages();
  Bytes& signed32 = images[kImageNt32];
  Put32(signed32, kOptional + 96 + 8 * 4, static_cast<std::uint32_t>(signed32.size()));
  Put32(signed32, kOptional + 96 + 8 * 4 + 4, 0x20);
  signed32.resize(signed32.size() + 0x20, 0x30);
  Put32(signed32, kChecksum, pack::PeChecksum(signed32, kChecksum));
  Bytes packed = pack::Pack(MakeProgram(), images);
  EXPECT_NO_THROW(pack::Verify(packed, &images));
  // Its checksum is still checked.
  Bytes wrong = packed;
  wrong[pack::ReadTable(packed)[kImageNt32].offset + 0x300] ^= 1;
  Put32(wrong, kChecksum, pack::PeChecksum(wrong, kChecksum));
  EXPECT_NE(ErrorOf([&] { pack::Verify(wrong); }).find("32-bit driver image's checksum"),
            std::string::npos);
}

TEST(PackImage, ExtractGivesEachImageAsTheTableSaysAndRefusesATableOutsideTheFile) {
  pack::Images images = ThreeImages();
  Bytes packed = pack::Pack(MakeProgram(), images);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(pack::ExtractImage(packed, i), images[i]) << i;
  const std::size_t entries = 0x450 + 16;
  Bytes beyond = packed;
  Put32(beyond, entries + 16, static_cast<std::uint32_t>(packed.size()) - 0x10);
  EXPECT_NE(ErrorOf([&] { pack::ExtractImage(beyond, kImageNt64); }).find("past the end"),
            std::string::npos);
  Bytes huge = packed;
  Put32(huge, entries + 4, kMaxDriverImageSize + 1);
  EXPECT_NE(ErrorOf([&] { pack::ExtractImage(huge, kImageVxd); }).find("larger"),
            std::string::npos);
  EXPECT_THROW(pack::ExtractImage(packed, 3), PackError);
  EXPECT_THROW(pack::ExtractImage(MakeProgram(false), kImageVxd), PackError);
}

TEST(PackImage, ChecksumFoldsCarriesSkipsItsFieldAndAddsTheLength) {
  EXPECT_EQ(pack::PeChecksum(Bytes{1, 0, 2, 0}, 100), 3u + 4);
  EXPECT_EQ(pack::PeChecksum(Bytes{0xFF, 0xFF, 2, 0}, 100), 2u + 4);  // 0xFFFF + 2 folds to 2
  EXPECT_EQ(pack::PeChecksum(Bytes{1, 0, 7}, 100), 8u + 3);           // a last odd byte counts
  EXPECT_EQ(pack::PeChecksum(Bytes{1, 0, 9, 9, 9, 9, 2, 0}, 2), 3u + 8);
}

}  // namespace
