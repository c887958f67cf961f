// In-memory controls for tests of the window logic: each records how the window built and
// changed it, and lets a test act as the user (click, pick, type, press keys, answer dialogs).
#pragma once

#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/MemoryChoiceBox.h"
#include "ui/Controls.h"
#include "ui/FileDialog.h"
#include "ui/MessageBox.h"

class MemoryForm : public FormControl {
 public:
  void SetCaption(const std::string& text) override { caption = text; }
  std::string Caption() const override { return caption; }
  void Show() override {
    visible = true;
    ++shows;
  }
  int ShowModal() override;
  void SetModalResult(int result) override { modalResult = result; }
  int ModalResult() const override { return modalResult; }
  void Close() override;

  // User actions: a key pressed while the form is active.
  void PressKey(unsigned short key, ShiftState shift = 0);

  FormStyle style;
  std::string caption;
  bool visible = false;
  bool inModalShow = false;
  bool closed = false;
  int shows = 0;
  int modalShows = 0;
  int modalResult = kModalNone;
  // Acts as the user while a modal show is up; a show with no result after it ends with 0.
  std::function<void(MemoryForm&)> whileModal;
};

class MemoryGroupBox : public GroupBoxControl {
 public:
  const Container* parent = nullptr;
  Placement placement;
  std::string caption;
};

class MemoryLabel : public LabelControl {
 public:
  void SetText(const std::string& t) override {
    text = t;
    ++textChanges;
  }
  std::string Text() const override { return text; }

  const Container* parent = nullptr;
  Placement placement;
  std::optional<FontSpec> font;  // unset: the form's font
  std::string text;
  int textChanges = 0;
};

// An editable drop-down list whose items carry their choices, placed on a form.
class MemoryComboBox : public MemoryChoiceBox {
 public:
  const Container* parent = nullptr;
  Placement placement;
  int itemHeight = 0;
};

class MemoryButton : public ButtonControl {
 public:
  void SetEnabled(bool e) override { enabled = e; }
  bool Enabled() const override { return enabled; }
  // User action: a click reaches the handler only while the button is enabled.
  void Click() {
    if (enabled && OnClick) OnClick();
  }

  const Container* parent = nullptr;
  Placement placement;
  std::string caption;
  bool enabled = true;
};

class MemoryMenuItem : public MenuItemControl {
 public:
  // User action: choosing the item.
  void Click() {
    if (OnClick) OnClick();
  }

  const MenuControl* parent = nullptr;
  std::string caption;
  std::vector<MemoryMenuItem*> items;  // its submenu
};

class MemoryMenu : public MenuControl {
 public:
  const FormControl* form = nullptr;
  std::vector<MemoryMenuItem*> items;
};

class MemoryMessageBox : public MessageBoxControl {
 public:
  struct Shown {
    std::string text;
    std::string caption;
    unsigned style;
  };
  int Show(const std::string& text, const std::string& caption, unsigned style) override;

  std::vector<Shown> shown;
  std::deque<int> answers;  // buttons pressed in turn; OK once they run out
};

class MemoryOpenDialog : public OpenDialogControl {
 public:
  // The settings as the dialog saw them when it was shown.
  struct Shown {
    OpenOptions options;
    std::string filter;
    int filterIndex;
    std::string title;
    std::string defaultExt;
    std::string initialDir;
    std::string fileName;
    bool forceCurrentDirectory;
  };
  explicit MemoryOpenDialog(MessageBoxControl& messages) : OpenDialogControl(messages) {}

  std::vector<Shown> shown;
  // The user's answers in turn: a full path to choose, or nullopt to cancel. Cancel once they
  // run out.
  std::deque<std::optional<std::string>> answers;

 protected:
  bool RunDialog(const std::string& initialDir) override;
};

// Makes memory controls and keeps them, in creation order per kind.
class MemoryControlFactory : public ControlFactory {
 public:
  FormControl& CreateForm(const FormStyle& style) override;
  GroupBoxControl& CreateGroupBox(Container& parent, const Placement& at,
                                  const std::string& caption) override;
  LabelControl& CreateLabel(Container& parent, const Placement& at, const std::string& text,
                            const FontSpec* font) override;
  ChoiceBox& CreateComboBox(Container& parent, const Placement& at, int itemHeight) override;
  ButtonControl& CreateButton(Container& parent, const Placement& at,
                              const std::string& caption) override;
  MenuControl& CreateMainMenu(FormControl& form) override;
  MenuItemControl& CreateMenuItem(MenuControl& parent, const std::string& caption) override;
  OpenDialogControl& CreateOpenDialog(FormControl& owner) override;
  MessageBoxControl& CreateMessageBox(FormControl& owner) override;
  // Every character `charWidth` pixels wide in an 8-point font at 96 dots per inch, in
  // proportion for other sizes and resolutions, each character's width rounded to whole
  // pixels of the resolution as a screen font's are.
  int TextWidth(const std::string& text, const FontSpec& font, int dpi) override;
  int ScreenDpi() override { return screenDpi; }
  ScreenArea WorkArea() override { return workArea; }
  PixelSize FrameSize(const FormStyle& style) override {
    return {frame.width, frame.height + (style.menuBar ? menuBarHeight : 0)};
  }

  // The average character width of an 8-point "MS Sans Serif" at 96 dots per inch; tests set
  // wider fonts.
  int charWidth = 5;
  // The screen: its resolution, its work area, and the frame a form gets (a title bar and
  // borders, and a menu bar where the form has one). Tests set smaller or finer screens.
  int screenDpi = kDesignDpi;
  ScreenArea workArea = {0, 0, 1920, 1040};
  PixelSize frame = {6, 25};
  int menuBarHeight = 19;
  std::vector<std::unique_ptr<MemoryForm>> forms;
  std::vector<std::unique_ptr<MemoryGroupBox>> groupBoxes;
  std::vector<std::unique_ptr<MemoryLabel>> labels;
  std::vector<std::unique_ptr<MemoryComboBox>> comboBoxes;
  std::vector<std::unique_ptr<MemoryButton>> buttons;
  std::vector<std::unique_ptr<MemoryMenu>> menus;
  std::vector<std::unique_ptr<MemoryMenuItem>> menuItems;
  std::vector<std::unique_ptr<MemoryOpenDialog>> dialogs;
  // One recorder for every message box the windows show, the dialogs' questions included.
  MemoryMessageBox messages;
};

// The memory control behind an interface reference from a MemoryControlFactory.
inline MemoryForm& Mem(FormControl& c) {
  return static_cast<MemoryForm&>(c);
}
inline MemoryGroupBox& Mem(GroupBoxControl& c) {
  return static_cast<MemoryGroupBox&>(c);
}
inline MemoryLabel& Mem(LabelControl& c) {
  return static_cast<MemoryLabel&>(c);
}
inline MemoryComboBox& Mem(ChoiceBox& c) {
  return static_cast<MemoryComboBox&>(c);
}
inline MemoryButton& Mem(ButtonControl& c) {
  return static_cast<MemoryButton&>(c);
}
inline MemoryMenu& Mem(MenuControl& c) {
  return static_cast<MemoryMenu&>(c);
}
inline MemoryMenuItem& Mem(MenuItemControl& c) {
  return static_cast<MemoryMenuItem&>(c);
}
inline MemoryOpenDialog& Mem(OpenDialogControl& c) {
  return static_cast<MemoryOpenDialog&>(c);
}
