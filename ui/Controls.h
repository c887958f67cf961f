// The controls the two windows are made of, as the window logic sees them, and the factory
// through which a toolkit makes them real (Win32 windows in the program, memory objects in
// tests). Every position, caption and font is decided by the window logic and handed to the
// factory; a toolkit only turns them into controls.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "regs/ChoiceBox.h"
#include "ui/MessageBox.h"

class OpenDialogControl;

// A colour: 0x00BBGGRR, or a system colour (an index of GetSysColor) marked by kSystemColor.
using Color = std::uint32_t;
inline constexpr Color kSystemColor = 0x80000000u;
constexpr Color Rgb(int red, int green, int blue) {
  return static_cast<Color>((red & 0xFF) | ((green & 0xFF) << 8) | ((blue & 0xFF) << 16));
}
inline constexpr Color kColorActiveCaption = kSystemColor | 2;  // COLOR_ACTIVECAPTION
inline constexpr Color kColorWindowText = kSystemColor | 8;     // COLOR_WINDOWTEXT
inline constexpr Color kColorButtonFace = kSystemColor | 15;    // COLOR_BTNFACE

// A font in the default character set.
struct FontSpec {
  std::string face;
  int points = 8;
  Color color = kColorWindowText;
  bool fixedPitch = false;

  bool operator==(const FontSpec&) const = default;
};

// The character height in pixels of a font at `dpi` dots per inch, rounded to the nearest.
int FontPixelHeight(const FontSpec& font, int dpi);

// The resolution every position and size of the windows is given at.
inline constexpr int kDesignDpi = 96;
// `pixels` at 96 dots per inch in pixels at `dpi`, rounded to the nearest.
int AtDpi(int pixels, int dpi);

// A size, or a rectangle of the screen, in screen pixels.
struct PixelSize {
  int width = 0;
  int height = 0;

  bool operator==(const PixelSize&) const = default;
};
struct ScreenArea {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;

  bool operator==(const ScreenArea&) const = default;
};

// Where a control stands in its container's client area, in pixels at 96 dots per inch, and
// its place in the container's tab order (-1: not a tab stop).
struct Placement {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
  int tabOrder = -1;

  bool operator==(const Placement&) const = default;
};

enum class BorderStyle {
  Single,  // single line, fixed size
  Dialog,  // dialog frame, fixed size
};

struct FormStyle {
  int clientWidth = 0;
  int clientHeight = 0;
  BorderStyle border = BorderStyle::Single;
  bool minimizeButton = false;  // the system menu with its close button is always there
  bool keyPreview = false;      // the form sees every key before its controls do
  bool menuBar = false;
  Color background = kColorButtonFace;
  FontSpec font;  // used by every control that is given no font of its own
  // The resolution the form's positions, sizes and fonts are drawn at: the screen's, or a
  // lower one where the form would not fit the screen at the screen's (FitDpi); 0 stands for
  // the screen's.
  int dpi = 0;
};

// Modifier keys held during a key press.
using ShiftState = unsigned;
inline constexpr ShiftState kShiftKey = 0x1;
inline constexpr ShiftState kAltKey = 0x2;
inline constexpr ShiftState kCtrlKey = 0x4;

// Virtual-key codes the windows react to.
inline constexpr unsigned short kKeyEscape = 27;

// Modal results: none yet (the modal show goes on), OK, Cancel.
inline constexpr int kModalNone = 0;
inline constexpr int kModalOk = 1;
inline constexpr int kModalCancel = 2;

// A form or a group box: the parent of positioned controls.
class Container {
 public:
  virtual ~Container() = default;

  // Where this container's client area starts within its form's client area, and the tab
  // orders from the form down to this container (empty for a form). Set by the factory.
  int originLeft = 0;
  int originTop = 0;
  std::vector<int> tabPath;
};

// A control placed in `parent`, as it stands in the form's client area.
Placement InForm(const Container& parent, const Placement& at);

// The tab orders from the form down to a control placed in `parent`.
std::vector<int> TabPath(const Container& parent, const Placement& at);

// Whether the control with tab path `a` comes before the one with path `b` when the user
// tabs through the form: a container before everything in it, controls that are not tab
// stops before the tab stops of their container.
bool TabsBefore(const std::vector<int>& a, const std::vector<int>& b);

