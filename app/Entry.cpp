// The entry sequence: one instance only, program paths, processor and driver checks, then
// windowed mode or the silent apply of a register file, and one orderly exit.
#include <cstdint>
#include <string>
#include <vector>

#include "app/CommandTail.h"
#include "app/Startup.h"
#include "files/ApplyMarker.h"
#include "files/ApplyWatch.h"
#include "files/IniFile.h"
#include "files/RegisterFile.h"
#include "files/SafePlace.h"
#include "files/StartupSettings.h"
#include "os/Api.h"
#include "os/ErrorText.h"
#include "os/Exception.h"
#include "regs/Groups.h"

namespace {

void ShowMessage(const std::string& text, os::Dword style) {
  os::Windows().MessageBoxA(nullptr, text.c_str(), kApplicationTitle, style);
}

// The full path of the running executable. Windows truncates the name silently (XP without
// a terminator) when the buffer is short, so the buffer grows until the whole name fits.
std::string ModuleFileName() {
  std::vector<char> buffer(260);
  for (;;) {
    auto size = static_cast<os::Dword>(buffer.size());
    os::Dword length = os::Windows().GetModuleFileNameA(nullptr, buffer.data(), size);
    if (length == 0) return {};
    if (length < size) return std::string(buffer.data(), length);
    if (buffer.size() >= 32768) return {};  // longer than any Windows path
    buffer.resize(buffer.size() * 2);
  }
}

bool IsTrimmedAway(char c) {
  return static_cast<unsigned char>(c) <= ' ';
}

bool IsBlankTail(const std::string& tail) {
  for (char c : tail) {
    if (!IsTrimmedAway(c)) return false;
  }
  return true;
}

// Silent apply: the hardware values into the caches, the file over them, and back out. A
// register that could not be read stops every write. A marker beside the file is on the disk
// while registers are written and records the read-back; a watch started apart then waits for
// the computer's 5 minutes of running, so that an apply the machine did not survive is not made
// again at any start until the user has looked at the settings in the window. One system-wide
// lock covers the marker's check to the read-back, for users logged on at the same time.
//
// It calls no window function unless it shows a box: a log-on apply costs what its hardware
// traffic costs, and the window libraries are loaded only for a box.
struct Box {
  std::string text;
  os::Dword style;
};

// The apply itself, under the system-wide lock; the box it leaves to show, if any, is shown
// once the lock is let go (a box stays up until the user answers it).
std::optional<Box> ApplyUnderLock(const std::string& path, const std::string& program) {
  constexpr os::Dword kWarning = os::kMbOk | os::kMbIconExclamation;
  ApplyLock lock;
  if (!lock.Held()) return Box{kApplyBusyMessage, kWarning};
  switch (CheckLastApply(path)) {
    case LastApply::Clear:
      break;
    case LastApply::Watched:
      return std::nullopt;  // applied in this run of Windows and being watched: it holds
    case LastApply::Unfinished:
      return Box{kUnfinishedApplyMessage, kWarning};
    case LastApply::RestartedSoon:
      return Box{kRestartedSoonMessage, kWarning};
  }
  ReadDramGroup();
  ReadLinkGroup();
  bool loaded = LoadDramSection(path) && LoadLinkSection(path);
  if (!loaded) return Box{kUnableToLoadMessage + ("\"" + path + "\""), os::kMbOk};
  if (!RegistersWritable()) return Box{kUnreadableMessage, kWarning};
  // Where no marker can be written (a read-only folder) the apply goes ahead unguarded. One
  // created but not written whole marks the apply by its name while the registers are
  // written, and goes afterwards.
  ApplyRecord record;
  bool guarded = WriteApplyMarker(path, &record);
  WriteDramGroup();
  WriteLinkGroup();
  if (!guarded) {
    RemoveApplyMarker(path);
    return std::nullopt;
  }
  std::string full;
  os::Dword error = 0;
  if (RecordApplyReadBack(path, record) && ini::FullPath(path, &full, &error)) {
    StartApplyWatch(program, full, record.token);
  }
  return std::nullopt;
}

void ApplyRegisterFile(const std::string& path, const std::string& program) {
  if (std::optional<Box> box = ApplyUnderLock(path, program)) ShowMessage(box->text, box->style);
}

// A silent start from a place other users can change writes nothing: its registration, or
// the file it names, is no longer the administrator's own.
bool PlaceIsSafe(const std::string& program, const std::string& path) {
  for (const std::string& file : {program, path}) {
    PlaceCheck place = CheckPlace(file);
    if (place.verdict == PlaceVerdict::Exposed) {
      ShowMessage(UnsafeStartText(place.exposed), os::kMbOk | os::kMbIconExclamation);
      return false;
    }
  }
  return true;
}

std::optional<Exception> RunStartedProgram(Application& application) {
  os::Api& win = os::Windows();
  if (std::optional<Exception> failed = application.Initialize(kApplicationTitle)) return failed;

  // The driver loader writes its image into the current directory.
  ProgramDirectory = ExtractFilePath(ModuleFileName());
  win.SetCurrentDirectoryA(ProgramDirectory.c_str());
  // The fixed name of this build, whatever name it was started under: the 64-bit build ships
  // as morvane64.exe, and its log-on registration must name that file, not the 32-bit one.
  ProgramFilePath = ProgramDirectory + (win.Is64BitProcess() ? "\\morvane64.exe" : "\\morvane.exe");
  StartupFilePath = ProgramDirectory + "\\startup.mvn";

  switch (CheckProcessor()) {
    case ProcessorSupport::Supported:
      break;
    case ProcessorSupport::UnsupportedAmd64:
      ShowMessage(kUnsupportedAmd64Message, os::kMbOk | os::kMbIconExclamation);
      return std::nullopt;
    case ProcessorSupport::NotAmd64:
      ShowMessage(kNoAmd64Message, os::kMbOk | os::kMbIconExclamation);
      return std::nullopt;
  }
  std::string tail = CommandTail(win.GetCommandLineA());
  const bool windowed = IsBlankTail(tail);
  const std::string program = ModuleFileName();
  // Taken whole: the Run value leaves a start-up file path with blanks unquoted.
  if (!windowed && !PlaceIsSafe(program, tail)) return std::nullopt;
  if (InitDeviceDriver() == 0) {
    os::Dword error = win.GetLastError();
    ShowMessage(kDriverFailedMessage + os::SystemErrorText(error),
                os::kMbOk | os::kMbIconExclamation);
    return std::nullopt;
  }
  if (windowed) return application.RunWindowed();
  ApplyRegisterFile(tail, program);
  return std::nullopt;
}

}  // namespace

int MorvaneMain(Application& application) {
  os::Api& win = os::Windows();
  // The watch of an apply: no instance of its own, no driver, no window.
  std::string token, watched;
  if (ParseWatchTail(CommandTail(win.GetCommandLineA()), &token, &watched)) {
    RunApplyWatch(watched, token);
    return 0;
  }
  // The handle is held until the process ends, so the name stays taken while it runs.
  os::Handle mutex = win.CreateMutexA(1, kInstanceMutexName);
  os::Dword error = win.GetLastError();
  // Access denied on a mutex of that name means another instance, started with other
  // rights, holds it.
  if (error == os::kErrorAlreadyExists || (mutex == nullptr && error == os::kErrorAccessDenied)) {
    return 0;
  }
  if (std::optional<Exception> failed = RunStartedProgram(application)) {
    ShowMessage(ExceptionBoxText(failed->what()), os::kMbOk | os::kMbIconHand);
  }
  FreeDeviceDriver();
  return 0;
}
