// The simulated Windows' session: named mutexes, the command line, system message texts,
// message boxes and the registry, with the result codes the real calls give.
#include <algorithm>
#include <cctype>
#include <cstring>
#include <utility>

#include "sim/SimWindows.h"

namespace sim {
namespace {

constexpr os::Dword kErrorMrMidNotFound = 317;
constexpr os::Dword kErrorResourceLangNotFound = 1815;
constexpr os::Long kRegErrorNoAccess = 998;
constexpr os::Dword kKeySetValue = 0x0002;

std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

bool SameName(const std::string& a, const std::string& b) {
  return Upper(a) == Upper(b);
}

// The path without a trailing separator, so that "A\B\" and "A\B" name the same key.
std::string KeyPath(std::string path) {
  while (!path.empty() && path.back() == '\\') path.pop_back();
  return path;
}

std::string ParentPath(const std::string& path) {
  auto cut = path.rfind('\\');
  return cut == std::string::npos ? std::string() : path.substr(0, cut);
}

}  // namespace

// ---------------------------------------------------------------- Session

Session::Session() {
  systemMessages = {
      {0, "The operation completed successfully.\r\n"},
      {2, "The system cannot find the file specified.\r\n"},
      {3, "The system cannot find the path specified.\r\n"},
      {5, "Access is denied.\r\n"},
      {6, "The handle is invalid.\r\n"},
      {8, "Not enough storage is available to process this command.\r\n"},
      {32, "The process cannot access the file because it is being used by another process.\r\n"},
      {112, "There is not enough space on the disk.\r\n"},
      {123, "The filename, directory name, or volume label syntax is incorrect.\r\n"},
      {193, "%1 is not a valid Win32 application.\r\n"},
      {206, "The filename or extension is too long.\r\n"},
      {577,
       "Windows cannot verify the digital signature for this file. A recent hardware or "
       "software change might have installed a file that is signed incorrectly or damaged, or "
       "that might be malicious software from an unknown source.\r\n"},
      {1058,
       "The service cannot be started, either because it is disabled or because it has no "
       "enabled devices associated with it.\r\n"},
      {1060, "The specified service does not exist as an installed service.\r\n"},
      {1072, "The specified service has been marked for deletion.\r\n"},
      {1073, "The specified service already exists.\r\n"},
      {1275, "This driver has been blocked from loading\r\n"},
  };
  for (const char* root :
       {"HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE", "HKEY_USERS"}) {
    AddKey(root);
  }
  AddKey("HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run");
  AddKey("HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Run");
}

void Session::AddForeignMutex(const std::string& name, bool owned) {
  mutexes_.push_back({name, true, 0, owned ? os::Dword{0xF0F0} : os::Dword{0}, owned ? 1 : 0});
}

void Session::DropForeignMutex(const std::string& name, bool abandon) {
  for (Mutex& m : mutexes_) {
    if (m.name != name || !m.foreign) continue;
    if (m.owner != 0 && m.owner != processId) {
      m.owner = 0;
      m.recursion = 0;
      m.abandoned = abandon;
    }
    m.foreign = false;
  }
}

void Session::TakeMutexAs(const std::string& name, os::Dword owner) {
  for (Mutex& m : mutexes_) {
    if (m.name == name && (m.foreign || m.handles > 0)) {
      m.foreign = true;
      m.owner = owner;
      m.recursion = 1;
      m.abandoned = false;
      return;
    }
  }
  mutexes_.push_back({name, true, 0, owner, 1});
}

bool Session::MutexOwnedByOther(const std::string& name) const {
  return std::any_of(mutexes_.begin(), mutexes_.end(), [&](const Mutex& m) {
    return m.name == name && m.owner != 0 && m.owner != processId;
  });
}

bool Session::MutexOwnedHere(const std::string& name) const {
  return std::any_of(mutexes_.begin(), mutexes_.end(),
                     [&](const Mutex& m) { return m.name == name && m.owner == processId; });
}

os::Dword Session::TakeMutex(int id) {
  Mutex& m = mutexes_.at(static_cast<std::size_t>(id));
  if (m.owner != 0 && m.owner != processId) return os::kWaitTimeout;
  m.owner = processId;
  ++m.recursion;
  if (m.abandoned) {
    m.abandoned = false;
    return os::kWaitAbandoned;
  }
  return os::kWaitObject0;
}

bool Session::ReleaseMutexOf(int id) {
  Mutex& m = mutexes_.at(static_cast<std::size_t>(id));
  if (m.owner != processId) return false;
  if (--m.recursion == 0) m.owner = 0;
  return true;
}

void Session::Restart() {
  startedAt = systemTime;
  for (Mutex& m : mutexes_) m = Mutex{m.name, false, 0};  // every process is gone
  for (auto it = keys_.begin(); it != keys_.end();) {
    it = it->second.isVolatile ? keys_.erase(it) : std::next(it);
  }
  startedProcesses.clear();
}

void Session::CleanShutdown() {
  std::vector<std::uint8_t> when(8);
  for (int i = 0; i < 8; ++i) when[i] = static_cast<std::uint8_t>(systemTime >> (8 * i));
  SetValue(kShutdownKey, "ShutdownTime", os::kRegBinary, when);
}

bool Session::HasSubKeys(const std::string& path) const {
  std::string prefix = Upper(KeyPath(path)) + "\\";
  auto next = keys_.lower_bound(prefix);
  return next != keys_.end() && next->first.rfind(prefix, 0) == 0;
}

bool Session::KeyIsVolatile(const std::string& path) const {
  const Key* key = FindKey(path);
  return key != nullptr && key->isVolatile;
}

bool Session::MutexExists(const std::string& name) const {
  return std::any_of(mutexes_.begin(), mutexes_.end(), [&](const Mutex& m) {
    return !m.name.empty() && m.name == name && (m.foreign || m.handles > 0);
  });
}

int Session::MutexHandleCount(const std::string& name) const {
  int count = 0;
  for (const Mutex& m : mutexes_) {
    if (m.name == name) count += m.handles;
  }
  return count;
}

void Session::EndProcess() {
  for (Mutex& m : mutexes_) {
    m.handles = 0;
    if (m.owner == processId) {  // the system abandons what the process still owned
      m.owner = 0;
      m.recursion = 0;
      m.abandoned = m.foreign;   // a mutex nobody else holds open is gone
    }
  }
}

int Session::OpenOrCreateMutex(const char* name, bool* existed) {
  *existed = false;
  if (name != nullptr && *name != '\0') {
    for (std::size_t i = 0; i < mutexes_.size(); ++i) {
      Mutex& m = mutexes_[i];
      if (m.name == name && (m.foreign || m.handles > 0)) {
        *existed = true;
        ++m.handles;
        return static_cast<int>(i);
      }
    }
  }
  mutexes_.push_back({name != nullptr ? name : "", false, 1});
  return static_cast<int>(mutexes_.size() - 1);
}

void Session::CloseMutex(int id) {
  if (id >= 0 && id < static_cast<int>(mutexes_.size()) && mutexes_[id].handles > 0) {
    Mutex& m = mutexes_[id];
    // The last handle gone, the mutex is gone, owned or not.
    if (--m.handles == 0 && !m.foreign) m = Mutex{m.name, false, 0};
  }
}

char* Session::Allocate(const std::string& text) {
  auto block = std::make_unique<char[]>(text.size() + 1);
  std::memcpy(block.get(), text.c_str(), text.size() + 1);
  allocations_.push_back(std::move(block));
  return allocations_.back().get();
}

bool Session::Release(void* memory) {
  auto found = std::find_if(allocations_.begin(), allocations_.end(),
                            [memory](const auto& block) { return block.get() == memory; });
  if (found == allocations_.end()) return false;
  allocations_.erase(found);
  return true;
}

std::string Session::RootName(os::HKey key) {
  switch (reinterpret_cast<std::uintptr_t>(key) & 0xFFFFFFFFu) {
    case 0x80000000u:
      return "HKEY_CLASSES_ROOT";
    case 0x80000001u:
      return "HKEY_CURRENT_USER";
    case 0x80000002u:
      return "HKEY_LOCAL_MACHINE";
    case 0x80000003u:
      return "HKEY_USERS";
    default:
      return {};
  }
}

Session::Key* Session::FindKey(const std::string& path) {
  auto found = keys_.find(Upper(KeyPath(path)));
  return found == keys_.end() ? nullptr : &found->second;
}

const Session::Key* Session::FindKey(const std::string& path) const {
  auto found = keys_.find(Upper(KeyPath(path)));
  return found == keys_.end() ? nullptr : &found->second;
}

Session::Key& Session::CreateKey(const std::string& path, bool* created, bool isVolatile) {
  std::string clean = KeyPath(path);
  if (Key* key = FindKey(clean)) {
    if (created) *created = false;
    return *key;
  }
  std::string parent = ParentPath(clean);
  if (!parent.empty()) CreateKey(parent, nullptr);
  if (created) *created = true;
  Key& key = keys_[Upper(clean)];
  key.path = clean;
  key.isVolatile = isVolatile;
  return key;
}

void Session::AddKey(const std::string& path) {
  CreateKey(path, nullptr);
}

bool Session::KeyExists(const std::string& path) const {
  return FindKey(path) != nullptr;
}

void Session::RemoveKey(const std::string& path) {
  std::string upper = Upper(KeyPath(path));
  for (auto it = keys_.begin(); it != keys_.end();) {
    if (it->first == upper || it->first.rfind(upper + "\\", 0) == 0) {
      it = keys_.erase(it);
    } else {
      ++it;
    }
  }
}

void Session::SetValue(const std::string& path, const std::string& name, os::Dword type,
                       std::vector<std::uint8_t> data) {
  Key& key = CreateKey(path, nullptr);
  for (auto& [valueName, value] : key.values) {
    if (SameName(valueName, name)) {
      value = {type, std::move(data)};
      return;
    }
  }
  key.values.push_back({name, {type, std::move(data)}});
}

void Session::SetStringValue(const std::string& path, const std::string& name,
                             const std::string& text) {
  std::vector<std::uint8_t> data(text.begin(), text.end());
  data.push_back(0);
  SetValue(path, name, os::kRegSz, std::move(data));
}

std::optional<Session::RegValue> Session::Value(const std::string& path,
                                                const std::string& name) const {
  const Key* key = FindKey(path);
  if (key == nullptr) return std::nullopt;
  for (const auto& [valueName, value] : key->values) {
    if (SameName(valueName, name)) return value;
  }
  return std::nullopt;
}

std::optional<std::string> Session::StringValue(const std::string& path,
                                                const std::string& name) const {
  auto value = Value(path, name);
  if (!value || value->type != os::kRegSz || value->data.empty() || value->data.back() != 0) {
    return std::nullopt;
  }
  return std::string(value->data.begin(), value->data.end() - 1);
}

int Session::ValueCount(const std::string& path) const {
  const Key* key = FindKey(path);
  return key == nullptr ? 0 : static_cast<int>(key->values.size());
}

void Session::DenyWrites(const std::string& path) {
  denied_.push_back(Upper(KeyPath(path)));
}

bool Session::WriteDenied(const std::string& path) const {
  std::string upper = Upper(KeyPath(path));
  return std::any_of(denied_.begin(), denied_.end(), [&](const std::string& denied) {
    return upper == denied || upper.rfind(denied + "\\", 0) == 0;
  });
}

int Session::AddOpenKey(std::string path, os::Dword access) {
  int id = nextKeyId_++;
  openKeys_[id] = {std::move(path), access};
  return id;
}

Session::OpenKey* Session::FindOpenKey(int id) {
  auto found = openKeys_.find(id);
  return found == openKeys_.end() ? nullptr : &found->second;
}

void Session::CloseKey(int id) {
  openKeys_.erase(id);
}

int Session::OpenKeyCount() const {
  return static_cast<int>(openKeys_.size());
}

// ---------------------------------------------------------------- Process calls

os::Handle SimWindows::CreateMutexA(os::Bool initialOwner, const char* name) {
  if (ShouldFail("CreateMutexA")) return nullptr;
  bool existed = false;
  int id = session.OpenOrCreateMutex(name, &existed);
  if (initialOwner && !existed) session.TakeMutex(id);
  lastError_ = existed ? os::kErrorAlreadyExists : os::kErrorSuccess;
  return NewHandle(HandleKind::Mutex, id);
}

const char* SimWindows::GetCommandLineA() {
  if (ShouldFail("GetCommandLineA")) return nullptr;
  return session.commandLine.c_str();
}

os::Dword SimWindows::FormatMessageA(os::Dword flags, const void* source, os::Dword messageId,
                                     os::Dword languageId, char* buffer, os::Dword size,
                                     void* arguments) {
  (void)source;  // only meaningful for message tables other than the system's
  if (ShouldFail("FormatMessageA")) return 0;
  if ((flags & os::kFormatMessageFromSystem) == 0 || buffer == nullptr) {
    lastError_ = os::kErrorInvalidParameter;
    return 0;
  }
  // The system table holds neutral and English texts.
  os::Dword primary = languageId & 0x3FF;
  if (primary != 0x00 && primary != 0x09) {
    lastError_ = kErrorResourceLangNotFound;
    return 0;
  }
  auto found = session.systemMessages.find(messageId);
  if (found == session.systemMessages.end()) {
    lastError_ = kErrorMrMidNotFound;
    return 0;
  }
  const std::string& text = found->second;
  bool hasInserts = false;
  for (std::size_t i = 0; i + 1 < text.size(); ++i) {
    if (text[i] == '%' && std::isdigit(static_cast<unsigned char>(text[i + 1]))) hasInserts = true;
  }
  if (hasInserts && (flags & os::kFormatMessageIgnoreInserts) == 0 && arguments == nullptr) {
    lastError_ = os::kErrorInvalidParameter;
    return 0;
  }
  if ((flags & os::kFormatMessageAllocateBuffer) != 0) {
    *reinterpret_cast<char**>(buffer) = session.Allocate(text);
  } else {
    if (text.size() + 1 > size) {
      lastError_ = os::kErrorInsufficientBuffer;
      return 0;
    }
    std::memcpy(buffer, text.c_str(), text.size() + 1);
  }
  lastError_ = os::kErrorSuccess;
  return static_cast<os::Dword>(text.size());
}

void* SimWindows::LocalFree(void* memory) {
  if (ShouldFail("LocalFree")) return memory;
  if (memory == nullptr || session.Release(memory)) return nullptr;
  lastError_ = os::kErrorInvalidHandle;
  return memory;
}

int SimWindows::MessageBoxA(void* owner, const char* text, const char* caption, os::Dword type) {
  if (ShouldFail("MessageBoxA")) return 0;
  session.messageBoxes.push_back(
      {owner, text != nullptr ? text : "", caption != nullptr ? caption : "Error", type});
  if (session.answer) return session.answer(session.messageBoxes.back());
  return os::kIdOk;
}

void SimWindows::GetLocalTime(os::SystemTime* time) {
  calls.emplace_back("GetLocalTime");
  *time = session.localTime;
}

void SimWindows::GetSystemTimeAsFileTime(os::FileTime* time) {
  calls.emplace_back("GetSystemTimeAsFileTime");
  time->dwLowDateTime = static_cast<os::Dword>(session.systemTime);
  time->dwHighDateTime = static_cast<os::Dword>(session.systemTime >> 32);
}

os::Dword SimWindows::GetTickCount() {
  calls.emplace_back("GetTickCount");
  return static_cast<os::Dword>((session.systemTime - session.startedAt) / Session::kMillisecond);
}

// ---------------------------------------------------------------- Registry

namespace {

// The path a key handle stands for and the access it was opened with; false for a handle
// that is neither a root key nor an open key.
bool ResolveKey(SimWindows& win, os::HKey key, std::string* path, os::Dword* access) {
  std::string root = Session::RootName(key);
  if (!root.empty()) {
    *path = root;
    *access = os::kKeyAllAccess;
    return true;
  }
  const SimWindows::HandleEntry* entry = win.FindHandle(key, HandleKind::Key);
  if (entry == nullptr) return false;
  const Session::OpenKey* open = win.session.FindOpenKey(entry->id);
  if (open == nullptr) return false;
  *path = open->path;
  *access = open->access;
  return true;
}

// The full path of subKey below base; false for a sub-key that starts with a separator.
bool SubKeyPath(const std::string& base, const char* subKey, std::string* path) {
  if (subKey == nullptr || *subKey == '\0') {
    *path = base;
    return true;
  }
  if (*subKey == '\\') return false;
  *path = KeyPath(base + "\\" + subKey);
  return true;
}

}  // namespace

os::Long SimWindows::RegOpenKeyExA(os::HKey key, const char* subKey, os::Dword options,
                                   os::Dword access, os::HKey* result) {
  if (ShouldFail("RegOpenKeyExA")) return static_cast<os::Long>(lastError_);
  (void)options;  // only REG_OPTION_OPEN_LINK exists, and links are not simulated
  if (result == nullptr) return static_cast<os::Long>(os::kErrorInvalidParameter);
  std::string base, path;
  os::Dword baseAccess = 0;
  if (!ResolveKey(*this, key, &base, &baseAccess)) {
    return static_cast<os::Long>(os::kErrorInvalidHandle);
  }
  if (!SubKeyPath(base, subKey, &path)) return static_cast<os::Long>(os::kErrorBadPathname);
  const Session::Key* found = session.FindKey(path);
  if (found == nullptr) return static_cast<os::Long>(os::kErrorFileNotFound);
  if ((access & kKeyWriteAccessBits) != 0 && session.WriteDenied(path)) {
    return static_cast<os::Long>(os::kErrorAccessDenied);
  }
  *result = NewHandle(HandleKind::Key, session.AddOpenKey(found->path, access));
  return os::kRegSuccess;
}

os::Long SimWindows::RegCreateKeyExA(os::HKey key, const char* subKey, os::Dword reserved,
                                     char* className, os::Dword options, os::Dword access,
                                     void* security, os::HKey* result, os::Dword* disposition) {
  if (ShouldFail("RegCreateKeyExA")) return static_cast<os::Long>(lastError_);
  (void)className, (void)security;  // classes and security descriptors are not simulated
  if (result == nullptr || reserved != 0 || options > os::kRegOptionVolatile) {
    return static_cast<os::Long>(os::kErrorInvalidParameter);
  }
  std::string base, path;
  os::Dword baseAccess = 0;
  if (!ResolveKey(*this, key, &base, &baseAccess)) {
    return static_cast<os::Long>(os::kErrorInvalidHandle);
  }
  if (!SubKeyPath(base, subKey, &path)) return static_cast<os::Long>(os::kErrorBadPathname);
  bool exists = session.KeyExists(path);
  bool needsWrite = !exists || (access & kKeyWriteAccessBits) != 0;
  if (needsWrite && session.WriteDenied(path)) {
    return static_cast<os::Long>(os::kErrorAccessDenied);
  }
  // A volatile key lives until the system restarts; below one, every new key must be volatile
  // too. The option means nothing for a key that exists, and the 9x family ignores it.
  const bool wantsVolatile =
      (options & os::kRegOptionVolatile) != 0 && machine.platformId == os::kVerPlatformWin32Nt;
  if (!exists && !wantsVolatile && session.KeyIsVolatile(ParentPath(path))) {
    return static_cast<os::Long>(os::kErrorChildMustBeVolatile);
  }
  bool created = false;
  Session::Key& made = session.CreateKey(path, &created, wantsVolatile);
  if (disposition != nullptr) {
    *disposition = created ? os::kRegCreatedNewKey : os::kRegOpenedExistingKey;
  }
  *result = NewHandle(HandleKind::Key, session.AddOpenKey(made.path, access));
  return os::kRegSuccess;
}

os::Long SimWindows::RegSetValueExA(os::HKey key, const char* valueName, os::Dword reserved,
                                    os::Dword type, const std::uint8_t* data, os::Dword size) {
  if (ShouldFail("RegSetValueExA")) return static_cast<os::Long>(lastError_);
  std::string path;
  os::Dword access = 0;
  if (!ResolveKey(*this, key, &path, &access)) {
    return static_cast<os::Long>(os::kErrorInvalidHandle);
  }
  if ((access & kKeySetValue) == 0 || session.WriteDenied(path)) {
    return static_cast<os::Long>(os::kErrorAccessDenied);
  }
  if (reserved != 0) return static_cast<os::Long>(os::kErrorInvalidParameter);
  if (data == nullptr && size > 0) return kRegErrorNoAccess;
  std::vector<std::uint8_t> bytes;
  if (size > 0) bytes.assign(data, data + size);
  session.SetValue(path, valueName != nullptr ? valueName : "", type, std::move(bytes));
  return os::kRegSuccess;
}

os::Long SimWindows::RegDeleteValueA(os::HKey key, const char* valueName) {
  if (ShouldFail("RegDeleteValueA")) return static_cast<os::Long>(lastError_);
  std::string path;
  os::Dword access = 0;
  if (!ResolveKey(*this, key, &path, &access)) {
    return static_cast<os::Long>(os::kErrorInvalidHandle);
  }
  if ((access & kKeySetValue) == 0 || session.WriteDenied(path)) {
    return static_cast<os::Long>(os::kErrorAccessDenied);
  }
  Session::Key* found = session.FindKey(path);
  std::string name = valueName != nullptr ? valueName : "";
  if (found != nullptr) {
    auto& values = found->values;
    for (auto it = values.begin(); it != values.end(); ++it) {
      if (SameName(it->first, name)) {
        values.erase(it);
        return os::kRegSuccess;
      }
    }
  }
  return static_cast<os::Long>(os::kErrorFileNotFound);
}

os::Long SimWindows::RegCloseKey(os::HKey key) {
  if (ShouldFail("RegCloseKey")) return static_cast<os::Long>(lastError_);
  if (!Session::RootName(key).empty()) return os::kRegSuccess;
  const HandleEntry* entry = FindHandle(key, HandleKind::Key);
  if (entry == nullptr) return static_cast<os::Long>(os::kErrorInvalidHandle);
  int id = entry->id;
  ForgetHandle(key);
  session.CloseKey(id);
  return os::kRegSuccess;
}

// ---------------------------------------------------------------- Task scheduler

const Session::Task* Session::FindTask(const std::string& name) const {
  for (const Task& task : tasks) {
    if (SameName(task.name, name)) return &task;
  }
  return nullptr;
}

namespace {
constexpr os::HResult kClassNotRegistered = static_cast<os::HResult>(0x80040154u);
}

os::HResult SimWindows::RegisterTask(const char* name, const char* xml, os::Long logonType) {
  if (ShouldFail("RegisterTask")) return static_cast<os::HResult>(lastError_);
  if (machine.platformId != os::kVerPlatformWin32Nt || machine.majorVersion < 6) {
    return kClassNotRegistered;
  }
  if (name == nullptr || *name == '\0' || xml == nullptr) {
    return os::HResultFromWin32(os::kErrorInvalidParameter);
  }
  for (Session::Task& task : session.tasks) {
    if (SameName(task.name, name)) {
      task.xml = xml;
      task.logonType = logonType;
      return os::kSOk;
    }
  }
  session.tasks.push_back({name, xml, logonType});
  return os::kSOk;
}

os::HResult SimWindows::DeleteTask(const char* name) {
  if (ShouldFail("DeleteTask")) return static_cast<os::HResult>(lastError_);
  if (machine.platformId != os::kVerPlatformWin32Nt || machine.majorVersion < 6) {
    return kClassNotRegistered;
  }
  auto& tasks = session.tasks;
  for (auto it = tasks.begin(); it != tasks.end(); ++it) {
    if (name != nullptr && SameName(it->name, name)) {
      tasks.erase(it);
      return os::kSOk;
    }
  }
  return os::HResultFromWin32(os::kErrorFileNotFound);
}

}  // namespace sim

