// Owners of Win32 handles: one object owns one handle and closes it on every path.
//
//   fw::KernelHandle event(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
//   if (!event) return false;                 // error still in GetLastError
//   fw::FileHandle device(::CreateFileW(...));  // INVALID_HANDLE_VALUE counts as none
//   fw::GdiObject<HBRUSH> brush(::CreateSolidBrush(colour));
//
// The kind of handle decides the traits: which value means "none" and how it is closed.
#pragma once

#include <windows.h>

#include <stdint.h>

namespace fw {

template <class Traits>
class UniqueHandle {
public:
    using Type = typename Traits::Type;

    UniqueHandle() noexcept : value_(Traits::None()) {}
    explicit UniqueHandle(Type value) noexcept : value_(value) {}
    ~UniqueHandle() { Reset(); }

    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    UniqueHandle(UniqueHandle&& other) noexcept : value_(other.Release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept
    {
        if (this != &other)
            Reset(other.Release());
        return *this;
    }

    Type Get() const { return value_; }
    bool Valid() const { return Traits::IsValid(value_); }
    explicit operator bool() const { return Valid(); }

    // Gives the handle up without closing it.
    Type Release()
    {
        const Type value = value_;
        value_ = Traits::None();
        return value;
    }
    // Closes the handle held (if any) and takes `value`. Keeps GetLastError as it was, so that
    // a failure can be reported after its handles have been closed.
    void Reset(Type value = Traits::None())
    {
        if (Traits::IsValid(value_) && value_ != value) {
            const DWORD error = ::GetLastError();
            Traits::Close(value_);
            ::SetLastError(error);
        }
        value_ = value;
    }
    // Closes the handle held and gives the address for a call that hands out a new one.
    Type* Put()
    {
        Reset();
        return &value_;
    }

private:
    Type value_;
};

// Events, threads, mutexes, processes, tokens: null is none (and INVALID_HANDLE_VALUE is never
// a handle of these kinds, so it is not closed either).
struct KernelHandleTraits {
    using Type = HANDLE;
    static Type None() { return nullptr; }
    static bool IsValid(Type h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static void Close(Type h) { ::CloseHandle(h); }
};

// Files and devices from CreateFileW: INVALID_HANDLE_VALUE is none.
struct FileHandleTraits {
    using Type = HANDLE;
    static Type None() { return INVALID_HANDLE_VALUE; }
    static bool IsValid(Type h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static void Close(Type h) { ::CloseHandle(h); }
};

struct RegistryKeyTraits {
    using Type = HKEY;
    static Type None() { return nullptr; }
    static bool IsValid(Type h) { return h != nullptr && h != reinterpret_cast<HKEY>(INVALID_HANDLE_VALUE); }
    static void Close(Type h) { ::RegCloseKey(h); }
};

template <class T>
struct GdiObjectTraits {
    using Type = T;
    static Type None() { return nullptr; }
    static bool IsValid(Type h) { return h != nullptr; }
    static void Close(Type h) { ::DeleteObject(h); }
};

// Memory device contexts from CreateCompatibleDC / CreateDCW.
struct DeviceContextTraits {
    using Type = HDC;
    static Type None() { return nullptr; }
    static bool IsValid(Type h) { return h != nullptr; }
    static void Close(Type h) { ::DeleteDC(h); }
};

// A window's device context from GetDC / GetWindowDC, released to its window.
class WindowDC {
public:
    WindowDC(HWND window, HDC dc) : window_(window), dc_(dc) {}
    ~WindowDC()
    {
        if (dc_ != nullptr)
            ::ReleaseDC(window_, dc_);
    }
    WindowDC(const WindowDC&) = delete;
    WindowDC& operator=(const WindowDC&) = delete;

    HDC Get() const { return dc_; }
    explicit operator bool() const { return dc_ != nullptr; }

private:
    HWND window_;
    HDC dc_;
};

// An object selected into a device context while this lives; the previous one is selected back.
class SelectedObject {
public:
    SelectedObject(HDC dc, HGDIOBJ object)
        : dc_(dc), previous_(dc != nullptr && object != nullptr ? ::SelectObject(dc, object) : nullptr)
    {
    }
    ~SelectedObject()
    {
        if (previous_ != nullptr && previous_ != HGDI_ERROR)
            ::SelectObject(dc_, previous_);
    }
    SelectedObject(const SelectedObject&) = delete;
    SelectedObject& operator=(const SelectedObject&) = delete;
    bool Valid() const { return previous_ != nullptr && previous_ != HGDI_ERROR; }

private:
    HDC dc_;
    HGDIOBJ previous_;
};

using KernelHandle = UniqueHandle<KernelHandleTraits>;
using FileHandle = UniqueHandle<FileHandleTraits>;
template <class T>
using GdiObject = UniqueHandle<GdiObjectTraits<T>>;
using DeviceContext = UniqueHandle<DeviceContextTraits>;

// An open registry key with checked DWORD access. Results are the registry's error codes
// (ERROR_SUCCESS on success), as RegQueryValueExW and RegSetValueExW give them.
class RegistryKey {
public:
    RegistryKey() = default;
    explicit RegistryKey(HKEY key) : key_(key) {}

    HKEY Get() const { return key_.Get(); }
    bool Valid() const { return key_.Valid(); }
    HKEY Release() { return key_.Release(); }
    void Reset(HKEY key = nullptr) { key_.Reset(key); }
    // Closes the key now; the registry's result of closing it (ERROR_INVALID_HANDLE for none).
    LONG Close()
    {
        const HKEY key = key_.Release();
        return RegistryKeyTraits::IsValid(key) ? ::RegCloseKey(key) : ERROR_INVALID_HANDLE;
    }

    // Reads value `name` as 4 bytes, whatever its stored type. Data longer than 4 bytes give
    // ERROR_MORE_DATA, shorter data ERROR_INVALID_DATA; *value is written only on success.
    LONG ReadDword(const wchar_t* name, uint32_t* value) const;
    // Writes `value` as REG_DWORD.
    LONG WriteDword(const wchar_t* name, uint32_t value) const;

private:
    UniqueHandle<RegistryKeyTraits> key_;
};

inline LONG RegistryKey::ReadDword(const wchar_t* name, uint32_t* value) const
{
    DWORD data = 0;
    DWORD size = sizeof data;
    const LONG result = ::RegQueryValueExW(key_.Get(), name, nullptr, nullptr, reinterpret_cast<BYTE*>(&data), &size);
    if (result != ERROR_SUCCESS)
        return result;
    if (size != sizeof data)
        return ERROR_INVALID_DATA;
    *value = data;
    return ERROR_SUCCESS;
}

inline LONG RegistryKey::WriteDword(const wchar_t* name, uint32_t value) const
{
    const DWORD data = value;
    return ::RegSetValueExW(key_.Get(), name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data), sizeof data);
}

} // namespace fw
