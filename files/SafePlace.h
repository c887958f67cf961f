// Whether anyone but the administrators of this computer can change a file or the folders
// that lead to it. The log-on apply runs the program file with administrator rights and no
// prompt, and applies the start-up file to the hardware: a standard user who can write,
// replace, delete, rename or re-permission either of them, or any folder on the way to them,
// could run his own code or his own settings as an administrator.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

enum class PlaceVerdict {
  Protected,      // only SYSTEM, Administrators, TrustedInstaller and this user can change it
  Unprotectable,  // the 9x family, or an XP / 2000 system volume without access lists (FAT32):
                  // nothing there can be protected, so it is taken as it always was
  Exposed         // another user (or another machine's administrators) can change it
};

struct PlaceCheck {
  PlaceVerdict verdict = PlaceVerdict::Protected;
  std::string exposed;  // Exposed: the file, folder or volume root another user can change
};

// Checks the file at `path` (resolved against the current directory), its folder and every
// folder above it up to the drive's root, and the volume it lies on. A file or folder that
// does not exist is judged by the folders above it (only who may create it there matters).
PlaceCheck CheckPlace(const std::string& path);

// A security descriptor in its self-relative form, read without the system's help: its
// owner and the entries of its access list. False when the bytes are no such descriptor.
struct AccessEntry {
  std::uint8_t type;
  std::uint8_t flags;
  std::uint32_t mask;
  std::string sid;  // text form, "S-1-5-32-544"; empty for an entry of a layout not read here
};
struct Descriptor {
  std::string owner;
  bool nullDacl = false;  // no access list at all: everyone may do anything
  std::vector<AccessEntry> entries;
};
bool ParseSelfRelative(const std::uint8_t* bytes, std::size_t size, Descriptor* out);
// The text form of a binary SID of at most `size` bytes; empty when it is none.
std::string SidText(const std::uint8_t* bytes, std::size_t size);

// Whether `descriptor` lets anyone outside `trusted` change the object it guards. What
// changes it: a file's data, its name or its access list (writes, delete, the owner's rights);
// a folder's contents too (new files beside the program, deleting or renaming others); at a
// drive's root users may create folders of their own, as Windows lets them by default.
enum class ObjectKind { File, Folder, Root };
bool OthersMayChange(const Descriptor& descriptor, ObjectKind kind,
                     const std::vector<std::string>& trusted);
