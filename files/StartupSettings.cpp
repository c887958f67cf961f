// Start-up settings: writes the start-up register file and registers (or removes) the
// command line that applies it silently at every log-on.
#include "files/StartupSettings.h"

#include <cstdint>

#include "app/Startup.h"
#include "files/ApplyMarker.h"
#include "files/RegisterFile.h"
#include "os/Api.h"

namespace {

// How the messages name the value (this wording has always been shown to users).
constexpr char kRunValueDisplayPath[] =
    "\\HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\WindowsCurrentVersion\\Run\\Morvane";

// One root key, one access mask and at most one open key, closed when released.
class Registry {
 public:
  Registry(os::HKey root, os::Dword access) : root_(root), access_(access) {}
  ~Registry() { CloseKey(); }
  Registry(const Registry&) = delete;
  Registry& operator=(const Registry&) = delete;

  // Opens the key below the root; with canCreate it is created (and its parents) if missing.
  bool OpenKey(const char* path, bool canCreate) {
    CloseKey();
    os::HKey key = nullptr;
    os::Long result;
    if (canCreate) {
      os::Dword disposition = 0;
      result = os::Windows().RegCreateKeyExA(root_, path, 0, nullptr, os::kRegOptionNonVolatile,
                                             access_, nullptr, &key, &disposition);
    } else {
      result = os::Windows().RegOpenKeyExA(root_, path, 0, access_, &key);
    }
    if (result != os::kRegSuccess) return false;
    key_ = key;
    return true;
  }

  // A REG_SZ value; its stored size counts the terminating NUL.
  bool WriteString(const char* name, const std::string& text) {
    if (key_ == nullptr) return false;
    const auto* data = reinterpret_cast<const std::uint8_t*>(text.c_str());
    return os::Windows().RegSetValueExA(key_, name, 0, os::kRegSz, data,
                                        static_cast<os::Dword>(text.size() + 1)) == os::kRegSuccess;
  }

  bool DeleteValue(const char* name) {
    return key_ != nullptr && os::Windows().RegDeleteValueA(key_, name) == os::kRegSuccess;
  }

  void CloseKey() {
    if (key_ == nullptr) return;
    os::Windows().RegCloseKey(key_);
    key_ = nullptr;
  }

 private:
  os::HKey root_;
  os::Dword access_;
  os::HKey key_ = nullptr;
};

}  // namespace

std::string StartupCommandLine() {
  std::string program = ProgramFilePath;
  if (program.find(' ') != std::string::npos) program = "\"" + program + "\"";
  return program + " " + StartupFilePath;
}

void ApplyStartupSettings(MessageBoxControl& messages) {
  // Both sections in one replacement of the file: a failed save leaves the old start-up file
  // whole, never new DRAM keys beside old LINK keys that the next log-on would apply.
  if (!SaveRegisterFile(StartupFilePath)) {
    messages.Show("There was an error saving to file \"" + StartupFilePath + "\".", "Save Error",
                  kMessageOk);
    return;  // the registry is left alone
  }
  // The user has chosen the start-up settings again: a log-on apply that did not finish no
  // longer stands in their way.
  RemoveApplyMarker(StartupFilePath);
  bool registered = false;
  {
    Registry registry(os::kHKeyLocalMachine, os::kKeyAllAccess);
    if (registry.OpenKey(kRunKeyPath, false) || registry.OpenKey(kRunKeyPath, true)) {
      registered = registry.WriteString(kRunValueName, StartupCommandLine());
    }
  }
  if (!registered) {
    messages.Show(std::string("Unable to create system registry value\n") + kRunValueDisplayPath,
                  "Registry Error", kMessageOk);
  }
}

void RemoveStartupSettings(MessageBoxControl& messages) {
  // Nothing here raises, and neither outcome is reported: without the key (or the rights to
  // it) there is nothing this user could remove, and a missing value or a refused deletion
  // leaves nothing to tell.
  (void)messages;
  Registry registry(os::kHKeyLocalMachine, os::kKeyAllAccess);
  if (registry.OpenKey(kRunKeyPath, false)) registry.DeleteValue(kRunValueName);
}
