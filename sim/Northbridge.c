/* The simulated K8 northbridge: configuration mechanism #1 on ports 0xCF8/0xCFC in front of
   the four functions of node 0 (bus 0, device 0x18), with the power-on values of a DDR400
   Socket 939 board and the bits the real chip takes. No C library and no initialised state
   beyond plain statics, so the kernel driver can carry it. */
#include "sim/Northbridge.h"

#define SIM_NB_ADDRESS_PORT 0xCF8u
#define SIM_NB_DATA_PORT 0xCFCu
#define SIM_NB_ENABLE 0x80000000u
/* Bits 30:24 are reserved on K8 and read as zero; bits 1:0 of the address are read-only zero
   as on every mechanism #1 bridge. */
#define SIM_NB_ADDRESS_KEPT 0x80FFFFFCu
#define SIM_NB_FUNCTIONS 4u
#define SIM_NB_DWORDS 64u /* 256 bytes of configuration space per function */
#define SIM_NB_ALL_ONES 0xFFFFFFFFu

/* How one dword takes writes. Bits in none of the masks read back what was written. */
typedef struct SimNbBits {
  uint8_t function;
  uint8_t offset;
  uint32_t powerOn;
  uint32_t readOnly;        /* keep their value; reserved bits are read-only zeros */
  uint32_t writeOneToClear; /* error flags: a 1 clears, a 0 leaves them */
  uint32_t selfClearing;    /* commands: a 1 starts one, they always read 0 */
} SimNbBits;

#define SIM_NB_BIT(n) (1u << (n))
#define SIM_NB_FIELD(high, low) ((SIM_NB_ALL_ONES >> (31 - (high))) & ~(SIM_NB_BIT(low) - 1u))

/* The configuration headers: ids, class 0x060000, header type 0x80. The functions decode no
   address ranges and their command bits are hardwired, so the whole header is read-only.
   Function 0 lists its three HyperTransport link capabilities at 0x80, 0xA0 and 0xC0; their
   header dwords (id 8, host interface type) were not in the gathered facts and are chosen. */
static const SimNbBits kHeaderBits[] = {
    {0, 0x00, 0x11001022u, SIM_NB_ALL_ONES, 0, 0}, {1, 0x00, 0x11011022u, SIM_NB_ALL_ONES, 0, 0},
    {2, 0x00, 0x11021022u, SIM_NB_ALL_ONES, 0, 0}, {3, 0x00, 0x11031022u, SIM_NB_ALL_ONES, 0, 0},
    {0, 0x04, 0x00100000u, SIM_NB_ALL_ONES, 0, 0}, /* capability list present */
    {0, 0x08, 0x06000000u, SIM_NB_ALL_ONES, 0, 0}, {1, 0x08, 0x06000000u, SIM_NB_ALL_ONES, 0, 0},
    {2, 0x08, 0x06000000u, SIM_NB_ALL_ONES, 0, 0}, {3, 0x08, 0x06000000u, SIM_NB_ALL_ONES, 0, 0},
    {0, 0x0C, 0x00800000u, SIM_NB_ALL_ONES, 0, 0}, {1, 0x0C, 0x00800000u, SIM_NB_ALL_ONES, 0, 0},
    {2, 0x0C, 0x00800000u, SIM_NB_ALL_ONES, 0, 0}, {3, 0x0C, 0x00800000u, SIM_NB_ALL_ONES, 0, 0},
    {0, 0x34, 0x00000080u, SIM_NB_ALL_ONES, 0, 0}, {0, 0x80, 0x2001A008u, SIM_NB_ALL_ONES, 0, 0},
    {0, 0xA0, 0x2001C008u, SIM_NB_ALL_ONES, 0, 0}, {0, 0xC0, 0x20010008u, SIM_NB_ALL_ONES, 0, 0},
};

