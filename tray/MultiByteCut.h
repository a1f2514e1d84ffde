#pragma once
#include <windows.h>

#include <cstddef>

// Copies src into a member of size bytes, cut so that a double-byte character
// of the code page never loses its trail byte; the rest is zero-filled.
void CopyMultiByteCut(char* member, std::size_t size, const char* src, UINT codePage = CP_ACP);
