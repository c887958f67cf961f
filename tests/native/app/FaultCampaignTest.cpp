// The hardware-safety campaign: whole program runs (silent apply; the window's read, picks,
// Set, Refresh and Set again) under every single fault at every position it can strike, and
// processors of every kind. After each run every configuration write the chip took is checked
// against what it held: only the intended fields may differ. Prints one summary line and
// leaves it in fault-campaign.txt in the working directory for the test command to show.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "app/Startup.h"
#include "hw/DeviceDriver.h"
#include "regs/Groups.h"
#include "regs/Tables.h"
#include "sim/Northbridge.h"
#include "tests/native/hw/DriverFixture.h"
#include "tests/support/MemoryControls.h"
#include "ui/Setregform.h"

namespace {

enum class Fault {
  None,
  ForeignAddress,  // another agent's enabled address latched in 0xCF8 before the start
  OtherCore,       // another agent latches an address between two requests
  Refused,         // one request refused by the driver
  Failed,          // one request failed by the system
  NoFunction,      // one configuration access finds no function
  AllOnes,         // one configuration read answers all ones
  DeviceOpen,      // one open of the device fails
  StaleService,    // a stopped service names an image that is gone
  TornImage,       // a torn temporary image left by an interrupted extraction
};

struct Positions {
  int requests = 0;
  int configAccesses = 0;
  int deviceOpens = 0;
};

class App : public Application {
 public:
  std::optional<Exception> Initialize(const std::string&) override { return std::nullopt; }
  std::optional<Exception> RunWindowed() override {
    if (onRun) onRun();
    return std::nullopt;
  }
  std::function<void()> onRun;
};

// One program run in a fresh simulated Windows over a chip at its power-on values.
class World : public DriverFixture {
 public:
  World() {
    DriverFixture::SetUp();
    SimNbReset();
    ResetRegisters();
    DeviceDriver = nullptr;
  }
  ~World() override {
    FreeDeviceDriver();
    ResetRegisters();
    DriverFixture::TearDown();
  }
  void TestBody() override {}

  static void ResetRegisters() {
    for (PciRegister& reg : Registers) {
      reg.value = 0;
      reg.readable = false;
    }
  }

  void Run(const std::string& tail) {
    win.session.commandLine = "\"C:\\Program Files\\Morvane\\morvane.exe\"" + tail;
    MorvaneMain(app);
    win.session.EndProcess();
  }

  bool ShowedUnreadable() const {
    for (const auto& box : win.session.messageBoxes) {
      if (box.text == kUnreadableMessage) return true;
    }
    return false;
  }

