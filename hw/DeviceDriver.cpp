// The kernel I/O driver's loader: finds out the Windows family, writes the right driver image
// out of the program file, registers and starts it as a service (NT) or loads it as a VxD (9x),
// and opens its device for each register access.
#include "hw/DeviceDriver.h"

#include <cstring>
#include <memory>
#include <new>

CDeviceDriver* DeviceDriver = nullptr;

namespace {

constexpr std::size_t kPathSize = 512;
constexpr os::Dword kErrorHandleEof = 38;
constexpr char kTemporarySuffix[] = ".tmp";

os::Api& Win() {
  return os::Windows();
}

void Report(os::Dword* error, os::Dword code) {
  if (error != nullptr) *error = code;
}

// A name or path that does not fit its fixed buffer fails the step; the thread's error then
// says why, for the start-up's message.
int TooLong() {
  Win().SetLastError(os::kErrorFilenameExcedRange);
  return 0;
}

// Copies text into a fixed buffer; false, leaving the buffer as it was, when it does not fit.
template <std::size_t N>
bool CopyText(char (&buffer)[N], const char* text) {
  std::size_t length = std::strlen(text);
  if (length >= N) return false;
  std::memcpy(buffer, text, length + 1);
  return true;
}

template <std::size_t N>
bool AppendText(char (&buffer)[N], const char* text) {
  std::size_t have = std::strlen(buffer);
  std::size_t length = std::strlen(text);
  if (have + length >= N) return false;
  std::memcpy(buffer + have, text, length + 1);
  return true;
}

// directory + "\" + name; false when the result would not fit.
bool JoinPath(char (&path)[kPathSize], const char* directory, const char* name) {
  path[0] = '\0';
  return AppendText(path, directory) && AppendText(path, "\\") && AppendText(path, name);
}

// "\\.\" + name + suffix, the name by which a device is opened; false when it would not fit.
bool DevicePath(char (&path)[kPathSize], const char* name, const char* suffix) {
  path[0] = '\0';
  return AppendText(path, "\\\\.\\") && AppendText(path, name) && AppendText(path, suffix);
}

// "\\.\" + the short (8.3) form of directory\name, the name by which the 9x family loads a
// VxD: a full path only in short names (a long one keeps the VxD from loading), since where
// the system searches for a bare file name is not documented. False, with the thread's last
// error, when the file is not there (ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND) or the path
// does not fit.
bool VxdDevicePath(char (&path)[kPathSize], const char* directory, const char* name) {
  char full[kPathSize];
  char shortPath[kPathSize];
  if (!JoinPath(full, directory, name)) return TooLong();
  os::Dword length = Win().GetShortPathNameA(full, shortPath, kPathSize);
  if (length == 0) return false;
  if (length >= kPathSize || !DevicePath(path, shortPath, "")) return TooLong();
  return true;
}

os::Handle CreateImageFile(const char* path) {
  return Win().CreateFileA(path, os::kGenericRead | os::kGenericWrite, 0, os::kCreateAlways,
                           os::kFileAttributeHidden);
}

// Reads exactly size bytes at offset; a short file or a failed call is a failure.
bool ReadImage(os::Handle source, std::uint32_t offset, std::uint32_t size, char* buffer) {
  os::Long high = 0;
  Win().SetLastError(os::kErrorSuccess);
  os::Dword low =
      Win().SetFilePointer(source, static_cast<os::Long>(offset), &high, os::kFileBegin);
  if (low == os::kInvalidSetFilePointer && Win().GetLastError() != os::kErrorSuccess) return false;
  if (low != offset || high != 0) return false;
  std::uint32_t done = 0;
  while (done < size) {
    os::Dword got = 0;
    if (!Win().ReadFile(source, buffer + done, size - done, &got)) return false;
    if (got == 0) {
      Win().SetLastError(kErrorHandleEof);  // the program file ends inside the image
      return false;
    }
    done += got;
  }
  return true;
}

bool WriteImage(os::Handle target, const char* buffer, std::uint32_t size) {
  std::uint32_t done = 0;
  while (done < size) {
    os::Dword put = 0;
    if (!Win().WriteFile(target, buffer + done, size - done, &put)) return false;
    if (put == 0) {
      Win().SetLastError(os::kErrorDiskFull);
      return false;
    }
    done += put;
  }
  return true;
}

// Whether two paths are the same text, letters compared without regard to case.
bool SameText(const char* a, const char* b) {
  for (; *a != '\0' && *b != '\0'; ++a, ++b) {
    auto upper = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; };
    if (upper(*a) != upper(*b)) return false;
  }
  return *a == *b;
}

