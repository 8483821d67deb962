#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "app/module_name_address.h"
#include "ui/preset_split.h"
#include "install/service_descriptor.h"
#include "install/publisher_pins.h"
#include "install/sha256.h"

// Native checks of what depends on the platform's sizes (32-bit wchar_t, 64-bit long) and of
// the limits the Wine suite's tables stay inside.

namespace {

// The published test vectors, and lengths on each side of the one-or-two-block padding edge.
TEST(NativeSha256, KnownDigests) {
    struct Case {
        std::string message;
        const char* digest;
    };
    const Case cases[] = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {std::string(55, 'a'), "9f4390f8d30c2dd92ec9f095b65e2b9ae9b0a925a5258e241c9f1e910f734318"},
        {std::string(64, 'a'), "ffe054fe7ae0cb6dc65c3af9b61d5209f439851db43d0ba5997337df154668eb"},
        {std::string(1000000, 'a'),
         "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message.size());
        Sha256Digest digest =
            Sha256(reinterpret_cast<const unsigned char*>(c.message.data()), c.message.size());
        EXPECT_EQ(PinText(digest), c.digest);
    }
}

TEST(NativePresetSplit, PortSaturatesAtTheLimitsOfInt) {
    struct Case {
        const wchar_t* preset;
        int port;
    };
    const Case cases[] = {
        {L"host:99999999999", INT_MAX}, {L"host:-99999999999", INT_MIN},
        {L"host:2147483647", INT_MAX},  {L"host:2147483648", INT_MAX},
        {L"host:-2147483648", INT_MIN}, {L"host:4294967376", INT_MAX},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "case " << (&c - cases));
        EXPECT_EQ(SplitPresetAddress(c.preset).port, c.port);
    }
}

TEST(NativeModuleNameAddress, FieldEdges) {
    struct Case {
        const wchar_t* name;
        bool parsed;
        const wchar_t* preset;
        int https;
    };
    const Case cases[] = {
        {L"a_https_host_", false, L"", 0},
        {L"a_https_host_8a", false, L"", 0},
        {L"a_https_host_-1", false, L"", 0},
        {L"a__host_80", false, L"", 0},
        {L"a_https__80", false, L"", 0},
        {L"a_b_c_https_h_1", true, L"h:1", 1},
        {L"a_https_ho:st_80", true, L"ho:st:80", 1},
        {L"a_https_\xC601\xC5C5_80", true, L"\xC601\xC5C5:80", 1},
        {L"a_https_h_99999999999999999999", true, L"h:99999999999999999999", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "case " << (&c - cases));
        std::wstring preset;
        int https = 7;
        ASSERT_EQ(ParseModuleNameAddress(c.name, preset, https), c.parsed);
        if (!c.parsed) continue;
        EXPECT_EQ(preset, c.preset);
        EXPECT_EQ(https, c.https);
    }
}

// The name goes on as the bytes that stand in the file; what no character encodes stays too.
TEST(NativeDescriptor, SiteNameKeepsItsBytes) {
    struct Case {
        const char* label;
        std::string name;
        std::string kept;
    };
    const Case cases[] = {
        {"beyond the basic plane", "\xF0\x9F\x98\x80x", "\xF0\x9F\x98\x80x"},
        {"ill-formed byte",
         "a\xFF"
         "b",
         "a\xFF"
         "b"},
        {"name cut inside a character", std::string("\xEC\x98\0\x81", 4), "\xEC\x98"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        std::string bytes = "<servicename>" + c.name + "</servicename>\n";
        DescriptorReading reading = ParseServiceDescriptor(bytes.data(), bytes.size());
        EXPECT_EQ(reading.outcome, DescriptorOutcome::Found);
        EXPECT_EQ(reading.siteNameUtf8, c.kept);
    }
}

}  // namespace