/* The seven registers the program tunes. */
static const SimNbBits kRegisterBits[] = {
    /* Link 0 control: init complete read-only, link failure and CRC errors cleared by 1s, the
       maximum widths 18:16 and 22:20 read-only. The other bits were not found described and
       take writes. */
    {0, 0x84, 0x11110020u, SIM_NB_BIT(5) | SIM_NB_FIELD(18, 16) | SIM_NB_FIELD(22, 20),
     SIM_NB_BIT(4) | SIM_NB_FIELD(11, 8), 0},
    /* Link 0 frequency: revision and frequency capability read-only, error bits cleared by 1s. */
    {0, 0x88, 0x80750622u, SIM_NB_FIELD(7, 0) | SIM_NB_FIELD(31, 16), SIM_NB_FIELD(15, 12), 0},
    /* Link 0 buffer counts: which bits are fixed was not found, so all seven counts take
       writes. */
    {0, 0x90, 0x01610169u, 0, 0, 0},
    /* DRAM timing low: reserved bits 3, 15, 19, 27 and 31:29. */
    {2, 0x88, 0x13723335u,
     SIM_NB_BIT(3) | SIM_NB_BIT(15) | SIM_NB_BIT(19) | SIM_NB_BIT(27) | SIM_NB_FIELD(31, 29), 0, 0},
    /* DRAM timing high: reserved 3:1, 7, 19:13 and 31:23 (the refresh rate is 12:8, Twcl 22:20). */
    {2, 0x8C, 0x00000B31u,
     SIM_NB_FIELD(3, 1) | SIM_NB_BIT(7) | SIM_NB_FIELD(19, 13) | SIM_NB_FIELD(31, 23), 0, 0},
    /* DRAM config low: DRAM init (8) and exit self-refresh (12) are commands; 10, 11 and 13 are
       status. */
    {2, 0x90, 0x38058E80u, SIM_NB_BIT(10) | SIM_NB_BIT(11) | SIM_NB_BIT(13), 0,
     SIM_NB_BIT(8) | SIM_NB_BIT(12)},
    /* DRAM config high: clock enables 29:26 and the ratio-valid flag 25 are plain settings. */
    {2, 0x94, 0x3E7B0707u, 0, 0, 0},
};

#define SIM_NB_COUNT(table) (sizeof(table) / sizeof((table)[0]))

/* Every register not listed powers on as zero (chosen: firmware would program them) and reads
   back what was last written. */
static uint32_t g_config[SIM_NB_FUNCTIONS][SIM_NB_DWORDS];
static uint32_t g_address;
static uint32_t g_dramCommands;
static SimNbWriteRecord g_writeLog[SIM_NB_WRITE_LOG_SIZE];
static uint32_t g_writeCount;
static int g_powered;

static const SimNbBits* SimNbFindBits(unsigned function, unsigned offset) {
  unsigned i;
  for (i = 0; i < SIM_NB_COUNT(kHeaderBits); ++i) {
    if (kHeaderBits[i].function == function && kHeaderBits[i].offset == offset) {
      return &kHeaderBits[i];
    }
  }
  for (i = 0; i < SIM_NB_COUNT(kRegisterBits); ++i) {
    if (kRegisterBits[i].function == function && kRegisterBits[i].offset == offset) {
      return &kRegisterBits[i];
    }
  }
  return 0;
}

void SimNbReset(void) {
  unsigned f;
  unsigned d;
  unsigned i;
  for (f = 0; f < SIM_NB_FUNCTIONS; ++f) {
    for (d = 0; d < SIM_NB_DWORDS; ++d) g_config[f][d] = 0;
  }
  for (i = 0; i < SIM_NB_COUNT(kHeaderBits); ++i) {
    g_config[kHeaderBits[i].function][kHeaderBits[i].offset / 4] = kHeaderBits[i].powerOn;
  }
  for (i = 0; i < SIM_NB_COUNT(kRegisterBits); ++i) {
    g_config[kRegisterBits[i].function][kRegisterBits[i].offset / 4] = kRegisterBits[i].powerOn;
  }
  g_address = 0;
  g_dramCommands = 0;
  g_writeCount = 0;
  g_powered = 1;
}

static void SimNbPowerOn(void) {
  if (!g_powered) SimNbReset();
}

uint32_t SimNbConfigRead(unsigned function, unsigned offset) {
  SimNbPowerOn();
  if (function >= SIM_NB_FUNCTIONS) return SIM_NB_ALL_ONES;
  return g_config[function][(offset & 0xFCu) / 4];
}

