// The windows for real under Wine: this program, packed with the simulated driver, runs
// windowed mode over the simulated chip on its main thread while a second thread acts as the
// user with window messages and keys: it checks the window's frame, changes lists, presses
// "Set" and "Refresh", saves and loads through the real file dialog, opens the About window and
// closes it with Escape and with its close button, takes screenshots and leaves by File, Exit.
// Whatever the screen, both windows must stand whole inside its work area with every control
// inside them, and each screenshot must show a window.
// usage: mvn_ui_window_test.exe OUTPUT-FOLDER [--dpi DPI] [--screen WIDTHxHEIGHT] [--layout]
//        (screenshots and saved files go to OUTPUT-FOLDER; the screen must have DPI dots per
//        inch, 96 unless given, and the size given; with --layout only the windows' frames and
//        controls are checked and photographed)
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "app/Startup.h"
#include "hw/DeviceDriver.h"
#include "os/win32/WinApi.h"
#include "tests/wine/ui/Png.h"
#include "ui/Aboutform.h"
#include "ui/Setregform.h"
#include "ui/win32/Win32Controls.h"
#include "ui/win32/Win32Ui.h"

namespace {

int failures = 0;
std::string outputFolder;
bool layoutOnly = false;  // only the layout checks and screenshots, then leave
int expectedDpi = 96;
int expectedWidth = 0, expectedHeight = 0;  // the screen's size, when given
DWORD uiThread = 0;                         // runs windowed mode

void Check(bool ok, const std::string& what) {
  std::printf("%s: %s\n", ok ? "ok" : "FAIL", what.c_str());
  std::fflush(stdout);
  if (!ok) ++failures;
}

template <typename Condition>
bool WaitFor(Condition condition, int milliseconds = 10000) {
  for (int waited = 0; waited < milliseconds; waited += 50) {
    if (condition()) return true;
    Sleep(50);
  }
  return condition();
}

std::string Text(HWND hwnd) {
  char buffer[1024] = {};
  SendMessageA(hwnd, WM_GETTEXT, sizeof buffer, reinterpret_cast<LPARAM>(buffer));
  return buffer;
}

std::string ClassOf(HWND hwnd) {
  char name[64] = {};
  GetClassNameA(hwnd, name, sizeof name);
  return name;
}

// The child of `parent` of the given class whose top left stands at (left, top) of the
// parent's client area (96 dots per inch here), or null.
HWND ChildAt(HWND parent, const char* className, int left, int top) {
  for (HWND child = GetWindow(parent, GW_CHILD); child != nullptr;
       child = GetWindow(child, GW_HWNDNEXT)) {
    RECT r;
    GetWindowRect(child, &r);
    POINT p = {r.left, r.top};
    ScreenToClient(parent, &p);
    if (p.x == left && p.y == top && lstrcmpiA(ClassOf(child).c_str(), className) == 0) {
      return child;
    }
  }
  return nullptr;
}

std::vector<HWND> ChildrenOfClass(HWND parent, const char* className) {
  std::vector<HWND> found;
  for (HWND child = GetWindow(parent, GW_CHILD); child != nullptr;
       child = GetWindow(child, GW_HWNDNEXT)) {
    if (lstrcmpiA(ClassOf(child).c_str(), className) == 0) found.push_back(child);
  }
  return found;
}

// The window behind a control of the window logic.
template <typename Control>
HWND HandleOf(Control& control) {
  return dynamic_cast<win32ui::ChildWindow&>(control).hwnd;
}

// The screen rectangle the text of a label takes in the font it really got.
RECT TextRect(HWND label) {
  RECT r;
  GetWindowRect(label, &r);
  HDC dc = GetDC(label);
  HGDIOBJ previous =
      SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageA(label, WM_GETFONT, 0, 0)));
  RECT extent = {0, 0, 0, 0};
  std::string text = Text(label);
  DrawTextA(dc, text.c_str(), -1, &extent, DT_CALCRECT | DT_NOPREFIX | DT_EXPANDTABS);
  SelectObject(dc, previous);
  ReleaseDC(label, dc);
  return {r.left, r.top, r.left + extent.right - extent.left, r.top + extent.bottom - extent.top};
}

bool Inside(const RECT& inner, const RECT& outer) {
  return inner.left >= outer.left && inner.right <= outer.right && inner.top >= outer.top &&
         inner.bottom <= outer.bottom;
}

