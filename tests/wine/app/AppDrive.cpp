// Drives the program under Wine for the end-to-end tests: starts it with an exact command
// line, reads and presses its message boxes, reads its window's lists, chooses File menu
// items as the keyboard does, reads the simulated chip through the driver's device, and reads
// the Run value back from the registry. One command per invocation; results go to stdout.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "hw/driver/Protocol.h"
#include "regs/Codec.h"
#include "regs/Tables.h"
#include "sim/Northbridge.h"

namespace {

constexpr wchar_t kMainTitle[] = L"Morvane V0.50 QV beta";
constexpr char kRunKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr wchar_t kHoldEvent[] = L"MorvaneTestHold";

std::string Utf8(const std::wstring& text) {
  if (text.empty()) return {};
  int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr,
                                 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), out.data(), size,
                      nullptr, nullptr);
  return out;
}

// Line breaks shown as \r and \n, so that one result stays on one line.
std::string Escaped(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\r') {
      out += "\\r";
    } else if (c == '\n') {
      out += "\\n";
    } else {
      out += c;
    }
  }
  return out;
}

// Window texts of another process answer in UTF-16 only.
std::wstring WindowText(HWND window) {
  wchar_t buffer[1024] = {};
  SendMessageTimeoutW(window, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(buffer), SMTO_BLOCK, 5000,
                      nullptr);
  return buffer;
}

std::wstring ClassName(HWND window) {
  wchar_t buffer[64] = {};
  GetClassNameW(window, buffer, 64);
  return buffer;
}

DWORD WindowProcess(HWND window) {
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  return pid;
}

struct TopLevelSearch {
  DWORD pid;  // 0: any process
  std::vector<HWND> found;
};

BOOL CALLBACK AddVisibleTopLevel(HWND window, LPARAM param) {
  auto* s = reinterpret_cast<TopLevelSearch*>(param);
  if (IsWindowVisible(window) && (s->pid == 0 || WindowProcess(window) == s->pid)) {
    s->found.push_back(window);
  }
  return TRUE;
}

std::vector<HWND> VisibleTopLevel(DWORD pid) {
  TopLevelSearch search{pid, {}};
  EnumWindows(AddVisibleTopLevel, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

BOOL CALLBACK AddWindow(HWND window, LPARAM param) {
  reinterpret_cast<std::vector<HWND>*>(param)->push_back(window);
  return TRUE;
}

std::vector<HWND> Descendants(HWND parent) {
  std::vector<HWND> all;
  EnumChildWindows(parent, AddWindow, reinterpret_cast<LPARAM>(&all));
  return all;
}

bool HasLists(HWND window) {
  for (HWND child : Descendants(window)) {
    if (ClassName(child) == L"ComboBox") return true;
  }
  return false;
}

// The main window: visible, the program's caption, holding the lists (the About window has
// the same caption but no lists).
HWND FindMainWindow(DWORD pid) {
  for (HWND window : VisibleTopLevel(pid)) {
    if (WindowText(window) == kMainTitle && HasLists(window)) return window;
  }
  return nullptr;
}

HWND FindMessageBox(DWORD pid) {
  for (HWND window : VisibleTopLevel(pid)) {
    if (ClassName(window) == L"#32770" && GetDlgItem(window, 0xFFFF) != nullptr) return window;
  }
  return nullptr;
}

// Prints "box <caption>|<text>" and presses OK.
void AnswerMessageBox(HWND box) {
  wchar_t caption[256] = {};
  GetWindowTextW(box, caption, 256);
  std::string text = Utf8(WindowText(GetDlgItem(box, 0xFFFF)));
  std::printf("box %s|%s\n", Escaped(Utf8(caption)).c_str(), Escaped(text).c_str());
  std::fflush(stdout);
  PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(box, IDOK)));
}

bool StartProcess(const std::string& commandLine, const char* folder, PROCESS_INFORMATION* pi) {
  STARTUPINFOA si = {};
  si.cb = sizeof si;
  std::vector<char> line(commandLine.begin(), commandLine.end());
  line.push_back('\0');
  if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, folder, &si, pi)) {
    std::printf("cannot start (error %lu): %s\n", GetLastError(), commandLine.c_str());
    return false;
  }
  return true;
}

// Answers the process's message box unless it is the one answered last, which stays visible
// for a moment after OK.
void AnswerNewMessageBox(DWORD pid, HWND* answered) {
  HWND box = FindMessageBox(pid);
  if (box != nullptr && box != *answered) {
    AnswerMessageBox(box);
    *answered = box;
  }
}

