// The simulated file system: Windows' path forms, creation dispositions, sharing, read-only
// files, folders that refuse changes, delete-pending files and the error codes of each case.
#include "sim/FileSystem.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace sim {
namespace {

constexpr os::Dword kFileReadData = 0x1;
constexpr os::Dword kFileWriteData = 0x2;
constexpr os::Dword kFileAppendData = 0x4;
constexpr os::Dword kDeleteAccess = 0x10000;
constexpr os::Dword kGenericAll = 0x10000000;
// Attributes a file takes from CreateFileA's flags.
constexpr os::Dword kKeptAttributes = os::kFileAttributeReadonly | os::kFileAttributeHidden |
                                      kFileAttributeSystem | kFileAttributeArchive | 0x100 |
                                      0x1000 | 0x2000;  // temporary, offline, not indexed
// The ANSI calls convert a name into a buffer of MAX_PATH + 1 wide characters.
constexpr std::size_t kLongestAnsiName = kMaxPath;
constexpr std::size_t kLongestComponent = 255;

bool IsSeparator(char c) {
  return c == '\\' || c == '/';
}
bool IsLetter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
char Upper(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}
bool StartsWith(const std::string& s, const char* prefix) {
  return s.rfind(prefix, 0) == 0;
}

// Length of "\\server\share\" at the start of a UNC path, separators included.
std::size_t UncPrefixLength(const std::string& p) {
  std::size_t i = 2;
  while (i < p.size() && !IsSeparator(p[i])) ++i;
  while (i < p.size() && IsSeparator(p[i])) ++i;
  while (i < p.size() && !IsSeparator(p[i])) ++i;
  while (i < p.size() && IsSeparator(p[i])) ++i;
  return i;
}

// Windows' textual clean-up of a full path; nothing before `mark` (the root) changes.
void Collapse(std::string& s, std::size_t mark) {
  std::replace(s.begin(), s.end(), '/', '\\');
  std::size_t start = std::max<std::size_t>(1, mark);
  if (start < s.size()) {
    std::string out = s.substr(0, start);
    for (std::size_t i = start; i < s.size(); ++i) {
      if (s[i] != '\\' || out.back() != '\\') out += s[i];
    }
    s = out;
  }
  auto at = [&s](std::size_t i) { return i < s.size() ? s[i] : '\0'; };
  std::size_t p = mark;
  while (p < s.size()) {
    if (s[p] == '.') {
      if (at(p + 1) == '\\') {  // ".\"
        s.erase(p, 2);
        continue;
      }
      if (at(p + 1) == '\0') {  // a final "."
        if (p > mark) --p;
        s.erase(p);
        continue;
      }
      if (at(p + 1) == '.' && at(p + 2) == '\\') {  // "..\"
        std::size_t next = p + 3;
        if (p > mark) {
          --p;
          while (p > mark && s[p - 1] != '\\') --p;
        }
        s.erase(p, next - p);
        continue;
      }
      if (at(p + 1) == '.' && at(p + 2) == '\0') {  // a final ".."
        if (p > mark) {
          --p;
          while (p > mark && s[p - 1] != '\\') --p;
          if (p > mark) --p;
        }
        s.erase(p);
        continue;
      }
    }
    while (p < s.size() && s[p] != '\\') ++p;
    if (p < s.size()) {
      // A folder name loses one trailing dot.
      if (p > mark && s[p - 1] == '.') {
        s.erase(p - 1, 1);
      } else {
        ++p;
      }
    }
  }
  // Trailing blanks and dots go, as Windows drops them from every name it is given.
  p = s.size();
  while (p > mark && (s[p - 1] == ' ' || s[p - 1] == '.')) --p;
  s.erase(p);
}

// The root part of a full path ("C:\" or "\\server\share"), empty when it has none.
std::string RootOf(const std::string& full) {
  if (full.size() >= 3 && IsLetter(full[0]) && full[1] == ':' && full[2] == '\\') {
    return full.substr(0, 3);
  }
  if (StartsWith(full, "\\\\")) {
    std::size_t end = UncPrefixLength(full);
    std::string root = full.substr(0, end);
    while (!root.empty() && root.back() == '\\') root.pop_back();
    // A root needs both a server and a share name.
    std::size_t sep = root.find('\\', 2);
    if (sep == std::string::npos || sep + 1 >= root.size()) return {};
    return root;
  }
  return {};
}

bool InvalidNameChar(char c) {
  return static_cast<unsigned char>(c) < 32 || std::strchr("<>:\"|?*", c) != nullptr;
}

}  // namespace

