// Counts what one silent apply asks of the driver, over the simulated Windows: device opens
// and device requests, against the register accesses made (one data-port access each).
#include <cstdint>
#include <cstdio>
#include <string>

#include "app/Startup.h"
#include "hw/DeviceDriver.h"
#include "hw/driver/Protocol.h"
#include "sim/Northbridge.h"
#include "sim/SimWindows.h"

namespace {
class NoWindows : public Application {
 public:
  std::optional<Exception> Initialize(const std::string&) override { return std::nullopt; }
  std::optional<Exception> RunWindowed() override { return std::nullopt; }
};
}  // namespace

int main() {
  sim::ScopedSimWindows win;
  SimNbReset();
  // The program file carries its driver images after its own bytes, as the packed one does.
  std::string program = "MZ" + std::string(0x5FE, 'p');
  for (int image = 0; image < 3; ++image) {
    DriverImageTable.images[image].offset = static_cast<std::uint32_t>(program.size());
    DriverImageTable.images[image].size = 0x800;
    program += std::string(0x800, static_cast<char>('0' + image));
  }
  win->fs.AddFile(win->fs.moduleFileName, program);
  win->fs.AddFile("C:\\Program Files\\Morvane\\apply.mvn",
                  "[DRAM]\r\nTcl=2\r\nTrc=15\r\n[LINK]\r\nReqBufCnt=3\r\n");
  win->session.commandLine = "\"C:\\Program Files\\Morvane\\morvane.exe\" apply.mvn";
  NoWindows windows;
  MorvaneMain(windows);
  if (!win->session.messageBoxes.empty()) {
    std::printf("the silent apply failed: %s\n", win->session.messageBoxes[0].text.c_str());
    return 1;
  }
  int accesses = 0;
  for (const auto& request : win->machine.requests) {
    if (request.port == MVN_PCI_DATA_PORT) ++accesses;
  }
  int opens = win->machine.deviceOpens;
  int requests = static_cast<int>(win->machine.requests.size());
  std::printf("register accesses per silent apply: %d\n", accesses);
  std::printf("device opens per silent apply:      %d\n", opens);
  std::printf("device requests per silent apply:   %d\n", requests);
  if (accesses > 0) {
    std::printf("per register access:                %.2f opens, %.2f requests\n",
                static_cast<double>(opens) / accesses, static_cast<double>(requests) / accesses);
  }
  return 0;
}