// Whether an image path's file name (its last component) is one this program writes for its
// driver service; any other file is another program's driver.
bool IsOwnImageName(const char* path) {
  const char* name = path;
  for (const char* c = path; *c != '\0'; ++c) {
    if (*c == '\\' || *c == '/') name = c + 1;
  }
  return SameText(name, "cpuz.sys") || SameText(name, "cpuz64.sys");
}

// Moves a complete file over the target. The 9x family has MoveFileExA only as a stub: there
// the target goes first, then the plain move.
bool ReplaceFile(const char* from, const char* to) {
  if (Win().MoveFileExA(from, to, os::kMovefileReplaceExisting | os::kMovefileWriteThrough)) {
    return true;
  }
  if (Win().GetLastError() != os::kErrorCallNotImplemented) return false;
  Win().DeleteFileA(to);
  return Win().MoveFileA(from, to) != 0;
}

// The Windows directory (9x) or the directory for temporary files (NT); false when it cannot
// be had or does not fit the directory field.
bool FallbackDirectory(int windowsDirectory, char (&directory)[256]) {
  constexpr os::Dword kSize = sizeof directory;
  os::Dword length = windowsDirectory ? Win().GetWindowsDirectoryA(directory, kSize)
                                      : Win().GetTempPathA(kSize, directory);
  if (length == 0) return false;
  if (length >= kSize) {
    TooLong();
    return false;
  }
  return true;
}

}  // namespace

CDeviceDriver::CDeviceDriver()
    : m_hDevice(os::kInvalidHandle),
      m_hSCManager(nullptr),
      m_hImage(os::kInvalidHandle),
      m_bExtractImage(0),
      m_szDirectory(),
      m_szFileName(),
      m_szDriverName(),
      m_szSourceName(),
      m_dwPlatformId(-1),
      m_bIsWow64(0),
      m_b64BitProcess(0),
      m_dwProcessorArchitecture(-1) {}

// Releases the object only: the service stays, and no handle or file is touched.
CDeviceDriver::~CDeviceDriver() {
  ReleaseImage();
}

int CDeviceDriver::Initialize(const char* directory, const char* baseName, const char* driverName,
                              int extractImage) {
  if (baseName == nullptr || driverName == nullptr) {
    Win().SetLastError(os::kErrorInvalidParameter);
    return 0;
  }
  m_bExtractImage = extractImage;
  if (directory != nullptr) {
    if (!CopyText(m_szDirectory, directory)) return TooLong();
  } else {
    os::Dword length = Win().GetCurrentDirectoryA(sizeof m_szDirectory, m_szDirectory);
    if (length == 0 || length >= sizeof m_szDirectory) {
      m_szDirectory[0] = '\0';
      return length == 0 ? 0 : TooLong();
    }
  }
  if (!CopyText(m_szFileName, baseName)) return TooLong();
  DetectPlatform();

  os::Dword error = 0;
  if (m_dwPlatformId == static_cast<int>(os::kVerPlatformWin32Windows)) {
    if (!CopyText(m_szDriverName, baseName) || !AppendText(m_szFileName, ".vxd")) {
      return TooLong();
    }
    return PrepareVxd(&error);
  }
  if (m_dwPlatformId == static_cast<int>(os::kVerPlatformWin32Nt)) {
    if (!CopyText(m_szDriverName, driverName) ||
        !AppendText(m_szFileName, Uses64BitImage() ? "64.sys" : ".sys")) {
      return TooLong();
    }
    return InstallDriverService(&error);
  }
  return 0;
}

