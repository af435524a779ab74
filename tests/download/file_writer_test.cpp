// Writing a song's files: names from articles are untrusted, and no file may land outside the
// download folder.
#include "download/file_writer.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>

#include "core/engine_settings.h"
#include "support/test_environment.h"

using namespace corvane;
using harbeat::test::readFile;
using harbeat::test::Report;
using harbeat::test::ReportRecorder;
using harbeat::test::TemporaryHome;
namespace fs = std::filesystem;

namespace {

struct NameCase {
    const char *name;
    std::string articleName;
    std::string safeName;  // empty: unusable
};

class SafeFileName : public testing::TestWithParam<NameCase> {};

DecodedFile decodedFile(const std::string &name, const std::string &bytes, bool complete) {
    DecodedFile file;
    file.fileName = name;
    file.bytes = bytes;
    file.complete = complete;
    return file;
}

class WriteDecodedFiles : public testing::Test {
protected:
    void SetUp() override {
        ReportRecorder::clear();
        storeStatusCallback(ReportRecorder::callback());
        folder = home.path() / "songs";
    }
    void TearDown() override { storeStatusCallback(nullptr); }

    std::string write(const std::vector<DecodedFile> &files, const std::string &fixedName = "",
                      bool writeIncomplete = false) {
        DecodedFileList list;
        list.files = files;
        return writeDecodedFiles(folder.string(), fixedName, list, writeIncomplete);
    }

    TemporaryHome home;
    fs::path folder;
};

}  // namespace

TEST_P(SafeFileName, Reduces) { EXPECT_EQ(safeFileName(GetParam().articleName), GetParam().safeName); }

INSTANTIATE_TEST_SUITE_P(
    Cases, SafeFileName,
    testing::Values(NameCase{"Plain", "song.mp3", "song.mp3"}, NameCase{"Blanks", "my song.mp3", "my song.mp3"},
                    NameCase{"ParentFolders", "../../etc/evil.mp3", "evil.mp3"},
                    NameCase{"AbsolutePath", "/etc/passwd", "passwd"},
                    NameCase{"Backslashes", "..\\..\\Windows\\evil.mp3", "evil.mp3"},
                    NameCase{"MixedSeparators", "a/b\\c.mp3", "c.mp3"},
                    NameCase{"ControlCharacters", std::string("so\0ng\r\n\x1b\x7f.mp3", 14), "song.mp3"},
                    NameCase{"QuotesStayForThePath", "\"quoted\".mp3", "\"quoted\".mp3"}, NameCase{"Empty", "", ""},
                    NameCase{"Dot", ".", ""}, NameCase{"DotDot", "..", ""}, NameCase{"TrailingSlash", "music/", ""},
                    NameCase{"DotDotAfterFolder", "a/..", ""}, NameCase{"OnlyControl", "\r\n", ""},
                    NameCase{"DotDotInQuotes", "\".\".", ""}, NameCase{"Latin1Kept", "caf\xe9.mp3", "caf\xe9.mp3"}),
    [](const testing::TestParamInfo<NameCase> &info) { return std::string(info.param.name); });

TEST_F(WriteDecodedFiles, OverwritesAnExistingFile) {
    fs::create_directories(folder);
    { std::ofstream(folder / "a.mp3") << "an older and longer file"; }
    write({decodedFile("a.mp3", "abc", true)});
    EXPECT_EQ(readFile(folder / "a.mp3"), "abc");
}

TEST_F(WriteDecodedFiles, IncompleteFileOnlyWhenAsked) {
    // Nothing written: no path to report, and none kept from an earlier call.
    EXPECT_EQ(write({decodedFile("a.mp3", "abc", false)}), "");
    const std::string path = (folder / "a.mp3").string();
    EXPECT_FALSE(fs::exists(path));
    EXPECT_EQ(write({decodedFile("a.mp3", "abc", false)}, "", true), path);
    EXPECT_EQ(readFile(path), "abc");
    EXPECT_EQ(write({decodedFile("b.mp3", "abc", false)}), "");
}

TEST_F(WriteDecodedFiles, FixedNameTakesEveryFileInTurn) {
    const std::string path =
        write({decodedFile("a.mp3", "first", false), decodedFile("..", "second", false)}, "Harbeat_Preview.mp3", true);
    EXPECT_EQ(path, (folder / "Harbeat_Preview.mp3").string());
    EXPECT_EQ(readFile(path), "second");
    EXPECT_TRUE(ReportRecorder::reports().empty());
}

