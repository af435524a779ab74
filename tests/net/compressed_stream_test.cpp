// The inflating state machine under the readers: what comes out for every way the servers send
// compressed replies, and how damaged or hostile streams end.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "net/compressed_stream.h"
#include "support/compressed_bytes.h"

using corvane::CompressedStream;
using corvane::CompressionMethod;
using namespace harbeat::test;

namespace {

constexpr std::size_t kCap = 1 << 20;

struct Outcome {
    std::string clear;
    std::string error;  // empty when the stream ended cleanly
};

// Feeds `raw` in pieces of `piece` bytes and reads with a buffer of `capacity`, then ends the input.
Outcome play(CompressionMethod method, const std::string &raw, std::size_t piece, std::size_t capacity,
             std::size_t cap = kCap) {
    CompressedStream stream(method, cap);
    Outcome outcome;
    std::vector<char> buffer(capacity);
    std::size_t at = 0;
    for (;;) {
        const long n = stream.read(buffer.data(), buffer.size());
        if (n < 0) {
            outcome.error = stream.error();
            return outcome;
        }
        if (n > 0) {
            outcome.clear.append(buffer.data(), static_cast<std::size_t>(n));
            continue;
        }
        if (at >= raw.size()) break;
        const std::size_t take = std::min(piece, raw.size() - at);
        stream.feed(std::string_view(raw).substr(at, take));
        at += take;
    }
    if (!stream.endOfInput()) outcome.error = stream.error();
    return outcome;
}

const std::string kOverview =
    "1\tSong A.mp3 (1/2)\tme\tdate\t<a@x>\t\t100\t2\r\n..dotted line\r\n2\tSong A.mp3 (2/2)\tme\tdate\t<b@x>\t\t9\t1\r\n";

// Some 300 kB of distinct overview lines.
const std::string kLargeOverview = [] {
    std::string lines;
    for (int n = 1; lines.size() < 300 * 1024; ++n)
        lines += std::to_string(n) + "\tSong " + std::to_string(n * 7919 % 100003) + ".mp3 (1/1)\tme\tdate\t<" +
                 std::to_string(n) + "@x>\t\t100\t2\r\n";
    return lines;
}();

struct GoodCase {
    const char *name;
    CompressionMethod method;
    std::string raw;
    std::string clear;
};

TEST(CompressedStream, GivesTheClearRepliesWhateverThePiecesAndBuffers) {
    const std::string clearReplies = "211 3 1 3 g\r\n224 follows\r\n" + kOverview + ".\r\n";
    const std::string article = "220 1 <a@x> article\r\nSubject: x\r\n\r\n224 a [COMPRESS=GZIP]\r\n..\r\n.\r\n";
    const std::vector<GoodCase> cases = {
        {"deflate, one flush per reply", CompressionMethod::Deflate,
         rawDeflate({"211 3 1 3 g\r\n", "224 follows\r\n" + kOverview + ".\r\n"}), clearReplies},
        {"gzip, clear terminator", CompressionMethod::Gzip,
         "211 3 1 3 g\r\n" + gzipReply("224 follows [COMPRESS=GZIP]\r\n", kOverview),
         "211 3 1 3 g\r\n224 follows [COMPRESS=GZIP]\r\n" + kOverview + ".\r\n"},
        {"gzip, terminator inside", CompressionMethod::Gzip,
         gzipReply("224 follows [COMPRESS=GZIP]\r\n", kOverview, true) + "205 bye\r\n",
         "224 follows [COMPRESS=GZIP]\r\n" + kOverview + ".\r\n205 bye\r\n"},
        {"gzip header instead of zlib", CompressionMethod::Gzip,
         "224 follows [COMPRESS=GZIP]\r\n" + zlibStream(kOverview, true) + ".\r\n",
         "224 follows [COMPRESS=GZIP]\r\n" + kOverview + ".\r\n"},
        {"gzip, empty reply", CompressionMethod::Gzip, gzipReply("224 none [COMPRESS=GZIP]\r\n", ""),
         "224 none [COMPRESS=GZIP]\r\n.\r\n"},
        // The marker inside the data of a clear reply, or on a single-line reply, is just text.
        {"gzip, marker in clear data", CompressionMethod::Gzip, article + "423 no [COMPRESS=GZIP]\r\n",
         article + "423 no [COMPRESS=GZIP]\r\n"},
        {"gzip, two compressed replies back to back", CompressionMethod::Gzip,
         gzipReply("224 a [COMPRESS=GZIP]\r\n", kOverview) + gzipReply("215 b [COMPRESS=GZIP]\r\n", "alt.x 2 1 y\r\n"),
         "224 a [COMPRESS=GZIP]\r\n" + kOverview + ".\r\n215 b [COMPRESS=GZIP]\r\nalt.x 2 1 y\r\n.\r\n"},
        // Beyond what is inflated at once: read as it comes, in every piece size.
        {"gzip, reply larger than one inflated whole", CompressionMethod::Gzip,
         gzipReply("224 big [COMPRESS=GZIP]\r\n", kLargeOverview),
         "224 big [COMPRESS=GZIP]\r\n" + kLargeOverview + ".\r\n"},
    };
    for (const GoodCase &c : cases) {
        for (std::size_t piece : {std::size_t(1), std::size_t(7), std::size_t(65536)}) {
            for (std::size_t capacity : {std::size_t(1), std::size_t(5), std::size_t(4096)}) {
                const Outcome outcome = play(c.method, c.raw, piece, capacity);
                EXPECT_EQ(outcome.error, "") << c.name << " piece " << piece << " capacity " << capacity;
                EXPECT_EQ(outcome.clear, c.clear) << c.name << " piece " << piece << " capacity " << capacity;
            }
        }
    }
}

struct BadCase {
    const char *name;
    CompressionMethod method;
    std::string raw;
    std::string errorPart;
};

std::string flipped(std::string bytes, std::size_t at) {
    bytes[at] = static_cast<char>(bytes[at] ^ 0x5a);
    return bytes;
}

TEST(CompressedStream, DamagedStreamsEndWithAMessage) {
    const std::string deflated = rawDeflate({"224 follows\r\n" + kOverview + ".\r\n"});
    const std::string gzipped = gzipReply("224 follows [COMPRESS=GZIP]\r\n", kOverview);
    const std::size_t statusLength = std::string("224 follows [COMPRESS=GZIP]\r\n").size();
    const std::vector<BadCase> cases = {
        {"deflate truncated", CompressionMethod::Deflate, deflated.substr(0, deflated.size() / 2), "ended early"},
        {"deflate closed before a byte", CompressionMethod::Deflate, "", "ended early"},
        {"deflate garbage", CompressionMethod::Deflate, "this is not deflate at all\r\n", "damaged"},
        {"gzip truncated", CompressionMethod::Gzip, gzipped.substr(0, statusLength + 10), "ended early"},
        {"gzip bit flipped", CompressionMethod::Gzip, flipped(gzipped, statusLength + 1), "damaged"},
        {"gzip checksum flipped", CompressionMethod::Gzip, flipped(gzipped, gzipped.size() - 5), "damaged"},
        {"gzip garbage after the marker", CompressionMethod::Gzip, "224 x [COMPRESS=GZIP]\r\nplain text\r\n.\r\n",
         "damaged"},
        {"gzip garbage behind the stream", CompressionMethod::Gzip,
         gzipped.substr(0, gzipped.size() - 3) + "junk\r\n", "not its ending line"},
        {"gzip stream ends inside a line", CompressionMethod::Gzip,
         "224 x [COMPRESS=GZIP]\r\n" + zlibStream("half a line") + ".\r\n", "inside a line"},
    };
    for (const BadCase &c : cases) {
        for (std::size_t piece : {std::size_t(1), std::size_t(4096)}) {
            const Outcome outcome = play(c.method, c.raw, piece, 4096);
            EXPECT_NE(outcome.error.find(c.errorPart), std::string::npos)
                << c.name << " piece " << piece << ": " << outcome.error;
            EXPECT_TRUE(outcome.error.starts_with(corvane::kCompressedDataPrefix)) << c.name;
        }
    }
}

TEST(CompressedStream, ABombStopsAtTheReplyCap) {
    // About 1 kB of zlib that inflates to 64 MB of one repeated line.
    std::string lines;
    const std::string line = std::string(1022, 'a') + "\r\n";
    lines.reserve(std::size_t(64) << 20);
    while (lines.size() < (std::size_t(64) << 20)) lines += line;
    const std::string bomb = gzipReply("224 x [COMPRESS=GZIP]\r\n", lines);
    ASSERT_LT(bomb.size(), 200u * 1024u);
    const Outcome outcome = play(CompressionMethod::Gzip, bomb, 65536, 65536, std::size_t(1) << 20);
    EXPECT_NE(outcome.error.find("more than a reply may hold"), std::string::npos) << outcome.error;
    EXPECT_LE(outcome.clear.size(), (std::size_t(1) << 20) + 100u);
}

TEST(CompressedStream, AFailedStreamStaysFailed) {
    CompressedStream stream(CompressionMethod::Gzip, kCap);
    stream.feed("224 x [COMPRESS=GZIP]\r\nnot zlib");
    char buffer[64];
    long n;
    while ((n = stream.read(buffer, sizeof buffer)) > 0) {
    }
    ASSERT_EQ(n, -1);
    stream.feed(gzipReply("224 y [COMPRESS=GZIP]\r\n", kOverview));
    EXPECT_EQ(stream.read(buffer, sizeof buffer), -1);
    EXPECT_FALSE(stream.endOfInput());
}

}  // namespace