FileSystem::FileSystem() {
  AddFolder(currentDirectory);
  AddFolder(ParentOf(FullPath(moduleFileName)));
  AddFolder(windowsDirectory);
  AddFolder(windowsDirectory + "\\system32");
  AddFolder(tempPath);
}

std::string FileSystem::FullPath(const std::string& name) const {
  std::string p = name;
  if (p.empty()) return p;
  if (StartsWith(p, "\\\\?\\")) return p;  // taken literally, as Windows does
  std::string full;
  std::size_t mark;
  std::string cur = currentDirectory;
  if (cur.empty() || cur.back() != '\\') cur += '\\';
  if (p.size() >= 2 && IsSeparator(p[0]) && IsSeparator(p[1])) {
    if (p.size() >= 4 && (p[2] == '.' || p[2] == '?') && IsSeparator(p[3])) {
      full = p;  // a device: "\\.\name"
      mark = 4;
    } else {
      full = p;
      mark = UncPrefixLength(p);
    }
  } else if (p.size() >= 2 && IsLetter(p[0]) && p[1] == ':') {
    if (p.size() >= 3 && IsSeparator(p[2])) {
      full = p;
    } else if (Upper(cur[0]) == Upper(p[0]) && cur.size() >= 2 && cur[1] == ':') {
      full = cur + p.substr(2);  // drive-relative on the current drive
    } else {
      full = std::string(1, p[0]) + ":\\" + p.substr(2);  // another drive: its root
    }
    mark = 3;
  } else if (IsSeparator(p[0])) {
    std::string root = RootOf(cur);
    if (root.size() == 3) {
      full = root.substr(0, 2) + p;
      mark = 3;
    } else {
      full = root + p;
      mark = root.size() + 1;
    }
  } else {
    full = cur + p;
    std::string root = RootOf(cur);
    mark = root.size() == 3 ? 3 : root.size() + 1;
  }
  Collapse(full, std::min(mark, full.size()));
  return full;
}

std::string FileSystem::Key(const std::string& fullPath) {
  std::string key = fullPath;
  for (char& c : key) c = Upper(c);
  return key;
}

std::string FileSystem::ParentOf(const std::string& fullPath) {
  std::string root = RootOf(fullPath);
  if (root.empty() || fullPath.size() <= root.size() + (root.size() == 3 ? 0 : 1)) return {};
  std::size_t sep = fullPath.find_last_of('\\');
  if (sep + 1 <= root.size()) return root;
  return fullPath.substr(0, sep);
}

bool FileSystem::Resolve(const char* name, Resolved* out, os::Dword* error) const {
  if (name == nullptr || *name == '\0') {
    *error = os::kErrorPathNotFound;
    return false;
  }
  if (std::strlen(name) > kLongestAnsiName) {
    *error = os::kErrorFilenameExcedRange;
    return false;
  }
  std::string full = FullPath(name);
  // "\\.\C:\..." and "\\?\C:\..." name ordinary files; any other device is not a file.
  if (StartsWith(full, "\\\\.\\") || StartsWith(full, "\\\\?\\")) {
    full.erase(0, 4);
    if (!(full.size() >= 3 && IsLetter(full[0]) && full[1] == ':' && full[2] == '\\')) {
      *error = os::kErrorFileNotFound;
      return false;
    }
  }
  std::string root = RootOf(full);
  if (root.empty()) {
    *error = os::kErrorInvalidName;
    return false;
  }
  out->trailingSeparator = false;
  while (full.size() > root.size() && full.back() == '\\') {
    full.pop_back();
    out->trailingSeparator = true;
  }
  if (full.size() >= kMaxPath) {
    *error = os::kErrorFilenameExcedRange;
    return false;
  }
  out->isRoot = full.size() == root.size();
  // Each name below the root: no reserved characters, at most 255 characters.
  std::size_t start = root.size() + (root.size() == 3 ? 0 : 1);
  while (start < full.size()) {
    std::size_t end = full.find('\\', start);
    if (end == std::string::npos) end = full.size();
    if (end - start > kLongestComponent ||
        std::any_of(full.begin() + start, full.begin() + end, InvalidNameChar)) {
      *error = os::kErrorInvalidName;
      return false;
    }
    start = end + 1;
  }
  out->full = full;
  out->key = Key(full);
  return true;
}

int FileSystem::Lookup(const std::string& key) const {
  auto it = byKey_.find(key);
  return it == byKey_.end() ? -1 : it->second;
}

bool FileSystem::ParentExists(const Resolved& r, os::Dword* error) const {
  std::string parent = ParentOf(r.full);
  int node = parent.empty() ? -1 : Lookup(Key(parent));
  if (node >= 0 && nodes_.at(node).folder) return true;
  std::string root = RootOf(r.full);
  *error = (root.size() != 3 && Lookup(Key(root)) < 0) ? kErrorBadNetPath : os::kErrorPathNotFound;
  return false;
}

