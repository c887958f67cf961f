// List rules: filling a field's drop-down list, showing its current choice and applying the
// user's pick to the cached register value.
#include "regs/ChoiceBox.h"

#include "regs/Codec.h"

namespace {}

void FillChoiceList(ChoiceBox& list, const RegisterField& field) {
  list.Clear();
  list.SetText(kUnknownText);
  for (const FieldChoice* choice : *field.choices) {
    if (choice == nullptr || choice == &NoChoice) break;
    list.AddItem(ChoiceDisplayText(field, *choice), choice);
  }
}

void ShowCurrentChoice(ChoiceBox& list, const RegisterField& field) {
  const FieldChoice* current = CurrentChoice(field);
  // Items are matched by the choice they carry, never by their text.
  for (int i = 0; i < list.ItemCount(); ++i) {
    if (list.ItemChoice(i) == current) {
      list.SetItemIndex(i);
      return;
    }
  }
  list.SetItemIndex(-1);
  list.SetText(kUnknownText);
}

bool PickChoice(ChoiceBox& list) {
  int index = list.ItemIndex();
  const FieldChoice* choice =
      (index >= 0 && index < list.ItemCount()) ? list.ItemChoice(index) : nullptr;
  if (list.Field == nullptr || choice == nullptr || choice == &NoChoice) {
    list.SetText(kUnknownText);
    return false;
  }
  ApplyChoice(*list.Field, *choice);
  return true;
}
