// The simulated machine: version presets, CPUID, services, the driver's device and the VxD.
#include "sim/Machine.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "hw/driver/Protocol.h"
#include "hw/driver/Requests.h"
#include "sim/Northbridge.h"

namespace sim {
namespace {

bool SameName(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::toupper(static_cast<unsigned char>(x)) ==
                  std::toupper(static_cast<unsigned char>(y));
         });
}

bool EndsWith(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() && SameName(text.substr(text.size() - tail.size()), tail);
}


// How the I/O manager reports a driver's NTSTATUS to the caller of DeviceIoControl.
os::Dword Win32ErrorOf(std::int32_t status) {
  switch (status) {
    case MVN_STATUS_INVALID_DEVICE_REQUEST:
      return os::kErrorInvalidFunction;
    case MVN_STATUS_INVALID_PARAMETER:
      return os::kErrorInvalidParameter;
    case MVN_STATUS_BUFFER_TOO_SMALL:
      return os::kErrorInsufficientBuffer;
    case MVN_STATUS_ACCESS_DENIED:
      return os::kErrorAccessDenied;
    case MVN_STATUS_DEVICE_DOES_NOT_EXIST:
      return kErrorDevNotExist;
    default:
      return os::kErrorGenFailure;
  }
}

std::uint32_t LoadDword(const void* buffer, os::Dword size, os::Dword index) {
  std::uint32_t value = 0;
  if (buffer != nullptr && size >= 4 * (index + 1)) {
    std::memcpy(&value, static_cast<const char*>(buffer) + 4 * index, 4);
  }
  return value;
}

}  // namespace

// The driver's configuration operations over the simulated chip, as the simulated driver image
// has them, with the machine's injected faults.
int Machine::ChipRead(void* ctx, std::uint32_t bus, std::uint32_t device, std::uint32_t function,
                      std::uint32_t offset, std::uint32_t* value) {
  auto* self = static_cast<Machine*>(ctx);
  int index = self->configAccesses++;
  if (index == self->failConfigAt) return 0;
  int done = SimNbConfigCycleRead(bus, device, function, offset, value);
  if (done && index == self->allOnesReadAt) *value = 0xFFFFFFFFu;
  return done;
}

int Machine::ChipWrite(void* ctx, std::uint32_t bus, std::uint32_t device, std::uint32_t function,
                       std::uint32_t offset, std::uint32_t value) {
  auto* self = static_cast<Machine*>(ctx);
  int index = self->configAccesses++;
  if (index == self->failConfigAt) return 0;
  return SimNbConfigCycleWrite(bus, device, function, offset, value);
}

Machine::Machine(const FileSystem& files) : files_(files) {
  // Each simulated machine starts with a freshly powered chip.
  SimNbReset();
}

void Machine::SetPlatform(Platform platform) {
  switch (platform) {
    case Platform::Windows9x:
      platformId = os::kVerPlatformWin32Windows;
      majorVersion = 4, minorVersion = 10, buildNumber = 0x040A08AE;  // 4.10.2222
      servicePack = " A ";
      extendedVersionInfo = false;
      hasGetNativeSystemInfo = false;
      hasIsWow64Process = false;
      nativeArchitecture = os::kProcessorArchitectureIntel;
      wow64 = false;
      process64 = false;
      break;
    case Platform::Nt32:
      platformId = os::kVerPlatformWin32Nt;
      majorVersion = 5, minorVersion = 1, buildNumber = 2600;
      servicePack = "Service Pack 3";
      extendedVersionInfo = true;
      hasGetNativeSystemInfo = true;
      hasIsWow64Process = true;
      nativeArchitecture = os::kProcessorArchitectureIntel;
      wow64 = false;
      process64 = false;
      break;
    case Platform::NtWow64:
    case Platform::Nt64:
      platformId = os::kVerPlatformWin32Nt;
      majorVersion = 6, minorVersion = 1, buildNumber = 7601;
      servicePack = "Service Pack 1";
      extendedVersionInfo = true;
      hasGetNativeSystemInfo = true;
      hasIsWow64Process = true;
      nativeArchitecture = os::kProcessorArchitectureAmd64;
      // The same Windows 7 x64; only the program's own width differs.
      process64 = platform == Platform::Nt64;
      wow64 = !process64;
      break;
    case Platform::NtWithoutNativeSystemInfo:
      platformId = os::kVerPlatformWin32Nt;
      majorVersion = 5, minorVersion = 0, buildNumber = 2195;
      servicePack = "Service Pack 4";
      extendedVersionInfo = true;
      hasGetNativeSystemInfo = false;
      hasIsWow64Process = false;
      nativeArchitecture = os::kProcessorArchitectureIntel;
      wow64 = false;
      process64 = false;
      break;
  }
}

