// The image packer's logic: PE header checks, the table marker, packing and verification.
#include "tools/PackImage.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

#include "tools/Hex.h"

namespace pack {
namespace {

constexpr std::size_t kDosLfanewOffset = 0x3C;
constexpr std::size_t kCoffHeaderSize = 20;
constexpr std::size_t kSectionHeaderSize = 40;
constexpr std::uint16_t kMagicPe32 = 0x10B;
constexpr std::uint16_t kMagicPe32Plus = 0x20B;
constexpr std::uint32_t kSecurityDirectory = 4;

std::uint32_t Read16(ByteView b, std::size_t at) {
  return static_cast<std::uint32_t>(b[at]) | static_cast<std::uint32_t>(b[at + 1]) << 8;
}

std::uint32_t Read32(ByteView b, std::size_t at) {
  return Read16(b, at) | Read16(b, at + 2) << 16;
}

void Write32(Bytes& b, std::size_t at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

void Need(ByteView file, std::size_t end, const char* what) {
  if (end > file.size()) throw PackError(std::string("truncated PE file: ") + what);
}

using hostfiles::Hex;

const char* ImageName(int image) {
  static const char* const names[] = {"VxD image", "32-bit driver image", "64-bit driver image"};
  return names[image];
}

}  // namespace

PeInfo ReadPe(ByteView file, bool allowSignature) {
  Need(file, kDosLfanewOffset + 4, "DOS header");
  if (file[0] != 'M' || file[1] != 'Z') throw PackError("not a PE file: no MZ signature");
  std::size_t pe = Read32(file, kDosLfanewOffset);
  Need(file, pe + 4 + kCoffHeaderSize, "PE header");
  if (std::memcmp(&file[pe], "PE\0\0", 4) != 0) throw PackError("not a PE file: no PE signature");

  std::size_t coff = pe + 4;
  std::uint32_t sections = Read16(file, coff + 2);
  std::uint32_t symbolTable = Read32(file, coff + 8);
  std::uint32_t optionalSize = Read16(file, coff + 16);
  if (symbolTable != 0)
    throw PackError("the program carries a COFF symbol table at " + Hex(symbolTable) +
                    ": link it stripped (-s)");

  std::size_t optional = coff + kCoffHeaderSize;
  Need(file, optional + optionalSize, "optional header");
  if (optionalSize < 2) throw PackError("PE file without an optional header");
  std::uint32_t magic = Read16(file, optional);
  if (magic != kMagicPe32 && magic != kMagicPe32Plus)
    throw PackError("unknown optional header magic " + Hex(magic));
  std::size_t directories = optional + (magic == kMagicPe32 ? 96 : 112);
  std::size_t countOffset = directories - 4;
  if (countOffset + 4 > optional + optionalSize) throw PackError("optional header too short");

  PeInfo info;
  info.checksumOffset = static_cast<std::uint32_t>(optional + 64);
  info.checksum = Read32(file, info.checksumOffset);

  std::uint32_t count = Read32(file, countOffset);
  if (count > kSecurityDirectory) {
    std::size_t entry = directories + 8 * kSecurityDirectory;
    if (entry + 8 > optional + optionalSize) throw PackError("optional header too short");
    if (Read32(file, entry + 4) != 0 && !allowSignature)
      throw PackError("the file is signed; a signature would not survive packing");
  }

  std::size_t table = optional + optionalSize;
  if (sections == 0) throw PackError("PE file without sections");
  Need(file, table + sections * kSectionHeaderSize, "section table");
  std::uint64_t start = file.size();
  std::uint64_t end = 0;
  for (std::uint32_t i = 0; i < sections; ++i) {
    std::size_t header = table + i * kSectionHeaderSize;
    std::uint64_t rawSize = Read32(file, header + 16);
    std::uint64_t rawPointer = Read32(file, header + 20);
    if (rawSize == 0) continue;
    start = std::min(start, rawPointer);
    end = std::max(end, rawPointer + rawSize);
  }
  if (end == 0 || end > file.size())
    throw PackError("the sections end at " + Hex(end) + ", beyond the file's " + Hex(file.size()) +
                    " bytes");
  info.firstSectionStart = static_cast<std::uint32_t>(start);
  info.lastSectionEnd = static_cast<std::uint32_t>(end);
  return info;
}

std::uint32_t PeChecksum(ByteView file, std::uint32_t checksumOffset) {
  std::uint64_t sum = 0;
  for (std::size_t i = 0; i < file.size(); i += 2) {
    if (i >= checksumOffset && i < checksumOffset + 4) continue;
    std::uint32_t word = file[i];
    if (i + 1 < file.size()) word |= static_cast<std::uint32_t>(file[i + 1]) << 8;
    sum += word;
    sum = (sum & 0xFFFF) + (sum >> 16);
  }
  sum = (sum & 0xFFFF) + (sum >> 16);
  return static_cast<std::uint32_t>(sum + file.size());
}

std::size_t FindTable(ByteView file) {
  const auto* marker = reinterpret_cast<const std::uint8_t*>(kDriverImageMarker);
  auto first = std::search(file.begin(), file.end(), marker, marker + sizeof kDriverImageMarker);
  if (first == file.end()) throw PackError("the driver image table's marker is not in the file");
  auto second = std::search(first + 1, file.end(), marker, marker + sizeof kDriverImageMarker);
  if (second != file.end())
    throw PackError("the driver image table's marker stands more than once in the file (at " +
                    Hex(first - file.begin()) + " and " + Hex(second - file.begin()) + ")");
  std::size_t at = static_cast<std::size_t>(first - file.begin());
  if (at + sizeof(DriverImageTableLayout) > file.size())
    throw PackError("the driver image table is cut off at the end of the file");
  return at;
}

Bytes Pack(ByteView program, const Images& images) {
  PeInfo pe = ReadPe(program);
  if (pe.lastSectionEnd != program.size())
    throw PackError("the last section ends at " + Hex(pe.lastSectionEnd) + " but the file has " +
                    Hex(program.size()) + " bytes: already packed, or not stripped");
  std::size_t table = FindTable(program);
  if (table < pe.firstSectionStart)
    throw PackError("the driver image table's marker is outside the sections");

  std::uint64_t total = program.size();
  for (int i = 0; i < 3; ++i) {
    if (images[i].size() > kMaxDriverImageSize)
      throw PackError(std::string("the ") + ImageName(i) + " has " + Hex(images[i].size()) +
                      " bytes, more than the loader accepts (" + Hex(kMaxDriverImageSize) + ")");
    total += images[i].size();
  }
  if (total > 0xFFFFFFFFu) throw PackError("the packed file would exceed 4 GiB");

  Bytes packed(program.begin(), program.end());
  std::size_t entry = table + offsetof(DriverImageTableLayout, images);
  for (int i = 0; i < 3; ++i) {
    Write32(packed, entry + 8 * i, static_cast<std::uint32_t>(packed.size()));
    Write32(packed, entry + 8 * i + 4, static_cast<std::uint32_t>(images[i].size()));
    packed.insert(packed.end(), images[i].begin(), images[i].end());
  }
  Write32(packed, pe.checksumOffset, PeChecksum(packed, pe.checksumOffset));
  return packed;
}

std::array<DriverImageEntry, 3> ReadTable(ByteView file) {
  std::size_t entry = FindTable(file) + offsetof(DriverImageTableLayout, images);
  std::array<DriverImageEntry, 3> entries{};
  for (int i = 0; i < 3; ++i) {
    entries[i].offset = Read32(file, entry + 8 * i);
    entries[i].size = Read32(file, entry + 8 * i + 4);
  }
  return entries;
}

Bytes ExtractImage(ByteView file, int image) {
  if (image < 0 || image > 2) throw PackError("no image " + std::to_string(image));
  DriverImageEntry e = ReadTable(file)[image];
  if (e.size > kMaxDriverImageSize)
    throw PackError(std::string("the ") + ImageName(image) + " is larger than the loader accepts");
  if (std::uint64_t{e.offset} + e.size > file.size())
    throw PackError(std::string("the ") + ImageName(image) + " runs past the end of the file");
  return Bytes(file.begin() + e.offset, file.begin() + e.offset + e.size);
}

void Verify(ByteView file, const Images* expected) {
  PeInfo pe = ReadPe(file);
  auto entries = ReadTable(file);
  std::uint64_t next = pe.lastSectionEnd;
  for (int i = 0; i < 3; ++i) {
    const DriverImageEntry& e = entries[i];
    std::string name = ImageName(i);
    if (e.offset != next)
      throw PackError("the " + name + " starts at " + Hex(e.offset) + ", expected " + Hex(next));
    if (e.size > kMaxDriverImageSize)
      throw PackError("the " + name + " is larger than the loader accepts");
    next = std::uint64_t{e.offset} + e.size;
    if (next > file.size()) throw PackError("the " + name + " runs past the end of the file");
  }
  if (next != file.size())
    throw PackError("the last image ends at " + Hex(next) + " but the file has " +
                    Hex(file.size()) + " bytes");
  if (pe.checksum != PeChecksum(file, pe.checksumOffset))
    throw PackError("the packed file's checksum is wrong");

  for (int i = 0; i < 3; ++i) {
    ByteView image = file.subspan(entries[i].offset, entries[i].size);
    std::string name = ImageName(i);
    if (expected != nullptr &&
        !std::equal(image.begin(), image.end(), (*expected)[i].begin(), (*expected)[i].end()))
      throw PackError("the " + name + " differs from the image it was packed from");
    // The NT images are PE files themselves; a VxD is not.
    if (i == kImageVxd || image.empty()) continue;
    PeInfo inner;
    try {
      inner = ReadPe(image, true);
    } catch (const PackError& error) {
      throw PackError("the " + name + " is not a driver: " + error.what());
    }
    if (inner.checksum != PeChecksum(image, inner.checksumOffset))
      throw PackError("the " + name + "'s checksum is wrong");
  }
}

}  // namespace pack
