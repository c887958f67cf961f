// The VxD loader's rules over an LE file. Where the rules come from:
//  [LX]    IBM's "LX - Linear eXecutable Module Format Description" (June 1992): object flags,
//          entry table bundles, fixup record source and target flags.
//  [RBIL]  Ralf Brown's Interrupt List, tables 01609 to 01618: the LE header (CPU type 02h
//          for an 80386 or upwardly compatible processor, 03h 486, 04h Pentium; target
//          system 04h Windows 386; module type bits 15-17), the 4-byte LE page map entry with
//          its type byte (00h a page stored in the file) and "bytes on last page" at 2Ch.
//  [OW]    The Open Watcom linker's LE/VxD structures: module flags 00038000h for a
//          dynamically loadable VxD, the device ID and DDK version at 0C0h and 0C2h.
//  [DDK]   The Windows 95 and 98 DDKs: the loader finds the device descriptor block as entry
//          ordinal 1; the block's layout (DDB_SDK_Version +4, DDB_Req_Device_Number +6,
//          DDB_Name +0Ch, DDB_Control_Proc +18h, DDB_Size +40h, 50h bytes); the object types
//          (LeWriter.h). A VxD reaches the VMM's services through INT 20h dynamic links, not
//          through LE imports, so a VxD imports no module.
// A rule the descriptions leave open is taken the strict way: the check accepts only what
// this VxD needs and the descriptions name, so that a file that passes leaves the loader
// nothing to decide.
#include "tools/LeRules.h"

#include <cstdio>
#include <cstring>

#include "tools/Hex.h"

namespace le {
namespace {

using hostfiles::Hex;

constexpr std::uint32_t kModuleDynamicVxd = 0x00038000;  // [OW]
constexpr std::uint32_t kModuleNotLoadable = 0x00002000;  // [RBIL] bit 13
constexpr std::uint8_t kBundle32 = 3;                       // [LX] 32-bit entry bundle
constexpr std::uint32_t kPageInFile = 0x00;                 // [RBIL] page map entry type
constexpr std::uint32_t kSource32BitOffset = 0x07;          // [LX] source type
constexpr std::uint32_t kSourceFlagsMask = 0xF0;            // [LX] alias (10h), source list (20h)
constexpr std::uint32_t kTargetTypeMask = 0x03;             // [LX] 00h internal reference
constexpr std::uint32_t kTargetAdditive = 0x04;
constexpr std::uint32_t kTargetChained = 0x08;
constexpr std::uint32_t kTarget32BitOffset = 0x10;
constexpr std::uint32_t kTarget16BitObject = 0x40;
constexpr std::uint32_t kDdbControlProc = 0x18;

// A read outside the file ends the check with one fault.
struct OutOfFile {
  std::string what;
};

class Reader {
 public:
  explicit Reader(ByteView file) : file_(file) {}
  std::uint32_t U8(std::uint64_t at, const char* what) const {
    Need(at, 1, what);
    return file_[at];
  }
  std::uint32_t U16(std::uint64_t at, const char* what) const {
    return U8(at, what) | U8(at + 1, what) << 8;
  }
  std::uint32_t U32(std::uint64_t at, const char* what) const {
    return U16(at, what) | U16(at + 2, what) << 16;
  }
  void Need(std::uint64_t at, std::uint64_t size, const char* what) const {
    if (at + size > file_.size()) throw OutOfFile{what};
  }
  std::size_t size() const { return file_.size(); }

 private:
  ByteView file_;
};

struct LeObject {
  std::uint32_t size, flags, firstPage, pages;
  const ObjectType* type;
};

class Checker {
 public:
  explicit Checker(ByteView file) : r_(file) {}

  RulesReport Run() {
    try {
      Header();
      if (report_.faults.empty()) Body();
    } catch (const OutOfFile& e) {
      Fault(e.what + " lies beyond the end of the file");
    }
    return std::move(report_);
  }

 private:
  void Fault(const std::string& text) { report_.faults.push_back(text); }

