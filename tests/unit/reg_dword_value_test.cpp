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
        ScopedRegKey handle;
        ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr,
                                  handle.Receive(), nullptr),
                  ERROR_SUCCESS);
        ASSERT_EQ(RegSetValueExW(handle.Get(), name, 0, type, static_cast<const BYTE*>(data), size),
                  ERROR_SUCCESS);
    }

    static void PutDword(const std::wstring& key, const wchar_t* name, DWORD value) {
        Put(key, name, REG_DWORD, &value, sizeof(value));
    }

    struct Stored {
        LONG result;
        DWORD type;
        DWORD size;
        DWORD value;
    };

    static Stored Get(const std::wstring& key, const wchar_t* name) {
        Stored stored = {ERROR_FILE_NOT_FOUND, REG_NONE, 0, 0};
        ScopedRegKey handle;
        stored.result =
            RegOpenKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, KEY_READ, handle.Receive());
        if (stored.result != ERROR_SUCCESS) {
            handle.Take();
            return stored;
        }
        stored.size = sizeof(stored.value);
        stored.result = RegQueryValueExW(handle.Get(), name, nullptr, &stored.type,
                                         reinterpret_cast<BYTE*>(&stored.value), &stored.size);
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

TEST_F(RegDwordValueTest, ConstructionReadsTheCurrentValue) {
    PutDword(Key(L"host"), L"LANGUAGE", 7);
    RegDwordValue present(L"\\" + Key(L"host\\LANGUAGE"), 9, false, HKEY_CURRENT_USER);
    EXPECT_EQ(present.KeyPath(), Key(L"host"));
    EXPECT_EQ(present.ValueName(), L"LANGUAGE");
    EXPECT_EQ(present.Value(), 7u);
    EXPECT_EQ(present.DefaultValue(), 9u);
    EXPECT_TRUE(present.Exists());

    RegDwordValue missingValue(Key(L"host\\PRODUCT"), 9, false, HKEY_CURRENT_USER);
    EXPECT_EQ(missingValue.Value(), 0u);
    EXPECT_FALSE(missingValue.Exists());

    RegDwordValue missingKey(Key(L"other\\LANGUAGE"), 9, false, HKEY_CURRENT_USER);
    EXPECT_EQ(missingKey.Value(), 0u);
    EXPECT_FALSE(missingKey.Exists());
}

TEST_F(RegDwordValueTest, AValueLongerThanFourBytesReadsAsMissing) {
    const wchar_t text[] = L"three";
    Put(Key(L"host"), L"LANGUAGE", REG_SZ, text, sizeof(text));
    RegDwordValue holder(Key(L"host\\LANGUAGE"), 0, false, HKEY_CURRENT_USER);
    EXPECT_EQ(holder.Value(), 0u);
    EXPECT_FALSE(holder.Exists());
}

// The value's type is not looked at: any four bytes read as the number they hold.
TEST_F(RegDwordValueTest, FourBytesOfAnyTypeReadAsTheNumber) {
    const DWORD seven = 7;
    const wchar_t letter[] = L"A";  // 'A' and NUL: 0x00000041
    const struct {
        DWORD type;
        const void* data;
        DWORD expected;
    } cases[] = {
        {REG_DWORD, &seven, 7}, {REG_BINARY, &seven, 7}, {REG_DWORD_BIG_ENDIAN, &seven, 7},
        {REG_NONE, &seven, 7},  {REG_SZ, letter, 0x41},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.type);
        Put(Key(L"host"), L"LANGUAGE", c.type, c.data, 4);
        RegDwordValue holder(Key(L"host\\LANGUAGE"), 9, false, HKEY_CURRENT_USER);
        EXPECT_TRUE(holder.Exists());
        EXPECT_EQ(holder.Value(), c.expected);
    }
}