bool FileSystem::ParentWritable(const std::string& fullPath) const {
  int node = Lookup(Key(ParentOf(fullPath)));
  return node >= 0 && nodes_.at(node).writable;
}

bool FileSystem::ShareConflict(int node, bool read, bool write, bool del, os::Dword share) const {
  // Handles without data access neither conflict nor count.
  if (!read && !write && !del) return false;
  for (const auto& [id, f] : open_) {
    if (f.node != node || !(f.read || f.write || f.del)) continue;
    if ((read && !(f.share & os::kFileShareRead)) || (write && !(f.share & os::kFileShareWrite)) ||
        (del && !(f.share & os::kFileShareDelete)))
      return true;
    if ((f.read && !(share & os::kFileShareRead)) || (f.write && !(share & os::kFileShareWrite)) ||
        (f.del && !(share & os::kFileShareDelete)))
      return true;
  }
  return false;
}

int FileSystem::NewNode(Node node) {
  int id = nextNode_++;
  std::string key = Key(node.path);
  nodes_.emplace(id, std::move(node));
  byKey_[key] = id;
  return id;
}

void FileSystem::Unlink(int node) {
  Node& n = nodes_.at(node);
  if (n.linked) byKey_.erase(Key(n.path));
  n.linked = false;
  bool open = std::any_of(open_.begin(), open_.end(),
                          [node](const auto& entry) { return entry.second.node == node; });
  if (!open) nodes_.erase(node);
}

namespace {
// A full path as the set-up calls take it: no trailing separator unless it is a root.
std::string Trimmed(std::string full) {
  std::string root = RootOf(full);
  while (full.size() > root.size() && full.back() == '\\') full.pop_back();
  return full;
}
}  // namespace

void FileSystem::AddFolderChain(const std::string& fullPath) {
  if (fullPath.empty()) return;
  std::string parent = ParentOf(fullPath);
  if (!parent.empty()) AddFolderChain(parent);
  int existing = Lookup(Key(fullPath));
  if (existing >= 0) {
    nodes_.at(existing).folder = true;
    return;
  }
  Node folder;
  folder.path = fullPath;
  folder.folder = true;
  folder.security = NewSecurity(fullPath, true);
  NewNode(std::move(folder));
}

Security FileSystem::NewSecurity(const std::string& fullPath, bool folder) const {
  std::string parent = ParentOf(fullPath);
  int at = parent.empty() ? -1 : Lookup(Key(parent));
  if (at < 0) return SafeDefault();
  return Inherit(nodes_.at(at).security, folder, creator);
}

void FileSystem::SetSecurity(const std::string& path, Security security) {
  int at = Lookup(Key(Trimmed(FullPath(path))));
  if (at >= 0) nodes_.at(at).security = std::move(security);
}

void FileSystem::Reinherit(const std::string& path) {
  std::string full = Trimmed(FullPath(path));
  int at = Lookup(Key(full));
  if (at >= 0) nodes_.at(at).security = NewSecurity(full, nodes_.at(at).folder);
}

Security FileSystem::SecurityOf(const std::string& path) const {
  int at = Lookup(Key(Trimmed(FullPath(path))));
  return at >= 0 ? nodes_.at(at).security : Security{};
}

bool FileSystem::SecurityOfName(const char* name, Security* security, os::Dword* error) const {
  Resolved r;
  if (!Resolve(name, &r, error)) return false;
  int at = Lookup(r.key);
  if (at < 0) {
    *error = ParentExists(r, error) ? os::kErrorFileNotFound : *error;
    return false;
  }
  *security = nodes_.at(at).security;
  return true;
}

// --- Set-up and inspection


void FileSystem::AddFolder(const std::string& path) {
  AddFolderChain(Trimmed(FullPath(path)));
}

void FileSystem::AddFile(const std::string& path, std::string contents, os::Dword attributes) {
  std::string full = Trimmed(FullPath(path));
  AddFolderChain(ParentOf(full));
  os::Dword kept = attributes & ~(os::kFileAttributeNormal | os::kFileAttributeDirectory);
  int existing = Lookup(Key(full));
  if (existing >= 0) {
    Node& n = nodes_.at(existing);
    n.folder = false;
    n.contents = std::move(contents);
    n.attributes = kept;
    return;
  }
  Node file;
  file.path = full;
  file.contents = std::move(contents);
  file.attributes = kept;
  file.security = NewSecurity(full, false);
  NewNode(std::move(file));
}

