/* The kernel I/O driver's request handling: checks every device-control request and serves
   the allowed ones through a table of port operations. Plain C without the C library, so the
   real driver, the simulated driver and the native tests compile the same code.

   Rules, each one line of defence:
   - Only the two control codes of Protocol.h are known; any other code is an invalid device
     request.
   - Buffers must have exactly the sizes of the request (read: 4 in, 8 out; write: 8 in, 8 out);
     a short output is "buffer too small", any other mismatch an invalid parameter.
   - Only the PCI configuration ports 0xCF8 (address) and 0xCFC (data) are served, and always
     as dwords; any other port is refused, so the driver is no general port driver.
   - A data-port access is served only while the address port, read back by the handler
     itself, is enabled and names a processor northbridge function: bus 0, device 0x18..0x1F,
     function 0..3, reserved bits 30:24 zero. The caller's word for it is not trusted.
   - A write to the address port is served when its value either has the enable bit clear
     (it then selects nothing, so the data port is inert; this is the idle value an operating
     system leaves behind and that the program puts back after each access) or is itself such a
     northbridge address with bits 1:0 zero. Any other enabled address is refused, so the
     driver can never steer a configuration cycle at another device; the cost is that putting
     back an address another program left latched fails.
   - A refused request touches no port.

   Input and output may be the same buffer (a buffered request's one system buffer): the input
   is read in full before anything is written to the output. */
#ifndef MORVANE_DRIVER_REQUESTS_H
#define MORVANE_DRIVER_REQUESTS_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* NTSTATUS values the handler returns. */
#define MVN_STATUS_SUCCESS ((int32_t)0x00000000)
#define MVN_STATUS_INVALID_PARAMETER ((int32_t)0xC000000Du)
#define MVN_STATUS_INVALID_DEVICE_REQUEST ((int32_t)0xC0000010u)
#define MVN_STATUS_ACCESS_DENIED ((int32_t)0xC0000022u)
#define MVN_STATUS_BUFFER_TOO_SMALL ((int32_t)0xC0000023u)

/* The processor's 32-bit port instructions, or a simulation of them. */
typedef struct MvnPortOps {
  uint32_t (*in)(void* ctx, uint16_t port);
  void (*out)(void* ctx, uint16_t port, uint32_t value);
  void* ctx;
} MvnPortOps;

/* True for an address-port value that names a northbridge function (see the rules above). */
int MvnIsNorthbridgeAddress(uint32_t address);

/* Checks and serves one request. On success *information receives the number of output bytes
   (8); on any refusal it receives 0 and the output is left untouched. */
int32_t MvnHandleRequest(const MvnPortOps* ops, uint32_t code, const void* in, uint32_t inLength,
                         void* out, uint32_t outLength, uint32_t* information);

#ifdef __cplusplus
}
#endif

#endif