// A top-level window.
class FormControl : public Container {
 public:
  virtual void SetCaption(const std::string& text) = 0;
  virtual std::string Caption() const = 0;
  // Shows the form without waiting; a form is centred in the work area of its monitor whenever
  // it is shown.
  virtual void Show() = 0;
  // Shows the form while every other window of the program takes no input, and returns the
  // modal result once a non-zero one ends the show (Escape handlers, the close button).
  virtual int ShowModal() = 0;
  virtual void SetModalResult(int result) = 0;
  virtual int ModalResult() const = 0;
  // As the title bar's close button: ends a modal show with the cancel result, or closes the
  // window (closing the main window ends the program).
  virtual void Close() = 0;

  // A key pressed while the form is active; with key preview, before any control sees it.
  // Setting the key to 0 consumes it.
  std::function<void(unsigned short& key, ShiftState shift)> OnKeyDown;
};

class GroupBoxControl : public Container {};

class LabelControl {
 public:
  virtual ~LabelControl() = default;
  // The label sizes itself to its text, growing to the right from its left edge.
  virtual void SetText(const std::string& text) = 0;
  virtual std::string Text() const = 0;
};

class ButtonControl {
 public:
  virtual ~ButtonControl() = default;
  virtual void SetEnabled(bool enabled) = 0;
  virtual bool Enabled() const = 0;

  std::function<void()> OnClick;  // raised by the user only
};

// A menu bar, or a menu item that may hold a submenu.
class MenuControl {
 public:
  virtual ~MenuControl() = default;
};

class MenuItemControl : public MenuControl {
 public:
  std::function<void()> OnClick;  // raised by the user only; unset for submenus and separators
};

// Makes the controls of a toolkit. Each control lives as long as the factory; positions are
// pixels at 96 dots per inch, which the toolkit scales to its form's resolution.
class ControlFactory {
 public:
  virtual ~ControlFactory() = default;

  virtual FormControl& CreateForm(const FormStyle& style) = 0;
  virtual GroupBoxControl& CreateGroupBox(Container& parent, const Placement& at,
                                          const std::string& caption) = 0;
  // `font` null: the form's font.
  virtual LabelControl& CreateLabel(Container& parent, const Placement& at, const std::string& text,
                                    const FontSpec* font) = 0;
  // An editable, unsorted drop-down list whose items are `itemHeight` pixels high; `at`
  // gives the height of its closed box.
  virtual ChoiceBox& CreateComboBox(Container& parent, const Placement& at, int itemHeight) = 0;
  virtual ButtonControl& CreateButton(Container& parent, const Placement& at,
                                      const std::string& caption) = 0;
  virtual MenuControl& CreateMainMenu(FormControl& form) = 0;
  // Appended to `parent` (the menu bar, or an item that becomes a submenu); the caption "-"
  // makes a separator.
  virtual MenuItemControl& CreateMenuItem(MenuControl& parent, const std::string& caption) = 0;
  virtual OpenDialogControl& CreateOpenDialog(FormControl& owner) = 0;
  virtual MessageBoxControl& CreateMessageBox(FormControl& owner) = 0;

  // The width `text` takes when a label of a form drawn at `dpi` dots per inch draws it in
  // `font`, in pixels at 96 dots per inch (rounded up): the windows make room for their labels
  // with it, whatever font and screen resolution the toolkit really has.
  virtual int TextWidth(const std::string& text, const FontSpec& font, int dpi) = 0;

  // The screen's resolution in dots per inch.
  virtual int ScreenDpi() = 0;
  // The work area (the screen less the task bar and other bars docked at its edges) of the
  // monitor the program's windows are shown on, in screen pixels.
  virtual ScreenArea WorkArea() = 0;
  // What the frame of a form of `style` (borders, title bar, menu bar) adds to its client area,
  // in screen pixels.
  virtual PixelSize FrameSize(const FormStyle& style) = 0;
};

// The smallest resolution a form is drawn at to make it fit a small screen: its 8-point text is
// then 8 pixels high, the smallest the system's dialog font comes in.
inline constexpr int kSmallestFitDpi = 72;

// The resolution to draw a form of `style` at: the screen's, or where the form would not fit
// the work area at the screen's, the highest lower one at which it does (never below
// kSmallestFitDpi; a form too big even then shows its top left corner). The form's client
// height is the style's; `clientWidthAt` lays the form out for a resolution and answers its
// client width in pixels at 96 dots per inch: text measures differently at each resolution.
using ClientWidthAt = int (*)(ControlFactory& factory, int dpi);
int FitDpi(ControlFactory& factory, const FormStyle& style, ClientWidthAt clientWidthAt);