// Every field's label stands whole: its text ends before its list starts and inside its
// group box. The label is found by its binding, as the drive tool finds it: the window makes
// each field's label right before its list, so the label has the list's identifier less one.
void CheckLabelsFit(HWND window, const std::string& dpi) {
  TSetDRAMRegisterForm& form = *SetDRAMRegisterForm;
  HWND boxes[] = {HandleOf(form.TimingGroupBox), HandleOf(form.GroupBox2),
                  HandleOf(form.GroupBox3)};
  int whole = 0;
  std::string faults;
  for (ChoiceBox* list : form.BoundLists()) {
    HWND listWindow = HandleOf(*list);
    HWND label = GetDlgItem(window, GetDlgCtrlID(listWindow) - 1);
    if (label == nullptr || ClassOf(label) != "Static" || Text(label) != list->Field->label) {
      faults += std::string(" no label bound to ") + list->Field->key + ";";
      continue;
    }
    RECT text = TextRect(label), at, listRect, boxRect = {};
    GetWindowRect(label, &at);
    GetWindowRect(listWindow, &listRect);
    for (HWND box : boxes) {
      RECT r;
      GetWindowRect(box, &r);
      if (Inside(listRect, r)) boxRect = r;
    }
    bool ok = at.right >= text.right && text.right <= listRect.left && at.right <= listRect.left &&
              Inside(text, boxRect);
    if (ok) {
      ++whole;
    } else {
      faults += " \"" + Text(label) + "\" ends at " + std::to_string(text.right - boxRect.left) +
                ", its list starts at " + std::to_string(listRect.left - boxRect.left) + ";";
    }
  }
  Check(whole == kFieldCount, dpi + ": " + std::to_string(whole) +
                                  " of 38 labels whole, left of their lists, in their boxes" +
                                  faults);
}

// The About window's labels end inside its client area.
void CheckAboutLabelsFit(HWND about, const std::string& dpi) {
  RECT client;
  GetClientRect(about, &client);
  MapWindowPoints(about, nullptr, reinterpret_cast<POINT*>(&client), 2);
  std::string faults;
  for (HWND label : ChildrenOfClass(about, "Static")) {
    if (!Inside(TextRect(label), client)) faults += " \"" + Text(label) + "\"";
  }
  Check(faults.empty(), dpi + ": every About label inside the window" + faults);
}

HWND Descendant(HWND parent, const char* className) {
  for (HWND child = GetWindow(parent, GW_CHILD); child != nullptr;
       child = GetWindow(child, GW_HWNDNEXT)) {
    if (lstrcmpiA(ClassOf(child).c_str(), className) == 0) return child;
    if (HWND inner = Descendant(child, className)) return inner;
  }
  return nullptr;
}

// A visible top-level window of this thread's windows' class other than `except`.
HWND VisibleForm(const char* caption, HWND except = nullptr) {
  HWND found = nullptr;
  for (HWND w = FindWindowExA(nullptr, nullptr, "MorvaneForm", caption); w != nullptr;
       w = FindWindowExA(nullptr, w, "MorvaneForm", caption)) {
    if (w != except && IsWindowVisible(w)) found = w;
  }
  return found;
}

// A visible dialog owned by `owner` with that caption; with `messageBox`, only one that
// shows a message (its text is the static control 0xFFFF), otherwise only one that does not.
HWND OwnedDialog(HWND owner, const char* caption, bool messageBox) {
  for (HWND w = FindWindowExA(nullptr, nullptr, "#32770", caption); w != nullptr;
       w = FindWindowExA(nullptr, w, "#32770", caption)) {
    if (!IsWindowVisible(w) || GetWindow(w, GW_OWNER) != owner) continue;
    if ((GetDlgItem(w, 0xFFFF) != nullptr) == messageBox) return w;
  }
  return nullptr;
}

void Key(HWND hwnd, UINT key) {
  PostMessageA(hwnd, WM_KEYDOWN, key, 1);
  PostMessageA(hwnd, WM_KEYUP, key, 0xC0000001);
  Sleep(150);
}

// Chooses menu items as the keyboard does: the menu bar, then the given keys.
void Menu(HWND window, std::initializer_list<UINT> keys) {
  PostMessageA(window, WM_SYSCOMMAND, SC_KEYMENU, 0);
  Sleep(300);
  for (UINT key : keys) Key(window, key);
}

