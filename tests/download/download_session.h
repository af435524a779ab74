// Runs mp3BuildSongs against a scripted news server and collects its reports.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "core/engine_options.h"
#include "core/engine_settings.h"
#include "corvane_n.h"
#include "decode/fixture_data.h"
#include "support/scripted_peer.h"
#include "support/test_environment.h"

namespace harbeat::test {

// Reports print as code and text in failure messages.
inline void PrintTo(const Report &report, std::ostream *out) {
    *out << report.code << " \"" << testing::PrintToString(report.text) << "\"";
}

inline constexpr const char *kGroup = "alt.binaries.sounds.mp3";

// The reply to "article" carrying a committed article, dot-stuffed as a server sends it.
inline std::string articleReply(const std::string &messageId, const std::string &article) {
    return "220 0 " + messageId + " article\r\n" + dotStuffed(article) + ".\r\n";
}

// A peer that greets and selects the group; the test adds the articles and the QUIT.
inline void scriptGreetingAndGroup(ScriptedPeer &peer) {
    peer.send("200 news.example ready\r\n");
    peer.expect(std::string("group ") + kGroup + "\r\n");
    peer.send(std::string("211 3 1 3 ") + kGroup + "\r\n");
}

inline void scriptArticle(ScriptedPeer &peer, const std::string &messageId, const std::string &fixtureName) {
    peer.expect("article " + messageId + "\r\n");
    peer.send(articleReply(messageId, fixture(fixtureName)));
}

inline void scriptQuit(ScriptedPeer &peer) {
    peer.expect("QUIT\r\n");
    peer.send("205 bye\r\n");
}

// One request line: newsgroup TAB part count TAB message-ids each followed by a form feed.
inline std::string requestLine(const std::vector<std::string> &messageIds, int partCount = -1,
                               const std::string &group = kGroup) {
    std::string line = group + "\t" + std::to_string(partCount < 0 ? messageIds.size() : partCount) + "\t";
    for (const std::string &id : messageIds) line += id + "\f";
    return line + "\r\n";
}

class DownloadTest : public testing::Test {
protected:
    void SetUp() override {
        ReportRecorder::clear();
        corvane::storeStatusCallback(ReportRecorder::callback());
        folder = home.path() / "songs";
        // The scripts are the exact commands of one session.
        corvane::setEngineOption("connections", "1");
    }
    void TearDown() override {
        corvane::storeStatusCallback(nullptr);
        corvane::resetEngineOptionsForTests();
    }

    // Starts the download against the peer and waits until its last report.
    std::vector<Report> download(ScriptedPeer &peer, const std::string &request, const std::string &fixedName = "",
                                 int32_t flags = 0) {
        corvane::EngineSettings settings;
        settings.server = "127.0.0.1";
        settings.port = peer.port();
        corvane::storeEngineSettings(settings);
        peer.start();
        EXPECT_NE(mp3BuildSongs(folder.c_str(), fixedName.c_str(), request.c_str(), flags), -1);
        EXPECT_TRUE(peer.waitClosed());
        ReportRecorder::waitQuiet(std::chrono::milliseconds(100));
        for (const std::string &failure : peer.failures()) ADD_FAILURE() << failure;
        return ReportRecorder::reports();
    }

    std::string pathOf(const std::string &name) const { return (folder / name).string(); }

    TemporaryHome home;
    ShortReceiveWait wait{std::chrono::milliseconds(2000)};
    std::filesystem::path folder;
};

}  // namespace harbeat::test
