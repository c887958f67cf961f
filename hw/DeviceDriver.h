// The kernel I/O driver's client: installs and starts the driver carried inside the program
// file, opens its device, and reads and writes I/O ports and PCI configuration registers.
#pragma once

#include <cstdint>

#include "os/Api.h"

// Where the three driver images stand in the program file: (offset, size) pairs in image
// order 9x VxD, NT 32-bit, NT 64-bit. The packer patches the copy inside the built file,
// finding it by the marker in front of it.
struct DriverImageEntry {
  std::uint32_t offset;
  std::uint32_t size;
};
struct DriverImageTableLayout {
  char marker[16];  // kDriverImageMarker
  DriverImageEntry images[3];
};
inline constexpr char kDriverImageMarker[16] = "MVN-DRV-IMAGES!";
enum DriverImage { kImageVxd = 0, kImageNt32 = 1, kImageNt64 = 2 };
extern volatile DriverImageTableLayout DriverImageTable;

inline constexpr std::uint32_t kMaxDriverImageSize = 0x100000;
inline constexpr os::Dword kErrorWriteDriverImage = 20480;  // 0x5000

class CDeviceDriver {
 public:
  CDeviceDriver();
  virtual ~CDeviceDriver();
  CDeviceDriver(const CDeviceDriver&) = delete;
  CDeviceDriver& operator=(const CDeviceDriver&) = delete;

  // Loader.
  int Initialize(const char* directory, const char* baseName, const char* driverName,
                 int extractImage);
  int DetectPlatform();
  // Whether the system runs the 64-bit driver image: the process is 64-bit or under WOW64.
  bool Uses64BitImage() const { return m_bIsWow64 != 0 || m_b64BitProcess != 0; }
  int ExtractVxdImage();
  int Extract32BitImage();
  int Extract64BitImage();
  int PrepareVxd(os::Dword* error);
  int InstallDriverService(os::Dword* error);
  int CreateDriverService(os::Dword* error);
  int StartDriverService(os::Dword* error);
  int DeleteDriverImage();
  int Open();
  int Close();

  // Port I/O and PCI configuration access on the open device.
  int ReadPortDword(int port, std::uint32_t* value);
  int WritePortDword(int port, std::uint32_t value);
  // A failed access reads 0xFFFFFFFF; *succeeded (when given) says whether the data port
  // answered, which a device's own all-ones value cannot tell.
  std::uint32_t ReadPciConfig(int bus, int device, int function, int offset,
                              bool* succeeded = nullptr);
  int WritePciConfig(int bus, int device, int function, int offset, std::uint32_t value);

  os::Handle m_hDevice;
  os::ScHandle m_hSCManager;
  // NT family: the driver image, open for reading and shared for reading only, from the check
  // of its contents until its service has started (or failed), so that nobody can change,
  // replace or rename it in between.
  os::Handle m_hImage;
  int m_bExtractImage;
  char m_szDirectory[256];
  char m_szFileName[256];
  char m_szDriverName[64];
  char m_szSourceName[64];
  int m_dwPlatformId;
  int m_bIsWow64;
  int m_b64BitProcess;  // a 64-bit build of the program, necessarily on 64-bit Windows
  int m_dwProcessorArchitecture;

 private:
  int ExtractDriverImage(DriverImage image, int fallbackToWindowsDirectory);
  enum class ImageCheck { Same, Different, Absent };
  ImageCheck HoldImageIfSame(const char* path, const char* image, std::uint32_t size);
  void ReleaseImage();
  enum class ImagePlacement { Done, NotCreated, Failed };
  ImagePlacement PlaceImage(const char* folder, const char* image, std::uint32_t size);
  void RepointStaleService(os::ScHandle service);
};

// The one driver object of the process, or null when there is no usable driver.
extern CDeviceDriver* DeviceDriver;

// The PCI configuration address for mechanism #1 (enable bit set, fields masked).
std::uint32_t PciConfigAddress(int bus, int device, int function, int offset);
