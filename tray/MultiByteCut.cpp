#include "tray/MultiByteCut.h"

#include <cstring>

void CopyMultiByteCut(char* member, std::size_t size, const char* src, UINT codePage) {
    std::memset(member, 0, size);
    if (src == nullptr || size == 0) {
        return;
    }
    std::size_t used = 0;
    while (src[used] != '\0') {
        const std::size_t width =
            (IsDBCSLeadByteEx(codePage, static_cast<BYTE>(src[used])) && src[used + 1] != '\0') ? 2
                                                                                                : 1;
        if (used + width > size - 1) {
            break;
        }
        used += width;
    }
    std::memcpy(member, src, used);
}
