// Start-up settings: writes the start-up register file and registers (or removes) the
// command line that applies it silently at every log-on, as a Run value or a log-on task.
#include "files/StartupSettings.h"

#include <cstdint>

#include "files/ApplyMarker.h"
#include "files/ProgramPaths.h"
#include "files/RegisterFile.h"
#include "files/SafePlace.h"

namespace {

// One root key, one access mask and at most one open key, closed when released.
class Registry {
 public:
  Registry(os::HKey root, os::Dword access) : root_(root), access_(access) {}
  ~Registry() { CloseKey(); }
  Registry(const Registry&) = delete;
  Registry& operator=(const Registry&) = delete;

  // Opens the key below the root; with canCreate it is created (and its parents) if missing.
  // Returns the registry's result.
  os::Long OpenKey(const char* path, bool canCreate) {
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
    if (result == os::kRegSuccess) key_ = key;
    return result;
  }

  // A REG_SZ value; its stored size counts the terminating NUL.
  os::Long WriteString(const char* name, const std::string& text) {
    if (key_ == nullptr) return static_cast<os::Long>(os::kErrorInvalidHandle);
    const auto* data = reinterpret_cast<const std::uint8_t*>(text.c_str());
    return os::Windows().RegSetValueExA(key_, name, 0, os::kRegSz, data,
                                        static_cast<os::Dword>(text.size() + 1));
  }

