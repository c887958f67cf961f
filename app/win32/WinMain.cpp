// The programs' entry: the real Windows behind the seam, windowed mode over Win32 windows,
// and the entry sequence, whose result is the process's exit code.
#include <windows.h>

#include <cstdlib>
#include <string>

#include "app/Startup.h"
#include "os/Api.h"
#include "os/win32/WinApi.h"
#include "ui/win32/Win32Ui.h"

namespace {

class Win32Application : public Application {
 public:
  // The Win32 toolkit readies itself when windowed mode creates its first window, and every
  // box the program shows carries the application title already.
  std::optional<Exception> Initialize(const std::string& /*title*/) override {
    return std::nullopt;
  }
  std::optional<Exception> RunWindowed() override { return RunWindowedMode(); }
};

}  // namespace

// What ends the program when the run-time gives up (std::terminate, a pure virtual call): at
// once, as the run-time's own handler does after writing to a console this program does not
// have. Defining it here keeps that handler, and the C++ name demangler it carries, out.
namespace __gnu_cxx {
void __verbose_terminate_handler() {
  std::abort();
}
}  // namespace __gnu_cxx

// The command line is taken from GetCommandLineA, whole, not from the run-time's split.
int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  os::Install(&os::RealWindows());
  Win32Application application;
  return MorvaneMain(application);
}
