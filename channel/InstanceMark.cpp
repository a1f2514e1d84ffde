#include "channel/InstanceMark.h"

namespace {
HANDLE Mark = nullptr; // held by the main thread from TakeInstanceMark to ReleaseInstanceMark
}

const ChannelNames VelmoraChannelNames = {"Velmora_Mutex", "Velmora_Server", "Velmora_InterComm"};

bool TakeInstanceMark(const ChannelNames& names) {
    // Not owned at creation: whether it is ours is then decided the same way
    // whether it is new, left open by other programs or abandoned, and only
    // one start can take it.
    HANDLE mark = CreateMutexA(nullptr, FALSE, names.mark);
    const auto peerWindow = [&names] { return FindWindowA(names.serverClass, names.windowTitle); };
    if (mark == nullptr) {
        return peerWindow() == nullptr;
    }
    const DWORD taken = WaitForSingleObject(mark, 0);
    if (taken == WAIT_ABANDONED || (taken == WAIT_OBJECT_0 && peerWindow() == nullptr)) {
        Mark = mark;
        return true;
    }
    if (taken == WAIT_OBJECT_0) {
        ReleaseMutex(mark);
    }
    // Held no longer than needed: a later start that kept it open would keep
    // the name of a first instance that died alive for others.
    CloseHandle(mark);
    return false;
}

void ReleaseInstanceMark() {
    if (Mark != nullptr) {
        ReleaseMutex(Mark);
        CloseHandle(Mark);
        Mark = nullptr;
    }
}
