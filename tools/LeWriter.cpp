// The LE writer's logic: the ELF object's sections and relocations in, a VxD's LE file out.
//
// Where the format facts come from (public descriptions of the formats):
//  [LX]   IBM's "LX - Linear eXecutable Module Format Description" (June 1992): the header
//         fields, object table, name tables, entry table bundles and fixup records, which LE
//         shares with LX.
//  [RBIL] Ralf Brown's Interrupt List, tables 01609 to 01618 ("Linear Executable" header,
//         object table, object page map, entry table, fixup record): the LE-only parts, the
//         4-byte page map entry and "bytes on last page" at header offset 2Ch.
//  [OW]   The Open Watcom linker's public LE/VxD structures (exeflat.h): the Windows VxD
//         header fields at 0B8h..0C3h, the module flags of a dynamically loadable VxD
//         (00038000h) and the 24-bit big-endian page number of an LE page map entry.
//  [ELF]  The System V ABI and its Intel386 supplement: ELF32 headers, section and symbol
//         tables, REL relocations with the addend in the place, R_386_32 = S + A.
//  [DDK]  The Windows 95 DDK's VxD_Desc_Block: DDB_SDK_Version at +4, DDB_Req_Device_Number
//         at +6, DDB_Size 50h; the Windows 98 DDK's object types (ObjectInfo) and the VxD
//         segment classes (LeWriter.h, kObjectTypes).
#include "tools/LeWriter.h"

#include <algorithm>
#include <cstring>
#include <map>

#include "tools/Hex.h"

namespace le {
namespace {

std::uint32_t Read16(ByteView b, std::size_t at) {
  return static_cast<std::uint32_t>(b[at]) | static_cast<std::uint32_t>(b[at + 1]) << 8;
}
std::uint32_t Read32(ByteView b, std::size_t at) {
  return Read16(b, at) | Read16(b, at + 2) << 16;
}

void Put8(Bytes& b, std::uint32_t v) {
  b.push_back(static_cast<std::uint8_t>(v));
}
void Put16(Bytes& b, std::uint32_t v) {
  Put8(b, v);
  Put8(b, v >> 8);
}
void Put32(Bytes& b, std::uint32_t v) {
  Put16(b, v & 0xFFFF);
  Put16(b, v >> 16);
}
void Set32(Bytes& b, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}
void Set16(Bytes& b, std::size_t at, std::uint32_t v) {
  b[at] = static_cast<std::uint8_t>(v);
  b[at + 1] = static_cast<std::uint8_t>(v >> 8);
}

using hostfiles::Hex;

// ---- ELF [ELF] ----

constexpr std::uint32_t kShtSymtab = 2;
constexpr std::uint32_t kShtRela = 4;
constexpr std::uint32_t kShtNobits = 8;
constexpr std::uint32_t kShtRel = 9;
constexpr std::uint32_t kShfAlloc = 2;
constexpr std::uint32_t kShnUndef = 0;
constexpr std::uint32_t kShnLoReserve = 0xFF00;
constexpr std::uint32_t kR386None = 0;
constexpr std::uint32_t kR386_32 = 1;
constexpr std::uint32_t kR386Pc32 = 2;

// The sections the VxD is made of, in their order within its one object.
constexpr const char* kSections[] = {".text", ".data"};
constexpr std::uint32_t kSectionAlign = 16;

struct Section {
  std::string name;
  std::uint32_t type, flags, offset, size, link, info, entsize;
};

class ElfFile {
 public:
  explicit ElfFile(ByteView file) : file_(file) {
    Need(0, 52, "ELF header");
    static const std::uint8_t ident[] = {0x7F, 'E', 'L', 'F', 1, 1};  // 32-bit, little-endian
    if (!std::equal(ident, ident + sizeof ident, file.begin()))
      throw LeError("not a little-endian ELF32 file");
    if (Read16(file, 16) != 1) throw LeError("not a relocatable ELF object");
    if (Read16(file, 18) != 3) throw LeError("not an i386 ELF object");
    std::uint32_t shoff = Read32(file, 32);
    std::uint32_t shentsize = Read16(file, 46);
    std::uint32_t shnum = Read16(file, 48);
    std::uint32_t shstrndx = Read16(file, 50);
    if (shentsize != 40) throw LeError("unexpected ELF section header size " + Hex(shentsize));
    Need(shoff, std::uint64_t{shnum} * 40, "section headers");
    for (std::uint32_t i = 0; i < shnum; ++i) {
      std::size_t h = shoff + 40 * i;
      sections_.push_back({"", Read32(file, h + 4), Read32(file, h + 8), Read32(file, h + 16),
                           Read32(file, h + 20), Read32(file, h + 24), Read32(file, h + 28),
                           Read32(file, h + 36)});
      if (sections_.back().type != kShtNobits)
        Need(sections_.back().offset, sections_.back().size, "section contents");
    }
    if (shstrndx >= shnum) throw LeError("no ELF section name table");
    for (std::uint32_t i = 0; i < shnum; ++i)
      sections_[i].name = String(shstrndx, Read32(file, shoff + 40 * i));
  }

