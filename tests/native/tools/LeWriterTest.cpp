// Tests of the LE writer over small ELF objects built in memory, read back with a small LE
// reader of the test's own.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>

#include "tools/LeRules.h"
#include "tools/LeWriter.h"

namespace {

using le::Bytes;
using le::ByteView;
using le::LeError;

std::uint32_t Get16(const Bytes& b, std::size_t at) {
  return b.at(at) | b.at(at + 1) << 8;
}
std::uint32_t Get32(const Bytes& b, std::size_t at) {
  return Get16(b, at) | Get16(b, at + 2) << 16;
}
void Put16(Bytes& b, std::size_t at, std::uint32_t v) {
  b[at] = static_cast<std::uint8_t>(v);
  b[at + 1] = static_cast<std::uint8_t>(v >> 8);
}
void Put32(Bytes& b, std::size_t at, std::uint32_t v) {
  Put16(b, at, v & 0xFFFF);
  Put16(b, at + 2, v >> 16);
}
void Append(Bytes& b, const Bytes& more) {
  b.insert(b.end(), more.begin(), more.end());
}

struct Rel {
  std::string section;  // ".text" or ".data"
  std::uint32_t offset, symbol, type;
};

// An ELF32 i386 relocatable object: sections 1 .text, 2 .data, 3 .bss (size `bss`), then the
// symbol table (0 null, 1 .text, 2 .data section symbols, 3 "DDB" in .data at `ddbAt`, 4
// "ext" undefined), its strings, REL sections and the section names.
Bytes MakeElf(const Bytes& text, const Bytes& data, const std::vector<Rel>& rels,
              std::uint32_t ddbAt = 0, std::uint32_t bss = 0, std::uint16_t machine = 3) {
  Bytes out(52, 0);
  const std::uint8_t ident[] = {0x7F, 'E', 'L', 'F', 1, 1, 1};
  std::memcpy(out.data(), ident, sizeof ident);
  Put16(out, 16, 1);
  Put16(out, 18, machine);
  struct Sh {
    std::string name;
    std::uint32_t type, flags, offset, size, link, info, entsize;
  };
  std::vector<Sh> sh = {{"", 0, 0, 0, 0, 0, 0, 0}};
  auto add = [&](const std::string& name, std::uint32_t type, std::uint32_t flags,
                 const Bytes& bytes, std::uint32_t link, std::uint32_t info,
                 std::uint32_t entsize) {
    sh.push_back({name, type, flags, static_cast<std::uint32_t>(out.size()),
                  static_cast<std::uint32_t>(bytes.size()), link, info, entsize});
    Append(out, bytes);
  };
  add(".text", 1, 6, text, 0, 0, 0);
  add(".data", 1, 3, data, 0, 0, 0);
  sh.push_back({".bss", 8, 3, static_cast<std::uint32_t>(out.size()), bss, 0, 0, 0});
  Bytes strings = {0};
  auto name = [&](const char* s) {
    std::uint32_t at = static_cast<std::uint32_t>(strings.size());
    strings.insert(strings.end(), s, s + std::strlen(s) + 1);
    return at;
  };
  Bytes symbols(5 * 16, 0);
  Put16(symbols, 16 + 14, 1);
  Put16(symbols, 32 + 14, 2);
  Put32(symbols, 48, name("DDB"));
  Put32(symbols, 48 + 4, ddbAt);
  Put16(symbols, 48 + 14, 2);
  Put32(symbols, 64, name("ext"));
  add(".symtab", 2, 0, symbols, 5, 3, 16);  // its strings are section 5
  add(".strtab", 3, 0, strings, 0, 0, 0);
  for (const char* target : {".text", ".data"}) {
    Bytes entries;
    for (const Rel& r : rels)
      if (r.section == target) {
        Bytes e(8, 0);
        Put32(e, 0, r.offset);
        Put32(e, 4, r.symbol << 8 | r.type);
        Append(entries, e);
      }
    if (!entries.empty())
      add(std::string(".rel") + target, 9, 0, entries, 4, target == std::string(".text") ? 1 : 2,
          8);
  }
  Bytes names = {0};
  std::vector<std::uint32_t> nameAt;
  for (const Sh& s : sh) {
    nameAt.push_back(static_cast<std::uint32_t>(names.size()));
    names.insert(names.end(), s.name.begin(), s.name.end());
    names.push_back(0);
  }
  sh.push_back({".shstrtab", 3, 0, static_cast<std::uint32_t>(out.size()),
                static_cast<std::uint32_t>(names.size() + 10), 0, 0, 0});
  nameAt.push_back(static_cast<std::uint32_t>(names.size()));
  const char shstr[] = ".shstrtab";
  names.insert(names.end(), shstr, shstr + sizeof shstr);
  Append(out, names);
  Put32(out, 32, static_cast<std::uint32_t>(out.size()));
  Put16(out, 46, 40);
  Put16(out, 48, static_cast<std::uint32_t>(sh.size()));
  Put16(out, 50, static_cast<std::uint32_t>(sh.size() - 1));
  for (std::size_t i = 0; i < sh.size(); ++i) {
    Bytes h(40, 0);
    Put32(h, 0, nameAt[i]);
    Put32(h, 4, sh[i].type);
    Put32(h, 8, sh[i].flags);
    Put32(h, 16, sh[i].offset);
    Put32(h, 20, i + 1 == sh.size() ? static_cast<std::uint32_t>(names.size()) : sh[i].size);
    Put32(h, 24, sh[i].link);
    Put32(h, 28, sh[i].info);
    Put32(h, 36, sh[i].entsize);
    Append(out, h);
  }
  return out;
}

Bytes Ddb(std::uint16_t version = 0x0400, std::uint16_t deviceId = 0) {
  Bytes d(le::kDdbSize, 0);
  Put16(d, 4, version);
  Put16(d, 6, deviceId);
  return d;
}

// What the test reads back out of an LE file.
struct LeFixup {
  std::uint32_t page;  // logical page from 1
  std::int32_t source;
  std::uint32_t object, target;
  bool wide;
  bool operator==(const LeFixup&) const = default;
};
struct LeFile {
  std::uint32_t header, pages, lastPage, dataPages;
  std::vector<std::uint32_t> objectSize, objectFlags, objectFirstPage, pageNumbers;
  std::vector<LeFixup> fixups;
  std::vector<std::pair<std::uint32_t, std::uint32_t>> entries;  // ordinal -> offset (32-bit)
  std::uint32_t entryObject = 0;
  std::string residentNames, nonResidentNames;
};

std::string Names(const Bytes& f, std::size_t at) {
  std::string all;
  while (f.at(at) != 0) {
    std::size_t n = f[at];
    all += std::string(f.begin() + at + 1, f.begin() + at + 1 + n) + "@" +
           std::to_string(Get16(f, at + 1 + n)) + " ";
    at += n + 3;
  }
  return all;
}

LeFile ReadLe(const Bytes& f) {
  LeFile r;
  r.header = Get32(f, 0x3C);
  std::uint32_t h = r.header;
  EXPECT_EQ(Get16(f, 0), 0x5A4Du);
  EXPECT_EQ(Get16(f, h), 0x454Cu);
  r.pages = Get32(f, h + 0x14);
  r.lastPage = Get32(f, h + 0x2C);
  r.dataPages = Get32(f, h + 0x80);
  for (std::uint32_t i = 0; i < Get32(f, h + 0x44); ++i) {
    std::size_t e = h + Get32(f, h + 0x40) + 24 * i;
    r.objectSize.push_back(Get32(f, e));
    r.objectFlags.push_back(Get32(f, e + 8));
    r.objectFirstPage.push_back(Get32(f, e + 12));
  }
  for (std::uint32_t p = 0; p < r.pages; ++p) {
    std::size_t m = h + Get32(f, h + 0x48) + 4 * p;
    r.pageNumbers.push_back(f.at(m) << 16 | f.at(m + 1) << 8 | f.at(m + 2));
  }
  for (std::uint32_t p = 0; p < r.pages; ++p) {
    std::size_t at = h + Get32(f, h + 0x6C) + Get32(f, h + Get32(f, h + 0x68) + 4 * p);
    std::size_t end = h + Get32(f, h + 0x6C) + Get32(f, h + Get32(f, h + 0x68) + 4 * (p + 1));
    while (at < end) {
      EXPECT_EQ(f.at(at), 0x07);
      bool wide = (f.at(at + 1) & 0x10) != 0;
      LeFixup x{p + 1, static_cast<std::int16_t>(Get16(f, at + 2)), f.at(at + 4),
                wide ? Get32(f, at + 5) : Get16(f, at + 5), wide};
      r.fixups.push_back(x);
      at += wide ? 9 : 7;
    }
  }
  std::size_t e = h + Get32(f, h + 0x5C);
  std::uint32_t ordinal = 1;
  while (f.at(e) != 0) {
    std::uint32_t count = f[e];
    if (f.at(e + 1) == 0) {
      ordinal += count;
      e += 2;
      continue;
    }
    EXPECT_EQ(f.at(e + 1), 3);
    r.entryObject = Get16(f, e + 2);
    e += 4;
    for (std::uint32_t k = 0; k < count; ++k, e += 5)
      r.entries.push_back({ordinal++, Get32(f, e + 1)});
  }
  r.residentNames = Names(f, h + Get32(f, h + 0x58));
  r.nonResidentNames = Names(f, Get32(f, h + 0x88));
  return r;
}

template <typename F>
std::string ErrorOf(F&& f) {
  try {
    f();
  } catch (const LeError& e) {
    return e.what();
  }
  return "";
}

le::Module Named(le::Module m) {
  m.name = "CPUZ";
  m.description = "test module";
  if (m.ddbName.empty()) m.ddbName = "DDB";
  return m;
}

TEST(LeWriter, ElfSectionsBecomeOneLockedCodeObjectAndAbsoluteAddressesFixups) {
  Bytes text = {0xB8, 0, 0, 0, 0, 0xC3, 0x90, 0x90};  // mov eax, [data+4]; ret
  Put32(text, 1, 4);                                  // the addend stands in the place
  Bytes data = Ddb();
  Put32(data, 0x18, 5);  // DDB_Control_Proc: .text + 5
  le::Module m =
      le::ReadElf(MakeElf(text, data, {{".data", 0x18, 1, 1}, {".text", 1, 2, 1}}, 0), "DDB");
  // .data follows .text from the next 16-byte boundary, in the same LCODE object.
  ASSERT_EQ(m.objects.size(), 1u);
  EXPECT_EQ(m.objects[0].section, ".text+.data");
  EXPECT_EQ(m.objects[0].flags, 0x2045u);
  EXPECT_STREQ(le::ObjectTypeOf(m.objects[0].flags)->name, "LCODE");
  EXPECT_EQ(m.objects[0].data.size(), 16u + le::kDdbSize);
  EXPECT_EQ(m.ddbObject, 0u);
  EXPECT_EQ(m.ddbOffset, 16u);
  ASSERT_EQ(m.fixups.size(), 2u);
  EXPECT_EQ(m.fixups[0].offset, 1u);
  EXPECT_EQ(m.fixups[0].targetOffset, 16u + 4);
  EXPECT_EQ(m.fixups[1].offset, 16u + 0x18);
  EXPECT_EQ(m.fixups[1].targetOffset, 5u);

  LeFile f = ReadLe(le::WriteLe(Named(m)));
  EXPECT_EQ(f.pageNumbers, (std::vector<std::uint32_t>{1}));
  EXPECT_EQ(f.objectFlags, (std::vector<std::uint32_t>{0x2045}));
  EXPECT_EQ(f.lastPage, 16u + le::kDdbSize);
  EXPECT_EQ(f.fixups, (std::vector<LeFixup>{{1, 1, 1, 20, false}, {1, 0x28, 1, 5, false}}));
  EXPECT_EQ(f.entries, (std::vector<std::pair<std::uint32_t, std::uint32_t>>{{1, 16}}));
  EXPECT_EQ(f.entryObject, 1u);
  EXPECT_EQ(f.residentNames, "CPUZ@0 DDB@1 ");
  EXPECT_EQ(f.nonResidentNames, "test module@0 ");
}

TEST(LeWriter, EveryElfFaultIsNamed) {
  Bytes text = {0xC3, 0, 0, 0, 0};
  Bytes data = Ddb();
  struct Case {
    const char* what;
    Bytes elf;
    const char* symbol;
    const char* expected;
  } cases[] = {
      {"relative relocation", MakeElf(text, data, {{".text", 1, 4, 2}}), "DDB", "import"},
      {"unknown relocation", MakeElf(text, data, {{".text", 1, 1, 10}}), "DDB", "type 10"},
      {"undefined symbol", MakeElf(text, data, {{".text", 1, 4, 1}}), "DDB", "ext"},
      {"past the section", MakeElf(text, data, {{".text", 2, 1, 1}}), "DDB", "past the end"},
      {"uninitialised data", MakeElf(text, data, {}, 0, 16), "DDB", ".bss"},
      {"no block", MakeElf(text, data, {}), "CPUZ_DDB", "no symbol CPUZ_DDB"},
      {"another machine", MakeElf(text, data, {}, 0, 0, 62), "DDB", "i386"},
  };
  for (const Case& c : cases)
    EXPECT_NE(ErrorOf([&] { le::ReadElf(c.elf, c.symbol); }).find(c.expected), std::string::npos)
        << c.what << ": " << ErrorOf([&] { le::ReadElf(c.elf, c.symbol); });

  // Every truncation is an error, never a read past the end.
  Bytes whole = MakeElf(text, data, {{".data", 0x18, 1, 1}});
  ASSERT_NO_THROW(le::ReadElf(whole, "DDB"));
  for (std::size_t length = 0; length < whole.size(); ++length)
    EXPECT_THROW(le::ReadElf(Bytes(whole.begin(), whole.begin() + length), "DDB"), LeError)
        << "length " << length;
}

TEST(LeWriter, FixupsStraddlingPagesAndFarTargetsAreWrittenAsTheLoaderNeedsThem) {
  le::Module m;
  m.objects.push_back({".text", 0x2045, Bytes(0x2100, 0x90)});  // three pages
  m.objects.push_back({".data", 0x2047, Bytes(0x10000 + le::kDdbSize, 0)});  // LCODE, writable
  m.ddbObject = 1;
  m.ddbOffset = 0x10000;
  Put16(m.objects[1].data, 0x10004, 0x0400);
  Put16(m.objects[1].data, 0x10006, 0x1234);
  m.fixups = {{0, 0x0FFE, 1, 0x10000},  // straddles pages 1 and 2, target beyond 16 bits
              {0, 0x2000, 0, 0x20},
              {1, 0x10018, 0, 0x10}};
  m.ddbOrdinal = 3;
  Bytes file = le::WriteLe(Named(m));
  LeFile f = ReadLe(file);
  EXPECT_EQ(f.pages, 3u + 17u);
  EXPECT_EQ(f.objectFirstPage, (std::vector<std::uint32_t>{1, 4}));
  for (std::uint32_t p = 0; p < f.pages; ++p) EXPECT_EQ(f.pageNumbers[p], p + 1);
  EXPECT_EQ(f.fixups, (std::vector<LeFixup>{{1, 0x0FFE, 2, 0x10000, true},
                                            {2, -2, 2, 0x10000, true},
                                            {3, 0, 1, 0x20, false},
                                            {20, 0x18, 1, 0x10, false}}));
  // Ordinals 1 and 2 skipped by an empty bundle.
  EXPECT_EQ(f.entries, (std::vector<std::pair<std::uint32_t, std::uint32_t>>{{3, 0x10000}}));
  // The data object's pages start on a page boundary after the code object's three pages; the
  // file ends with the last page's bytes, then the non-resident names.
  EXPECT_EQ(file.at(f.dataPages + 3 * le::kPageSize + 0x10004), 0x00);
  EXPECT_EQ(file.at(f.dataPages + 3 * le::kPageSize + 0x10005), 0x04);
  EXPECT_EQ(f.lastPage, le::kDdbSize);
  EXPECT_EQ(Get32(file, f.header + 0x88), f.dataPages + 19 * le::kPageSize + le::kDdbSize);
  // The VxD header fields, from the block.
  EXPECT_EQ(Get16(file, f.header + 0xC0), 0x1234u);
  EXPECT_EQ(Get16(file, f.header + 0xC2), 0x0400u);
  EXPECT_EQ(Get32(file, f.header + 0x10), 0x38000u);
  EXPECT_EQ(Get16(file, f.header + 0x0A), 4u);
}

TEST(LeWriter, ModulesThatCannotBeWrittenAreRefused) {
  le::Module good = Named({});
  good.objects.push_back({".text+.data", 0x2045, Ddb()});
  ASSERT_NO_THROW(le::WriteLe(good));
  le::Module m = good;
  m.ddbOffset = 1;
  EXPECT_NE(ErrorOf([&] { le::WriteLe(m); }).find("whole"), std::string::npos);
  m = good;
  m.name = std::string(128, 'N');
  EXPECT_NE(ErrorOf([&] { le::WriteLe(m); }).find("length"), std::string::npos);
  m = good;
  m.fixups = {{0, le::kDdbSize - 3, 0, 0}};
  EXPECT_NE(ErrorOf([&] { le::WriteLe(m); }).find("past the end"), std::string::npos);
  m = good;
  m.fixups = {{0, 0, 0, le::kDdbSize + 1}};
  EXPECT_NE(ErrorOf([&] { le::WriteLe(m); }).find("outside"), std::string::npos);
  m = good;
  m.ddbOrdinal = 0;
  EXPECT_NE(ErrorOf([&] { le::WriteLe(m); }).find("ordinal 0"), std::string::npos);
}

// Which object flags are of a type the VxD loader accepts; the writer writes those and refuses
// every other.
TEST(LeWriter, OnlyObjectsOfAnAcceptedTypeAreWritten) {
  struct Case {
    std::uint32_t flags;
    const char* type;  // null: refused
  } cases[] = {
      {0x2045, "LCODE"}, {0x2047, "LCODE"},  // readable, executable, preloaded, 32-bit
      {0x2005, "PCODE"}, {0x2015, "ICODE"}, {0x2205, "SCODE"},
      {0x2043, nullptr},  // the old data object: not executable
      {0x2041, nullptr}, {0x2044, nullptr},  // not readable
      {0x0045, nullptr},                     // 16-bit
      {0x2055, nullptr},                     // preloaded and discardable: no such class
      {0x2065, nullptr},                     // shared
      {0x20C5, nullptr},                     // invalid pages
      {0xA045, nullptr},                     // I/O privilege
  };
  for (const Case& c : cases) {
    const le::ObjectType* type = le::ObjectTypeOf(c.flags);
    EXPECT_EQ(type == nullptr ? std::string("none") : type->name,
              c.type == nullptr ? std::string("none") : c.type)
        << std::hex << c.flags;
    le::Module m = Named({});
    m.objects.push_back({".data", c.flags, Ddb()});
    std::string error = ErrorOf([&] { le::WriteLe(m); });
    if (c.type == nullptr)
      EXPECT_NE(error.find("of no object type the VxD loader accepts"), std::string::npos)
          << std::hex << c.flags << ": " << error;
    else
      EXPECT_EQ(error, "") << std::hex << c.flags;
  }
}

// The loader's rules over a file the writer made of an assembled VxD, and over that file
// broken one way at a time: each fault is named, and no file, however cut short, is read past
// its end.
TEST(LeRules, TheWrittenVxdKeepsEveryRuleAndEachBreakIsNamed) {
  Bytes text = {0xF8, 0xC3};  // clc; ret
  Bytes data = Ddb();
  std::memcpy(&data[0x0C], "CPUZ    ", 8);
  Put32(data, 0x40, le::kDdbSize);
  le::Module m = Named(le::ReadElf(MakeElf(text, data, {{".data", 0x18, 1, 1}}), "DDB"));
  const Bytes good = le::WriteLe(m);
  le::RulesReport report = le::CheckLoaderRules(good);
  EXPECT_TRUE(report.faults.empty()) << report.faults.front();
  EXPECT_EQ(report.summary,
            "1 object (LCODE), 1 pages, 1 fixups; descriptor block \"CPUZ    \" at object 1 + "
            "0x10, DDK version 4.00");

  const std::uint32_t h = Get32(good, 0x3C);
  const std::uint32_t object = h + Get32(good, h + 0x40);
  const std::uint32_t pages = Get32(good, h + 0x80);
  const std::uint32_t records = h + Get32(good, h + 0x6C);
  const std::uint32_t entries = h + Get32(good, h + 0x5C);
  struct Case {
    const char* what;
    std::function<void(Bytes&)> change;
    const char* fault;
  };
  const Case cases[] = {
      {"the old data object", [&](Bytes& f) { Put32(f, object + 8, 0x2043); },
       "flags 0x2043, of no object type the loader accepts (it is not executable)"},
      {"pageable block", [&](Bytes& f) { Put32(f, object + 8, 0x2005); }, "not a locked one"},
      {"OS/2 module", [&](Bytes& f) { Put16(f, h + 0x0A, 1); }, "not Windows 386"},
      {"a 286", [&](Bytes& f) { Put16(f, h + 0x08, 1); }, "CPU type 0x1"},
      {"a static VxD", [&](Bytes& f) { Put32(f, h + 0x10, 0x28000); }, "dynamically loadable"},
      {"big-endian", [&](Bytes& f) { f[h + 2] = 1; }, "little-endian"},
      {"LX page size", [&](Bytes& f) { Put32(f, h + 0x28, 0x200); }, "page size 0x200"},
      {"zero-filled page", [&](Bytes& f) { f[h + Get32(f, h + 0x48) + 3] = 3; },
       "type 0x3, not a page stored in the file"},
      {"an import", [&](Bytes& f) { Put32(f, h + 0x74, 1); }, "imports from other modules"},
      {"ordinal 1 skipped", [&](Bytes& f) { f[entries + 1] = 0; }, "first entry bundle is of type 0"},
      {"16-bit entry", [&](Bytes& f) { f[entries + 1] = 1; }, "first entry bundle is of type 1"},
      {"block past the object", [&](Bytes& f) { Put32(f, entries + 5, 0x20); }, "whole descriptor"},
      {"DDK 3.10", [&](Bytes& f) { Put16(f, pages + 0x14, 0x030A); }, "DDK version 0x30A is outside"},
      {"DDK 4.90", [&](Bytes& f) { Put16(f, pages + 0x14, 0x045A); }, "DDK version 0x45A is outside"},
      {"header DDK differs", [&](Bytes& f) { Put16(f, h + 0xC2, 0x030A); }, "header's DDK version"},
      {"block size", [&](Bytes& f) { Put32(f, pages + 0x50, 0x40); }, "size is 0x40"},
      {"lower-case name", [&](Bytes& f) { f[pages + 0x1C] = 'c'; }, "8 upper-case characters"},
      {"self-relative fixup", [&](Bytes& f) { f[records] = 0x08; }, "source type 0x8"},
      {"import fixup", [&](Bytes& f) { f[records + 1] = 0x01; }, "not an internal reference"},
      {"additive fixup", [&](Bytes& f) { f[records + 1] = 0x04; }, "not an internal reference"},
      {"fixup elsewhere", [&](Bytes& f) { Put16(f, records + 2, 0x20); }, "has no fixup"},
      {"fixup to object 2", [&](Bytes& f) { f[records + 4] = 2; }, "outside the objects"},
      {"fixup past the object", [&](Bytes& f) { Put16(f, records + 2, 0x5E); }, "past the end"},
      {"more pages than objects", [&](Bytes& f) { Put32(f, h + 0x14, 2); }, "the header says 2"},
  };
  for (const Case& c : cases) {
    Bytes file = good;
    c.change(file);
    le::RulesReport broken = le::CheckLoaderRules(file);
    std::string all;
    for (const std::string& fault : broken.faults) all += fault + "\n";
    EXPECT_NE(all.find(c.fault), std::string::npos) << c.what << ":\n" << all;
  }
  for (std::size_t length = 0; length < good.size(); ++length) {
    le::RulesReport cut = le::CheckLoaderRules(ByteView(good.data(), length));
    EXPECT_FALSE(cut.faults.empty()) << "length " << length;
  }
}

}  // namespace
