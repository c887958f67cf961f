// An in-memory drop-down list for tests: records what the program did to it and lets a test
// act as the user (pick an item, type text), which raises OnChange as a real list would.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "regs/ChoiceBox.h"

class MemoryChoiceBox : public ChoiceBox {
 public:
  struct Item {
    std::string text;
    const FieldChoice* choice;
  };

  void Clear() override {
    items.clear();
    index = -1;
    text.clear();
  }
  void AddItem(const std::string& itemText, const FieldChoice* choice) override {
    items.push_back({itemText, choice});
  }
  int ItemCount() const override { return static_cast<int>(items.size()); }
  const FieldChoice* ItemChoice(int i) const override { return items.at(i).choice; }
  std::string ItemText(int i) const override { return items.at(i).text; }
  int ItemIndex() const override { return index; }
  void SetItemIndex(int i) override {
    index = (i >= 0 && i < ItemCount()) ? i : -1;
    if (index >= 0) text = items[index].text;
  }
  std::string Text() const override { return text; }
  void SetText(const std::string& t) override { text = t; }
  void SetDropDownCount(int rows) override { dropDownCount = rows; }

  // User actions, which raise OnChange as a real list does.
  void UserPick(int i) {
    SetItemIndex(i);
    if (OnChange) OnChange(*this);
  }
  // Typing into the list's text; `keepSelection` for a platform that still reports the item
  // selected before.
  void UserType(std::string typed, bool keepSelection = false) {
    if (!keepSelection) index = -1;
    text = std::move(typed);
    if (OnChange) OnChange(*this);
  }

  std::vector<Item> items;
  int index = -1;
  std::string text;
  int dropDownCount = 0;
};
