#include <gtest/gtest.h>

#include <string>

#include "install/reg_dword_value.h"
#include "sys/scoped_handle.h"

namespace {

// A key of its own below HKEY_CURRENT_USER\Software for each test run, removed at the end.
class RegDwordValueTest : public testing::Test {
  protected:
    void SetUp() override {
        m_root = L"Software\\VelmoraRegDwordTest" + std::to_wstring(GetCurrentProcessId());
        RegDeleteTreeW(HKEY_CURRENT_USER, m_root.c_str());
    }
    void TearDown() override { RegDeleteTreeW(HKEY_CURRENT_USER, m_root.c_str()); }

    std::wstring Key(const wchar_t* below) const { return m_root + L"\\" + below; }

    static void Put(const std::wstring& key, const wchar_t* name, DWORD type, const void* data,
                    DWORD size) {
        ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, key.c_str(), name, type, data, size),
                  ERROR_SUCCESS);
    }

    struct Stored {
        LONG result;
        DWORD type;
        DWORD size;
        DWORD value;
    };

    static Stored Get(const std::wstring& key, const wchar_t* name) {
        Stored stored = {ERROR_FILE_NOT_FOUND, REG_NONE, sizeof(DWORD), 0};
        stored.result = RegGetValueW(HKEY_CURRENT_USER, key.c_str(), name, RRF_RT_ANY, &stored.type,
                                     &stored.value, &stored.size);
        return stored;
    }

    static void ExpectDword(const Stored& stored, DWORD value) {
        EXPECT_EQ(stored.result, ERROR_SUCCESS);
        EXPECT_EQ(stored.type, static_cast<DWORD>(REG_DWORD));
        EXPECT_EQ(stored.size, 4u);
        EXPECT_EQ(stored.value, value);
    }

    std::wstring m_root;
};

TEST(RegValuePath, SplitsKeyAndValueName) {
    const struct {
        std::wstring full;
        std::wstring key;
        std::wstring name;
    } cases[] = {
        {L"Software\\Velmora\\files\\LANGUAGE", L"Software\\Velmora\\files", L"LANGUAGE"},
        {L"\\\\Software\\Velmora\\files\\LANGUAGE", L"Software\\Velmora\\files", L"LANGUAGE"},
        {L"Software\\Velmora\\files\\\\\\LANGUAGE", L"Software\\Velmora\\files", L"LANGUAGE"},
        {L"Software\\Velmora\\files\\Update\\DontQuestionDesktopShortcut",
         L"Software\\Velmora\\files\\Update", L"DontQuestionDesktopShortcut"},
        {L"Software\\Velmora\\127.0.0.1\\PRODUCT", L"Software\\Velmora\\127.0.0.1", L"PRODUCT"},
        {L"Software\\Velmora\\", L"Software\\Velmora", L""},
        {L"LANGUAGE", L"", L"LANGUAGE"},
        {L"\\LANGUAGE", L"", L"LANGUAGE"},
        {L"\\\\", L"", L""},
        {L"", L"", L""},
    };
    for (const auto& c : cases) {
        std::wstring key = L"stale";
        std::wstring name = L"stale";
        SplitRegValuePath(c.full, key, name);
        EXPECT_EQ(key, c.key) << testing::PrintToString(c.full);
        EXPECT_EQ(name, c.name) << testing::PrintToString(c.full);
    }
}

// Whatever was stored under the name before, a write leaves the number as REG_DWORD, or
// passes on the system's refusal and leaves nothing.
TEST_F(RegDwordValueTest, WriteLeavesTheNumberAsRegDwordOrReportsTheFailure) {
    const DWORD three = 3;
    const DWORD seven = 7;
    const struct {
        const char* label;
        const wchar_t* key;
        DWORD type;  // REG_NONE: no value before
        const DWORD* before;
        bool written;
    } cases[] = {
        {"missing keys", L"host\\Update", REG_NONE, nullptr, true},
        {"already 3", L"host", REG_DWORD, &three, true},
        {"other number", L"host", REG_DWORD, &seven, true},
        {"3 stored as binary", L"host", REG_BINARY, &three, true},
        // A lasting key cannot live below a volatile one, on Windows and on Wine alike.
        {"below a volatile key", L"volatile\\Update", REG_NONE, nullptr, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        RegDeleteTreeW(HKEY_CURRENT_USER, m_root.c_str());
        ScopedRegKey root;
        ScopedRegKey volatileKey;
        ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, m_root.c_str(), 0, nullptr, 0, KEY_WRITE,
                                  nullptr, root.Receive(), nullptr),
                  ERROR_SUCCESS);
        ASSERT_EQ(RegCreateKeyExW(root.Get(), L"volatile", 0, nullptr, REG_OPTION_VOLATILE,
                                  KEY_WRITE, nullptr, volatileKey.Receive(), nullptr),
                  ERROR_SUCCESS);
        if (c.before != nullptr) Put(Key(c.key), L"LANGUAGE", c.type, c.before, sizeof(DWORD));
        LONG result = RegDwordValue(L"\\\\" + Key(c.key) + L"\\\\LANGUAGE").Write(3);
        Stored stored = Get(Key(c.key), L"LANGUAGE");
        if (c.written) {
            EXPECT_EQ(result, ERROR_SUCCESS);
            ExpectDword(stored, 3);
        } else {
            EXPECT_NE(result, ERROR_SUCCESS);
            EXPECT_NE(stored.result, ERROR_SUCCESS);
        }
    }
}

}  // namespace