  void Header() {
    if (r_.size() < 0x40 || r_.U16(0, "MZ header") != 0x5A4D) {
      Fault("no MZ header");
      return;
    }
    if (r_.U16(0x18, "MZ header") < 0x40) Fault("the MZ header does not mark a new-style header");
    h_ = r_.U32(0x3C, "MZ header");
    r_.Need(h_, 0xC4, "the LE header");
    if (r_.U16(h_, "") != 0x454C) {
      Fault("no LE signature at the new header (" + Hex(h_) + ")");
      return;
    }
    if (r_.U8(h_ + 2, "") != 0 || r_.U8(h_ + 3, "") != 0 || r_.U32(h_ + 4, "") != 0)
      Fault("not a little-endian module of format level 0");
    std::uint32_t cpu = r_.U16(h_ + 0x08, "");
    if (cpu < 2 || cpu > 4) Fault("CPU type " + Hex(cpu) + " is not an 80386-compatible one");
    std::uint32_t os = r_.U16(h_ + 0x0A, "");
    if (os != 4) Fault("target system " + Hex(os) + " is not Windows 386 (4)");
    std::uint32_t flags = r_.U32(h_ + 0x10, "");
    if ((flags & kModuleDynamicVxd) != kModuleDynamicVxd)
      Fault("module flags " + Hex(flags) + " do not mark a dynamically loadable VxD (0x38000)");
    if ((flags & kModuleNotLoadable) != 0) Fault("module flags mark the module not loadable");
    if (r_.U32(h_ + 0x28, "") != kPageSize)
      Fault("page size " + Hex(r_.U32(h_ + 0x28, "")) + " is not 0x1000");
    pageCount_ = r_.U32(h_ + 0x14, "");
    lastPage_ = r_.U32(h_ + 0x2C, "");
    if (lastPage_ == 0 || lastPage_ > kPageSize)
      Fault("bytes on the last page " + Hex(lastPage_) + " outside 1..0x1000");
    if (pageCount_ == 0 || pageCount_ > 256) Fault(std::to_string(pageCount_) + " pages");
    dataPages_ = r_.U32(h_ + 0x80, "");
    if (r_.U32(h_ + 0x74, "") != 0)
      Fault("the module imports from other modules (a VxD reaches the VMM through INT 20h)");
  }

  void Body() {
    Objects();
    if (!report_.faults.empty()) return;
    // The data pages: every page but the last whole, all within the file.
    r_.Need(dataPages_, std::uint64_t{pageCount_ - 1} * kPageSize + lastPage_, "the data pages");
    Names();
    PageMap();
    Fixups();
    EntryAndBlock();
    if (report_.faults.empty()) {
      char line[200];
      std::snprintf(line, sizeof line,
                    "%zu object%s (%s), %u pages, %u fixups; descriptor block \"%.8s\" at object "
                    "%u + %s, DDK version %u.%02u",
                    objects_.size(), objects_.size() == 1 ? "" : "s", TypeNames().c_str(),
                    pageCount_, fixupCount_, ddbName_, ddbObject_, Hex(ddbOffset_).c_str(),
                    ddkVersion_ >> 8, ddkVersion_ & 0xFF);
      report_.summary = line;
    }
  }

  std::string TypeNames() const {
    std::string names;
    for (const LeObject& o : objects_) names += (names.empty() ? "" : ", ") + std::string(o.type->name);
    return names;
  }

  void Objects() {
    std::uint32_t count = r_.U32(h_ + 0x44, "");
    if (count == 0 || count > 255) {
      Fault(std::to_string(count) + " objects");
      return;
    }
    std::uint32_t nextPage = 1;
    for (std::uint32_t i = 0; i < count; ++i) {
      std::uint64_t e = std::uint64_t{h_} + r_.U32(h_ + 0x40, "") + 24u * i;
      LeObject o{r_.U32(e, "the object table"), r_.U32(e + 8, "the object table"),
                 r_.U32(e + 12, "the object table"), r_.U32(e + 16, "the object table"), nullptr};
      std::string name = "object " + std::to_string(i + 1);
      o.type = ObjectTypeOf(o.flags);
      if (o.type == nullptr)
        Fault(name + " has flags " + Hex(o.flags) + ", of no object type the loader accepts" +
              ((o.flags & kObjectExecutable) == 0 ? " (it is not executable)" : ""));
      if (o.size == 0 || o.pages != (std::uint64_t{o.size} + kPageSize - 1) / kPageSize)
        Fault(name + "'s size " + Hex(o.size) + " and its " + std::to_string(o.pages) +
              " pages do not agree");
      else if (o.firstPage != nextPage)
        Fault(name + "'s pages do not follow the pages before it");
      nextPage = o.firstPage + o.pages;
      objects_.push_back(o);
    }
    if (report_.faults.empty() && nextPage - 1 != pageCount_)
      Fault("the objects hold " + std::to_string(nextPage - 1) + " pages, the header says " +
            std::to_string(pageCount_));
  }

