#include "install/reachability_probe.h"

#include <windows.h>
#include <wininet.h>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

#include "install/quiet_period.h"
#include "install/reachability_probe_test_hook.h"
#include "log/trace_log.h"
#include "sys/lazy_api.h"

namespace {

// Shared by the caller and the check's own thread, which may outlive the wait.
struct ProbeState {
    explicit ProbeState(const std::wstring& probedUrl) : url(probedUrl) {}
    const std::wstring url;
    std::mutex mutex;
    std::condition_variable ended;
    bool done = false;
    bool answered = false;
};

// The platform's check has no time-out of its own: a connection attempt nobody answers lasts
// as long as the system retries it (over two minutes on Linux, under Wine).
void RunCheck(const std::shared_ptr<ProbeState>& state) {
    bool answered = LazyApi::InternetCheckConnectionW(state->url.c_str(), FLAG_ICC_FORCE_CONNECTION,
                                                      0) != FALSE;
    std::lock_guard<std::mutex> lock(state->mutex);
    state->answered = answered;
    state->done = true;
    state->ended.notify_all();
}

// Throws std::system_error when the thread cannot be started.
void StartCheck(const std::shared_ptr<ProbeState>& state) {
    if (g_probeThreadRefused.Get())
        throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
    std::thread([state] { RunCheck(state); }).detach();
}

}  // namespace

TestSeam<bool> g_probeThreadRefused{false};

bool ServiceAnswers(FuncTrace& scope, const std::wstring& url) {
    auto state = std::make_shared<ProbeState>(url);
    try {
        StartCheck(state);
    } catch (const std::system_error&) {
        // Without its check the service counts as unreachable, like one that did not answer.
        TraceMsg(scope, "Probe thread create fail___");
        return false;
    }
    std::unique_lock<std::mutex> lock(state->mutex);
    if (state->ended.wait_for(lock, std::chrono::milliseconds(QuietPeriodMs()),
                              [&] { return state->done; }))
        return state->answered;
    TraceTimedOut(scope);
    return false;
}
