#pragma once

#include <windows.h>
#include <wininet.h>
#include <cstddef>
#include <cstdio>

// One move-only owner for every kind of raw handle the program holds. Each kind is a small
// traits class; closing keeps GetLastError() so that a failure code read after the handle
// went out of scope is still the caller's. A function that opens something returns its owner;
// null converts to an owner of nothing.
template <class Traits>
class ScopedHandle {
  public:
    using Handle = typename Traits::Handle;

    ScopedHandle() : m_handle(Traits::Null()) {}
    ScopedHandle(std::nullptr_t) : m_handle(Traits::Null()) {}
    explicit ScopedHandle(Handle handle) : m_handle(handle) {}
    ~ScopedHandle() { Close(); }

    ScopedHandle(const ScopedHandle&) = delete;
    ScopedHandle& operator=(const ScopedHandle&) = delete;
    ScopedHandle(ScopedHandle&& other) noexcept : m_handle(other.Take()) {}
    ScopedHandle& operator=(ScopedHandle&& other) noexcept {
        if (this != &other) {
            Close();
            m_handle = other.Take();
        }
        return *this;
    }

    Handle Get() const { return m_handle; }
    bool IsValid() const { return Traits::IsValid(m_handle); }
    explicit operator bool() const { return IsValid(); }

    Handle Take() {
        Handle handle = m_handle;
        m_handle = Traits::Null();
        return handle;
    }

    void Reset(Handle handle = Traits::Null()) {
        Close();
        m_handle = handle;
    }

    // For out-parameters of the platform calls: releases the current handle first.
    Handle* Receive() {
        Close();
        return &m_handle;
    }

    void Close() {
        if (Traits::IsValid(m_handle)) {
            DWORD lastError = GetLastError();
            Traits::Close(m_handle);
            SetLastError(lastError);
        }
        m_handle = Traits::Null();
    }

  private:
    Handle m_handle;
};

struct KernelHandleTraits {
    using Handle = HANDLE;
    static Handle Null() { return nullptr; }
    static bool IsValid(Handle h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static void Close(Handle h) { CloseHandle(h); }
};

struct RegKeyTraits {
    using Handle = HKEY;
    static Handle Null() { return nullptr; }
    static bool IsValid(Handle h) { return h != nullptr; }
    static void Close(Handle h) { RegCloseKey(h); }
};

struct GdiObjectTraits {
    using Handle = HGDIOBJ;
    static Handle Null() { return nullptr; }
    static bool IsValid(Handle h) { return h != nullptr; }
    static void Close(Handle h) { DeleteObject(h); }
};

struct MemoryDcTraits {
    using Handle = HDC;
    static Handle Null() { return nullptr; }
    static bool IsValid(Handle h) { return h != nullptr; }
    static void Close(Handle h) { DeleteDC(h); }
};

struct LibraryTraits {
    using Handle = HMODULE;
    static Handle Null() { return nullptr; }
    static bool IsValid(Handle h) { return h != nullptr; }
    static void Close(Handle h) { FreeLibrary(h); }
};

struct CFileTraits {
    using Handle = FILE*;
    static Handle Null() { return nullptr; }
    static bool IsValid(Handle h) { return h != nullptr; }
    static void Close(Handle h) { fclose(h); }
};

// Both are closed through the DLLs the program loads on first use (sys/lazy_api.h).
struct InternetHandleTraits {
    using Handle = HINTERNET;
    static Handle Null() { return nullptr; }
    static bool IsValid(Handle h) { return h != nullptr; }
    static void Close(Handle h);
};

struct NetApiBufferTraits {
    using Handle = void*;
    static Handle Null() { return nullptr; }
    static bool IsValid(Handle h) { return h != nullptr; }
    static void Close(Handle h);
};

using ScopedKernelHandle = ScopedHandle<KernelHandleTraits>;
using ScopedRegKey = ScopedHandle<RegKeyTraits>;
using ScopedGdiObject = ScopedHandle<GdiObjectTraits>;
using ScopedMemoryDc = ScopedHandle<MemoryDcTraits>;
using ScopedLibrary = ScopedHandle<LibraryTraits>;
using ScopedCFile = ScopedHandle<CFileTraits>;
using ScopedInternetHandle = ScopedHandle<InternetHandleTraits>;
using ScopedNetApiBuffer = ScopedHandle<NetApiBufferTraits>;
