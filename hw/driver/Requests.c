/* The kernel I/O driver's request checks and the two port requests it serves: an emulated
   address port per client and one configuration access per data-port request. */
#include "hw/driver/Requests.h"

#include "hw/driver/Protocol.h"

#define MVN_ADDRESS_ENABLE 0x80000000u
#define MVN_ADDRESS_RESERVED 0x7F000000u /* bits 30:24 */
#define MVN_ADDRESS_BUS 0x00FF0000u
#define MVN_ADDRESS_DEVICE_SHIFT 11
#define MVN_ADDRESS_FUNCTION_SHIFT 8

/* The buffers carry little-endian dwords; reading them byte by byte needs no alignment. */
static uint32_t MvnLoad32(const void* buffer, uint32_t index) {
  const uint8_t* bytes = (const uint8_t*)buffer + 4 * index;
  return (uint32_t)bytes[0] | ((uint32_t)bytes[1] << 8) | ((uint32_t)bytes[2] << 16) |
         ((uint32_t)bytes[3] << 24);
}

static void MvnStore32(void* buffer, uint32_t index, uint32_t value) {
  uint8_t* bytes = (uint8_t*)buffer + 4 * index;
  bytes[0] = (uint8_t)value;
  bytes[1] = (uint8_t)(value >> 8);
  bytes[2] = (uint8_t)(value >> 16);
  bytes[3] = (uint8_t)(value >> 24);
}

int MvnIsNorthbridgeAddress(uint32_t address) {
  uint32_t device = (address >> MVN_ADDRESS_DEVICE_SHIFT) & 0x1Fu;
  uint32_t function = (address >> MVN_ADDRESS_FUNCTION_SHIFT) & 0x7u;
  if ((address & MVN_ADDRESS_ENABLE) == 0) return 0;
  if ((address & (MVN_ADDRESS_RESERVED | MVN_ADDRESS_BUS | 3u)) != 0) return 0;
  return device >= 0x18u && function <= 3u;
}

/* The buffer checks shared by both requests. */
static int32_t MvnCheckLengths(const void* in, uint32_t inLength, uint32_t inNeeded,
                               const void* out, uint32_t outLength) {
  if (in == 0 || inLength != inNeeded) return MVN_STATUS_INVALID_PARAMETER;
  if (out == 0 || outLength < sizeof(MvnPortOutput)) return MVN_STATUS_BUFFER_TOO_SMALL;
  if (outLength != sizeof(MvnPortOutput)) return MVN_STATUS_INVALID_PARAMETER;
  return MVN_STATUS_SUCCESS;
}

/* The registers a client may change: the memory controller's DRAM timing and configuration
   registers (function 2) and the HyperTransport link 0 registers (function 0) of the first
   node. Everything else of the northbridge is read-only through this driver, the address
   maps of function 1 first of all. */
int MvnIsWritableRegister(uint32_t address) {
  static const uint32_t writable[] = {0x8000C288u, 0x8000C28Cu, 0x8000C290u, 0x8000C294u,
                                      0x8000C084u, 0x8000C088u, 0x8000C090u};
  unsigned i;
  for (i = 0; i < sizeof writable / sizeof writable[0]; ++i) {
    if (address == writable[i]) return 1;
  }
  return 0;
}

/* The data port's one configuration access for the client's address. */
static int32_t MvnDataAccess(const MvnConfigOps* ops, uint32_t address, int write,
                             uint32_t* value) {
  uint32_t device = (address >> MVN_ADDRESS_DEVICE_SHIFT) & 0x1Fu;
  uint32_t function = (address >> MVN_ADDRESS_FUNCTION_SHIFT) & 0x7u;
  uint32_t offset = address & 0xFCu;
  int done;
  if (!MvnIsNorthbridgeAddress(address)) return MVN_STATUS_ACCESS_DENIED;
  if (write) {
    /* Refused as an access that no function answers: the client sees a failed write, never
       one that seems to have been done. */
    if (!MvnIsWritableRegister(address)) return MVN_STATUS_DEVICE_DOES_NOT_EXIST;
    done = ops->write(ops->ctx, 0, device, function, offset, *value);
  } else {
    done = ops->read(ops->ctx, 0, device, function, offset, value);
  }
  return done ? MVN_STATUS_SUCCESS : MVN_STATUS_DEVICE_DOES_NOT_EXIST;
}

int32_t MvnHandleRequest(const MvnConfigOps* ops, uint32_t* address, uint32_t code, const void* in,
                         uint32_t inLength, void* out, uint32_t outLength, uint32_t* information) {
  uint32_t port;
  uint32_t value = 0;
  int32_t status;

  if (information != 0) *information = 0;
  if (ops == 0 || ops->read == 0 || ops->write == 0 || address == 0) {
    return MVN_STATUS_INVALID_DEVICE_REQUEST;
  }

  if (code == MVN_IOCTL_READ_PORT) {
    status = MvnCheckLengths(in, inLength, sizeof(MvnReadPortInput), out, outLength);
    if (status != MVN_STATUS_SUCCESS) return status;
    port = MvnLoad32(in, 0);
    if (port == MVN_PCI_ADDRESS_PORT) {
      value = *address;
    } else if (port == MVN_PCI_DATA_PORT) {
      status = MvnDataAccess(ops, *address, 0, &value);
      if (status != MVN_STATUS_SUCCESS) return status;
    } else {
      return MVN_STATUS_ACCESS_DENIED;
    }
    MvnStore32(out, 0, value);
    MvnStore32(out, 1, 0);
  } else if (code == MVN_IOCTL_WRITE_PORT) {
    status = MvnCheckLengths(in, inLength, sizeof(MvnWritePortInput), out, outLength);
    if (status != MVN_STATUS_SUCCESS) return status;
    port = MvnLoad32(in, 0);
    value = MvnLoad32(in, 1);
    if (port == MVN_PCI_ADDRESS_PORT) {
      *address = value;
    } else if (port == MVN_PCI_DATA_PORT) {
      status = MvnDataAccess(ops, *address, 1, &value);
      if (status != MVN_STATUS_SUCCESS) return status;
    } else {
      return MVN_STATUS_ACCESS_DENIED;
    }
    MvnStore32(out, 0, 0);
    MvnStore32(out, 1, 0);
  } else {
    return MVN_STATUS_INVALID_DEVICE_REQUEST;
  }

  if (information != 0) *information = sizeof(MvnPortOutput);
  return MVN_STATUS_SUCCESS;
}