void Machine::SetCpuFamily(unsigned family) {
  cpuSignature = (cpuSignature & ~0xF00u) | ((family & 0xFu) << 8);
}

bool Machine::VersionInfo(os::OsVersionInfo* info, os::Dword* error) const {
  if (info == nullptr) {
    *error = kErrorNoAccess;
    return false;
  }
  os::Dword size = info->dwOSVersionInfoSize;
  bool extended = size == os::kOsVersionInfoExSize;
  if (size != os::kOsVersionInfoSize && !extended) {
    *error = os::kErrorInsufficientBuffer;
    return false;
  }
  if (extended && !extendedVersionInfo) {
    // Windows 9x and NT 4 before SP6 know only the basic record.
    *error = os::kErrorInvalidParameter;
    return false;
  }
  os::OsVersionInfo answer;
  answer.dwOSVersionInfoSize = size;
  answer.dwMajorVersion = majorVersion;
  answer.dwMinorVersion = minorVersion;
  answer.dwBuildNumber = buildNumber;
  answer.dwPlatformId = platformId;
  std::strncpy(answer.szCSDVersion, servicePack.c_str(), sizeof answer.szCSDVersion - 1);
  if (extended) {
    answer.wServicePackMajor = servicePack.empty() ? 0 : 1;
    answer.wProductType = 1;  // a workstation
  } else {
    // The basic record ends after the service-pack text: the caller's other members stay.
    answer.wServicePackMajor = info->wServicePackMajor;
    answer.wServicePackMinor = info->wServicePackMinor;
    answer.wSuiteMask = info->wSuiteMask;
    answer.wProductType = info->wProductType;
    answer.wReserved = info->wReserved;
  }
  *info = answer;
  return true;
}

// --- Services.

Machine::Service& Machine::AddService(const std::string& name, const std::string& binaryPath,
                                      bool running) {
  Service service;
  service.name = name;
  service.displayName = name;
  service.binaryPath = binaryPath;
  service.running = running;
  services_.push_back(service);
  return services_.back();
}

Machine::Service* Machine::FindService(const std::string& name) {
  for (Service& s : services_) {
    if (SameName(s.name, name)) return &s;
  }
  return nullptr;
}

const Machine::Service* Machine::FindService(const std::string& name) const {
  return const_cast<Machine*>(this)->FindService(name);
}

void Machine::StopService(const std::string& name) {
  if (Service* s = FindService(name)) s->running = false;
}

void Machine::RemoveService(const std::string& name) {
  services_.erase(std::remove_if(services_.begin(), services_.end(),
                                 [&](const Service& s) { return SameName(s.name, name); }),
                  services_.end());
}

void Machine::MarkForDelete(const std::string& name) {
  if (Service* s = FindService(name)) s->markedForDelete = true;
}

int Machine::OpenManager(const char* machineName, const char* database, os::Dword access,
                         os::Dword* error) {
  if (machineName != nullptr && machineName[0] != '\0') {
    *error = kErrorRpcServerUnavailable;  // only the local machine is simulated
    return -1;
  }
  if (database != nullptr && std::strcmp(database, "ServicesActive") != 0) {
    *error = kErrorDatabaseDoesNotExist;
    return -1;
  }
  // A standard user may connect and enumerate, but not ask for all access.
  const os::Dword kUserAccess = 0x0001 | 0x0004 | 0x0010;  // connect, enumerate, lock
  if (!administrator && (access & ~kUserAccess & 0xFFFF) != 0) {
    *error = os::kErrorAccessDenied;
    return -1;
  }
  int id = nextId_++;
  managers_[id] = access;
  return id;
}

int Machine::CreateService(int manager, const char* name, const char* displayName, os::Dword type,
                           os::Dword start, os::Dword errorControl, const char* binaryPath,
                           os::Dword* error) {
  auto m = managers_.find(manager);
  if (m == managers_.end()) {
    *error = os::kErrorInvalidHandle;
    return -1;
  }
  const os::Dword kCreateServiceRight = 0x0002;
  if ((m->second & kCreateServiceRight) == 0) {
    *error = os::kErrorAccessDenied;
    return -1;
  }
  if (name == nullptr || name[0] == '\0' || std::strlen(name) > 256 ||
      std::strpbrk(name, "/\\") != nullptr) {
    *error = os::kErrorInvalidName;
    return -1;
  }
  if (binaryPath == nullptr || binaryPath[0] == '\0' || type != os::kServiceKernelDriver ||
      start > 4 || errorControl > 3) {
    *error = os::kErrorInvalidParameter;
    return -1;
  }
  ++createServiceCalls;
  if (const Service* existing = FindService(name)) {
    *error = existing->markedForDelete ? os::kErrorServiceMarkedForDelete : os::kErrorServiceExists;
    return -1;
  }
  Service& s = AddService(name, binaryPath);
  s.displayName = displayName != nullptr ? displayName : name;
  s.type = type;
  s.startType = start;
  s.errorControl = errorControl;
  int id = nextId_++;
  serviceHandles_[id] = s.name;
  return id;
}

