#pragma once

#include <windows.h>
#include <atomic>

// The system DLLs whose functions the program looks up at run time.
enum class SystemDll { Kernel32, NtDll, Version, NetApi32, Shell32, Ole32, WinInet, WinTrust };

// The address of an export of a system DLL, or null when the DLL or the export is missing.
// kernel32 and ntdll are in every process from its start, so they are looked up, not loaded.
// The others are loaded from the system folder only, never from the folder the setup program
// was started from, and so are the DLLs they depend on; each stays loaded for the rest of the
// process, since the addresses found point into it.
FARPROC FindSystemExport(SystemDll dll, const char* name);

// One function of a system DLL, typed by its signature (decltype(&::Name)) and looked up on
// first use. Threads that get there together may each look it up; they find the same address.
template <typename Function>
class SystemFunction {
  public:
    constexpr SystemFunction(SystemDll dll, const char* name) : m_dll(dll), m_name(name) {}
    SystemFunction(const SystemFunction&) = delete;
    SystemFunction& operator=(const SystemFunction&) = delete;

    // Null when the DLL or the function is missing.
    Function Get() const {
        if (!m_found.load(std::memory_order_acquire)) {
            m_address.store(reinterpret_cast<void*>(FindSystemExport(m_dll, m_name)),
                            std::memory_order_relaxed);
            m_found.store(true, std::memory_order_release);
        }
        return reinterpret_cast<Function>(m_address.load(std::memory_order_relaxed));
    }

  private:
    const SystemDll m_dll;
    const char* const m_name;
    mutable std::atomic<bool> m_found{false};
    mutable std::atomic<void*> m_address{nullptr};
};
