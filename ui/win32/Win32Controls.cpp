// The window logic's controls over real Win32 windows, the forms' window procedure, the modal
// show and the message loop.
#include "ui/win32/Win32Controls.h"

#include <commctrl.h>
#include <commdlg.h>

#include <algorithm>
#include <vector>

#include "os/Api.h"
#include "os/Exception.h"

namespace win32ui {

static_assert(kOfnOverwritePrompt == OFN_OVERWRITEPROMPT);
static_assert(kOfnHideReadOnly == OFN_HIDEREADONLY);
static_assert(kOfnExtensionDifferent == OFN_EXTENSIONDIFFERENT);
static_assert(kOfnPathMustExist == OFN_PATHMUSTEXIST);
static_assert(kOfnFileMustExist == OFN_FILEMUSTEXIST);
static_assert(kOfnNoReadOnlyReturn == OFN_NOREADONLYRETURN);
static_assert(kOfnExplorer == OFN_EXPLORER);
static_assert(kOfnEnableSizing == OFN_ENABLESIZING);
static_assert(kMessageYesNo == MB_YESNO && kMessageIconExclamation == MB_ICONEXCLAMATION);
static_assert(kMessageIdYes == IDYES && kMessageIdOk == IDOK);
static_assert(kKeyEscape == VK_ESCAPE);
static_assert((kColorButtonFace & 0xFF) == COLOR_BTNFACE);
static_assert((kColorWindowText & 0xFF) == COLOR_WINDOWTEXT);
static_assert((kColorActiveCaption & 0xFF) == COLOR_ACTIVECAPTION);

namespace {

constexpr char kFormClass[] = "MorvaneForm";

COLORREF Resolve(Color color) {
  return (color & kSystemColor) ? GetSysColor(static_cast<int>(color & 0xFF))
                                : static_cast<COLORREF>(color);
}

std::string WindowText(HWND hwnd) {
  int length = GetWindowTextLengthA(hwnd);
  if (length <= 0) return {};
  std::vector<char> buffer(static_cast<std::size_t>(length) + 1);
  int copied = GetWindowTextA(hwnd, buffer.data(), static_cast<int>(buffer.size()));
  return std::string(buffer.data(), static_cast<std::size_t>(std::max(copied, 0)));
}

}  // namespace

// Where the toolkit cannot go on. While the windows are being built, the first failure is
// kept for RunWindowedMode to hand back instead of running them; the rest of the building
// goes on harmlessly over null windows. Once they run, it is shown at once in the standard
// error box and the program goes on.
void FailCreating(const char* what) {
  Exception failure(std::string("Unable to create the ") + what + " (error " +
                    std::to_string(GetLastError()) + ")");
  Win32Factory* factory = Win32Factory::Current();
  if (factory != nullptr && !factory->Running()) {
    factory->Fail(std::move(failure));
    return;
  }
  os::Windows().MessageBoxA(GetActiveWindow(), ExceptionBoxText(failure.what()).c_str(),
                            kApplicationTitle, MB_OK | MB_ICONHAND);
}

namespace {

// Brackets the program's own changes to a list.
class Updating {
 public:
  explicit Updating(int& counter) : counter_(counter) { ++counter_; }
  ~Updating() { --counter_; }
  Updating(const Updating&) = delete;
  Updating& operator=(const Updating&) = delete;

 private:
  int& counter_;
};

LRESULT CALLBACK FormProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTA*>(lParam);
    auto* form = static_cast<Win32Form*>(create->lpCreateParams);
    form->hwnd = hwnd;
    SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(form));
  }
  auto* form = reinterpret_cast<Win32Form*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
  if (form == nullptr) return DefWindowProcA(hwnd, message, wParam, lParam);
  return form->HandleMessage(message, wParam, lParam);
}

