#include <gtest/gtest.h>

#include <map>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "ui/message_text.h"
#include "res/resource.h"
#include "sys/scoped_handle.h"
#include "tests/support/resource_script.h"

namespace {

struct ShownText {
    UINT16 constant;
    UINT16 id;
    const wchar_t* text;
};

// Every text this build shows, by the constant the code names it with and its fixed id.
const ShownText kShownTexts[] = {
    {IDS_ABOUTBOX, 101, L"&About Velmora_Setup..."},
    {IDS_SETUP_TITLE, 170, L"Install - Velmora Setup"},
    {IDS_ADDRESS_INFO, 188,
     L"設置を始めるためにはURLが必要です。\n\nURLは内部で使用しているVelmoraアドレスを意味します"
     L"。\nURL情報が分からない場合は、管理者にお問い下さい。"},
    {IDS_ADDRESS_GROUP, 134, L"接続アドレス"},
    {IDS_NEXT, 195, L"次へ(&N) >"},
    {IDS_CANCEL, 146, L"キャンセル"},
    {IDS_ADDRESS_HEADER_TITLE, 176, L"URL入力"},
    {IDS_ADDRESS_HEADER_SUBTITLE, 182, L"設置するためにはURLが必要です。"},
    {IDS_SERVER_UNREACHABLE, 201, L"アップデートサーバーへのアクセスができません。"},
    {IDS_DOWNLOAD_INFO, 208, L"インストールに必要なファイルをダウンロードします。"},
    {IDS_PREV, 214, L"< 戻る(&B)"},
    {IDS_COMPLETED, 232, L"完了"},
    {IDS_DOWNLOAD_HEADER_TITLE, 220, L"設置"},
    {IDS_DOWNLOAD_HEADER_SUBTITLE, 226, L"インストールを続行します。"},
    {IDS_LAUNCHER_DOWNLOADING, 122, L"Velmora統合設置プログラムをダウンロードしています。"},
    {IDS_LAUNCHER_INSTALLING, 158, L"Velmoraランチャーコントロールを設置します。"},
    {IDS_AGENT_INSTALLING, 164, L"Velmoraを設置します。"},
};

TEST(MessageText, EveryShownIdLoadsExactlyItsText) {
    for (const ShownText& shown : kShownTexts) {
        SCOPED_TRACE(shown.id);
        EXPECT_EQ(shown.constant, shown.id);
        EXPECT_EQ(LoadMessageText(shown.id), shown.text);
    }
}

// Entries never shown by this build, including the two exceptions to the brand rule.
const std::pair<UINT16, const wchar_t*> kOtherTexts[] = {
    {102, L"Velmora 설치를 시작합니다."},
    {105, L"Corvane 설치를 시작합니다."},
    {107, L"Corvane統合設置を開始します。"},
    {159, L"ActiveX 컨트롤을 설치합니다."},
    {160, L"Corvane ActiveX Controller."},
    {161, L"Corvaneランチャーコントロールを設置します。"},
    {169, L"Install - Velmora Setup"},
    {172, L"Install - Corvane Setup"},
    {187,
     L"URL must be entered to start the installation.\n\nURL means the address of the internal "
     L"office line Velmora. \nIf you do not know this information, please contact your "
     L"administrator."},
    {193, L"다음(&N) >"},
    {199, L"서비스에 접속할 수 없습니다.\n접속주소가 정확한 지 확인하시기 바랍니다."},
    {206, L"설치에 필요한 파일들을 다운로드 받습니다."},
    {211, L"インストールに必要なファイルをダウンロードします。"},
    {234, L"Completed"},
    {235, L"完了"},
    {236, L"Ostrel 설치를 시작합니다."},
    {240,
     L"통합 설치를 시작하려면 접속 주소를 입력하셔야 합니다.\n접속주소에는 Ostrel 로그인 주소를 "
     L"입력해 주세요."},
    {247, L"설치 - Ostrel 통합 설치 프로그램"},
    {252, L"업데이트할 서버에 접속할 수 없습니다."},
    {257, L"완료"},
};

TEST(MessageText, SampleOfOtherColumnsAndBrands) {
    for (const auto& entry : kOtherTexts) {
        SCOPED_TRACE(entry.first);
        EXPECT_EQ(LoadMessageText(entry.first), entry.second);
    }
}

// First id of each message in the six-column part of the table.
std::vector<UINT16> FirstIdsOfMessages() {
    std::vector<UINT16> ids;
    for (UINT16 id = 102; ids.size() < 22; id += 6) {
        if (id == 192 || id == 205) {
            ++id;
        }
        ids.push_back(id);
    }
    return ids;
}

std::wstring ReplaceBrand(std::wstring text, const std::wstring& brand) {
    const std::wstring velmora = L"Velmora";
    for (size_t pos = text.find(velmora); pos != std::wstring::npos;
         pos = text.find(velmora, pos + brand.size())) {
        text.replace(pos, velmora.size(), brand);
    }
    return text;
}

// The other brands repeat the Velmora columns with the brand name changed, apart from two
// entries; this holds every entry of the table against the Velmora ones.
TEST(MessageText, OtherBrandsFollowVelmoraColumns) {
    std::vector<UINT16> firsts = FirstIdsOfMessages();
    ASSERT_EQ(firsts.back(), 230);
    for (size_t k = 0; k < firsts.size(); ++k) {
        UINT16 first = firsts[k];
        for (UINT16 column = 0; column < 3; ++column) {
            UINT16 corvane = static_cast<UINT16>(first + 3 + column);
            if (corvane == 160) {
                continue;
            }
            SCOPED_TRACE(corvane);
            std::wstring velmora = LoadMessageText(static_cast<UINT16>(first + column));
            ASSERT_FALSE(velmora.empty());
            EXPECT_EQ(LoadMessageText(corvane), ReplaceBrand(velmora, L"Corvane"));
        }
        UINT16 ostrel = static_cast<UINT16>(236 + k);
        if (ostrel != 252) {
            SCOPED_TRACE(ostrel);
            EXPECT_EQ(LoadMessageText(ostrel), ReplaceBrand(LoadMessageText(first), L"Ostrel"));
        }
    }
}

TEST(MessageText, MissingIdsLoadEmpty) {
    for (int id : {0, 100, 192, 205, 258, 300, 4000, 61440, 65535}) {
        SCOPED_TRACE(id);
        EXPECT_EQ(LoadMessageText(static_cast<UINT16>(id)), L"");
    }
}

TEST(MessageText, TableHasEveryIdFrom101To257But192And205) {
    for (UINT16 id = 101; id <= 257; ++id) {
        SCOPED_TRACE(id);
        EXPECT_EQ(LoadMessageText(id).empty(), id == 192 || id == 205);
    }
}

TEST(MessageText, LineFeedsAreRealCharacters) {
    std::wstring text = LoadMessageText(IDS_ADDRESS_INFO);
    EXPECT_EQ(text.find(L'\\'), std::wstring::npos);
    EXPECT_EQ(text.find(L'\r'), std::wstring::npos);
    EXPECT_EQ(std::count(text.begin(), text.end(), L'\n'), 3);
}

TEST(MessageText, DoesNotFollowTheThreadLanguage) {
    LANGID before = GetThreadUILanguage();
    SetThreadUILanguage(MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
    std::wstring title = LoadMessageText(IDS_SETUP_TITLE);
    std::wstring next = LoadMessageText(IDS_NEXT);
    SetThreadUILanguage(before);
    EXPECT_EQ(title, L"Install - Velmora Setup");
    EXPECT_EQ(next, L"次へ(&N) >");
}

// Every entry of the resource script's string table, and no other id, as the built program
// carries it.
TEST(MessageText, ProgramFileCarriesTheWholeScriptTable) {
    std::map<UINT16, std::wstring> table = resource_script::StringTable();
    // The six-column messages, Ostrel's Korean ones and the About entry.
    ASSERT_EQ(table.size(), 155u);
    ScopedLibrary exe(LoadLibraryExW(VELMORA_DIST_DIR_W L"\\Velmora_Setup.exe", nullptr,
                                     LOAD_LIBRARY_AS_DATAFILE));
    ASSERT_TRUE(exe.IsValid());
    for (UINT id = 0; id < 1024; ++id) {
        auto entry = table.find(static_cast<UINT16>(id));
        EXPECT_EQ(LoadMessageTextFrom(exe.Get(), static_cast<UINT16>(id)),
                  entry == table.end() ? std::wstring() : entry->second)
            << "id " << id;
    }
}

TEST(MessageText, ProgramFileCarriesTheTable) {
    ScopedLibrary exe(LoadLibraryExW(VELMORA_DIST_DIR_W L"\\Velmora_Setup.exe", nullptr,
                                     LOAD_LIBRARY_AS_DATAFILE));
    ASSERT_TRUE(exe.IsValid());
    EXPECT_EQ(LoadMessageTextFrom(exe.Get(), IDS_SETUP_TITLE), L"Install - Velmora Setup");
    EXPECT_EQ(LoadMessageTextFrom(exe.Get(), IDS_COMPLETED), L"完了");
    EXPECT_EQ(LoadMessageTextFrom(exe.Get(), 192), L"");
}

}  // namespace
