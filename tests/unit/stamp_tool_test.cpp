#include "tests/support/whole_run.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "tests/support/child_process.h"
#include "tools/stamp/stamp_image.h"

namespace {

using velmora_stamp::StampResult;

std::vector<unsigned char> Utf16Bytes(const std::u16string& text) {
    std::vector<unsigned char> bytes;
    for (char16_t unit : text) {
        bytes.push_back(static_cast<unsigned char>(unit & 0xFF));
        bytes.push_back(static_cast<unsigned char>(unit >> 8));
    }
    return bytes;
}

// An image with the buffer as a build leaves it, between some other bytes.
std::vector<unsigned char> BuiltImage() {
    std::vector<unsigned char> image(100, 0xCC);
    std::u16string buffer(1, u'\0');
    buffer += velmora_stamp::kMarker;
    buffer.resize(velmora_stamp::kBufferUnits, u'\0');
    std::vector<unsigned char> bytes = Utf16Bytes(buffer);
    image.insert(image.end(), bytes.begin(), bytes.end());
    image.insert(image.end(), 64, 0xDD);
    return image;
}

std::vector<unsigned char> AsBytes(const std::string& text) {
    return std::vector<unsigned char>(text.begin(), text.end());
}

std::u16string BufferText(const std::vector<unsigned char>& image, size_t offset) {
    std::u16string text;
    for (size_t at = offset; image[at] != 0 || image[at + 1] != 0; at += 2)
        text += velmora_stamp::ReadUnit(image, at);
    return text;
}

std::wstring Quoted(const std::wstring& text) { return L"\"" + text + L"\""; }

// A pin made of one repeated byte, and its text.
PublisherPin PinOf(unsigned char byte) {
    PublisherPin pin;
    pin.fill(byte);
    return pin;
}
std::wstring PinArgument(unsigned char byte) {
    std::string text = PinText(PinOf(byte));
    return std::wstring(text.begin(), text.end());
}

// The units of the buffer at offset that follow the marker's NUL, to the buffer's end.
std::vector<uint16_t> UnitsAfterMarker(const std::vector<unsigned char>& image, size_t buffer,
                                       size_t addressUnits) {
    std::vector<uint16_t> units;
    for (size_t unit = addressUnits + 2 + velmora_stamp::kMarkerUnits;
         unit < velmora_stamp::kBufferUnits; ++unit)
        units.push_back(velmora_stamp::ReadUnit(image, buffer + unit * 2));
    return units;
}

}  // namespace

TEST(StampImage, AddressChecks) {
    const std::string longest(velmora_stamp::kMaxAddressUnits, 'a');
    struct Case {
        std::string address;
        StampResult result;
    };
    const Case cases[] = {
        {"files.example.com", StampResult::Stamped},
        {"files.example.com:8443", StampResult::Stamped},
        {"10.0.0.7:1", StampResult::Stamped},
        {"host-1:65535", StampResult::Stamped},
        {longest, StampResult::Stamped},
        {"", StampResult::AddressEmpty},
        {longest + "a", StampResult::AddressTooLong},
        {"https://files.example.com", StampResult::AddressInvalid},
        {"files.example.com/app", StampResult::AddressInvalid},
        {"files example.com", StampResult::AddressInvalid},
        {"files_example.com", StampResult::AddressInvalid},
        {":8443", StampResult::AddressInvalid},
        {"host:", StampResult::AddressInvalid},
        {"host:0", StampResult::AddressInvalid},
        {"host:65536", StampResult::AddressInvalid},
        {"host:84a3", StampResult::AddressInvalid},
        {"host:1:2", StampResult::AddressInvalid},
        {"h\xC3\xA9st", StampResult::AddressInvalid},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "address case " << (&c - cases));
        std::vector<unsigned char> image = BuiltImage();
        const std::vector<unsigned char> before = image;
        StampResult result = velmora_stamp::StampImage(image, c.address);
        EXPECT_EQ(result, c.result);
        if (result == StampResult::Stamped) {
            EXPECT_EQ(BufferText(image, 100), std::u16string(c.address.begin(), c.address.end()));
            EXPECT_EQ(image.size(), before.size());
            EXPECT_TRUE(std::equal(before.begin(), before.begin() + 100, image.begin()));
            EXPECT_TRUE(std::equal(before.end() - 64, before.end(), image.end() - 64));
        } else {
            EXPECT_EQ(image, before);
        }
    }
}