TEST_F(RegDwordValueTest, AssigningTheStoredNumberWritesOnlyWhenForced) {
    const struct {
        bool force;
        DWORD assigned;
        bool written;
    } cases[] = {
        {false, 5, false},
        {true, 5, true},
        {false, 6, true},
        {true, 6, true},
    };
    for (const auto& c : cases) {
        PutDword(Key(L"host"), L"LANGUAGE", 5);
        RegDwordValue holder(Key(L"host\\LANGUAGE"), 0, c.force, HKEY_CURRENT_USER);
        // With the value gone behind the holder's back, only a real write brings it back.
        ASSERT_EQ(RegDeleteKeyValueW(HKEY_CURRENT_USER, Key(L"host").c_str(), L"LANGUAGE"),
                  ERROR_SUCCESS);
        holder = c.assigned;
        EXPECT_EQ(holder.Value(), c.assigned);
        Stored stored = Get(Key(L"host"), L"LANGUAGE");
        if (c.written) {
            ExpectDword(stored, c.assigned);
        } else {
            EXPECT_EQ(stored.result, ERROR_FILE_NOT_FOUND);
        }
    }
}

TEST_F(RegDwordValueTest, WriteCreatesMissingKeys) {
    RegDwordValue holder(Key(L"host\\Update\\DontQuestionDesktopShortcut"), 0, false,
                         HKEY_CURRENT_USER);
    EXPECT_FALSE(holder.Exists());
    holder = 1;
    EXPECT_TRUE(holder.Exists());
    ExpectDword(Get(Key(L"host\\Update"), L"DontQuestionDesktopShortcut"), 1);
}

TEST_F(RegDwordValueTest, AKeyThatCannotBeCreatedLeavesNothingWritten) {
    // A lasting key cannot live below a volatile one, on Windows and on Wine alike.
    ScopedRegKey volatileKey;
    ASSERT_EQ(
        RegCreateKeyExW(HKEY_CURRENT_USER, Key(L"volatile").c_str(), 0, nullptr,
                        REG_OPTION_VOLATILE, KEY_WRITE, nullptr, volatileKey.Receive(), nullptr),
        ERROR_SUCCESS);
    RegDwordValue holder(Key(L"volatile\\Update\\DontQuestionDesktopShortcut"), 0, false,
                         HKEY_CURRENT_USER);
    EXPECT_FALSE(holder.Write());
    EXPECT_FALSE(holder.Exists());
    holder = 1;
    EXPECT_EQ(holder.Value(), 1u);
    EXPECT_FALSE(holder.Exists());
    EXPECT_NE(Get(Key(L"volatile\\Update"), L"DontQuestionDesktopShortcut").result, ERROR_SUCCESS);
}

TEST_F(RegDwordValueTest, ReadingNeedsOnlyReadAccess) {
    PutDword(Key(L"host"), L"LANGUAGE", 7);
    ScopedRegKey readOnly;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, m_root.c_str(), 0, KEY_READ, readOnly.Receive()),
              ERROR_SUCCESS);
    RegDwordValue present(L"host\\LANGUAGE", 0, false, readOnly.Get());
    EXPECT_EQ(present.Value(), 7u);
    EXPECT_TRUE(present.Exists());
}

TEST_F(RegDwordValueTest, StoreLeavesTheNumberAsRegDwordWhateverWasThere) {
    const DWORD three = 3;
    const DWORD seven = 7;
    const struct {
        const char* label;
        DWORD type;  // REG_NONE: no value before
        const DWORD* before;
    } cases[] = {
        {"missing key", REG_NONE, nullptr},
        {"already 3", REG_DWORD, &three},
        {"other number", REG_DWORD, &seven},
        // Read as 3 since the type is not looked at, so only the final write fixes the type.
        {"3 stored as binary", REG_BINARY, &three},
    };
    for (const auto& c : cases) {
        RegDeleteTreeW(HKEY_CURRENT_USER, m_root.c_str());
        if (c.before != nullptr) Put(Key(L"host"), L"LANGUAGE", c.type, c.before, sizeof(DWORD));
        EXPECT_TRUE(StoreRegDword(L"\\\\" + Key(L"host\\\\LANGUAGE"), 3)) << c.label;
        SCOPED_TRACE(c.label);
        ExpectDword(Get(Key(L"host"), L"LANGUAGE"), 3);
    }
}

}  // namespace
