// The LE writer's logic: reads the VxD's assembled ELF object and writes it as a Windows 386
// LE file (a dynamically loadable VxD). Works on bytes in memory, so the unit tests run it
// without files.
#pragma once

#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

namespace le {

using Bytes = std::vector<std::uint8_t>;
using ByteView = std::span<const std::uint8_t>;

// Raised with a message that names what is wrong with the input.
class LeError : public std::runtime_error {
 public:
  explicit LeError(const std::string& message) : std::runtime_error(message) {}
};

// LE object flags.
inline constexpr std::uint32_t kObjectReadable = 0x0001;
inline constexpr std::uint32_t kObjectWritable = 0x0002;
inline constexpr std::uint32_t kObjectExecutable = 0x0004;
inline constexpr std::uint32_t kObjectPreload = 0x0040;
inline constexpr std::uint32_t kObjectBig = 0x2000;  // 32-bit code and data
inline constexpr std::uint32_t kPageSize = 4096;
inline constexpr std::uint32_t kDdbSize = 0x50;

struct Object {
  std::string section;  // the ELF section it was made of
  std::uint32_t flags = 0;
  Bytes data;  // its bytes; the object's size in memory is data.size()
};

// A 32-bit address the loader fills in: at `offset` of object `object` goes the linear
// address of `targetOffset` in object `targetObject` (object indices from 0).
struct Fixup {
  std::uint32_t object = 0;
  std::uint32_t offset = 0;
  std::uint32_t targetObject = 0;
  std::uint32_t targetOffset = 0;
};

struct Module {
  std::string name;         // the resident name table's first entry (ordinal 0)
  std::string description;  // the non-resident name table's first entry (ordinal 0)
  std::vector<Object> objects;
  std::vector<Fixup> fixups;
  std::string ddbName;  // the device descriptor block, exported under this name
  std::uint32_t ddbObject = 0;
  std::uint32_t ddbOffset = 0;
  std::uint16_t ddbOrdinal = 1;  // the VxD loader looks for the block at ordinal 1
};

// Reads an ELF32 i386 relocatable object (nasm -f elf32, or GNU as --32). Its .text becomes the
// code object and .data the data object (empty ones are left out; any other section that
// takes memory is an error); every R_386_32 relocation becomes a fixup, and its bytes in the
// object hold the target's offset within its object. `ddbSymbol` names the descriptor block,
// which must lie whole in one object. Raises LeError for anything else.
Module ReadElf(ByteView elf, const std::string& ddbSymbol);

// The LE file of `module`: DOS stub, LE header with the VxD fields (device ID and DDK version
// taken from the descriptor block), object table, object page table, resident name table,
// entry table, fixup page and record tables, data pages and non-resident name table. Raises
// LeError when the module cannot be written (names too long, a fixup outside its object, ...).
Bytes WriteLe(const Module& module);

}  // namespace le