  const std::vector<Section>& sections() const { return sections_; }
  ByteView file() const { return file_; }

  // A zero-terminated string at `offset` of string table section `index`.
  std::string String(std::uint32_t index, std::uint32_t offset) const {
    if (index >= sections_.size()) throw LeError("ELF string table index out of range");
    const Section& s = sections_[index];
    if (offset >= s.size) throw LeError("ELF string offset out of range");
    std::size_t start = s.offset + offset;
    std::size_t end = s.offset + s.size;
    auto zero = std::find(file_.begin() + start, file_.begin() + end, 0);
    if (zero == file_.begin() + end) throw LeError("unterminated ELF string");
    return std::string(file_.begin() + start, zero);
  }

  void Need(std::uint64_t offset, std::uint64_t size, const char* what) const {
    if (offset + size > file_.size()) throw LeError(std::string("truncated ELF file: ") + what);
  }

 private:
  ByteView file_;
  std::vector<Section> sections_;
};

struct Symbol {
  std::string name;
  std::uint32_t value, section;
};

}  // namespace

Module ReadElf(ByteView elf, const std::string& ddbSymbol) {
  ElfFile file(elf);
  const auto& sections = file.sections();
  Module module;

  // Sections to places in the one object: .text at 0, .data at the next boundary after it.
  struct Place {
    std::string name;
    std::uint32_t base;
  };
  std::map<std::uint32_t, Place> placeOf;  // section index -> where its bytes lie
  Object object;
  object.flags = kLockedCodeFlags;
  for (const char* name : kSections) {
    for (std::uint32_t i = 0; i < sections.size(); ++i) {
      const Section& s = sections[i];
      if (s.name != name || (s.flags & kShfAlloc) == 0) continue;
      if (s.type == kShtNobits) {
        if (s.size != 0) throw LeError("section " + s.name + " holds no bytes");
        continue;
      }
      while (object.data.size() % kSectionAlign != 0) object.data.push_back(0);
      if (object.data.size() + std::uint64_t{s.size} > 0xFFFFFFFFu)
        throw LeError("section " + s.name + " is too large");
      placeOf[i] = {s.name, static_cast<std::uint32_t>(object.data.size())};
      object.data.insert(object.data.end(), elf.begin() + s.offset, elf.begin() + s.offset + s.size);
      object.section += (object.section.empty() ? "" : "+") + s.name;
    }
  }
  for (const Section& s : sections) {
    bool known = std::any_of(std::begin(kSections), std::end(kSections),
                             [&](const char* name) { return s.name == name; });
    if ((s.flags & kShfAlloc) != 0 && s.size != 0 && !known)
      throw LeError("section " + s.name + " has no place in the VxD (only .text and .data)");
  }
  if (object.data.empty()) throw LeError("the ELF object has no bytes in .text or .data");

  // The symbol table.
  std::vector<Symbol> symbols;
  std::uint32_t symtabIndex = 0;
  for (std::uint32_t i = 0; i < sections.size(); ++i)
    if (sections[i].type == kShtSymtab) symtabIndex = i;
  if (symtabIndex == 0) throw LeError("the ELF object has no symbol table");
  const Section& symtab = sections[symtabIndex];
  if (symtab.entsize != 16) throw LeError("unexpected ELF symbol size");
  for (std::uint32_t at = 0; at + 16 <= symtab.size; at += 16) {
    std::size_t s = symtab.offset + at;
    symbols.push_back(
        {file.String(symtab.link, Read32(elf, s)), Read32(elf, s + 4), Read16(elf, s + 14)});
  }

  // Relocations to fixups.
  for (const Section& rel : sections) {
    if (rel.type == kShtRela)
      throw LeError("RELA relocations are not supported (" + rel.name + ")");
    if (rel.type != kShtRel) continue;
    if (rel.link != symtabIndex) throw LeError(rel.name + " does not use the symbol table");
    auto place = placeOf.find(rel.info);
    if (place == placeOf.end()) {
      if (rel.info < sections.size() && (sections[rel.info].flags & kShfAlloc) == 0)
        continue;  // relocations of debugging information
      throw LeError(rel.name + " relocates a section that is not part of the VxD");
    }
    const std::uint32_t sectionSize = sections[rel.info].size;
    for (std::uint32_t at = 0; at + 8 <= rel.size; at += 8) {
      std::uint32_t offset = Read32(elf, rel.offset + at);
      std::uint32_t info = Read32(elf, rel.offset + at + 4);
      std::uint32_t type = info & 0xFF;
      std::uint32_t symbol = info >> 8;
      if (type == kR386None) continue;
      if (symbol >= symbols.size()) throw LeError("relocation symbol out of range");
      const Symbol& target = symbols[symbol];
      std::string where = place->second.name + "+" + Hex(offset);
      if (type == kR386Pc32)
        throw LeError("relative relocation at " + where + " to " + target.name +
                      ": a VxD of one module has nothing to import");
      if (type != kR386_32)
        throw LeError("relocation type " + std::to_string(type) + " at " + where +
                      " is not supported");
      if (target.section == kShnUndef || target.section >= kShnLoReserve)
        throw LeError("relocation at " + where + " to " + target.name +
                      ", which is not defined in .text or .data");
      auto targetPlace = placeOf.find(target.section);
      if (targetPlace == placeOf.end())
        throw LeError("relocation at " + where + " into a section that is not part of the VxD");
      if (std::uint64_t{offset} + 4 > sectionSize)
        throw LeError("relocation at " + where + " runs past the end of its section");
      // REL: the addend is in the place; the place then holds the target's offset.
      std::uint32_t placeOffset = place->second.base + offset;
      std::uint32_t targetOffset =
          targetPlace->second.base + target.value + Read32(object.data, placeOffset);
      Set32(object.data, placeOffset, targetOffset);
      module.fixups.push_back({0, placeOffset, 0, targetOffset});
    }
  }

  // The descriptor block.
  const Symbol* ddb = nullptr;
  for (const Symbol& s : symbols)
    if (s.name == ddbSymbol) ddb = &s;
  if (ddb == nullptr) throw LeError("no symbol " + ddbSymbol + " for the descriptor block");
  auto ddbPlace = placeOf.find(ddb->section);
  if (ddbPlace == placeOf.end()) throw LeError(ddbSymbol + " is not defined in .text or .data");
  module.ddbName = ddbSymbol;
  module.ddbObject = 0;
  module.ddbOffset = ddbPlace->second.base + ddb->value;
  module.objects.push_back(std::move(object));
  return module;
}

namespace {

// ---- LE [LX] [RBIL] [OW] ----

constexpr std::uint32_t kStubSize = 0x80;  // the LE header follows the stub here
constexpr std::uint32_t kHeaderSize = 0xC4;
constexpr std::uint32_t kObjectEntrySize = 24;
constexpr std::uint32_t kModuleDynamicVxd = 0x00038000;  // [OW]
constexpr std::uint16_t kCpu386 = 2;
constexpr std::uint16_t kOsWindows386 = 4;
// Entry table [LX]: a bundle is (count, type) and, for 32-bit entries, the object number
// (word) followed by count entries of flags (byte) and offset (dword); type 0 bundles only skip
// ordinals; a zero count ends the table.
constexpr std::uint8_t kBundleEmpty = 0;
constexpr std::uint8_t kBundle32 = 3;
constexpr std::uint8_t kEntryExported = 0x01;
// Fixup records [LX]: source type 07h is a 32-bit offset; target flags 00h an internal
// reference by object number (byte) and 16-bit target offset, | 10h for a 32-bit offset. The
// source offset is a signed word within the page: a fixup that straddles a page boundary is
// recorded in both pages, in the second with a negative offset.
constexpr std::uint8_t kSource32BitOffset = 0x07;
constexpr std::uint8_t kTargetInternal = 0x00;
constexpr std::uint8_t kTarget32BitOffset = 0x10;

// A DOS program that says what the file is and exits: what DOS runs when someone starts the
// file there. The MZ header's relocation table offset 40h (at 18h) and the offset of the new
// header (at 3Ch) mark a file with a new-style header after the stub [LX].
Bytes DosStub() {
  Bytes stub(kStubSize, 0);
  static const std::uint8_t code[] = {
      0x0E,              // push cs
      0x1F,              // pop ds
      0xBA, 0x0E, 0x00,  // mov dx, message
      0xB4, 0x09,        // mov ah, 9      (print a $-terminated string)
      0xCD, 0x21,        // int 21h
      0xB8, 0x01, 0x4C,  // mov ax, 4C01h  (exit with 1)
      0xCD, 0x21,        // int 21h
  };
  static const char message[] = "This is a Windows virtual device driver.\r\n$";
  static_assert(0x40 + sizeof code + sizeof message - 1 <= kStubSize);
  stub[0] = 'M';
  stub[1] = 'Z';
  Set16(stub, 0x02, kStubSize % 512);          // bytes in the last 512-byte page
  Set16(stub, 0x04, (kStubSize + 511) / 512);  // pages
  Set16(stub, 0x08, 4);                        // header paragraphs: 40h bytes
  Set16(stub, 0x0A, 0x10);                     // minimum extra paragraphs: room for the stack
  Set16(stub, 0x0C, 0xFFFF);                   // maximum extra paragraphs
  Set16(stub, 0x10, 0x0140);                   // SP, within the image and its extra paragraphs
  Set16(stub, 0x18, 0x40);                     // relocation table offset
  Set32(stub, 0x3C, kStubSize);                // the LE header
  std::memcpy(&stub[0x40], code, sizeof code);
  std::memcpy(&stub[0x40 + sizeof code], message, sizeof message - 1);
  return stub;
}

// A name table entry [LX]: length byte, the name (at most 127 characters), ordinal word.
void PutName(Bytes& b, const std::string& name, std::uint16_t ordinal) {
  if (name.empty() || name.size() > 127) throw LeError("name of bad length: \"" + name + "\"");
  Put8(b, static_cast<std::uint32_t>(name.size()));
  b.insert(b.end(), name.begin(), name.end());
  Put16(b, ordinal);
}

std::uint32_t Pages(std::size_t size) {
  return static_cast<std::uint32_t>((size + kPageSize - 1) / kPageSize);
}

}  // namespace

Bytes WriteLe(const Module& module) {
  const auto& objects = module.objects;
  if (objects.empty()) throw LeError("the module has no objects");
  if (objects.size() > 255) throw LeError("more objects than one-byte fixups can name");
  for (const Object& o : objects) {
    if (o.data.empty()) throw LeError("object " + o.section + " is empty");
    if (ObjectTypeOf(o.flags) == nullptr)
      throw LeError("object " + o.section + " has flags " + Hex(o.flags) +
                    ", of no object type the VxD loader accepts");
  }
  if (module.ddbObject >= objects.size() ||
      std::uint64_t{module.ddbOffset} + kDdbSize > objects[module.ddbObject].data.size())
    throw LeError("the descriptor block does not lie whole in its object");
  if (module.ddbOrdinal == 0) throw LeError("ordinal 0 names the module, not an entry");

  // Fixups grouped by the logical page (numbered from 0 across all objects) they patch.
  std::vector<std::uint32_t> firstPage;
  std::uint32_t pageCount = 0;
  for (const Object& o : objects) {
    firstPage.push_back(pageCount);
    pageCount += Pages(o.data.size());
  }
  std::vector<std::vector<Bytes>> records(pageCount);
  std::vector<Fixup> fixups = module.fixups;
  std::sort(fixups.begin(), fixups.end(), [](const Fixup& a, const Fixup& b) {
    return a.object != b.object ? a.object < b.object : a.offset < b.offset;
  });
  for (const Fixup& f : fixups) {
    if (f.object >= objects.size() || f.targetObject >= objects.size())
      throw LeError("fixup names an object that does not exist");
    if (std::uint64_t{f.offset} + 4 > objects[f.object].data.size())
      throw LeError("fixup at " + Hex(f.offset) + " runs past the end of its object");
    if (f.targetOffset > objects[f.targetObject].data.size())
      throw LeError("fixup target " + Hex(f.targetOffset) + " lies outside its object");
    std::uint32_t first = f.offset / kPageSize;
    std::uint32_t last = (f.offset + 3) / kPageSize;
    for (std::uint32_t page = first; page <= last; ++page) {
      Bytes r;
      bool wide = f.targetOffset > 0xFFFF;
      Put8(r, kSource32BitOffset);
      Put8(r, kTargetInternal | (wide ? kTarget32BitOffset : 0));
      Put16(r, static_cast<std::uint16_t>(static_cast<std::int32_t>(f.offset) -
                                          static_cast<std::int32_t>(page * kPageSize)));
      Put8(r, f.targetObject + 1);  // object numbers count from 1
      if (wide)
        Put32(r, f.targetOffset);
      else
        Put16(r, f.targetOffset);
      records[firstPage[f.object] + page].push_back(std::move(r));
    }
  }

  Bytes file(kStubSize + kHeaderSize, 0);
  const Bytes stub = DosStub();
  std::copy(stub.begin(), stub.end(), file.begin());
  const std::size_t h = kStubSize;
  auto header = [&](std::uint32_t at, std::uint32_t value) { Set32(file, h + at, value); };
  auto here = [&] { return static_cast<std::uint32_t>(file.size() - h); };  // header-relative

  // Object table and object page table: each object's pages are consecutive logical pages; an
  // LE page map entry is the page's 1-based number in the data pages, 24 bits big-endian,
  // then a flags byte (00h: a page in the file) [OW] [RBIL].
  header(0x40, here());
  header(0x44, static_cast<std::uint32_t>(objects.size()));
  for (std::size_t i = 0; i < objects.size(); ++i) {
    Put32(file, static_cast<std::uint32_t>(objects[i].data.size()));  // virtual size
    Put32(file, 0);  // relocation base: the loader places every object itself
    Put32(file, objects[i].flags);
    Put32(file, firstPage[i] + 1);  // first page map entry, from 1
    Put32(file, Pages(objects[i].data.size()));
    Put32(file, 0);  // reserved
  }
  header(0x48, here());
  for (std::uint32_t page = 1; page <= pageCount; ++page) {
    Put8(file, page >> 16);
    Put8(file, page >> 8);
    Put8(file, page);
    Put8(file, 0);
  }

  // Resident names: the module name, then the descriptor block's export.
  header(0x50, here());  // no resources: the resource table is empty, where the names start
  header(0x58, here());
  PutName(file, module.name, 0);
  PutName(file, module.ddbName, module.ddbOrdinal);
  Put8(file, 0);

  // Entry table: empty bundles up to the block's ordinal, then its 32-bit entry.
  header(0x5C, here());
  for (std::uint32_t skip = module.ddbOrdinal - 1u; skip > 0;) {
    std::uint32_t n = std::min<std::uint32_t>(skip, 255);
    Put8(file, n);
    Put8(file, kBundleEmpty);
    skip -= n;
  }
  Put8(file, 1);
  Put8(file, kBundle32);
  Put16(file, module.ddbObject + 1);
  Put8(file, kEntryExported);
  Put32(file, module.ddbOffset);
  Put8(file, 0);
  header(0x38, here() - Read32(file, h + 0x40));  // loader section: object table to here

  // Fixup page table: one offset into the record table per page, and one past the last.
  std::uint32_t fixupStart = here();
  header(0x68, fixupStart);
  std::uint32_t recordOffset = 0;
  for (std::uint32_t page = 0; page <= pageCount; ++page) {
    Put32(file, recordOffset);
    if (page < pageCount)
      for (const Bytes& r : records[page]) recordOffset += static_cast<std::uint32_t>(r.size());
  }
  header(0x6C, here());
  for (const auto& page : records)
    for (const Bytes& r : page) file.insert(file.end(), r.begin(), r.end());
  header(0x70, here());  // no imported modules
  header(0x78, here());  // no imported procedures
  header(0x30, here() - fixupStart);

  // Data pages, every object's last page padded to a whole page but the file's last page.
  while (file.size() % 16 != 0) Put8(file, 0);
  header(0x80, static_cast<std::uint32_t>(file.size()));  // file offset, not header-relative
  for (std::size_t i = 0; i < objects.size(); ++i) {
    file.insert(file.end(), objects[i].data.begin(), objects[i].data.end());
    if (i + 1 < objects.size())
      while ((file.size() - Read32(file, h + 0x80)) % kPageSize != 0) Put8(file, 0);
  }
  std::uint32_t lastPage = static_cast<std::uint32_t>(objects.back().data.size() % kPageSize);
  header(0x2C, lastPage == 0 ? kPageSize : lastPage);

  // Non-resident names: the description.
  std::uint32_t nonResident = static_cast<std::uint32_t>(file.size());
  PutName(file, module.description, 0);
  Put8(file, 0);
  header(0x88, nonResident);  // file offset
  header(0x8C, static_cast<std::uint32_t>(file.size()) - nonResident);

  // The rest of the header.
  const ByteView ddb(objects[module.ddbObject].data.data() + module.ddbOffset, kDdbSize);
  file[h + 0] = 'L';
  file[h + 1] = 'E';
  // byte order, word order and format level stay 0: little-endian, level 0
  Set16(file, h + 0x08, kCpu386);
  Set16(file, h + 0x0A, kOsWindows386);
  header(0x10, kModuleDynamicVxd);
  header(0x14, pageCount);
  header(0x28, kPageSize);
  // VxD fields [OW]: no version resource (0B8h, 0BCh); device ID and DDK version as the
  // descriptor block's DDB_Req_Device_Number and DDB_SDK_Version [DDK].
  Set16(file, h + 0xC0, Read16(ddb, 6));
  Set16(file, h + 0xC2, Read16(ddb, 4));
  return file;
}

}  // namespace le