// Runs a command line to its end, answering every message box on the way.
int Run(const std::string& commandLine, const char* folder, int seconds) {
  PROCESS_INFORMATION pi;
  if (!StartProcess(commandLine, folder, &pi)) return 1;
  DWORD deadline = GetTickCount() + static_cast<DWORD>(seconds) * 1000;
  HWND answered = nullptr;
  for (;;) {
    if (WaitForSingleObject(pi.hProcess, 100) == WAIT_OBJECT_0) break;
    AnswerNewMessageBox(pi.dwProcessId, &answered);
    if (GetTickCount() > deadline) {
      std::printf("timeout\n");
      TerminateProcess(pi.hProcess, 1);
      return 1;
    }
  }
  DWORD code = 0;
  GetExitCodeProcess(pi.hProcess, &code);
  std::printf("exit %lu\n", code);
  return 0;
}

// Starts the program and returns once its main window is up, a message box shows, or it
// has ended.
int Start(const std::string& commandLine, const char* folder, int seconds) {
  PROCESS_INFORMATION pi;
  if (!StartProcess(commandLine, folder, &pi)) return 1;
  DWORD deadline = GetTickCount() + static_cast<DWORD>(seconds) * 1000;
  HWND answered = nullptr;
  for (;;) {
    if (WaitForSingleObject(pi.hProcess, 100) == WAIT_OBJECT_0) {
      DWORD code = 0;
      GetExitCodeProcess(pi.hProcess, &code);
      std::printf("exit %lu\n", code);
      return 0;
    }
    if (FindMainWindow(pi.dwProcessId) != nullptr) {
      std::printf("window %lu\n", pi.dwProcessId);
      return 0;
    }
    AnswerNewMessageBox(pi.dwProcessId, &answered);
    if (GetTickCount() > deadline) {
      std::printf("timeout\n");
      return 1;
    }
  }
}

HWND WaitMainWindow() {
  for (int i = 0; i < 100; ++i) {
    if (HWND window = FindMainWindow(0)) return window;
    Sleep(100);
  }
  std::printf("no main window\n");
  return nullptr;
}

void PostKey(HWND window, UINT key) {
  PostMessageW(window, WM_KEYDOWN, key, 1);
  PostMessageW(window, WM_KEYUP, key, 0xC0000001);
  Sleep(150);
}

// Chooses the n-th command of the File menu (separators not counted), as the keyboard
// would: the menu bar, down into "File", down to the item, Enter.
void ChooseFileMenuItem(HWND window, int item) {
  SetForegroundWindow(window);
  PostMessageW(window, WM_SYSCOMMAND, SC_KEYMENU, 0);
  Sleep(300);
  PostKey(window, VK_DOWN);  // opens "File" on its first item
  for (int i = 1; i < item; ++i) PostKey(window, VK_DOWN);
  PostKey(window, VK_RETURN);
}

// --- The simulated chip, through the driver's device.

