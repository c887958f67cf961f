/* The VxD's proof by emulation: an i386 Linux program (gcc -m32 -static, run natively or under
 * qemu-i386) that loads cpuz.vxd the way the VxD loader does and calls its control procedure
 * with the registers the VMM passes.
 *
 * Loading: the LE header, its objects placed at addresses of our choosing (never their zero
 * relocation base, so an address without its fixup shows), every page copied in, every fixup
 * record applied, then each object's pages given the protections its flags name (readable,
 * writable, executable: only those), so that code in an object not marked executable, or a
 * write into one not marked writable, faults here as it would under a loader that honours the
 * flags; the descriptor block found through entry ordinal 1 and checked (name "CPUZ", DDK
 * version 4.0, no service table, the control procedure inside an executable object).
 * Calling: EAX the message, EBX a VM handle, ESI the DIOCParams block for W32_DeviceIoControl;
 * carry preset to the wrong answer and EAX to the message, so a procedure that forgets to set
 * them fails. One line per call with its answer; exit status 0 only when every answer is right.
 *
 * usage: mvn_vxd_harness FILE.vxd */
#include <signal.h>
#include <stdarg.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <unistd.h>

#define PAGE 4096u
#define DDB_SIZE 0x50u

static const char* g_path;
static const uint8_t* g_file;
static size_t g_size;

static void Fail(const char* format, ...) __attribute__((format(printf, 1, 2), noreturn));
static void Fail(const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  printf("FAIL %s: ", g_path);
  vprintf(format, arguments);
  printf("\n");
  va_end(arguments);
  exit(1);
}

static void Need(uint64_t offset, uint64_t size, const char* what) {
  if (offset + size > g_size)
    Fail("%s lies beyond the end of the file (0x%X)", what, (uint32_t)offset);
}
static uint32_t U8(uint64_t at, const char* what) {
  Need(at, 1, what);
  return g_file[at];
}
static uint32_t U16(uint64_t at, const char* what) {
  Need(at, 2, what);
  return g_file[at] | (uint32_t)g_file[at + 1] << 8;
}
static uint32_t U32(uint64_t at, const char* what) {
  return U16(at, what) | U16(at + 2, what) << 16;
}
static uint32_t Get32(const uint8_t* p) {
  return p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24;
}

struct Object {
  uint32_t size, flags, firstPage, pages;
  uint8_t* base;
};

/* Calls the control procedure: EAX message, EBX VM, ESI params, EDI and EDX 0, carry set first.
 * Returns EAX; *carry receives the carry flag. Every register the procedure may change is
 * saved around the call. */
uint32_t mvn_call_control(uint32_t procedure, uint32_t message, uint32_t vm, void* params,
                          uint32_t* carry);
__asm__(
    ".text\n"
    ".globl mvn_call_control\n"
    "mvn_call_control:\n"
    "  pushl %ebp\n"
    "  pushl %ebx\n"
    "  pushl %esi\n"
    "  pushl %edi\n"
    "  movl 20(%esp), %ecx\n"
    "  movl 24(%esp), %eax\n"
    "  movl 28(%esp), %ebx\n"
    "  movl 32(%esp), %esi\n"
    "  xorl %edi, %edi\n"
    "  xorl %edx, %edx\n"
    "  stc\n"
    "  call *%ecx\n"
    "  setc %cl\n"
    "  movzbl %cl, %ecx\n"
    "  movl 36(%esp), %edx\n"
    "  movl %ecx, (%edx)\n"
    "  popl %edi\n"
    "  popl %esi\n"
    "  popl %ebx\n"
    "  popl %ebp\n"
    "  ret\n");

static void Crashed(int signal) {
  static const char text[] = "FAIL the control procedure crashed\n";
  (void)signal;
  if (write(1, text, sizeof text - 1) < 0) _exit(2);
  _exit(1);
}

