#pragma once
#include <windows.h>
#include <shellapi.h>

// Every Shell_NotifyIconA call passes the full record, 508 bytes on 32-bit
// Windows (through the balloon icon handle): the shell reads cbSize to tell
// which members exist, and a shorter record would lose the balloon and state
// members. The headers give this size only with Vista-level definitions.
constexpr DWORD TrayRecordSize = sizeof(NOTIFYICONDATAA);
#if !defined(_WIN64)
static_assert(sizeof(NOTIFYICONDATAA) == 508, "the tray record must be the full 508-byte form");
#endif

// A short list of ids in the order they were set: the checked menu commands
// or the greyed menu positions. It holds more than the menu has.
struct IdList {
    static constexpr int Capacity = 32;
    int values[Capacity] = {};
    int count = 0;
    const int* begin() const { return values; }
    const int* end() const { return values + count; }
    bool empty() const { return count == 0; }
    void clear() { count = 0; }
};

// Where the icon stands with the taskbar.
enum class TrayState {
    NotAdded,   // never added, deleted, or there is no notification area
    Shown,      // added; picture changes go straight to the taskbar
    OffTaskbar, // the taskbar was (re)created: the icon goes back as soon as it can
    Leaving,    // its delete was refused; it is never put back
    Waiting,    // no taskbar has taken it yet: it goes on as soon as one does
};

// After a "TaskbarCreated", how soon the icon is put back; after that, or an
// add the taskbar refused, how often it is tried again while a taskbar may
// still be coming up, and for how long: then nothing runs until the next
// "TaskbarCreated".
constexpr UINT ReinstateFirstMilliseconds = USER_TIMER_MINIMUM;
constexpr UINT ReinstateRetryMilliseconds = 250;
constexpr DWORD ReinstatePatienceMilliseconds = 30000;
// The hidden window's timer for it.
constexpr UINT_PTR ReinstateTimer = 1;

// One icon in the notification area, with the hidden window that hears the
// taskbar being recreated, and the popup menu shown on a right-click.
class TrayIcon {
  public:
    TrayIcon();
    virtual ~TrayIcon();
    virtual int OnTrayNotification(WPARAM wParam, LPARAM lParam);
    virtual void AdjustPopup(HMENU popup);

    int Install(HINSTANCE instance, HWND owner, UINT message, const char* tip, HICON icon, UINT id,
                int startHidden, const char* balloonText, const char* balloonTitle,
                DWORD balloonIconFlags, UINT balloonSeconds);
    int SetIcon(HICON icon);
    int Withdraw();
    // The taskbar was (re)created: the icon goes back from the message loop,
    // never from inside the sent message that says so.
    void Reinstate();
    // One try at putting the icon back, from the hidden window's timer.
    void ReinstateNow();
    // Puts the hidden window back at the top level, or makes it anew, when
    // another program has made it the child of one of its own or destroyed
    // it: only there does it hear "TaskbarCreated" and run the timer that
    // puts the icon back.
    void KeepHiddenWindow();
    // The tip from now on, on the taskbar at once when the icon is shown.
    int SetTip(const char* tip);

    int SetItemChecked(int commandId, int on);
    int SetPositionGreyed(int position, int on);

    static LRESULT CALLBACK TrayWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static TrayIcon* ActiveInstance;

    TrayIcon(const TrayIcon&) = delete;
    TrayIcon& operator=(const TrayIcon&) = delete;

    NOTIFYICONDATAA IconRecord;
    HINSTANCE ModuleInstance = nullptr;
    HWND HiddenWindow = nullptr;
    HWND CommandWindow = nullptr;
    int TraySupported = 0;
    TrayState State = TrayState::NotAdded;
    DWORD ReinstateSince = 0;
    int BalloonCapable = 0;
    int DefaultItem = 0;
    int DefaultByPosition = 1;
    UINT AddFlags = 0;
    IdList CheckedIds;
    IdList GreyedPositions;

  private:
    // Tries the add from the hidden window's timer for the patience.
    void KeepTrying(UINT firstMilliseconds);
    int ShowPopupMenu(HWND target);
    int PostDefaultCommand(HWND target);
};

// The taskbar's "show the window menu", which the headers keep to themselves.
constexpr UINT PopupSystemMenu = 0x0313;

// A mouse message of a window's frame. A press on its close, minimize or
// maximize box runs a loop on the window's thread until the button is let
// go, and a right press opens the window menu: a window nobody sees is
// pressed only by another program.
constexpr bool IsFrameMouseMessage(UINT message) {
    return message >= WM_NCMOUSEMOVE && message <= WM_NCXBUTTONDBLCLK;
}

// Message number of the "TaskbarCreated" broadcast; registered during static
// initialisation, after the process-wide tray icon exists.
extern UINT TaskbarCreatedMessage;

extern TrayIcon AppTrayIcon;
