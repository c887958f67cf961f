/* The contract between the kernel I/O driver and the program: names, control codes and
   buffer layouts. Plain C, included by the driver and by the program. */
#ifndef MORVANE_DRIVER_PROTOCOL_H
#define MORVANE_DRIVER_PROTOCOL_H

#include <stdint.h>

#define MVN_DEVICE_NAME_W L"\\Device\\cpuz"
#define MVN_DOS_DEVICE_NAME_W L"\\DosDevices\\cpuz"

/* The device type of the control codes, also the type the device is created with. */
#define MVN_DEVICE_TYPE 0x9C40u

/* CTL_CODE(0x9C40, function, METHOD_BUFFERED, FILE_ANY_ACCESS) */
#define MVN_IOCTL_READ_PORT 0x9C402414u  /* function 0x905 */
#define MVN_IOCTL_WRITE_PORT 0x9C402418u /* function 0x906 */

#define MVN_PCI_ADDRESS_PORT 0xCF8u
#define MVN_PCI_DATA_PORT 0xCFCu

/* Read port: 4 bytes in (the port), 8 bytes out (the value, then 4 bytes left zero). */
typedef struct MvnReadPortInput {
  uint32_t port;
} MvnReadPortInput;

typedef struct MvnPortOutput {
  uint32_t value;
  uint32_t reserved;
} MvnPortOutput;

/* Write port: 8 bytes in (the port, then the value), 8 bytes out (ignored). */
typedef struct MvnWritePortInput {
  uint32_t port;
  uint32_t value;
} MvnWritePortInput;

#endif
