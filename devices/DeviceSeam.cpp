#include "devices/DeviceSeam.h"

#include "devices/VendorLibraries.h"

DeviceSeam g_devices = {UltraStikCount,   UltraStikShutdown,  UltraStikLoadMap, PacDriveCount,
                        PacDriveShutdown, PacDriveDeviceType, ServoStikSet4Way, ServoStikSet8Way};
