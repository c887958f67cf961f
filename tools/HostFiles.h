// File reading and whole-file replacement shared by the build-time host programs. Failures
// are raised as the calling tool's own error type, whose message the tool prints.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace hostfiles {

template <typename Error>
std::vector<std::uint8_t> ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw Error("cannot open " + path);
  std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                  std::istreambuf_iterator<char>());
  if (in.bad()) throw Error("cannot read " + path);
  return bytes;
}

// Writes beside the target (path + suffix) and renames over it, so the target is either old or
// complete; a target that exists keeps its permissions.
template <typename Error>
void ReplaceAll(const std::string& path, const std::vector<std::uint8_t>& bytes,
                const char* suffix) {
  std::string temporary = path + suffix;
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
      std::filesystem::remove(temporary);
      throw Error("cannot write " + temporary);
    }
  }
  std::error_code error;
  std::filesystem::file_status old = std::filesystem::status(path, error);
  if (std::filesystem::exists(old))
    std::filesystem::permissions(temporary, old.permissions(), error);
  std::filesystem::rename(temporary, path, error);
  if (error) {
    std::filesystem::remove(temporary);
    throw Error("cannot replace " + path + ": " + error.message());
  }
}

}  // namespace hostfiles
