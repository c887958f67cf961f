// The table of the driver images carried after the program file's last section. The packer
// finds it by its marker in the linked file and fills in the three (offset, size) pairs; an
// unpacked build carries none (all zero).
#include <algorithm>

#include "hw/DeviceDriver.h"

namespace {
// Spelled out here rather than copied from kDriverImageMarker at run time, so that the marker
// stands exactly once in the built file: in front of the table.
constexpr char kMarkerText[] = "MVN-DRV-IMAGES!";
static_assert(sizeof kMarkerText == sizeof kDriverImageMarker);
static_assert(std::equal(kMarkerText, kMarkerText + sizeof kMarkerText, kDriverImageMarker));
static_assert(sizeof(DriverImageTableLayout) == 16 + 3 * 8, "the packer relies on this layout");
}  // namespace

// Volatile so that every read goes to the patched bytes; used so that neither the compiler nor
// the linker drops or folds it although nothing in the program writes it.
__attribute__((used)) volatile DriverImageTableLayout DriverImageTable = {"MVN-DRV-IMAGES!",
                                                                          {{0, 0}, {0, 0}, {0, 0}}};
