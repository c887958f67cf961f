// Counts what one silent apply asks of the driver, over the simulated Windows: device opens
// and device requests, against the register accesses made (one data-port access each).
#include <cstdio>

#include "app/Startup.h"
#include "hw/driver/Protocol.h"
#include "sim/Northbridge.h"
#include "sim/SimWindows.h"

namespace {
class NoWindows : public Application {
 public:
  void Initialize(const std::string&) override {}
  void RunWindowed() override {}
};
}  // namespace

int main() {
  sim::ScopedSimWindows win;
  SimNbReset();
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