bool FileSystem::Exists(const std::string& path) const {
  return Lookup(Key(Trimmed(FullPath(path)))) >= 0;
}

std::string FileSystem::Contents(const std::string& path) const {
  int node = Lookup(Key(Trimmed(FullPath(path))));
  return node >= 0 ? nodes_.at(node).contents : std::string();
}

void FileSystem::SetReadOnly(const std::string& path, bool readOnly) {
  int node = Lookup(Key(Trimmed(FullPath(path))));
  if (node < 0) return;
  os::Dword& a = nodes_.at(node).attributes;
  a = readOnly ? (a | os::kFileAttributeReadonly) : (a & ~os::kFileAttributeReadonly);
}

void FileSystem::SetFolderWritable(const std::string& path, bool writable) {
  int node = Lookup(Key(Trimmed(FullPath(path))));
  if (node >= 0) nodes_.at(node).writable = writable;
}

void FileSystem::Remove(const std::string& path) {
  std::string key = Key(Trimmed(FullPath(path)));
  std::string below = key.back() == '\\' ? key : key + "\\";
  std::vector<int> doomed;
  for (const auto& [k, id] : byKey_) {
    if (k == key || StartsWith(k, below.c_str())) doomed.push_back(id);
  }
  for (int id : doomed) Unlink(id);
}

os::Dword FileSystem::Attributes(const std::string& path) const {
  int node = Lookup(Key(Trimmed(FullPath(path))));
  if (node < 0) return os::kInvalidFileAttributes;
  const Node& n = nodes_.at(node);
  if (n.folder) return n.attributes | os::kFileAttributeDirectory;
  return n.attributes == 0 ? os::kFileAttributeNormal : n.attributes;
}

std::vector<std::string> FileSystem::List(const std::string& folder) const {
  std::string key = Key(Trimmed(FullPath(folder)));
  std::string below = key.back() == '\\' ? key : key + "\\";
  std::vector<std::string> names;
  for (const auto& [k, id] : byKey_) {
    if (!StartsWith(k, below.c_str()) || k.size() == below.size()) continue;
    if (k.find('\\', below.size()) != std::string::npos) continue;
    names.push_back(nodes_.at(id).path.substr(below.size()));
  }
  return names;
}

int FileSystem::OpenCount(const std::string& path) const {
  int node = Lookup(Key(Trimmed(FullPath(path))));
  return static_cast<int>(std::count_if(
      open_.begin(), open_.end(), [node](const auto& entry) { return entry.second.node == node; }));
}

std::uint64_t FileSystem::UsedBytes() const {
  std::uint64_t used = 0;
  for (const auto& [id, n] : nodes_) used += n.contents.size();
  return used;
}

// --- Operations

int FileSystem::Open(const char* name, os::Dword access, os::Dword share, os::Dword creation,
                     os::Dword flagsAndAttributes, os::Dword* error) {
  if (creation < os::kCreateNew || creation > os::kTruncateExisting) {
    *error = os::kErrorInvalidParameter;
    return -1;
  }
  Resolved r;
  if (!Resolve(name, &r, error)) return -1;
  if (r.isRoot) {
    *error = os::kErrorAccessDenied;
    return -1;
  }
  bool deleteOnClose = (flagsAndAttributes & os::kFileFlagDeleteOnClose) != 0;
  bool read = (access & (os::kGenericRead | kGenericAll | kFileReadData)) != 0;
  bool write = (access & (os::kGenericWrite | kGenericAll | kFileWriteData | kFileAppendData)) != 0;
  bool del = (access & (kDeleteAccess | kGenericAll)) != 0 || deleteOnClose;
  os::Dword attributes = (flagsAndAttributes & kKeptAttributes) | kFileAttributeArchive;

  int node = Lookup(r.key);
  if (node >= 0 && nodes_.at(node).folder) {
    *error = creation == os::kCreateNew ? os::kErrorFileExists : os::kErrorAccessDenied;
    return -1;
  }
  if (node < 0 && !ParentExists(r, error)) return -1;
  if (r.trailingSeparator) {
    *error = os::kErrorInvalidName;
    return -1;
  }
  if (creation == os::kTruncateExisting && !write) {
    *error = os::kErrorInvalidParameter;
    return -1;
  }

  os::Dword result = os::kErrorSuccess;
  if (node >= 0) {
    Node& n = nodes_.at(node);
    bool overwrite = creation == os::kCreateAlways || creation == os::kTruncateExisting;
    os::Dword hiddenOrSystem = n.attributes & (os::kFileAttributeHidden | kFileAttributeSystem);
    if (creation == os::kCreateNew) {
      *error = os::kErrorFileExists;
      return -1;
    }
    if (n.deletePending ||
        ((write || del || overwrite) && (n.attributes & os::kFileAttributeReadonly)) ||
        (overwrite && (hiddenOrSystem & ~flagsAndAttributes) != 0)) {
      *error = os::kErrorAccessDenied;
      return -1;
    }
    if (ShareConflict(node, read, write, del, share)) {
      *error = os::kErrorSharingViolation;
      return -1;
    }
    if (overwrite) n.contents.clear();
    if (creation == os::kCreateAlways) n.attributes = attributes;
    if (creation == os::kCreateAlways || creation == os::kOpenAlways) {
      result = os::kErrorAlreadyExists;
    }
  } else {
    if (creation == os::kOpenExisting || creation == os::kTruncateExisting) {
      *error = os::kErrorFileNotFound;
      return -1;
    }
    if (!ParentWritable(r.full)) {
      *error = os::kErrorAccessDenied;
      return -1;
    }
    Node file;
    file.path = r.full;
    file.attributes = attributes;
    file.security = NewSecurity(r.full, false);
    node = NewNode(std::move(file));
  }
  int id = nextOpen_++;
  open_[id] = OpenFile{node, read, write, del, share, 0, deleteOnClose};
  *error = result;
  return id;
}

