// Generated groups and group lists, and loading a spool folder.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <set>

#include "raw_client.h"

namespace harbeat::newsd::test {
namespace {

namespace fs = std::filesystem;

std::string code(const std::string &line) { return line.substr(0, 3); }

std::string unstuffed(const std::vector<std::string> &lines) {
    std::string text;
    for (const std::string &line : lines) text += (line.starts_with('.') ? line.substr(1) : line) + "\r\n";
    return text;
}

// Decodes the uuencoded lines between "begin" and "end" of the concatenated bodies.
std::string uudecode(const std::string &text) {
    std::string data;
    std::size_t position = text.find("begin 644 ");
    position = text.find("\r\n", position) + 2;
    for (;;) {
        const std::size_t end = text.find("\r\n", position);
        const std::string line = text.substr(position, end - position);
        position = end + 2;
        if (line == "end") return data;
        const auto value = [](char c) { return unsigned(c - 32) & 63; };
        const unsigned length = value(line[0]);
        for (unsigned i = 0; i < length; i += 3) {
            const char *c = line.data() + 1 + i / 3 * 4;
            const unsigned group = value(c[0]) << 18 | value(c[1]) << 12 | value(c[2]) << 6 | value(c[3]);
            const char bytes[3] = {char(group >> 16), char(group >> 8), char(group)};
            data.append(bytes, std::min(3u, length - i));
        }
    }
}

std::string subjectBase(const std::string &subject) {
    std::string base = subject.substr(0, subject.rfind(' '));
    if (base.starts_with("[repost] ")) base.erase(0, 9);
    return base;
}

constexpr const char *kGroup = "alt.binaries.sounds.mp3.synthetic";

class Synthetic : public testing::Test {
protected:
    void start(SyntheticGroupOptions options = {}, std::uint64_t count = 1000, std::uint64_t first = 5001) {
        served.store.addSyntheticGroup(kGroup, count, first, options);
        served.start();
        client = served.connect();
        client->command(std::string("GROUP ") + kGroup);
    }
    std::vector<std::vector<std::string>> overview(const std::string &range) {
        std::vector<std::vector<std::string>> lines;
        if (code(client->command("XOVER " + range)) != "224") return lines;
        for (const std::string &line : client->readBlock()) lines.push_back(splitTabs(line));
        return lines;
    }
    ServedStore served;
    std::unique_ptr<RawClient> client;
};

TEST_F(Synthetic, NumberingPartsNamesAndDeterminism) {
    start();
    EXPECT_EQ(client->command(std::string("GROUP ") + kGroup), std::string("211 1000 5001 6000 ") + kGroup + "\r\n");
    const auto lines = overview("5001-6000");
    ASSERT_EQ(lines.size(), 1000u);
    std::set<std::string> songNames;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const auto &fields = lines[i];
        ASSERT_EQ(fields.size(), 9u);
        EXPECT_EQ(fields[0], std::to_string(5001 + i));
        const std::string &subject = fields[1];
        EXPECT_GE(subject.size(), 60u) << subject;
        EXPECT_LE(subject.size(), 80u) << subject;
        const std::string part = std::to_string(i % 5 + 1) + "/5";
        EXPECT_TRUE(subject.ends_with("(" + part + ")") || subject.ends_with("[" + part + "]")) << subject;
        EXPECT_TRUE(fields[4].starts_with("<part" + std::to_string(i % 5 + 1) + "of5.")) << fields[4];
        EXPECT_EQ(fields[8], "Xref: harbeat-newsd " + std::string(kGroup) + ":" + fields[0]);
        if (i % 5 == 0) {
            songNames.insert(subjectBase(subject));
        } else {
            EXPECT_EQ(subjectBase(subject), subjectBase(lines[i - i % 5][1]));
            EXPECT_EQ(fields[2], lines[i - i % 5][2]);  // one poster per song
        }
    }
    EXPECT_EQ(songNames.size(), 200u);

    NewsStore again;
    again.addSyntheticGroup(kGroup, 1000, 5001);
    NewsServer server(again);
    server.start();
    RawClient other(server.port());
    other.command(std::string("GROUP ") + kGroup);
    EXPECT_EQ(code(other.command("XOVER 5001-5051")), "224");
    EXPECT_EQ(code(client->command("XOVER 5001-5051")), "224");
    EXPECT_EQ(other.readBlockBytes(), client->readBlockBytes());
}

TEST_F(Synthetic, SongsOfTenPartsOrMoreKeepOneNameForAllParts) {
    SyntheticGroupOptions options;
    options.partsPerSong = 12;
    start(options, 1200, 1);
    const auto lines = overview("1-1200");
    ASSERT_EQ(lines.size(), 1200u);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        EXPECT_EQ(subjectBase(lines[i][1]), subjectBase(lines[i - i % 12][1])) << lines[i][1];
        const std::string marker = lines[i][1].substr(lines[i][1].rfind(' ') + 2);
        EXPECT_EQ(marker.substr(0, marker.size() - 1), std::to_string(i % 12 + 1) + "/12");
    }
}