TEST_F(WriteDecodedFiles, FileThatCannotBeCreatedIsReportedAndTheNextWritten) {
    fs::create_directories(folder / "taken.mp3");  // a folder where the file should go
    write({decodedFile("taken.mp3", "x", true), decodedFile("ok.mp3", "y", true)});
    const std::vector<Report> reports = ReportRecorder::reports();
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].code, kNotifyError);
    EXPECT_EQ(reports[0].text.rfind("Cannot create the file \"" + (folder / "taken.mp3").string() + "\": ", 0), 0u)
        << reports[0].text;
    EXPECT_EQ(readFile(folder / "ok.mp3"), "y");
}

namespace {

// Only the written files are left in the folder: no temporary file stays behind.
std::vector<std::string> folderNames(const fs::path &folder) {
    std::vector<std::string> names;
    for (const auto &entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

struct LinkCase {
    const char *name;
    bool targetExists;
};

void PrintTo(const LinkCase &c, std::ostream *os) { *os << c.name; }

class LinkInFolder : public WriteDecodedFiles, public testing::WithParamInterface<LinkCase> {};

}  // namespace

// A link named like the song, pointing out of the folder, is replaced by the song; the file it
// points to is never written or created.
TEST_P(LinkInFolder, IsReplacedNeverFollowed) {
    fs::create_directories(folder);
    const fs::path outside = home.path() / "outside.txt";
    if (GetParam().targetExists) std::ofstream(outside) << "keep me";
    fs::create_symlink(outside, folder / "song.mp3");
    EXPECT_EQ(write({decodedFile("song.mp3", "music", true)}), (folder / "song.mp3").string());
    EXPECT_FALSE(fs::is_symlink(folder / "song.mp3"));
    EXPECT_EQ(readFile(folder / "song.mp3"), "music");
    if (GetParam().targetExists)
        EXPECT_EQ(readFile(outside), "keep me");
    else
        EXPECT_FALSE(fs::exists(outside));
    EXPECT_EQ(folderNames(folder), std::vector<std::string>{"song.mp3"});
}

INSTANTIATE_TEST_SUITE_P(Links, LinkInFolder, testing::Values(LinkCase{"Dangling", false}, LinkCase{"ToAFile", true}),
                         [](const testing::TestParamInfo<LinkCase> &info) { return std::string(info.param.name); });

// A full disk, made by a file size limit: the write fails, the older complete copy stays as it
// was, no temporary file is left, and no path is returned for the 9006 report.
TEST_F(WriteDecodedFiles, FailedWriteKeepsTheOlderCopy) {
    fs::create_directories(folder);
    { std::ofstream(folder / "song.mp3") << "old complete copy"; }
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit previous{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &previous), 0);
    rlimit limited = previous;
    limited.rlim_cur = 4096;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
    const std::string path = write({decodedFile("song.mp3", std::string(100000, 'x'), true)});
    setrlimit(RLIMIT_FSIZE, &previous);
    std::signal(SIGXFSZ, previousHandler);
    EXPECT_EQ(path, "");
    EXPECT_EQ(readFile(folder / "song.mp3"), "old complete copy");
    EXPECT_EQ(folderNames(folder), std::vector<std::string>{"song.mp3"});
    const std::vector<Report> reports = ReportRecorder::reports();
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].text.rfind("Cannot write the file \"" + (folder / "song.mp3").string() + "\": ", 0), 0u)
        << reports[0].text;
}

// The fixed preview name is cut to its last component like a decoded name.
TEST_F(WriteDecodedFiles, FixedNameKeepsToTheFolder) {
    EXPECT_EQ(write({decodedFile("a.mp3", "x", true)}, "../../escaped.mp3"), (folder / "escaped.mp3").string());
    EXPECT_FALSE(fs::exists(home.path() / "escaped.mp3"));
    EXPECT_EQ(readFile(folder / "escaped.mp3"), "x");
    EXPECT_EQ(write({decodedFile("a.mp3", "x", true)}, ".."), "");
    EXPECT_EQ(ReportRecorder::reports().size(), 1u);
}