namespace sim {

// ---------------------------------------------------------------- Registry values and keys

os::Long SimWindows::RegQueryValueExA(os::HKey key, const char* valueName, os::Dword* type,
                                      std::uint8_t* data, os::Dword* size) {
  if (ShouldFail("RegQueryValueExA")) return static_cast<os::Long>(lastError_);
  std::string path;
  os::Dword access = 0;
  if (!ResolveKey(*this, key, &path, &access)) {
    return static_cast<os::Long>(os::kErrorInvalidHandle);
  }
  std::optional<Session::RegValue> value =
      session.Value(path, valueName != nullptr ? valueName : "");
  if (!value.has_value()) return static_cast<os::Long>(os::kErrorFileNotFound);
  if (type != nullptr) *type = value->type;
  if (size == nullptr) return data == nullptr ? os::kRegSuccess
                                              : static_cast<os::Long>(os::kErrorInvalidParameter);
  const auto need = static_cast<os::Dword>(value->data.size());
  if (data != nullptr && *size < need) {
    *size = need;
    return static_cast<os::Long>(os::kErrorMoreData);
  }
  if (data != nullptr && need > 0) std::memcpy(data, value->data.data(), need);
  *size = need;
  return os::kRegSuccess;
}

os::Long SimWindows::RegDeleteKeyA(os::HKey key, const char* subKey) {
  if (ShouldFail("RegDeleteKeyA")) return static_cast<os::Long>(lastError_);
  std::string base, path;
  os::Dword access = 0;
  if (!ResolveKey(*this, key, &base, &access)) {
    return static_cast<os::Long>(os::kErrorInvalidHandle);
  }
  if (subKey == nullptr || *subKey == '\0' || !SubKeyPath(base, subKey, &path)) {
    return static_cast<os::Long>(os::kErrorBadPathname);
  }
  if (!session.KeyExists(path)) return static_cast<os::Long>(os::kErrorFileNotFound);
  if (session.WriteDenied(path)) return static_cast<os::Long>(os::kErrorAccessDenied);
  // A key with subkeys cannot be deleted by this call (NT); the 9x family deletes the tree.
  if (session.HasSubKeys(path) && machine.platformId == os::kVerPlatformWin32Nt) {
    return static_cast<os::Long>(os::kErrorAccessDenied);
  }
  session.RemoveKey(path);
  return os::kRegSuccess;
}

// ---------------------------------------------------------------- Mutex waits, processes

os::Dword SimWindows::WaitForSingleObject(os::Handle object, os::Dword milliseconds) {
  if (ShouldFail("WaitForSingleObject")) return os::kWaitFailed;
  const HandleEntry* entry = FindHandle(object, HandleKind::Mutex);
  if (entry == nullptr) {
    lastError_ = os::kErrorInvalidHandle;
    return os::kWaitFailed;
  }
  const int id = entry->id;
  os::Dword result = session.TakeMutex(id);
  if (result != os::kWaitTimeout || milliseconds == 0) return result;
  if (onWait) onWait(milliseconds);
  result = session.TakeMutex(id);
  if (result == os::kWaitTimeout) session.Advance(milliseconds);
  return result;
}

os::Bool SimWindows::ReleaseMutex(os::Handle mutex) {
  if (ShouldFail("ReleaseMutex")) return 0;
  const HandleEntry* entry = FindHandle(mutex, HandleKind::Mutex);
  if (entry == nullptr || !session.ReleaseMutexOf(entry->id)) {
    lastError_ = entry == nullptr ? os::kErrorInvalidHandle : 288;  // ERROR_NOT_OWNER
    return 0;
  }
  return 1;
}

os::Dword SimWindows::GetCurrentProcessId() {
  return session.processId;
}

os::Bool SimWindows::CreateProcessA(char* commandLine, os::Dword flags, const char* directory,
                                    os::ProcessInformation* info) {
  calls.emplace_back("CreateProcessA");
  if (ShouldFail("CreateProcessA")) return 0;
  if (commandLine == nullptr || info == nullptr) {
    lastError_ = os::kErrorInvalidParameter;
    return 0;
  }
  // The 9x family knows no job objects: an unknown flag is refused.
  if ((flags & os::kCreateBreakawayFromJob) != 0 &&
      machine.platformId != os::kVerPlatformWin32Nt) {
    lastError_ = os::kErrorInvalidParameter;
    return 0;
  }
  Session::StartedProcess started{commandLine, flags, directory != nullptr ? directory : "",
                                  session.processId + 4 * static_cast<os::Dword>(
                                      session.startedProcesses.size() + 1)};
  session.startedProcesses.push_back(started);
  info->hProcess = NewHandle(HandleKind::Process, static_cast<int>(started.processId));
  info->hThread = NewHandle(HandleKind::Process, static_cast<int>(started.processId));
  info->dwProcessId = started.processId;
  info->dwThreadId = started.processId + 1;
  if (session.onCreateProcess) session.onCreateProcess(started);
  lastError_ = os::kErrorSuccess;
  return 1;
}

}  // namespace sim
