// yEnc songs saved and previewed against the bundled news server: byte-identical files, and a
// damaged song failing alone with a clear text and no file.
#include <algorithm>

#include "decode/yenc_articles.h"
#include "download_session.h"
#include "newsd/news_server.h"
#include "nntp/overview_layout.h"

using namespace harbeat::test;
namespace fs = std::filesystem;

namespace {

std::vector<std::string> textsOf(const std::vector<Report> &reports, int32_t code) {
    std::vector<std::string> texts;
    for (const Report &r : reports)
        if (r.code == code) texts.push_back(r.text);
    return texts;
}

std::vector<std::string> idsOf(const std::string &prefix, int parts) {
    std::vector<std::string> ids;
    for (int i = 1; i <= parts; ++i) ids.push_back("<" + prefix + "-" + std::to_string(i) + "@harbeat.test>");
    return ids;
}

// Flips one data byte of the article's yEnc part, leaving every line intact.
std::string damaged(std::string article) {
    std::size_t at = article.find("\r\n=ypart ");
    at = article.find("\r\n", at + 2) + 2 + 10;
    while (article[at] == '=' || article[at - 1] == '=' || article[at] == '\r' || article[at] == '\n') ++at;
    article[at] = article[at] == 'A' ? 'B' : 'A';
    return article;
}

class YencDownload : public DownloadTest {
protected:
    void SetUp() override {
        DownloadTest::SetUp();
        store.addGroup(kGroup, 0, true);
        server.start(0);
        corvane::EngineSettings settings;
        settings.server = "127.0.0.1";
        settings.port = server.port();
        corvane::storeEngineSettings(settings);
    }
    void TearDown() override {
        server.stop();
        DownloadTest::TearDown();
    }

    void post(const std::vector<std::string> &articles) {
        for (const std::string &article : articles) store.addArticle(article);
    }

    std::vector<Report> run(const std::string &request, const std::string &fixedName = "", int32_t flags = 0,
                            int32_t lastCode = kNotifyDownloadDone) {
        EXPECT_NE(mp3BuildSongs(folder.c_str(), fixedName.c_str(), request.c_str(), flags), -1);
        EXPECT_TRUE(ReportRecorder::waitFor({lastCode}, std::chrono::seconds(20)));
        return ReportRecorder::reports();
    }

    std::vector<std::string> filesInFolder() const {
        std::vector<std::string> names;
        if (fs::exists(folder))
            for (const auto &entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename());
        std::sort(names.begin(), names.end());
        return names;
    }

    harbeat::newsd::NewsStore store;
    harbeat::newsd::NewsServer server{store};
};

}  // namespace

TEST_F(YencDownload, DamagedSongFailsAloneAndLeavesNoFile) {
    const std::string good = yencPayload(250000, 1), bad = yencPayload(90000, 2), single = yencPayload(4321, 3);
    post(yencSong(good, "Artist - Good.mp3", 4, "good"));
    std::vector<std::string> badArticles = yencSong(bad, "Artist - Bad.mp3", 3, "bad");
    badArticles[1] = damaged(badArticles[1]);
    post(badArticles);
    post(yencSong(single, "Artist - Single.mp3", 1, "single"));

    const std::vector<Report> reports =
        run(requestLine(idsOf("bad", 3)) + requestLine(idsOf("good", 4)) + requestLine(idsOf("single", 1)));
    std::vector<Report> kept;
    for (const Report &r : reports)
        if (r.code != kNotifyProgress && r.code != kNotifyStatus) kept.push_back(r);
    EXPECT_EQ(kept, (std::vector<Report>{{kNotifyError, "CRC error in part 2 of Artist - Bad.mp3."},
                                         {kNotifyFileWritten, pathOf("Artist - Good.mp3")},
                                         {kNotifyFileWritten, pathOf("Artist - Single.mp3")},
                                         {kNotifySaveDone, "Downloading requested songs...DONE!"},
                                         {kNotifyDownloadDone, " "}}));
    EXPECT_TRUE(readFile(pathOf("Artist - Good.mp3")) == good);
    EXPECT_TRUE(readFile(pathOf("Artist - Single.mp3")) == single);
    EXPECT_EQ(filesInFolder(), (std::vector<std::string>{"Artist - Good.mp3", "Artist - Single.mp3"}));
}

