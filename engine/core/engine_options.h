// Process-wide options beyond the news-server settings, set through mp3SetOption. Each call that
// opens a connection or starts a worker takes one snapshot and keeps it for its whole run.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace corvane {

struct EngineOptions {
    bool tls = false;           // "tls": every NNTP connection speaks TLS from its first byte
    std::string tlsCaFile;      // "tls-ca-file": extra trusted certificates (PEM); empty: system store only
    int pipeline = 64;          // "pipeline": overview commands in flight on one connection
    int64_t searchDepth = 0;    // "search-depth": newest articles read per group; 0: all
    std::string overviewCache;  // "overview-cache": folder of the overview cache; empty: none
    bool compress = false;      // "compress": use the server's compression when it offers one
    int connections = 8;        // "connections": sessions a search or a save may use at once
    // A second server, asked only for the articles the main server does not have.
    std::string backupHost;      // "backup-host": empty: none
    int32_t backupPort = 119;    // "backup-port"
    bool backupTls = false;      // "backup-tls"
    std::string backupUser;      // "backup-user": empty: no login
    std::string backupPassword;  // "backup-password"
};

// The largest accepted "pipeline" value.
inline constexpr int kMaxPipeline = 1024;
// The most connections a search or a save may open at once.
inline constexpr int kMaxConnections = 50;
// The longest accepted path value.
inline constexpr std::size_t kMaxOptionPath = 4095;
// The longest accepted backup host name, user name and password, as for the main server.
inline constexpr std::size_t kMaxBackupText = 128;

// Validates and stores one option. True when the name is known and the value valid; otherwise
// nothing changes.
bool setEngineOption(std::string_view name, std::string_view value);

// A copy of the options in force now.
EngineOptions engineOptions();

// Puts every option back to its default (tests only).
void resetEngineOptionsForTests();

}  // namespace corvane