  // The resident names start with the module's name (ordinal 0); the non-resident names,
  // which hold the description, lie whole in the file.
  void Names() {
    std::uint64_t resident = std::uint64_t{h_} + r_.U32(h_ + 0x58, "");
    std::uint32_t length = r_.U8(resident, "the resident name table");
    r_.Need(resident + 1, length + 2, "the resident name table");
    if (length == 0 || r_.U16(resident + 1 + length, "") != 0)
      Fault("the resident name table does not start with the module's name");
    r_.Need(r_.U32(h_ + 0x88, ""), r_.U32(h_ + 0x8C, ""), "the non-resident name table");
  }

  void PageMap() {
    for (std::uint32_t p = 0; p < pageCount_; ++p) {
      std::uint64_t m = std::uint64_t{h_} + r_.U32(h_ + 0x48, "") + 4u * p;
      std::uint32_t number = r_.U8(m, "the page map") << 16 | r_.U8(m + 1, "the page map") << 8 |
                             r_.U8(m + 2, "the page map");
      std::uint32_t type = r_.U8(m + 3, "the page map");
      if (type != kPageInFile)
        Fault("page " + std::to_string(p + 1) + " is of type " + Hex(type) +
              ", not a page stored in the file (0)");
      if (number != p + 1)
        Fault("page " + std::to_string(p + 1) + " maps to data page " + std::to_string(number));
    }
  }

  void Fixups() {
    std::uint64_t table = std::uint64_t{h_} + r_.U32(h_ + 0x68, "");
    std::uint64_t records = std::uint64_t{h_} + r_.U32(h_ + 0x6C, "");
    std::uint32_t logical = 0;
    for (std::uint32_t i = 0; i < objects_.size(); ++i) {
      for (std::uint32_t p = 0; p < objects_[i].pages; ++p, ++logical) {
        std::uint32_t first = r_.U32(table + 4u * logical, "the fixup page table");
        std::uint32_t last = r_.U32(table + 4u * (logical + 1), "the fixup page table");
        if (last < first) {
          Fault("the fixup page table runs backwards at page " + std::to_string(logical + 1));
          return;
        }
        for (std::uint64_t at = records + first; at < records + last;) {
          if (!Record(&at, records + last, i, p)) return;
        }
      }
    }
  }

  // One fixup record at *at, within its page's records, which end at `end`.
  bool Record(std::uint64_t* at, std::uint64_t end, std::uint32_t object, std::uint32_t page) {
    std::string where = "fixup at object " + std::to_string(object + 1) + " page " +
                        std::to_string(page + 1);
    std::uint32_t source = r_.U8(*at, "a fixup record");
    std::uint32_t target = r_.U8(*at + 1, "a fixup record");
    if ((source & 0x0F) != kSource32BitOffset || (source & kSourceFlagsMask) != 0) {
      Fault(where + ": source type " + Hex(source) + " is not a 32-bit offset (0x7)");
      return false;
    }
    if ((target & kTargetTypeMask) != 0 || (target & (kTargetAdditive | kTargetChained)) != 0 ||
        (target & ~(kTarget32BitOffset | kTarget16BitObject)) != 0) {
      Fault(where + ": target flags " + Hex(target) +
            " are not an internal reference without additive");
      return false;
    }
    auto offset = static_cast<std::int16_t>(r_.U16(*at + 2, "a fixup record"));
    *at += 4;
    std::uint32_t targetObject = 0;
    if (target & kTarget16BitObject) {
      targetObject = r_.U16(*at, "a fixup record");
      *at += 2;
    } else {
      targetObject = r_.U8(*at, "a fixup record");
      *at += 1;
    }
    std::uint32_t targetOffset = 0;
    if (target & kTarget32BitOffset) {
      targetOffset = r_.U32(*at, "a fixup record");
      *at += 4;
    } else {
      targetOffset = r_.U16(*at, "a fixup record");
      *at += 2;
    }
    if (*at > end) {
      Fault(where + ": the record runs past its page's records");
      return false;
    }
    if (offset <= -4 || offset >= static_cast<std::int32_t>(kPageSize)) {
      Fault(where + ": source offset " + std::to_string(offset) + " outside its page");
      return false;
    }
    if (targetObject == 0 || targetObject > objects_.size() ||
        targetOffset > objects_[targetObject - 1].size) {
      Fault(where + ": target " + Hex(targetOffset) + " in object " +
            std::to_string(targetObject) + " lies outside the objects");
      return false;
    }
    std::int64_t place = std::int64_t{page} * kPageSize + offset;
    if (place + 4 > objects_[object].size) {
      Fault(where + ": the place runs past the end of its object");
      return false;
    }
    if (offset >= 0) {  // a place straddling two pages is counted on its first page
      ++fixupCount_;
      places_.push_back({object + 1, static_cast<std::uint32_t>(place), targetObject});
    }
    return true;
  }

