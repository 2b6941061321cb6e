// Owners of Win32 handles: one object owns one handle and closes it on every path.
//
//   fw::KernelHandle event(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
//   if (!event) return false;                 // error still in GetLastError
//   fw::FileHandle device(::CreateFileW(...));  // INVALID_HANDLE_VALUE counts as none
//   fw::GdiObject<HBRUSH> brush(::CreateSolidBrush(colour));
//
// The kind of handle decides how it is closed (`close`) and what an empty owner holds: null, or
// INVALID_HANDLE_VALUE for the kinds whose calls fail with it (`invalidIsNone`). Neither value is
// ever a handle, so neither is ever closed.
#pragma once

#include <windows.h>

#include <stdint.h>

namespace fw {

template <class T, auto close, bool invalidIsNone = false>
class UniqueHandle {
public:
    using Type = T;

    UniqueHandle() noexcept : value_(None()) {}
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
    bool Valid() const { return IsValid(value_); }
    explicit operator bool() const { return Valid(); }

    // Gives the handle up without closing it.
    Type Release()
    {
        const Type value = value_;
        value_ = None();
        return value;
    }
    // Closes the handle held (if any) and takes `value`. Keeps GetLastError as it was, so that
    // a failure can be reported after its handles have been closed.
    void Reset(Type value = None())
    {
        if (IsValid(value_) && value_ != value) {
            const DWORD error = ::GetLastError();
            close(value_);
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
    static Type None() { return invalidIsNone ? reinterpret_cast<Type>(INVALID_HANDLE_VALUE) : nullptr; }
    static bool IsValid(Type h) { return h != nullptr && h != reinterpret_cast<Type>(INVALID_HANDLE_VALUE); }

    Type value_;
};

// Events, threads, mutexes, processes, tokens.
using KernelHandle = UniqueHandle<HANDLE, &::CloseHandle>;
// Files and devices from CreateFileW.
using FileHandle = UniqueHandle<HANDLE, &::CloseHandle, true>;
template <class T>
using GdiObject = UniqueHandle<T, &::DeleteObject>;
// Memory device contexts from CreateCompatibleDC / CreateDCW.
using DeviceContext = UniqueHandle<HDC, &::DeleteDC>;
using RegistryKey = UniqueHandle<HKEY, &::RegCloseKey>;

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
        if (Valid())
            ::SelectObject(dc_, previous_);
    }
    SelectedObject(const SelectedObject&) = delete;
    SelectedObject& operator=(const SelectedObject&) = delete;
    bool Valid() const { return previous_ != nullptr && previous_ != HGDI_ERROR; }

private:
    HDC dc_;
    HGDIOBJ previous_;
};

// DWORD values of an open key. Results are the registry's error codes (ERROR_SUCCESS on success),
// as RegQueryValueExW and RegSetValueExW give them. ReadDword reads value `name` as 4 bytes,
// whatever its stored type: data longer than 4 bytes give ERROR_MORE_DATA, shorter data
// ERROR_INVALID_DATA; *value is written only on success. WriteDword writes a REG_DWORD.
inline LONG ReadDword(HKEY key, const wchar_t* name, uint32_t* value)
{
    DWORD data = 0;
    DWORD size = sizeof data;
    const LONG result = ::RegQueryValueExW(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(&data), &size);
    if (result != ERROR_SUCCESS)
        return result;
    if (size != sizeof data)
        return ERROR_INVALID_DATA;
    *value = data;
    return ERROR_SUCCESS;
}

inline LONG WriteDword(HKEY key, const wchar_t* name, uint32_t value)
{
    const DWORD data = value;
    return ::RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data), sizeof data);
}

} // namespace fw
