// The update agent the demo's update server publishes. It records how it was started and
// where, then shows briefly that it runs in the site folder.
#include <windows.h>

#include "tests/fixtures/fixture_record.h"
#include "tools/demo/demo_window.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    fixture::Record record;
    fixture::AddStart(record, L"demo_agent");
    record.Append();
    demo::ShowBriefly(L"Velmora update agent (demo)",
                      L"The Velmora update agent is checking for updates...\n\nStarted with:\n" +
                          std::wstring(GetCommandLineW()) + L"\n\nIn:\n" +
                          fixture::CurrentFolder());
    return 0;
}
