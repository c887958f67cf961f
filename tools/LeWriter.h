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

// LE object flags (IBM's LX description, which LE shares).
inline constexpr std::uint32_t kObjectReadable = 0x0001;
inline constexpr std::uint32_t kObjectWritable = 0x0002;
inline constexpr std::uint32_t kObjectExecutable = 0x0004;
inline constexpr std::uint32_t kObjectDiscardable = 0x0010;
inline constexpr std::uint32_t kObjectPreload = 0x0040;
inline constexpr std::uint32_t kObjectResident = 0x0200;
inline constexpr std::uint32_t kObjectBig = 0x2000;  // 32-bit code and data
inline constexpr std::uint32_t kPageSize = 4096;
inline constexpr std::uint32_t kDdbSize = 0x50;

// The VxD loader sorts every object into one of its object types (the DDK's ObjectInfo
// OI_ObjType: LCODE_OBJ 01h locked code, LDATA_OBJ 02h locked data, PCODE_OBJ 03h pageable
// code, PDATA_OBJ 04h, SCODE_OBJ 05h static code, SDATA_OBJ 06h, CODE16_OBJ 07h, ICODE_OBJ
// 11h initialisation code, IDATA_OBJ 12h, ICODE16_OBJ 13h), each a fixed combination of
// object flags, and an object of no type makes the whole VxD invalid. The DDK's tools make
// every object of a VxD a code object: its segment classes all end in CODE (the locked data
// segment _LDATA, which holds the descriptor block, lies in class LCODE beside the locked
// code), so each object is readable and executable, and the class's attributes give the rest:
// LCODE PRELOAD NONDISCARDABLE, PCODE NONDISCARDABLE, ICODE DISCARDABLE, SCODE RESIDENT.
// These four 32-bit types are the ones accepted here, matched on every flag but the writable
// one: that is a page protection, and writers of 9x drivers mark their data objects writable
// and executable alike. PDATA and the 16-bit and real-mode objects are refused rather than
// guessed at: this VxD needs none of them.
struct ObjectType {
  const char* name;
  std::uint32_t flags;  // without kObjectWritable
  bool locked;          // present in memory from the load to the unload
};
inline constexpr std::uint32_t kTypeBase = kObjectReadable | kObjectExecutable | kObjectBig;
inline constexpr ObjectType kObjectTypes[] = {
    {"LCODE", kTypeBase | kObjectPreload, true},
    {"PCODE", kTypeBase, false},
    {"ICODE", kTypeBase | kObjectDiscardable, false},
    {"SCODE", kTypeBase | kObjectResident, true},
};
// The object type of an object with these flags; null when the loader would refuse it.
inline const ObjectType* ObjectTypeOf(std::uint32_t flags) {
  for (const ObjectType& type : kObjectTypes)
    if ((flags & ~kObjectWritable) == type.flags) return &type;
  return nullptr;
}
// The flags of the one object this writer makes of the VxD's code and data: LCODE.
inline constexpr std::uint32_t kLockedCodeFlags = kTypeBase | kObjectPreload;

struct Object {
  std::string section;  // the ELF sections it was made of, as "name" or "name+name"
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

// Reads an ELF32 i386 relocatable object (nasm -f elf32, or GNU as --32). Its .text and .data
// become one locked code object (kLockedCodeFlags), .text first and .data from the next
// 16-byte boundary after it, as the DDK's tools lay out a VxD's locked code and locked data
// (an empty section takes no room; any other section that takes memory is an error); every
// R_386_32 relocation becomes a fixup, and its bytes in the object hold the target's offset
// within the object. `ddbSymbol` names the descriptor block, which must lie whole in the
// object. Raises LeError for anything else.
Module ReadElf(ByteView elf, const std::string& ddbSymbol);

// The LE file of `module`: DOS stub, LE header with the VxD fields (device ID and DDK version
// taken from the descriptor block), object table, object page table, resident name table,
// entry table, fixup page and record tables, data pages and non-resident name table. Raises
// LeError when the module cannot be written (an object of no type the loader accepts, names
// too long, a fixup outside its object, ...).
Bytes WriteLe(const Module& module);

}  // namespace le
