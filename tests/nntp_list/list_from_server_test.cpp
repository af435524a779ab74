// mp3GetNewsgroups against the bundled news server: the complete list and the new groups.
#include <gtest/gtest.h>

#include <set>

#include "core/engine_settings.h"
#include "corvane_n.h"
#include "newsd/news_server.h"
#include "support/test_environment.h"

using namespace corvane;
using harbeat::test::Report;
using harbeat::test::ReportRecorder;

namespace {

class ListFromServer : public ::testing::Test {
protected:
    void SetUp() override {
        // Created in 1999 and in mid-2024 (UTC).
        store_.addGroup("alt.binaries.sounds.mp3", 915148800, true);
        store_.addGroup("alt.binaries.sounds.mp3.jazz", 1718452800, true);
        store_.addGroup("alt.sounds.mp3", 1718452800, true);
        store_.addGroup("de.alt.binaries.mp3", 1718452800, true);
        store_.addGroup("comp.lang.c", 915148800, true);
        server_.start(0);
        EngineSettings settings;
        settings.server = "127.0.0.1";
        settings.port = server_.port();
        storeEngineSettings(settings);
        storeStatusCallback(ReportRecorder::callback());
        ReportRecorder::clear();
    }
    void TearDown() override { storeStatusCallback(nullptr); }

    // The names of the 9002 report, each checked to end with CR LF.
    static std::multiset<std::string> listedNames(const char *filter, const char *date) {
        EXPECT_NE(mp3GetNewsgroups(filter, date), -1);
        EXPECT_TRUE(ReportRecorder::waitFor({kNotifyGroupList, kNotifyError}));
        const Report last = ReportRecorder::reports().back();
        EXPECT_EQ(last.code, kNotifyGroupList) << last.text;
        std::multiset<std::string> names;
        if (last.text == " ") return names;
        std::size_t start = 0;
        while (start < last.text.size()) {
            const std::size_t end = last.text.find("\r\n", start);
            EXPECT_NE(end, std::string::npos) << "name without CR LF";
            if (end == std::string::npos) break;
            names.insert(last.text.substr(start, end - start));
            start = end + 2;
        }
        return names;
    }

    harbeat::newsd::NewsStore store_;
    harbeat::newsd::NewsServer server_{store_};
};

TEST_F(ListFromServer, CompleteListFiltered) {
    const std::multiset<std::string> expected = {"alt.binaries.sounds.mp3", "alt.binaries.sounds.mp3.jazz",
                                                 "de.alt.binaries.mp3"};
    EXPECT_EQ(listedNames("alt.binaries", "~"), expected);
}

TEST_F(ListFromServer, GroupsNewSinceADate) {
    const std::multiset<std::string> expected = {"alt.binaries.sounds.mp3.jazz", "de.alt.binaries.mp3"};
    EXPECT_EQ(listedNames("alt.binaries", "240101"), expected);
}

TEST_F(ListFromServer, NothingNewGivesASingleBlank) { EXPECT_TRUE(listedNames("alt.binaries", "250101").empty()); }

TEST_F(ListFromServer, LargeListArrivesWhole) {
    const std::size_t added = store_.addSyntheticGroupList(20000);
    const std::multiset<std::string> names = listedNames("", "~");
    // Every group once: the five of SetUp and the generated ones.
    EXPECT_EQ(names.size(), added + 5);
    EXPECT_EQ(std::set<std::string>(names.begin(), names.end()).size(), names.size());
}

}  // namespace
