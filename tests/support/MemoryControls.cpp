// In-memory controls for tests of the window logic.
#include "tests/support/MemoryControls.h"

int MemoryForm::ShowModal() {
  modalResult = kModalNone;
  visible = true;
  inModalShow = true;
  ++modalShows;
  if (whileModal) whileModal(*this);
  inModalShow = false;
  visible = false;
  return modalResult;
}

void MemoryForm::Close() {
  if (inModalShow) {
    modalResult = kModalCancel;
    return;
  }
  closed = true;
  visible = false;
}

void MemoryForm::PressKey(unsigned short key, ShiftState shift) {
  if (OnKeyDown) OnKeyDown(key, shift);
}

int MemoryMessageBox::Show(const std::string& text, const std::string& caption, unsigned style) {
  shown.push_back({text, caption, style});
  if (answers.empty()) return kMessageIdOk;
  int answer = answers.front();
  answers.pop_front();
  return answer;
}

bool MemoryOpenDialog::RunDialog(const std::string& initialDir) {
  shown.push_back({Options, Filter, FilterIndex, Title, DefaultExt, initialDir, FileName,
                   ForceCurrentDirectory});
  if (answers.empty()) return false;
  std::optional<std::string> answer = answers.front();
  answers.pop_front();
  if (!answer) return false;
  FileName = *answer;
  return true;
}

namespace {

template <typename T>
T& Keep(std::vector<std::unique_ptr<T>>& list) {
  list.push_back(std::make_unique<T>());
  return *list.back();
}

}  // namespace

FormControl& MemoryControlFactory::CreateForm(const FormStyle& style) {
  MemoryForm& form = Keep(forms);
  form.style = style;
  return form;
}

GroupBoxControl& MemoryControlFactory::CreateGroupBox(Container& parent, const Placement& at,
                                                      const std::string& caption) {
  MemoryGroupBox& box = Keep(groupBoxes);
  box.parent = &parent;
  box.placement = at;
  box.caption = caption;
  Placement inForm = InForm(parent, at);
  box.originLeft = inForm.left;
  box.originTop = inForm.top;
  box.tabPath = TabPath(parent, at);
  return box;
}

LabelControl& MemoryControlFactory::CreateLabel(Container& parent, const Placement& at,
                                                const std::string& text, const FontSpec* font) {
  MemoryLabel& label = Keep(labels);
  label.parent = &parent;
  label.placement = at;
  label.text = text;
  if (font != nullptr) label.font = *font;
  return label;
}

ChoiceBox& MemoryControlFactory::CreateComboBox(Container& parent, const Placement& at,
                                                int itemHeight) {
  MemoryComboBox& box = Keep(comboBoxes);
  box.parent = &parent;
  box.placement = at;
  box.itemHeight = itemHeight;
  return box;
}

ButtonControl& MemoryControlFactory::CreateButton(Container& parent, const Placement& at,
                                                  const std::string& caption) {
  MemoryButton& button = Keep(buttons);
  button.parent = &parent;
  button.placement = at;
  button.caption = caption;
  return button;
}

MenuControl& MemoryControlFactory::CreateMainMenu(FormControl& form) {
  MemoryMenu& menu = Keep(menus);
  menu.form = &form;
  return menu;
}

MenuItemControl& MemoryControlFactory::CreateMenuItem(MenuControl& parent,
                                                      const std::string& caption) {
  MemoryMenuItem& item = Keep(menuItems);
  item.parent = &parent;
  item.caption = caption;
  if (auto* bar = dynamic_cast<MemoryMenu*>(&parent)) bar->items.push_back(&item);
  if (auto* owner = dynamic_cast<MemoryMenuItem*>(&parent)) owner->items.push_back(&item);
  return item;
}

OpenDialogControl& MemoryControlFactory::CreateOpenDialog(FormControl& /*owner*/) {
  dialogs.push_back(std::make_unique<MemoryOpenDialog>(messages));
  return *dialogs.back();
}

MessageBoxControl& MemoryControlFactory::CreateMessageBox(FormControl& /*owner*/) {
  return messages;
}

int MemoryControlFactory::TextWidth(const std::string& text, const FontSpec& font, int dpi) {
  // One character in pixels of the resolution, rounded to the nearest; the text back at 96
  // dots per inch, rounded up.
  int character = (charWidth * font.points * dpi + 4 * kDesignDpi) / (8 * kDesignDpi);
  int pixels = static_cast<int>(text.size()) * character;
  return (pixels * kDesignDpi + dpi - 1) / dpi;
}
