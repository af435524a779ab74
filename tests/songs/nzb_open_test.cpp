// mp3OpenNzb on files from disk: plain and gzip-compressed NZB files list their songs; every path
// that is not a readable NZB file ends with one clear 9001 and lists nothing.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "core/engine_settings.h"
#include "corvane_n.h"
#include "support/test_environment.h"

using namespace harbeat::test;
namespace fs = std::filesystem;

namespace harbeat::test {
inline void PrintTo(const Report &report, std::ostream *out) {
    *out << report.code << " " << testing::PrintToString(report.text);
}
}  // namespace harbeat::test

namespace {

const std::string kNzb =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<!DOCTYPE nzb PUBLIC \"-//newzBin//DTD NZB 1.1//EN\" \"http://www.newzbin.com/DTD/nzb/nzb-1.1.dtd\">\n"
    "<nzb xmlns=\"http://www.newzbin.com/DTD/2003/nzb\">\n"
    " <file poster=\"p@example.com\" date=\"1709251200\" subject=\"[1/2] - &quot;Song.mp3&quot; yEnc (1/2)\">\n"
    "  <groups><group>alt.binaries.sounds.mp3</group></groups>\n"
    "  <segments><segment bytes=\"9\" number=\"2\">b@x</segment><segment bytes=\"9\" number=\"1\">a@x</segment>"
    "</segments>\n"
    " </file>\n"
    " <file poster=\"p@example.com\" date=\"1709251200\" subject=\"[2/2] - &quot;Song.par2&quot; yEnc (1/1)\">\n"
    "  <groups><group>alt.binaries.sounds.mp3</group></groups>\n"
    "  <segments><segment bytes=\"9\" number=\"1\">c@x</segment></segments>\n"
    " </file>\n"
    "</nzb>\n";

const std::string kSongLine =
    "\tSong.mp3\tnzb\tFri, 01 Mar 2024 00:00:00 +0000\talt.binaries.sounds.mp3\t2\t<a@x>\f<b@x>\f\r\n";

void writeFile(const fs::path &path, const std::string &bytes) { std::ofstream(path, std::ios::binary) << bytes; }

void writeGzip(const fs::path &path, const std::string &bytes) {
    gzFile file = gzopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    ASSERT_EQ(gzwrite(file, bytes.data(), static_cast<unsigned>(bytes.size())), static_cast<int>(bytes.size()));
    ASSERT_EQ(gzclose(file), Z_OK);
}

class OpenNzb : public ::testing::Test {
protected:
    void SetUp() override {
        ReportRecorder::clear();
        corvane::storeStatusCallback(ReportRecorder::callback());
        corvane::setCancelRequested(false);
    }
    void TearDown() override { corvane::storeStatusCallback(nullptr); }

    // The reports of one mp3OpenNzb, without progress.
    static std::vector<Report> open(const fs::path &path) {
        EXPECT_NE(mp3OpenNzb(path.c_str()), -1);
        EXPECT_TRUE(ReportRecorder::waitFor({kNotifySearchDone, kNotifyError}));
        ReportRecorder::waitQuiet(std::chrono::milliseconds(50));
        std::vector<Report> kept;
        for (const Report &report : ReportRecorder::reports())
            if (report.code != kNotifyProgress) kept.push_back(report);
        return kept;
    }

    fs::path pathOf(const std::string &name) const { return home.path() / name; }