int Machine::OpenService(int manager, const char* name, os::Dword* error) {
  if (managers_.count(manager) == 0) {
    *error = os::kErrorInvalidHandle;
    return -1;
  }
  if (name == nullptr || FindService(name) == nullptr) {
    *error = os::kErrorServiceDoesNotExist;
    return -1;
  }
  int id = nextId_++;
  serviceHandles_[id] = FindService(name)->name;
  return id;
}

bool Machine::StartService(int service, os::Dword* error) {
  auto h = serviceHandles_.find(service);
  if (h == serviceHandles_.end()) {
    *error = os::kErrorInvalidHandle;
    return false;
  }
  ++startServiceCalls;
  Service* s = FindService(h->second);
  if (s == nullptr) {
    *error = os::kErrorServiceMarkedForDelete;  // removed while the handle was open
    return false;
  }
  if (s->running) {
    *error = os::kErrorServiceAlreadyRunning;
    return false;
  }
  if (s->markedForDelete) {
    *error = os::kErrorServiceMarkedForDelete;
    return false;
  }
  // The kernel loads the image file now; afterwards the file may go. The manager keeps a
  // driver's path in the kernel's form too ("\??\" in front), which names the same file.
  std::string path = s->binaryPath;
  if (path.rfind("\\??\\", 0) == 0) path = path.substr(4);
  std::string image = files_.FullPath(path);
  if (!files_.Exists(image)) {
    *error = os::kErrorFileNotFound;
    return false;
  }
  s->loadedImage = files_.Contents(image);
  if (s->loadedImage.empty()) {
    *error = kErrorBadExeFormat;  // an empty file is no driver
    return false;
  }
  s->running = true;
  ++s->starts;
  return true;
}

Machine::Service* Machine::ServiceOfHandle(int id) {
  auto h = serviceHandles_.find(id);
  return h == serviceHandles_.end() ? nullptr : FindService(h->second);
}

bool Machine::CloseServiceOrManager(int id, os::Dword* error) {
  if (managers_.erase(id) != 0 || serviceHandles_.erase(id) != 0) return true;
  *error = os::kErrorInvalidHandle;
  return false;
}

// --- The device and the VxD.

int Machine::OpenDevice(const std::string& name, os::Dword access, os::Dword share,
                        os::Dword creation, os::Dword flags, os::Dword* error) {
  (void)share;
  if (platformId == os::kVerPlatformWin32Windows) return OpenVxd(name, creation, flags, error);
  (void)access;
  const Service* s = FindService(name);
  if (s == nullptr || !s->running || s->type != os::kServiceKernelDriver) {
    *error = os::kErrorFileNotFound;
    return -1;
  }
  if (creation != os::kOpenExisting) {
    *error = creation == os::kCreateNew ? os::kErrorFileExists : os::kErrorInvalidParameter;
    return -1;
  }
  if (deviceAccessDenied) {
    *error = os::kErrorAccessDenied;
    return -1;
  }
  if (deviceOpenAttempts++ == failDeviceOpenAt) {
    *error = deviceOpenError;
    return -1;
  }
  ++deviceOpens;
  int id = nextId_++;
  devices_[id] = Device{name, false, false, 0};
  return id;
}

