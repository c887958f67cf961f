// The simulated Windows' file system: folders and files in memory, Windows path rules
// (drive letters, "\" separators, names matched without regard to case), read-only files and
// folders that refuse writes.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "os/Api.h"
#include "sim/Security.h"

namespace sim {

// Error codes the file system answers with beyond those os/Api.h names.
inline constexpr os::Dword kErrorNotSameDevice = 17;
inline constexpr os::Dword kErrorBadNetPath = 53;
inline constexpr os::Dword kErrorNegativeSeek = 131;
inline constexpr os::Dword kErrorDirectory = 267;
inline constexpr os::Dword kErrorNoAccess = 998;

// File attributes a file keeps (winnt.h values).
inline constexpr os::Dword kFileAttributeSystem = 0x4;
inline constexpr os::Dword kFileAttributeArchive = 0x20;

// Longest full path a file operation accepts, terminator included.
inline constexpr std::size_t kMaxPath = 260;

class FileSystem {
 public:
  FileSystem();

  // Set-up and inspection for tests. Paths are absolute ("C:\dir\file").
  void AddFolder(const std::string& path);  // with any missing parents
  void AddFile(const std::string& path, std::string contents,
               os::Dword attributes = os::kFileAttributeNormal);  // with any missing parents
  bool Exists(const std::string& path) const;
  std::string Contents(const std::string& path) const;  // empty when absent
  void SetReadOnly(const std::string& path, bool readOnly);
  void SetFolderWritable(const std::string& path, bool writable);
  void Remove(const std::string& path);  // a file, or a folder with everything in it

  // Owners and access lists. A folder or file made here or by the process takes what its
  // folder passes on (a root starts with SafeDefault()), owned by `creator`.
  void SetSecurity(const std::string& path, Security security);
  Security SecurityOf(const std::string& path) const;  // a default one when absent
  // What it would have got had it been made now, inside its folder as that stands.
  void Reinherit(const std::string& path);
  std::string creator = kSidAdministrators;
  // Volumes by drive letter: the drive type, the file system and its flags. A drive not
  // named here has no root (GetDriveTypeA answers 1).
  struct Volume {
    unsigned type = os::kDriveFixed;
    std::string fileSystem = "NTFS";
    os::Dword flags = 0x2 | 0x8;  // case-preserved names, persistent access lists
  };
  std::map<char, Volume> volumes{{'C', Volume{}}, {'D', Volume{}}};
  // GetFileSecurityA's view of a name: false with *error when it names nothing.
  bool SecurityOfName(const char* name, Security* security, os::Dword* error) const;

  // The attributes GetFileAttributesA reports, or kInvalidFileAttributes when absent.
  os::Dword Attributes(const std::string& path) const;
  // The names (not paths) of the files and folders directly in a folder, in name order.
  std::vector<std::string> List(const std::string& folder) const;
  // Handles this process holds open on the file.
  int OpenCount(const std::string& path) const;
  // Total size of all files; a write that would grow it beyond `capacity` (1 GiB unless a
  // test sets less) fails with ERROR_DISK_FULL and writes nothing.
  std::uint64_t UsedBytes() const;
  std::uint64_t capacity = std::uint64_t{1} << 30;

  // What the process sees; folders named here exist from the start.
  std::string currentDirectory = "C:\\Program Files\\Morvane";
  std::string moduleFileName = "C:\\Program Files\\Morvane\\morvane.exe";
  std::string windowsDirectory = "C:\\WINDOWS";
  std::string tempPath = "C:\\WINDOWS\\TEMP\\";
  // GetModuleFileNameA with a short buffer: false answers as the NT 6 family does (truncated,
  // terminated, ERROR_INSUFFICIENT_BUFFER), true as XP does (truncated, not terminated).
  bool moduleFileNameAsXp = false;

  // --- Used by SimWindows' operations. `name` is as the process passed it; a failure returns
  // false (or -1) with *error set to the Windows error code.

  // The full path GetFullPathNameA makes of `name` against the current directory: separators
  // turned into "\", runs of them collapsed, "." and ".." applied, trailing dots and blanks
  // dropped. Purely textual; "\\.\" and "\\?\" names keep their prefix.
  std::string FullPath(const std::string& name) const;