bool FileSystem::IsOpen(int id) const {
  return open_.count(id) != 0;
}

bool FileSystem::Read(int id, void* buffer, os::Dword toRead, os::Dword* read, os::Dword* error) {
  auto it = open_.find(id);
  if (it == open_.end()) {
    *error = os::kErrorInvalidHandle;
    return false;
  }
  OpenFile& f = it->second;
  if (!f.read) {
    *error = os::kErrorAccessDenied;
    return false;
  }
  if (buffer == nullptr && toRead > 0) {
    *error = kErrorNoAccess;
    return false;
  }
  const std::string& data = nodes_.at(f.node).contents;
  std::uint64_t available = f.position < data.size() ? data.size() - f.position : 0;
  auto n = static_cast<os::Dword>(std::min<std::uint64_t>(toRead, available));
  if (n > 0) std::memcpy(buffer, data.data() + f.position, n);
  f.position += n;
  if (read != nullptr) *read = n;
  return true;
}

bool FileSystem::Write(int id, const void* buffer, os::Dword toWrite, os::Dword* written,
                       os::Dword* error) {
  auto it = open_.find(id);
  if (it == open_.end()) {
    *error = os::kErrorInvalidHandle;
    return false;
  }
  OpenFile& f = it->second;
  if (!f.write) {
    *error = os::kErrorAccessDenied;
    return false;
  }
  if (buffer == nullptr && toWrite > 0) {
    *error = kErrorNoAccess;
    return false;
  }
  std::string& data = nodes_.at(f.node).contents;
  std::uint64_t end = f.position + toWrite;
  std::uint64_t growth = end > data.size() ? end - data.size() : 0;
  if (toWrite > 0 && (growth > capacity || UsedBytes() > capacity - growth)) {
    *error = os::kErrorDiskFull;
    return false;
  }
  if (toWrite > 0) {
    if (end > data.size()) data.resize(end, '\0');
    std::memcpy(data.data() + f.position, buffer, toWrite);
    f.position = end;
  }
  if (written != nullptr) *written = toWrite;
  return true;
}

bool FileSystem::Seek(int id, std::int64_t distance, os::Dword method, std::uint64_t limit,
                      std::uint64_t* position, os::Dword* error) {
  auto it = open_.find(id);
  if (it == open_.end()) {
    *error = os::kErrorInvalidHandle;
    return false;
  }
  OpenFile& f = it->second;
  std::int64_t base;
  if (method == os::kFileBegin) {
    base = 0;
  } else if (method == os::kFileCurrent) {
    base = static_cast<std::int64_t>(f.position);
  } else if (method == os::kFileEnd) {
    base = static_cast<std::int64_t>(nodes_.at(f.node).contents.size());
  } else {
    *error = os::kErrorInvalidParameter;
    return false;
  }
  if (distance < 0 && base + distance < 0) {
    *error = kErrorNegativeSeek;
    return false;
  }
  auto target = static_cast<std::uint64_t>(base) + static_cast<std::uint64_t>(distance);
  if (target > limit) {
    *error = os::kErrorInvalidParameter;
    return false;
  }
  f.position = target;
  *position = target;
  return true;
}

bool FileSystem::Size(int id, std::uint64_t* size, os::Dword* error) const {
  auto it = open_.find(id);
  if (it == open_.end()) {
    *error = os::kErrorInvalidHandle;
    return false;
  }
  *size = nodes_.at(it->second.node).contents.size();
  return true;
}

