// The floor of a window start: the calls of a start that a window with the main window's
// controls cannot avoid, and nothing besides. The instance mutex, the platform queries, the
// driver service and the 7 registers read (4 requests each, on a device handle of its own);
// then the themed common controls, the window with its menu, the two fonts, the 4 boxes, the
// 38 labels and the legend, the 38 drop-down lists filled with their choices (the current
// one selected) and the 2 buttons, all at fixed places, and the window shown and painted.
// Exits with 1 when any step fails, so that a broken setup is not timed as a fast one.
#include <windows.h>
// After windows.h, whose declarations it needs.
#include <commctrl.h>

#include <string>

#include "regs/Codec.h"
#include "tests/bench/Floor.h"

namespace {

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_DESTROY) {
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

HWND Child(HWND parent, const char* className, const char* text, DWORD style, int left, int top,
           int width, int height, HFONT font) {
  HWND child = CreateWindowExA(0, className, text, WS_CHILD | WS_VISIBLE | style, left, top, width,
                               height, parent, nullptr, GetModuleHandleA(nullptr), nullptr);
  if (child != nullptr) SendMessageA(child, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  return child;
}

// Where field `index` (table order) stands: its label's left, its list's left and width, and
// the top of both, in the window; the boxes' columns of the main window.
struct Place {
  int label, list, width, top;
};

Place FieldPlace(int index) {
  if (index < 11) return {16, 176, 113, 32 + 24 * index};          // timing box
  if (index < 21) return {312, 472, 113, 32 + 24 * (index - 11)};  // configuration box
  if (index < 25) {                                                // the clock block's two columns
    int row = (index - 21) % 2, column = (index - 21) / 2;
    return {312 + 144 * column, 376 + 144 * column, 65, 280 + 24 * row};
  }
  if (index < 31) return {16, 104, 80, 368 + 24 * (index - 25)};  // link box, left column
  return {208, 336, 80, 368 + 24 * (index - 31)};                 // link box, right column
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show) {
  using namespace floor_calls;
  if (!TakeInstance()) return 1;
  if (!PlatformQueries() || !StartDriverService()) return 1;
  if (!ReadGroup(DramGroup) || !ReadGroup(LinkGroup)) return 1;

  INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES};
  InitCommonControlsEx(&controls);
  WNDCLASSA wc = {};
  wc.lpfnWndProc = WindowProc;
  wc.hInstance = instance;
  wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = "MvnFloorWindow";
  if (!RegisterClassA(&wc)) return 1;

  HMENU bar = CreateMenu();
  HMENU file = CreatePopupMenu();
  AppendMenuA(file, MF_STRING, 1, "Save ...");
  AppendMenuA(file, MF_STRING, 2, "Load ...");
  AppendMenuA(file, MF_SEPARATOR, 0, nullptr);
  AppendMenuA(file, MF_STRING, 3, "Apply Settings at Startup");
  AppendMenuA(file, MF_STRING, 4, "Remove Startup settings");
  AppendMenuA(file, MF_SEPARATOR, 0, nullptr);
  AppendMenuA(file, MF_STRING, 5, "Exit");
  AppendMenuA(bar, MF_POPUP | MF_STRING, reinterpret_cast<UINT_PTR>(file), "File");
  AppendMenuA(bar, MF_STRING, 6, "About");

  RECT frame = {0, 0, 597, 608};
  const DWORD style = WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
  AdjustWindowRectEx(&frame, style, TRUE, 0);
  HWND window = CreateWindowExA(0, "MvnFloorWindow", "Morvane", style, CW_USEDEFAULT, CW_USEDEFAULT,
                                frame.right - frame.left, frame.bottom - frame.top, nullptr, bar,
                                instance, nullptr);
  if (window == nullptr) return 1;
  HFONT font = CreateFontA(-11, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                           OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                           DEFAULT_PITCH | FF_DONTCARE, "MS Sans Serif");
  HFONT legendFont = CreateFontA(-13, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                                 OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                                 DEFAULT_PITCH | FF_DONTCARE, "MS Sans Serif");

  const DWORD box = BS_GROUPBOX | WS_CLIPSIBLINGS;
  Child(window, "BUTTON", "Timing Parameters", box, 8, 8, 289, 329, font);
  Child(window, "BUTTON", "Configuration Parameters", box, 304, 8, 289, 329, font);
  Child(window, "BUTTON", "Link Parameters", box, 8, 344, 585, 201, font);
  Child(window, "BUTTON", "", box, 8, 552, 585, 49, font);
  int index = 0;
  for (const RegisterField& field : AllFields()) {
    const Place at = FieldPlace(index++);
    Child(window, "STATIC", field.label, SS_LEFTNOWORDWRAP | SS_NOPREFIX, at.label, at.top + 4,
          at.list - at.label - 4, 13, font);
    int count = 0;
    for (const FieldChoice* choice : *field.choices) {
      if (choice == nullptr || choice == &NoChoice) break;
      ++count;
    }
    HWND list =
        Child(window, "COMBOBOX", "", CBS_DROPDOWN | CBS_AUTOHSCROLL | WS_VSCROLL | WS_TABSTOP,
              at.list, at.top, at.width, 21 + 13 * count + 2, font);
    if (list == nullptr) return 1;
    const FieldChoice* current = CurrentChoice(field);
    int selected = -1;
    int item = 0;
    for (const FieldChoice* choice : *field.choices) {
      if (choice == nullptr || choice == &NoChoice) break;
      if (choice == current) selected = item;
      SendMessageA(list, CB_ADDSTRING, 0,
                   reinterpret_cast<LPARAM>(ChoiceDisplayText(field, *choice).c_str()));
      ++item;
    }
    SendMessageA(list, CB_SETCURSEL, static_cast<WPARAM>(selected), 0);
  }
  Child(window, "STATIC", "* Indicates a reserved value", SS_LEFTNOWORDWRAP | SS_NOPREFIX, 80, 312,
        166, 16, legendFont);
  Child(window, "BUTTON", "Refresh", BS_PUSHBUTTON | WS_TABSTOP, 32, 566, 75, 25, font);
  Child(window, "BUTTON", "Set", BS_PUSHBUTTON | WS_TABSTOP | WS_DISABLED, 136, 566, 75, 25, font);

  ShowWindow(window, show);
  UpdateWindow(window);
  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    if (IsDialogMessageA(window, &msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  DeleteObject(font);
  DeleteObject(legendFont);
  return 0;
}
