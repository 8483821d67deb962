// The whole setup against the local update server: a copy of the built program named for the
// server runs unattended from start to exit, and what it leaves behind is checked. The same
// program runs against Debian's nginx (the ctest entry setup_end_to_end_nginx).
#include <gtest/gtest.h>

#include <string>

#include "tests/fixtures/fixture_record.h"
#include "tests/support/child_process.h"
#include "tests/support/unattended_setup.h"

namespace {

struct Scheme {
    const char* name;
    const wchar_t* word;
    const wchar_t* portVariable;
};

class SetupEndToEnd : public ::testing::TestWithParam<Scheme> {};

TEST_P(SetupEndToEnd, AutomaticCopyRunsFromStartToExit) {
    const Scheme& scheme = GetParam();
    int port = _wtoi(fixture::EnvironmentValue(scheme.portVariable).c_str());
    ASSERT_GT(port, 0);
    unattended::PublishFakeService(fixture::EnvironmentValue(L"VELMORA_SERVER_ROOT_W"));
    std::wstring exeName = L"Velmora_Setup_" + std::wstring(scheme.word) + L"_" +
                           unattended::kHost + L"_" + std::to_wstring(port) + L".exe";
    unattended::ExpectCompletes(DistPath(L"Velmora_Setup.exe"), exeName, scheme.name, port);
}

INSTANTIATE_TEST_SUITE_P(Schemes, SetupEndToEnd,
                         ::testing::Values(Scheme{"http", L"http", L"VELMORA_HTTP_PORT"},
                                           Scheme{"https", L"https", L"VELMORA_HTTPS_PORT"}),
                         [](const ::testing::TestParamInfo<Scheme>& info) {
                             return std::string(info.param.name);
                         });

}  // namespace