void Click(HWND button) {
  PostMessageA(button, BM_CLICK, 0, 0);
}

std::string RectText(const RECT& r) {
  return std::to_string(r.right - r.left) + " x " + std::to_string(r.bottom - r.top) + " at " +
         std::to_string(r.left) + "," + std::to_string(r.top);
}

// Whether a picture shows a window: a fair share of its pixels in the windows' background
// colour, and some dark ones (text, frames). An empty picture, an all black one, or one of the
// bare screen has next to none of one or the other.
bool ShowsAWindow(const std::vector<std::uint8_t>& rgb, std::string* what) {
  COLORREF face = GetSysColor(COLOR_BTNFACE);
  std::size_t pixels = rgb.size() / 3, faced = 0, dark = 0;
  for (std::size_t i = 0; i + 2 < rgb.size(); i += 3) {
    if (rgb[i] == GetRValue(face) && rgb[i + 1] == GetGValue(face) &&
        rgb[i + 2] == GetBValue(face)) {
      ++faced;
    }
    if (rgb[i] + rgb[i + 1] + rgb[i + 2] < 3 * 96) ++dark;
  }
  if (pixels == 0) {
    *what = "no pixels";
    return false;
  }
  char shares[64];
  std::snprintf(shares, sizeof shares, "%.1f%% background, %.1f%% dark", 100.0 * faced / pixels,
                100.0 * dark / pixels);
  *what = shares;
  return faced * 5 >= pixels && dark * 500 >= pixels && dark * 2 < pixels;
}

// A screenshot of `area` of the screen as `name` in the output folder; checks that it was
// written and that it shows `what`, a window.
void Capture(RECT area, const std::string& name, const std::string& what) {
  int width = area.right - area.left, height = area.bottom - area.top;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
  HGDIOBJ previous = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, width, height, screen, area.left, area.top, SRCCOPY);
  SelectObject(memory, previous);
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;  // top row first
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  std::vector<std::uint8_t> bgrx(static_cast<std::size_t>(std::max(width, 0)) *
                                 std::max(height, 0) * 4);
  int rows = GetDIBits(memory, bitmap, 0, height, bgrx.data(), &info, DIB_RGB_COLORS);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  std::vector<std::uint8_t> rgb;
  rgb.reserve(static_cast<std::size_t>(std::max(width, 0)) * std::max(height, 0) * 3);
  for (std::size_t i = 0; i < bgrx.size(); i += 4) {
    rgb.insert(rgb.end(), {bgrx[i + 2], bgrx[i + 1], bgrx[i]});
  }
  std::string path = outputFolder + "\\" + name;
  bool written = height > 0 && rows == height && WritePng(path, width, height, rgb);
  Check(written, "screenshot of " + what + ": " + path + " (" + RectText(area) + ")");
  std::string contents;
  bool shows = written && ShowsAWindow(rgb, &contents);
  Check(shows, "the screenshot shows " + what + ": " + contents);
}

void CaptureWindow(HWND window, const std::string& name, const std::string& what) {
  RECT r;
  GetWindowRect(window, &r);
  Capture(r, name, what);
}

// The whole window stands inside the work area, and every control of it inside its client area
// and visible.
void CheckOnScreen(HWND window, const std::string& what) {
  RECT frame, work, client;
  GetWindowRect(window, &frame);
  SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
  Check(Inside(frame, work),
        what + " (" + RectText(frame) + ") inside the work area (" + RectText(work) + ")");
  GetClientRect(window, &client);
  MapWindowPoints(window, nullptr, reinterpret_cast<POINT*>(&client), 2);
  int controls = 0;
  std::string faults;
  for (HWND child = GetWindow(window, GW_CHILD); child != nullptr;
       child = GetWindow(child, GW_HWNDNEXT)) {
    ++controls;
    RECT r;
    GetWindowRect(child, &r);
    if (!IsWindowVisible(child) || !Inside(r, client)) {
      faults.append(" ").append(ClassOf(child)).append(" \"").append(Text(child));
      faults.append("\" (").append(RectText(r));
      faults.append(IsWindowVisible(child) ? ");" : ", hidden);");
    }
  }
  Check(controls > 0 && faults.empty(), what + ": all " + std::to_string(controls) +
                                            " controls visible inside the client area (" +
                                            RectText(client) + ")" + faults);
}

