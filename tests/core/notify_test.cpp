// Reports reach the callback as OLE strings converted from the engine's 8-bit text.
#include "core/notify.h"

#include <gtest/gtest.h>

#include <optional>
#include <thread>

#include "core/bstr.h"
#include "core/engine_settings.h"
#include "core/operation.h"
#include "core/text_convert.h"
#include "support/test_environment.h"

using namespace corvane;
using harbeat::test::Report;
using harbeat::test::ReportRecorder;

namespace {

std::size_t lastByteLength = 0;
std::u16string lastText;

void CORVANE_CALL keepLayout(int32_t, const char16_t *text) {
    lastByteLength = sysStringByteLen(text);
    lastText = text;
}

}  // namespace

struct Conversion {
    std::string in;
    std::u16string out;
};

// Test names are ASCII: the input's bytes in hexadecimal.
void PrintTo(const Conversion &c, std::ostream *out) {
    static const char digits[] = "0123456789abcdef";
    *out << "x";
    for (unsigned char byte : c.in) *out << digits[byte >> 4] << digits[byte & 15];
}

class AnsiToUtf16 : public ::testing::TestWithParam<Conversion> {};

TEST_P(AnsiToUtf16, ConvertsUtf8AndFallsBackToWindows1252) { EXPECT_EQ(ansiToUtf16(GetParam().in), GetParam().out); }

INSTANTIATE_TEST_SUITE_P(Texts, AnsiToUtf16,
                         ::testing::Values(Conversion{"", u""}, Conversion{"Searching...", u"Searching..."},
                                           Conversion{"Bj\xc3\xb6rk - J\xc3\xb3ga.mp3", u"Bj\u00f6rk - J\u00f3ga.mp3"},
                                           Conversion{"\xe2\x82\xac and \xf0\x9f\x8e\xb5", u"\u20ac and \U0001F3B5"},
                                           // Latin-1 / Windows-1252 bytes that are not UTF-8.
                                           Conversion{"Bj\xf6rk - J\xf3ga.mp3", u"Bj\u00f6rk - J\u00f3ga.mp3"},
                                           Conversion{"\x80 \x93quoted\x94", u"\u20ac \u201cquoted\u201d"},
                                           // A broken sequence in the middle of valid text.
                                           Conversion{"a\xc3(b\xc3\xa9", u"a\u00c3(b\u00e9"},
                                           // Overlong and surrogate encodings are not valid UTF-8.
                                           Conversion{"\xc0\xaf", u"\u00c0\u00af"},
                                           Conversion{"\xed\xa0\x80", u"\u00ed\u00a0\u20ac"},
                                           // Non-ASCII bytes behind ASCII runs of eight and more.
                                           Conversion{"12345678\xe9", u"12345678\u00e9"},
                                           Conversion{"Artist - Title (Live) \xc3\xa9t\xc3\xa9 x",
                                                      u"Artist - Title (Live) \u00e9t\u00e9 x"}));

TEST(NotifyGui, DeliversAnOleStringWithItsLength) {
    storeStatusCallback(&keepLayout);
    notifyGui(kNotifyStatus, "Searching... DONE!");
    EXPECT_EQ(lastText, u"Searching... DONE!");
    EXPECT_EQ(lastByteLength, 18u * 2u);
    notifyGui(kNotifyError, "");
    EXPECT_EQ(lastText, u"");
    EXPECT_EQ(lastByteLength, 0u);
    storeStatusCallback(nullptr);
}

TEST(NotifyGui, WithoutACallbackNothingHappens) {
    storeStatusCallback(nullptr);
    notifyGui(kNotifyStatus, "nobody listens");
    SUCCEED();
}

TEST(NotifyGui, ProgressIsPrintedWithTwoDecimals) {
    ReportRecorder::clear();
    storeStatusCallback(ReportRecorder::callback());
    notifyProgress(100.0 / 3.0);
    notifyProgress(1538);
    notifyProgress(0);
    storeStatusCallback(nullptr);
    const std::vector<Report> expected = {
        {kNotifyProgress, "33.33"}, {kNotifyProgress, "1538.00"}, {kNotifyProgress, "0.00"}};
    EXPECT_EQ(ReportRecorder::reports(), expected);
}

TEST(Cancel, FlagIsSetByTheExportAndClearedByTheEngine) {
    const OperationScope operation(beginOperation(OperationKind::Call));
    setCancelRequested(false);
    mp3CancelFunc();
    EXPECT_TRUE(cancelRequested());
    setCancelRequested(false);
    EXPECT_FALSE(cancelRequested());
}

// Each operation has its own cancel state: a new one starts uncancelled and never clears the
// cancel of an older one; a cancel reaches only operations running at the time.
TEST(Cancel, EachOperationHasItsOwnState) {
    std::optional<OperationScope> first(beginOperation(OperationKind::Worker));
    mp3CancelFunc();
    EXPECT_TRUE(cancelRequested());
    {
        const OperationScope second(beginOperation(OperationKind::Worker));
        EXPECT_FALSE(cancelRequested());
    }
    EXPECT_TRUE(cancelRequested());
    first.reset();
    EXPECT_FALSE(cancelRequested());  // code outside any operation keeps its own state
    const OperationScope third(beginOperation(OperationKind::Call));
    EXPECT_FALSE(cancelRequested());
}

// After a cancel only the reports that end an operation go out; once a newer worker has started,
// none at all.
TEST(Cancel, ReportsOfCancelledAndSupersededOperations) {
    ReportRecorder::clear();
    storeStatusCallback(ReportRecorder::callback());
    std::thread([] {
        const OperationScope old(beginOperation(OperationKind::Worker));
        notifyGui(kNotifySong, "before");
        mp3CancelFunc();
        notifyGui(kNotifySong, "after the cancel");
        notifyGui(kNotifySearchDone, "DONE");
        const Operation fresh = beginOperation(OperationKind::Worker);
        notifyGui(kNotifyError, "superseded");
        abandonOperation(fresh);
    }).join();
    storeStatusCallback(nullptr);
    EXPECT_EQ(ReportRecorder::reports(), (std::vector<Report>{{kNotifySong, "before"}, {kNotifySearchDone, "DONE"}}));
}