  App app;
  using DriverFixture::win;
  using DriverFixture::sys32Image;
};

// Picks the item shown as `text`; false when the list has no such item (unread registers).
bool Pick(ChoiceBox& list, const std::string& text) {
  for (int i = 0; i < list.ItemCount(); ++i) {
    if (list.ItemText(i) == text) {
      Mem(list).UserPick(i);
      return true;
    }
  }
  return false;
}

std::uint32_t FieldMask(const char* key) {
  const RegisterField* field = FindField(key);
  EXPECT_NE(field, nullptr) << key;
  if (field == nullptr) return 0;
  return ((field->width >= 32 ? 0u : (1u << field->width)) - 1u) << field->shift;
}

struct Scenario {
  const char* name;
  // Which bits of which register (function << 8 | offset) the run means to change.
  std::map<unsigned, std::uint32_t> intended;
  std::function<void(World&)> run;
};

unsigned Key(const char* field) {
  const PciRegister* reg = FindField(field)->reg;
  return static_cast<unsigned>(reg->function) << 8 | static_cast<unsigned>(reg->offset);
}

std::vector<Scenario> Scenarios() {
  std::vector<Scenario> list;
  list.push_back({"silent apply",
                  {{Key("Tcl"), FieldMask("Tcl")}, {Key("ReqBufCnt"), FieldMask("ReqBufCnt")}},
                  [](World& w) {
                    w.win.fs.AddFile("C:\\r.mvn", "[DRAM]\r\nTcl=2\r\n[LINK]\r\nReqBufCnt=3\r\n");
                    w.Run(" C:\\r.mvn");
                  }});
  list.push_back({"window",
                  {{Key("Tcl"), FieldMask("Tcl")}, {Key("ReqBufCnt"), FieldMask("ReqBufCnt")}},
                  [](World& w) {
                    MemoryControlFactory factory;
                    w.app.onRun = [&factory] {
                      TSetDRAMRegisterForm form(factory);
                      Pick(form.CASLatency, "3.0");
                      Mem(form.SetRegistersButton).Click();
                      Mem(form.RefreshButton).Click();
                      Pick(form.RequestBufferCount, "3");
                      Pick(form.CASLatency, "2.0");
                      Mem(form.SetRegistersButton).Click();
                    };
                    w.Run("");
                  }});
  return list;
}

struct Tally {
  int runs = 0;
  int faults = 0;
  int writesChecked = 0;
  int wrongWrites = 0;
};

// Checks every write of the run; returns the positions the run went through.
Positions CheckRun(World& w, const Scenario& s, Tally& tally, const std::string& trace) {
  ++tally.runs;
  const std::uint32_t writes = SimNbWriteCount();
  EXPECT_LE(writes, SIM_NB_WRITE_LOG_SIZE) << trace;
  for (std::uint32_t i = 0; i < writes && i < SIM_NB_WRITE_LOG_SIZE; ++i) {
    SimNbWriteRecord record{};
    SimNbWriteAt(i, &record);
    ++tally.writesChecked;
    auto intended = s.intended.find(record.function << 8 | record.offset);
    std::uint32_t allowed = intended == s.intended.end() ? 0 : intended->second;
    bool known = false;
    for (const PciRegister& reg : Registers) {
      known |= static_cast<unsigned>(reg.function) == record.function &&
               static_cast<unsigned>(reg.offset) == record.offset;
    }
    if (!known || ((record.value ^ record.before) & ~allowed) != 0) {
      ++tally.wrongWrites;
      ADD_FAILURE() << trace << ": F" << record.function << "x" << std::hex << record.offset
                    << " held 0x" << record.before << ", written 0x" << record.value;
    }
  }
  // A silent apply that could not read writes nothing at all.
  if (std::string(s.name) == "silent apply" && w.ShowedUnreadable()) {
    EXPECT_EQ(writes, 0u) << trace;
  }
  EXPECT_EQ(SimNbDramCommandCount(), 0u) << trace;
  return {w.win.machine.deviceRequests, w.win.machine.configAccesses,
          w.win.machine.deviceOpenAttempts};
}

void Inject(World& w, Fault fault, int at) {
  switch (fault) {
    case Fault::None:
      break;
    case Fault::ForeignAddress:
      SimNbOutDword(0xCF8, 0x80000000u | 0x02u << 11 | 0x10u);  // 0:2.0 offset 0x10
      break;
    case Fault::OtherCore:
      w.win.machine.otherCoreAtRequest = at;
      break;
    case Fault::Refused:
      w.win.FailCall("DeviceIoControl", os::kErrorAccessDenied, at, 1);
      break;
    case Fault::Failed:
      w.win.FailCall("DeviceIoControl", os::kErrorGenFailure, at, 1);
      break;
    case Fault::NoFunction:
      w.win.machine.failConfigAt = at;
      break;
    case Fault::AllOnes:
      w.win.machine.allOnesReadAt = at;
      break;
    case Fault::DeviceOpen:
      w.win.machine.failDeviceOpenAt = at;
      break;
    case Fault::StaleService:
      w.win.machine.AddService("cpuz", "C:\\Old Folder\\cpuz.sys");
      break;
    case Fault::TornImage:
      w.win.fs.AddFile("C:\\Program Files\\Morvane\\cpuz.sys.tmp", "MZ torn");
      break;
  }
}

TEST(FaultCampaign, NoFaultEverWritesAnythingButTheReadValueWithTheIntendedFields) {
  Tally tally;
  for (const Scenario& s : Scenarios()) {
    Positions clean;
    {
      World w;
      s.run(w);
      clean = CheckRun(w, s, tally, std::string(s.name) + " without faults");
      // The fault-free run changes exactly what it means to.
      const std::uint32_t tcl = std::string(s.name) == "silent apply" ? 2u : 1u;
      EXPECT_EQ(SimNbConfigRead(2, 0x88) & FieldMask("Tcl"), tcl << FindField("Tcl")->shift);
      EXPECT_EQ(SimNbConfigRead(0, 0x90) & FieldMask("ReqBufCnt"), 3u);
    }
    struct Range {
      Fault fault;
      int count;
    };
    const Range ranges[] = {
        {Fault::ForeignAddress, 1},           {Fault::OtherCore, clean.requests},
        {Fault::Refused, clean.requests},     {Fault::Failed, clean.requests},
        {Fault::NoFunction, clean.configAccesses}, {Fault::AllOnes, clean.configAccesses},
        {Fault::DeviceOpen, clean.deviceOpens},    {Fault::StaleService, 1},
        {Fault::TornImage, 1},
    };
    for (const Range& range : ranges) {
      for (int at = 0; at < range.count; ++at) {
        World w;
        Inject(w, range.fault, at);
        s.run(w);
        ++tally.faults;
        CheckRun(w, s, tally,
                 std::string(s.name) + " fault " + std::to_string(static_cast<int>(range.fault)) +
                     " at " + std::to_string(at));
        if (range.fault == Fault::StaleService || range.fault == Fault::TornImage ||
            range.fault == Fault::ForeignAddress || range.fault == Fault::OtherCore) {
          // Harmless to a sound program: the run does all it means to.
          EXPECT_EQ(SimNbConfigRead(0, 0x90) & FieldMask("ReqBufCnt"), 3u) << s.name;
          EXPECT_EQ(w.win.machine.FindService("cpuz")->loadedImage, w.sys32Image);
        }
      }
    }
  }

  // Processors: only K8 up to revision E starts the driver.
  struct Cpu {
    const char* vendor;
    os::Dword signature;
    bool supported;
  };
  const Cpu cpus[] = {
      {"AuthenticAMD", 0x00000F48, true},  {"AuthenticAMD", 0x00000FC0, true},   // rev C/CG
      {"AuthenticAMD", 0x00010FF0, true},                                        // rev D
      {"AuthenticAMD", 0x00020FF2, true},  {"AuthenticAMD", 0x00020F32, true},   // rev E
      {"AuthenticAMD", 0x00040F33, false}, {"AuthenticAMD", 0x00040FB2, false},  // rev F
      {"AuthenticAMD", 0x00060FB1, false}, {"AuthenticAMD", 0x00070FF1, false},  // rev G
      {"AuthenticAMD", 0x00100F22, false},                                       // family 0x10
      {"AuthenticAMD", 0x00800F11, false}, {"AuthenticAMD", 0x00A00F11, false},  // current
      {"GenuineIntel", 0x00000F29, false},
  };
  const std::vector<Scenario> scenarios = Scenarios();
  const Scenario& apply = scenarios.front();
  for (const Cpu& cpu : cpus) {
    World w;
    w.win.machine.cpuVendor = cpu.vendor;
    w.win.machine.cpuSignature = cpu.signature;
    apply.run(w);
    CheckRun(w, apply, tally, std::string("processor ") + std::to_string(cpu.signature));
    EXPECT_EQ(w.win.machine.startServiceCalls > 0, cpu.supported) << std::hex << cpu.signature;
    if (!cpu.supported) {
      EXPECT_EQ(w.win.machine.createServiceCalls, 0);
      EXPECT_EQ(SimNbWriteCount(), 0u);
    }
  }

  char line[160];
  std::snprintf(line, sizeof line,
                "Fault campaign: %d runs, %d faults injected, %d writes checked, %d wrong writes",
                tally.runs, tally.faults, tally.writesChecked, tally.wrongWrites);
  std::printf("%s\n", line);
  if (std::FILE* report = std::fopen("fault-campaign.txt", "w")) {
    std::fprintf(report, "%s\n", line);
    std::fclose(report);
  }
  EXPECT_EQ(tally.wrongWrites, 0);
  EXPECT_GT(tally.writesChecked, 1000);
}

}  // namespace
