// The drop-down list a field is shown in, as the list rules see it: items carrying a choice,
// an editable text and a selected index. The main window's combo boxes implement it.
#pragma once

#include <functional>
#include <string>

#include "regs/Tables.h"

class ChoiceBox {
 public:
  virtual ~ChoiceBox() = default;

  virtual void Clear() = 0;  // removes every item
  virtual void AddItem(const std::string& text, const FieldChoice* choice) = 0;
  virtual int ItemCount() const = 0;
  virtual const FieldChoice* ItemChoice(int index) const = 0;
  virtual std::string ItemText(int index) const = 0;
  virtual int ItemIndex() const = 0;  // -1 when no item is selected
  virtual void SetItemIndex(int index) = 0;
  virtual std::string Text() const = 0;
  virtual void SetText(const std::string& text) = 0;
  virtual void SetDropDownCount(int rows) = 0;

  // The field the list shows (its associated object).
  const RegisterField* Field = nullptr;

  // Raised by user actions only (a pick or typing); never by the calls above.
  std::function<void(ChoiceBox&)> OnChange;
};

// What a list shows for a field whose code has no choice.
inline constexpr char kUnknownText[] = "UNKNOWN";

// Removes all items, sets the text "UNKNOWN", adds one item per choice in list order.
void FillChoiceList(ChoiceBox& list, const RegisterField& field);

// Selects the item carrying CurrentChoice(field), or selects nothing and shows "UNKNOWN".
void ShowCurrentChoice(ChoiceBox& list, const RegisterField& field);

// Applies the selected item's choice to list.Field and returns true; with no valid selection
// sets the text "UNKNOWN" and returns false.
bool PickChoice(ChoiceBox& list);
