#include "tray/TrayPicture.h"

HICON LoadSmallIcon(HINSTANCE module, int iconId) {
    // LoadIconA always takes the large-icon frame and leaves the taskbar to
    // shrink it; asking for the size the system reports for this process's
    // display scaling picks the frame drawn for it.
    return static_cast<HICON>(LoadImageA(module, MAKEINTRESOURCEA(iconId), IMAGE_ICON,
                                         GetSystemMetrics(SM_CXSMICON),
                                         GetSystemMetrics(SM_CYSMICON), LR_SHARED));
}