int Machine::OpenVxd(const std::string& name, os::Dword creation, os::Dword flags,
                     os::Dword* error) {
  if (!EndsWith(name, ".vxd")) {
    // A VxD by module name is found only while loaded.
    bool loaded = std::any_of(devices_.begin(), devices_.end(), [&](const auto& d) {
      return d.second.vxd && SameName(d.second.name.substr(0, d.second.name.size() - 4), name);
    });
    if (!loaded) {
      *error = os::kErrorFileNotFound;
      return -1;
    }
    int id = nextId_++;
    devices_[id] = Device{name + ".vxd", true, false, 0};
    return id;
  }
  lastVxdOpenName = name;
  // A file name alone is searched for; a full path is taken as it is, but only in short (8.3)
  // names: the loader takes no long names, and the VxD then does not load at all.
  std::vector<std::string> places;
  if (name.find_first_of("\\/:") != std::string::npos) {
    std::string path = files_.LongPathOfShort(name);
    if (!path.empty()) places.push_back(path);
  } else {
    for (const std::string& folder : {files_.currentDirectory, files_.windowsDirectory + "\\SYSTEM",
                                      files_.windowsDirectory})
      places.push_back(files_.FullPath(folder + "\\" + name));
  }
  for (const std::string& path : places) {
    if (!files_.Exists(path)) continue;
    if (creation != os::kCreateNew || (flags & os::kFileFlagDeleteOnClose) == 0) {
      *error = os::kErrorInvalidParameter;  // not a dynamic load request
      return -1;
    }
    ++vxdLoads;
    loadedVxdPath = path;
    int id = nextId_++;
    devices_[id] = Device{path.substr(path.find_last_of('\\') + 1), true, true, 0};
    return id;
  }
  *error = os::kErrorFileNotFound;
  return -1;
}

void Machine::CloseDevice(int id) {
  auto d = devices_.find(id);
  if (d == devices_.end()) return;
  if (d->second.unloadOnClose) ++vxdUnloads;
  devices_.erase(d);
}

int Machine::OpenDeviceCount() const {
  return static_cast<int>(devices_.size());
}

int Machine::RequestCount(os::Dword code) const {
  return static_cast<int>(std::count_if(requests.begin(), requests.end(),
                                        [code](const Request& r) { return r.code == code; }));
}

bool Machine::DeviceControl(int id, os::Dword code, const void* in, os::Dword inSize, void* out,
                            os::Dword outSize, os::Dword* returned, os::Dword* error) {
  auto d = devices_.find(id);
  if (d == devices_.end()) {
    *error = os::kErrorInvalidHandle;
    return false;
  }
  if (d->second.vxd) {
    *error = os::kErrorNotSupported;  // the program asks its VxD nothing
    return false;
  }
  if (returned == nullptr) {
    *error = kErrorNoAccess;  // a synchronous request must say where the count goes
    return false;
  }
  if ((in == nullptr && inSize != 0) || (out == nullptr && outSize != 0)) {
    *error = kErrorNoAccess;
    return false;
  }
  if (beforeRequest) {
    beforeRequest(code, LoadDword(in, inSize, 0),
                  code == MVN_IOCTL_WRITE_PORT ? LoadDword(in, inSize, 1) : 0);
  }
  // A buffered request: the I/O manager hands the driver one system buffer holding the input,
  // and copies back as many bytes as the driver reports.
  std::vector<std::uint8_t> system(std::max(inSize, outSize));
  if (inSize != 0) std::memcpy(system.data(), in, inSize);
  // Another agent (the operating system on the other core, another tool) may latch any
  // address in the chip's own address port between two requests.
  if (deviceRequests++ == otherCoreAtRequest) SimNbOutDword(0xCF8, otherCoreAddress);
  const MvnConfigOps chip = {ChipRead, ChipWrite, this};
  std::uint32_t information = 0;
  std::int32_t status =
      MvnHandleRequest(&chip, &d->second.address, code, system.empty() ? nullptr : system.data(),
                       inSize, system.empty() ? nullptr : system.data(), outSize, &information);
  Request request{code, LoadDword(in, inSize, 0), 0, status == MVN_STATUS_SUCCESS};
  if (code == MVN_IOCTL_WRITE_PORT) request.value = LoadDword(in, inSize, 1);
  if (status != MVN_STATUS_SUCCESS) {
    requests.push_back(request);
    *returned = 0;
    *error = Win32ErrorOf(status);
    return false;
  }
  information = std::min<std::uint32_t>(information, outSize);
  if (information != 0) std::memcpy(out, system.data(), information);
  if (code == MVN_IOCTL_READ_PORT) request.value = LoadDword(out, outSize, 0);
  requests.push_back(request);
  *returned = information;
  return true;
}

// --- Port instructions.

std::uint32_t Machine::In(std::uint16_t port) {
  if (platformId != os::kVerPlatformWin32Windows) {
    ++privilegedInstructionFaults;
    return 0xFFFFFFFFu;
  }
  std::uint32_t value = SimNbInDword(port);
  portAccesses.push_back({false, port, value});
  return value;
}

void Machine::Out(std::uint16_t port, std::uint32_t value) {
  if (platformId != os::kVerPlatformWin32Windows) {
    ++privilegedInstructionFaults;
    return;
  }
  portAccesses.push_back({true, port, value});
  SimNbOutDword(port, value);
}

}  // namespace sim