TEST_F(YencDownload, SaveWithAPartMissingFailsWithTheMissingBytes) {
    std::vector<std::string> articles = yencSong(yencPayload(3000, 4), "Gap.mp3", 3, "gap");
    // The second article carries the third part again: the second range never arrives.
    articles[1] = articles[2];
    const std::string from = "<gap-3@", to = "<gap-2@";
    articles[1].replace(articles[1].find(from), from.size(), to);
    post(articles);
    const std::vector<Report> reports = run(requestLine(idsOf("gap", 3)));
    EXPECT_EQ(textsOf(reports, kNotifyError), (std::vector<std::string>{"Bytes 1001 to 2000 of Gap.mp3 are missing."}));
    EXPECT_EQ(filesInFolder(), std::vector<std::string>{});
}

TEST_F(YencDownload, PreviewWritesTheFirstPart) {
    const std::string file = yencPayload(30000, 5);
    post(yencSong(file, "Preview.mp3", 3, "pre"));
    run("skip\t" + requestLine(idsOf("pre", 3)), "Harbeat_Preview.mp3", 1, kNotifyFileWritten);
    ReportRecorder::waitQuiet(std::chrono::milliseconds(200));
    const std::vector<Report> reports = ReportRecorder::reports();
    EXPECT_EQ(textsOf(reports, kNotifyError), std::vector<std::string>{});
    EXPECT_EQ(reports.back(), (Report{kNotifyStatus, "Downloading song preview...DONE!"}));
    EXPECT_EQ(readFile(pathOf("Harbeat_Preview.mp3")), file.substr(0, 10000));
}

TEST_F(YencDownload, HostileNamesStayInsideTheFolder) {
    post(yencSong("climbing", "../../escape.mp3", 1, "climb"));
    post(yencSong("dots", "../..", 1, "dots"));
    const std::vector<Report> reports = run(requestLine(idsOf("climb", 1)) + requestLine(idsOf("dots", 1)));
    EXPECT_EQ(readFile(pathOf("escape.mp3")), "climbing");
    EXPECT_FALSE(fs::exists(folder.parent_path() / "escape.mp3"));
    EXPECT_FALSE(fs::exists(folder.parent_path().parent_path() / "escape.mp3"));
    // The name "../.." leaves nothing usable: a report, and no file anywhere.
    const std::vector<std::string> errors = textsOf(reports, kNotifyError);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_NE(errors[0].find("\"../..\""), std::string::npos) << errors[0];
    EXPECT_EQ(filesInFolder(), std::vector<std::string>{"escape.mp3"});
}

// A generated group where every second song is yEnc: found by a search, saved byte-identical.
TEST_F(YencDownload, SyntheticYencSongsAreFoundAndSaved) {
    harbeat::newsd::SyntheticGroupOptions options;
    options.partsPerSong = 3;
    options.linesPerPart = 300;
    options.yencEvery = 2;
    const std::string group = "alt.binaries.sounds.mp3.synthetic";
    store.addSyntheticGroup(group, 12, 1, options);
    corvane::storeOverviewLayout({1, 7, 4, 3, 6});
    ASSERT_NE(mp3GetSongs((group + "\tassorted\r\n").c_str()), -1);
    ASSERT_TRUE(ReportRecorder::waitFor({kNotifySearchDone}, std::chrono::seconds(20)));
    std::string request;
    int yencTitles = 0;
    for (const std::string &line : textsOf(ReportRecorder::reports(), kNotifySong)) {
        // "\ttitle\tcategory\tdate\tgroup\tparts\tids\r\n": the last three fields make the request.
        std::vector<std::string> fields;
        for (std::size_t at = 0, tab; at <= line.size(); at = tab + 1) {
            tab = std::min(line.find('\t', at), line.size());
            fields.push_back(line.substr(at, tab - at));
        }
        ASSERT_EQ(fields.size(), 7u) << line;
        yencTitles += fields[1].ends_with(".mp3") && fields[1].find('"') == std::string::npos ? 1 : 0;
        request += fields[4] + "\t" + fields[5] + "\t" + fields[6];
    }
    // The uuencoded songs' titles keep the blank before their part marker.
    EXPECT_EQ(yencTitles, 2);
    ReportRecorder::clear();
    const std::vector<Report> reports = run(request);
    EXPECT_EQ(textsOf(reports, kNotifyError), std::vector<std::string>{});
    std::vector<std::string> saved, posted;
    for (const std::string &name : filesInFolder()) saved.push_back(readFile(pathOf(name)));
    for (std::uint64_t song = 0; song < 4; ++song) posted.push_back(store.syntheticSongFile(group, song));
    std::sort(saved.begin(), saved.end());
    std::sort(posted.begin(), posted.end());
    EXPECT_TRUE(saved == posted);
}
