// mp3SetOption: known names with valid values are taken, everything else changes nothing.
#include "core/engine_options.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "corvane_n.h"

namespace {

using corvane::engineOptions;

class EngineOptionsTest : public ::testing::Test {
protected:
    void SetUp() override { corvane::resetEngineOptionsForTests(); }
    void TearDown() override { corvane::resetEngineOptionsForTests(); }
};

TEST_F(EngineOptionsTest, DefaultsKeepTheSpecifiedBehaviour) {
    const corvane::EngineOptions options = engineOptions();
    EXPECT_FALSE(options.tls);
    EXPECT_EQ(options.tlsCaFile, "");
    EXPECT_EQ(options.pipeline, 64);
    EXPECT_EQ(options.searchDepth, 0);
    EXPECT_EQ(options.overviewCache, "");
    EXPECT_FALSE(options.compress);
    EXPECT_EQ(options.connections, 8);
    EXPECT_EQ(options.backupHost, "");
    EXPECT_EQ(options.backupPort, 119);
    EXPECT_FALSE(options.backupTls);
    EXPECT_EQ(options.backupUser, "");
    EXPECT_EQ(options.backupPassword, "");
}

TEST_F(EngineOptionsTest, ValidValuesAreTaken) {
    EXPECT_EQ(mp3SetOption("tls", "1"), -1);
    EXPECT_EQ(mp3SetOption("tls-ca-file", "/etc/ssl/extra.pem"), -1);
    EXPECT_EQ(mp3SetOption("pipeline", "1"), -1);
    EXPECT_EQ(mp3SetOption("search-depth", "500000"), -1);
    EXPECT_EQ(mp3SetOption("overview-cache", "/home/u/.cache/harbeat/overview"), -1);
    EXPECT_EQ(mp3SetOption("compress", "1"), -1);
    EXPECT_EQ(mp3SetOption("connections", "1"), -1);
    corvane::EngineOptions options = engineOptions();
    EXPECT_TRUE(options.compress);
    EXPECT_EQ(options.connections, 1);
    EXPECT_TRUE(options.tls);
    EXPECT_EQ(options.tlsCaFile, "/etc/ssl/extra.pem");
    EXPECT_EQ(options.pipeline, 1);
    EXPECT_EQ(options.searchDepth, 500000);
    EXPECT_EQ(options.overviewCache, "/home/u/.cache/harbeat/overview");

    // Empty paths and zero depth switch the features off again.
    EXPECT_EQ(mp3SetOption("tls", "0"), -1);
    EXPECT_EQ(mp3SetOption("tls-ca-file", ""), -1);
    EXPECT_EQ(mp3SetOption("pipeline", "1024"), -1);
    EXPECT_EQ(mp3SetOption("search-depth", "0"), -1);
    EXPECT_EQ(mp3SetOption("overview-cache", ""), -1);
    EXPECT_EQ(mp3SetOption("compress", "0"), -1);
    options = engineOptions();
    EXPECT_FALSE(options.compress);
    EXPECT_EQ(mp3SetOption("connections", "50"), -1);
    options = engineOptions();
    EXPECT_EQ(options.connections, 50);
    EXPECT_FALSE(options.tls);
    EXPECT_EQ(options.tlsCaFile, "");
    EXPECT_EQ(options.pipeline, 1024);
    EXPECT_EQ(options.searchDepth, 0);
    EXPECT_EQ(options.overviewCache, "");
}

TEST_F(EngineOptionsTest, BackupServerValuesAreTaken) {
    struct Case {
        const char *name;
        const char *value;
    };
    const std::string longest(corvane::kMaxBackupText, 'h');
    const std::vector<Case> taken = {
        {"backup-host", "news.backup.example"},
        {"backup-port", "1"},
        {"backup-port", "65535"},
        {"backup-port", "563"},
        {"backup-tls", "1"},
        {"backup-user", "block user"},
        {"backup-password", "pa ss"},
        {"backup-host", longest.c_str()},
        {"backup-host", "news.backup.example"},
    };
    for (const Case &c : taken) EXPECT_EQ(mp3SetOption(c.name, c.value), -1) << c.name << "=" << c.value;
    corvane::EngineOptions options = engineOptions();
    EXPECT_EQ(options.backupHost, "news.backup.example");
    EXPECT_EQ(options.backupPort, 563);
    EXPECT_TRUE(options.backupTls);
    EXPECT_EQ(options.backupUser, "block user");
    EXPECT_EQ(options.backupPassword, "pa ss");

    // An empty host switches the backup off again.
    EXPECT_EQ(mp3SetOption("backup-host", ""), -1);
    EXPECT_EQ(mp3SetOption("backup-tls", "0"), -1);
    options = engineOptions();
    EXPECT_EQ(options.backupHost, "");
    EXPECT_FALSE(options.backupTls);
}

TEST_F(EngineOptionsTest, UnknownNamesAndBadValuesChangeNothing) {
    struct Case {
        const char *name;
        const char *value;
    };
    const std::string longPath(corvane::kMaxOptionPath + 1, 'a');
    const std::string tooLong(corvane::kMaxBackupText + 1, 'a');
    const std::vector<Case> refused = {
        {"TLS", "1"},
        {"tls ", "1"},
        {"colour", "red"},
        {"", ""},
        {"tls", ""},
        {"tls", "yes"},
        {"tls", "2"},
        {"tls", " 1"},
        {"pipeline", "0"},
        {"pipeline", "1025"},
        {"pipeline", "-1"},
        {"pipeline", "8x"},
        {"pipeline", ""},
        {"pipeline", "+4"},
        {"search-depth", "-5"},
        {"search-depth", "1e6"},
        {"search-depth", "99999999999999999999"},
        {"tls-ca-file", "a\nb"},
        {"overview-cache", "x\ty"},
        {"overview-cache", longPath.c_str()},
        {"compress", "yes"},
        {"compress", ""},
        {"compress", "-1"},
        {"connections", "0"},
        {"connections", "51"},
        {"connections", "-1"},
        {"connections", "8x"},
        {"connections", ""},
        {"backup-port", "0"},
        {"backup-port", "70000"},
        {"backup-port", "65536"},
        {"backup-port", "-119"},
        {"backup-port", "119a"},
        {"backup-port", "nntp"},
        {"backup-port", ""},
        {"backup-tls", "yes"},
        {"backup-tls", ""},
        {"backup-host", "a b"},
        {"backup-host", "host\r\nQUIT"},
        {"backup-host", tooLong.c_str()},
        {"backup-user", "u\r\nQUIT"},
        {"backup-password", tooLong.c_str()},
        {"Backup-Host", "x"},
    };
    for (const Case &c : refused) EXPECT_EQ(mp3SetOption(c.name, c.value), 0) << c.name << "=" << c.value;
    EXPECT_EQ(mp3SetOption(nullptr, "1"), 0);
    EXPECT_EQ(mp3SetOption("tls", nullptr), 0);

    const corvane::EngineOptions options = engineOptions();
    EXPECT_FALSE(options.tls);
    EXPECT_EQ(options.pipeline, 64);
    EXPECT_EQ(options.searchDepth, 0);
    EXPECT_EQ(options.tlsCaFile, "");
    EXPECT_EQ(options.overviewCache, "");
    EXPECT_FALSE(options.compress);
    EXPECT_EQ(options.connections, 8);
    EXPECT_EQ(options.backupHost, "");
    EXPECT_EQ(options.backupPort, 119);
    EXPECT_FALSE(options.backupTls);
    EXPECT_EQ(options.backupUser, "");
    EXPECT_EQ(options.backupPassword, "");
}

TEST_F(EngineOptionsTest, SettersOnManyThreadsLeaveOneOfTheirValues) {
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([t] {
            const std::string folder = "/cache/" + std::to_string(t);
            for (int i = 0; i < 2000; ++i) {
                mp3SetOption("overview-cache", folder.c_str());
                mp3SetOption("pipeline", std::to_string(1 + t).c_str());
                (void)engineOptions();
            }
        });
    for (std::thread &thread : threads) thread.join();
    const corvane::EngineOptions options = engineOptions();
    EXPECT_GE(options.pipeline, 1);
    EXPECT_LE(options.pipeline, 4);
    EXPECT_EQ(options.overviewCache.rfind("/cache/", 0), 0u);
}

}  // namespace