bool FileSystem::Flush(int id, os::Dword* error) {
  auto it = open_.find(id);
  if (it == open_.end()) {
    *error = os::kErrorInvalidHandle;
    return false;
  }
  if (!it->second.write) {
    *error = os::kErrorAccessDenied;
    return false;
  }
  return true;
}

bool FileSystem::Delete(const char* name, os::Dword* error) {
  Resolved r;
  if (!Resolve(name, &r, error)) return false;
  int node = Lookup(r.key);
  if (node < 0) {
    if (ParentExists(r, error)) *error = os::kErrorFileNotFound;
    return false;
  }
  Node& n = nodes_.at(node);
  if (n.folder || n.deletePending || (n.attributes & os::kFileAttributeReadonly) ||
      !ParentWritable(r.full)) {
    *error = os::kErrorAccessDenied;
    return false;
  }
  if (r.trailingSeparator) {
    *error = os::kErrorInvalidName;
    return false;
  }
  if (ShareConflict(node, false, false, true,
                    os::kFileShareRead | os::kFileShareWrite | os::kFileShareDelete)) {
    *error = os::kErrorSharingViolation;
    return false;
  }
  bool open = std::any_of(open_.begin(), open_.end(),
                          [node](const auto& entry) { return entry.second.node == node; });
  if (open) {
    n.deletePending = true;  // the name stays until the last handle closes
  } else {
    Unlink(node);
  }
  return true;
}

bool FileSystem::Move(const char* existing, const char* newName, bool replace, bool copyAllowed,
                      os::Dword* error) {
  Resolved from;
  Resolved to;
  if (!Resolve(existing, &from, error)) return false;
  if (newName == nullptr) {
    *error = os::kErrorInvalidParameter;
    return false;
  }
  if (!Resolve(newName, &to, error)) return false;
  int src = Lookup(from.key);
  if (src < 0) {
    if (ParentExists(from, error)) *error = os::kErrorFileNotFound;
    return false;
  }
  if (from.isRoot || to.isRoot || nodes_.at(src).deletePending) {
    *error = os::kErrorAccessDenied;
    return false;
  }
  if (!ParentExists(to, error)) return false;
  bool folder = nodes_.at(src).folder;
  if (Key(RootOf(from.full)) != Key(RootOf(to.full)) && (folder || !copyAllowed)) {
    *error = kErrorNotSameDevice;
    return false;
  }
  if (ShareConflict(src, false, false, true,
                    os::kFileShareRead | os::kFileShareWrite | os::kFileShareDelete)) {
    *error = os::kErrorSharingViolation;
    return false;
  }
  if (folder && StartsWith(to.key, (from.key + "\\").c_str())) {
    *error = os::kErrorAccessDenied;  // a folder into itself
    return false;
  }
  int dst = to.key == from.key ? -1 : Lookup(to.key);
  if (dst >= 0) {
    const Node& target = nodes_.at(dst);
    if (!replace) {
      *error = os::kErrorAlreadyExists;
      return false;
    }
    bool targetOpen = std::any_of(open_.begin(), open_.end(),
                                  [dst](const auto& entry) { return entry.second.node == dst; });
    // The target is opened for deletion first: a handle on it that does not share that
    // refuses the open; an open target that does is still refused its replacement.
    if (ShareConflict(dst, false, false, true,
                      os::kFileShareRead | os::kFileShareWrite | os::kFileShareDelete)) {
      *error = os::kErrorSharingViolation;
      return false;
    }
    if (folder || target.folder || target.deletePending || targetOpen ||
        (target.attributes & os::kFileAttributeReadonly)) {
      *error = os::kErrorAccessDenied;
      return false;
    }
  }
  if (!ParentWritable(from.full) || !ParentWritable(to.full)) {
    *error = os::kErrorAccessDenied;
    return false;
  }
  if (dst >= 0) Unlink(dst);
  // Rename the node and, for a folder, everything below it.
  std::string below = from.key + "\\";
  std::vector<std::pair<std::string, int>> moved;
  for (auto it = byKey_.begin(); it != byKey_.end();) {
    if (it->first == from.key || StartsWith(it->first, below.c_str())) {
      moved.emplace_back(it->first, it->second);
      it = byKey_.erase(it);
    } else {
      ++it;
    }
  }
  for (const auto& [key, id] : moved) {
    Node& n = nodes_.at(id);
    n.path = to.full + n.path.substr(from.full.size());
    byKey_[Key(n.path)] = id;
  }
  return true;
}