TEST(StampImage, BufferChecks) {
    std::vector<unsigned char> twice = BuiltImage();
    std::vector<unsigned char> second = BuiltImage();
    twice.insert(twice.end(), second.begin(), second.end());
    std::vector<unsigned char> cutShort = BuiltImage();
    cutShort.resize(100 + 2 * 500);
    std::vector<unsigned char> dirtyTail = BuiltImage();
    dirtyTail[100 + 2 * 1000] = 'x';
    std::vector<unsigned char> stamped = BuiltImage();
    ASSERT_EQ(velmora_stamp::StampImage(stamped, "first.example.com"), StampResult::Stamped);

    struct Case {
        const char* what;
        std::vector<unsigned char> image;
        StampResult result;
    };
    const Case cases[] = {
        {"no marker", AsBytes(std::string(4096, '\0')), StampResult::MarkerMissing},
        {"two markers", twice, StampResult::MarkerNotUnique},
        {"buffer cut by the file end", cutShort, StampResult::BufferDamaged},
        {"buffer tail not empty", dirtyTail, StampResult::BufferDamaged},
        {"already stamped", stamped, StampResult::AlreadyStamped},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<unsigned char> image = c.image;
        EXPECT_EQ(velmora_stamp::StampImage(image, "files.example.com"), c.result);
        EXPECT_EQ(image, c.image);
    }
}

// Without pins the stamp is what it always was: zeros after the marker. With pins the address
// may be empty, and the pins follow the marker in their versioned layout.
TEST(StampImage, PinsFollowTheMarker) {
    const std::string longest(velmora_stamp::kMaxPinnedAddressUnits, 'a');
    struct Case {
        const char* what;
        std::string address;
        std::vector<PublisherPin> pins;
        StampResult result;
    };
    const Case cases[] = {
        {"address alone", "files.example.com", {}, StampResult::Stamped},
        {"pin alone", "", {PinOf(0x11)}, StampResult::Stamped},
        {"address and four pins",
         "files.example.com:81",
         {PinOf(1), PinOf(2), PinOf(3), PinOf(0xFE)},
         StampResult::Stamped},
        {"longest address with a pin", longest, {PinOf(7)}, StampResult::Stamped},
        {"neither address nor pin", "", {}, StampResult::AddressEmpty},
        {"five pins",
         "files.example.com",
         {PinOf(1), PinOf(2), PinOf(3), PinOf(4), PinOf(5)},
         StampResult::TooManyPins},
        {"address too long beside a pin", longest + "a", {PinOf(7)}, StampResult::AddressTooLong},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::vector<unsigned char> built = BuiltImage();
        std::vector<unsigned char> image = built;
        ASSERT_EQ(velmora_stamp::StampImage(image, c.address, c.pins), c.result);
        if (c.result != StampResult::Stamped) {
            EXPECT_EQ(image, built);
            continue;
        }
        EXPECT_EQ(BufferText(image, 100), std::u16string(c.address.begin(), c.address.end()));
        EXPECT_EQ(velmora_stamp::ReadUnit(image, 100 + 2 * (c.address.size() + 1)), u'#');
        std::vector<uint16_t> after = UnitsAfterMarker(image, 100, c.address.size());
        std::vector<uint16_t> expected;
        if (!c.pins.empty()) {
            expected = {1, static_cast<uint16_t>(c.pins.size())};
            for (const PublisherPin& pin : c.pins) {
                for (size_t i = 0; i < pin.size(); i += 2)
                    expected.push_back(static_cast<uint16_t>(pin[i] | (pin[i + 1] << 8)));
            }
        }
        expected.resize(after.size(), 0);
        EXPECT_EQ(after, expected);
        PublisherPins read = DecodeStampedPins(after.data(), after.size());
        EXPECT_FALSE(read.unreadable);
        EXPECT_EQ(read.keys, c.pins);
        // Everything outside the buffer is as built.
        EXPECT_TRUE(std::equal(built.begin(), built.begin() + 100, image.begin()));
        EXPECT_TRUE(std::equal(built.end() - 64, built.end(), image.end() - 64));
    }
}

