#pragma once
#include "channel/ChannelProtocol.h"

// Whether this process is the first instance. It is when it takes the mark:
// one that no living instance holds, or one abandoned by an instance that
// died. A mark that is free while a first instance's window exists belongs
// to a peer that creates it without holding it (the plain protocol): that
// peer is the first instance. Where the mark can be neither opened nor
// created (another kind of object has the name, or an elevated first
// instance's mark is closed to us), a first instance shows itself by its
// window alone.
bool TakeInstanceMark(const ChannelNames& names);
// Lets the mark go, on the thread that took it; the next start is first again.
void ReleaseInstanceMark();