bool FileSystem::Replace(const char* replaced, const char* replacement, const char* backup,
                         os::Dword* error) {
  Resolved target;
  Resolved source;
  Resolved spare;
  if (!Resolve(replaced, &target, error)) return false;
  if (replacement == nullptr) {
    *error = os::kErrorInvalidParameter;
    return false;
  }
  if (!Resolve(replacement, &source, error)) return false;
  if (backup != nullptr && !Resolve(backup, &spare, error)) return false;
  if (!replaceSupported) {
    *error = os::kErrorInvalidFunction;
    return false;
  }
  int dst = Lookup(target.key);
  int src = Lookup(source.key);
  if (dst < 0 || src < 0) {
    if (ParentExists(dst < 0 ? target : source, error)) *error = os::kErrorFileNotFound;
    return false;
  }
  constexpr os::Dword kShareAll = os::kFileShareRead | os::kFileShareWrite | os::kFileShareDelete;
  const Node& old = nodes_.at(dst);
  if (dst == src || old.folder || nodes_.at(src).folder || old.deletePending ||
      (old.attributes & os::kFileAttributeReadonly) || !ParentWritable(target.full)) {
    *error = os::kErrorAccessDenied;
    return false;
  }
  // Both files are opened for reading, writing and deletion, sharing everything: a handle on
  // either that shares less blocks the call, and both keep their names.
  if (ShareConflict(dst, true, true, true, kShareAll) ||
      ShareConflict(src, true, true, true, kShareAll)) {
    *error = os::kErrorSharingViolation;
    return false;
  }
  int kept = backup != nullptr ? Lookup(spare.key) : -1;
  if (kept == dst || kept == src ||
      (kept >= 0 && (nodes_.at(kept).folder || nodes_.at(kept).deletePending ||
                     OpenCount(nodes_.at(kept).path) > 0))) {
    *error = os::kErrorAccessDenied;
    return false;
  }
  const os::Dword stop = replaceStopsWith;
  replaceStopsWith = 0;
  if (stop == os::kErrorUnableToMoveReplacement && backup != nullptr) {
    *error = stop;
    return false;
  }
  nodes_.at(src).attributes = old.attributes;
  nodes_.at(src).security = old.security;  // the replaced file's owner and access list too
  // The replaced file leaves its name.
  if (kept >= 0) Unlink(kept);
  if (backup != nullptr) {
    Rename(dst, spare.full);
  } else if (stop == os::kErrorUnableToMoveReplacement2) {
    std::string folder = ParentOf(target.full);
    if (folder.back() != '\\') folder += '\\';
    Rename(dst, folder + "~RF" + std::to_string(dst) + ".TMP");
  } else {
    Unlink(dst);
  }
  if (stop != 0) {
    *error = stop;
    return false;
  }
  Rename(src, target.full);
  return true;
}

void FileSystem::Rename(int node, const std::string& fullPath) {
  Node& n = nodes_.at(node);
  byKey_.erase(Key(n.path));
  n.path = fullPath;
  byKey_[Key(fullPath)] = node;
}

os::Dword FileSystem::AttributesOf(const char* name, os::Dword* error) const {
  Resolved r;
  if (!Resolve(name, &r, error)) return os::kInvalidFileAttributes;
  int node = Lookup(r.key);
  if (node < 0) {
    if (ParentExists(r, error)) *error = os::kErrorFileNotFound;
    return os::kInvalidFileAttributes;
  }
  const Node& n = nodes_.at(node);
  if (n.deletePending) {
    *error = os::kErrorAccessDenied;
    return os::kInvalidFileAttributes;
  }
  if (r.trailingSeparator && !n.folder) {
    *error = os::kErrorInvalidName;
    return os::kInvalidFileAttributes;
  }
  if (n.folder) return n.attributes | os::kFileAttributeDirectory;
  return n.attributes == 0 ? os::kFileAttributeNormal : n.attributes;
}

bool FileSystem::SetCurrent(const char* name, os::Dword* error) {
  Resolved r;
  if (!Resolve(name, &r, error)) return false;
  // The current directory is kept with a trailing separator, which must fit MAX_PATH too.
  if (r.full.size() + 2 > kMaxPath) {
    *error = os::kErrorFilenameExcedRange;
    return false;
  }
  int node = Lookup(r.key);
  if (node < 0) {
    if (ParentExists(r, error)) *error = os::kErrorFileNotFound;
    return false;
  }
  if (!nodes_.at(node).folder) {
    *error = kErrorDirectory;
    return false;
  }
  currentDirectory = r.full;
  return true;
}

