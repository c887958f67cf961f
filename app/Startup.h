// Process entry: single-instance guard, program paths, processor check, driver start and
// the choice between windowed and silent apply mode.
#pragma once

#include <optional>
#include <string>

#include "files/ProgramPaths.h"  // set by the entry
#include "os/Exception.h"
#include "ui/MessageBox.h"  // kApplicationTitle

int InitDeviceDriver();
void FreeDeviceDriver();
// Whether the processor's memory controller is one the register tables describe.
enum class ProcessorSupport {
  Supported,         // AMD family 15 (K8) up to revision E
  UnsupportedAmd64,  // an AMD processor of base family 15 outside that: K8 rev F/G, family 0x10+
  NotAmd64           // any other
};
ProcessorSupport CheckProcessor();
bool IsAmd64Processor();  // CheckProcessor() == Supported

// The user-interface framework's application object, as the entry drives it. A step the
// framework cannot complete hands back its Exception, which ends the started program with
// the standard error box and the exit clean-up.
class Application {
 public:
  virtual ~Application() = default;
  // Readies the framework and names the application.
  virtual std::optional<Exception> Initialize(const std::string& title) = 0;
  // Windowed mode: creates the main window, then the hidden About window, and runs the
  // message loop until the main window closes.
  virtual std::optional<Exception> RunWindowed() = 0;
};

// The process entry, over os::Windows() and the given framework. Returns the exit code,
// which is 0 on every path.
int MorvaneMain(Application& application);

// The start-up's message texts (the application title is ui/MessageBox.h's).
inline constexpr char kInstanceMutexName[] = "Morvane";
inline constexpr char kNoAmd64Message[] = "AMD64 Processor family not detected.\n";
inline constexpr char kUnsupportedAmd64Message[] =
    "This AMD64 processor's memory controller is not supported (revision F or later).\n";
inline constexpr char kDriverFailedMessage[] = "Failed to load I/O driver ... please retry.\n";
inline constexpr char kUnableToLoadMessage[] = "Unable to load register file ";
inline constexpr char kUnfinishedApplyMessage[] =
    "The start-up settings were not applied: the last attempt to apply them did not finish.\n"
    "Open Morvane to check them, then use \"Apply Settings at Startup\" again.\n";
inline constexpr char kApplyBusyMessage[] =
    "The start-up settings were not applied: another start of Morvane was applying them and "
    "did not finish in time.\n"
    "Open Morvane to check them, then use \"Apply Settings at Startup\" again.\n";
inline constexpr char kRestartedSoonMessage[] =
    "The start-up settings were not applied: the computer restarted within 5 minutes of the "
    "last time they were applied.\n"
    "Open Morvane to check them, then use \"Apply Settings at Startup\" again.\n";

// The executable's folder with its trailing separator: everything up to and including the
// last "\" or ":" of the path (nothing when there is neither).
std::string ExtractFilePath(const std::string& path);
