// Helpers of the song search tests: overview lines in the usual layout, a fixture that points the
// engine at a peer, and report filters.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/engine_settings.h"
#include "corvane_n.h"
#include "nntp/overview_layout.h"
#include "support/scripted_peer.h"
#include "support/test_environment.h"

namespace harbeat::test {

inline constexpr const char *kPostDate = "Fri, 01 Mar 2024 00:00:00 +0000";

// One overview line (CR LF included) as the usual "list overview.fmt" orders the fields; the
// article is as large as a song unless `bytes` and `lines` say otherwise.
inline std::string overviewLine(long number, const std::string &subject, const std::string &messageId,
                                const std::string &date = kPostDate, int bytes = 5000, int lines = 40) {
    const std::string n = std::to_string(number);
    return n + "\t" + subject + "\tposter@example.com\t" + date + "\t" + messageId + "\t\t" + std::to_string(bytes) +
           "\t" + std::to_string(lines) + "\tXref: news.example g:" + n + "\r\n";
}

inline std::string overviewReply(const std::vector<std::string> &lines) {
    std::string reply = "224 Overview information follows\r\n";
    for (const std::string &l : lines) reply += l;
    return reply + ".\r\n";
}

inline std::vector<Report> withoutProgress(const std::vector<Report> &reports) {
    std::vector<Report> kept;
    for (const Report &r : reports)
        if (r.code != kNotifyProgress) kept.push_back(r);
    return kept;
}

inline std::vector<std::string> textsOf(const std::vector<Report> &reports, int32_t code) {
    std::vector<std::string> texts;
    for (const Report &r : reports)
        if (r.code == code) texts.push_back(r.text);
    return texts;
}

inline void PrintTo(const Report &r, std::ostream *os) {
    *os << r.code << " \"";
    for (char c : r.text) {
        if (c == '\r')
            *os << "\\r";
        else if (c == '\n')
            *os << "\\n";
        else if (c == '\t')
            *os << "\\t";
        else if (c == '\f')
            *os << "\\f";
        else
            *os << c;
    }
    *os << '"';
}

// Points the engine at 127.0.0.1:port with the usual overview layout and the report recorder.
class SongSearchTest : public ::testing::Test {
protected:
    void SetUp() override {
        ReportRecorder::clear();
        corvane::storeStatusCallback(ReportRecorder::callback());
        corvane::storeOverviewLayout({1, 7, 4, 3, 6});
        corvane::setCancelRequested(false);
    }
    void TearDown() override { corvane::setCancelRequested(false); }

    static void useServer(int port) { corvane::storeEngineSettings({"127.0.0.1", port, "", "", 0}); }

    // Runs a search against the scripted peer and waits until the engine has closed its session.
    static void search(ScriptedPeer &peer, const std::string &request) {
        useServer(peer.port());
        peer.start();
        ASSERT_NE(mp3GetSongs(request.c_str()), -1);
        ASSERT_TRUE(peer.waitClosed());
        for (const std::string &failure : peer.failures()) ADD_FAILURE() << failure;
    }
};

}  // namespace harbeat::test
