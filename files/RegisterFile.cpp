// Register files: saving the cached field codes into an INI file and loading them back, key
// by key, with one error guard per section.
#include "files/RegisterFile.h"

#include <span>
#include <vector>

#include "files/Ini.h"
#include "files/IniFile.h"
#include "os/Exception.h"
#include "regs/Codec.h"

namespace {

constexpr char kDram[] = "DRAM";
constexpr char kLink[] = "LINK";

std::string Describe(const char* what, const std::string& path, os::Dword error) {
  return std::string(what) + " \"" + path + "\" (error " + std::to_string(error) + ")";
}

std::string AbsolutePath(const std::string& path) {
  std::string full;
  os::Dword error = 0;
  if (!ini::FullPath(path, &full, &error)) {
    throw Exception(Describe("Unusable register file path", path, error));
  }
  return full;
}

// The file as it stands; it must exist and be readable.
ini::Document ReadExisting(const std::string& full) {
  std::string text;
  os::Dword error = 0;
  if (!ini::ReadWholeFile(full, &text, &error)) {
    throw Exception(Describe("Cannot read the register file", full, error));
  }
  return ini::Document(text);
}

// The file as it stands, or an empty document when there is none yet.
ini::Document ReadForUpdate(const std::string& full) {
  std::string text;
  os::Dword error = 0;
  if (ini::ReadWholeFile(full, &text, &error)) return ini::Document(text);
  if (error == os::kErrorFileNotFound) return ini::Document();
  throw Exception(Describe("Cannot write the register file", full, error));
}

void Commit(const std::string& full, const ini::Document& document) {
  os::Dword error = 0;
  if (!ini::ReplaceWholeFile(full, document.Text(), &error)) {
    throw Exception(Describe("Cannot write the register file", full, error));
  }
}

void StoreKey(ini::Document& document, const RegisterField& field, const char* section) {
  if (!document.Set(section, field.key, std::to_string(FieldCode(field)))) {
    throw Exception(std::string("Cannot store the key ") + field.key);
  }
}

void LoadKey(const ini::Document& document, const RegisterField& field, const char* section) {
  // A missing key, a non-number or a code beyond the field's width leaves its bits as they are.
  std::optional<std::string> text = document.Get(section, field.key);
  std::int32_t code = 0;
  if (!text || !ParseFieldValue(*text, &code)) return;
  if (code >= 0 && code < (std::int32_t{1} << field.width)) {
    SetFieldCode(field, static_cast<std::uint32_t>(code));
  }
}

struct SectionFields {
  const char* section;
  std::span<const RegisterField> fields;
};

bool Save(std::initializer_list<SectionFields> sections, const std::string& path) {
  try {
    std::string full = AbsolutePath(path);
    ini::Document document = ReadForUpdate(full);
    for (const SectionFields& s : sections) {
      for (const RegisterField& field : s.fields) StoreKey(document, field, s.section);
    }
    Commit(full, document);
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

bool Load(std::initializer_list<SectionFields> sections, const std::string& path) {
  try {
    std::string full = AbsolutePath(path);
    ini::Document document = ReadExisting(full);
    for (const SectionFields& s : sections) {
      for (const RegisterField& field : s.fields) LoadKey(document, field, s.section);
    }
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

}  // namespace

void WriteFieldKey(const RegisterField& field, const char* section, const std::string& path) {
  std::string full = AbsolutePath(path);
  ini::Document document = ReadForUpdate(full);
  StoreKey(document, field, section);
  Commit(full, document);
}

void ReadFieldKey(const RegisterField& field, const char* section, const std::string& path) {
  LoadKey(ReadExisting(AbsolutePath(path)), field, section);
}

bool SaveDramSection(const std::string& path) {
  return Save({{kDram, DramFields()}}, path);
}
bool SaveLinkSection(const std::string& path) {
  return Save({{kLink, LinkFields()}}, path);
}
bool LoadDramSection(const std::string& path) {
  return Load({{kDram, DramFields()}}, path);
}
bool LoadLinkSection(const std::string& path) {
  return Load({{kLink, LinkFields()}}, path);
}

bool SaveRegisterFile(const std::string& path) {
  return Save({{kDram, DramFields()}, {kLink, LinkFields()}}, path);
}

bool LoadRegisterFile(const std::string& path) {
  return Load({{kDram, DramFields()}, {kLink, LinkFields()}}, path);
}

bool ParseFieldValue(std::string_view text, std::int32_t* value) {
  std::size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  int base = 10;
  if (i < text.size() && text[i] == '$') {
    base = 16;
    ++i;
  } else if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
    base = 16;
    i += 2;
  }
  if (i == text.size()) return false;
  constexpr std::int64_t kLimit = std::int64_t{1} << 31;
  std::int64_t number = 0;
  for (; i < text.size(); ++i) {
    char c = text[i];
    int digit;
    if (c >= '0' && c <= '9') {
      digit = c - '0';
    } else if (base == 16 && c >= 'a' && c <= 'f') {
      digit = c - 'a' + 10;
    } else if (base == 16 && c >= 'A' && c <= 'F') {
      digit = c - 'A' + 10;
    } else {
      return false;
    }
    number = number * base + digit;
    if (number > kLimit) return false;
  }
  if (negative) number = -number;
  if (number < -kLimit || number >= kLimit) return false;
  *value = static_cast<std::int32_t>(number);
  return true;
}
