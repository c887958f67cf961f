// Who may change a file and the folders above it: the owner and the access list of each, read
// from the security descriptors the system hands out, and the volume under them.
#include "files/SafePlace.h"

#include <algorithm>
#include <memory>
#include <new>

#include "files/IniFile.h"
#include "os/Api.h"

namespace {

// Accounts whose rights never open a way in: the system itself, the administrators, the
// service that owns the system's files. (The running administrator is added at run time.)
constexpr char kSystem[] = "S-1-5-18";
constexpr char kAdministrators[] = "S-1-5-32-544";
constexpr char kTrustedInstaller[] =
    "S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";
// On Windows XP and 2000 a Power User can make himself an administrator (Microsoft says so of
// the group), and XP's own Program Files lets the group modify it; from Vista on the group
// has no such rights and counts as anyone else.
constexpr char kPowerUsers[] = "S-1-5-32-547";
// An entry for CREATOR OWNER grants nothing on the object that holds it, only on what is
// created inside; the owner's copy of it is an entry of its own.
constexpr char kCreatorOwner[] = "S-1-3-0";

// ACE types whose SID follows a plain access mask.
constexpr std::uint8_t kAllowed = 0x0;
constexpr std::uint8_t kDenied = 0x1;
constexpr std::uint8_t kAllowedCallback = 0x9;
constexpr std::uint8_t kDeniedCallback = 0xA;
constexpr std::uint8_t kDeniedObject = 0x6;
constexpr std::uint8_t kDeniedCallbackObject = 0xC;
constexpr std::uint8_t kInheritOnly = 0x08;

// Rights that change an object (winnt.h values).
constexpr std::uint32_t kWriteData = 0x2;   // a folder: create files
constexpr std::uint32_t kAppendData = 0x4;  // a folder: create folders
constexpr std::uint32_t kDeleteChild = 0x40;
constexpr std::uint32_t kDelete = 0x10000;
constexpr std::uint32_t kWriteDac = 0x40000;
constexpr std::uint32_t kWriteOwner = 0x80000;
constexpr std::uint32_t kMaximumAllowed = 0x02000000;
constexpr std::uint32_t kGenericAll = 0x10000000;
constexpr std::uint32_t kGenericWrite = 0x40000000;
constexpr std::uint32_t kChangesAnything =
    kDelete | kWriteDac | kWriteOwner | kMaximumAllowed | kGenericAll;

std::uint32_t ChangingRights(ObjectKind kind) {
  switch (kind) {
    case ObjectKind::File:
      return kChangesAnything | kWriteData | kAppendData | kGenericWrite;
    case ObjectKind::Folder:
      return kChangesAnything | kWriteData | kAppendData | kGenericWrite | kDeleteChild;
    case ObjectKind::Root:
      break;
  }
  // New files and folders of one's own at the root touch nobody else's.
  return kChangesAnything | kDeleteChild;
}

std::uint16_t Get16(const std::uint8_t* p) {
  return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
std::uint32_t Get32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

// Appends the decimal digits of value.
void AppendDecimal(std::string& text, std::uint64_t value) {
  char digits[20];
  int n = 0;
  do {
    digits[n++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value != 0);
  while (n > 0) text += digits[--n];
}

// The SID of the account this process runs as, or empty.
std::string ProcessUser() {
  os::Api& win = os::Windows();
  os::Handle token = nullptr;
  if (!win.OpenProcessToken(win.GetCurrentProcess(), os::kTokenQuery, &token)) return {};
  // TOKEN_USER: a SID pointer and attributes, then the SID itself; pointer-aligned.
  void* buffer[64] = {};
  os::Dword needed = 0;
  std::string sid;
  if (win.GetTokenInformation(token, os::kTokenUserClass, buffer, sizeof buffer, &needed)) {
    const auto* start = reinterpret_cast<const std::uint8_t*>(buffer);
    const auto* at = static_cast<const std::uint8_t*>(buffer[0]);
    if (at >= start && at < start + sizeof buffer) {
      sid = SidText(at, sizeof buffer - static_cast<std::size_t>(at - start));
    }
  }
  win.CloseHandle(token);
  return sid;
}

enum class Read { Ok, Missing, Failed };

Read ReadDescriptor(const std::string& path, Descriptor* out) {
  os::Api& win = os::Windows();
  constexpr os::Dword kAsked = os::kOwnerSecurityInformation | os::kDaclSecurityInformation;
  os::Dword size = 1024;
  for (int attempt = 0; attempt < 3; ++attempt) {
    // Pointer-aligned, as the descriptor's record needs.
    std::unique_ptr<void*[]> buffer(new (std::nothrow) void*[size / sizeof(void*) + 1]);
    if (buffer == nullptr) return Read::Failed;
    os::Dword needed = 0;
    if (win.GetFileSecurityA(path.c_str(), kAsked, buffer.get(), size, &needed)) {
      return ParseSelfRelative(reinterpret_cast<const std::uint8_t*>(buffer.get()), size, out)
                 ? Read::Ok
                 : Read::Failed;
    }
    // Nothing by that name (or no such name at all): nothing there can be read either.
    os::Dword error = win.GetLastError();
    if (error == os::kErrorFileNotFound || error == os::kErrorPathNotFound ||
        error == os::kErrorInvalidName || error == os::kErrorBadPathname ||
        error == os::kErrorFilenameExcedRange) {
      return Read::Missing;
    }
    if (error != os::kErrorInsufficientBuffer || needed <= size || needed > 0x10000) break;
    size = needed;
  }
  return Read::Failed;
}

}  // namespace

std::string SidText(const std::uint8_t* bytes, std::size_t size) {
  if (size < 8 || bytes[0] != 1) return {};
  const std::size_t count = bytes[1];
  if (count > 15 || size < 8 + 4 * count) return {};
  std::uint64_t authority = 0;
  for (int i = 2; i < 8; ++i) authority = (authority << 8) | bytes[i];
  std::string text = "S-1-";
  AppendDecimal(text, authority);
  for (std::size_t i = 0; i < count; ++i) {
    text += '-';
    AppendDecimal(text, Get32(bytes + 8 + 4 * i));
  }
  return text;
}

bool ParseSelfRelative(const std::uint8_t* bytes, std::size_t size, Descriptor* out) {
  constexpr std::uint16_t kSelfRelative = 0x8000;
  constexpr std::uint16_t kDaclPresent = 0x0004;
  if (size < 20 || bytes[0] != 1) return false;
  const std::uint16_t control = Get16(bytes + 2);
  if ((control & kSelfRelative) == 0) return false;
  *out = Descriptor();
  const std::uint32_t owner = Get32(bytes + 4);
  if (owner == 0 || owner >= size) return false;  // asked for: an owner is always there
  out->owner = SidText(bytes + owner, size - owner);
  if (out->owner.empty()) return false;
  const std::uint32_t dacl = Get32(bytes + 16);
  if ((control & kDaclPresent) == 0 || dacl == 0) {
    out->nullDacl = true;
    return true;
  }
  if (dacl > size - 8) return false;
  const std::uint8_t* acl = bytes + dacl;
  const std::size_t aclSize = Get16(acl + 2);
  const std::size_t count = Get16(acl + 4);
  if (aclSize < 8 || aclSize > size - dacl) return false;
  std::size_t at = 8;
  for (std::size_t i = 0; i < count; ++i) {
    if (at + 4 > aclSize) return false;
    const std::uint8_t* ace = acl + at;
    const std::size_t aceSize = Get16(ace + 2);
    if (aceSize < 8 || at + aceSize > aclSize) return false;
    AccessEntry entry{ace[0], ace[1], Get32(ace + 4), {}};
    if (entry.type == kAllowed || entry.type == kDenied || entry.type == kAllowedCallback ||
        entry.type == kDeniedCallback) {
      entry.sid = SidText(ace + 8, aceSize - 8);
      if (entry.sid.empty()) return false;
    }
    out->entries.push_back(entry);
    at += aceSize;
  }
  return true;
}

bool OthersMayChange(const Descriptor& descriptor, ObjectKind kind,
                     const std::vector<std::string>& trusted) {
  auto isTrusted = [&](const std::string& sid) {
    return std::find(trusted.begin(), trusted.end(), sid) != trusted.end();
  };
  if (descriptor.nullDacl || !isTrusted(descriptor.owner)) return true;
  const std::uint32_t changing = ChangingRights(kind);
  for (const AccessEntry& entry : descriptor.entries) {
    // A denial takes rights away, and an entry meant only for what is created inside does not
    // apply here; either way it opens nothing.
    if (entry.type == kDenied || entry.type == kDeniedCallback || entry.type == kDeniedObject ||
        entry.type == kDeniedCallbackObject || (entry.flags & kInheritOnly) != 0) {
      continue;
    }
    if ((entry.mask & changing) == 0) continue;
    // An allowing entry of a layout not read here (object entries) counts against the place.
    if (entry.sid.empty()) return true;
    if (entry.sid == kCreatorOwner || isTrusted(entry.sid)) continue;
    return true;
  }
  return false;
}

PlaceCheck CheckPlace(const std::string& path) {
  PlaceCheck check;
  os::Dword major = 0;
  if (!os::IsNtFamily(&major)) {
    check.verdict = PlaceVerdict::Unprotectable;
    return check;
  }
  os::Api& win = os::Windows();
  std::string full;
  os::Dword error = 0;
  auto exposed = [&check](const std::string& what) {
    check.verdict = PlaceVerdict::Exposed;
    check.exposed = what;
    return check;
  };
  // A name that cannot be resolved names no file that could be read.
  if (!ini::FullPath(path, &full, &error)) return check;
  // A local drive's root ("C:\"); a share's (\\server\share) lists name another machine's
  // accounts, whose administrators are not this computer's.
  if (full.size() < 3 || full[1] != ':' || full[2] != '\\') return exposed(full);
  const std::string root = full.substr(0, 3);
  if (win.GetDriveTypeA(root.c_str()) != os::kDriveFixed) return exposed(root);
  os::Dword flags = 0;
  char fileSystem[32] = {};
  if (!win.GetVolumeInformationA(root.c_str(), &flags, fileSystem, sizeof fileSystem)) {
    return exposed(root);
  }
  if ((flags & os::kFsPersistentAcls) == 0) {
    // Windows XP and 2000 were often installed on FAT32: there nothing can be protected, and
    // refusing would leave these systems without their log-on apply.
    char windows[260] = {};
    unsigned length = win.GetWindowsDirectoryA(windows, sizeof windows);
    const bool systemVolume =
        length >= 3 && length < sizeof windows && std::string(windows, 3) == root;
    if (major == 5 && systemVolume) {
      check.verdict = PlaceVerdict::Unprotectable;
      return check;
    }
    return exposed(root);
  }

  std::vector<std::string> trusted = {kSystem, kAdministrators, kTrustedInstaller};
  if (major == 5) trusted.push_back(kPowerUsers);
  std::string user = ProcessUser();
  if (user.empty()) return exposed(full);
  trusted.push_back(user);

  // The file, then each folder up to the root: renaming any of them and building the path
  // anew swaps the file as surely as replacing it.
  std::string at = full;
  while (!at.empty() && at.back() == '\\' && at.size() > root.size()) at.pop_back();
  bool first = true;
  for (;;) {
    const bool isRoot = at.size() <= root.size();
    const ObjectKind kind = isRoot ? ObjectKind::Root : first ? ObjectKind::File : ObjectKind::Folder;
    Descriptor descriptor;
    switch (ReadDescriptor(isRoot ? root : at, &descriptor)) {
      case Read::Ok:
        if (OthersMayChange(descriptor, kind, trusted)) return exposed(isRoot ? root : at);
        break;
      case Read::Missing:
        break;  // who may create it there is the business of the folder above
      case Read::Failed:
        return exposed(isRoot ? root : at);
    }
    if (isRoot) break;
    first = false;
    std::size_t cut = at.rfind('\\');
    at = cut <= root.size() - 1 ? root : at.substr(0, cut);
  }
  return check;
}
