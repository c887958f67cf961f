/* The port operations a driver image serves its requests with: one implementation executes
   the processor's port instructions, the other talks to the simulated northbridge. */
#ifndef MORVANE_DRIVER_PORTOPS_H
#define MORVANE_DRIVER_PORTOPS_H

#include <stdint.h>

#include "hw/driver/Requests.h"

/* Called once while the driver loads: readies the ports and returns their operations. */
const MvnPortOps* MvnStartPorts(void);

/* Bracket one request: between the two calls nothing else on this processor runs, so the
   address the request checked is still latched when it reaches the data port. */
uintptr_t MvnEnterPorts(void);
void MvnLeavePorts(uintptr_t state);

#endif