HANDLE OpenChip() {
  HANDLE device =
      CreateFileA("\\\\.\\cpuz", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (device == INVALID_HANDLE_VALUE)
    std::printf("cannot open the device (error %lu)\n", GetLastError());
  return device;
}

bool ReadPort(HANDLE device, uint32_t port, uint32_t* value) {
  MvnReadPortInput in = {port};
  MvnPortOutput out = {};
  DWORD returned = 0;
  if (!DeviceIoControl(device, MVN_IOCTL_READ_PORT, &in, sizeof in, &out, sizeof out, &returned,
                       nullptr)) {
    return false;
  }
  *value = out.value;
  return true;
}

bool WritePort(HANDLE device, uint32_t port, uint32_t value) {
  MvnWritePortInput in = {port, value};
  MvnPortOutput out = {};
  DWORD returned = 0;
  return DeviceIoControl(device, MVN_IOCTL_WRITE_PORT, &in, sizeof in, &out, sizeof out, &returned,
                         nullptr) != 0;
}

uint32_t ConfigAddress(const PciRegister& reg) {
  return 0x80000000u | static_cast<uint32_t>(reg.bus) << 16 |
         static_cast<uint32_t>(reg.device) << 11 | static_cast<uint32_t>(reg.function) << 8 |
         (static_cast<uint32_t>(reg.offset) & 0xFC);
}

bool ReadChip(HANDLE device, PciRegister& reg) {
  uint32_t saved = 0;
  return ReadPort(device, MVN_PCI_ADDRESS_PORT, &saved) &&
         WritePort(device, MVN_PCI_ADDRESS_PORT, ConfigAddress(reg)) &&
         ReadPort(device, MVN_PCI_DATA_PORT, &reg.value) &&
         WritePort(device, MVN_PCI_ADDRESS_PORT, saved);
}

bool WriteChip(HANDLE device, const PciRegister& reg, uint32_t value) {
  uint32_t saved = 0;
  return ReadPort(device, MVN_PCI_ADDRESS_PORT, &saved) &&
         WritePort(device, MVN_PCI_ADDRESS_PORT, ConfigAddress(reg)) &&
         WritePort(device, MVN_PCI_DATA_PORT, value) &&
         WritePort(device, MVN_PCI_ADDRESS_PORT, saved);
}

// Every register of the tables read from the chip into its cached value.
bool ReadAllRegisters() {
  HANDLE device = OpenChip();
  if (device == INVALID_HANDLE_VALUE) return false;
  bool ok = true;
  for (PciRegister& reg : Registers) ok = ok && ReadChip(device, reg);
  CloseHandle(device);
  if (!ok) std::printf("a port request failed (error %lu)\n", GetLastError());
  return ok;
}

std::string RegisterName(const PciRegister& reg) {
  char name[16];
  std::snprintf(name, sizeof name, "F%dx%02X", static_cast<int>(reg.function),
                static_cast<unsigned>(reg.offset));
  return name;
}

void PrintRegisters() {
  for (const PciRegister& reg : Registers) {
    std::printf("%s %08X\n", RegisterName(reg).c_str(), static_cast<unsigned>(reg.value));
  }
}

int Chip() {
  if (!ReadAllRegisters()) return 1;
  PrintRegisters();
  return 0;
}

int PowerOn() {
  SimNbReset();
  for (PciRegister& reg : Registers) {
    reg.value =
        SimNbConfigRead(static_cast<unsigned>(reg.function), static_cast<unsigned>(reg.offset));
  }
  PrintRegisters();
  return 0;
}

int Poke(const char* name, const char* value) {
  HANDLE device = OpenChip();
  if (device == INVALID_HANDLE_VALUE) return 1;
  int result = 1;
  for (PciRegister& reg : Registers) {
    if (RegisterName(reg) == name) {
      result =
          WriteChip(device, reg, static_cast<uint32_t>(std::strtoul(value, nullptr, 16))) ? 0 : 1;
    }
  }
  CloseHandle(device);
  if (result != 0) std::printf("cannot write %s\n", name);
  return result;
}

// --- The main window's lists.

// Each list's label is found by its binding, not by where it stands (which depends on the
// fonts): the window creates every field's label right before its list, and the controls
// of a window are numbered in creation order, so a list's label has the list's identifier
// less one. (The window test checks that convention in the program itself.)
int CheckFields(bool print) {
  HWND main = WaitMainWindow();
  if (main == nullptr || !ReadAllRegisters()) return 1;
  std::vector<HWND> lists;
  for (HWND child : Descendants(main)) {
    if (ClassName(child) == L"ComboBox") lists.push_back(child);
  }
  // In the order the window made them: box by box, row by row.
  std::sort(lists.begin(), lists.end(),
            [](HWND a, HWND b) { return GetDlgCtrlID(a) < GetDlgCtrlID(b); });
  int matched = 0, failures = 0;
  for (HWND list : lists) {
    HWND label = GetDlgItem(main, GetDlgCtrlID(list) - 1);
    bool isLabel = label != nullptr && ClassName(label) == L"Static";
    std::string labelText = isLabel ? Utf8(WindowText(label)) : "?";
    std::string shown = Utf8(WindowText(list));
    const RegisterField* field = nullptr;
    for (const RegisterField& f : AllFields()) {
      if (labelText == f.label) field = &f;
    }
    if (print) std::printf("%s\t%s\n", labelText.c_str(), shown.c_str());
    if (field == nullptr) {
      std::printf("list without a known label: \"%s\" showing \"%s\"\n", labelText.c_str(),
                  shown.c_str());
      ++failures;
      continue;
    }
    const FieldChoice* choice = CurrentChoice(*field);
    std::string expected = choice == &NoChoice ? "UNKNOWN" : ChoiceDisplayText(*field, *choice);
    if (shown != expected) {
      std::printf("%s shows \"%s\", the chip holds \"%s\"\n", field->label, shown.c_str(),
                  expected.c_str());
      ++failures;
    } else {
      ++matched;
    }
  }
  std::printf("%d of %d fields show the chip's values\n", matched, kFieldCount);
  return matched == kFieldCount && failures == 0 ? 0 : 1;
}

// Chooses a File menu command; with waitExit, then waits for the program to end.
int Menu(int item, bool waitExit) {
  HWND main = WaitMainWindow();
  if (main == nullptr) return 1;
  DWORD pid = WindowProcess(main);
  HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, pid);
  ChooseFileMenuItem(main, item);
  if (!waitExit) return 0;
  if (process == nullptr || WaitForSingleObject(process, 20000) != WAIT_OBJECT_0) {
    std::printf("still running\n");
    return 1;
  }
  DWORD code = 0;
  GetExitCodeProcess(process, &code);
  std::printf("exit %lu\n", code);
  return 0;
}

