#include "app/startup_steps.h"

#include <system_error>
#include <utility>

#include "app/velmora_setup_app.h"
#include "log/trace_log.h"
#include "sys/module_info.h"
#include "sys/os_version.h"
#include "sys/path_text.h"

StartupSteps::StartupSteps(CVelmora_SetupApp& app, FuncTrace& scope, std::wstring modulePath)
    : m_app(app), m_scope(scope), m_modulePath(std::move(modulePath)) {}

StartupSteps::~StartupSteps() {
    if (m_osVersionThread.joinable()) m_osVersionThread.join();
}

void StartupSteps::AskOsVersion() { m_osVersionKnown = GetOSVersion(m_osMajor, m_osMinor); }

void StartupSteps::Begin(HWND page, UINT doneMessage) {
    if (m_started || m_written) return;
    m_started = true;
    try {
        m_osVersionThread = std::thread([this, page, doneMessage] {
            AskOsVersion();
            PostMessageW(page, doneMessage, 0, 0);
        });
    } catch (const std::system_error&) {
        // No thread to spare: Finish asks on the page's thread.
        m_started = false;
    }
}

void StartupSteps::Finish() {
    if (m_written) return;
    m_written = true;
    if (m_osVersionThread.joinable())
        m_osVersionThread.join();
    else
        AskOsVersion();

    // Newer systems get the compatibility layer before anything else of this run is logged.
    if (m_osVersionKnown && m_osMajor >= 6) m_app.WriteRegcompatibility();

    TraceMsg(m_scope, "ModulePath: %S", m_modulePath.c_str());
    TraceMsg(m_scope, "ModuleName: %S", StemOfPathOrEmpty(m_modulePath).c_str());
    std::wstring version = GetFileVersionString(m_modulePath.c_str());
    TraceMsg(m_scope, "ModuleVersion: %S", version.c_str());
}
