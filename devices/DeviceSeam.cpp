#include "devices/DeviceSeam.h"

#include "devices/VendorLibraries.h"

DeviceSeam DeviceCalls = {UltraStikCount,   UltraStikShutdown,  UltraStikLoadMap, PacDriveCount,
                          PacDriveShutdown, PacDriveDeviceType, ServoStikSet4Way, ServoStikSet8Way};
