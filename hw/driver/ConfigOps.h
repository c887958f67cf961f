/* The configuration operations a driver image serves its requests with: one implementation
   calls the system's serialised configuration functions, the other the simulated chip. */
#ifndef MORVANE_DRIVER_CONFIGOPS_H
#define MORVANE_DRIVER_CONFIGOPS_H

#include "hw/driver/Requests.h"

/* Called once while the driver loads: readies the back end and returns its operations. */
const MvnConfigOps* MvnStartConfig(void);

#endif