/* The message table: what the VMM sends and what the VxD must answer. */
enum { kCarryOnly, kIoControl };
struct Call {
  const char* name;
  uint32_t message;
  int kind;
  uint32_t code;   /* for W32_DeviceIoControl: the DIOCParams control code */
  uint32_t answer; /* for W32_DeviceIoControl: the EAX it must return */
};
#define W32_DEVICEIOCONTROL 0x23u
static const struct Call kCalls[] = {
    {"Sys_Dynamic_Device_Init", 0x1B, kCarryOnly, 0, 0},
    {"W32_DeviceIoControl DIOC_OPEN", W32_DEVICEIOCONTROL, kIoControl, 0, 0},
    {"W32_DeviceIoControl code 1", W32_DEVICEIOCONTROL, kIoControl, 1, 50},
    {"W32_DeviceIoControl code 0x00222000", W32_DEVICEIOCONTROL, kIoControl, 0x222000, 50},
    {"W32_DeviceIoControl code 0x80002004", W32_DEVICEIOCONTROL, kIoControl, 0x80002004, 50},
    {"W32_DeviceIoControl code 0xFFFFFFFE", W32_DEVICEIOCONTROL, kIoControl, 0xFFFFFFFE, 50},
    {"W32_DeviceIoControl DIOC_CLOSEHANDLE", W32_DEVICEIOCONTROL, kIoControl, 0xFFFFFFFF, 0},
    {"Sys_Critical_Init", 0x00, kCarryOnly, 0, 0},
    {"Device_Init", 0x01, kCarryOnly, 0, 0},
    {"Init_Complete", 0x02, kCarryOnly, 0, 0},
    {"System_Exit", 0x05, kCarryOnly, 0, 0},
    {"Create_VM", 0x07, kCarryOnly, 0, 0},
    {"Destroy_VM", 0x0C, kCarryOnly, 0, 0},
    {"Power_Event", 0x1A, kCarryOnly, 0, 0},
    {"Create_Thread", 0x1D, kCarryOnly, 0, 0},
    {"PNP_New_Devnode", 0x22, kCarryOnly, 0, 0},
    {"Sys_VM_Terminate2", 0x24, kCarryOnly, 0, 0},
    {"Kernel32_Initialized", 0x31, kCarryOnly, 0, 0},
    {"message 0x1234", 0x1234, kCarryOnly, 0, 0},
    {"Sys_Dynamic_Device_Exit", 0x1C, kCarryOnly, 0, 0},
};

