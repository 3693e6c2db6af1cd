// Owners for Win32 handles, GDI objects, device contexts and COM pointers.
//
// One move-only template with a traits type per kind of resource. The traits say what "none" is: most
// handles use null, but file handles use INVALID_HANDLE_VALUE, and the two must never be mixed up.
#pragma once

#include <windows.h>

#include <utility>

namespace setup::win32 {

template <typename Traits>
class Owned {
public:
    using value_type = typename Traits::type;

    Owned() noexcept = default;
    explicit Owned(value_type value) noexcept : value_(value) {}
    ~Owned() { reset(); }

    Owned(const Owned&) = delete;
    Owned& operator=(const Owned&) = delete;
    Owned(Owned&& other) noexcept : value_(other.release()) {}
    Owned& operator=(Owned&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }

    value_type get() const noexcept { return value_; }
    explicit operator bool() const noexcept { return value_ != Traits::none(); }

    value_type release() noexcept { return std::exchange(value_, Traits::none()); }
    void reset(value_type value = Traits::none()) noexcept {
        value_type old = std::exchange(value_, value);
        if (old != Traits::none()) Traits::close(old);
    }
    // For out-parameters: closes what is held and hands out the slot.
    value_type* put() noexcept {
        reset();
        return &value_;
    }

private:
    value_type value_ = Traits::none();
};

struct NullHandleTraits {
    using type = HANDLE;
    static type none() noexcept { return nullptr; }
    static void close(type h) noexcept { ::CloseHandle(h); }
};

// CreateFileW and FindFirstFileW report failure as INVALID_HANDLE_VALUE, not null.
struct FileHandleTraits {
    using type = HANDLE;
    static type none() noexcept { return INVALID_HANDLE_VALUE; }
    static void close(type h) noexcept { ::CloseHandle(h); }
};

// Memory the system allocated for us with LocalAlloc (a security descriptor made from its text, say).
struct LocalMemoryTraits {
    using type = HLOCAL;
    static type none() noexcept { return nullptr; }
    static void close(type h) noexcept { ::LocalFree(h); }
};

template <typename T>
struct GdiObjectTraits {
    using type = T;
    static type none() noexcept { return nullptr; }
    static void close(type h) noexcept { ::DeleteObject(h); }
};

// A device context of our own (CreateCompatibleDC).
struct MemoryDcTraits {
    using type = HDC;
    static type none() noexcept { return nullptr; }
    static void close(type h) noexcept { ::DeleteDC(h); }
};

// The screen's device context (GetDC of no window), given back rather than deleted.
struct ScreenDcTraits {
    using type = HDC;
    static type none() noexcept { return nullptr; }
    static void close(type h) noexcept { ::ReleaseDC(nullptr, h); }
};

using UniqueHandle = Owned<NullHandleTraits>;
using UniqueFileHandle = Owned<FileHandleTraits>;
using UniqueLocalMemory = Owned<LocalMemoryTraits>;
using UniqueFont = Owned<GdiObjectTraits<HFONT>>;
using UniqueBrush = Owned<GdiObjectTraits<HBRUSH>>;
using UniqueBitmap = Owned<GdiObjectTraits<HBITMAP>>;
using UniqueMemoryDc = Owned<MemoryDcTraits>;
using ScreenDc = Owned<ScreenDcTraits>;

// What CreateProcessW fills in: closes the process handle, then the thread handle.
class ProcessInformation {
public:
    ProcessInformation() noexcept = default;
    ~ProcessInformation() { reset(); }

    ProcessInformation(const ProcessInformation&) = delete;
    ProcessInformation& operator=(const ProcessInformation&) = delete;
    ProcessInformation(ProcessInformation&& other) noexcept : info_(std::exchange(other.info_, {})) {}
    ProcessInformation& operator=(ProcessInformation&& other) noexcept {
        if (this != &other) {
            reset();
            info_ = std::exchange(other.info_, {});
        }
        return *this;
    }

    PROCESS_INFORMATION* put() noexcept {
        reset();
        return &info_;
    }
    HANDLE process() const noexcept { return info_.hProcess; }
    DWORD id() const noexcept { return info_.dwProcessId; }

    void reset() noexcept {
        if (info_.hProcess) ::CloseHandle(info_.hProcess);
        if (info_.hThread) ::CloseHandle(info_.hThread);
        info_ = {};
    }

private:
    PROCESS_INFORMATION info_{};
};

template <typename T>
class ComPtr {
public:
    ComPtr() noexcept = default;
    ~ComPtr() { reset(); }

    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    ComPtr(ComPtr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
    ComPtr& operator=(ComPtr&& other) noexcept {
        if (this != &other) {
            reset();
            p_ = std::exchange(other.p_, nullptr);
        }
        return *this;
    }

    T* get() const noexcept { return p_; }
    T* operator->() const noexcept { return p_; }
    explicit operator bool() const noexcept { return p_ != nullptr; }

    void reset() noexcept {
        if (T* old = std::exchange(p_, nullptr)) old->Release();
    }
    // For out-parameters (CoCreateInstance, QueryInterface): releases what is held and hands out the slot.
    T** put() noexcept {
        reset();
        return &p_;
    }
    void** put_void() noexcept { return reinterpret_cast<void**>(put()); }

    template <typename U>
    HRESULT query(ComPtr<U>& out) const noexcept {
        return p_->QueryInterface(__uuidof(U), out.put_void());
    }

private:
    T* p_ = nullptr;
};

}  // namespace setup::win32
