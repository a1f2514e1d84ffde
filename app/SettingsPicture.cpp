#include "app/SettingsPicture.h"

#include "resources/resource.h"

namespace {

// The scaling every size below is drawn for at 100 %.
constexpr int PlainDotsPerInch = 96;

struct Picture {
    int bitmapId;
    int side; // pixels, square
};

// Smallest first; the first is the one drawn for 100 %.
constexpr Picture Pictures[] = {
    {IDB_JOYSTICK, 128}, {IDB_JOYSTICK_192, 192}, {IDB_JOYSTICK_256, 256}};

// Never one larger than the scaling asks for: a frame grown past the template's
// would crowd the buttons below it.
const Picture& PictureFor(int dotsPerInch) {
    const int wanted = Pictures[0].side * dotsPerInch / PlainDotsPerInch;
    const Picture* chosen = &Pictures[0];
    for (const Picture& picture : Pictures) {
        if (picture.side <= wanted) {
            chosen = &picture;
        }
    }
    return *chosen;
}

// The system's scaling, which the manifest's dpiAware entry has the windows
// drawn at.
int ScreenDotsPerInch() {
    HDC screen = GetDC(nullptr);
    const int dotsPerInch = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    return dotsPerInch;
}

} // namespace

void ShowSettingsPicture(HINSTANCE module, HWND settings) {
    HWND frame = GetDlgItem(settings, IDC_SETTINGS_PICTURE);
    const Picture& picture = PictureFor(ScreenDotsPerInch());
    HANDLE bitmap =
        LoadImageA(module, MAKEINTRESOURCEA(picture.bitmapId), IMAGE_BITMAP, 0, 0, LR_DEFAULTCOLOR);
    if (frame == nullptr || bitmap == nullptr) {
        if (bitmap != nullptr) {
            DeleteObject(bitmap);
        }
        return;
    }
    // The static control never frees a picture it is given or loaded itself.
    HANDLE previous = reinterpret_cast<HANDLE>(
        SendMessageA(frame, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(bitmap)));
    if (previous != nullptr && previous != bitmap) {
        DeleteObject(previous);
    }
    // The template's frame stretches its picture to fit (SS_REALSIZECONTROL):
    // a client area of exactly the picture's size shows it unstretched.
    RECT place, client;
    GetWindowRect(frame, &place);
    GetClientRect(frame, &client);
    MapWindowPoints(nullptr, settings, reinterpret_cast<POINT*>(&place), 2);
    const int width = picture.side + (place.right - place.left) - client.right;
    const int height = picture.side + (place.bottom - place.top) - client.bottom;
    SetWindowPos(frame, nullptr, (place.left + place.right - width) / 2,
                 (place.top + place.bottom - height) / 2, width, height,
                 SWP_NOZORDER | SWP_NOACTIVATE);
}