int CDeviceDriver::DetectPlatform() {
  os::Api& win = Win();
  os::OsVersionInfo info;
  info.dwOSVersionInfoSize = os::kOsVersionInfoExSize;
  if (!win.GetVersionExA(&info)) {
    info = os::OsVersionInfo();
    info.dwOSVersionInfoSize = os::kOsVersionInfoSize;
    if (!win.GetVersionExA(&info)) return 0;
  }
  m_dwPlatformId = static_cast<int>(info.dwPlatformId);
  // A 64-bit program knows its width without asking the system: it is never a WOW64 process,
  // yet the kernel it runs on is a 64-bit one.
  m_b64BitProcess = win.Is64BitProcess() ? 1 : 0;

  // Looked up at run time: Windows 2000 and the 9x family have neither function.
  os::HModule kernel32 = win.LoadLibraryA("kernel32.dll");
  if (kernel32 == nullptr) return 0;
  if (win.GetProcAddress(kernel32, "GetNativeSystemInfo") != nullptr) {
    os::SystemInfo system;
    win.GetNativeSystemInfo(&system);
    m_dwProcessorArchitecture = system.wProcessorArchitecture;
    if (m_dwProcessorArchitecture == os::kProcessorArchitectureAmd64 &&
        win.GetProcAddress(kernel32, "IsWow64Process") != nullptr) {
      os::Bool wow64 = 0;
      if (win.IsWow64Process(win.GetCurrentProcess(), &wow64)) m_bIsWow64 = wow64;
    }
  }
  return win.FreeLibrary(kernel32);
}

int CDeviceDriver::ExtractVxdImage() {
  return ExtractDriverImage(kImageVxd, 1);
}
int CDeviceDriver::Extract32BitImage() {
  return ExtractDriverImage(kImageNt32, 0);
}
int CDeviceDriver::Extract64BitImage() {
  return ExtractDriverImage(kImageNt64, 0);
}

// Writes one image out of the program file into m_szDirectory, or into the fallback directory
// when the first cannot take it. A short read or a failed write fails the step and removes the
// partial file, so that no truncated driver is left to be loaded (or, as a VxD, found and
// reused) later.
//
// On the NT family the image is what an administrator's process hands to the kernel, and the
// folder may be one other users can write to: a file found under the image's name is used only
// when it is byte for byte the image this program carries, and otherwise replaced (or the
// image goes to the fallback directory). The image is then held open, shared for reading only,
// and checked once more through that handle; it stays held until its service has started, so
// it cannot be changed, replaced or renamed before the kernel reads it. On the 9x family,
// where nothing can be protected, a VxD file of that name is used as it is.
int CDeviceDriver::ExtractDriverImage(DriverImage image, int fallbackToWindowsDirectory) {
  os::Api& win = Win();
  const bool nt = image != kImageVxd;
  const std::uint32_t offset = DriverImageTable.images[image].offset;
  const std::uint32_t size = DriverImageTable.images[image].size;
  if (size > kMaxDriverImageSize) return 0;
  ReleaseImage();

  char target[kPathSize];
  if (!JoinPath(target, m_szDirectory, m_szFileName)) return TooLong();
  if (!nt) {
    os::Handle existing = win.CreateFileA(target, os::kGenericRead, 0, os::kOpenExisting, 0);
    if (existing != os::kInvalidHandle) {
      win.CloseHandle(existing);
      return 1;
    }
  }
  if (size == 0) {
    // This build carries no such image (the packer leaves its size at zero).
    win.SetLastError(os::kErrorNotSupported);
    return 0;
  }

  char source[kPathSize];
  if (m_szSourceName[0] != '\0') {
    if (!JoinPath(source, m_szDirectory, m_szSourceName)) return TooLong();
  } else {
    os::Dword length = win.GetModuleFileNameA(nullptr, source, kPathSize);
    if (length == 0) return 0;
    if (length >= kPathSize) return TooLong();  // truncated (and on XP not terminated)
  }
  os::Handle in =
      win.CreateFileA(source, os::kGenericRead, os::kFileShareRead, os::kOpenExisting, 0);
  if (in == os::kInvalidHandle) return 0;
  std::unique_ptr<char[]> buffer(new (std::nothrow) char[std::size_t{size} + 32]);
  if (buffer == nullptr) {
    win.CloseHandle(in);
    win.SetLastError(os::kErrorNotEnoughMemory);
    return 0;
  }
  bool read = ReadImage(in, offset, size, buffer.get());
  os::Dword readError = win.GetLastError();
  win.CloseHandle(in);
  if (!read) {
    win.SetLastError(readError);
    return 0;
  }
  bool planted = false;  // a file of other contents holds the image's name
  if (nt) {
    ImageCheck found = HoldImageIfSame(target, buffer.get(), size);
    if (found == ImageCheck::Same) return 1;
    planted = found == ImageCheck::Different;
  }

  // Written whole under a temporary name beside the image, then renamed into place, so the
  // image's own name never holds a partial file (a power loss in between leaves only the
  // temporary file, which the next extraction overwrites).
  char folder[sizeof m_szDirectory];
  CopyText(folder, m_szDirectory);
  ImagePlacement placed = PlaceImage(folder, buffer.get(), size);
  // A planted file that cannot be replaced (read-only, or held open) is left where it is.
  if (placed == ImagePlacement::NotCreated || (planted && placed == ImagePlacement::Failed)) {
    if (!FallbackDirectory(fallbackToWindowsDirectory, folder)) return 0;
    placed = PlaceImage(folder, buffer.get(), size);
    // From now on the service's image path and the deletion name the fallback directory.
    if (placed == ImagePlacement::Done) CopyText(m_szDirectory, folder);
  }
  if (placed != ImagePlacement::Done) return 0;
  if (!nt) return 1;
  if (!JoinPath(target, m_szDirectory, m_szFileName)) return TooLong();
  if (HoldImageIfSame(target, buffer.get(), size) == ImageCheck::Same) return 1;
  // Changed between its rename and the check: another process has it, and it is not loaded.
  if (win.GetLastError() == os::kErrorSuccess) win.SetLastError(os::kErrorFileInvalid);
  return 0;
}