// Waits up to `seconds` for a message box of the main window's process; answers it.
int Box(int seconds) {
  HWND main = FindMainWindow(0);
  DWORD pid = main ? WindowProcess(main) : 0;
  for (int i = 0; i < seconds * 10; ++i) {
    if (HWND box = FindMessageBox(pid)) {
      AnswerMessageBox(box);
      return 0;
    }
    Sleep(100);
  }
  std::printf("no box\n");
  return 0;
}

// --- The Run value.

bool ReadRunValue(DWORD* type, std::vector<char>* data) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kRunKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  DWORD size = 0;
  LONG result = RegQueryValueExA(key, "Morvane", nullptr, type, nullptr, &size);
  if (result == ERROR_SUCCESS) {
    data->assign(size, '\0');
    result = RegQueryValueExA(key, "Morvane", nullptr, type, reinterpret_cast<BYTE*>(data->data()),
                              &size);
    data->resize(size);
  }
  RegCloseKey(key);
  return result == ERROR_SUCCESS;
}

int Reg() {
  DWORD type = 0;
  std::vector<char> data;
  if (!ReadRunValue(&type, &data)) {
    std::printf("absent\n");
    return 0;
  }
  std::string text(data.begin(), data.end());
  bool terminated = !text.empty() && text.back() == '\0';
  if (terminated) text.pop_back();
  std::printf("type %lu size %zu %s %s\n", type, data.size(),
              terminated ? "terminated" : "unterminated", text.c_str());
  return 0;
}

int RegDelete() {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kRunKey, 0, KEY_ALL_ACCESS, &key) == ERROR_SUCCESS) {
    RegDeleteValueA(key, "Morvane");
    RegCloseKey(key);
  }
  return 0;
}

// A Run value "Morvane" as an earlier version stored it.
int RegSet(const char* text) {
  HKEY key = nullptr;
  if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kRunKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                      nullptr) != ERROR_SUCCESS) {
    return 1;
  }
  LONG result = RegSetValueExA(key, "Morvane", 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                               static_cast<DWORD>(std::strlen(text) + 1));
  RegCloseKey(key);
  return result == ERROR_SUCCESS ? 0 : 1;
}

int RunStored(int seconds) {
  DWORD type = 0;
  std::vector<char> data;
  if (!ReadRunValue(&type, &data) || type != REG_SZ) {
    std::printf("no Run value\n");
    return 1;
  }
  return Run(std::string(data.data()), nullptr, seconds);
}

// --- The driver service.

// Stops and deletes the service "cpuz", so the next program run installs it afresh and the
// simulated chip starts from its power-on state.
int Uninstall() {
  SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
  if (manager == nullptr) {
    std::printf("no service manager (error %lu)\n", GetLastError());
    return 1;
  }
  SC_HANDLE service = OpenServiceA(manager, "cpuz", SERVICE_ALL_ACCESS);
  if (service != nullptr) {
    SERVICE_STATUS status = {};
    if (ControlService(service, SERVICE_CONTROL_STOP, &status)) {
      for (int i = 0; i < 100 && QueryServiceStatus(service, &status) &&
                      status.dwCurrentState != SERVICE_STOPPED;
           ++i) {
        Sleep(100);
      }
    }
    DeleteService(service);
    CloseServiceHandle(service);
  }
  int result = 0;
  for (int i = 0; i < 100; ++i) {
    SC_HANDLE still = OpenServiceA(manager, "cpuz", SERVICE_QUERY_STATUS);
    if (still == nullptr) break;
    CloseServiceHandle(still);
    Sleep(100);
    if (i == 99) {
      std::printf("the service stays registered\n");
      result = 1;
    }
  }
  CloseServiceHandle(manager);
  return result;
}

