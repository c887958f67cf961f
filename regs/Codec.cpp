// Field codec: a field's code and current choice from its register's cached value, and the
// storing of a code or choice back into exactly the field's bits.
#include "regs/Codec.h"

namespace {

std::uint32_t Mask(const RegisterField& field) {
  return field.width >= 32 ? 0xFFFFFFFFu : (std::uint32_t{1} << field.width) - 1;
}

}  // namespace

std::uint32_t FieldCode(const RegisterField& field) {
  return (field.reg->value >> field.shift) & Mask(field);
}

const FieldChoice* CurrentChoice(const RegisterField& field) {
  std::uint32_t code = FieldCode(field);
  // List order decides: the first choice with the code wins.
  for (const FieldChoice* choice : *field.choices) {
    if (choice == nullptr || choice == &NoChoice) break;
    if (static_cast<std::uint32_t>(choice->code) == code) return choice;
  }
  return &NoChoice;
}

void SetFieldCode(const RegisterField& field, std::uint32_t code) {
  // Callers pass codes within the field's width; masking keeps a wider one from reaching the
  // neighbouring fields' bits.
  std::uint32_t mask = Mask(field);
  std::uint32_t& value = field.reg->value;
  value = (value & ~(mask << field.shift)) | ((code & mask) << field.shift);
}

void ApplyChoice(const RegisterField& field, const FieldChoice& choice) {
  SetFieldCode(field, static_cast<std::uint32_t>(choice.code));
}

std::string BinaryDigits(std::uint32_t value, int count) {
  std::string digits;
  for (int i = 0; i < count; ++i) {
    digits.insert(digits.begin(), (value & 1) != 0 ? '1' : '0');
    value >>= 1;
  }
  return digits;
}

std::string ChoiceDisplayText(const RegisterField& field, const FieldChoice& choice) {
  std::string text = choice.text;
  if (text == "Reserved") {
    text += " [" + BinaryDigits(static_cast<std::uint32_t>(choice.code), field.width) + "b]";
  }
  return text;
}