void SimNbConfigWrite(unsigned function, unsigned offset, uint32_t value) {
  const SimNbBits* bits;
  uint32_t* dword;
  uint32_t writable;
  SimNbPowerOn();
  if (function >= SIM_NB_FUNCTIONS) return; /* no such function: the write is dropped */
  offset &= 0xFCu;
  dword = &g_config[function][offset / 4];
  if (g_writeCount < SIM_NB_WRITE_LOG_SIZE) {
    g_writeLog[g_writeCount].function = function;
    g_writeLog[g_writeCount].offset = offset;
    g_writeLog[g_writeCount].before = *dword;
    g_writeLog[g_writeCount].value = value;
  }
  ++g_writeCount;
  bits = SimNbFindBits(function, offset);
  if (bits == 0) {
    *dword = value;
    return;
  }
  writable = ~(bits->readOnly | bits->writeOneToClear | bits->selfClearing);
  if ((value & bits->selfClearing) != 0) ++g_dramCommands;
  *dword =
      (*dword & bits->readOnly) | (value & writable) | (*dword & bits->writeOneToClear & ~value);
}

void SimNbRaiseBits(unsigned function, unsigned offset, uint32_t bits) {
  SimNbPowerOn();
  if (function >= SIM_NB_FUNCTIONS) return;
  g_config[function][(offset & 0xFCu) / 4] |= bits;
}

uint32_t SimNbWriteCount(void) {
  SimNbPowerOn();
  return g_writeCount;
}

int SimNbWriteAt(uint32_t index, SimNbWriteRecord* record) {
  SimNbPowerOn();
  if (index >= g_writeCount || index >= SIM_NB_WRITE_LOG_SIZE || record == 0) return 0;
  *record = g_writeLog[index];
  return 1;
}

/* Whether bus:device.function is one of node 0's northbridge functions. */
static int SimNbPresent(uint32_t bus, uint32_t device, uint32_t function) {
  return bus == 0 && device == 0x18u && function < SIM_NB_FUNCTIONS;
}

int SimNbConfigCycleRead(uint32_t bus, uint32_t device, uint32_t function, uint32_t offset,
                         uint32_t* value) {
  SimNbPowerOn();
  if (!SimNbPresent(bus, device, function)) {
    if (value != 0) *value = SIM_NB_ALL_ONES;
    return 0;
  }
  if (value != 0) *value = SimNbConfigRead(function, offset);
  return 1;
}

int SimNbConfigCycleWrite(uint32_t bus, uint32_t device, uint32_t function, uint32_t offset,
                          uint32_t value) {
  SimNbPowerOn();
  if (!SimNbPresent(bus, device, function)) return 0;
  SimNbConfigWrite(function, offset, value);
  return 1;
}

uint32_t SimNbDramCommandCount(void) {
  SimNbPowerOn();
  return g_dramCommands;
}

/* Decodes the latched address: 1 and the function and offset when it names node 0's
   northbridge, 0 when the data port answers nothing. */
static int SimNbDecode(unsigned* function, unsigned* offset) {
  uint32_t bus = (g_address >> 16) & 0xFFu;
  uint32_t device = (g_address >> 11) & 0x1Fu;
  if ((g_address & SIM_NB_ENABLE) == 0) return 0;
  if (bus != 0 || device != 0x18u) return 0; /* absent: a single-node board */
  *function = (g_address >> 8) & 0x7u;
  *offset = g_address & 0xFCu;
  return 1;
}

uint32_t SimNbInDword(uint16_t port) {
  unsigned function;
  unsigned offset;
  SimNbPowerOn();
  if (port == SIM_NB_ADDRESS_PORT) return g_address;
  if (port != SIM_NB_DATA_PORT) return SIM_NB_ALL_ONES;
  if (!SimNbDecode(&function, &offset)) return SIM_NB_ALL_ONES;
  return SimNbConfigRead(function, offset);
}

void SimNbOutDword(uint16_t port, uint32_t value) {
  unsigned function;
  unsigned offset;
  SimNbPowerOn();
  if (port == SIM_NB_ADDRESS_PORT) {
    g_address = value & SIM_NB_ADDRESS_KEPT;
    return;
  }
  if (port != SIM_NB_DATA_PORT) return;
  if (!SimNbDecode(&function, &offset)) return;
  SimNbConfigWrite(function, offset, value);
}