// A stamp whose pins cannot be read keeps the check on with nothing to match; only zeros mean
// no pin.
TEST(PublisherPins, DamagedLayoutIsPinnedToNothing) {
    std::vector<uint16_t> one = {1, 1};
    one.resize(2 + kPinUnits, 0x4141);
    struct Case {
        const char* what;
        std::vector<uint16_t> units;
        bool unreadable;
        size_t keys;
    };
    const Case cases[] = {
        {"zeros", std::vector<uint16_t>(70, 0), false, 0},
        {"nothing after the marker", {}, false, 0},
        {"one pin", one, false, 1},
        {"unknown version", {2, 1, 0x4141}, true, 0},
        {"no pins counted", {1, 0}, true, 0},
        {"five pins counted", {1, 5, 0x4141}, true, 0},
        {"pin cut short", std::vector<uint16_t>(one.begin(), one.end() - 1), true, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        PublisherPins pins = DecodeStampedPins(c.units.data(), c.units.size());
        EXPECT_EQ(pins.unreadable, c.unreadable);
        EXPECT_EQ(pins.keys.size(), c.keys);
        EXPECT_EQ(pins.InForce(), c.unreadable || c.keys > 0);
    }
}

TEST(PublisherPins, PinTextIsSixtyFourHexDigits) {
    const std::string good = "890D7645c4fc9d6f58a5e53fd5d54211024770076d1b8b1c641ca2039c7d894a";
    PublisherPin pin;
    ASSERT_TRUE(ParsePinText(good, pin));
    EXPECT_EQ(pin[0], 0x89);
    EXPECT_EQ(pin[31], 0x4a);
    EXPECT_EQ(PinText(pin), "890d7645c4fc9d6f58a5e53fd5d54211024770076d1b8b1c641ca2039c7d894a");
    for (const std::string& bad : {good.substr(1), good + "0", "g" + good.substr(1),
                                   good.substr(0, 63) + " ", std::string()}) {
        SCOPED_TRACE(bad);
        EXPECT_FALSE(ParsePinText(bad, pin));
    }
}

TEST(StampImage, BuiltProgramCarriesTheWholeBuffer) {
    std::vector<unsigned char> image = AsBytes(ReadWholeFile(DistPath(L"Velmora_Setup.exe")));
    size_t buffer = 0;
    ASSERT_EQ(velmora_stamp::LocateBuffer(image, buffer), StampResult::Stamped);
    EXPECT_EQ(velmora_stamp::ReadUnit(image, buffer), 0);
    EXPECT_EQ(BufferText(image, buffer + 2), std::u16string(velmora_stamp::kMarker));
}

// The built program with its certificate-table entry (address, size) set as a signer sets it.
std::vector<unsigned char> WithCertificateTable(unsigned long address, unsigned long size) {
    std::vector<unsigned char> image = AsBytes(ReadWholeFile(DistPath(L"Velmora_Setup.exe")));
    size_t entry = 0;
    if (!velmora_stamp::FindCertificateEntry(image, entry)) return {};
    for (int i = 0; i < 4; ++i) {
        image[entry + i] = static_cast<unsigned char>(address >> (8 * i));
        image[entry + 4 + i] = static_cast<unsigned char>(size >> (8 * i));
    }
    return image;
}

TEST(StampImage, SignedProgramIsRefused) {
    std::vector<unsigned char> truncated = WithCertificateTable(0x1000, 0x800);
    truncated.resize(velmora_stamp::ReadLong(truncated, 0x3C) + 100);
    struct Case {
        const char* what;
        std::vector<unsigned char> image;
        StampResult result;
    };
    const Case cases[] = {
        {"as built", WithCertificateTable(0, 0), StampResult::Stamped},
        {"certificate table in use", WithCertificateTable(0x1000, 0x800), StampResult::Signed},
        {"only its size set", WithCertificateTable(0, 0x800), StampResult::Signed},
        {"headers cut short", truncated, StampResult::MarkerMissing},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<unsigned char> image = c.image;
        EXPECT_EQ(velmora_stamp::StampImage(image, "files.example.com"), c.result);
        if (c.result != StampResult::Stamped) {
            EXPECT_EQ(image, c.image);
        }
    }
}

TEST(StampTool, RefusesWithoutWritingAndNeverTouchesTheInput) {
    TempFolder folder(L"stamp_tool");
    std::wstring tool = DistPath(L"velmora-stamp.exe");
    std::wstring in = folder.File(L"Velmora_Setup.exe");
    ASSERT_TRUE(CopyProgram(DistPath(L"Velmora_Setup.exe"), in));
    const std::string original = ReadWholeFile(in);
    std::wstring stamped = folder.File(L"stamped.exe");
    ASSERT_EQ(RunToEnd(tool, Quoted(in) + L" " + Quoted(stamped) + L" files.example.com"), 0);
    // The copy differs only in the buffer, which now starts with the address.
    std::vector<unsigned char> before = AsBytes(original);
    std::vector<unsigned char> after = AsBytes(ReadWholeFile(stamped));
    size_t buffer = 0;
    ASSERT_EQ(velmora_stamp::LocateBuffer(before, buffer), StampResult::Stamped);
    ASSERT_EQ(after.size(), before.size());
    EXPECT_EQ(BufferText(after, buffer), u"files.example.com");
    EXPECT_TRUE(std::equal(before.begin(), before.begin() + buffer, after.begin()));
    size_t bufferEnd = buffer + 2 * velmora_stamp::kBufferUnits;
    EXPECT_TRUE(std::equal(before.begin() + bufferEnd, before.end(), after.begin() + bufferEnd));
    std::wstring noMarker = folder.File(L"plain.exe");
    ASSERT_TRUE(CopyProgram(DistPath(L"velmora-stamp.exe"), noMarker));
    std::vector<unsigned char> signedImage = WithCertificateTable(0x1000, 0x800);
    std::wstring signedIn = folder.File(L"signed.exe");
    ASSERT_TRUE(WriteWholeFile(signedIn, std::string(signedImage.begin(), signedImage.end())));
    std::wstring notCertificate = folder.File(L"not_a_certificate.pem");
    ASSERT_TRUE(WriteWholeFile(notCertificate,
                               "-----BEGIN CERTIFICATE-----\n@@@@\n"
                               "-----END CERTIFICATE-----\n"));
    std::wstring fivePins;
    for (unsigned char byte = 1; byte <= 5; ++byte)
        fivePins += L" --publisher " + PinArgument(byte);
    const std::wstring pin = L" --publisher " + PinArgument(0x42);

    struct Case {
        std::wstring input;
        std::wstring address;
        long exitCode;
    };
    const Case cases[] = {
        {in, L"\"\"", 1},
        {in, L"https://files.example.com", 1},
        {in, L"files.example.com:99999", 1},
        {in, std::wstring(velmora_stamp::kMaxAddressUnits + 1, L'a'), 1},
        {stamped, L"other.example.com", 1},
        {noMarker, L"files.example.com", 1},
        {signedIn, L"files.example.com", 1},
        {folder.File(L"missing.exe"), L"files.example.com", 3},
        {in, L"files.example.com --publisher " + PinArgument(0x42).substr(1), 1},
        {in, L"files.example.com --publisher g" + PinArgument(0x42).substr(1), 1},
        {in, L"files.example.com" + fivePins, 1},
        {in, L"files.example.com --publisher-cert " + Quoted(notCertificate), 1},
        {in, L"files.example.com --publisher-cert " + Quoted(folder.File(L"none.pem")), 1},
        {in, L"files.example.com --publisher-cert " + Quoted(in), 1},
        {in, std::wstring(velmora_stamp::kMaxPinnedAddressUnits + 1, L'a') + pin, 1},
        {stamped, L"\"\"" + pin, 1},
        {in, L"files.example.com --publisher", 2},
        {in, L"files.example.com --publishers " + PinArgument(0x42), 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "refusal case " << (&c - cases));
        std::wstring out = folder.File(L"out.exe");
        EXPECT_EQ(RunToEnd(tool, Quoted(c.input) + L" " + Quoted(out) + L" " + c.address),
                  c.exitCode);
        EXPECT_EQ(GetFileAttributesW(out.c_str()), INVALID_FILE_ATTRIBUTES);
    }
    // An OUT that stands there and cannot be replaced is left as it was, with nothing beside it.
    const std::wstring readOnly = folder.File(L"read_only.exe");
    ASSERT_TRUE(WriteWholeFile(readOnly, "the user's own file"));
    ASSERT_TRUE(SetFileAttributesW(readOnly.c_str(), FILE_ATTRIBUTE_READONLY));
    const std::wstring folderOut = folder.File(L"folder.exe");
    ASSERT_TRUE(CreateDirectoryW(folderOut.c_str(), nullptr));
    struct StandingCase {
        const char* what;
        std::wstring out;
        DWORD attributes;
        std::string content;
    };
    const StandingCase standing[] = {
        {"read-only file", readOnly, FILE_ATTRIBUTE_READONLY, "the user's own file"},
        {"empty folder", folderOut, FILE_ATTRIBUTE_DIRECTORY, ""},
    };
    for (const StandingCase& c : standing) {
        SCOPED_TRACE(c.what);
        const std::set<std::wstring> before = whole_run::NamesIn(folder.Path());
        EXPECT_EQ(RunToEnd(tool, Quoted(in) + L" " + Quoted(c.out) + L" files.example.com"), 3);
        EXPECT_EQ(GetFileAttributesW(c.out.c_str()) & c.attributes, c.attributes);
        if (c.attributes != FILE_ATTRIBUTE_DIRECTORY) {
            EXPECT_EQ(ReadWholeFile(c.out), c.content);
        }
        EXPECT_EQ(whole_run::NamesIn(folder.Path()), before);
    }
    SetFileAttributesW(readOnly.c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(RunToEnd(tool, Quoted(in) + L" " + Quoted(in) + L" files.example.com"), 2);
    EXPECT_EQ(RunToEnd(tool, Quoted(in)), 2);
    for (const std::wstring& file : {notCertificate, folder.File(L"none.pem"), in})
        EXPECT_EQ(RunToEnd(tool, L"--pin-of " + Quoted(file)), 1);
    EXPECT_EQ(ReadWholeFile(in), original);
}

// The pins come from the stamp alone: options may stand before the three arguments, an empty
// address leaves the file name and the settings file in charge as in an unstamped copy, and
// neither of them adds or removes a pin.
TEST(StampTool, PinnedCopyCarriesItsPinsWhateverGivesTheAddress) {
    TempFolder folder(L"stamp_pins");
    std::wstring in = folder.File(L"preset_probe.exe");
    ASSERT_TRUE(CopyProgram(FixturePath(L"preset_probe.exe"), in));
    std::wstring out = folder.File(L"Velmora_Setup_https_other.example.com_443.exe");
    ASSERT_EQ(RunToEnd(DistPath(L"velmora-stamp.exe"),
                       L"--publisher " + PinArgument(0xA1) + L" " + Quoted(in) + L" " +
                           Quoted(out) + L" \"\" --publisher " + PinArgument(0x0B)),
              0);
    const std::string pins = "pins=" + PinText(PinOf(0xA1)) + "," + PinText(PinOf(0x0B)) + "\n";
    std::wstring report = folder.File(L"report.txt");
    ASSERT_EQ(RunToEnd(out, Quoted(report)), 0);
    EXPECT_EQ(ReadWholeFile(report), "text=other.example.com:443\nhttps=1\nautomatic=1\n" + pins);

    ASSERT_TRUE(WriteWholeFile(folder.File(L"Velmora_Setup.ini"),
                               "[updateurl]\r\nurl=ini.example.com\r\npins=\r\n"));
    ASSERT_EQ(RunToEnd(out, Quoted(report)), 0);
    EXPECT_EQ(ReadWholeFile(report), "text=ini.example.com\nhttps=0\nautomatic=0\n" + pins);
}

TEST(StampTool, StampedCopyStartsInAutomaticModeWithTheAddress) {
    TempFolder folder(L"stamp_run");
    std::wstring in = folder.File(L"preset_probe.exe");
    ASSERT_TRUE(CopyProgram(FixturePath(L"preset_probe.exe"), in));
    const std::string original = ReadWholeFile(in);
    // The file name asks for https; the stamp wins and always means http.
    std::wstring out = folder.File(L"Velmora_Setup_https_other.example.com_443.exe");
    ASSERT_EQ(RunToEnd(DistPath(L"velmora-stamp.exe"),
                       Quoted(in) + L" " + Quoted(out) + L" files.example.com:8443"),
              0);
    EXPECT_EQ(ReadWholeFile(in), original);

    std::wstring report = folder.File(L"report.txt");
    ASSERT_EQ(RunToEnd(out, Quoted(report)), 0);
    EXPECT_EQ(ReadWholeFile(report), "text=files.example.com:8443\nhttps=0\nautomatic=1\npins=\n");
}

// A stamped copy signed afterwards, as tests/signed_copy_test.sh hands it over: the stamping
// tool refuses it, and it still runs the whole setup unattended.
TEST(SignedCopy, CannotBeStampedAgainAndSetsUpUnattended) {
    std::wstring signedCopy = fixture::EnvironmentValue(L"VELMORA_SIGNED_COPY_W");
    if (signedCopy.empty()) GTEST_SKIP() << "the ctest entry stamp_signed_copy signs the copy";
    const std::string original = ReadWholeFile(signedCopy);
    ASSERT_TRUE(velmora_stamp::HasAuthenticodeSignature(AsBytes(original)));

    TempFolder folder(L"stamp_signed");
    std::wstring out = folder.File(L"out.exe");
    EXPECT_EQ(RunToEnd(DistPath(L"velmora-stamp.exe"),
                       Quoted(signedCopy) + L" " + Quoted(out) + L" files.example.com"),
              1);
    EXPECT_EQ(GetFileAttributesW(out.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(ReadWholeFile(signedCopy), original);

    whole_run::WholeRunner(whole_run::Completing("SignedCopy", whole_run::Endpoint::Http))
        .Go(signedCopy, L"Velmora_Setup_Sales.exe");
}

// A copy pinned to the test publisher by the Linux tool and signed afterwards, named for the
// server: it runs what that publisher signed, unattended, each after its check.
TEST(SignedCopy, PinnedCopyRunsThePublishersPrograms) {
    std::wstring pinnedCopy = fixture::EnvironmentValue(L"VELMORA_PINNED_COPY_W");
    if (pinnedCopy.empty()) GTEST_SKIP() << "the ctest entry stamp_signed_copy signs the copy";
    using namespace whole_run;
    WholeRun row = Succeeding("PinnedSignedCopy", Endpoint::Http);
    row.installerSigning = Signing::Publisher;
    row.agentSigning = Signing::Publisher;
    row.lines = {Line("Velmora ActiveX 7i_jp.exe publisher pinned..."), Line(kInstallerRun),
                 Line("QLUpdate.exe publisher pinned..."), Line(kAgentRun)};
    WholeRunner(row).Go(pinnedCopy);
}