std::string ReadFile(const std::string& path) {
  std::string contents;
  if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) contents.append(buffer, n);
    std::fclose(f);
  }
  return contents;
}

// The file dialog of "Save ..." or "Load ...": checks its settings, types `name` into its
// file name box and confirms it.
void ChooseFile(HWND window, const std::string& name, const char* command) {
  HWND dialog = nullptr;
  bool shown = WaitFor([&] { return (dialog = OwnedDialog(window, "Open", false)) != nullptr; });
  Check(shown, std::string(command) + " shows the file dialog titled \"Open\"");
  if (!shown) return;
  HWND types = GetDlgItem(dialog, 0x470);  // the file type list
  Check(types != nullptr && SendMessageA(types, CB_GETCOUNT, 0, 0) == 2,
        std::string(command) + ": two file types");
  char first[128] = {}, second[128] = {};
  SendMessageA(types, CB_GETLBTEXT, 0, reinterpret_cast<LPARAM>(first));
  SendMessageA(types, CB_GETLBTEXT, 1, reinterpret_cast<LPARAM>(second));
  Check(std::string(first) == "Register files (*.mvn)" && std::string(second) == "All Files (*.*)",
        std::string(command) + ": file types \"" + first + "\", \"" + second + "\"");
  Check(SendMessageA(types, CB_GETCURSEL, 0, 0) == 0,
        std::string(command) + ": register files offered first");
  HWND box = GetDlgItem(dialog, 0x480);  // a plain edit, or the combo box 0x47C holding one
  if (box == nullptr) box = Descendant(GetDlgItem(dialog, 0x47C), "Edit");
  Check(box != nullptr, std::string(command) + ": file name box found");
  if (box == nullptr) return;
  SendMessageA(box, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(name.c_str()));
  Click(GetDlgItem(dialog, IDOK));
  Check(WaitFor([&] { return !IsWindow(dialog) || !IsWindowVisible(dialog); }),
        std::string(command) + ": the dialog closes");
}

// Answers the message box of `window` captioned `caption` with `button`; returns its text.
std::string AnswerMessage(HWND window, const char* caption, int button) {
  HWND box = nullptr;
  if (!WaitFor([&] { return (box = OwnedDialog(window, caption, true)) != nullptr; })) return {};
  std::string text = Text(GetDlgItem(box, 0xFFFF));
  Click(GetDlgItem(box, button));
  WaitFor([&] { return !IsWindow(box) || !IsWindowVisible(box); });
  return text;
}

void ActAsTheUserOnce();

// Whatever happened, windowed mode must end so that the test ends.
void ActAsTheUser() {
  ActAsTheUserOnce();
  HWND window = VisibleForm("Morvane V0.50 QV beta");
  if (window != nullptr) PostMessageA(window, WM_CLOSE, 0, 0);
  if (!WaitFor([] { return VisibleForm("Morvane V0.50 QV beta") == nullptr; }, 5000)) {
    PostThreadMessageA(uiThread, WM_QUIT, 0, 0);
  }
}