  // CreateFileA on a file (device names are SimWindows' business). On success returns the id
  // of the open file and sets *error to 0 or ERROR_ALREADY_EXISTS as CreateFileA does.
  int Open(const char* name, os::Dword access, os::Dword share, os::Dword creation,
           os::Dword flagsAndAttributes, os::Dword* error);
  bool IsOpen(int id) const;
  bool Read(int id, void* buffer, os::Dword toRead, os::Dword* read, os::Dword* error);
  bool Write(int id, const void* buffer, os::Dword toWrite, os::Dword* written, os::Dword* error);
  // Moves the file pointer; *position is the new position. A position beyond `limit` is
  // refused with ERROR_INVALID_PARAMETER and leaves the pointer where it was.
  bool Seek(int id, std::int64_t distance, os::Dword method, std::uint64_t limit,
            std::uint64_t* position, os::Dword* error);
  bool Size(int id, std::uint64_t* size, os::Dword* error) const;
  bool Flush(int id, os::Dword* error);
  bool Delete(const char* name, os::Dword* error);
  // MoveFileExA: `replace` for MOVEFILE_REPLACE_EXISTING, `copyAllowed` for
  // MOVEFILE_COPY_ALLOWED (a move to another drive).
  bool Move(const char* existing, const char* newName, bool replace, bool copyAllowed,
            os::Dword* error);
  // ReplaceFileA: the replacement takes the replaced file's name and attributes; the replaced
  // file's data moves to `backup` (replacing a file of that name) or, without one, goes. A
  // file system without the call (replaceSupported false) answers ERROR_INVALID_FUNCTION.
  bool Replace(const char* replaced, const char* replacement, const char* backup, os::Dword* error);
  bool replaceSupported = true;
  // The next replace stops halfway, as the system's does when the replacement cannot take
  // the name, and answers this code: ERROR_UNABLE_TO_MOVE_REPLACEMENT (1176) leaves both
  // names with a backup and removes the replaced file without; ..._2 (1177) leaves the
  // replaced file under the backup name or, without one, under a name of the system's own
  // ("~RF<n>.TMP" in the same folder). The replacement keeps its name and has taken the
  // replaced file's attributes. 0: a replace runs whole.
  os::Dword replaceStopsWith = 0;
  os::Dword AttributesOf(const char* name, os::Dword* error) const;
  bool SetCurrent(const char* name, os::Dword* error);

  // Short (8.3) names, as FAT keeps them beside the long ones. A name that is a valid 8.3 name
  // is its own short name (upper-cased where `upperCase`, as the 9x family's FAT aliases are);
  // any other gets an alias of its first six valid characters, "~" and a number, and the
  // first three of its extension, upper-cased ("Program Files" -> "PROGRA~1"), the number
  // counting the folder's long names of the same stem in name order.
  static bool IsShortName(const std::string& component);
  // GetShortPathNameA: the full short path of an existing file or folder; ERROR_FILE_NOT_FOUND
  // when the last name is missing, ERROR_PATH_NOT_FOUND when a folder above it is.
  bool ShortPath(const char* name, bool upperCase, std::string* shortPath, os::Dword* error) const;
  // The full path, in long names, of a path given in short names (each component a long name
  // that is itself a valid short name, or an alias); empty when nothing of that name exists or
  // a component is not a short name.
  std::string LongPathOfShort(const std::string& shortPath) const;

  void CloseFile(int id);
  // The process has ended: the system closes every file it left open (delete-on-close and
  // delete-pending files then go), so a copy of the file system taken while a run was under
  // way can serve as the disk that the next run finds.
  void EndProcess();

 private:
  struct Node {
    std::string path;  // full path as created, no trailing separator (a root keeps its "\")
    bool folder = false;
    std::string contents;
    os::Dword attributes = 0;
    bool writable = true;        // folders: files may be created, deleted and renamed in it
    bool deletePending = false;  // goes when its last handle closes; opens are refused
    bool linked = true;          // false once its name is gone (open handles keep the data)
    Security security;
  };
  struct OpenFile {
    int node;
    bool read, write, del;  // the data access the handle holds
    os::Dword share;
    std::uint64_t position;
    bool deleteOnClose;
  };
  // A name checked and resolved for a file operation.
  struct Resolved {
    std::string full;  // full path without a trailing separator (a root keeps its "\")
    std::string key;   // the full path's lookup key
    bool trailingSeparator;
    bool isRoot;
  };

  static std::string Key(const std::string& fullPath);
  static std::string ParentOf(const std::string& fullPath);  // empty for a root
  bool Resolve(const char* name, Resolved* out, os::Dword* error) const;
  // The node at a key, or -1.
  int Lookup(const std::string& key) const;
  // Checks that the folder holding `r` exists; sets the error Windows gives when not.
  bool ParentExists(const Resolved& r, os::Dword* error) const;
  bool ParentWritable(const std::string& fullPath) const;
  bool ShareConflict(int node, bool read, bool write, bool del, os::Dword share) const;
  int NewNode(Node node);
  void Unlink(int node);  // removes the node's name; its data goes with the last handle
  void Rename(int node, const std::string& fullPath);  // a file's node under a free name
  void AddFolderChain(const std::string& fullPath);
  // What a new node at fullPath takes from its folder.
  Security NewSecurity(const std::string& fullPath, bool folder) const;
  // The short name of `component`, a name in folder `parentFull` (full path, long names).
  std::string ShortNameOf(const std::string& parentFull, const std::string& component,
                          bool upperCase) const;

  std::map<int, Node> nodes_;
  std::map<std::string, int> byKey_;  // live names only
  std::map<int, OpenFile> open_;
  int nextNode_ = 1;
  int nextOpen_ = 1;
};

}  // namespace sim
