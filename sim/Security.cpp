// The simulated Windows' security descriptors, written byte for byte as Windows lays out a
// self-relative one (SECURITY_DESCRIPTOR_RELATIVE, then the owner SID, then the ACL), and the
// default access lists of real Windows installations.
#include "sim/Security.h"

#include <cstdlib>

namespace sim {
namespace {

constexpr std::uint16_t kSelfRelative = 0x8000;
constexpr std::uint16_t kDaclPresent = 0x0004;
constexpr std::uint8_t kAclRevision = 2;

void Put16(std::vector<std::uint8_t>& out, std::size_t at, std::uint16_t v) {
  out[at] = static_cast<std::uint8_t>(v);
  out[at + 1] = static_cast<std::uint8_t>(v >> 8);
}
void Put32(std::vector<std::uint8_t>& out, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}
void Append(std::vector<std::uint8_t>& out, const std::vector<std::uint8_t>& more) {
  out.insert(out.end(), more.begin(), more.end());
}

}  // namespace

std::vector<std::uint8_t> SidBytes(const std::string& sid) {
  // S-1-<authority>-<sub>-<sub>...: revision 1, the count, the authority as 6 bytes big-endian,
  // each sub-authority as 4 bytes little-endian.
  if (sid.rfind("S-1-", 0) != 0) return {};
  std::vector<std::uint64_t> parts;
  const char* p = sid.c_str() + 4;
  while (*p != '\0') {
    char* end = nullptr;
    parts.push_back(std::strtoull(p, &end, 10));
    if (end == p || (*end != '-' && *end != '\0')) return {};
    p = *end == '-' ? end + 1 : end;
  }
  if (parts.empty() || parts.size() > 16) return {};
  std::vector<std::uint8_t> out(8 + 4 * (parts.size() - 1));
  out[0] = 1;
  out[1] = static_cast<std::uint8_t>(parts.size() - 1);
  for (int i = 0; i < 6; ++i) out[2 + i] = static_cast<std::uint8_t>(parts[0] >> (8 * (5 - i)));
  for (std::size_t i = 1; i < parts.size(); ++i) {
    Put32(out, 8 + 4 * (i - 1), static_cast<std::uint32_t>(parts[i]));
  }
  return out;
}

std::vector<std::uint8_t> SelfRelative(const Security& security, os::Dword requested) {
  std::vector<std::uint8_t> out(20, 0);
  out[0] = 1;  // revision
  std::uint16_t control = kSelfRelative;
  if ((requested & os::kOwnerSecurityInformation) != 0) {
    Put32(out, 4, static_cast<std::uint32_t>(out.size()));
    Append(out, SidBytes(security.owner));
  }
  if ((requested & os::kDaclSecurityInformation) != 0) {
    control |= kDaclPresent;
    if (security.dacl.has_value()) {
      while (out.size() % 4 != 0) out.push_back(0);
      const std::size_t acl = out.size();
      Put32(out, 16, static_cast<std::uint32_t>(acl));
      out.resize(acl + 8, 0);
      out[acl] = kAclRevision;
      for (const Ace& ace : *security.dacl) {
        std::vector<std::uint8_t> sid = SidBytes(ace.sid);
        const std::size_t at = out.size();
        out.resize(at + 8, 0);
        out[at] = ace.type;
        out[at + 1] = ace.flags;
        Put16(out, at + 2, static_cast<std::uint16_t>(8 + sid.size()));
        Put32(out, at + 4, ace.mask);
        Append(out, sid);
      }
      Put16(out, acl + 2, static_cast<std::uint16_t>(out.size() - acl));
      Put16(out, acl + 4, static_cast<std::uint16_t>(security.dacl->size()));
    }  // else: present with offset 0, a null access list
  }
  Put16(out, 2, control);
  return out;
}

Security Inherit(const Security& parent, bool folder, const std::string& owner) {
  Security child;
  child.owner = owner;
  if (!parent.dacl.has_value()) return child;  // nothing to inherit from a null list
  child.dacl.emplace();
  for (const Ace& ace : *parent.dacl) {
    const bool toFiles = (ace.flags & kObjectInherit) != 0;
    const bool toFolders = (ace.flags & kContainerInherit) != 0;
    if (folder ? !toFolders : !toFiles) continue;
    Ace inherited = ace;
    if (inherited.sid == kSidCreatorOwner) inherited.sid = owner;
    // A file keeps no inheritance flags; a folder passes the entry on (and applies it itself).
    inherited.flags = static_cast<std::uint8_t>(
        kInherited | (folder ? (ace.flags & (kObjectInherit | kContainerInherit)) : 0));
    if (ace.sid == kSidCreatorOwner && folder) {
      // Windows keeps CREATOR OWNER for the folder's own children and applies the owner's
      // copy to the folder.
      Ace passOn = ace;
      passOn.flags = static_cast<std::uint8_t>(kInherited | kInheritOnly |
                                               (ace.flags & (kObjectInherit | kContainerInherit)));
      child.dacl->push_back(passOn);
      inherited.flags = kInherited;
    }
    child.dacl->push_back(inherited);
  }
  return child;
}

namespace {
constexpr std::uint8_t kBoth = kObjectInherit | kContainerInherit;
}

Security SafeDefault() {
  Security s;
  s.owner = kSidAdministrators;
  s.dacl = std::vector<Ace>{{kAccessAllowed, kBoth, kFileAll, kSidSystem},
                            {kAccessAllowed, kBoth, kFileAll, kSidAdministrators},
                            {kAccessAllowed, kBoth, kFileReadExecute, kSidUsers},
                            {kAccessAllowed, kBoth | kInheritOnly, kFileAll, kSidCreatorOwner}};
  return s;
}

Security ProgramFilesDefault() {
  Security s;
  s.owner = kSidTrustedInstaller;
  s.dacl = std::vector<Ace>{
      {kAccessAllowed, kContainerInherit, kFileAll, kSidTrustedInstaller},
      {kAccessAllowed, 0, kFileModify, kSidSystem},
      {kAccessAllowed, kBoth | kInheritOnly, kFileAll, kSidSystem},
      {kAccessAllowed, 0, kFileModify, kSidAdministrators},
      {kAccessAllowed, kBoth | kInheritOnly, kFileAll, kSidAdministrators},
      {kAccessAllowed, kBoth, kFileReadExecute, kSidUsers},
      {kAccessAllowed, kBoth | kInheritOnly, kFileAll, kSidCreatorOwner}};
  return s;
}

Security XpProgramFilesDefault() {
  Security s;
  s.owner = kSidAdministrators;
  s.dacl = std::vector<Ace>{{kAccessAllowed, kBoth, kFileAll, kSidAdministrators},
                            {kAccessAllowed, kBoth, kFileModify, kSidPowerUsers},
                            {kAccessAllowed, kBoth, kFileAll, kSidSystem},
                            {kAccessAllowed, kBoth, kFileReadExecute, kSidUsers},
                            {kAccessAllowed, kBoth | kInheritOnly, kFileAll, kSidCreatorOwner}};
  return s;
}

Security XpRootDefault() {
  Security s;
  s.owner = kSidAdministrators;
  s.dacl = std::vector<Ace>{
      {kAccessAllowed, kBoth, kFileAll, kSidAdministrators},
      {kAccessAllowed, kBoth, kFileAll, kSidSystem},
      {kAccessAllowed, kBoth | kInheritOnly, kFileAll, kSidCreatorOwner},
      {kAccessAllowed, 0, kFileReadExecute, kSidEveryone},
      {kAccessAllowed, kBoth, kFileReadExecute, kSidUsers},
      {kAccessAllowed, kContainerInherit, kFileAddSubfolder, kSidUsers},
      {kAccessAllowed, kContainerInherit | kInheritOnly, kFileAddFile, kSidUsers}};
  return s;
}

Security VistaRootDefault() {
  Security s;
  s.owner = kSidTrustedInstaller;
  s.dacl = std::vector<Ace>{
      {kAccessAllowed, kBoth, kFileAll, kSidAdministrators},
      {kAccessAllowed, kBoth, kFileAll, kSidSystem},
      {kAccessAllowed, kBoth, kFileReadExecute, kSidUsers},
      {kAccessAllowed, kBoth | kInheritOnly, kFileModify, kSidAuthenticatedUsers},
      {kAccessAllowed, 0, kFileAddSubfolder, kSidAuthenticatedUsers}};
  return s;
}

}  // namespace sim