void FileSystem::CloseFile(int id) {
  auto it = open_.find(id);
  if (it == open_.end()) return;
  int node = it->second.node;
  bool deleteOnClose = it->second.deleteOnClose;
  open_.erase(it);
  auto n = nodes_.find(node);
  if (n == nodes_.end()) return;
  if (deleteOnClose) n->second.deletePending = true;
  bool stillOpen = std::any_of(open_.begin(), open_.end(),
                               [node](const auto& entry) { return entry.second.node == node; });
  if (stillOpen) return;
  if (n->second.deletePending || !n->second.linked) Unlink(node);
}

void FileSystem::EndProcess() {
  while (!open_.empty()) CloseFile(open_.begin()->first);
}

}  // namespace sim

namespace sim {
namespace {

// Characters a short name may hold besides letters and digits.
bool ShortNameChar(char c) {
  return IsLetter(c) || (c >= '0' && c <= '9') || static_cast<unsigned char>(c) >= 0x80 ||
         std::strchr("!#$%&'()-@^_`{}~", c) != nullptr;
}

// A long name's characters as an alias keeps them: blanks and dots gone, characters a short
// name may not hold turned into "_", upper-cased.
std::string AliasPart(const std::string& part, std::size_t keep) {
  std::string out;
  for (char c : part) {
    if (out.size() == keep) break;
    if (c == ' ' || c == '.') continue;
    out += ShortNameChar(c) ? Upper(c) : '_';
  }
  return out;
}

// The alias stem and extension of a long name: "Program Files" -> ("PROGRA", "").
std::pair<std::string, std::string> AliasBasis(const std::string& name) {
  std::size_t dot = name.find_last_of('.');
  if (dot == std::string::npos || dot == 0) return {AliasPart(name, 6), ""};
  return {AliasPart(name.substr(0, dot), 6), AliasPart(name.substr(dot + 1), 3)};
}

}  // namespace

bool FileSystem::IsShortName(const std::string& component) {
  std::size_t dot = component.find('.');
  std::string base = component.substr(0, dot);
  std::string ext = dot == std::string::npos ? "" : component.substr(dot + 1);
  if (base.empty() || base.size() > 8 || ext.size() > 3) return false;
  if (dot != std::string::npos && ext.empty()) return false;
  return std::all_of(base.begin(), base.end(), ShortNameChar) &&
         std::all_of(ext.begin(), ext.end(), ShortNameChar);
}

std::string FileSystem::ShortNameOf(const std::string& parentFull, const std::string& component,
                                    bool upperCase) const {
  if (IsShortName(component)) {
    std::string name = component;
    if (upperCase)
      for (char& c : name) c = Upper(c);
    return name;
  }
  auto basis = AliasBasis(component);
  int number = 0;
  for (const std::string& sibling : List(parentFull)) {
    if (!IsShortName(sibling) && AliasBasis(sibling) == basis) ++number;
    if (Key(sibling) == Key(component)) break;
  }
  std::string tail(1, '~');
  tail += std::to_string(number);
  std::string alias = basis.first.substr(0, 8 - tail.size()) + tail;
  return basis.second.empty() ? alias : alias + "." + basis.second;
}

bool FileSystem::ShortPath(const char* name, bool upperCase, std::string* shortPath,
                           os::Dword* error) const {
  Resolved r;
  if (!Resolve(name, &r, error)) return false;
  if (Lookup(r.key) < 0) {
    *error = ParentExists(r, error) ? os::kErrorFileNotFound : *error;
    return false;
  }
  std::string root = RootOf(r.full);
  std::string out = root;
  std::string parent = root;
  std::size_t start = root.size() + (root.size() == 3 ? 0 : 1);
  while (start < r.full.size()) {
    std::size_t end = r.full.find('\\', start);
    if (end == std::string::npos) end = r.full.size();
    std::string component = nodes_.at(Lookup(Key(r.full.substr(0, end)))).path.substr(start);
    if (out.back() != '\\') out += '\\';
    out += ShortNameOf(parent, component, upperCase);
    parent = r.full.substr(0, end);
    start = end + 1;
  }
  *shortPath = out;
  return true;
}

std::string FileSystem::LongPathOfShort(const std::string& shortPath) const {
  std::string full = FullPath(shortPath);
  std::string root = RootOf(full);
  if (root.size() != 3) return {};
  std::string longPath = root;
  std::size_t start = 3;
  while (start < full.size()) {
    std::size_t end = full.find('\\', start);
    if (end == std::string::npos) end = full.size();
    std::string component = full.substr(start, end - start);
    if (!IsShortName(component)) return {};
    std::string found;
    for (const std::string& child : List(longPath)) {
      if (Key(ShortNameOf(longPath, child, true)) == Key(component)) found = child;
    }
    if (found.empty()) return {};
    if (longPath.back() != '\\') longPath += '\\';
    longPath += found;
    start = end + 1;
  }
  return longPath;
}

}  // namespace sim
