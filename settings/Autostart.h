#pragma once
#include <cstddef>

// The Run value that makes Windows start Velmora at the user's log-on.
extern const char RunKeyPath[];
extern const char RunValueName[];

void AddStartupEntry();
void RemoveStartupEntry();

// The Run value's text for an executable path: quoted when the path holds a
// blank, so Windows cannot take a prefix of it for another program. Gives
// the length written, or 0 when it does not fit.
std::size_t StartupCommandFor(const char* modulePath, char* destination, std::size_t capacity);
