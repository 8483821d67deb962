// The launcher-control installer the demo's update server publishes. It records how it was
// started, and unless told "/verysilent" (as the setup does in automatic mode) it shows
// briefly that it is installing.
#include <windows.h>
#include <shellapi.h>

#include "tests/fixtures/fixture_record.h"
#include "tools/demo/demo_window.h"

namespace {

bool IsVerySilent() {
    int count = 0;
    wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    if (arguments == nullptr) return false;
    bool silent = false;
    for (int i = 1; i < count; ++i) {
        if (CompareStringOrdinal(arguments[i], -1, L"/verysilent", -1, TRUE) == CSTR_EQUAL)
            silent = true;
    }
    LocalFree(arguments);
    return silent;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    fixture::Record record;
    fixture::AddStart(record, L"demo_installer");
    record.Append();
    if (!IsVerySilent()) {
        demo::ShowBriefly(L"Velmora launcher control (demo)",
                          L"Installing the Velmora launcher control...\n\nStarted with:\n" +
                              std::wstring(GetCommandLineW()));
    }
    return 0;
}