// The common controls and the common dialogs are loaded when the windows first need them,
// not when the program starts: a silent apply at log-on shows no window, and these libraries
// with what they bring in are most of a start's cost. Once loaded they stay until the end.
template <typename Function>
Function LibraryFunction(const char* library, const char* name) {
  HMODULE module = GetModuleHandleA(library);
  if (module == nullptr) module = LoadLibraryA(library);
  if (module == nullptr) return nullptr;
  return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

// The work area of the monitor `window` is on, or of the primary monitor for none. The monitor
// functions are looked up: Windows 95 and NT 4 have none, and a system without them has one
// monitor.
RECT WorkAreaOf(HWND window) {
  using FromWindow = HMONITOR(WINAPI*)(HWND, DWORD);
  using MonitorInfo = BOOL(WINAPI*)(HMONITOR, MONITORINFO*);
  auto fromWindow = LibraryFunction<FromWindow>("user32.dll", "MonitorFromWindow");
  auto monitorInfo = LibraryFunction<MonitorInfo>("user32.dll", "GetMonitorInfoA");
  if (window != nullptr && fromWindow != nullptr && monitorInfo != nullptr) {
    MONITORINFO info = {};
    info.cbSize = sizeof info;
    HMONITOR monitor = fromWindow(window, MONITOR_DEFAULTTONEAREST);
    if (monitor != nullptr && monitorInfo(monitor, &info)) return info.rcWork;
  }
  RECT work;
  if (SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0) && work.right > work.left &&
      work.bottom > work.top) {
    return work;
  }
  return {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
}

// The window styles of a form.
void FormWindowStyles(const FormStyle& style, DWORD* windowStyle, DWORD* extendedStyle) {
  // Not clipping its children: the form paints beneath its group boxes, which leave their
  // insides to it.
  *windowStyle = WS_CAPTION | WS_SYSMENU;
  *extendedStyle = 0;
  if (style.border == BorderStyle::Dialog) {
    *windowStyle |= WS_POPUP;
    *extendedStyle |= WS_EX_DLGMODALFRAME;
  }
  if (style.minimizeButton) *windowStyle |= WS_MINIMIZEBOX;
}

bool IsNt5OrLater() {
  DWORD version = GetVersion();
  return (version & 0x80000000u) == 0 && LOBYTE(LOWORD(version)) >= 5;
}

}  // namespace

// --- Labels

namespace {

// The rectangle a label's text takes on the screen in `font` (a blank's height when empty).
RECT TextExtent(HWND hwnd, HFONT font, const std::string& text) {
  HDC dc = GetDC(hwnd);
  HGDIOBJ previous = SelectObject(dc, font);
  RECT extent = {0, 0, 0, 0};
  DrawTextA(dc, text.empty() ? " " : text.c_str(), -1, &extent,
            DT_CALCRECT | DT_NOPREFIX | DT_EXPANDTABS);
  SelectObject(dc, previous);
  ReleaseDC(hwnd, dc);
  if (text.empty()) extent.right = extent.left;
  return extent;
}

}  // namespace

