/* The kernel I/O driver's request handling: checks every device-control request and serves
   the allowed ones through a table of configuration operations. Plain C without the C
   library, so the real driver, the simulated driver and the native tests compile the same
   code.

   Rules, each one line of defence:
   - Only the two control codes of Protocol.h are known; any other code is an invalid device
     request.
   - Buffers must have exactly the sizes of the request (read: 4 in, 8 out; write: 8 in, 8 out);
     a short output is "buffer too small", any other mismatch an invalid parameter.
   - Only the PCI configuration ports 0xCF8 (address) and 0xCFC (data) are served, and always
     as dwords; any other port is refused, so the driver is no general port driver.
   - The address port is emulated for each open handle: a write is remembered for that client
     alone, a read answers the client's last written value (0 at first). It reaches no device
     and is never shared, so no other agent (the operating system, another core, another
     client) can steer this client's data access, and putting back a saved value always works.
   - A data-port access is carried out as one serialised configuration access for exactly the
     client's address, and only while that address is enabled and names a processor
     northbridge function: bus 0, device 0x18..0x1F, function 0..3, reserved bits 30:24 zero,
     a dword offset (bits 1:0 zero). No port instruction is executed.
   - A data-port write is carried out only for the seven registers the program changes (bus 0,
     device 0x18: function 2 offsets 0x88, 0x8C, 0x90, 0x94; function 0 offsets 0x84, 0x88,
     0x90); any other northbridge write is refused as an access no function answers.
   - A refused request touches no device; a configuration access the system could not carry
     out fails the request, so the client never takes filler for data.

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
#define MVN_STATUS_DEVICE_DOES_NOT_EXIST ((int32_t)0xC00000C0u)

/* One configuration dword access (offset a multiple of 4) of bus:device.function, carried out
   as one access that nothing else interleaves with: the system's own configuration functions,
   or the simulated chip. Each returns nonzero when a function answered and the access was
   done. */
typedef struct MvnConfigOps {
  int (*read)(void* ctx, uint32_t bus, uint32_t device, uint32_t function, uint32_t offset,
              uint32_t* value);
  int (*write)(void* ctx, uint32_t bus, uint32_t device, uint32_t function, uint32_t offset,
               uint32_t value);
  void* ctx;
} MvnConfigOps;

/* True for an address-port value that names a northbridge dword (see the rules above). */
int MvnIsNorthbridgeAddress(uint32_t address);

/* True for an address-port value that names one of the seven writable registers. */
int MvnIsWritableRegister(uint32_t address);

/* Checks and serves one request of the client whose emulated address port is *address. On
   success *information receives the number of output bytes (8); on any refusal it receives 0,
   the output is left untouched and *address keeps its value. */
int32_t MvnHandleRequest(const MvnConfigOps* ops, uint32_t* address, uint32_t code, const void* in,
                         uint32_t inLength, void* out, uint32_t outLength, uint32_t* information);

#ifdef __cplusplus
}
#endif

#endif
