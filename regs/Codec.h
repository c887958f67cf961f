// Field codec: a field's code and current choice from its register's cached value, and back.
#pragma once

#include <cstdint>
#include <string>

#include "regs/Tables.h"

// (value >> shift) & (2^width - 1) of the field's register.
std::uint32_t FieldCode(const RegisterField& field);

// The first choice in list order whose code equals FieldCode, else &NoChoice.
const FieldChoice* CurrentChoice(const RegisterField& field);

// Replaces exactly the field's bits of the cached value with `code` (0 .. 2^width - 1).
void SetFieldCode(const RegisterField& field, std::uint32_t code);

void ApplyChoice(const RegisterField& field, const FieldChoice& choice);

// `count` characters "0"/"1", bit count-1 of value first.
std::string BinaryDigits(std::uint32_t value, int count);

// The choice's text; exactly "Reserved" becomes "Reserved [<binary code>b]".
std::string ChoiceDisplayText(const RegisterField& field, const FieldChoice& choice);