void ActAsTheUserOnce() {
  const std::string caption = "Morvane V0.50 QV beta";
  HWND window = nullptr;
  bool found = WaitFor([&] { return (window = VisibleForm(caption.c_str())) != nullptr; }, 120000);
  Check(found, "the main window appears");
  if (!found) return;
  Sleep(500);

  // The frame: fixed size, minimize but no maximize, the client area of the layout drawn at the
  // screen's resolution or, where the window would not fit the work area there, at the highest
  // lower one at which it does; centred in the work area.
  RECT client, frame, work;
  GetClientRect(window, &client);
  GetWindowRect(window, &frame);
  SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
  LONG style = GetWindowLongA(window, GWL_STYLE);
  HDC screen = GetDC(nullptr);
  int screenDpi = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  const std::string dpiText = std::to_string(screenDpi) + " dpi";
  Check(screenDpi == expectedDpi, "the screen has " + dpiText);
  int screenWidth = GetSystemMetrics(SM_CXSCREEN), screenHeight = GetSystemMetrics(SM_CYSCREEN);
  Check(expectedWidth == 0 || (screenWidth == expectedWidth && screenHeight == expectedHeight),
        "the screen is " + std::to_string(screenWidth) + " x " + std::to_string(screenHeight));
  TSetDRAMRegisterForm& form = *SetDRAMRegisterForm;
  const FormStyle& drawn = static_cast<win32ui::Win32Form&>(form.Window).style();
  const int dpi = drawn.dpi;
  std::printf("main window %s, client %ld x %ld, layout %d x 608 drawn at %d dpi\n",
              RectText(frame).c_str(), client.right, client.bottom, drawn.clientWidth, dpi);
  Check(drawn.clientWidth >= 597 && client.right == AtDpi(drawn.clientWidth, dpi) &&
            client.bottom == AtDpi(608, dpi),
        "client area " + std::to_string(client.right) + " x " + std::to_string(client.bottom) +
            " for a layout " + std::to_string(drawn.clientWidth) + " x 608 at " +
            std::to_string(dpi) + " dpi");
  // Drawn smaller only where it has to be: one dot per inch more would not fit.
  int frameWidth = (frame.right - frame.left) - client.right;
  int frameHeight = (frame.bottom - frame.top) - client.bottom;
  bool tight = AtDpi(drawn.clientWidth, dpi + 1) + frameWidth > work.right - work.left ||
               AtDpi(608, dpi + 1) + frameHeight > work.bottom - work.top;
  Check(dpi == screenDpi || (dpi < screenDpi && tight),
        "drawn at " + std::to_string(dpi) + " dpi on a screen of " + dpiText);
  Check((style & WS_MINIMIZEBOX) && !(style & WS_MAXIMIZEBOX) && !(style & WS_THICKFRAME) &&
            (style & WS_SYSMENU),
        "fixed border with system menu and minimize button only");
  int dx = (frame.left + frame.right) / 2 - (work.left + work.right) / 2;
  int dy = (frame.top + frame.bottom) / 2 - (work.top + work.bottom) / 2;
  Check(dx >= -1 && dx <= 1 && dy >= -1 && dy <= 1, "centred in the work area");
  CheckOnScreen(window, "the main window");
  Check(GetMenu(window) != nullptr && GetMenuItemCount(GetMenu(window)) == 2,
        "menu bar with File and About");

  // The lists: 38, each filled and showing the simulated chip's power-on values.
  std::vector<HWND> lists = ChildrenOfClass(window, "ComboBox");
  Check(lists.size() == 38, std::to_string(lists.size()) + " lists");
  bool allFilled = true;
  for (HWND list : lists) {
    LRESULT count = SendMessageA(list, CB_GETCOUNT, 0, 0);
    if (count < 2 || SendMessageA(list, CB_GETITEMDATA, 0, 0) == 0 || Text(list).empty()) {
      allFilled = false;
    }
  }
  Check(allFilled, "every list holds its choices and shows a text");
  HWND cas = HandleOf(form.CASLatency);
  HWND widthOut = HandleOf(form.LinkWidthOut);
  HWND trc = HandleOf(form.RowCycleTime);
  HWND setButton = HandleOf(form.SetRegistersButton);
  HWND refreshButton = HandleOf(form.RefreshButton);
  Check(ChildAt(window, "Button", AtDpi(8 + 128, dpi), AtDpi(552 + 14, dpi)) == setButton &&
            ChildAt(window, "Button", AtDpi(8 + 24, dpi), AtDpi(552 + 14, dpi)) == refreshButton,
        "the buttons at their places");
  CheckLabelsFit(window, dpiText);
  if (layoutOnly) {
    CaptureWindow(window, "main-window-" + std::to_string(screenDpi) + "dpi.png",
                  "the main window");
    Menu(window, {VK_RIGHT, VK_RETURN});
    HWND about = nullptr;
    if (WaitFor([&] { return (about = VisibleForm(caption.c_str(), window)) != nullptr; })) {
      Sleep(300);
      CheckAboutLabelsFit(about, dpiText);
      CheckOnScreen(about, "the About window");
      CaptureWindow(about, "about-window-" + std::to_string(screenDpi) + "dpi.png",
                    "the About window");
      Key(about, VK_ESCAPE);
      WaitFor([&] { return !IsWindowVisible(about) && IsWindowEnabled(window); });
    } else {
      Check(false, "About shows the About window");
    }
    return;
  }
  Check(cas && widthOut && trc && setButton && refreshButton, "lists and buttons found");
  if (!(cas && widthOut && trc && setButton && refreshButton)) return;
  Check(Text(setButton) == "Set" && Text(refreshButton) == "Refresh", "button captions");
  Check(Text(cas) == "2.5", "CAS latency shows the chip's 2.5: " + Text(cas));
  Check(Text(widthOut) == "16 bits", "Width Out shows 16 bits: " + Text(widthOut));
  Check(!IsWindowEnabled(setButton), "\"Set\" starts disabled");
  CaptureWindow(window, "main-window.png", "the main window");

  // The keyboard starts in the first list; Tab runs through the timing box, then the buttons
  // (skipping the disabled "Set"), then the configuration box.
  HWND casEdit = FindWindowExA(cas, nullptr, "Edit", nullptr);
  auto focus = [] {
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    return GetGUIThreadInfo(uiThread, &info) ? info.hwndFocus : nullptr;
  };
  Check(casEdit != nullptr && focus() == casEdit, "the keyboard starts in the CAS latency list");
  for (int i = 0; i < 11; ++i) Key(focus(), VK_TAB);
  Check(focus() == refreshButton, "eleven Tabs lead to \"Refresh\"");
  Key(focus(), VK_TAB);
  HWND bypass = HandleOf(form.ReadWriteQBypass);
  Check(bypass != nullptr && GetParent(focus()) == bypass,
        "the next Tab leads past the disabled \"Set\" into the configuration box");
  for (int i = 0; i < 27; ++i) Key(focus(), VK_TAB);
  Check(GetParent(focus()) == cas, "Tab comes round to the CAS latency list again");

  // The opened list shows every item.
  HWND trcEdit = FindWindowExA(trc, nullptr, "Edit", nullptr);
  HWND widthEdit = FindWindowExA(widthOut, nullptr, "Edit", nullptr);
  Check(casEdit && trcEdit && widthEdit, "the lists are editable");
  if (!(casEdit && trcEdit && widthEdit)) return;
  Key(trcEdit, VK_F4);
  bool dropped = WaitFor([&] { return SendMessageA(trc, CB_GETDROPPEDSTATE, 0, 0) != 0; }, 3000);
  Check(dropped, "F4 opens the Trc list");
  if (dropped) {
    COMBOBOXINFO info = {};
    info.cbSize = sizeof info;
    GetComboBoxInfo(trc, &info);
    RECT list = {}, inside = {};
    GetWindowRect(info.hwndList, &list);
    GetClientRect(info.hwndList, &inside);
    auto item = static_cast<int>(SendMessageA(info.hwndList, LB_GETITEMHEIGHT, 0, 0));
    int rows = item > 0 ? inside.bottom / item : 0;
    Check(rows >= 16 && SendMessageA(info.hwndList, LB_GETTOPINDEX, 0, 0) == 0,
          "the opened Trc list shows all its 16 items: " + std::to_string(rows) + " rows of " +
              std::to_string(item) + " pixels");
    RECT shot = frame;
    shot.bottom = std::max(shot.bottom, list.bottom + 4);
    Capture(shot, "dropped-list.png", "the window with the opened list");
    Key(trcEdit, VK_F4);
    WaitFor([&] { return SendMessageA(trc, CB_GETDROPPEDSTATE, 0, 0) == 0; }, 3000);
  }
  Check(!IsWindowEnabled(setButton), "opening and closing a list changes nothing");

  // The user changes two lists with the arrow keys: "Set" becomes enabled.
  Key(casEdit, VK_DOWN);
  Check(WaitFor([&] { return Text(cas) == "3.5 *"; }),
        "Down picks the next CAS latency: " + Text(cas));
  Check(WaitFor([&] { return IsWindowEnabled(setButton) != 0; }), "a pick enables \"Set\"");
  Key(widthEdit, VK_UP);
  Check(WaitFor([&] { return Text(widthOut) == "8 bits"; }),
        "Up picks Width Out 8 bits: " + Text(widthOut));
  // Typed text gives way to the current choice at once.
  PostMessageA(casEdit, WM_CHAR, 'x', 1);
  Sleep(300);
  Check(Text(cas) == "3.5 *", "typed text returns to the current choice: " + Text(cas));

  // "Set" writes, shows the read-back (the chip keeps its link width) and disables itself.
  Click(setButton);
  Check(WaitFor([&] { return !IsWindowEnabled(setButton); }), "\"Set\" disables itself");
  Check(Text(cas) == "3.5 *", "CAS latency took: " + Text(cas));
  Check(Text(widthOut) == "16 bits", "the read-back shows the chip's Width Out: " + Text(widthOut));
  Click(refreshButton);
  Sleep(300);
  Check(Text(cas) == "3.5 *", "\"Refresh\" reads the written value back: " + Text(cas));

  // A link frequency code without a choice, set in the chip behind the window's back (the
  // window's thread waits for messages meanwhile): "UNKNOWN" with nothing selected.
  HWND linkFreq = HandleOf(form.LinkFreq);
  DeviceDriver->Open();
  std::uint32_t link = DeviceDriver->ReadPciConfig(0, 0x18, 0, 0x88);
  DeviceDriver->WritePciConfig(0, 0x18, 0, 0x88, (link & ~0xF00u) | 0x900u);
  DeviceDriver->Close();
  Click(refreshButton);
  Check(WaitFor([&] { return Text(linkFreq) == "UNKNOWN"; }),
        "a code without a choice shows UNKNOWN: " + Text(linkFreq));
  Check(SendMessageA(linkFreq, CB_GETCURSEL, 0, 0) == CB_ERR, "with nothing selected");
  DeviceDriver->Open();
  DeviceDriver->WritePciConfig(0, 0x18, 0, 0x88, link);
  DeviceDriver->Close();
  Click(refreshButton);
  Check(WaitFor([&] { return Text(linkFreq) == "5.0x"; }), "and the chip's own code again");

  // "Save ..." through the real dialog: a new name gets the register file extension.
  const std::string saved = outputFolder + "\\ui-saved";
  DeleteFileA((saved + ".mvn").c_str());
  Menu(window, {VK_DOWN, VK_RETURN});
  ChooseFile(window, saved, "Save");
  Check(WaitFor([&] {
          return GetFileAttributesA((saved + ".mvn").c_str()) != INVALID_FILE_ATTRIBUTES;
        }),
        "saved as " + saved + ".mvn");
  // The window writes the file while this thread looks: wait for the whole of it.
  Check(WaitFor([&] {
          std::string contents = ReadFile(saved + ".mvn");
          return contents.find("[DRAM]") != std::string::npos &&
                 contents.find("Tcl=6") != std::string::npos &&
                 contents.find("ResponseDataBufCnt=") != std::string::npos;
        }),
        "the file holds both sections and the new CAS latency");
  Check(!IsWindowEnabled(setButton), "saving leaves \"Set\" alone");

  // The About window: modal, closed by Escape with OK and by its close button with Cancel.
  for (int round = 0; round < 2; ++round) {
    Menu(window, {VK_RIGHT, VK_RETURN});
    HWND about = nullptr;
    bool shown = WaitFor([&] { return (about = VisibleForm(caption.c_str(), window)) != nullptr; });
    Check(shown, "About shows the About window");
    if (!shown) break;
    Sleep(300);
    Check(!IsWindowEnabled(window), "the main window takes no input meanwhile");
    Check(GetWindow(about, GW_OWNER) == window, "the About window belongs to the main window");
    std::string texts;
    for (HWND label : ChildrenOfClass(about, "Static")) texts += Text(label) + "|";
    Check(texts.find("Morvane|") != std::string::npos &&
              texts.find("V0.50 QV beta|") != std::string::npos &&
              texts.find("Aug 2004|") != std::string::npos,
          "About texts: " + texts);
    if (round == 0) {
      CheckAboutLabelsFit(about, dpiText);
      CheckOnScreen(about, "the About window");
      CaptureWindow(about, "about-window.png", "the About window");
      Key(about, VK_ESCAPE);
    } else {
      PostMessageA(about, WM_SYSCOMMAND, SC_CLOSE, 0);
    }
    Check(WaitFor([&] { return !IsWindowVisible(about) && IsWindowEnabled(window); }),
          round == 0 ? "Escape closes it" : "the close button closes it");
    SendMessageA(window, WM_NULL, 0, 0);
    int expected = round == 0 ? kModalOk : kModalCancel;
    Check(FormAbout != nullptr && FormAbout->Window.ModalResult() == expected,
          "modal result " + std::to_string(FormAbout ? FormAbout->Window.ModalResult() : -1));
  }

  // Back to the chip's value, written with "Set"; saving over the file asks first.
  Key(casEdit, VK_UP);
  Check(WaitFor([&] { return Text(cas) == "2.5"; }), "Up picks 2.5 again");
  Click(setButton);
  Check(WaitFor([&] { return !IsWindowEnabled(setButton); }), "\"Set\" writes it");
  Menu(window, {VK_DOWN, VK_RETURN});
  ChooseFile(window, saved + ".mvn", "Save");
  std::string question = AnswerMessage(window, "Open", IDYES);
  Check(question == saved + ".mvn already exists.\nDo you want to replace it?",
        "replacing asks first: " + question);
  Check(WaitFor([&] { return ReadFile(saved + ".mvn").find("Tcl=5") != std::string::npos; }),
        "the file was replaced");

  // "Load ..." brings a file's values into the lists and enables "Set".
  std::string other = outputFolder + "\\ui-load.mvn";
  if (std::FILE* f = std::fopen(other.c_str(), "wb")) {
    std::fputs("[DRAM]\r\nTcl=2\r\n[LINK]\r\n", f);
    std::fclose(f);
  }
  Menu(window, {VK_DOWN, VK_DOWN, VK_RETURN});
  ChooseFile(window, other, "Load");
  Check(WaitFor([&] { return Text(cas) == "3.0"; }),
        "the loaded CAS latency is shown: " + Text(cas));
  Check(IsWindowEnabled(setButton) != 0, "loading enables \"Set\"");
  Click(refreshButton);  // the chip was not written: back to its values
  Check(WaitFor([&] { return Text(cas) == "2.5"; }), "\"Refresh\" shows the chip again");

  // File, Exit (the last item) ends the program.
  Menu(window, {VK_DOWN, VK_UP, VK_RETURN});
  Check(WaitFor([&] { return !IsWindow(window); }), "File, Exit closes the main window");
}