// The main window's frame on the screen, "LEFT TOP WIDTH HEIGHT", and whether it stands whole
// inside the work area.
int Frame() {
  HWND window = WaitMainWindow();
  if (window == nullptr) return 1;
  RECT frame, work;
  GetWindowRect(window, &frame);
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  bool inside = frame.left >= work.left && frame.top >= work.top && frame.right <= work.right &&
                frame.bottom <= work.bottom;
  std::printf("%ld %ld %ld %ld %s the work area\n", frame.left, frame.top, frame.right - frame.left,
              frame.bottom - frame.top, inside ? "inside" : "outside");
  return 0;
}

// Keeps the Wine session (and with it the loaded driver) alive until released, or for at most
// `seconds`. The event "release" sets exists before `ready` (a file) does: a script that waits
// for that file before it goes on cannot release the hold before the hold can see it.
int Hold(int seconds, const char* ready) {
  HANDLE event = CreateEventW(nullptr, TRUE, FALSE, kHoldEvent);
  if (event == nullptr) {
    std::printf("the hold's event cannot be created (error %lu)\n", GetLastError());
    return 1;
  }
  if (ready != nullptr) {
    HANDLE file = CreateFileA(ready, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
      std::printf("%s cannot be created (error %lu)\n", ready, GetLastError());
      CloseHandle(event);
      return 1;
    }
    CloseHandle(file);
  }
  DWORD waited = WaitForSingleObject(event, static_cast<DWORD>(seconds) * 1000);
  CloseHandle(event);
  if (waited != WAIT_OBJECT_0) {
    std::printf("the hold was not released within %d seconds\n", seconds);
    return 1;
  }
  return 0;
}

// Releases the hold; a hold still starting is waited for, up to `seconds`.
int Release(int seconds) {
  for (int waited = 0;; waited += 50) {
    HANDLE event = OpenEventW(EVENT_MODIFY_STATE, FALSE, kHoldEvent);
    if (event != nullptr) {
      SetEvent(event);
      CloseHandle(event);
      return 0;
    }
    if (waited >= seconds * 1000) break;
    Sleep(50);
  }
  std::printf("no hold to release\n");
  return 1;
}

int Usage() {
  std::printf(
      "usage: mvn_app_drive COMMAND ...\n"
      "  run SECONDS [--in FOLDER] COMMANDLINE   run to the end, answering message boxes\n"
      "  start SECONDS [--in FOLDER] COMMANDLINE start, wait for the main window\n"
      "  fields | check-fields                   the main window's lists against the chip\n"
      "  menu N | exit                           choose File menu command N (Exit: 5)\n"
      "  frame                                   the main window's place on the screen\n"
      "  box SECONDS                             answer the next message box\n"
      "  chip | poweron | poke REG HEX           the simulated chip\n"
      "  reg | reg-delete | run-stored SECONDS   the Run value \"Morvane\"\n"
      "  reg-set TEXT                            store it as an earlier version did\n"
      "  uninstall                               the driver service\n"
      "  hold SECONDS [READY-FILE] | release [SECONDS]\n"
      "                                          keep the Wine session until released\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage();
  std::string command = argv[1];
  if ((command == "run" || command == "start") && argc >= 4) {
    int seconds = std::atoi(argv[2]);
    const char* folder = nullptr;
    int next = 3;
    if (std::string(argv[3]) == "--in" && argc >= 6) {
      folder = argv[4];
      next = 5;
    }
    return command == "run" ? Run(argv[next], folder, seconds) : Start(argv[next], folder, seconds);
  }
  if (command == "fields") return CheckFields(true);
  if (command == "check-fields") return CheckFields(false);
  if (command == "menu" && argc >= 3) return Menu(std::atoi(argv[2]), false);
  if (command == "exit") return Menu(5, true);
  if (command == "frame") return Frame();
  if (command == "box" && argc >= 3) return Box(std::atoi(argv[2]));
  if (command == "chip") return Chip();
  if (command == "poweron") return PowerOn();
  if (command == "poke" && argc >= 4) return Poke(argv[2], argv[3]);
  if (command == "reg") return Reg();
  if (command == "reg-delete") return RegDelete();
  if (command == "reg-set" && argc >= 3) return RegSet(argv[2]);
  if (command == "run-stored" && argc >= 3) return RunStored(std::atoi(argv[2]));
  if (command == "uninstall") return Uninstall();
  if (command == "hold" && argc >= 3)
    return Hold(std::atoi(argv[2]), argc >= 4 ? argv[3] : nullptr);
  if (command == "release") return Release(argc >= 3 ? std::atoi(argv[2]) : 10);
  return Usage();
}
