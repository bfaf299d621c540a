// Owners of Win32 handles: each closes its handle exactly once, with the
// function of its kind, and can be moved but not copied.
#pragma once

#include <windows.h>

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

struct ModuleTraits {
    using Type = HMODULE;
    static Type Invalid() { return nullptr; }
    static bool Valid(Type h) { return h != nullptr; }
    static void Close(Type h) { FreeLibrary(h); }
};

// A process, thread, file or other kernel object (CloseHandle).
using KernelHandle = Owned<KernelHandleTraits>;
// A directory search (FindClose).
using FindHandle = Owned<FindHandleTraits>;
// A loaded library (FreeLibrary).
using Module = Owned<ModuleTraits>;

}  // namespace cm::win32