  void EntryAndBlock() {
    // Ordinal 1 is the first entry of the first bundle, which must be a 32-bit one.
    std::uint64_t e = std::uint64_t{h_} + r_.U32(h_ + 0x5C, "");
    std::uint32_t count = r_.U8(e, "the entry table");
    if (count == 0) {
      Fault("the entry table is empty: no entry ordinal 1 for the descriptor block");
      return;
    }
    std::uint32_t type = r_.U8(e + 1, "the entry table");
    if (type != kBundle32) {
      Fault("the first entry bundle is of type " + std::to_string(type) +
            ", not a 32-bit entry (3): ordinal 1 is not the descriptor block");
      return;
    }
    ddbObject_ = r_.U16(e + 2, "the entry table");
    ddbOffset_ = r_.U32(e + 5, "the entry table");
    if (ddbObject_ == 0 || ddbObject_ > objects_.size() ||
        std::uint64_t{ddbOffset_} + kDdbSize > objects_[ddbObject_ - 1].size) {
      Fault("entry ordinal 1 (object " + std::to_string(ddbObject_) + " + " + Hex(ddbOffset_) +
            ") does not hold a whole descriptor block");
      return;
    }
    const LeObject& o = objects_[ddbObject_ - 1];
    if (o.type != nullptr && !o.type->locked)
      Fault(std::string("the descriptor block lies in a ") + o.type->name +
            " object, not a locked one");

    // The block's bytes, from the file's data pages (every object's pages follow each other).
    std::uint64_t at = std::uint64_t{dataPages_} + std::uint64_t{o.firstPage - 1} * kPageSize +
                       ddbOffset_;
    auto u16 = [&](std::uint32_t field) { return r_.U16(at + field, "the descriptor block"); };
    auto u32 = [&](std::uint32_t field) { return r_.U32(at + field, "the descriptor block"); };
    r_.Need(at, kDdbSize, "the descriptor block");
    ddkVersion_ = u16(4);
    if (ddkVersion_ < kOldestDdkVersion || ddkVersion_ > kNewestDdkVersion)
      Fault("the descriptor block's DDK version " + Hex(ddkVersion_) + " is outside " +
            Hex(kOldestDdkVersion) + ".." + Hex(kNewestDdkVersion));
    if (r_.U16(h_ + 0xC2, "") != ddkVersion_)
      Fault("the header's DDK version " + Hex(r_.U16(h_ + 0xC2, "")) +
            " is not the descriptor block's");
    if (r_.U16(h_ + 0xC0, "") != u16(6))
      Fault("the header's device ID is not the descriptor block's");
    if (u32(0x40) != kDdbSize) Fault("the descriptor block's size is " + Hex(u32(0x40)));
    for (int i = 0; i < 8; ++i) {
      auto c = static_cast<char>(r_.U8(at + 0x0C + i, "the descriptor block"));
      ddbName_[i] = c;
      if (c < 0x20 || c > 0x7E || (c >= 'a' && c <= 'z') || (i == 0 && c == ' ')) {
        Fault("the descriptor block's name is not 8 upper-case characters, blank-padded");
        break;
      }
    }
    // The control procedure's address must be filled in by the loader, with an address in an
    // executable object.
    std::uint32_t controlPlace = ddbOffset_ + kDdbControlProc;
    const Place* control = nullptr;
    for (const Place& p : places_)
      if (p.object == ddbObject_ && p.offset == controlPlace) control = &p;
    if (control == nullptr)
      Fault("the descriptor block's control procedure address (DDB_Control_Proc) has no fixup");
    else if ((objects_[control->target - 1].flags & kObjectExecutable) == 0)
      Fault("the control procedure lies in an object that is not executable");
  }

  struct Place {
    std::uint32_t object, offset, target;  // objects from 1
  };

  Reader r_;
  RulesReport report_;
  std::uint32_t h_ = 0, pageCount_ = 0, lastPage_ = 0, dataPages_ = 0;
  std::vector<LeObject> objects_;
  std::vector<Place> places_;
  std::uint32_t fixupCount_ = 0;
  std::uint32_t ddbObject_ = 0, ddbOffset_ = 0, ddkVersion_ = 0;
  char ddbName_[8] = {};
};

}  // namespace

RulesReport CheckLoaderRules(ByteView file) {
  return Checker(file).Run();
}

}  // namespace le