void Win32Label::SetText(const std::string& text) {
  SetWindowTextA(hwnd, text.c_str());
  // Sized to the text, growing to the right from the label's left edge.
  RECT extent = TextExtent(hwnd, font, text);
  int width = extent.right - extent.left;
  SetWindowPos(hwnd, nullptr, 0, 0, width, extent.bottom - extent.top,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  InvalidateRect(hwnd, nullptr, TRUE);
}

std::string Win32Label::Text() const {
  return WindowText(hwnd);
}

bool Win32Label::TextColor(COLORREF* result) const {
  *result = Resolve(color);
  return true;
}

// --- Drop-down lists

void Win32ComboBox::Clear() {
  Updating updating(updating_);
  SendMessageA(hwnd, CB_RESETCONTENT, 0, 0);
}

void Win32ComboBox::AddItem(const std::string& text, const FieldChoice* choice) {
  Updating updating(updating_);
  LRESULT index = SendMessageA(hwnd, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
  if (index < 0) {
    FailCreating("list items");
    return;
  }
  SendMessageA(hwnd, CB_SETITEMDATA, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(choice));
}

int Win32ComboBox::ItemCount() const {
  return static_cast<int>(SendMessageA(hwnd, CB_GETCOUNT, 0, 0));
}

const FieldChoice* Win32ComboBox::ItemChoice(int index) const {
  if (index < 0 || index >= ItemCount()) return nullptr;
  return reinterpret_cast<const FieldChoice*>(
      SendMessageA(hwnd, CB_GETITEMDATA, static_cast<WPARAM>(index), 0));
}

std::string Win32ComboBox::ItemText(int index) const {
  LRESULT length = SendMessageA(hwnd, CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0);
  if (length < 0) return {};
  std::vector<char> buffer(static_cast<std::size_t>(length) + 1);
  LRESULT copied = SendMessageA(hwnd, CB_GETLBTEXT, static_cast<WPARAM>(index),
                                reinterpret_cast<LPARAM>(buffer.data()));
  return std::string(buffer.data(), static_cast<std::size_t>(std::max<LRESULT>(copied, 0)));
}

int Win32ComboBox::ItemIndex() const {
  return static_cast<int>(SendMessageA(hwnd, CB_GETCURSEL, 0, 0));
}

void Win32ComboBox::SetItemIndex(int index) {
  Updating updating(updating_);
  SendMessageA(hwnd, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

std::string Win32ComboBox::Text() const {
  return WindowText(hwnd);
}

void Win32ComboBox::SetText(const std::string& text) {
  Updating updating(updating_);
  SetWindowTextA(hwnd, text.c_str());
}

void Win32ComboBox::SetDropDownCount(int rows) {
  Updating updating(updating_);
  // Common controls 6 take the row count; older ones (which answer FALSE) the height the list
  // drops to.
  if (SendMessageA(hwnd, CB_SETMINVISIBLE, static_cast<WPARAM>(rows), 0) != FALSE) return;
  RECT closed;
  GetWindowRect(hwnd, &closed);
  auto itemHeight = static_cast<int>(SendMessageA(hwnd, CB_GETITEMHEIGHT, 0, 0));
  int dropped = (closed.bottom - closed.top) + rows * itemHeight + 2;
  SetWindowPos(hwnd, nullptr, 0, 0, closed.right - closed.left, dropped,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Win32ComboBox::Notify(UINT code) {
  if (updating_ > 0) return;
  if ((code == CBN_SELCHANGE || code == CBN_EDITCHANGE) && OnChange) OnChange(*this);
}

// --- Buttons

void Win32Button::SetEnabled(bool enabled) {
  // A disabled button cannot keep the keyboard: it goes on to the next control.
  if (!enabled && GetFocus() == hwnd) {
    HWND next = GetNextDlgTabItem(GetParent(hwnd), hwnd, FALSE);
    if (next != nullptr && next != hwnd) SetFocus(next);
  }
  EnableWindow(hwnd, enabled ? TRUE : FALSE);
}

bool Win32Button::Enabled() const {
  return IsWindowEnabled(hwnd) != 0;
}

void Win32Button::Notify(UINT code) {
  if (code == BN_CLICKED && OnClick) OnClick();
}

// --- Message boxes and the file dialog

int Win32MessageBox::Show(const std::string& text, const std::string& caption, unsigned style) {
  return os::Windows().MessageBoxA(owner_.hwnd, text.c_str(), caption.c_str(), style);
}

bool Win32OpenDialog::RunDialog(const std::string& initialDir) {
  const std::string filter = PlatformFilter(Filter);
  for (bool withName : {true, false}) {
    // Room for any path the system can hand back.
    std::vector<char> file(32768, '\0');
    if (withName) FileName.copy(file.data(), file.size() - 1);
    OPENFILENAMEA ofn = {};
    // Windows before 2000 take only the shorter record.
    ofn.lStructSize = IsNt5OrLater() ? sizeof(OPENFILENAMEA) : OPENFILENAME_SIZE_VERSION_400A;
    ofn.hwndOwner = owner_.hwnd;
    ofn.lpstrFilter = Filter.empty() ? nullptr : filter.c_str();
    ofn.nFilterIndex = static_cast<DWORD>(FilterIndex);
    ofn.lpstrFile = file.data();
    ofn.nMaxFile = static_cast<DWORD>(file.size());
    ofn.lpstrInitialDir = initialDir.empty() ? nullptr : initialDir.c_str();
    ofn.lpstrTitle = Title.empty() ? nullptr : Title.c_str();
    ofn.Flags = OpenFileNameFlags(Options);
    ofn.lpstrDefExt = DefaultExt.empty() ? nullptr : DefaultExt.c_str();
    auto open = LibraryFunction<BOOL(WINAPI*)(OPENFILENAMEA*)>("comdlg32.dll", "GetOpenFileNameA");
    auto lastError = LibraryFunction<DWORD(WINAPI*)()>("comdlg32.dll", "CommDlgExtendedError");
    if (open == nullptr || lastError == nullptr) {
      FailCreating("file dialog");
      return false;
    }
    if (open(&ofn)) {
      FileName = file.data();
      FilterIndex = static_cast<int>(ofn.nFilterIndex);
      return true;
    }
    // Cancelled; or the remembered name no longer suits the dialog (its folder is gone),
    // which it refuses before showing anything: then it opens once more without it.
    if (lastError() == 0 || FileName.empty()) return false;
  }
  return false;
}

// --- Forms

Win32Form::~Win32Form() {
  if (hwnd != nullptr) {
    SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
    DestroyWindow(hwnd);
  }
}

void Win32Form::SetCaption(const std::string& text) {
  SetWindowTextA(hwnd, text.c_str());
}

std::string Win32Form::Caption() const {
  return WindowText(hwnd);
}

void Win32Form::CenterInWorkArea() {
  // A window of the main window's is centred on the main window's monitor.
  HWND owner = GetWindow(hwnd, GW_OWNER);
  RECT work = WorkAreaOf(owner != nullptr ? owner : hwnd);
  RECT frame;
  GetWindowRect(hwnd, &frame);
  int width = frame.right - frame.left, height = frame.bottom - frame.top;
  int left = work.left + std::max(0, static_cast<int>(work.right - work.left - width) / 2);
  int top = work.top + std::max(0, static_cast<int>(work.bottom - work.top - height) / 2);
  SetWindowPos(hwnd, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Win32Form::FocusFirstControl() {
  for (const auto& stop : tabStops) {
    if (IsWindowEnabled(stop.second) && IsWindowVisible(stop.second)) {
      SetFocus(stop.second);
      return;
    }
  }
  SetFocus(hwnd);
}

void Win32Form::Show() {
  if (IsWindowVisible(hwnd)) return;
  CenterInWorkArea();
  // The main window's first show follows how the program was started (normal, minimized).
  ShowWindow(hwnd, isMain ? SW_SHOWDEFAULT : SW_SHOW);
  UpdateWindow(hwnd);
  FocusFirstControl();
}

int Win32Form::ShowModal() {
  if (inModalShow_) return kModalNone;
  modalResult_ = kModalNone;
  inModalShow_ = true;
  HWND owner = GetWindow(hwnd, GW_OWNER);
  bool ownerEnabled = owner != nullptr && IsWindowEnabled(owner);
  if (ownerEnabled) EnableWindow(owner, FALSE);
  CenterInWorkArea();
  ShowWindow(hwnd, SW_SHOW);
  SetActiveWindow(hwnd);
  FocusFirstControl();
  while (modalResult_ == kModalNone) {
    MSG msg;
    BOOL got = GetMessageA(&msg, nullptr, 0, 0);
    if (got == 0) {
      // The program is ending: pass the request on to the outer loop.
      PostQuitMessage(static_cast<int>(msg.wParam));
      modalResult_ = kModalCancel;
      break;
    }
    if (got == -1) {
      modalResult_ = kModalCancel;
      break;
    }
    if (factory_.PreTranslate(msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  // The owner takes input again before this one goes, so that it becomes the active window.
  if (ownerEnabled) EnableWindow(owner, TRUE);
  if (hwnd != nullptr) ShowWindow(hwnd, SW_HIDE);
  inModalShow_ = false;
  return modalResult_;
}

void Win32Form::Close() {
  // Posted: the window goes after the handler that closes it has returned.
  if (hwnd != nullptr) PostMessageA(hwnd, WM_CLOSE, 0, 0);
}

bool Win32Form::PreviewKey(const MSG& msg) {
  if (!style_.keyPreview || !OnKeyDown) return false;
  if (msg.message != WM_KEYDOWN && msg.message != WM_SYSKEYDOWN) return false;
  if (msg.hwnd != hwnd && !IsChild(hwnd, msg.hwnd)) return false;
  auto key = static_cast<unsigned short>(msg.wParam);
  ShiftState shift = 0;
  if (GetKeyState(VK_SHIFT) < 0) shift |= kShiftKey;
  if (GetKeyState(VK_MENU) < 0 || msg.message == WM_SYSKEYDOWN) shift |= kAltKey;
  if (GetKeyState(VK_CONTROL) < 0) shift |= kCtrlKey;
  OnKeyDown(key, shift);
  return key == 0;
}

LRESULT Win32Form::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND: {
      auto control = reinterpret_cast<HWND>(lParam);
      UINT code = HIWORD(wParam);
      if (control == nullptr) {
        // A menu command (IDOK and IDCANCEL from the dialog keys match no item).
        auto item = menuItems.find(LOWORD(wParam));
        if (code == 0 && item != menuItems.end() && item->second->OnClick) {
          item->second->OnClick();
        }
        return 0;
      }
      auto child = children.find(control);
      if (child != children.end()) child->second->Notify(code);
      return 0;
    }
    case WM_CTLCOLORSTATIC: {
      auto dc = reinterpret_cast<HDC>(wParam);
      SetBkColor(dc, Resolve(style_.background));
      COLORREF text = GetSysColor(COLOR_WINDOWTEXT);
      auto child = children.find(reinterpret_cast<HWND>(lParam));
      if (child != children.end()) child->second->TextColor(&text);
      SetTextColor(dc, text);
      return reinterpret_cast<LRESULT>(factory_.Brush(style_.background));
    }
    case WM_ERASEBKGND: {
      RECT client;
      GetClientRect(hwnd, &client);
      FillRect(reinterpret_cast<HDC>(wParam), &client, factory_.Brush(style_.background));
      return 1;
    }
    case WM_ACTIVATE:
      // The control that had the keyboard gets it back when the window is activated again.
      if (LOWORD(wParam) == WA_INACTIVE) {
        HWND focus = GetFocus();
        if (focus != nullptr && IsChild(hwnd, focus)) lastFocus_ = focus;
      } else if (HIWORD(wParam) == 0) {
        if (lastFocus_ != nullptr && IsWindow(lastFocus_) && IsChild(hwnd, lastFocus_)) {
          SetFocus(lastFocus_);
        } else {
          FocusFirstControl();
        }
      }
      return 0;
    case WM_CLOSE:
      if (inModalShow_) {
        modalResult_ = kModalCancel;
      } else if (isMain) {
        DestroyWindow(hwnd);
      } else {
        ShowWindow(hwnd, SW_HIDE);
      }
      return 0;
    case WM_DESTROY:
      if (isMain) PostQuitMessage(0);
      return 0;
    case WM_NCDESTROY:
      // The controls went with the window: nothing may reach them any more.
      for (auto& child : children) child.second->hwnd = nullptr;
      children.clear();
      SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
      hwnd = nullptr;
      modalResult_ = inModalShow_ ? kModalCancel : modalResult_;
      return 0;
    default:
      return DefWindowProcA(hwnd, message, wParam, lParam);
  }
}

// --- The factory

Win32Form& FormOfContainer(Container& container) {
  if (auto* form = dynamic_cast<Win32Form*>(&container)) return *form;
  return *static_cast<Win32GroupBox&>(container).form;
}

Win32Factory* Win32Factory::current_ = nullptr;

Win32Factory::Win32Factory() {
  current_ = this;
  // The themed controls where the manifest asks for them; without the library (or with one
  // older than Internet Explorer 3) the system's own controls serve.
  INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES};
  auto initEx = LibraryFunction<BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*)>("comctl32.dll",
                                                                            "InitCommonControlsEx");
  if (initEx == nullptr || !initEx(&controls)) {
    auto init = LibraryFunction<void(WINAPI*)()>("comctl32.dll", "InitCommonControls");
    if (init != nullptr) init();
  }

  HINSTANCE instance = GetModuleHandleA(nullptr);
  WNDCLASSEXA windowClass = {};
  if (!GetClassInfoExA(instance, kFormClass, &windowClass)) {
    windowClass = {};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.style = CS_DBLCLKS;
    windowClass.lpfnWndProc = FormProc;
    windowClass.hInstance = instance;
    // The program's own icon when it carries one, else the system's.
    windowClass.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(1));
    if (windowClass.hIcon == nullptr) windowClass.hIcon = LoadIconA(nullptr, IDI_APPLICATION);
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.lpszClassName = kFormClass;
    if (!RegisterClassExA(&windowClass)) FailCreating("window class");
  }

  HDC screen = GetDC(nullptr);
  dpi_ = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  if (dpi_ <= 0) dpi_ = 96;
}

Win32Factory::~Win32Factory() {
  if (current_ == this) current_ = nullptr;
  // The windows first (the About window is owned by the main window), then their fonts.
  for (auto it = forms_.rbegin(); it != forms_.rend(); ++it) it->reset();
  for (const CachedFont& cached : fonts_) DeleteObject(cached.font);
  for (const CachedBrush& cached : brushes_) DeleteObject(cached.brush);
}

HFONT Win32Factory::Font(const FontSpec& spec, int dpi) {
  for (const CachedFont& cached : fonts_) {
    if (cached.spec.face == spec.face && cached.spec.points == spec.points &&
        cached.spec.fixedPitch == spec.fixedPitch && cached.dpi == dpi) {
      return cached.font;
    }
  }
  HFONT font =
      CreateFontA(-FontPixelHeight(spec, dpi), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                  DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                  static_cast<BYTE>((spec.fixedPitch ? FIXED_PITCH : DEFAULT_PITCH) | FF_DONTCARE),
                  spec.face.c_str());
  if (font == nullptr) font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
  fonts_.push_back({spec, dpi, font});
  return font;
}

HBRUSH Win32Factory::Brush(Color color) {
  if (color & kSystemColor) return GetSysColorBrush(static_cast<int>(color & 0xFF));
  for (const CachedBrush& cached : brushes_) {
    if (cached.color == color) return cached.brush;
  }
  HBRUSH brush = CreateSolidBrush(static_cast<COLORREF>(color));
  brushes_.push_back({color, brush});
  return brush;
}

Win32Form* Win32Factory::FormOf(HWND hwnd) const {
  for (HWND window = hwnd; window != nullptr; window = GetParent(window)) {
    for (const auto& form : forms_) {
      if (form->hwnd == window) return form.get();
    }
    if ((GetWindowLongA(window, GWL_STYLE) & WS_CHILD) == 0) break;  // not the owner's
  }
  return nullptr;
}

ScreenArea Win32Factory::WorkArea() {
  // Where the main window is, for the windows after it; the primary monitor's before it.
  RECT work = WorkAreaOf(forms_.empty() ? nullptr : forms_.front()->hwnd);
  return {work.left, work.top, work.right - work.left, work.bottom - work.top};
}

PixelSize Win32Factory::FrameSize(const FormStyle& style) {
  DWORD windowStyle = 0, extendedStyle = 0;
  FormWindowStyles(style, &windowStyle, &extendedStyle);
  RECT frame = {0, 0, 0, 0};
  AdjustWindowRectEx(&frame, windowStyle, style.menuBar ? TRUE : FALSE, extendedStyle);
  return {frame.right - frame.left, frame.bottom - frame.top};
}

FormControl& Win32Factory::CreateForm(const FormStyle& style) {
  FormStyle drawn = style;
  if (drawn.dpi <= 0) drawn.dpi = dpi_;
  auto form = std::make_unique<Win32Form>(*this, drawn);
  form->isMain = forms_.empty();
  DWORD windowStyle = 0, extendedStyle = 0;
  FormWindowStyles(drawn, &windowStyle, &extendedStyle);
  RECT frame = {0, 0, form->Scale(drawn.clientWidth), form->Scale(drawn.clientHeight)};
  AdjustWindowRectEx(&frame, windowStyle, style.menuBar ? TRUE : FALSE, extendedStyle);
  // Later windows belong to the main window: they stay in front of it and leave the taskbar
  // to it.
  HWND owner = form->isMain ? nullptr : forms_.front()->hwnd;
  HWND hwnd = CreateWindowExA(extendedStyle, kFormClass, "", windowStyle, 0, 0,
                              frame.right - frame.left, frame.bottom - frame.top, owner, nullptr,
                              GetModuleHandleA(nullptr), form.get());
  if (hwnd == nullptr) FailCreating("window");
  forms_.push_back(std::move(form));
  return *forms_.back();
}

HWND Win32Factory::CreateChild(Container& parent, const Placement& at, ChildWindow& child,
                               const char* className, const char* text, DWORD style, HFONT font) {
  Win32Form& form = FormOfContainer(parent);
  Placement inForm = InForm(parent, at);
  UINT id = form.nextControlId++;
  HWND hwnd = CreateWindowExA(
      0, className, text, WS_CHILD | WS_VISIBLE | style, form.Scale(inForm.left),
      form.Scale(inForm.top), form.Scale(inForm.width), form.Scale(inForm.height), form.hwnd,
      reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id)), GetModuleHandleA(nullptr), nullptr);
  if (hwnd == nullptr) {
    FailCreating("window's controls");
    return nullptr;
  }
  SendMessageA(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  child.hwnd = hwnd;
  form.children[hwnd] = &child;

  // Tab order is the order of the tab stops among the form's windows. Group boxes stay
  // beneath the controls they hold; labels, which take no keyboard, stand above.
  HWND after = HWND_TOP;
  if (style & WS_TABSTOP) {
    std::vector<int> path = TabPath(parent, at);
    auto next = std::find_if(form.tabStops.begin(), form.tabStops.end(),
                             [&](const auto& stop) { return TabsBefore(path, stop.first); });
    if (next != form.tabStops.begin()) after = std::prev(next)->second;
    form.tabStops.insert(next, {path, hwnd});
  } else if (dynamic_cast<Win32GroupBox*>(&child) != nullptr) {
    after = HWND_BOTTOM;
  }
  SetWindowPos(hwnd, after, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  return hwnd;
}

GroupBoxControl& Win32Factory::CreateGroupBox(Container& parent, const Placement& at,
                                              const std::string& caption) {
  auto box = std::make_unique<Win32GroupBox>();
  box->form = &FormOfContainer(parent);
  CreateChild(parent, at, *box, "BUTTON", caption.c_str(), BS_GROUPBOX | WS_CLIPSIBLINGS,
              Font(box->form->style().font, box->form->style().dpi));
  Placement inForm = InForm(parent, at);
  box->originLeft = inForm.left;
  box->originTop = inForm.top;
  box->tabPath = TabPath(parent, at);
  Win32GroupBox& result = *box;
  children_.push_back(std::move(box));
  return result;
}

LabelControl& Win32Factory::CreateLabel(Container& parent, const Placement& at,
                                        const std::string& text, const FontSpec* font) {
  auto label = std::make_unique<Win32Label>();
  const FormStyle& formStyle = FormOfContainer(parent).style();
  const FontSpec& spec = font != nullptr ? *font : formStyle.font;
  label->font = Font(spec, formStyle.dpi);
  label->color = spec.color;
  Placement unsized = at;
  unsized.tabOrder = -1;
  CreateChild(parent, unsized, *label, "STATIC", "", SS_LEFTNOWORDWRAP | SS_NOPREFIX, label->font);
  label->SetText(text);
  Win32Label& result = *label;
  children_.push_back(std::move(label));
  return result;
}

ChoiceBox& Win32Factory::CreateComboBox(Container& parent, const Placement& at, int itemHeight) {
  auto box = std::make_unique<Win32ComboBox>();
  CreateChild(parent, at, *box, "COMBOBOX", "",
              CBS_DROPDOWN | CBS_AUTOHSCROLL | WS_VSCROLL | WS_TABSTOP,
              Font(FormOfContainer(parent).style().font, FormOfContainer(parent).style().dpi));
  // The closed box takes its height from the font; the items get theirs here.
  SendMessageA(box->hwnd, CB_SETITEMHEIGHT, 0, FormOfContainer(parent).Scale(itemHeight));
  Win32ComboBox& result = *box;
  children_.push_back(std::move(box));
  return result;
}

ButtonControl& Win32Factory::CreateButton(Container& parent, const Placement& at,
                                          const std::string& caption) {
  auto button = std::make_unique<Win32Button>();
  CreateChild(parent, at, *button, "BUTTON", caption.c_str(), BS_PUSHBUTTON | WS_TABSTOP,
              Font(FormOfContainer(parent).style().font, FormOfContainer(parent).style().dpi));
  Win32Button& result = *button;
  children_.push_back(std::move(button));
  return result;
}

MenuControl& Win32Factory::CreateMainMenu(FormControl& form) {
  auto menu = std::make_unique<Win32Menu>();
  menu->form = &static_cast<Win32Form&>(form);
  menu->menu = CreateMenu();
  if (menu->menu == nullptr || !SetMenu(menu->form->hwnd, menu->menu)) FailCreating("menu bar");
  menus_.push_back(std::move(menu));
  return *menus_.back();
}

MenuItemControl& Win32Factory::CreateMenuItem(MenuControl& parent, const std::string& caption) {
  auto item = std::make_unique<Win32MenuItem>();
  HMENU target = nullptr;
  if (auto* bar = dynamic_cast<Win32Menu*>(&parent)) {
    item->form = bar->form;
    target = bar->menu;
  } else {
    auto& owner = static_cast<Win32MenuItem&>(parent);
    item->form = owner.form;
    if (owner.submenu == nullptr) {
      owner.submenu = CreatePopupMenu();
      if (owner.submenu == nullptr ||
          !ModifyMenuA(owner.parentMenu, owner.id, MF_BYCOMMAND | MF_POPUP | MF_STRING,
                       reinterpret_cast<UINT_PTR>(owner.submenu), owner.caption.c_str())) {
        FailCreating("menu");
      }
    }
    target = owner.submenu;
  }
  item->parentMenu = target;
  item->caption = caption;
  item->id = item->form->nextMenuId++;
  BOOL added = caption == "-" ? AppendMenuA(target, MF_SEPARATOR, 0, nullptr)
                              : AppendMenuA(target, MF_STRING, item->id, caption.c_str());
  if (!added) FailCreating("menu");
  item->form->menuItems[item->id] = item.get();
  DrawMenuBar(item->form->hwnd);
  menuItems_.push_back(std::move(item));
  return *menuItems_.back();
}

OpenDialogControl& Win32Factory::CreateOpenDialog(FormControl& owner) {
  auto& form = static_cast<Win32Form&>(owner);
  messageBoxes_.push_back(std::make_unique<Win32MessageBox>(form));
  dialogs_.push_back(std::make_unique<Win32OpenDialog>(form, *messageBoxes_.back()));
  return *dialogs_.back();
}

MessageBoxControl& Win32Factory::CreateMessageBox(FormControl& owner) {
  messageBoxes_.push_back(std::make_unique<Win32MessageBox>(static_cast<Win32Form&>(owner)));
  return *messageBoxes_.back();
}

int Win32Factory::TextWidth(const std::string& text, const FontSpec& font, int dpi) {
  // Measured as a label of a form drawn at `dpi` sizes itself, then taken back to 96 dots per
  // inch.
  if (dpi <= 0) dpi = dpi_;
  RECT extent = TextExtent(nullptr, Font(font, dpi), text);
  int pixels = extent.right - extent.left;
  return (pixels * kDesignDpi + dpi - 1) / dpi;
}

bool Win32Factory::PreTranslate(MSG& msg) {
  Win32Form* form = FormOf(msg.hwnd);
  if (form == nullptr || form->hwnd == nullptr) return false;
  if (form->PreviewKey(msg)) return true;
  // Tab, the arrow keys and the other dialog keys move between the controls.
  return IsDialogMessageA(form->hwnd, &msg) != 0;
}

void Win32Factory::Fail(Exception failure) {
  if (!failure_) failure_ = std::move(failure);
}

void Win32Factory::RunMessageLoop() {
  running_ = true;
  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    if (PreTranslate(msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
}

}  // namespace win32ui
