// Songs listed from an NZB file and saved as the program saves a search's songs: each song's
// articles are fetched by message-id, in segment order, and decoded (uuencode, MIME, yEnc) into
// files byte for byte the files that were posted.
#include <algorithm>
#include <fstream>

#include "decode/yenc_articles.h"
#include "download_session.h"
#include "newsd/news_server.h"

using namespace harbeat::test;

namespace {

std::vector<std::string> textsOf(const std::vector<Report> &reports, int32_t code) {
    std::vector<std::string> texts;
    for (const Report &r : reports)
        if (r.code == code) texts.push_back(r.text);
    return texts;
}

// A <file> element; the segments as (number, message-id without angle brackets).
std::string nzbFile(const std::string &subject, const std::vector<std::pair<int, std::string>> &segments) {
    std::string text = "<file poster=\"poster@example.com\" date=\"1709251200\" subject=\"" + subject +
                       "\">\n<groups><group>" + kGroup +
                       "</group><group>alt.binaries.mp3</group></groups>\n<segments>\n";
    for (const auto &[number, id] : segments)
        text += "<segment bytes=\"1000\" number=\"" + std::to_string(number) + "\">" + id + "</segment>\n";
    return text + "</segments>\n</file>\n";
}

std::string nzbText(const std::string &files) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<nzb xmlns=\"http://www.newzbin.com/DTD/2003/nzb\">\n" + files +
           "</nzb>\n";
}

// The three uuencoded parts of song3.mp3 listed out of order, one of them twice.
const std::string kUuSong = nzbFile("Test Artist - song3.mp3 (1/3)", {{2, "song3-2@harbeat.test"},
                                                                      {1, "song3-1@harbeat.test"},
                                                                      {3, "song3-3@harbeat.test"},
                                                                      {2, "song3-2@harbeat.test"}});

class NzbSave : public DownloadTest {
protected:
    // Lists the NZB through mp3OpenNzb; the request the program would build from its rows:
    // newsgroup, part count and message-ids of each song line, one song a line.
    std::string listAndBuildRequest(const std::string &nzb) {
        const std::filesystem::path path = home.path() / "post.nzb";
        std::ofstream(path, std::ios::binary) << nzb;
        EXPECT_NE(mp3OpenNzb(path.c_str()), -1);
        EXPECT_TRUE(ReportRecorder::waitFor({kNotifySearchDone, kNotifyError}));
        std::string request;
        for (const std::string &line : textsOf(ReportRecorder::reports(), kNotifySong)) {
            std::size_t at = 0;
            for (int field = 0; field < 4; ++field) at = line.find('\t', at) + 1;
            request += line.substr(at, line.size() - 2 - at) + "\r\n";
        }
        EXPECT_EQ(textsOf(ReportRecorder::reports(), kNotifySearchDone), std::vector<std::string>{"DONE"});
        ReportRecorder::clear();
        return request;
    }
};

}  // namespace

// The commands as a server sees them: the song's first group, then "article <id>" in segment
// order, each id once.
TEST_F(NzbSave, ArticlesAreFetchedByMessageIdInSegmentOrder) {
    const std::string request = listAndBuildRequest(nzbText(kUuSong));
    EXPECT_EQ(request, std::string(kGroup) +
                           "\t3\t<song3-1@harbeat.test>\f<song3-2@harbeat.test>\f<song3-3@harbeat.test>\f\r\n");
    ScriptedPeer peer;
    scriptGreetingAndGroup(peer);
    for (int part = 1; part <= 3; ++part)
        scriptArticle(peer, "<song3-" + std::to_string(part) + "@harbeat.test>",
                      "uu_song3_article" + std::to_string(part) + ".article");
    scriptQuit(peer);
    const std::vector<Report> reports = download(peer, request);
    EXPECT_EQ(textsOf(reports, kNotifyFileWritten), std::vector<std::string>{pathOf("song3.mp3")});
    EXPECT_EQ(readFile(pathOf("song3.mp3")), fixture("payload_song3.bin"));
}

TEST_F(NzbSave, SongsOfEveryEncodingAreSavedByteForByte) {
    harbeat::newsd::NewsStore store;
    harbeat::newsd::NewsServer server{store};
    store.addGroup(kGroup, 0, true);
    for (const char *name :
         {"uu_song3_article1", "uu_song3_article2", "uu_song3_article3", "mime_45014", "uu_song2_article1"})
        store.addArticle(fixture(std::string(name) + ".article"));
    const std::string yenc = yencPayload(300000, 7);
    for (const std::string &article : yencSong(yenc, "Artist - Yenc Song.mp3", 4, "yenc")) store.addArticle(article);
    server.start(0);
    corvane::EngineSettings settings;
    settings.server = "127.0.0.1";
    settings.port = server.port();
    corvane::storeEngineSettings(settings);

    const std::string request = listAndBuildRequest(
        nzbText(kUuSong + nzbFile("Test Artist - song_45014.mp3", {{1, "mime-45014@harbeat.test"}}) +
                nzbFile("[2/3] - &quot;Artist - Yenc Song.mp3&quot; yEnc (1/4) 300000", {{4, "yenc-4@harbeat.test"},
                                                                                         {3, "yenc-3@harbeat.test"},
                                                                                         {1, "yenc-1@harbeat.test"},
                                                                                         {2, "yenc-2@harbeat.test"}}) +
                nzbFile("[3/3] - &quot;Artist.par2&quot; yEnc (1/1)", {{1, "song2-1@harbeat.test"}})));
    EXPECT_EQ(std::count(request.begin(), request.end(), '\n'), 3);

    ASSERT_NE(mp3BuildSongs(folder.c_str(), "", request.c_str(), 0), -1);
    ASSERT_TRUE(ReportRecorder::waitFor({kNotifyDownloadDone}, std::chrono::seconds(20)));
    const std::vector<Report> reports = ReportRecorder::reports();
    EXPECT_EQ(textsOf(reports, kNotifyError), std::vector<std::string>{});
    EXPECT_EQ(
        textsOf(reports, kNotifyFileWritten),
        (std::vector<std::string>{pathOf("song3.mp3"), pathOf("song_45014.mp3"), pathOf("Artist - Yenc Song.mp3")}));
    EXPECT_EQ(readFile(pathOf("song3.mp3")), fixture("payload_song3.bin"));
    EXPECT_EQ(readFile(pathOf("song_45014.mp3")), fixture("payload_45014.bin"));
    EXPECT_EQ(readFile(pathOf("Artist - Yenc Song.mp3")), yenc);
    server.stop();
}
