// Owners of Win32 handles: each closes its handle exactly once, with the
// function of its kind, and can be moved but not copied.
#pragma once

#include <windows.h>
#include <wincrypt.h>

#include <utility>

namespace cm::win32 {

template <class Traits>
class Owned {
public:
    using Type = typename Traits::Type;

    Owned() = default;
    explicit Owned(Type handle) : handle_(handle) {}
    Owned(Owned&& other) noexcept : handle_(other.Release()) {}
    Owned& operator=(Owned&& other) noexcept {
        if (this != &other) Reset(other.Release());
        return *this;
    }
    Owned(const Owned&) = delete;
    Owned& operator=(const Owned&) = delete;
    ~Owned() { Reset(); }

    Type Get() const { return handle_; }
    explicit operator bool() const { return Traits::Valid(handle_); }
    Type Release() { return std::exchange(handle_, Traits::Invalid()); }
    // Closes the handle held (if any) and takes the one given.
    void Reset(Type handle = Traits::Invalid()) {
        const Type old = std::exchange(handle_, handle);
        if (Traits::Valid(old)) Traits::Close(old);
    }

private:
    Type handle_ = Traits::Invalid();
};

struct KernelHandleTraits {
    using Type = HANDLE;
    static Type Invalid() { return nullptr; }
    static bool Valid(Type h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static void Close(Type h) { CloseHandle(h); }
};

struct FindHandleTraits {
    using Type = HANDLE;
    static Type Invalid() { return INVALID_HANDLE_VALUE; }
    static bool Valid(Type h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static void Close(Type h) { FindClose(h); }
};

// A handle that is null when there is none, closed by one function.
template <class Handle, auto CloseFunction>
struct NullableTraits {
    using Type = Handle;
    static Type Invalid() { return Type{}; }
    static bool Valid(Type h) { return h != Type{}; }
    static void Close(Type h) { CloseFunction(h); }
};

inline void ReleaseCryptProvider(HCRYPTPROV provider) { CryptReleaseContext(provider, 0); }

using ModuleTraits = NullableTraits<HMODULE, &FreeLibrary>;
using ServiceHandleTraits = NullableTraits<SC_HANDLE, &CloseServiceHandle>;
// Memory the system allocated for the caller and hands back as a pointer
// of its own type (a security descriptor, an argument vector).
template <class Pointer>
using LocalMemoryTraits = NullableTraits<Pointer, &LocalFree>;
using SidTraits = NullableTraits<PSID, &FreeSid>;
template <class Object>
using GdiObjectTraits = NullableTraits<Object, &DeleteObject>;
using HookTraits = NullableTraits<HHOOK, &UnhookWindowsHookEx>;
using CryptProviderTraits = NullableTraits<HCRYPTPROV, &ReleaseCryptProvider>;
using CryptHashTraits = NullableTraits<HCRYPTHASH, &CryptDestroyHash>;
using RegistryKeyTraits = NullableTraits<HKEY, &RegCloseKey>;

// A process, thread, file or other kernel object (CloseHandle).
using KernelHandle = Owned<KernelHandleTraits>;
// A directory search (FindClose).
using FindHandle = Owned<FindHandleTraits>;
// A loaded library (FreeLibrary).
using Module = Owned<ModuleTraits>;
// The service control manager or a service opened through it
// (CloseServiceHandle).
using ServiceHandle = Owned<ServiceHandleTraits>;
// A LocalAlloc block returned by the system (LocalFree).
template <class Pointer>
using LocalMemory = Owned<LocalMemoryTraits<Pointer>>;
// A SID from AllocateAndInitializeSid (FreeSid).
using Sid = Owned<SidTraits>;
// A font or brush the program made (DeleteObject).
using Font = Owned<GdiObjectTraits<HFONT>>;
using Brush = Owned<GdiObjectTraits<HBRUSH>>;
// A hook on the program's thread (UnhookWindowsHookEx).
using Hook = Owned<HookTraits>;
// The system's cryptographic provider (CryptReleaseContext) and a hash
// being computed with it (CryptDestroyHash).
using CryptProvider = Owned<CryptProviderTraits>;
using CryptHash = Owned<CryptHashTraits>;
// An open registry key (RegCloseKey).
using RegistryKey = Owned<RegistryKeyTraits>;

// A window's device context, borrowed for a measurement and given back to
// the same window (ReleaseDC needs both, so it is no Owned).
class WindowDC {
public:
    explicit WindowDC(HWND window) : window_(window), dc_(GetDC(window)) {}
    ~WindowDC() {
        if (dc_ != nullptr) ReleaseDC(window_, dc_);
    }
    WindowDC(const WindowDC&) = delete;
    WindowDC& operator=(const WindowDC&) = delete;

    HDC Get() const { return dc_; }

private:
    HWND window_;
    HDC dc_;
};

}  // namespace cm::win32
