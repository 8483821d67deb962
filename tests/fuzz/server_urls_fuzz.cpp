// URL forming: any host, port, scheme flag and path give the documented shape, and the port
// reads back from the URL.

#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_text.h"
#include "install/server_urls.h"

using fuzztext::Require;

namespace {

bool StartsWith(const std::wstring& text, const std::wstring& front) {
    return text.compare(0, front.size(), front) == 0;
}

// ":" and the port's decimal digits, with a minus sign for a negative one.
bool IsPortSuffix(const std::wstring& suffix, int port) {
    if (suffix.size() < 2 || suffix[0] != L':') return false;
    std::wstring digits = suffix.substr(suffix[1] == L'-' ? 2 : 1);
    if (digits.empty() || digits.find_first_not_of(L"0123456789") != std::wstring::npos) {
        return false;
    }
    return std::stoll(suffix.substr(1)) == port;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider provider(data, size);
    int port = provider.ConsumeIntegral<int>();
    bool https = provider.ConsumeBool();
    std::vector<std::string> fields = fuzztext::Fields(provider.ConsumeRemainingBytesAsString(), 2);
    std::wstring host = fuzztext::Wide(fields[0]);
    std::wstring path = fuzztext::Wide(fields[1]);

    std::wstring prefix = https ? L"https://" : L"http://";
    ServiceAddress service{host, port, https};
    Require(SchemePrefix(https) == prefix, "scheme prefix does not follow the flag");

    std::wstring connection = ConnectionURL(service);
    Require(StartsWith(connection, prefix + host), "probe URL does not start scheme and host");
    std::wstring suffix = connection.substr(prefix.size() + host.size());
    Require(port == 80 ? suffix.empty() : IsPortSuffix(suffix, port),
            "probe URL port is wrong or present for 80");

    std::wstring published = PublishedFileURL(service, path);
    Require(StartsWith(published, prefix + host + L":"), "file URL does not start scheme and host");
    size_t tail = published.size() - path.size() - 1;
    Require(published.compare(tail, std::wstring::npos, L"/" + path) == 0,
            "file URL does not end in the path");
    Require(IsPortSuffix(
                published.substr(prefix.size() + host.size(), tail - prefix.size() - host.size()),
                port),
            "file URL port is wrong");
    return 0;
}
