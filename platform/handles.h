// Owners for the handles the program obtains (through plat::, and its
// threads), so that no path through the code leaks one.
#pragma once

#include "platform.h"

#include <utility>

namespace plat {

// Move-only owner of a handle of type H, released by Close when valid.
template <typename H, typename Traits>
class Owned {
public:
    Owned() = default;
    explicit Owned(H handle) : handle_(handle) {}
    ~Owned() { reset(); }
    Owned(const Owned&) = delete;
    Owned& operator=(const Owned&) = delete;
    Owned(Owned&& other) noexcept : handle_(std::exchange(other.handle_, Traits::Invalid())) {}
    Owned& operator=(Owned&& other) noexcept {
        if (this != &other) {
            reset();
            handle_ = std::exchange(other.handle_, Traits::Invalid());
        }
        return *this;
    }

    H get() const { return handle_; }
    explicit operator bool() const { return Traits::IsValid(handle_); }
    // For functions that return the handle through a pointer.
    H* out() {
        reset();
        return &handle_;
    }
    void reset() {
        if (Traits::IsValid(handle_)) Traits::Close(handle_);
        handle_ = Traits::Invalid();
    }

private:
    H handle_ = Traits::Invalid();
};

struct DeviceInfoSetTraits {
    static HDEVINFO Invalid() { return INVALID_HANDLE_VALUE; }
    static bool IsValid(HDEVINFO h) { return h != INVALID_HANDLE_VALUE && h != nullptr; }
    static void Close(HDEVINFO h) { plat::SetupDiDestroyDeviceInfoList(h); }
};

struct RegKeyTraits {
    static HKEY Invalid() { return nullptr; }
    static bool IsValid(HKEY h) { return h != nullptr; }
    static void Close(HKEY h) { plat::RegCloseKey(h); }
};

struct FileTraits {
    static HANDLE Invalid() { return INVALID_HANDLE_VALUE; }
    static bool IsValid(HANDLE h) { return h != INVALID_HANDLE_VALUE && h != nullptr; }
    static void Close(HANDLE h) { plat::CloseHandle(h); }
};

// Threads, processes and mutexes: a null handle is none. Closing a thread's
// or a started program's handle leaves it running.
struct KernelObjectTraits {
    static HANDLE Invalid() { return nullptr; }
    static bool IsValid(HANDLE h) { return h != nullptr; }
    static void Close(HANDLE h) { plat::CloseHandle(h); }
};

struct FindTraits {
    static HANDLE Invalid() { return INVALID_HANDLE_VALUE; }
    static bool IsValid(HANDLE h) { return h != INVALID_HANDLE_VALUE && h != nullptr; }
    static void Close(HANDLE h) { plat::FindClose(h); }
};

using DeviceInfoSet = Owned<HDEVINFO, DeviceInfoSetTraits>;
using RegKey = Owned<HKEY, RegKeyTraits>;
using File = Owned<HANDLE, FileTraits>;
using FindHandle = Owned<HANDLE, FindTraits>;
using KernelHandle = Owned<HANDLE, KernelObjectTraits>;
using ThreadHandle = KernelHandle;

}  // namespace plat
