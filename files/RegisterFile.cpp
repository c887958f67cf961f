// Register files: saving the cached field codes into an INI file and loading them back, key
// by key; the first key that cannot be stored ends its section operation.
#include "files/RegisterFile.h"

#include <span>
#include <vector>

#include "files/Ini.h"
#include "files/IniFile.h"
#include "regs/Codec.h"

namespace {

constexpr char kDram[] = "DRAM";
constexpr char kLink[] = "LINK";

// Each step below gives false when the file cannot be used; a section operation stops at
// the first one, having changed nothing on disk.
bool AbsolutePath(const std::string& path, std::string* full) {
  os::Dword error = 0;
  return ini::FullPath(path, full, &error);
}

// A register file's lines and how the file stores them.
struct Stored {
  ini::Document document;
  ini::Encoding encoding = ini::Encoding::Bytes;
};

// The file as it stands; false (with the error) when it is missing or cannot be read.
bool ReadStored(const std::string& full, Stored* stored, os::Dword* error) {
  std::string bytes;
  if (!ini::ReadWholeFile(full, &bytes, error)) return false;
  stored->document = ini::Document(ini::DecodeText(bytes, &stored->encoding));
  return true;
}

bool ReadExisting(const std::string& full, Stored* stored) {
  os::Dword error = 0;
  return ReadStored(full, stored, &error);
}

// The file as it stands, or an empty document when there is none yet.
bool ReadForUpdate(const std::string& full, Stored* stored) {
  os::Dword error = 0;
  if (ReadStored(full, stored, &error)) return true;
  *stored = Stored();
  return error == os::kErrorFileNotFound;
}

// The document saved in the file's own encoding.
bool Commit(const std::string& full, const Stored& stored) {
  os::Dword error = 0;
  return ini::ReplaceWholeFile(full, ini::EncodeText(stored.document.Text(), stored.encoding),
                               &error);
}

bool StoreKey(ini::Document& document, const RegisterField& field, const char* section) {
  return document.Set(section, field.key, std::to_string(FieldCode(field)));
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
  std::string full;
  Stored stored;
  if (!AbsolutePath(path, &full) || !ReadForUpdate(full, &stored)) return false;
  for (const SectionFields& s : sections) {
    for (const RegisterField& field : s.fields) {
      if (!StoreKey(stored.document, field, s.section)) return false;
    }
  }
  return Commit(full, stored);
}

bool Load(std::initializer_list<SectionFields> sections, const std::string& path) {
  std::string full;
  Stored stored;
  if (!AbsolutePath(path, &full) || !ReadExisting(full, &stored)) return false;
  for (const SectionFields& s : sections) {
    for (const RegisterField& field : s.fields) LoadKey(stored.document, field, s.section);
  }
  return true;
}

}  // namespace

bool WriteFieldKey(const RegisterField& field, const char* section, const std::string& path) {
  return Save({{section, {&field, 1}}}, path);
}

bool ReadFieldKey(const RegisterField& field, const char* section, const std::string& path) {
  return Load({{section, {&field, 1}}}, path);
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
