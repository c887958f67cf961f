// The driver's proof under Wine: a program packed with the simulated driver images, run step by
// step by run-driver-test.sh. It installs the driver with CDeviceDriver as the program does,
// reads and writes the registers through the register groups, and sends the running driver
// every kind of request it must refuse. The expected register values come from a local copy of
// the simulated chip, the same code the driver image carries.
//
// Steps (gtest filters): Probe.Reset (no service "cpuz"), Probe.RealImageLoads (the real image,
// which Wine cannot let touch ports, loads and offers its device), Probe.FirstRun (fresh
// install), Probe.SecondRun (the service reused while it runs), Requests.* (refusals),
// Probe.Reinstall (the service stopped and removed behind the program's back).
#include <gtest/gtest.h>
#include <windows.h>

#include <array>
#include <span>
#include <string>
#include <utility>

#include "hw/DeviceDriver.h"
#include "hw/driver/Protocol.h"
#include "os/win32/WinApi.h"
#include "regs/Groups.h"
#include "regs/Tables.h"
#include "sim/Northbridge.h"

namespace {

std::string ProgramFolder() {
  char path[MAX_PATH];
  DWORD n = ::GetModuleFileNameA(nullptr, path, sizeof path);
  std::string folder(path, n);
  return folder.substr(0, folder.rfind('\\'));
}

bool FileExists(const std::string& path) {
  return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Through the seam, which looks the call up at run time: XP before SP2 lacks it.
// Whether the system runs the 64-bit driver image: this program is a 64-bit one, or a 32-bit
// one under WOW64.
bool Wow64() {
  if (sizeof(void*) == 8) return true;
  os::Bool wow64 = 0;
  return os::RealWindows().IsWow64Process(::GetCurrentProcess(), &wow64) && wow64;
}

// The image this process must get: the 64-bit one in a 64-bit or WOW64 process, else the 32-bit
// one.
std::string ExpectedImagePath() {
  return ProgramFolder() + (Wow64() ? "\\cpuz64.sys" : "\\cpuz.sys");
}

bool RunningOnWine() {
  HMODULE ntdll = ::GetModuleHandleA("ntdll.dll");
  return ntdll != nullptr && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

// Windows lets the program delete the image once the service runs. Wine keeps a loaded
// driver's file mapped and refuses to delete it (access denied) until the driver unloads, so
// there the file stays behind; the program ignores the failure, as it should.
void ExpectImageDeleted() {
  std::string image = ExpectedImagePath();
  if (!FileExists(image)) return;
  ASSERT_TRUE(RunningOnWine()) << image << " was left behind";
  EXPECT_FALSE(::DeleteFileA(image.c_str()));
  EXPECT_EQ(::GetLastError(), DWORD{ERROR_ACCESS_DENIED});
}

struct ServiceState {
  bool exists = false;
  DWORD state = 0;
  std::string binaryPath;
};

ServiceState QueryCpuzService() {
  ServiceState result;
  SC_HANDLE manager = ::OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
  if (manager == nullptr) return result;
  if (SC_HANDLE service =
          ::OpenServiceA(manager, "cpuz", SERVICE_QUERY_CONFIG | SERVICE_QUERY_STATUS)) {
    result.exists = true;
    SERVICE_STATUS status{};
    if (::QueryServiceStatus(service, &status)) result.state = status.dwCurrentState;
    char buffer[4096];
    DWORD needed = 0;
    auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGA*>(buffer);
    if (::QueryServiceConfigA(service, config, sizeof buffer, &needed))
      result.binaryPath = config->lpBinaryPathName;
    ::CloseServiceHandle(service);
  }
  ::CloseServiceHandle(manager);
  return result;
}

// The chip as a freshly loaded driver holds it.
void ResetLocalChip() {
  SimNbReset();
}

std::uint32_t LocalRegister(const PciRegister& reg) {
  return SimNbConfigRead(static_cast<unsigned>(reg.function), static_cast<unsigned>(reg.offset));
}

// Installs the driver as the program's start-up does and makes it the process's driver.
void StartDriver() {
  ASSERT_EQ(DeviceDriver, nullptr);
  auto* driver = new CDeviceDriver;
  ASSERT_EQ(driver->Initialize(nullptr, "cpuz", "cpuz", 1), 1) << "error " << ::GetLastError();
  DeviceDriver = driver;
}

void StopDriver() {
  delete DeviceDriver;
  DeviceDriver = nullptr;
}

void ExpectRegistersEqualLocalChip(const char* when) {
  for (const PciRegister& reg : Registers)
    EXPECT_EQ(reg.value, LocalRegister(reg)) << reg.name << " " << when;
}

// What the first run writes: every bit of every register flipped, group by group in the order
// the groups write. The chip keeps its read-only and reserved bits, clears what clears itself
// and takes the rest, in the driver as in the local copy, which this also brings up to date.
std::array<std::uint32_t, kRegisterCount> FlipLocally() {
  std::array<std::uint32_t, kRegisterCount> sent{};
  for (auto group :
       {std::span<PciRegister* const>(DramGroup), std::span<PciRegister* const>(LinkGroup)}) {
    for (PciRegister* reg : group) {
      std::uint32_t value = ~LocalRegister(*reg);
      sent[reg - Registers] = value;
      SimNbConfigWrite(static_cast<unsigned>(reg->function), static_cast<unsigned>(reg->offset),
                       value);
    }
  }
  return sent;
}

TEST(Probe, Reset) {
  SC_HANDLE manager = ::OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
  ASSERT_NE(manager, nullptr) << ::GetLastError();
  if (SC_HANDLE service = ::OpenServiceA(manager, "cpuz", SERVICE_ALL_ACCESS)) {
    SERVICE_STATUS status;
    ::ControlService(service, SERVICE_CONTROL_STOP, &status);
    EXPECT_TRUE(::DeleteService(service)) << ::GetLastError();
    ::CloseServiceHandle(service);
  }
  ::CloseServiceHandle(manager);
  EXPECT_FALSE(QueryCpuzService().exists);
}

// The script puts the real images beside the probe as real32.sys and real64.sys.
TEST(Probe, RealImageLoads) {
  std::string image = ProgramFolder() + (Wow64() ? "\\real64.sys" : "\\real32.sys");
  ASSERT_TRUE(FileExists(image)) << image;
  SC_HANDLE manager = ::OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
  ASSERT_NE(manager, nullptr);
  SC_HANDLE service = ::CreateServiceA(
      manager, "cpuz", "cpuz", SERVICE_ALL_ACCESS, SERVICE_KERNEL_DRIVER, SERVICE_DEMAND_START,
      SERVICE_ERROR_NORMAL, image.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(service, nullptr) << ::GetLastError();
  EXPECT_TRUE(::StartServiceA(service, 0, nullptr)) << ::GetLastError();
  HANDLE device = ::CreateFileA("\\\\.\\cpuz", GENERIC_READ, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, 0, nullptr);
  EXPECT_NE(device, INVALID_HANDLE_VALUE) << ::GetLastError();
  if (device != INVALID_HANDLE_VALUE) ::CloseHandle(device);
  EXPECT_TRUE(::DeleteService(service));
  ::CloseServiceHandle(service);
  ::CloseServiceHandle(manager);
}

TEST(Probe, FirstRun) {
  ASSERT_FALSE(QueryCpuzService().exists) << "run Probe.Reset first";
  ASSERT_FALSE(FileExists(ExpectedImagePath()));

  StartDriver();
  ServiceState service = QueryCpuzService();
  EXPECT_TRUE(service.exists);
  EXPECT_EQ(service.state, DWORD{SERVICE_RUNNING});
  // The service runs the image extracted beside the program, which is gone again.
  EXPECT_NE(service.binaryPath.find(ExpectedImagePath()), std::string::npos) << service.binaryPath;
  ExpectImageDeleted();

  ResetLocalChip();
  for (PciRegister& reg : Registers) reg.value = 0x5A5A5A5A;
  ReadDramGroup();
  ReadLinkGroup();
  ASSERT_NE(DeviceDriver, nullptr) << "the device could not be opened";
  ExpectRegistersEqualLocalChip("at power-on");

  auto sent = FlipLocally();
  for (int i = 0; i < kRegisterCount; ++i) Registers[i].value = sent[i];
  WriteDramGroup();
  WriteLinkGroup();
  ASSERT_NE(DeviceDriver, nullptr);
  ExpectRegistersEqualLocalChip("after writing every bit flipped");
  // The groups read back what the chip took, which is not all that was sent.
  int refused = 0;
  for (int i = 0; i < kRegisterCount; ++i) refused += Registers[i].value != sent[i];
  EXPECT_GT(refused, 0);

  // Every access put the address port back as it found it: idle.
  ASSERT_TRUE(DeviceDriver->Open());
  std::uint32_t address = 0xDEADBEEF;
  EXPECT_TRUE(DeviceDriver->ReadPortDword(MVN_PCI_ADDRESS_PORT, &address));
  EXPECT_EQ(address, 0u);
  DeviceDriver->Close();
  StopDriver();
}

TEST(Probe, SecondRun) {
  ServiceState before = QueryCpuzService();
  ASSERT_TRUE(before.exists) << "run Probe.FirstRun first";
  ASSERT_EQ(before.state, DWORD{SERVICE_RUNNING});

  StartDriver();
  ExpectImageDeleted();
  // The steps report the codes they tolerated: the service existed and was running.
  ASSERT_NE(DeviceDriver->m_hSCManager =
                os::Windows().OpenSCManagerA(nullptr, nullptr, os::kScManagerAllAccess),
            nullptr);
  os::Dword error = 0;
  EXPECT_EQ(DeviceDriver->CreateDriverService(&error), 1);
  EXPECT_EQ(error, os::kErrorServiceExists);
  EXPECT_EQ(DeviceDriver->StartDriverService(&error), 1);
  EXPECT_EQ(error, os::kErrorServiceAlreadyRunning);
  os::Windows().CloseServiceHandle(DeviceDriver->m_hSCManager);
  DeviceDriver->m_hSCManager = nullptr;

  // The same driver instance still holds what the first run wrote.
  ResetLocalChip();
  FlipLocally();
  ReadDramGroup();
  ReadLinkGroup();
  ASSERT_NE(DeviceDriver, nullptr);
  ExpectRegistersEqualLocalChip("in the second run");
  StopDriver();
}

// Another client holds a foreign enabled address in its address port while the program runs
// a silent apply's steps: the program's accesses go to its own addresses, every register ends
// as intended, and the other client's address is still its own.
TEST(Probe, ForeignAddressLatched) {
  HANDLE other = ::CreateFileA("\\\\.\\cpuz", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                               0, nullptr);
  ASSERT_NE(other, INVALID_HANDLE_VALUE) << "run Probe.FirstRun first";
  std::uint32_t foreign[2] = {MVN_PCI_ADDRESS_PORT, 0x80000010u};  // 0:0.0 offset 0x10
  std::uint32_t out[2] = {};
  DWORD count = 0;
  ASSERT_TRUE(::DeviceIoControl(other, MVN_IOCTL_WRITE_PORT, foreign, 8, out, 8, &count, nullptr));

  StartDriver();
  ResetLocalChip();
  FlipLocally();  // what the first run left in the driver's chip
  ReadDramGroup();
  ReadLinkGroup();
  ASSERT_TRUE(RegistersWritable());
  ExpectRegistersEqualLocalChip("with a foreign address latched");
  // Tcl = 2, as a register file would set it, here and in the local copy.
  PciRegister& timing = *DramGroup[0];
  timing.value = (timing.value & ~7u) | 2u;
  SimNbConfigWrite(static_cast<unsigned>(timing.function), static_cast<unsigned>(timing.offset),
                   timing.value);
  EXPECT_TRUE(WriteDramGroup());
  EXPECT_TRUE(WriteLinkGroup());
  for (PciRegister* reg : LinkGroup) {
    SimNbConfigWrite(static_cast<unsigned>(reg->function), static_cast<unsigned>(reg->offset),
                     reg->value);
  }
  ExpectRegistersEqualLocalChip("after the apply");
  StopDriver();

  std::uint32_t port = MVN_PCI_ADDRESS_PORT;
  ASSERT_TRUE(::DeviceIoControl(other, MVN_IOCTL_READ_PORT, &port, 4, out, 8, &count, nullptr));
  EXPECT_EQ(out[0], 0x80000010u);
  ::CloseHandle(other);
}

// Someone stops and removes the service between two register accesses: the next access finds
// no device, installs and starts the driver again, and reads the chip afresh.
TEST(Probe, Reinstall) {
  StartDriver();
  SC_HANDLE manager = ::OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
  ASSERT_NE(manager, nullptr);
  SC_HANDLE service = ::OpenServiceA(manager, "cpuz", SERVICE_ALL_ACCESS);
  ASSERT_NE(service, nullptr);
  SERVICE_STATUS status{};
  ASSERT_TRUE(::ControlService(service, SERVICE_CONTROL_STOP, &status)) << ::GetLastError();
  ASSERT_TRUE(::DeleteService(service));
  ::CloseServiceHandle(service);
  for (int i = 0; i < 50 && QueryCpuzService().exists; ++i) ::Sleep(100);
  ASSERT_FALSE(QueryCpuzService().exists);
  ::CloseServiceHandle(manager);
  HANDLE gone = ::CreateFileA("\\\\.\\cpuz", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              0, nullptr);
  EXPECT_EQ(gone, INVALID_HANDLE_VALUE);
  EXPECT_EQ(::GetLastError(), DWORD{ERROR_FILE_NOT_FOUND});

  ResetLocalChip();
  ReadDramGroup();
  ReadLinkGroup();
  ASSERT_NE(DeviceDriver, nullptr) << "the driver was not brought back";
  ExpectRegistersEqualLocalChip("after the reinstall");
  EXPECT_EQ(QueryCpuzService().state, DWORD{SERVICE_RUNNING});
  ExpectImageDeleted();
  StopDriver();
}

// Raw requests to the running driver.
class Requests : public ::testing::Test {
 protected:
  void SetUp() override {
    device_ = ::CreateFileA("\\\\.\\cpuz", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                            nullptr);
    ASSERT_NE(device_, INVALID_HANDLE_VALUE) << "error " << ::GetLastError();
  }
  void TearDown() override {
    if (device_ != INVALID_HANDLE_VALUE) ::CloseHandle(device_);
  }

  // The error code of a request, 0 when it succeeded; `out` receives the output.
  DWORD Send(DWORD code, const void* in, DWORD inLength, void* out, DWORD outLength,
             DWORD* returned = nullptr) {
    DWORD count = 0xFFFF;
    BOOL ok = ::DeviceIoControl(device_, code, const_cast<void*>(in), inLength, out, outLength,
                                &count, nullptr);
    if (returned != nullptr) *returned = count;
    return ok ? 0 : ::GetLastError();
  }
  DWORD Read(std::uint32_t port, std::uint32_t* value) {
    std::uint32_t out[2] = {0xAAAAAAAA, 0xBBBBBBBB};
    DWORD error = Send(MVN_IOCTL_READ_PORT, &port, 4, out, 8);
    if (error == 0) *value = out[0];
    return error;
  }
  DWORD Write(std::uint32_t port, std::uint32_t value) {
    std::uint32_t in[2] = {port, value};
    std::uint32_t out[2];
    return Send(MVN_IOCTL_WRITE_PORT, in, 8, out, 8);
  }
  std::uint32_t Address() {
    std::uint32_t value = 0xDEADBEEF;
    EXPECT_EQ(Read(MVN_PCI_ADDRESS_PORT, &value), 0u);
    return value;
  }
  std::uint32_t Config(std::uint32_t address) {
    std::uint32_t value = 0xDEADBEEF;
    EXPECT_EQ(Write(MVN_PCI_ADDRESS_PORT, address), 0u);
    EXPECT_EQ(Read(MVN_PCI_DATA_PORT, &value), 0u);
    EXPECT_EQ(Write(MVN_PCI_ADDRESS_PORT, 0), 0u);
    return value;
  }
  // Still serving: a whole configuration read returns what the chip holds.
  void ExpectServing() {
    EXPECT_EQ(Config(0x8000C300), 0x11031022u);  // 0:18.3 vendor and device id
  }

  HANDLE device_ = INVALID_HANDLE_VALUE;
};

TEST_F(Requests, TheTwoRequestsAnswerInTheirBuffers) {
  std::uint32_t in = MVN_PCI_ADDRESS_PORT;
  std::uint32_t out[2] = {0xAAAAAAAA, 0xBBBBBBBB};
  DWORD returned = 0;
  ASSERT_EQ(Write(MVN_PCI_ADDRESS_PORT, 0x8000C288), 0u);
  EXPECT_EQ(Send(MVN_IOCTL_READ_PORT, &in, 4, out, 8, &returned), 0u);
  EXPECT_EQ(out[0], 0x8000C288u);
  EXPECT_EQ(out[1], 0u);
  EXPECT_EQ(returned, 8u);
  EXPECT_EQ(Write(MVN_PCI_ADDRESS_PORT, 0), 0u);
  EXPECT_EQ(Config(0x8000C300), 0x11031022u);
  // Another node's device, absent here: the access fails rather than answering filler.
  ASSERT_EQ(Write(MVN_PCI_ADDRESS_PORT, 0x8000C800), 0u);
  std::uint32_t value = 0;
  EXPECT_EQ(Read(MVN_PCI_DATA_PORT, &value), DWORD{ERROR_DEV_NOT_EXIST});
  EXPECT_EQ(Write(MVN_PCI_ADDRESS_PORT, 0), 0u);
}

TEST_F(Requests, EachHandleHasItsOwnAddressPort) {
  HANDLE second = ::CreateFileA("\\\\.\\cpuz", GENERIC_READ, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(second, INVALID_HANDLE_VALUE);
  std::swap(device_, second);
  EXPECT_EQ(Address(), 0u);  // a new handle's port starts at 0
  ASSERT_EQ(Write(MVN_PCI_ADDRESS_PORT, 0x8000C288), 0u);
  std::swap(device_, second);
  ASSERT_EQ(Write(MVN_PCI_ADDRESS_PORT, 0x8000C300), 0u);
  std::swap(device_, second);
  // The first handle's address did not steer the second handle's data access.
  std::uint32_t value = 0;
  EXPECT_EQ(Read(MVN_PCI_DATA_PORT, &value), 0u);
  std::uint32_t expected = 0;
  std::swap(device_, second);
  expected = Config(0x8000C288);
  EXPECT_EQ(value, expected);
  std::swap(device_, second);
  EXPECT_EQ(Address(), 0x8000C288u);
  std::swap(device_, second);
  ::CloseHandle(second);
  ExpectServing();
}

TEST_F(Requests, UnknownControlCodesAreInvalidDeviceRequests) {
  std::uint32_t in[2] = {MVN_PCI_ADDRESS_PORT, 0};
  std::uint32_t out[2];
  const DWORD codes[] = {
      0x9C402410,  // function 0x904
      0x9C40241C,  // function 0x907
      0x9C402415,  // the read code with direct transfer
      0x9C406414,  // the read code asking for read access
      0x9C412414,  // another device type
      0x00222000,  // an unrelated device's code
      0,
  };
  for (DWORD code : codes) {
    EXPECT_EQ(Send(code, in, 4, out, 8), DWORD{ERROR_INVALID_FUNCTION}) << std::hex << code;
    EXPECT_EQ(Send(code, in, 8, out, 8), DWORD{ERROR_INVALID_FUNCTION}) << std::hex << code;
  }
  ExpectServing();
}

TEST_F(Requests, WrongBufferSizesAreRefused) {
  std::uint32_t in[4] = {MVN_PCI_ADDRESS_PORT, 0, 0, 0};
  std::uint32_t out[4];
  for (DWORD inLength : {0u, 3u, 5u, 8u})
    EXPECT_EQ(Send(MVN_IOCTL_READ_PORT, in, inLength, out, 8), DWORD{ERROR_INVALID_PARAMETER})
        << "read, " << inLength << " bytes in";
  for (DWORD outLength : {0u, 4u, 7u})
    EXPECT_EQ(Send(MVN_IOCTL_READ_PORT, in, 4, out, outLength), DWORD{ERROR_INSUFFICIENT_BUFFER})
        << "read, " << outLength << " bytes out";
  for (DWORD outLength : {9u, 16u})
    EXPECT_EQ(Send(MVN_IOCTL_READ_PORT, in, 4, out, outLength), DWORD{ERROR_INVALID_PARAMETER})
        << "read, " << outLength << " bytes out";
  for (DWORD inLength : {0u, 4u, 7u, 12u})
    EXPECT_EQ(Send(MVN_IOCTL_WRITE_PORT, in, inLength, out, 8), DWORD{ERROR_INVALID_PARAMETER})
        << "write, " << inLength << " bytes in";
  EXPECT_EQ(Send(MVN_IOCTL_WRITE_PORT, in, 8, out, 0), DWORD{ERROR_INSUFFICIENT_BUFFER});
  EXPECT_EQ(Send(MVN_IOCTL_WRITE_PORT, in, 8, out, 16), DWORD{ERROR_INVALID_PARAMETER});
  EXPECT_EQ(Send(MVN_IOCTL_READ_PORT, nullptr, 0, nullptr, 0), DWORD{ERROR_INVALID_PARAMETER});
  ExpectServing();
}

TEST_F(Requests, OnlyTheConfigurationPortsAreServed) {
  const std::uint32_t ports[] = {0x80,  0x60,  0xCF9,   0xCFA,   0xCFB,     0xCFD,
                                 0xCFE, 0xCF4, 0x10CF8, 0x10CFC, 0xFFFFFFFF};
  ASSERT_EQ(Write(MVN_PCI_ADDRESS_PORT, 0x8000C288), 0u);
  for (std::uint32_t port : ports) {
    std::uint32_t value = 0;
    EXPECT_EQ(Read(port, &value), DWORD{ERROR_ACCESS_DENIED}) << std::hex << port;
    EXPECT_EQ(Write(port, 0x12345678), DWORD{ERROR_ACCESS_DENIED}) << std::hex << port;
  }
  EXPECT_EQ(Address(), 0x8000C288u);  // none of them reached the address port
  EXPECT_EQ(Write(MVN_PCI_ADDRESS_PORT, 0), 0u);
  ExpectServing();
}

TEST_F(Requests, OnlyNorthbridgeFunctionsCanBeAddressed) {
  const std::uint32_t addresses[] = {
      0x80000000,  // bus 0, device 0: the chipset's host bridge
      0x8001C288,  // bus 1
      0x80FFC288,  // bus 255
      0x8000BA88,  // device 0x17
      0x8000C488,  // function 4
      0x8000C788,  // function 7
      0x8100C288,  // reserved bit 24
      0xC000C288,  // reserved bit 30
      0x8000C28A,  // byte lane bits set
      0x8000C289,
  };
  // The address port is this handle's own and takes anything; the data port refuses to
  // reach any of these.
  std::uint32_t before = Config(0x8000C288);
  for (std::uint32_t address : addresses) {
    EXPECT_EQ(Write(MVN_PCI_ADDRESS_PORT, address), 0u) << std::hex << address;
    std::uint32_t value = 0;
    EXPECT_EQ(Read(MVN_PCI_DATA_PORT, &value), DWORD{ERROR_ACCESS_DENIED}) << std::hex << address;
    EXPECT_EQ(Write(MVN_PCI_DATA_PORT, ~before), DWORD{ERROR_ACCESS_DENIED}) << std::hex << address;
    EXPECT_EQ(Address(), address);
  }
  EXPECT_EQ(Write(MVN_PCI_ADDRESS_PORT, 0), 0u);
  EXPECT_EQ(Config(0x8000C288), before);

  // The last function of the last node device is still a northbridge function (absent here).
  EXPECT_EQ(Write(MVN_PCI_ADDRESS_PORT, 0x8000FB00), 0u);
  std::uint32_t value = 0;
  EXPECT_EQ(Read(MVN_PCI_DATA_PORT, &value), DWORD{ERROR_DEV_NOT_EXIST});
  EXPECT_EQ(Write(MVN_PCI_ADDRESS_PORT, 0), 0u);
  ExpectServing();
}

TEST_F(Requests, OnlyTheSevenRegistersCanBeWritten) {
  // Northbridge registers the driver reads but never writes: function 1's address maps,
  // function 3's miscellaneous control, the second node's DRAM timing, and offsets of
  // functions 0 and 2 beside the seven. Each write fails as an access no function answers and
  // leaves the register as it was.
  const std::uint32_t readOnly[] = {
      0x8000C140,           // 0:18.1 DRAM base 0
      0x8000C144,           // 0:18.1 DRAM limit 0
      0x8000C380,           // 0:18.3 offset 0x80
      0x8000C344,           // 0:18.3 MCA NB configuration
      0x8000C288 + 0x0800,  // 0:19.2 DRAM timing low (absent here: no second node)
      0x8000C280,           // 0:18.2 beside the DRAM group
      0x8000C298,
      0x8000C08C,  // 0:18.0 between the link registers
      0x8000C060,  // 0:18.0 node id
  };
  for (std::uint32_t address : readOnly) {
    std::uint32_t before = 0, value = 0;
    EXPECT_EQ(Write(MVN_PCI_ADDRESS_PORT, address), 0u) << std::hex << address;
    DWORD readError = Read(MVN_PCI_DATA_PORT, &before);
    EXPECT_EQ(Write(MVN_PCI_DATA_PORT, ~before), DWORD{ERROR_DEV_NOT_EXIST}) << std::hex << address;
    if (readError == 0) {
      EXPECT_EQ(Read(MVN_PCI_DATA_PORT, &value), 0u) << std::hex << address;
      EXPECT_EQ(value, before) << std::hex << address;
    }
  }
  EXPECT_EQ(Write(MVN_PCI_ADDRESS_PORT, 0), 0u);
  // The seven still take a write (each written back with its own value).
  for (std::uint32_t address : {0x8000C288u, 0x8000C28Cu, 0x8000C290u, 0x8000C294u, 0x8000C084u,
                                0x8000C088u, 0x8000C090u}) {
    std::uint32_t value = 0;
    EXPECT_EQ(Write(MVN_PCI_ADDRESS_PORT, address), 0u);
    ASSERT_EQ(Read(MVN_PCI_DATA_PORT, &value), 0u) << std::hex << address;
    EXPECT_EQ(Write(MVN_PCI_DATA_PORT, value), 0u) << std::hex << address;
  }
  EXPECT_EQ(Write(MVN_PCI_ADDRESS_PORT, 0), 0u);
  ExpectServing();
}

TEST_F(Requests, TheDataPortNeedsAnEnabledNorthbridgeAddress) {
  std::uint32_t before = Config(0x8000C288);
  for (std::uint32_t idle : {0x00000000u, 0x0000C288u, 0x0001C288u}) {
    ASSERT_EQ(Write(MVN_PCI_ADDRESS_PORT, idle), 0u) << std::hex << idle;
    std::uint32_t value = 0;
    EXPECT_EQ(Read(MVN_PCI_DATA_PORT, &value), DWORD{ERROR_ACCESS_DENIED}) << std::hex << idle;
    EXPECT_EQ(Write(MVN_PCI_DATA_PORT, ~before), DWORD{ERROR_ACCESS_DENIED}) << std::hex << idle;
    EXPECT_EQ(Address(), idle);
  }
  EXPECT_EQ(Write(MVN_PCI_ADDRESS_PORT, 0), 0u);
  EXPECT_EQ(Config(0x8000C288), before);  // the refused writes did not reach the register
  ExpectServing();
}

TEST_F(Requests, NothingBelowTheDeviceCanBeOpened) {
  HANDLE below = ::CreateFileA("\\\\.\\cpuz\\ports", GENERIC_READ, FILE_SHARE_READ, nullptr,
                               OPEN_EXISTING, 0, nullptr);
  EXPECT_EQ(below, INVALID_HANDLE_VALUE);
  if (below != INVALID_HANDLE_VALUE) ::CloseHandle(below);
  ExpectServing();
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  os::Install(&os::RealWindows());
  // As the program does at start-up: the driver image goes into the program's folder.
  ::SetCurrentDirectoryA(ProgramFolder().c_str());
  return RUN_ALL_TESTS();
}