int main(int argc, char** argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: mvn_vxd_harness FILE.vxd\n");
    return 2;
  }
  g_path = argv[1];
  FILE* in = fopen(g_path, "rb");
  if (in == NULL) Fail("cannot open the file");
  static uint8_t buffer[1u << 20]; /* the loader's limit for an image */
  g_size = fread(buffer, 1, sizeof buffer, in);
  int more = fgetc(in) != EOF;
  fclose(in);
  if (more) Fail("larger than 1 MiB");
  g_file = buffer;

  /* The headers. */
  if (U16(0, "MZ header") != 0x5A4D) Fail("no MZ signature");
  if (U16(0x18, "MZ header") < 0x40) Fail("no new-style header mark (0x%X)", U16(0x18, ""));
  uint32_t h = U32(0x3C, "MZ header");
  if (U16(h, "LE header") != 0x454C) Fail("no LE signature at the new header (0x%X)", h);
  Need(h, 0xC4, "LE header");
  if (U32(h + 0x04, "") != 0 || U8(h + 0x02, "") != 0 || U8(h + 0x03, "") != 0)
    Fail("not a little-endian level 0 module");
  if (U16(h + 0x0A, "") != 4) Fail("target system 0x%X, not Windows 386", U16(h + 0x0A, ""));
  if ((U32(h + 0x10, "") & 0x38000u) != 0x38000u)
    Fail("module flags 0x%X do not mark a dynamically loadable VxD", U32(h + 0x10, ""));
  if (U32(h + 0x28, "") != PAGE) Fail("page size 0x%X", U32(h + 0x28, ""));
  if (U16(h + 0xC2, "") != 0x0400) Fail("header DDK version 0x%X, not 4.0", U16(h + 0xC2, ""));
  uint32_t pageCount = U32(h + 0x14, "");
  uint32_t lastPage = U32(h + 0x2C, "");
  uint32_t dataPages = U32(h + 0x80, "");
  uint32_t objectCount = U32(h + 0x44, "");
  if (objectCount == 0 || objectCount > 16) Fail("%u objects", objectCount);
  if (lastPage == 0 || lastPage > PAGE) Fail("bytes on the last page 0x%X", lastPage);

  /* Objects placed and their pages copied in. */
  struct Object objects[16];
  for (uint32_t i = 0; i < objectCount; ++i) {
    uint64_t e = (uint64_t)h + U32(h + 0x40, "") + 24u * i;
    struct Object* o = &objects[i];
    o->size = U32(e, "object table");
    o->flags = U32(e + 8, "object table");
    o->firstPage = U32(e + 12, "object table");
    o->pages = U32(e + 16, "object table");
    if (o->size == 0 || o->size > (1u << 20) || o->pages != (o->size + PAGE - 1) / PAGE ||
        o->firstPage == 0 || o->firstPage - 1 + o->pages > pageCount)
      Fail("object %u's size and pages do not agree", i + 1);
    /* Writable while the loader fills it; its own protections once the fixups are in. */
    void* base =
        mmap(NULL, o->pages * PAGE, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (base == MAP_FAILED) Fail("cannot map object %u", i + 1);
    o->base = base;
    for (uint32_t p = 0; p < o->pages; ++p) {
      uint64_t m = (uint64_t)h + U32(h + 0x48, "") + 4u * (o->firstPage - 1 + p);
      uint32_t number =
          U8(m, "page map") << 16 | U8(m + 1, "page map") << 8 | U8(m + 2, "page map");
      if (U8(m + 3, "page map") != 0) Fail("page %u is not a page in the file", number);
      if (number == 0 || number > pageCount) Fail("page number %u out of range", number);
      uint32_t bytes = number == pageCount ? lastPage : PAGE;
      uint64_t at = (uint64_t)dataPages + (uint64_t)(number - 1) * PAGE;
      Need(at, bytes, "page data");
      memcpy(o->base + p * PAGE, g_file + at, bytes);
    }
  }

  /* Fixups, page by page: the 32-bit linear address of the target written over the place,
   * each page writing only its own bytes of a place that straddles two pages. */
  uint32_t fixupPages = U32(h + 0x68, "");
  uint32_t fixupRecords = U32(h + 0x6C, "");
  uint32_t fixupCount = 0;
  for (uint32_t i = 0; i < objectCount; ++i) {
    struct Object* o = &objects[i];
    for (uint32_t p = 0; p < o->pages; ++p) {
      uint32_t logical = o->firstPage - 1 + p;
      uint64_t at = (uint64_t)h + fixupRecords +
                    U32((uint64_t)h + fixupPages + 4u * logical, "fixup page table");
      uint64_t end = (uint64_t)h + fixupRecords +
                     U32((uint64_t)h + fixupPages + 4u * (logical + 1), "fixup page table");
      if (end < at) Fail("fixup page table out of order at page %u", logical + 1);
      while (at < end) {
        uint32_t source = U8(at, "fixup record");
        uint32_t flags = U8(at + 1, "fixup record");
        if (source != 0x07) Fail("fixup source type 0x%X is not a 32-bit offset", source);
        if ((flags & ~0x50u) != 0) Fail("fixup target flags 0x%X not an internal reference", flags);
        int32_t offset = (int16_t)U16(at + 2, "fixup record");
        at += 4;
        uint32_t object;
        if (flags & 0x40) {
          object = U16(at, "fixup record");
          at += 2;
        } else {
          object = U8(at, "fixup record");
          at += 1;
        }
        uint32_t target;
        if (flags & 0x10) {
          target = U32(at, "fixup record");
          at += 4;
        } else {
          target = U16(at, "fixup record");
          at += 2;
        }
        if (at > end) Fail("fixup record runs past its page's records");
        if (object == 0 || object > objectCount || target > objects[object - 1].size)
          Fail("fixup target 0x%X outside the objects", target);
        if (offset <= -4 || offset >= (int32_t)PAGE)
          Fail("fixup source offset %d outside its page", (int)offset);
        uint32_t value = (uint32_t)(uintptr_t)objects[object - 1].base + target;
        for (int b = 0; b < 4; ++b) {
          int32_t place = offset + b;
          if (place >= 0 && place < (int32_t)PAGE && p * PAGE + (uint32_t)place < o->size)
            o->base[p * PAGE + (uint32_t)place] = (uint8_t)(value >> (8 * b));
        }
        ++fixupCount;
      }
    }
  }

  /* Each object's protections as its flags say. */
  for (uint32_t i = 0; i < objectCount; ++i) {
    struct Object* o = &objects[i];
    int protection = ((o->flags & 0x1) ? PROT_READ : 0) | ((o->flags & 0x2) ? PROT_WRITE : 0) |
                     ((o->flags & 0x4) ? PROT_EXEC : 0);
    if (mprotect(o->base, o->pages * PAGE, protection) != 0)
      Fail("cannot protect object %u as its flags 0x%X say", i + 1, o->flags);
  }

  /* The descriptor block through entry ordinal 1. */
  uint64_t e = (uint64_t)h + U32(h + 0x5C, "");
  uint32_t ordinal = 1;
  uint32_t ddbObject = 0, ddbOffset = 0;
  for (;;) {
    uint32_t count = U8(e, "entry table");
    if (count == 0) break;
    uint32_t type = U8(e + 1, "entry table");
    if (type == 0) {
      ordinal += count;
      e += 2;
      continue;
    }
    if (type != 3) Fail("entry bundle type %u is not a 32-bit entry", type);
    uint32_t object = U16(e + 2, "entry table");
    e += 4;
    for (uint32_t k = 0; k < count; ++k, ++ordinal, e += 5) {
      if (ordinal == 1) {
        ddbObject = object;
        ddbOffset = U32(e + 1, "entry table");
      }
    }
  }
  if (ddbObject == 0) Fail("no entry ordinal 1: the loader would find no descriptor block");
  if (ddbObject > objectCount || (uint64_t)ddbOffset + DDB_SIZE > objects[ddbObject - 1].size)
    Fail("entry ordinal 1 at 0x%X does not hold a whole descriptor block", ddbOffset);
  if ((objects[ddbObject - 1].flags & 0x1) == 0)
    Fail("the descriptor block lies in object %u, which is not readable", ddbObject);
  const uint8_t* ddb = objects[ddbObject - 1].base + ddbOffset;
  char name[9];
  memcpy(name, ddb + 12, 8);
  name[8] = '\0';
  uint32_t version = ddb[4] | (uint32_t)ddb[5] << 8;
  uint32_t control = Get32(ddb + 0x18);
  if (memcmp(name, "CPUZ    ", 8) != 0) Fail("descriptor block name \"%s\", not \"CPUZ\"", name);
  if (version != 0x0400) Fail("descriptor block DDK version 0x%X, not 4.0", version);
  if (Get32(ddb + 0x40) != DDB_SIZE) Fail("descriptor block size 0x%X", Get32(ddb + 0x40));
  if (Get32(ddb + 0x30) != 0 || Get32(ddb + 0x34) != 0) Fail("a service table");
  uint32_t controlObject = 0;
  for (uint32_t i = 0; i < objectCount; ++i) {
    uint32_t base = (uint32_t)(uintptr_t)objects[i].base;
    if (control >= base && control < base + objects[i].size) controlObject = i + 1;
  }
  if (controlObject == 0)
    Fail("the control procedure's address 0x%08X is inside no code object", control);
  if ((objects[controlObject - 1].flags & 0x4) == 0)
    Fail("the control procedure lies in object %u, whose flags 0x%X are not executable",
         controlObject, objects[controlObject - 1].flags);
  printf(
      "%s: LE module, %u objects, %u fixups applied; entry ordinal 1: descriptor block \"%s\", "
      "DDK version %u.%u, control procedure at object %u + 0x%X\n",
      g_path, objectCount, fixupCount, name, version >> 8, version & 0xFF, controlObject,
      control - (uint32_t)(uintptr_t)objects[controlObject - 1].base);
  for (uint32_t i = 0; i < objectCount; ++i)
    printf("object %u: flags 0x%04X, mapped %c%c%c\n", i + 1, objects[i].flags,
           (objects[i].flags & 0x1) ? 'r' : '-', (objects[i].flags & 0x2) ? 'w' : '-',
           (objects[i].flags & 0x4) ? 'x' : '-');

  /* The calls. */
  signal(SIGSEGV, Crashed);
  signal(SIGILL, Crashed);
  signal(SIGBUS, Crashed);
  int failures = 0;
  for (size_t i = 0; i < sizeof kCalls / sizeof kCalls[0]; ++i) {
    const struct Call* c = &kCalls[i];
    uint32_t params[12] = {0};
    params[1] = 0xC1000000u; /* VMHandle */
    params[3] = c->code;     /* dwIoControlCode */
    params[10] = 0x51;       /* hDevice */
    uint32_t carry = 0;
    uint32_t eax = mvn_call_control(control, c->message, 0xC1000000u,
                                    c->kind == kIoControl ? params : NULL, &carry);
    int right = carry == 0 && (c->kind != kIoControl || eax == c->answer);
    if (c->kind == kIoControl)
      printf("%-4s %-40s carry %s, EAX %u (want carry clear, EAX %u)\n", right ? "ok" : "FAIL",
             c->name, carry ? "set" : "clear", eax, c->answer);
    else
      printf("%-4s %-40s carry %s (want clear)\n", right ? "ok" : "FAIL", c->name,
             carry ? "set" : "clear");
    failures += !right;
  }
  return failures == 0 ? 0 : 1;
}
