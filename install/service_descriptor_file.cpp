#include "install/service_descriptor_file.h"

#include <windows.h>
#include <share.h>
#include <cstdio>
#include <vector>

#include "install/service_descriptor.h"
#include "log/func_trace.h"
#include "log/trace_log.h"
#include "sys/scoped_handle.h"
#include "sys/text_convert.h"

namespace {

constexpr size_t kReadChunk = 64 * 1024;

}  // namespace

bool ReadSiteName(FuncTrace& scope, const std::wstring& path, std::wstring& siteName) {
    ScopedCFile file(_wfsopen(path.c_str(), L"rb", _SH_DENYNO));
    if (!file) {
        TraceMsg(scope, "velmora_server.exe Open fail___");
        return false;
    }
    ServiceDescriptorScanner scanner;
    std::vector<char> chunk(kReadChunk);
    for (;;) {
        size_t got = fread(chunk.data(), 1, chunk.size(), file.Get());
        // A read error ends the reading like the end of the file does.
        if (!scanner.Feed(chunk.data(), got) || got < chunk.size()) break;
    }
    file.Close();
    DescriptorReading reading = scanner.Finish();
    if (reading.outcome != DescriptorOutcome::Found) {
        TraceMsg(scope, "Wrong xml___");
        return false;
    }
    siteName = CodePageToWide(CP_UTF8, reading.siteNameUtf8);
    TraceMsg(scope, "SiteName: %S", siteName.c_str());
    return true;
}
