// The image packer's logic: appends the three driver images after the last section of a linked
// program and patches the program's driver image table to match; reads the table back to
// check a packed file. Works on bytes in memory, so the unit tests run it without files.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "hw/DeviceDriver.h"

namespace pack {

using Bytes = std::vector<std::uint8_t>;
using ByteView = std::span<const std::uint8_t>;

// Raised with a message that names what is wrong with the input.
class PackError : public std::runtime_error {
 public:
  explicit PackError(const std::string& message) : std::runtime_error(message) {}
};

// What the packer needs to know of a PE file.
struct PeInfo {
  std::uint32_t firstSectionStart = 0;  // file offset of the first section's raw data
  std::uint32_t lastSectionEnd = 0;     // file offset just past the last section's raw data
  std::uint32_t checksumOffset = 0;     // file offset of the optional header's CheckSum
  std::uint32_t checksum = 0;           // the value stored there
};

// Parses the headers; raises PackError for anything that is not a complete PE file, that still
// carries a COFF symbol table (the program must be linked stripped) or, unless
// `allowSignature`, a signature (the program's would not survive packing; a driver image's is
// its own and travels with it).
PeInfo ReadPe(ByteView file, bool allowSignature = false);

// The PE checksum of `file` (the algorithm of the image help library: 16-bit one's-complement
// style sum of the file without its CheckSum field, plus the file length).
std::uint32_t PeChecksum(ByteView file, std::uint32_t checksumOffset);

// File offset of the one driver image table marker; raises PackError when there is none or
// more than one (a copy of the marker elsewhere would make the table ambiguous).
std::size_t FindTable(ByteView file);

using Images = std::array<Bytes, 3>;  // in DriverImage order: VxD, NT 32-bit, NT 64-bit

// The packed program: `program` with `images` appended back to back, its table patched and its
// checksum brought up to date. Raises PackError when the program does not end with its last
// section (already packed, or something else appended) or an image is too large.
Bytes Pack(ByteView program, const Images& images);

// The table as it stands in `file`.
std::array<DriverImageEntry, 3> ReadTable(ByteView file);

// The bytes of image `image` (a DriverImage) of a packed file, as its table gives them. Raises
// PackError when the table points outside the file or the image is larger than the loader
// accepts.
Bytes ExtractImage(ByteView file, int image);

// Checks a packed file: the images stand back to back from the last section's end in table
// order, the last one ending at the end of the file, none larger than the loader accepts, the
// checksum matches, and each non-empty NT image is itself a PE file with a correct checksum
// (signed or not).
// When `expected` is given, the images must also equal those bytes. Raises PackError naming the
// first fault.
void Verify(ByteView file, const Images* expected = nullptr);

}  // namespace pack
