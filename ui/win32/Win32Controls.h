// The window logic's controls over real Win32 windows: one thin wrapper per control, each
// holding its window handle, and the factory that creates them at the positions the logic
// gives (scaled from 96 dots per inch to the resolution of their form).
#pragma once

#include <windows.h>

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "os/Exception.h"
#include "ui/Controls.h"
#include "ui/FileDialog.h"
#include "ui/MessageBox.h"

namespace win32ui {

class Win32Factory;
class Win32Form;

// A control inside a form: its window, and what it does with the notifications (WM_COMMAND
// codes) it sends to the form.
class ChildWindow {
 public:
  virtual ~ChildWindow() = default;
  virtual void Notify(UINT /*code*/) {}
  // The text colour the form gives it (labels only), or nothing for the system's.
  virtual bool TextColor(COLORREF* /*color*/) const { return false; }

  HWND hwnd = nullptr;
};

class Win32GroupBox : public GroupBoxControl, public ChildWindow {
 public:
  Win32Form* form = nullptr;
};

class Win32Label : public LabelControl, public ChildWindow {
 public:
  void SetText(const std::string& text) override;
  std::string Text() const override;
  bool TextColor(COLORREF* color) const override;

  Color color = kColorWindowText;
  HFONT font = nullptr;
};

class Win32ComboBox : public ChoiceBox, public ChildWindow {
 public:
  void Clear() override;
  void AddItem(const std::string& text, const FieldChoice* choice) override;
  int ItemCount() const override;
  const FieldChoice* ItemChoice(int index) const override;
  std::string ItemText(int index) const override;
  int ItemIndex() const override;
  void SetItemIndex(int index) override;
  std::string Text() const override;
  void SetText(const std::string& text) override;
  void SetDropDownCount(int rows) override;
  void Notify(UINT code) override;

 private:
  // Counts the program's own changes in progress: the notifications they cause are not the
  // user's and raise nothing.
  int updating_ = 0;
};

class Win32Button : public ButtonControl, public ChildWindow {
 public:
  void SetEnabled(bool enabled) override;
  bool Enabled() const override;
  void Notify(UINT code) override;
};

class Win32Menu : public MenuControl {
 public:
  Win32Form* form = nullptr;
  HMENU menu = nullptr;
};

class Win32MenuItem : public MenuItemControl {
 public:
  Win32Form* form = nullptr;
  HMENU parentMenu = nullptr;
  UINT id = 0;
  std::string caption;
  HMENU submenu = nullptr;  // made when the first item is added below this one
};

class Win32MessageBox : public MessageBoxControl {
 public:
  explicit Win32MessageBox(const Win32Form& owner) : owner_(owner) {}
  int Show(const std::string& text, const std::string& caption, unsigned style) override;

 private:
  const Win32Form& owner_;
};

class Win32OpenDialog : public OpenDialogControl {
 public:
  Win32OpenDialog(const Win32Form& owner, MessageBoxControl& messages)
      : OpenDialogControl(messages), owner_(owner) {}

 protected:
  bool RunDialog(const std::string& initialDir) override;

 private:
  const Win32Form& owner_;
};

class Win32Form : public FormControl {
 public:
  Win32Form(Win32Factory& factory, const FormStyle& style) : factory_(factory), style_(style) {}
  ~Win32Form() override;

  void SetCaption(const std::string& text) override;
  std::string Caption() const override;
  void Show() override;
  int ShowModal() override;
  void SetModalResult(int result) override { modalResult_ = result; }
  int ModalResult() const override { return modalResult_; }
  void Close() override;

  // Key preview: runs OnKeyDown for a key message meant for this form or one of its
  // controls; true when the handler consumed the key.
  bool PreviewKey(const MSG& msg);
  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);

  HWND hwnd = nullptr;
  // The style it was made with, its resolution always set.
  const FormStyle& style() const { return style_; }
  int Scale(int pixels) const { return AtDpi(pixels, style_.dpi); }
  bool isMain = false;
  std::map<HWND, ChildWindow*> children;
  std::map<UINT, Win32MenuItem*> menuItems;
  // Tab stops in tab order, for placing the next one and for the first focus.
  std::vector<std::pair<std::vector<int>, HWND>> tabStops;
  UINT nextControlId = 100;  // above IDOK and IDCANCEL, which IsDialogMessage sends
  UINT nextMenuId = 1000;

 private:
  void CenterInWorkArea();
  void FocusFirstControl();

  Win32Factory& factory_;
  FormStyle style_;
  int modalResult_ = kModalNone;
  bool inModalShow_ = false;
  HWND lastFocus_ = nullptr;
};

class Win32Factory : public ControlFactory {
 public:
  Win32Factory();
  ~Win32Factory() override;
  Win32Factory(const Win32Factory&) = delete;
  Win32Factory& operator=(const Win32Factory&) = delete;

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
  int TextWidth(const std::string& text, const FontSpec& font, int dpi) override;
  int ScreenDpi() override { return dpi_; }
  ScreenArea WorkArea() override;
  PixelSize FrameSize(const FormStyle& style) override;

  // Runs the message loop until the main window is destroyed (WM_QUIT).
  void RunMessageLoop();
  bool Running() const { return running_; }
  // The first failure while the windows were built, if any (see FailCreating).
  const std::optional<Exception>& Failure() const { return failure_; }
  void Fail(Exception failure);
  // The factory in use, the only one at a time; null when there is none.
  static Win32Factory* Current() { return current_; }
  // The key preview and dialog keys (Tab, arrows) for a message taken from the queue; true
  // when it has been handled and must not be dispatched.
  bool PreTranslate(MSG& msg);

  HFONT Font(const FontSpec& spec, int dpi);
  HBRUSH Brush(Color color);
  Win32Form* FormOf(HWND hwnd) const;

 private:
  // Creates a child window of `parent`'s form at `at` and registers it with the form.
  HWND CreateChild(Container& parent, const Placement& at, ChildWindow& child,
                   const char* className, const char* text, DWORD style, HFONT font);

  static Win32Factory* current_;
  int dpi_ = kDesignDpi;  // the screen's
  bool running_ = false;
  std::optional<Exception> failure_;
  std::vector<std::unique_ptr<Win32Form>> forms_;
  std::vector<std::unique_ptr<ChildWindow>> children_;
  std::vector<std::unique_ptr<Win32Menu>> menus_;
  std::vector<std::unique_ptr<Win32MenuItem>> menuItems_;
  std::vector<std::unique_ptr<MessageBoxControl>> messageBoxes_;
  std::vector<std::unique_ptr<OpenDialogControl>> dialogs_;
  struct CachedFont {
    FontSpec spec;
    int dpi;
    HFONT font;
  };
  std::vector<CachedFont> fonts_;
  struct CachedBrush {
    Color color;
    HBRUSH brush;
  };
  std::vector<CachedBrush> brushes_;
};

// Reports that a window, control or menu could not be created (see Win32Factory::Failure).
void FailCreating(const char* what);

// The form a container belongs to (a form, or a group box inside one).
Win32Form& FormOfContainer(Container& container);

}  // namespace win32ui
