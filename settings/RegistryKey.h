#pragma once
#include <windows.h>

// An open registry key, closed when the owner goes.
class RegistryKey {
  public:
    RegistryKey() = default;
    ~RegistryKey() {
        if (handle != nullptr) {
            RegCloseKey(handle);
        }
    }
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;

    HKEY handle = nullptr;
};
