// Register files: the field codes of the DRAM and LINK groups as an INI text file (.mvn).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "regs/Tables.h"

// Writes the field's code under its key; false when the file cannot be written.
bool WriteFieldKey(const RegisterField& field, const char* section, const std::string& path);

// Reads the field's key; a usable code (0 .. 2^width - 1) replaces the field's bits.
// False when the file does not exist or cannot be read.
bool ReadFieldKey(const RegisterField& field, const char* section, const std::string& path);

// Each section operation reads the file once and, for a save, replaces it once: a failure
// leaves the file as it was.
bool SaveDramSection(const std::string& path);
bool SaveLinkSection(const std::string& path);
bool LoadDramSection(const std::string& path);
bool LoadLinkSection(const std::string& path);

// Both sections, DRAM then LINK, in one read or one replacement: the file holds the old
// register set or the new one, never half of each.
bool SaveRegisterFile(const std::string& path);
bool LoadRegisterFile(const std::string& path);

// A key's value as a number: an optional sign, then decimal digits or hexadecimal digits
// after "$", "0x" or "0X", within signed 32 bits. Nothing else (no blanks) is allowed.
bool ParseFieldValue(std::string_view text, std::int32_t* value);
