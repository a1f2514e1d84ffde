#pragma once
#include <windows.h>

// A kernel object handle (thread, event, mutex), closed when the owner goes.
class KernelHandle {
  public:
    KernelHandle() = default;
    explicit KernelHandle(HANDLE owned) : handle(owned) {}
    ~KernelHandle() { Close(); }
    KernelHandle(const KernelHandle&) = delete;
    KernelHandle& operator=(const KernelHandle&) = delete;

    KernelHandle& operator=(HANDLE owned) {
        Close();
        handle = owned;
        return *this;
    }
    HANDLE Get() const { return handle; }
    explicit operator bool() const { return handle != nullptr; }
    void Close() {
        if (handle != nullptr) {
            CloseHandle(handle);
            handle = nullptr;
        }
    }
    // Lets go without closing: for an object that a thread which has not
    // ended may still wait on, until the process ends and takes it along.
    void Abandon() { handle = nullptr; }

  private:
    HANDLE handle = nullptr;
};
