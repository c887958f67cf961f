// The open-file dialog as the window logic sees it: plain settings that the caller sets before
// showing it and reads after, over the platform's file-open dialog.
#pragma once

#include <cstdint>
#include <string>

#include "ui/MessageBox.h"

// Dialog options, combined with |.
using OpenOptions = unsigned;
inline constexpr OpenOptions ofOverwritePrompt = 1u << 0;     // confirm replacing a file
inline constexpr OpenOptions ofHideReadOnly = 1u << 1;        // no read-only check box
inline constexpr OpenOptions ofExtensionDifferent = 1u << 2;  // (reported by the platform)
inline constexpr OpenOptions ofPathMustExist = 1u << 3;       // the folder must exist
inline constexpr OpenOptions ofFileMustExist = 1u << 4;       // the file must exist
inline constexpr OpenOptions ofNoReadOnlyReturn = 1u << 5;    // refuse read-only files
inline constexpr OpenOptions ofEnableSizing = 1u << 6;        // resizable dialog

// The OPENFILENAME flags (commdlg.h values) the options stand for.
inline constexpr std::uint32_t kOfnOverwritePrompt = 0x2;
inline constexpr std::uint32_t kOfnHideReadOnly = 0x4;
inline constexpr std::uint32_t kOfnExtensionDifferent = 0x400;
inline constexpr std::uint32_t kOfnPathMustExist = 0x800;
inline constexpr std::uint32_t kOfnFileMustExist = 0x1000;
inline constexpr std::uint32_t kOfnNoReadOnlyReturn = 0x8000;
inline constexpr std::uint32_t kOfnExplorer = 0x80000;
inline constexpr std::uint32_t kOfnEnableSizing = 0x800000;

// The OPENFILENAME flags for a set of options; the dialog is always the Explorer-style one.
std::uint32_t OpenFileNameFlags(OpenOptions options);

// A filter "description|pattern|description|pattern" in the form the platform takes: each
// part ended by a NUL, and one more NUL after the last.
std::string PlatformFilter(const std::string& filter);

// Whether the last component of a path has an extension (a "." in it).
bool HasExtension(const std::string& path);

// When set, a dialog without an initial folder opens in the process's current directory
// rather than wherever the platform would choose.
extern bool ForceCurrentDirectory;

class OpenDialogControl {
 public:
  // `messages` asks the questions the platform's open dialog leaves out (see Execute).
  explicit OpenDialogControl(MessageBoxControl& messages) : messages_(messages) {}
  virtual ~OpenDialogControl() = default;
  OpenDialogControl(const OpenDialogControl&) = delete;
  OpenDialogControl& operator=(const OpenDialogControl&) = delete;

  OpenOptions Options = ofHideReadOnly | ofEnableSizing;
  std::string Filter;
  int FilterIndex = 1;  // 1 for the first description and pattern
  std::string Title;
  std::string DefaultExt;  // without the dot
  std::string InitialDir;
  // In: the name the dialog's file-name box starts with. Out: the chosen file's full path.
  // Kept between shows, so the next show starts with the file chosen last.
  std::string FileName;

  // Shows the dialog; true when the user chose a file, false when cancelled (FileName then
  // stays as it was). The platform's open dialog neither adds the default extension to a new
  // file's name nor asks before an existing file is replaced or refuses a read-only one, so
  // this does that where the options ask for it, showing the dialog again on refusal.
  bool Execute();

  // The messages of the checks above.
  static std::string ReplaceQuestion(const std::string& path);
  static std::string ReadOnlyRefusal(const std::string& path);

 protected:
  // The platform's dialog over the settings above, opening in `initialDir` when not empty:
  // true with FileName set to the chosen path, false when the user cancelled.
  virtual bool RunDialog(const std::string& initialDir) = 0;

 private:
  MessageBoxControl& messages_;
};
