// Reading the DownloadRequest: tokens, the preview token, message-id lists.
#include "download/download_request.h"

#include <gtest/gtest.h>

using namespace corvane;

namespace {

struct RequestCase {
    const char *name;
    std::string request;
    bool preview;
    std::vector<std::string> songs;  // "group|count|list" per song read
    int lastResult;                  // result of the call that ended the reading
};

std::vector<std::string> readAll(const RequestCase &c, int &lastResult) {
    std::vector<std::string> songs;
    std::size_t position = 0;
    for (;;) {
        RequestedSong song;
        lastResult = readRequestedSong(c.request, position, c.preview, song);
        if (lastResult != kSongRead) return songs;
        songs.push_back(song.newsgroup + "|" + std::to_string(song.partCount) + "|" + song.messageIdList);
    }
}

class ReadRequest : public testing::TestWithParam<RequestCase> {};

}  // namespace

TEST_P(ReadRequest, Songs) {
    int lastResult = -1;
    EXPECT_EQ(readAll(GetParam(), lastResult), GetParam().songs);
    EXPECT_EQ(lastResult, GetParam().lastResult);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ReadRequest,
    testing::Values(
        RequestCase{"Empty", "", false, {}, kRequestEnd},
        RequestCase{"OnlySeparators", "\r\n\t\r\n", false, {}, kRequestEnd},
        RequestCase{"OneSong", "a.b\t2\t<1@x>\f<2@x>\f\r\n", false, {"a.b|2|<1@x>\f<2@x>\f"}, kRequestEnd},
        RequestCase{"SongsSeparatedByTabOrCrLf",
                    "g\t1\t<1@x>\f\tg\t1\t<2@x>\f\r\ng\t1\t<3@x>\f",
                    false,
                    {"g|1|<1@x>\f", "g|1|<2@x>\f", "g|1|<3@x>\f"},
                    kRequestEnd},
        RequestCase{"PreviewSkipsOneTokenPerSong",
                    "Title one\tg\t3\t<1@x>\f<2@x>\f<3@x>\f\r\n",
                    true,
                    {"g|3|<1@x>\f<2@x>\f<3@x>\f"},
                    kRequestEnd},
        RequestCase{"BlanksBelongToTokens", "Some Title\tg\t1\t<1@x>\f", true, {"g|1|<1@x>\f"}, kRequestEnd},
        RequestCase{"CountIsLeadingDigits", "g\t12abc\t<1@x>\f", false, {"g|12|<1@x>\f"}, kRequestEnd},
        RequestCase{"NegativeCountIsZero", "g\t-3\t<1@x>\f", false, {"g|0|<1@x>\f"}, kRequestEnd},
        RequestCase{"RequestEndingInsideASong", "g\t1\t<1@x>\f\tg\t2", false, {"g|1|<1@x>\f"}, kSongIncomplete}),
    [](const testing::TestParamInfo<RequestCase> &info) { return std::string(info.param.name); });

TEST(SplitMessageIds, AtFormFeedsWithoutEmptyPieces) {
    using Ids = std::vector<std::string>;
    EXPECT_EQ(splitMessageIds("<1@x>\f<2@x>\f"), (Ids{"<1@x>", "<2@x>"}));
    EXPECT_EQ(splitMessageIds("<1@x>\f\f<2@x>"), (Ids{"<1@x>", "<2@x>"}));
    EXPECT_EQ(splitMessageIds("\f"), Ids{});
    EXPECT_EQ(splitMessageIds(""), Ids{});
}
