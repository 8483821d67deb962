// The trace header: any clock fields, module name and ids give a header that reads back to
// what went in.

#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "fuzz_text.h"
#include "log/trace_line.h"

using fuzztext::Require;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider provider(data, size);
    TraceClock t;
    t.year = provider.ConsumeIntegral<uint16_t>();
    t.month = provider.ConsumeIntegral<uint16_t>();
    t.day = provider.ConsumeIntegral<uint16_t>();
    t.hour = provider.ConsumeIntegral<uint16_t>();
    t.minute = provider.ConsumeIntegral<uint16_t>();
    t.second = provider.ConsumeIntegral<uint16_t>();
    t.milliseconds = provider.ConsumeIntegral<uint16_t>();
    uint32_t pid = provider.ConsumeIntegral<uint32_t>();
    uint32_t tid = provider.ConsumeIntegral<uint32_t>();
    std::string name = provider.ConsumeRemainingBytesAsString();

    std::string header = TraceHeaderText(t, name, pid, tid);
    // Each field as wide as the C library's padded conversions make it.
    char clock[80];
    std::snprintf(clock, sizeof(clock), "[%04d-%02d-%02d %02d:%02d:%02d.%03d][", t.year, t.month,
                  t.day, t.hour, t.minute, t.second, t.milliseconds);
    char ids[40];
    std::snprintf(ids, sizeof(ids), "(%u), T:%u]", pid, tid);
    Require(header == clock + name + ids, "header does not read back");
    return 0;
}
