#pragma once

#include <windows.h>
#include <functional>
#include <string>
#include <thread>

#include <gtest/gtest.h>

// Helpers for tests that drive the real wizard windows from a second thread while the
// page runs its own modal loop on the test thread.

inline bool WaitFor(const std::function<bool()>& condition, DWORD timeoutMs = 10000) {
    DWORD start = GetTickCount();
    while (!condition()) {
        if (GetTickCount() - start > timeoutMs) return false;
        Sleep(10);
    }
    return true;
}

inline std::wstring TextOf(HWND window) {
    wchar_t text[1024] = {};
    GetWindowTextW(window, text, 1024);
    return text;
}

inline void Click(HWND dialog, int controlId) {
    SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(controlId, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, controlId)));
}

inline void PostClick(HWND dialog, int controlId) {
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(controlId, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, controlId)));
}

// A real key press, as the keyboard gives it, to the wizard brought to the foreground; it
// goes through the modal loop's dialog manager like the user's own.
inline void PressKey(HWND topLevel, WORD virtualKey) {
    SetForegroundWindow(topLevel);
    INPUT keys[2] = {};
    keys[0].type = keys[1].type = INPUT_KEYBOARD;
    keys[0].ki.wVk = keys[1].ki.wVk = virtualKey;
    keys[1].ki.dwFlags = KEYEVENTF_KEYUP;
    SendInput(2, keys, sizeof(INPUT));
}

// The download page the address page hosts, if it is up.
inline HWND DownloadPageOf(HWND addressPage) {
    return FindWindowExW(addressPage, nullptr, L"#32770", nullptr);
}

struct OwnedDialogSearch {
    HWND owner;
    HWND found;
};

inline BOOL CALLBACK FindOwnedDialog(HWND window, LPARAM param) {
    OwnedDialogSearch* search = reinterpret_cast<OwnedDialogSearch*>(param);
    wchar_t windowClass[32] = {};
    GetClassNameW(window, windowClass, 32);
    if (window != search->owner && GetWindow(window, GW_OWNER) == search->owner &&
        lstrcmpW(windowClass, L"#32770") == 0) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

// The message box a page owns, if one is open.
inline HWND FindOwnedMessageBox(HWND owner) {
    OwnedDialogSearch search = {owner, nullptr};
    EnumThreadWindows(GetWindowThreadProcessId(owner, nullptr), FindOwnedDialog,
                      reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// Runs page.DoModal() here while driver(window) acts on it from another thread; the driver
// must end the page, or leave it to end by itself within kPageEndGraceMs. A page still open
// then, as after an assertion left the driver early, is a failure and is ended by a quit
// message, which ends every modal loop on this thread (a message box's too), so that a broken
// build fails instead of waiting for the test's time limit.
constexpr DWORD kPageEndGraceMs = 15000;

template <class Page>
void RunModalWithDriver(Page& page, const std::function<void(HWND)>& driver) {
    DWORD pageThread = GetCurrentThreadId();
    std::thread worker([&] {
        if (!WaitFor([&] { return page.GetSafeHwnd() != nullptr; })) {
            ADD_FAILURE() << "the page did not open";
            return;
        }
        driver(page.GetSafeHwnd());
        if (!WaitFor([&] { return page.GetSafeHwnd() == nullptr; }, kPageEndGraceMs)) {
            ADD_FAILURE() << "the page was still open " << kPageEndGraceMs / 1000
                          << " s after its driver ended; ended by force";
            PostThreadMessageW(pageThread, WM_QUIT, 0, 0);
        }
    });
    page.DoModal();
    worker.join();
    MSG quit;
    PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);
}

// Runs this thread's messages until condition() holds or the time is up.
inline bool PumpUntil(const std::function<bool()>& condition, DWORD timeoutMs = 20000) {
    DWORD start = GetTickCount();
    while (!condition()) {
        if (GetTickCount() - start > timeoutMs) return false;
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        Sleep(5);
    }
    return true;
}