// Opens the image file for reading, shared for reading only, and compares it with the image
// this program carries. Same: the handle is kept in m_hImage. Absent: no file of that name.
// Different: other contents, or a file that cannot be opened so (another process has it
// open for writing), which is just as little to be trusted.
CDeviceDriver::ImageCheck CDeviceDriver::HoldImageIfSame(const char* path, const char* image,
                                                         std::uint32_t size) {
  os::Api& win = Win();
  os::Handle file =
      win.CreateFileA(path, os::kGenericRead, os::kFileShareRead, os::kOpenExisting, 0);
  if (file == os::kInvalidHandle) {
    os::Dword error = win.GetLastError();
    return error == os::kErrorFileNotFound || error == os::kErrorPathNotFound
               ? ImageCheck::Absent
               : ImageCheck::Different;
  }
  os::Dword high = 0;
  win.SetLastError(os::kErrorSuccess);
  bool same = win.GetFileSize(file, &high) == size && high == 0;
  if (same) {
    std::unique_ptr<char[]> contents(new (std::nothrow) char[std::size_t{size} + 1]);
    same = contents != nullptr && ReadImage(file, 0, size, contents.get()) &&
           std::memcmp(contents.get(), image, size) == 0;
    // The file must end where the image ends.
    os::Dword extra = 0;
    char probe = 0;
    same = same && win.ReadFile(file, &probe, 1, &extra) && extra == 0;
  }
  if (!same) {
    win.CloseHandle(file);
    win.SetLastError(os::kErrorSuccess);
    return ImageCheck::Different;
  }
  m_hImage = file;
  return ImageCheck::Same;
}

void CDeviceDriver::ReleaseImage() {
  if (m_hImage == os::kInvalidHandle) return;
  Win().CloseHandle(m_hImage);
  m_hImage = os::kInvalidHandle;
}

