// The open-file dialog's settings in the platform's terms, and the checks it adds to the
// platform's dialog when that is used for choosing a file to write.
#include "ui/FileDialog.h"

#include <vector>

#include "os/Api.h"

bool ForceCurrentDirectory = false;

std::uint32_t OpenFileNameFlags(OpenOptions options) {
  struct Mapping {
    OpenOptions option;
    std::uint32_t flag;
  };
  static constexpr Mapping kMappings[] = {
      {ofOverwritePrompt, kOfnOverwritePrompt},
      {ofHideReadOnly, kOfnHideReadOnly},
      {ofExtensionDifferent, kOfnExtensionDifferent},
      {ofPathMustExist, kOfnPathMustExist},
      {ofFileMustExist, kOfnFileMustExist},
      {ofNoReadOnlyReturn, kOfnNoReadOnlyReturn},
      {ofEnableSizing, kOfnEnableSizing},
  };
  std::uint32_t flags = kOfnExplorer;
  for (const Mapping& m : kMappings) {
    if (options & m.option) flags |= m.flag;
  }
  return flags;
}

std::string PlatformFilter(const std::string& filter) {
  std::string result = filter;
  for (char& c : result) {
    if (c == '|') c = '\0';
  }
  // The last part's terminator, then the list's.
  result.push_back('\0');
  result.push_back('\0');
  return result;
}

bool HasExtension(const std::string& path) {
  auto nameStart = path.find_last_of("\\/:");
  nameStart = nameStart == std::string::npos ? 0 : nameStart + 1;
  return path.find('.', nameStart) != std::string::npos;
}

namespace {

std::string CurrentDirectory() {
  os::Api& win = os::Windows();
  os::Dword size = win.GetCurrentDirectoryA(0, nullptr);
  if (size == 0) return {};
  std::vector<char> buffer(size + 1);
  os::Dword length = win.GetCurrentDirectoryA(static_cast<os::Dword>(buffer.size()), buffer.data());
  if (length == 0 || length >= buffer.size()) return {};
  return std::string(buffer.data(), length);
}

}  // namespace

std::string OpenDialogControl::ReplaceQuestion(const std::string& path) {
  return path + " already exists.\nDo you want to replace it?";
}

std::string OpenDialogControl::ReadOnlyRefusal(const std::string& path) {
  return path + "\nThis file is set to read-only.\nTry again with a different file name.";
}

bool OpenDialogControl::Execute() {
  std::string initialDir = InitialDir;
  if (initialDir.empty() && ForceCurrentDirectory) initialDir = CurrentDirectory();
  const std::string previous = FileName;
  for (;;) {
    if (!RunDialog(initialDir)) {
      FileName = previous;
      return false;
    }
    os::Api& win = os::Windows();
    os::Dword attributes = win.GetFileAttributesA(FileName.c_str());
    // A new name typed without an extension gets the default one, as a save dialog gives it;
    // an existing file chosen without one is taken as it is.
    if (attributes == os::kInvalidFileAttributes && !DefaultExt.empty() &&
        !HasExtension(FileName)) {
      FileName += "." + DefaultExt;
      attributes = win.GetFileAttributesA(FileName.c_str());
    }
    bool exists =
        attributes != os::kInvalidFileAttributes && (attributes & os::kFileAttributeDirectory) == 0;
    if (!exists) return true;
    if ((Options & ofNoReadOnlyReturn) && (attributes & os::kFileAttributeReadonly)) {
      messages_.Show(ReadOnlyRefusal(FileName), Title, kMessageOk | kMessageIconExclamation);
      continue;
    }
    if ((Options & ofOverwritePrompt) &&
        messages_.Show(ReplaceQuestion(FileName), Title, kMessageYesNo | kMessageIconExclamation) !=
            kMessageIdYes) {
      continue;
    }
    return true;
  }
}