  os::Long DeleteValue(const char* name) {
    if (key_ == nullptr) return static_cast<os::Long>(os::kErrorInvalidHandle);
    return os::Windows().RegDeleteValueA(key_, name);
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

// Stores the command line as the Run value "Morvane"; the registry's error code, or 0.
os::Long WriteRunValue(const std::string& commandLine) {
  Registry registry(os::kHKeyLocalMachine, os::kKeyAllAccess);
  os::Long result = registry.OpenKey(kRunKeyPath, false);
  if (result != os::kRegSuccess) result = registry.OpenKey(kRunKeyPath, true);
  if (result != os::kRegSuccess) return result;
  return registry.WriteString(kRunValueName, commandLine);
}

// Deletes the Run value "Morvane" when there is one. Without the key (or the rights to it)
// there is nothing this user could remove. False when a value that exists was not deleted.
bool DeleteRunValue() {
  Registry registry(os::kHKeyLocalMachine, os::kKeyAllAccess);
  if (registry.OpenKey(kRunKeyPath, false) != os::kRegSuccess) return true;
  os::Long result = registry.DeleteValue(kRunValueName);
  return result == os::kRegSuccess || result == static_cast<os::Long>(os::kErrorFileNotFound);
}

// Text inside an XML element: the three characters with a meaning of their own escaped.
std::string XmlText(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

std::string QuotedWhenBlank(const std::string& path) {
  return path.find(' ') == std::string::npos ? path : "\"" + path + "\"";
}

}  // namespace

StartupRegistration StartupRegistrationOfThisWindows() {
  os::OsVersionInfo info;
  info.dwOSVersionInfoSize = os::kOsVersionInfoSize;
  // Without an answer, the registration every Windows version starts.
  if (!os::Windows().GetVersionExA(&info)) return StartupRegistration::RunValue;
  return info.dwPlatformId == os::kVerPlatformWin32Nt && info.dwMajorVersion >= 6
             ? StartupRegistration::LogonTask
             : StartupRegistration::RunValue;
}

std::string StartupCommandLine(const std::string& programFile, const std::string& startupFile) {
  return QuotedWhenBlank(programFile) + " " + startupFile;
}

std::string LogonTaskXml(const std::string& programFile, const std::string& startupFile) {
  std::string xml;
  xml += "<?xml version=\"1.0\" encoding=\"UTF-16\"?>\r\n";
  xml +=
      "<Task version=\"1.2\" xmlns=\"http://schemas.microsoft.com/windows/2004/02/mit/task\">\r\n";
  xml += "  <RegistrationInfo>\r\n";
  xml +=
      "    <Description>Applies the register settings saved in startup.mvn at "
      "log-on.</Description>\r\n";
  xml += "  </RegistrationInfo>\r\n";
  xml += "  <Triggers>\r\n";
  xml += "    <LogonTrigger>\r\n";
  xml += "      <Enabled>true</Enabled>\r\n";
  xml += "    </LogonTrigger>\r\n";
  xml += "  </Triggers>\r\n";
  xml += "  <Principals>\r\n";
  xml += "    <Principal id=\"Author\">\r\n";
  xml += std::string("      <GroupId>") + kLogonTaskGroup + "</GroupId>\r\n";
  xml += "      <RunLevel>HighestAvailable</RunLevel>\r\n";
  xml += "    </Principal>\r\n";
  xml += "  </Principals>\r\n";
  // A laptop on battery applies the settings too; a log-on never starts a second copy.
  xml += "  <Settings>\r\n";
  xml += "    <MultipleInstancesPolicy>IgnoreNew</MultipleInstancesPolicy>\r\n";
  xml += "    <DisallowStartIfOnBatteries>false</DisallowStartIfOnBatteries>\r\n";
  xml += "    <StopIfGoingOnBatteries>false</StopIfGoingOnBatteries>\r\n";
  xml += "  </Settings>\r\n";
  xml += "  <Actions Context=\"Author\">\r\n";
  xml += "    <Exec>\r\n";
  xml += "      <Command>" + XmlText(QuotedWhenBlank(programFile)) + "</Command>\r\n";
  xml += "      <Arguments>" + XmlText(startupFile) + "</Arguments>\r\n";
  xml += "    </Exec>\r\n";
  xml += "  </Actions>\r\n";
  xml += "</Task>\r\n";
  return xml;
}

StartupResult ApplyStartupSettings(const std::string& programFile, const std::string& startupFile) {
  StartupResult result;
  result.registration = StartupRegistrationOfThisWindows();
  // This function is the one place for the whole apply: any further step that readies the next
  // log-on's silent apply belongs here, beside the save and the registration.
  if (!SaveRegisterFile(startupFile)) {
    result.outcome = StartupResult::Outcome::SaveFailed;
    return result;  // the registration and an unfinished apply's marker are left alone
  }
  // What runs with administrator rights at every log-on, and the settings it applies, must be
  // out of other users' reach. (A start-up file that was there before keeps its owner and
  // access list through the save.)
  for (const std::string& file : {programFile, startupFile}) {
    PlaceCheck place = CheckPlace(file);
    if (place.verdict == PlaceVerdict::Exposed) {
      result.outcome = StartupResult::Outcome::UnsafePlace;
      result.exposed = place.exposed;
      return result;  // nothing registered; an earlier registration and marker stay as they are
    }
  }
  // The user has chosen the start-up settings again: a log-on apply that did not finish no
  // longer stands in their way.
  RemoveApplyMarker(startupFile);
  if (result.registration == StartupRegistration::RunValue) {
    os::Long written = WriteRunValue(StartupCommandLine(programFile, startupFile));
    if (written != os::kRegSuccess) {
      result.outcome = StartupResult::Outcome::RegisterFailed;
      result.error = written;
    }
    return result;
  }
  os::HResult registered = os::Windows().RegisterTask(
      kLogonTaskName, LogonTaskXml(programFile, startupFile).c_str(), os::kTaskLogonGroup);
  if (registered < 0) {
    result.outcome = StartupResult::Outcome::RegisterFailed;
    result.error = registered;
    return result;
  }
  // A Run value an earlier version stored would no longer be started anyway.
  DeleteRunValue();
  return result;
}

std::string UnsafePlaceText(const std::string& exposed) {
  return "The start-up settings were not registered: other users of this computer can change\n\"" +
         exposed +
         "\",\nso they could change what runs with administrator rights at every log-on.\n"
         "Copy Morvane into a folder only administrators can change (a folder under Program "
         "Files), then use \"Apply Settings at Startup\" there.";
}

std::string UnsafeStartText(const std::string& exposed) {
  return "The start-up settings were not applied: other users of this computer can change\n\"" +
         exposed +
         "\".\nCopy Morvane into a folder only administrators can change (a folder under "
         "Program Files), then use \"Apply Settings at Startup\" there again.\n";
}

bool RemoveStartupSettings() {
  bool removed = true;
  if (StartupRegistrationOfThisWindows() == StartupRegistration::LogonTask) {
    os::HResult deleted = os::Windows().DeleteTask(kLogonTaskName);
    removed = deleted >= 0 || deleted == os::HResultFromWin32(os::kErrorFileNotFound);
  }
  removed = DeleteRunValue() && removed;
  // No log-on apply is left to hold back. Where the registration stays, so does the state
  // of its last apply.
  if (removed && !StartupFilePath.empty()) RemoveApplyMarker(StartupFilePath);
  return removed;
}