// Writes the image as folder\<name>.tmp, flushes it and renames it to folder\<name>. NotCreated
// when the temporary file cannot be created there (the caller may try another folder); any
// later failure removes the temporary file. The thread's last error says why.
CDeviceDriver::ImagePlacement CDeviceDriver::PlaceImage(const char* folder, const char* image,
                                                        std::uint32_t size) {
  os::Api& win = Win();
  char target[kPathSize];
  char temporary[kPathSize];
  if (!JoinPath(target, folder, m_szFileName) || !CopyText(temporary, target) ||
      !AppendText(temporary, kTemporarySuffix)) {
    TooLong();
    return ImagePlacement::Failed;
  }
  os::Handle out = CreateImageFile(temporary);
  if (out == os::kInvalidHandle) {
    // A leftover that cannot be overwritten (read-only, say) is removed and tried once more.
    win.DeleteFileA(temporary);
    out = CreateImageFile(temporary);
  }
  if (out == os::kInvalidHandle) return ImagePlacement::NotCreated;
  bool written = WriteImage(out, image, size) && win.FlushFileBuffers(out);
  os::Dword error = win.GetLastError();
  if (!win.CloseHandle(out) && written) {
    written = false;
    error = win.GetLastError();
  }
  if (written && !ReplaceFile(temporary, target)) {
    written = false;
    error = win.GetLastError();
  }
  if (!written) {
    win.DeleteFileA(temporary);
    win.SetLastError(error);
    return ImagePlacement::Failed;
  }
  return ImagePlacement::Done;
}

int CDeviceDriver::PrepareVxd(os::Dword* error) {
  if (!m_bExtractImage) {
    Report(error, os::kErrorSuccess);
    return 1;
  }
  if (ExtractVxdImage()) {
    Report(error, os::kErrorSuccess);
    return 1;
  }
  Report(error, kErrorWriteDriverImage);
  return 0;
}

int CDeviceDriver::InstallDriverService(os::Dword* error) {
  os::Api& win = Win();
  m_hSCManager = win.OpenSCManagerA(nullptr, nullptr, os::kScManagerAllAccess);
  if (m_hSCManager == nullptr) {
    Report(error, win.GetLastError());
    return 0;
  }
  if (m_bExtractImage && !(Uses64BitImage() ? Extract64BitImage() : Extract32BitImage())) {
    os::Dword extractError = win.GetLastError();
    win.CloseServiceHandle(m_hSCManager);
    m_hSCManager = nullptr;
    win.SetLastError(extractError);
    Report(error, kErrorWriteDriverImage);
    return 0;
  }
  os::Dword code = 0;
  int ok = CreateDriverService(&code);
  if (ok) ok = StartDriverService(&code);
  win.CloseServiceHandle(m_hSCManager);
  m_hSCManager = nullptr;
  // The service runs from memory now (or will not run at all): the file is not needed.
  ReleaseImage();
  if (m_bExtractImage) DeleteDriverImage();
  // The failing step's code stays the thread's last error for the start-up's message.
  if (!ok) win.SetLastError(code);
  Report(error, code);
  return ok;
}

int CDeviceDriver::CreateDriverService(os::Dword* error) {
  os::Api& win = Win();
  char imagePath[kPathSize];
  if (!JoinPath(imagePath, m_szDirectory, m_szFileName)) {
    TooLong();
    Report(error, os::kErrorFilenameExcedRange);
    return 0;
  }
  os::ScHandle service =
      win.CreateServiceA(m_hSCManager, m_szDriverName, m_szDriverName, os::kServiceAllAccess,
                         os::kServiceKernelDriver, os::kServiceDemandStart, os::kServiceErrorNormal,
                         imagePath, nullptr, nullptr, nullptr, nullptr, nullptr);
  if (service != nullptr) {
    win.CloseServiceHandle(service);
    Report(error, os::kErrorSuccess);
    return 1;
  }
  // A service of that name is reused as it is, whatever image it names.
  os::Dword code = win.GetLastError();
  Report(error, code);
  return code == os::kErrorServiceExists;
}

int CDeviceDriver::StartDriverService(os::Dword* error) {
  os::Api& win = Win();
  os::ScHandle service = win.OpenServiceA(m_hSCManager, m_szDriverName, os::kServiceAllAccess);
  if (service == nullptr) {
    Report(error, win.GetLastError());
    return 0;
  }
  if (m_bExtractImage) RepointStaleService(service);
  int ok = 1;
  os::Dword code = os::kErrorSuccess;
  if (!win.StartServiceA(service, 0, nullptr)) {
    code = win.GetLastError();
    ok = code == os::kErrorServiceAlreadyRunning;
  }
  win.CloseServiceHandle(service);
  if (!ok) win.SetLastError(code);
  Report(error, code);
  return ok;
}