    TemporaryHome home;
};

TEST_F(OpenNzb, PlainAndCompressedFilesListTheirSongs) {
    writeFile(pathOf("album.nzb"), kNzb);
    writeGzip(pathOf("album.nzb.gz"), kNzb);
    // Compressed files are known by their content, not their name.
    writeGzip(pathOf("packed.nzb"), kNzb);
    for (const char *name : {"album.nzb", "album.nzb.gz", "packed.nzb"}) {
        ReportRecorder::clear();
        EXPECT_EQ(open(pathOf(name)), (std::vector<Report>{{kNotifyStatus, std::string("Reading ") + name + "..."},
                                                           {kNotifySong, kSongLine},
                                                           {kNotifySearchDone, "DONE"}}))
            << name;
    }
}

// Reading shows how far it got, ending at 100.
TEST_F(OpenNzb, ProgressWhileReading) {
    writeFile(pathOf("album.nzb"), kNzb);
    EXPECT_NE(mp3OpenNzb(pathOf("album.nzb").c_str()), -1);
    ASSERT_TRUE(ReportRecorder::waitFor({kNotifySearchDone}));
    std::vector<std::string> progress;
    for (const Report &report : ReportRecorder::reports())
        if (report.code == kNotifyProgress) progress.push_back(report.text);
    EXPECT_EQ(progress, (std::vector<std::string>{"100.00"}));
}

TEST_F(OpenNzb, AnNzbWithoutSongsEndsLikeASearchWithout) {
    std::string other = kNzb;
    other.replace(other.find("Song.mp3"), 8, "Song.nfo");
    writeFile(pathOf("extras.nzb"), other);
    EXPECT_EQ(open(pathOf("extras.nzb")),
              (std::vector<Report>{{kNotifyStatus, "Reading extras.nzb..."}, {kNotifyError, "No Songs."}}));
}

struct BadPathCase {
    const char *name;
    // Makes the path in the folder and returns it; empty when the case cannot be made here.
    std::function<fs::path(const fs::path &folder)> make;
    std::string error;
};

void PrintTo(const BadPathCase &c, std::ostream *os) { *os << c.name; }

class OpenBadNzb : public OpenNzb, public ::testing::WithParamInterface<BadPathCase> {};

TEST_P(OpenBadNzb, OneClearErrorAndNothingListed) {
    const fs::path path = GetParam().make(home.path());
    if (path.empty()) GTEST_SKIP() << "cannot be made on this machine";
    EXPECT_EQ(open(path), (std::vector<Report>{{kNotifyStatus, "Reading " + path.filename().string() + "..."},
                                               {kNotifyError, GetParam().error}}));
}

const auto kBadPaths =
    ::testing::Values(BadPathCase{"Missing", [](const fs::path &folder) { return folder / "missing.nzb"; },
                                  "Cannot list missing.nzb: it cannot be opened (No such file or directory)."},
                      BadPathCase{"Folder",
                                  [](const fs::path &folder) {
                                      fs::create_directory(folder / "folder.nzb");
                                      return folder / "folder.nzb";
                                  },
                                  "Cannot list folder.nzb: it is a folder."},
                      // Opening a FIFO for reading waits for a writer, unless the reader refuses it first.
                      BadPathCase{"Fifo",
                                  [](const fs::path &folder) {
                                      const fs::path path = folder / "pipe.nzb";
                                      return mkfifo(path.c_str(), 0600) == 0 ? path : fs::path();
                                  },
                                  "Cannot list pipe.nzb: it is not a regular file."},
                      BadPathCase{"Device", [](const fs::path &) { return fs::path("/dev/zero"); },
                                  "Cannot list zero: it is not a regular file."},
                      // 2 GB on paper, nothing on disk: refused by its size before a byte is read.
                      BadPathCase{"Huge",
                                  [](const fs::path &folder) {
                                      const fs::path path = folder / "huge.nzb";
                                      writeFile(path, kNzb);
                                      fs::resize_file(path, 2ull << 30);
                                      return path;
                                  },
                                  "Cannot list huge.nzb: it is larger than 256 MB, more than any NZB file."},
                      BadPathCase{"Unreadable",
                                  [](const fs::path &folder) {
                                      const fs::path path = folder / "locked.nzb";
                                      writeFile(path, kNzb);
                                      chmod(path.c_str(), 0);
                                      // The super-user reads it all the same.
                                      return access(path.c_str(), R_OK) == 0 ? fs::path() : path;
                                  },
                                  "Cannot list locked.nzb: it cannot be opened (Permission denied)."},
                      BadPathCase{"CutGzip",
                                  [](const fs::path &folder) {
                                      const fs::path path = folder / "cut.nzb.gz";
                                      writeGzip(path, kNzb);
                                      fs::resize_file(path, fs::file_size(path) - 12);
                                      return path;
                                  },
                                  "Cannot list cut.nzb.gz: it is a damaged gzip file (unexpected end of file)."},
                      BadPathCase{"NotXml",
                                  [](const fs::path &folder) {
                                      writeFile(folder / "notes.nzb", "just some notes\n");
                                      return folder / "notes.nzb";
                                  },
                                  "Cannot list notes.nzb: it is not XML (syntax error, line 1)."},
                      BadPathCase{"BadMessageId",
                                  [](const fs::path &folder) {
                                      std::string bad = kNzb;
                                      bad.replace(bad.find("c@x"), 3, "c-x");
                                      writeFile(folder / "bad.nzb", bad);
                                      return folder / "bad.nzb";
                                  },
                                  "Cannot list bad.nzb: a message-id has no @ (line 10)."});

INSTANTIATE_TEST_SUITE_P(Paths, OpenBadNzb, kBadPaths, [](const auto &info) { return std::string(info.param.name); });

// A small compressed file that unpacks to more than any NZB: refused once that much came out, not
// read to its end.
TEST_F(OpenNzb, CompressedFileUnpackingTooFarIsRefused) {
    const fs::path path = pathOf("bomb.nzb.gz");
    gzFile file = gzopen(path.c_str(), "wb1");
    ASSERT_NE(file, nullptr);
    const std::string start = "<nzb><head>";
    gzwrite(file, start.data(), static_cast<unsigned>(start.size()));
    const std::string filler(1 << 20, 'a');
    for (int i = 0; i < 257; ++i) gzwrite(file, filler.data(), static_cast<unsigned>(filler.size()));
    ASSERT_EQ(gzclose(file), Z_OK);
    EXPECT_EQ(open(path), (std::vector<Report>{{kNotifyStatus, "Reading bomb.nzb.gz..."},
                                               {kNotifyError,
                                                "Cannot list bomb.nzb.gz: it unpacks to more than 256 MB, "
                                                "more than any NZB file."}}));
}

}  // namespace
