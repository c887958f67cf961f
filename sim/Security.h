// The simulated Windows' security: owners and access lists of files and folders, written out
// as the self-relative security descriptors GetFileSecurityA hands back, and the well-known
// accounts and default access lists of real Windows installations that the tests set up.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "os/Api.h"

namespace sim {

// Account names in their text form (S-1-5-32-544).
inline constexpr char kSidSystem[] = "S-1-5-18";
inline constexpr char kSidAdministrators[] = "S-1-5-32-544";
inline constexpr char kSidUsers[] = "S-1-5-32-545";
inline constexpr char kSidPowerUsers[] = "S-1-5-32-547";
inline constexpr char kSidEveryone[] = "S-1-1-0";
inline constexpr char kSidAuthenticatedUsers[] = "S-1-5-11";
inline constexpr char kSidInteractive[] = "S-1-5-4";
inline constexpr char kSidCreatorOwner[] = "S-1-3-0";
inline constexpr char kSidTrustedInstaller[] =
    "S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";
// The administrator the program runs as, and a standard user of the same computer.
inline constexpr char kSidAdministrator[] = "S-1-5-21-1004336348-1177238915-682003330-500";
inline constexpr char kSidStandardUser[] = "S-1-5-21-1004336348-1177238915-682003330-1003";
// An administrator of another machine, as a network share's access list names one.
inline constexpr char kSidOtherMachineAdmin[] = "S-1-5-21-2222222222-333333333-444444444-500";

// ACE types and flags (winnt.h values).
inline constexpr std::uint8_t kAccessAllowed = 0;
inline constexpr std::uint8_t kAccessDenied = 1;
inline constexpr std::uint8_t kObjectInherit = 0x1;
inline constexpr std::uint8_t kContainerInherit = 0x2;
inline constexpr std::uint8_t kInheritOnly = 0x8;
inline constexpr std::uint8_t kInherited = 0x10;

// File rights (winnt.h values) and the sets the security editor's check boxes stand for.
inline constexpr os::Dword kFileAll = 0x1F01FF;
inline constexpr os::Dword kFileModify = 0x1301BF;
inline constexpr os::Dword kFileReadExecute = 0x1200A9;
inline constexpr os::Dword kFileAddFile = 0x2;        // folders: create files / write data
inline constexpr os::Dword kFileAddSubfolder = 0x4;   // folders: create folders / append data
inline constexpr os::Dword kGenericAllRight = 0x10000000;

struct Ace {
  std::uint8_t type = kAccessAllowed;
  std::uint8_t flags = 0;
  os::Dword mask = 0;
  std::string sid;
};

struct Security {
  std::string owner = kSidAdministrators;
  std::optional<std::vector<Ace>> dacl;  // none: a null access list, which lets everyone in
};

// A SID's binary form; empty when the text is no SID.
std::vector<std::uint8_t> SidBytes(const std::string& sid);
// The self-relative descriptor of the parts asked for (owner, access list).
std::vector<std::uint8_t> SelfRelative(const Security& security, os::Dword requested);

// What a new file or folder inside a folder of `parent` security gets: the parent's
// inheritable entries, marked inherited (CREATOR OWNER becomes `owner`), and `owner`.
Security Inherit(const Security& parent, bool folder, const std::string& owner);

// Default access lists of real installations, for the root or a folder made in it.
Security SafeDefault();               // SYSTEM, Administrators full; Users read (all inherited)
Security ProgramFilesDefault();        // Vista and later: TrustedInstaller, Administrators, Users
Security XpProgramFilesDefault();      // XP: also Power Users may modify
Security XpRootDefault();              // XP: Users may create folders, and files in subfolders
Security VistaRootDefault();           // Vista: Authenticated Users modify below the root

}  // namespace sim
