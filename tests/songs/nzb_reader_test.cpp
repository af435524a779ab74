// NZB files as indexers and posting programs write them, turned into song lines; and the files
// that must be refused whole.
#include "songs/nzb_reader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "songs/nzb_songs.h"

using namespace corvane;

namespace {

constexpr const char *kHeader =
    "<?xml version=\"1.0\" encoding=\"iso-8859-1\" ?>\n"
    "<!DOCTYPE nzb PUBLIC \"-//newzBin//DTD NZB 1.1//EN\" \"http://www.newzbin.com/DTD/nzb/nzb-1.1.dtd\">\n";

// One <file> with the given groups and (number, message-id) segments, pretty-printed as
// indexers write them.
std::string fileElement(const std::string &subject, const std::vector<std::string> &groups,
                        const std::vector<std::pair<int, std::string>> &segments,
                        const std::string &date = "1709251200", const std::string &prefix = "") {
    std::string text = "  <" + prefix + "file poster=\"Poster &lt;p@example.com&gt;\" date=\"" + date +
                       "\" subject=\"" + subject + "\">\n    <" + prefix + "groups>\n";
    for (const std::string &group : groups) text += "      <" + prefix + "group>" + group + "</" + prefix + "group>\n";
    text += "    </" + prefix + "groups>\n    <" + prefix + "segments>\n";
    for (const auto &[number, id] : segments)
        text += "      <" + prefix + "segment bytes=\"396288\" number=\"" + std::to_string(number) + "\">" + id + "</" +
                prefix + "segment>\n";
    return text + "    </" + prefix + "segments>\n  </" + prefix + "file>\n";
}

std::string nzb(const std::string &files,
                const std::string &open = "<nzb xmlns=\"http://www.newzbin.com/DTD/2003/nzb\">",
                const std::string &close = "</nzb>") {
    return kHeader + open + "\n  <head><meta type=\"title\">Some Album</meta></head>\n" + files + close + "\n";
}

std::vector<std::string> songLinesOf(const std::string &text, std::string *error = nullptr) {
    NzbList list;
    std::string why;
    std::vector<std::string> lines;
    if (!readNzb(text, list, why)) {
        if (error) *error = why;
        return lines;
    }
    sendNzbSongLines(list, [&lines](std::string_view line) { lines.emplace_back(line); });
    return lines;
}

constexpr const char *kDate = "Fri, 01 Mar 2024 00:00:00 +0000";
constexpr const char *kGroup = "alt.binaries.sounds.mp3";

struct ShapeCase {
    const char *name;
    std::string text;
    std::vector<std::string> lines;
};

void PrintTo(const ShapeCase &c, std::ostream *os) { *os << c.name; }

class NzbShapes : public ::testing::TestWithParam<ShapeCase> {};

TEST_P(NzbShapes, ListEverySongFileAsASearchWould) {
    std::string error;
    EXPECT_EQ(songLinesOf(GetParam().text, &error), GetParam().lines);
    EXPECT_EQ(error, "");
}

const std::string kAlbum = nzb(
    fileElement("Artist - Album [01/05] - &quot;01 - Intro.mp3&quot; yEnc (1/3)", {kGroup, "alt.binaries.mp3"},
                {{1, "part1of3.AbC@news.example.com"},
                 {2, "part2of3.AbC@news.example.com"},
                 {3, "part3of3.AbC@news.example.com"}}) +
    fileElement("Artist - Album [02/05] - &quot;Album.nfo&quot; yEnc (1/1)", {kGroup}, {{1, "nfo@news.example.com"}}) +
    fileElement("Artist - Album [03/05] - &quot;Album.mp3.par2&quot; yEnc (1/1)", {kGroup}, {{1, "par@x.y"}}) +
    fileElement("Artist - Album [04/05] - &quot;cover.jpg&quot; yEnc (1/2)", {kGroup}, {{1, "j1@x.y"}, {2, "j2@x.y"}}) +
    fileElement("Artist - Album [05/05] - &quot;02 - Song.MP3&quot; yEnc (1/2)", {"alt.binaries.mp3", kGroup},
                {{1, "s1@x.y"}, {2, "s2@x.y"}}, "946684800"));

const auto kShapes = ::testing::Values(
    // Several files and groups: only the songs, each with its first group and its own date.
    ShapeCase{"AlbumWithExtras",
              kAlbum,
              {std::string("\t01 - Intro.mp3\tnzb\t") + kDate + "\t" + kGroup +
                   "\t3\t<part1of3.AbC@news.example.com>\f<part2of3.AbC@news.example.com>\f"
                   "<part3of3.AbC@news.example.com>\f\r\n",
               "\t02 - Song.MP3\tnzb\tSat, 01 Jan 2000 00:00:00 +0000\talt.binaries.mp3\t2\t<s1@x.y>\f<s2@x.y>\f\r\n"}},
    // Segments as some indexers list them: out of order, a number twice (its first id is used).
    ShapeCase{"SegmentsOutOfOrderAndRepeated",
              nzb(fileElement("Artist - Title.mp3 (1/3)", {kGroup},
                              {{3, "c@x"}, {1, "a@x"}, {2, "b@x"}, {1, "again@x"}, {3, "c2@x"}})),
              {std::string("\tArtist - Title.mp3 \tnzb\t") + kDate + "\t" + kGroup + "\t3\t<a@x>\f<b@x>\f<c@x>\f\r\n"}},
    // No namespace, no DOCTYPE, everything on one line, ids already in angle brackets.
    ShapeCase{"PlainOneLine",
              "<nzb><file subject=\"Song.mp3\" date=\"0\"><groups><group>a.b.c</group></groups><segments>"
              "<segment number=\"1\">&lt;id@x&gt;</segment></segments></file></nzb>",
              {"\tSong.mp3\tnzb\tThu, 01 Jan 1970 00:00:00 +0000\ta.b.c\t1\t<id@x>\f\r\n"}},
    // A namespace prefix on every element, and a subject with entities and the search's prefixes.
    ShapeCase{"PrefixedNamespaceAndEntities",
              nzb(fileElement("REQ: &quot;Tom &amp; Jerry&quot; - Cat&apos;s Song.mp3 (1/1)", {kGroup}, {{1, "a@x"}},
                              "", "n:"),
                  "<n:nzb xmlns:n=\"http://www.newzbin.com/DTD/2003/nzb\">", "</n:nzb>"),
              {std::string("\t\"Tom & Jerry\" - Cat's Song.mp3 \tnzb\t\t") + kGroup + "\t1\t<a@x>\f\r\n"}},
    // Files that are not songs, and a song without segments: nothing to list.
    ShapeCase{"NoSongFile",
              nzb(fileElement("Album.sfv (1/1)", {kGroup}, {{1, "a@x"}}) + fileElement("Song.mp3", {kGroup}, {})),
              {}});

INSTANTIATE_TEST_SUITE_P(Files, NzbShapes, kShapes, [](const auto &info) { return std::string(info.param.name); });

struct RefusedCase {
    const char *name;
    std::string text;
    std::string error;
};

void PrintTo(const RefusedCase &c, std::ostream *os) { *os << c.name; }

class RefusedNzb : public ::testing::TestWithParam<RefusedCase> {};

TEST_P(RefusedNzb, ListsNothingAndSaysWhy) {
    std::string error;
    EXPECT_EQ(songLinesOf(GetParam().text, &error), std::vector<std::string>{});
    EXPECT_EQ(error, GetParam().error);
}

const std::string kGoodFile = fileElement("Song.mp3 (1/1)", {kGroup}, {{1, "a@x"}});
// Nine levels of ten: a billion "lol"s, three gigabytes, if anything expanded them.
std::string billionLaughs() {
    std::string text = "<?xml version=\"1.0\"?>\n<!DOCTYPE nzb [\n  <!ENTITY lol \"lol\">\n";
    for (int level = 1; level <= 9; ++level) {
        text += "  <!ENTITY lol" + std::to_string(level) + " \"";
        for (int i = 0; i < 10; ++i) text += "&lol" + (level == 1 ? std::string() : std::to_string(level - 1)) + ";";
        text += "\">\n";
    }
    return text + "]>\n<nzb><file subject=\"&lol9;.mp3\"></file></nzb>\n";
}

const auto kRefused = ::testing::Values(
    RefusedCase{"NotXml", "Subject: Song.mp3\r\n\r\nbody\r\n", "it is not XML (syntax error, line 1)"},
    RefusedCase{"Empty", "", "it is empty or holds no XML element"},
    RefusedCase{"CutShort", nzb(kGoodFile).substr(0, 300), "it is not XML (unclosed token, line 5)"},
    RefusedCase{"OtherXml", "<?xml version=\"1.0\"?><rss version=\"2.0\"><channel/></rss>",
                "it is XML but not an NZB file (its root element is <rss>)"},
    RefusedCase{"NoFiles", nzb(""), "it lists no files"},
    RefusedCase{"BillionLaughs", billionLaughs(), "it declares entities, which an NZB file never does"},
    RefusedCase{"OneInternalEntity", "<!DOCTYPE nzb [<!ENTITY a \"x\">]><nzb>" + kGoodFile + "</nzb>",
                "it declares entities, which an NZB file never does"},
    // Behind a DOCTYPE naming an external DTD, which is never read, and without one.
    RefusedCase{"UndeclaredEntity", nzb(fileElement("Song.mp3", {"alt.&nbsp;"}, {{1, "a@x"}})),
                "it uses the undefined entity &nbsp; (line 7)"},
    RefusedCase{"UndeclaredEntityWithoutDoctype", "<nzb><file subject=\"&nbsp;.mp3\"/></nzb>",
                "it is not XML (undefined entity, line 1)"},
    RefusedCase{"MessageIdWithoutAt", nzb(fileElement("Song.mp3", {kGroup}, {{1, "a@x"}, {2, "nothing.here"}})),
                "a message-id has no @ (line 11)"},
    RefusedCase{"MessageIdWithControlCharacter", nzb(fileElement("Song.mp3", {kGroup}, {{1, "a&#9;QUIT@x"}})),
                "a message-id holds a blank or a control character (line 10)"},
    RefusedCase{"MessageIdWithLineEnd", nzb(fileElement("Song.mp3", {kGroup}, {{1, "a&#13;&#10;QUIT@x"}})),
                "a message-id holds a blank or a control character (line 10)"},
    RefusedCase{"MessageIdWithBlank", nzb(fileElement("Song.mp3", {kGroup}, {{1, "a b@x"}})),
                "a message-id holds a blank or a control character (line 10)"},
    RefusedCase{"MessageIdWithBracket", nzb(fileElement("Song.mp3", {kGroup}, {{1, "a>b@x"}})),
                "a message-id holds an angle bracket (line 10)"},
    RefusedCase{"EmptyMessageId", nzb(fileElement("Song.mp3", {kGroup}, {{1, "  "}})),
                "a segment has no message-id (line 10)"},
    RefusedCase{"LongMessageId", nzb(fileElement("Song.mp3", {kGroup}, {{1, std::string(300, 'a') + "@x"}})),
                "a message-id is longer than 250 characters (line 10)"},
    RefusedCase{"SegmentWithoutNumber",
                nzb("<file subject=\"Song.mp3\"><groups><group>g</group></groups><segments>"
                    "<segment>a@x</segment></segments></file>"),
                "a segment has no valid number (line 5)"},
    RefusedCase{"FileWithoutGroup", nzb(fileElement("Song.mp3", {}, {{1, "a@x"}})),
                "a file lists no newsgroup (line 11)"},
    RefusedCase{"GroupWithBlank", nzb(fileElement("Song.mp3", {"alt.binaries x"}, {{1, "a@x"}})),
                "a newsgroup name holds a blank or a control character (line 7)"});

INSTANTIATE_TEST_SUITE_P(Files, RefusedNzb, kRefused, [](const auto &info) { return std::string(info.param.name); });

// A refusal late in the file, after songs were read: the whole file is refused.
TEST(NzbReader, ALateRefusalListsNothingOfTheFile) {
    std::string error;
    EXPECT_EQ(songLinesOf(nzb(kGoodFile + kGoodFile + fileElement("B.mp3", {kGroup}, {{1, "nothing"}})), &error),
              std::vector<std::string>{});
    EXPECT_EQ(error, "a message-id has no @ (line 26)");
}

// The reader gets a file in pieces of any size: every split gives the same list.
TEST(NzbReader, PiecesOfAnySizeGiveTheSameList) {
    const std::vector<std::string> whole = songLinesOf(kAlbum);
    ASSERT_EQ(whole.size(), 2u);
    for (std::size_t piece : {1u, 7u, 64u, 1000u}) {
        NzbReader reader;
        for (std::size_t at = 0; at < kAlbum.size(); at += piece)
            ASSERT_TRUE(reader.feed(std::string_view(kAlbum).substr(at, piece))) << reader.error();
        ASSERT_TRUE(reader.finish()) << reader.error();
        std::vector<std::string> lines;
        sendNzbSongLines(reader.list(), [&lines](std::string_view line) { lines.emplace_back(line); });
        EXPECT_EQ(lines, whole) << piece;
    }
}

TEST(NzbSongs, SongFileNames) {
    for (const char *song : {"Song.mp3", "Song.MP3 ", "[01/12] - \"Track.mp3\" ", "\"Live\" - Song.mp3"})
        EXPECT_TRUE(namesSongFile(song)) << song;
    for (const char *other : {"Album.mp3.par2", "\"Album.mp3.vol00+01.par2\"", "Album.nfo", "cover.jpg", "mp3",
                              "Song.mp3x", "Album.sfv", ""})
        EXPECT_FALSE(namesSongFile(other)) << other;
}

TEST(NzbSongs, DatesAsNewsServersWriteThem) {
    EXPECT_EQ(nzbDateText(1709251200), kDate);
    EXPECT_EQ(nzbDateText(951782400), "Tue, 29 Feb 2000 00:00:00 +0000");
    EXPECT_EQ(nzbDateText(1234567890), "Fri, 13 Feb 2009 23:31:30 +0000");
    EXPECT_EQ(nzbDateText(-1), "");
}

}  // namespace
