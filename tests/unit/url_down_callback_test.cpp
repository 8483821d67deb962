// The progress callback against a real progress bar.
#include <gtest/gtest.h>

#include <windows.h>
#include <urlmon.h>
#include <vector>

#include "install/progress_scale.h"
#include "install/url_down_callback.h"
#include "progress_recorder.h"

namespace {

TEST(URLDownCallBack, OnlyDownloadReportsMoveTheBar) {
    // Every status the platform defines up to the decoding reports, and some beyond.
    for (ULONG status = 0; status <= 60; ++status) {
        ProgressRecorder progress;
        progress.SetRange(1000);
        URLDownCallBack callback(progress.Bar());
        bool moves = status == BINDSTATUS_BEGINDOWNLOADDATA ||
                     status == BINDSTATUS_DOWNLOADINGDATA || status == BINDSTATUS_ENDDOWNLOADDATA;
        EXPECT_EQ(callback.OnProgress(300, 700, status, L"text"), moves ? S_OK : E_NOTIMPL)
            << status;
        EXPECT_EQ(progress.Positions().size(), moves ? 1u : 0u) << status;
    }
}

TEST(URLDownCallBack, PositionIsTheProgressOrTheMaximumAtTheEnd) {
    struct Case {
        ULONG status;
        ULONG progress;
        ULONG progressMax;
        unsigned position;
    } cases[] = {
        {BINDSTATUS_BEGINDOWNLOADDATA, 120, 900, 120}, {BINDSTATUS_DOWNLOADINGDATA, 450, 900, 450},
        {BINDSTATUS_DOWNLOADINGDATA, 450, 0, 450},     {BINDSTATUS_ENDDOWNLOADDATA, 0, 900, 900},
        {BINDSTATUS_ENDDOWNLOADDATA, 500, 0, 0},
    };
    for (const Case& c : cases) {
        ProgressRecorder progress;
        progress.SetRange(1000);
        URLDownCallBack callback(progress.Bar());
        EXPECT_EQ(callback.OnProgress(c.progress, c.progressMax, c.status, nullptr), S_OK);
        std::vector<unsigned> expected = {c.position};
        EXPECT_EQ(progress.Positions(), expected) << c.status;
        EXPECT_EQ(progress.Position(), static_cast<int>(c.position)) << c.status;
    }
}

TEST(URLDownCallBack, BarClampsPositionsBeyondItsRange) {
    ProgressRecorder progress;
    progress.SetRange(100);
    URLDownCallBack callback(progress.Bar());
    EXPECT_EQ(callback.OnProgress(5000, 0, BINDSTATUS_DOWNLOADINGDATA, L""), S_OK);
    EXPECT_EQ(progress.Position(), 100);
}

// The bar reads a position as an int: past 2 GiB it would fall back to its start.
TEST(URLDownCallBack, PositionsBeyondAnIntStopAtTheLargest) {
    for (ULONG status : {BINDSTATUS_DOWNLOADINGDATA, BINDSTATUS_ENDDOWNLOADDATA}) {
        ProgressRecorder progress;
        progress.SetRange(2147483647);
        URLDownCallBack callback(progress.Bar());
        EXPECT_EQ(callback.OnProgress(3000000000u, 3000000000u, status, L""), S_OK);
        EXPECT_EQ(progress.Position(), 2147483647) << status;
    }
}

// Where the download puts the bar, on the range the size query gave it.
TEST(BarPosition, BytesWhileTheyFitAnIntAndTheirShareBeyond) {
    const unsigned long long kLargest = 2147483647ull;
    struct Case {
        unsigned long long received;
        unsigned long long announced;
        unsigned long position;
    } cases[] = {
        {0, 0, 0},
        {65535, 200000, 65535},
        {200000, 0, 200000},
        {kLargest, kLargest, 2147483647ul},
        {kLargest + 1, 0, 2147483647ul},   // no length announced: held at the end
        {5000000000ull, 0, 2147483647ul},  // past 4 GiB: no wrap to a small number
        {1500000000ull, 3000000000ull, 1073741823ul},
        {3000000000ull, 3000000000ull, 2147483647ul},
        {6000000000ull, 8000000000ull, 1610612735ul},
        {1ull << 40, 1ull << 41, 1073741823ul},  // a product that would not fit 64 bits
    };
    for (const Case& c : cases) {
        EXPECT_EQ(BarPosition(c.received, c.announced), c.position)
            << c.received << " of " << c.announced;
    }
}

TEST(URLDownCallBack, WithoutABarEveryReportIsUnanswered) {
    URLDownCallBack callback;
    for (ULONG status : {BINDSTATUS_BEGINDOWNLOADDATA, BINDSTATUS_DOWNLOADINGDATA,
                         BINDSTATUS_ENDDOWNLOADDATA, BINDSTATUS_CONNECTING}) {
        EXPECT_EQ(callback.OnProgress(1, 2, status, L""), E_NOTIMPL) << status;
    }
}

TEST(URLDownCallBack, EverythingButProgressIsNotImplemented) {
    ProgressRecorder progress;
    URLDownCallBack callback(progress.Bar());
    for (REFIID iid : {IID_IUnknown, IID_IBindStatusCallback}) {
        void* cleared = &callback;
        EXPECT_EQ(callback.QueryInterface(iid, &cleared), E_NOINTERFACE);
        EXPECT_EQ(cleared, nullptr);
    }
    EXPECT_EQ(callback.QueryInterface(IID_IUnknown, nullptr), E_POINTER);
    EXPECT_EQ(callback.AddRef(), 0u);
    EXPECT_EQ(callback.Release(), 0u);
    EXPECT_EQ(callback.Release(), 0u);
    LONG priority = 7;
    DWORD bindFlags = 0;
    BINDINFO bindInfo = {};
    EXPECT_EQ(callback.OnStartBinding(0, nullptr), E_NOTIMPL);
    EXPECT_EQ(callback.GetPriority(&priority), E_NOTIMPL);
    EXPECT_EQ(priority, 7);
    EXPECT_EQ(callback.OnLowResource(0), E_NOTIMPL);
    EXPECT_EQ(callback.OnStopBinding(S_OK, nullptr), E_NOTIMPL);
    EXPECT_EQ(callback.GetBindInfo(&bindFlags, &bindInfo), E_NOTIMPL);
    EXPECT_EQ(callback.OnDataAvailable(0, 0, nullptr, nullptr), E_NOTIMPL);
    EXPECT_EQ(callback.OnObjectAvailable(IID_IUnknown, nullptr), E_NOTIMPL);
    EXPECT_TRUE(progress.Positions().empty());
}

TEST(URLDownCallBack, WorksThroughTheInterfaceAndDiesThroughTheClass) {
    ProgressRecorder progress;
    IBindStatusCallback* callback = new URLDownCallBack(progress.Bar());
    EXPECT_EQ(callback->OnProgress(42, 0, BINDSTATUS_DOWNLOADINGDATA, L""), S_OK);
    EXPECT_EQ(callback->Release(), 0u);
    delete static_cast<URLDownCallBack*>(callback);
    std::vector<unsigned> expected = {42};
    EXPECT_EQ(progress.Positions(), expected);
}

}  // namespace
