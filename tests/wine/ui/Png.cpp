// A minimal PNG writer: signature, IHDR, one IDAT of stored deflate blocks, IEND.
#include "tests/wine/ui/Png.h"

#include <algorithm>
#include <array>
#include <cstdio>

namespace {

std::uint32_t Crc32(const std::uint8_t* data, std::size_t size, std::uint32_t crc = 0) {
  static const std::array<std::uint32_t, 256> table = [] {
    std::array<std::uint32_t, 256> t{};
    for (std::uint32_t n = 0; n < 256; ++n) {
      std::uint32_t c = n;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      t[n] = c;
    }
    return t;
  }();
  crc = ~crc;
  for (std::size_t i = 0; i < size; ++i) crc = table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
  return ~crc;
}

void PutBigEndian(std::vector<std::uint8_t>& out, std::uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8)
    out.push_back(static_cast<std::uint8_t>(value >> shift));
}

void PutChunk(std::vector<std::uint8_t>& out, const char* type,
              const std::vector<std::uint8_t>& data) {
  PutBigEndian(out, static_cast<std::uint32_t>(data.size()));
  std::vector<std::uint8_t> typed(type, type + 4);
  typed.insert(typed.end(), data.begin(), data.end());
  out.insert(out.end(), typed.begin(), typed.end());
  PutBigEndian(out, Crc32(typed.data(), typed.size()));
}

}  // namespace

bool WritePng(const std::string& path, int width, int height,
              const std::vector<std::uint8_t>& rgb) {
  if (width <= 0 || height <= 0 ||
      rgb.size() != static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3) {
    return false;
  }
  // Each row starts with filter type 0 (none).
  std::vector<std::uint8_t> raw;
  const std::size_t row = static_cast<std::size_t>(width) * 3;
  for (int y = 0; y < height; ++y) {
    raw.push_back(0);
    raw.insert(raw.end(), rgb.begin() + static_cast<long>(y * row),
               rgb.begin() + static_cast<long>((y + 1) * row));
  }
  // zlib: header, stored blocks of at most 65535 bytes, Adler-32.
  std::vector<std::uint8_t> z = {0x78, 0x01};
  for (std::size_t at = 0; at < raw.size() || raw.empty();) {
    std::size_t size = std::min<std::size_t>(65535, raw.size() - at);
    bool last = at + size == raw.size();
    z.push_back(last ? 1 : 0);
    z.push_back(static_cast<std::uint8_t>(size & 0xFF));
    z.push_back(static_cast<std::uint8_t>(size >> 8));
    z.push_back(static_cast<std::uint8_t>(~size & 0xFF));
    z.push_back(static_cast<std::uint8_t>((~size >> 8) & 0xFF));
    z.insert(z.end(), raw.begin() + static_cast<long>(at),
             raw.begin() + static_cast<long>(at + size));
    at += size;
    if (last) break;
  }
  std::uint32_t a = 1, b = 0;
  for (std::uint8_t byte : raw) {
    a = (a + byte) % 65521;
    b = (b + a) % 65521;
  }
  PutBigEndian(z, (b << 16) | a);

  std::vector<std::uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  std::vector<std::uint8_t> header;
  PutBigEndian(header, static_cast<std::uint32_t>(width));
  PutBigEndian(header, static_cast<std::uint32_t>(height));
  header.insert(header.end(), {8, 2, 0, 0, 0});  // 8 bits, RGB, deflate, no filter, no interlace
  PutChunk(png, "IHDR", header);
  PutChunk(png, "IDAT", z);
  PutChunk(png, "IEND", {});

  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  bool ok = std::fwrite(png.data(), 1, png.size(), file) == png.size();
  return std::fclose(file) == 0 && ok;
}