TEST_F(Synthetic, ArticlesAgreeWithOverviewAndDecodeToTheSong) {
    start();
    const auto lines = overview("5001-5005");
    std::string bodies;
    for (const auto &fields : lines) {
        EXPECT_EQ(client->command("ARTICLE " + fields[0]), "220 " + fields[0] + " " + fields[4] + "\r\n");
        const std::string text = unstuffed(client->readBlock());
        EXPECT_EQ(std::to_string(text.size()), fields[6]);
        const std::size_t bodyStart = text.find("\r\n\r\n") + 4;
        const std::string body = text.substr(bodyStart);
        std::size_t bodyLines = 0;
        for (std::size_t p = 0; (p = body.find("\r\n", p)) != std::string::npos; p += 2) ++bodyLines;
        EXPECT_EQ(std::to_string(bodyLines), fields[7]);
        EXPECT_NE(text.find("\r\nSubject: " + fields[1] + "\r\n"), std::string::npos);
        bodies += body;
    }
    const std::string song = served.store.syntheticSongFile(kGroup, 0);
    EXPECT_EQ(song.size(), 5u * 40 * 45 + 14);
    EXPECT_EQ(uudecode(bodies), song);
    // The 14-byte last line starts with "." and reaches the client doubled.
    EXPECT_EQ(code(client->command("BODY 5005")), "222");
    const auto last = client->readBlock();
    ASSERT_GE(last.size(), 3u);
    EXPECT_TRUE(last[last.size() - 3].starts_with("..")) << last[last.size() - 3];
}

TEST_F(Synthetic, YencSongsAgreeWithTheirOverviewAndCarryTheSongBytes) {
    SyntheticGroupOptions options;
    options.partsPerSong = 3;
    options.yencEvery = 2;  // songs 0 and 2 yEnc, 1 and 3 uuencoded
    start(options, 12, 1);
    const auto lines = overview("1-12");
    ASSERT_EQ(lines.size(), 12u);
    for (const auto &fields : lines) {
        const bool yenc = (std::stoi(fields[0]) - 1) / 3 % 2 == 0;
        EXPECT_EQ(fields[1].find("\" yEnc (") != std::string::npos, yenc) << fields[1];
        EXPECT_EQ(client->command("ARTICLE " + fields[0]), "220 " + fields[0] + " " + fields[4] + "\r\n");
        const std::string text = unstuffed(client->readBlock());
        EXPECT_EQ(std::to_string(text.size()), fields[6]);
        const std::string body = text.substr(text.find("\r\n\r\n") + 4);
        std::size_t bodyLines = 0;
        for (std::size_t p = 0; (p = body.find("\r\n", p)) != std::string::npos; p += 2) ++bodyLines;
        EXPECT_EQ(std::to_string(bodyLines), fields[7]);
        EXPECT_EQ(body.starts_with("=ybegin part="), yenc) << fields[1];
    }
}

TEST_F(Synthetic, GapsAndExpiredParts) {
    SyntheticGroupOptions options;
    options.incompleteEvery = 3;  // songs 2, 5, ... lack part 2
    start(options, 30, 1);
    EXPECT_EQ(client->command(std::string("GROUP ") + kGroup), std::string("211 28 1 30 ") + kGroup + "\r\n");
    EXPECT_EQ(code(client->command("ARTICLE 12")), "423");
    const auto firstSong = overview("1-5");
    ASSERT_EQ(firstSong.size(), 5u);
    EXPECT_TRUE(served.store.expireArticle(firstSong[0][4]));
    EXPECT_FALSE(served.store.expireArticle(firstSong[0][4]));
    EXPECT_EQ(code(client->command("ARTICLE " + firstSong[0][4])), "430");
    EXPECT_EQ(code(client->command("ARTICLE " + firstSong[1][4])), "220");
    client->readBlock();
    std::vector<std::string> numbers;
    for (const auto &fields : overview("1-15")) numbers.push_back(fields[0]);
    EXPECT_EQ(numbers,
              (std::vector<std::string>{"2", "3", "4", "5", "6", "7", "8", "9", "10", "11", "13", "14", "15"}));
    EXPECT_EQ(served.store.group(kGroup)->count, 27u);
    EXPECT_EQ(code(client->command("POST")), "340");
    client->send(std::string("Newsgroups: ") + kGroup + "\r\nFrom: a@b\r\nSubject: s\r\n\r\nx\r\n.\r\n");
    EXPECT_EQ(code(client->readLine()), "441");  // generated groups are read-only
}

TEST_F(Synthetic, MillionArticleGroupServesItsLastBatch) {
    start({}, 1000000, 1);
    EXPECT_EQ(client->command(std::string("GROUP ") + kGroup), std::string("211 1000000 1 1000000 ") + kGroup + "\r\n");
    const auto lines = overview("999950-1000000");
    ASSERT_EQ(lines.size(), 51u);
    EXPECT_EQ(lines.back()[0], "1000000");
    EXPECT_TRUE(lines.back()[1].ends_with("5/5)") || lines.back()[1].ends_with("5/5]"));
}

