// Port I/O on the open driver (device requests on NT, the processor's own port instructions on
// 9x) and PCI configuration access through mechanism #1 on top of it.
#include "hw/DeviceDriver.h"
#include "hw/driver/Protocol.h"

namespace {
constexpr int kAddressPort = MVN_PCI_ADDRESS_PORT;
constexpr int kDataPort = MVN_PCI_DATA_PORT;
}  // namespace

std::uint32_t PciConfigAddress(int bus, int device, int function, int offset) {
  return 0x80000000u | ((static_cast<std::uint32_t>(bus) & 0xFFu) << 16) |
         ((static_cast<std::uint32_t>(device) & 0x1Fu) << 11) |
         ((static_cast<std::uint32_t>(function) & 0x7u) << 8) |
         (static_cast<std::uint32_t>(offset) & 0xFFu);
}

int CDeviceDriver::ReadPortDword(int port, std::uint32_t* value) {
  if (m_hDevice == os::kInvalidHandle || value == nullptr) return 0;
  *value = 0;
  os::Api& win = os::Windows();
  if (m_dwPlatformId == static_cast<int>(os::kVerPlatformWin32Windows)) {
    *value = win.InPortDword(static_cast<std::uint16_t>(port));
    return 1;
  }
  if (m_dwPlatformId == static_cast<int>(os::kVerPlatformWin32Nt)) {
    MvnReadPortInput in = {static_cast<std::uint32_t>(port)};
    MvnPortOutput out = {0, 0};
    os::Dword returned = 0;
    if (!win.DeviceIoControl(m_hDevice, MVN_IOCTL_READ_PORT, &in, sizeof in, &out, sizeof out,
                             &returned)) {
      return 0;
    }
    *value = out.value;
    return 1;
  }
  return 0;
}

int CDeviceDriver::WritePortDword(int port, std::uint32_t value) {
  if (m_hDevice == os::kInvalidHandle) return 0;
  os::Api& win = os::Windows();
  if (m_dwPlatformId == static_cast<int>(os::kVerPlatformWin32Windows)) {
    win.OutPortDword(static_cast<std::uint16_t>(port), value);
    return 1;
  }
  if (m_dwPlatformId == static_cast<int>(os::kVerPlatformWin32Nt)) {
    MvnWritePortInput in = {static_cast<std::uint32_t>(port), value};
    MvnPortOutput out = {0, 0};
    os::Dword returned = 0;
    return win.DeviceIoControl(m_hDevice, MVN_IOCTL_WRITE_PORT, &in, sizeof in, &out, sizeof out,
                               &returned)
               ? 1
               : 0;
  }
  return 0;
}

// The address port is put back as it was found: on the 9x family it is the machine's own
// and shared with the operating system (on NT the driver keeps one for each handle). The
// access itself is done once the data port answered, so a value that cannot be put back
// (another agent changed the port meanwhile) no longer spoils it.
std::uint32_t CDeviceDriver::ReadPciConfig(int bus, int device, int function, int offset,
                                           bool* succeeded) {
  const std::uint32_t address = PciConfigAddress(bus, device, function, offset);
  if (succeeded != nullptr) *succeeded = false;
  std::uint32_t saved = 0;
  std::uint32_t data = 0;
  if (!ReadPortDword(kAddressPort, &saved)) return 0xFFFFFFFFu;
  if (!WritePortDword(kAddressPort, address & 0xFFFFFFFCu)) return 0xFFFFFFFFu;
  bool read = ReadPortDword(kDataPort, &data) != 0;
  WritePortDword(kAddressPort, saved);
  if (!read) return 0xFFFFFFFFu;
  if (succeeded != nullptr) *succeeded = true;
  // An offset inside the dword selects its byte lane.
  return data >> (8 * (address & 3u));
}

int CDeviceDriver::WritePciConfig(int bus, int device, int function, int offset,
                                  std::uint32_t value) {
  const std::uint32_t address = PciConfigAddress(bus, device, function, offset);
  // Only whole dwords are written: an unaligned offset would clobber its neighbours.
  if ((address & 3u) != 0) return 0;
  std::uint32_t saved = 0;
  if (!ReadPortDword(kAddressPort, &saved)) return 0;
  if (!WritePortDword(kAddressPort, address)) return 0;
  bool written = WritePortDword(kDataPort, value) != 0;
  WritePortDword(kAddressPort, saved);
  return written ? 1 : 0;
}