// A service left by an earlier run may name an image that is gone (the program folder was
// moved, or that run fell back to the temporary folder), so it could never start again. A
// stopped service whose image file bears one of the names this program writes is pointed at
// the image just written, its image path only; a running one, or one whose image is some
// other program's, is left as it is. Any failure here leaves the service alone: the start
// then reports.
void CDeviceDriver::RepointStaleService(os::ScHandle service) {
  os::Api& win = Win();
  char imagePath[kPathSize];
  if (!JoinPath(imagePath, m_szDirectory, m_szFileName)) return;
  os::ServiceStatus status;
  if (!win.QueryServiceStatus(service, &status) || status.dwCurrentState != os::kServiceStopped) {
    return;
  }
  // Pointer-aligned, as the record at its start needs.
  std::unique_ptr<void*[]> buffer(
      new (std::nothrow) void*[os::kQueryServiceConfigMaxSize / sizeof(void*)]);
  if (buffer == nullptr) return;
  os::Dword needed = 0;
  if (!win.QueryServiceConfigA(service, buffer.get(), os::kQueryServiceConfigMaxSize, &needed)) {
    return;
  }
  const auto* config = reinterpret_cast<const os::ServiceConfig*>(buffer.get());
  const char* current = config->lpBinaryPathName != nullptr ? config->lpBinaryPathName : "";
  // The manager may keep a driver's path in the kernel's form, "\??\" in front.
  if (std::strncmp(current, "\\??\\", 4) == 0) current += 4;
  if (SameText(current, imagePath) || !IsOwnImageName(current)) return;
  win.ChangeServiceConfigA(service, os::kServiceNoChange, os::kServiceNoChange,
                           os::kServiceNoChange, imagePath, nullptr, nullptr, nullptr, nullptr,
                           nullptr, nullptr);
}

int CDeviceDriver::DeleteDriverImage() {
  char path[kPathSize];
  if (!JoinPath(path, m_szDirectory, m_szFileName)) return TooLong();
  return Win().DeleteFileA(path);
}

int CDeviceDriver::Open() {
  os::Api& win = Win();
  if (m_hDevice != os::kInvalidHandle) return 1;  // already open: no second handle
  char path[kPathSize];
  if (m_dwPlatformId == static_cast<int>(os::kVerPlatformWin32Nt)) {
    if (!DevicePath(path, m_szDriverName, "")) return 0;
    m_hDevice = win.CreateFileA(path, os::kGenericRead, os::kFileShareRead, os::kOpenExisting, 0);
    if (m_hDevice != os::kInvalidHandle) return 1;
    // Not running (stopped or removed since): install and start it again, then retry once.
    if (win.GetLastError() != os::kErrorFileNotFound) return 0;
    os::Dword error = 0;
    if (!InstallDriverService(&error)) return 0;
    m_hDevice = win.CreateFileA(path, os::kGenericRead, os::kFileShareRead, os::kOpenExisting, 0);
    return m_hDevice != os::kInvalidHandle;
  }
  if (m_dwPlatformId == static_cast<int>(os::kVerPlatformWin32Windows)) {
    // Opening the file as a device loads the VxD; closing the handle unloads it. A missing
    // file is written again (into the program's folder or the Windows directory, which the
    // path then names) and opened once more.
    for (int attempt = 0; attempt < 2; ++attempt) {
      if (VxdDevicePath(path, m_szDirectory, m_szFileName)) {
        m_hDevice = win.CreateFileA(path, 0, 0, os::kCreateNew, os::kFileFlagDeleteOnClose);
        if (m_hDevice != os::kInvalidHandle) return 1;
      }
      os::Dword error = win.GetLastError();
      if (attempt == 1 || (error != os::kErrorFileNotFound && error != os::kErrorPathNotFound)) {
        return 0;
      }
      if (!PrepareVxd(&error)) return 0;
    }
    return 0;
  }
  return 0;
}

int CDeviceDriver::Close() {
  if (m_dwPlatformId != static_cast<int>(os::kVerPlatformWin32Nt) &&
      m_dwPlatformId != static_cast<int>(os::kVerPlatformWin32Windows)) {
    return 0;
  }
  if (m_hDevice != os::kInvalidHandle) {
    Win().CloseHandle(m_hDevice);
    m_hDevice = os::kInvalidHandle;
  }
  return 1;
}