TEST_F(Synthetic, OverviewAcrossKeptBlocksMatchesLineByLine) {
    // The server keeps overview lines in blocks of 4096 numbers: ranges that cross a block's edge
    // read alike asked whole or one article at a time.
    start({}, 9000, 1);
    for (const std::string range : {"4090-4100", "8190-8200", "8995-9000"}) {
        const auto whole = overview(range);
        const std::size_t dash = range.find('-');
        const int first = std::stoi(range.substr(0, dash)), last = std::stoi(range.substr(dash + 1));
        ASSERT_EQ(whole.size(), static_cast<std::size_t>(last - first + 1)) << range;
        for (int number = first; number <= last; ++number)
            EXPECT_EQ(overview(std::to_string(number)).at(0), whole[static_cast<std::size_t>(number - first)]) << number;
    }
}

TEST(SyntheticGroupList, ListAndNewGroups) {
    ServedStore served;
    EXPECT_EQ(served.store.addSyntheticGroupList(5000), 5000u);
    EXPECT_EQ(served.store.addSyntheticGroupList(10), 10u);
    EXPECT_EQ(served.store.groupCount(), 5010u);
    served.start();
    auto client = served.connect();
    EXPECT_EQ(code(client->command("LIST")), "215");
    const auto all = client->readBlock();
    EXPECT_EQ(all.size(), 5010u);
    EXPECT_EQ(std::set<std::string>(all.begin(), all.end()).size(), 5010u);
    EXPECT_EQ(code(client->command("NEWGROUPS 20100101 000000 GMT")), "231");
    const auto recent = client->readBlock();
    EXPECT_GT(recent.size(), 500u);
    EXPECT_LT(recent.size(), 4000u);
}

class Spool : public testing::Test {
protected:
    void SetUp() override {
        folder = fs::temp_directory_path() / ("newsd-spool-" + std::to_string(::getpid()) + "-" +
                                              testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(folder);
        fs::create_directories(folder / "jazz");
    }
    void TearDown() override { fs::remove_all(folder); }
    void write(const fs::path &name, const std::string &text) {
        std::ofstream(folder / name, std::ios::binary) << text;
    }

    fs::path folder;
};

TEST_F(Spool, LoadsGroupsFileAndArticlesInPathOrder) {
    write("groups",
          "# name created posting first description\n"
          "alt.binaries.sounds.mp3.jazz 2001-06-12 n 100 Jazz songs, old and new\n"
          "alt.music.requests 2001-06-12T12:00:00Z y\n"
          "\n"
          "broken.line 2001-13-01 y\n");
    write("jazz/0002.txt", "Newsgroups: alt.binaries.sounds.mp3.jazz\nFrom: a@b\nSubject: Two (1/1)\n\n.dot\n");
    write("jazz/0001.txt",
          "Newsgroups: alt.binaries.sounds.mp3.jazz, alt.new.group\r\nFrom: a@b\r\nSubject: One (1/1)\r\n"
          "Message-ID: <one@example.com>\r\n\r\nbody\r\n");
    write("jazz/0003.txt~", "editor backup");
    write(".hidden", "Newsgroups: alt.x\n\nx\n");
    write("no-groups.txt", "From: a@b\n\nx\n");

    NewsStore store;
    const SpoolLoadResult result = store.loadSpool(folder);
    EXPECT_EQ(result.groupsAdded, 2u);
    EXPECT_EQ(result.articlesLoaded, 2u);
    ASSERT_EQ(result.problems.size(), 2u);
    EXPECT_NE(result.problems[0].find("groups:5"), std::string::npos) << result.problems[0];
    EXPECT_NE(result.problems[1].find("no-groups.txt"), std::string::npos) << result.problems[1];

    const auto jazz = store.group("alt.binaries.sounds.mp3.jazz");
    ASSERT_TRUE(jazz);
    EXPECT_EQ(jazz->low, 100u);
    EXPECT_EQ(jazz->high, 101u);
    EXPECT_FALSE(jazz->postingAllowed);
    EXPECT_EQ(jazz->createdUnixTime, 992304000);
    EXPECT_EQ(jazz->description, "Jazz songs, old and new");
    EXPECT_EQ(store.group("alt.music.requests")->createdUnixTime, 992347200);
    EXPECT_EQ(store.group("alt.new.group")->count, 1u);

    ServedStore served;
    served.store.loadSpool(folder);
    served.start();
    auto client = served.connect();
    client->command("GROUP alt.binaries.sounds.mp3.jazz");
    EXPECT_EQ(client->command("ARTICLE 100"), "220 100 <one@example.com>\r\n");
    EXPECT_EQ(client->readBlockBytes(),
              "Newsgroups: alt.binaries.sounds.mp3.jazz, alt.new.group\r\nFrom: a@b\r\nSubject: One (1/1)\r\n"
              "Message-ID: <one@example.com>\r\n\r\nbody\r\n.\r\n");
    EXPECT_EQ(code(client->command("BODY 101")), "222");
    EXPECT_EQ(client->readBlockBytes(), "..dot\r\n.\r\n");
}

TEST_F(Spool, MissingFolderThrows) {
    NewsStore store;
    EXPECT_THROW(store.loadSpool(folder / "absent"), std::runtime_error);
}

}  // namespace
}  // namespace harbeat::newsd::test
