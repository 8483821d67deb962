#include "install/service_descriptor_file.h"

#include <vector>

#include "install/service_descriptor.h"
#include "log/func_trace.h"
#include "log/trace_log.h"
#include "sys/scoped_handle.h"
#include "sys/text_convert.h"

namespace {

constexpr DWORD kReadChunk = 64 * 1024;

}  // namespace

bool ReadSiteName(FuncTrace& scope, HANDLE file, std::wstring& siteName) {
    LARGE_INTEGER start = {};
    if (file == nullptr || file == INVALID_HANDLE_VALUE ||
        !SetFilePointerEx(file, start, nullptr, FILE_BEGIN)) {
        TraceMsg(scope, "velmora_server.exe Open fail___");
        return false;
    }
    ServiceDescriptorScanner scanner;
    std::vector<char> chunk(kReadChunk);
    for (;;) {
        DWORD got = 0;
        // A read error ends the reading like the end of the file does.
        if (!ReadFile(file, chunk.data(), kReadChunk, &got, nullptr) || got == 0) break;
        if (!scanner.Feed(chunk.data(), got)) break;
    }
    DescriptorReading reading = scanner.Finish();
    if (reading.outcome != DescriptorOutcome::Found) {
        TraceMsg(scope, "Wrong xml___");
        return false;
    }
    siteName = CodePageToWide(CP_UTF8, reading.siteNameUtf8);
    TraceMsg(scope, "SiteName: %S", siteName.c_str());
    return true;
}

bool ReadSiteName(FuncTrace& scope, const std::wstring& path, std::wstring& siteName) {
    ScopedKernelHandle file(CreateFileW(path.c_str(), GENERIC_READ,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    return ReadSiteName(scope, file ? file.Get() : nullptr, siteName);
}