// A failure while the windows are built is kept, the first one only, for windowed mode to
// hand back; once the message loop runs it would be shown at once instead.
void CheckCreationFailuresAreKept() {
  win32ui::Win32Factory factory;
  Check(win32ui::Win32Factory::Current() == &factory, "the factory in use is known");
  Check(!factory.Failure(), "a new factory has no failure");
  SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  win32ui::FailCreating("window");
  SetLastError(ERROR_INVALID_WINDOW_HANDLE);
  win32ui::FailCreating("menu");
  Check(factory.Failure() &&
            std::string(factory.Failure()->what()) == "Unable to create the window (error 8)",
        "the first creation failure is kept with its error code");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s OUTPUT-FOLDER [--dpi DPI] [--screen WIDTHxHEIGHT] [--layout]\n",
                 argv[0]);
    return 2;
  }
  outputFolder = argv[1];
  for (int i = 2; i < argc; ++i) {
    std::string option = argv[i];
    if (option == "--layout") {
      layoutOnly = true;
    } else if (option == "--dpi" && i + 1 < argc) {
      expectedDpi = std::atoi(argv[++i]);
    } else if (option == "--screen" && i + 1 < argc) {
      if (std::sscanf(argv[++i], "%dx%d", &expectedWidth, &expectedHeight) != 2) {
        std::fprintf(stderr, "a screen is WIDTHxHEIGHT, not %s\n", argv[i]);
        return 2;
      }
    } else {
      std::fprintf(stderr, "unknown option %s\n", option.c_str());
      return 2;
    }
  }
  os::Install(&os::RealWindows());
  char module[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, module, MAX_PATH);
  ProgramDirectory = ExtractFilePath(module);
  SetCurrentDirectoryA(ProgramDirectory.c_str());
  if (InitDeviceDriver() == 0) {
    std::printf("FAIL: the simulated driver does not start (error %lu)\n", GetLastError());
    return 1;
  }
  CheckCreationFailuresAreKept();
  Check(win32ui::Win32Factory::Current() == nullptr, "no factory once it is gone");
  uiThread = GetCurrentThreadId();
  std::thread user(ActAsTheUser);
  if (std::optional<Exception> failed = RunWindowedMode()) {
    Check(false, std::string("windowed mode failed: ") + failed->what());
  }
  user.join();
  FreeDeviceDriver();
  std::printf("%s: %d failure(s)\n", failures == 0 ? "PASSED" : "FAILED", failures);
  return failures == 0 ? 0 : 1;
}
