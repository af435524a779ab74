// Downloads that must not do what an article or a request asks: names that leave the folder,
// quotes, and requests beyond the engine's limits. The next song always follows.
#include "download_session.h"

using namespace harbeat::test;
namespace fs = std::filesystem;

namespace {

// An article whose begin line names the file `name`; it carries "Hello".
std::string helloArticle(const std::string &name) {
    return "From: poster@example.com\r\nSubject: hello\r\n\r\nbegin 644 " + name + "\r\n%2&5L;&\\`\r\n`\r\nend\r\n";
}

struct NameCase {
    const char *name;
    std::string beginLineName;
    std::string writtenName;  // empty: skipped
    std::string report;       // the 9001 text when skipped
};

class ArticleFileName : public DownloadTest, public testing::WithParamInterface<NameCase> {};

// Every file below `root`, as paths relative to it.
std::vector<std::string> filesBelow(const fs::path &root) {
    std::vector<std::string> files;
    for (const auto &entry : fs::recursive_directory_iterator(root))
        if (entry.is_regular_file()) files.push_back(fs::relative(entry.path(), root).string());
    std::sort(files.begin(), files.end());
    return files;
}

}  // namespace

TEST_P(ArticleFileName, StaysInsideTheDownloadFolder) {
    const NameCase &c = GetParam();
    folder = home.path() / "music" / "saved";
    ScriptedPeer peer;
    scriptGreetingAndGroup(peer);
    peer.expect("article <hello@x>\r\n");
    peer.send(articleReply("<hello@x>", helloArticle(c.beginLineName)));
    scriptQuit(peer);
    const std::vector<Report> reports = download(peer, requestLine({"<hello@x>"}));

    ASSERT_GE(reports.size(), 4u);
    if (c.writtenName.empty()) {
        EXPECT_EQ(reports[2], (Report{kNotifyError, c.report}));
        EXPECT_EQ(filesBelow(home.path()), std::vector<std::string>{});
    } else {
        EXPECT_EQ(reports[2], (Report{kNotifyFileWritten, pathOf(c.writtenName)}));
        EXPECT_EQ(readFile(pathOf(c.writtenName)), "Hello");
        EXPECT_EQ(filesBelow(home.path()), std::vector<std::string>{"music/saved/" + c.writtenName});
    }
    EXPECT_EQ(reports.back(), (Report{kNotifyDownloadDone, " "}));
}

INSTANTIATE_TEST_SUITE_P(Cases, ArticleFileName,
                         testing::Values(NameCase{"ParentFolders", "../../evil.mp3", "evil.mp3", ""},
                                         NameCase{"AbsolutePath", "/tmp/evil.mp3", "evil.mp3", ""},
                                         NameCase{"Backslashes", "..\\..\\evil.mp3", "evil.mp3", ""},
                                         NameCase{"Quotes", "\"Best\" Song.mp3", "Best Song.mp3", ""},
                                         NameCase{"DoubledQuoteLeavesOne", "a\"\"b.mp3", "a\"b.mp3", ""},
                                         NameCase{"DotDot", "..", "", "Skipped a file with the unusable name \"..\"."},
                                         NameCase{"FolderOnly", "../", "",
                                                  "Skipped a file with the unusable name \"../\"."},
                                         NameCase{"NoName", "", "", "Skipped a file with the unusable name \"\"."}),
                         [](const testing::TestParamInfo<NameCase> &info) { return std::string(info.param.name); });

constexpr std::size_t kEmptyFolder = SIZE_MAX;

struct LimitCase {
    const char *name;
    std::size_t folderLength;     // 0: the test's folder; kEmptyFolder: ""
    std::size_t fixedNameLength;  // 0: no fixed name
    std::size_t firstSongIds;     // message-ids of the refused first song
    std::string report;
};

class RefusedSong : public DownloadTest, public testing::WithParamInterface<LimitCase> {};

// A refused song costs no command; the song after it is still downloaded (or refused alike, when
// the refusal concerns the whole download's folder or name).
TEST_P(RefusedSong, IsReportedAndTheNextFollows) {
    const LimitCase &c = GetParam();
    if (c.folderLength == kEmptyFolder)
        folder = "";
    else if (c.folderLength > 0)
        folder = std::string(c.folderLength, 'f');
    const std::string fixedName = std::string(c.fixedNameLength, 'n');
    const bool everySongRefused = c.folderLength > 0 || c.fixedNameLength > 0;

    ScriptedPeer peer;
    peer.send("200 news.example ready\r\n");
    if (!everySongRefused) {
        peer.expect(std::string("group ") + kGroup + "\r\n");
        peer.send(std::string("211 3 1 3 ") + kGroup + "\r\n");
        scriptArticle(peer, "<uu-1@harbeat.test>", "uu_1.article");
    }
    scriptQuit(peer);
    std::vector<std::string> manyIds;
    for (std::size_t i = 0; i < c.firstSongIds; ++i) manyIds.push_back("<" + std::to_string(i) + "@x>");
    const std::vector<Report> reports =
        download(peer, requestLine(manyIds, 2) + requestLine({"<uu-1@harbeat.test>"}), fixedName);

    ASSERT_GE(reports.size(), 5u);
    EXPECT_EQ(reports[0], (Report{kNotifyStatus, "Downloading requested songs (1/2)..."}));
    EXPECT_EQ(reports[1], (Report{kNotifyError, c.report}));
    EXPECT_EQ(reports[2], (Report{kNotifyStatus, "Downloading requested songs (2/2)..."}));
    if (everySongRefused) {
        EXPECT_EQ(reports[3], (Report{kNotifyError, c.report}));
    } else {
        EXPECT_EQ(reports[3], (Report{kNotifyProgress, "100.00"}));  // the refused song's 2 parts count
        EXPECT_EQ(readFile(pathOf("song_1.mp3")), fixture("payload_1.bin"));
    }
    EXPECT_EQ(reports.back(), (Report{kNotifyDownloadDone, " "}));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RefusedSong,
    testing::Values(LimitCase{"MoreThan1024Parts", 0, 0, 1025, "A song of more than 1,024 parts cannot be downloaded."},
                    LimitCase{"FolderOf260Characters", 260, 0, 1,
                              "The download folder name is longer than 259 characters."},
                    LimitCase{"FixedNameOf288Characters", 0, 288, 1, "The file name is longer than 287 characters."},
                    LimitCase{"NoFolder", kEmptyFolder, 0, 1, "No download folder is given."}),
    [](const testing::TestParamInfo<LimitCase> &info) { return std::string(info.param.name); });

TEST_F(DownloadTest, SongOf1024PartsIsAccepted) {
    std::vector<std::string> ids;
    for (int i = 0; i < 1024; ++i) ids.push_back("<" + std::to_string(i) + "@x>");
    ScriptedPeer peer;
    scriptGreetingAndGroup(peer);
    // The first 64 commands go out together; the first refusal ends the song and the other
    // replies are read away.
    for (int i = 0; i < 64; ++i) peer.expect("article <" + std::to_string(i) + "@x>\r\n");
    for (int i = 0; i < 64; ++i) peer.send("430 no such article\r\n");
    scriptQuit(peer);
    const std::vector<Report> reports = download(peer, requestLine(ids));
    ASSERT_EQ(reports.size(), 4u);
    EXPECT_EQ(reports[1], (Report{kNotifyError, "430 no such article"}));
}
