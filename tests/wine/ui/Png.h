// A minimal PNG writer for the Wine tests' screenshots: 8-bit RGB, stored (uncompressed)
// deflate blocks, so that nothing beyond the standard library is needed.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// `rgb` holds height rows of width pixels, three bytes each (red, green, blue), top row first.
// Returns false when the file cannot be written.
bool WritePng(const std::string& path, int width, int height, const std::vector<std::uint8_t>& rgb);
