// Measures the publisher check on a signed program against the platform call it is built on:
//   pin_bench PROGRAM PIN RUNS
// Prints "name value" lines, one pair per run: the milliseconds of one IsFromPinnedPublisher
// (WinVerifyTrust on the open file, the signer's chain walked and each key hashed and compared)
// and of one bare WinVerifyTrust on the same handle with the same policy and no state kept.
#include <windows.h>
#include <softpub.h>
#include <wintrust.h>
#include <cstdio>
#include <cwchar>
#include <string>

#include "install/publisher_check.h"
#include "log/func_trace.h"
#include "sys/scoped_handle.h"

namespace {

double Milliseconds(const LARGE_INTEGER& from, const LARGE_INTEGER& to) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return 1000.0 * static_cast<double>(to.QuadPart - from.QuadPart) / frequency.QuadPart;
}

LONG BareVerification(HANDLE file, const std::wstring& path) {
    WINTRUST_FILE_INFO info = {};
    info.cbStruct = sizeof(info);
    info.pcwszFilePath = path.c_str();
    info.hFile = file;
    WINTRUST_DATA data = {};
    data.cbStruct = sizeof(data);
    data.dwUIChoice = WTD_UI_NONE;
    data.fdwRevocationChecks = WTD_REVOKE_NONE;
    data.dwUnionChoice = WTD_CHOICE_FILE;
    data.pFile = &info;
    data.dwStateAction = WTD_STATEACTION_IGNORE;
    data.dwProvFlags = WTD_CACHE_ONLY_URL_RETRIEVAL;
    GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
    return WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 4) {
        fwprintf(stderr, L"usage: pin_bench PROGRAM PIN RUNS\n");
        return 2;
    }
    const std::wstring path = argv[1];
    std::wstring pinText = argv[2];
    PublisherPin pin;
    PublisherPins pins;
    if (!ParsePinText(std::string(pinText.begin(), pinText.end()), pin)) return 2;
    pins.keys.push_back(pin);
    int runs = _wtoi(argv[3]);
    ScopedKernelHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return 1;
    FuncTrace scope("PinBench::Check");
    // The first check loads the trust providers; it is no part of a check's cost.
    if (!IsFromPinnedPublisher(scope, file.Get(), path, "bench", pins) ||
        BareVerification(file.Get(), path) != ERROR_SUCCESS) {
        fwprintf(stderr, L"pin_bench: %ls does not pass the check\n", path.c_str());
        return 1;
    }
    for (int i = 0; i < runs; ++i) {
        LARGE_INTEGER start, middle, end;
        QueryPerformanceCounter(&start);
        bool passed = IsFromPinnedPublisher(scope, file.Get(), path, "bench", pins);
        QueryPerformanceCounter(&middle);
        LONG bare = BareVerification(file.Get(), path);
        QueryPerformanceCounter(&end);
        if (!passed || bare != ERROR_SUCCESS) return 1;
        std::printf("pin_check_ms %.3f\npin_floor_ms %.3f\n", Milliseconds(start, middle),
                    Milliseconds(middle, end));
    }
    return 0;
}
