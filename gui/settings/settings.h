// The program's settings: the record that holds them while the program runs, and LoadSettings
// and SaveSettings, which move them, the main window's geometry and the newsgroup catalogue
// between that record and the store (registry.h).
#pragma once

#include <QString>
#include <array>
#include <cstdint>
#include <optional>

#include "text/fixed_text.h"

namespace harbeat {

// Read when SearchDepth is missing or not a whole number: a first search of a group that holds
// years of articles then ends in seconds.
inline constexpr int64_t kDefaultSearchDepth = 500000;

// Read when Connections is missing or not a whole number from 1 to 50: what providers' accounts
// allow at the least.
inline constexpr int32_t kDefaultConnections = 8;

// The backup server's usual plain port, read when BackupPort is missing or out of range.
inline constexpr int32_t kDefaultBackupPort = 119;

struct SettingsRecord {
    FixedText<128> Server;
    int32_t Port = 0;
    FixedText<256> SaveDir;
    FixedText<32> ConnectSpeed;
    FixedText<128> PostEmail;
    FixedText<128> UserName;
    FixedText<128> Password;
    bool PlaySounds = false;
    // Every news-server connection is encrypted (NNTPS); stored as UseTLS, off by default.
    bool UseTLS = false;
    // A PEM file of certificates trusted besides the system's (a server's self-signed one);
    // stored as TLSCAFile, "" for none.
    QString TLSCAFile;
    // How many of the newest articles a search reads in each group; 0 reads all of them.
    int64_t SearchDepth = kDefaultSearchDepth;
    // Overviews are read compressed when the server offers it; stored as CompressOverviews, on by
    // default (the user's explicit choice that compressing under TLS asks for).
    bool CompressOverviews = true;
    // How many connections a search or a save may use at once, 1 to 50.
    int32_t Connections = kDefaultConnections;
    // A second server, asked only for the articles the main server does not have; stored as
    // BackupServer (empty: none), BackupPort (1 to 65535, 119 when missing or out of range),
    // BackupTLS, BackupUser and BackupPassword (kept as Password is).
    FixedText<128> BackupServer;
    int32_t BackupPort = kDefaultBackupPort;
    bool BackupTLS = false;
    FixedText<128> BackupUser;
    FixedText<128> BackupPassword;
    // Not stored: LoadSettings sets it to "Harbeat_Preview.mp3".
    QString PreviewFileName;
};

// A stored or typed search depth: a whole number of 0 or more, blanks around it allowed.
std::optional<int64_t> searchDepthFromText(const QString &text);

// A stored or typed number of connections: a whole number from 1 to 50, blanks around it allowed.
std::optional<int32_t> connectionsFromText(const QString &text);

// A stored backup port: a whole number from 1 to 65535, blanks around it allowed.
std::optional<int32_t> backupPortFromText(const QString &text);

// The program's settings, used on the GUI thread only.
extern SettingsRecord Settings;

inline const QString kPreviewFileName = QStringLiteral("Harbeat_Preview.mp3");

// The stored edges of the main window, in twips, and its state.
enum class FormEdge { Top, Height, Left, Width };
enum WindowStateCode : int16_t { kWindowNormal = 0, kWindowMinimised = 1, kWindowMaximised = 2 };

// The part of the main window that the settings read and restore.
class MainFormGeometry {
public:
    virtual float formEdge(FormEdge edge) const = 0;
    virtual void setFormEdge(FormEdge edge, float twips) = 0;
    virtual int16_t formWindowState() const = 0;
    virtual void setFormWindowState(int16_t state) = 0;
    // Gives the song list's five columns these widths in twips (0 hides a column) and sorts the
    // list ascending by its first column.
    virtual void setupSongColumns(const std::array<int, 5> &widthsInTwips) = 0;

protected:
    ~MainFormGeometry() = default;
};

// The main window that LoadSettings and SaveSettings read and restore; null for none (then the
// geometry is neither read nor written).
void attachMainForm(MainFormGeometry *form);
MainFormGeometry *attachedMainForm();

// Fills Settings, the main window's geometry, its song-list columns and the catalogue (Groups)
// from the store; missing or empty values take their defaults.
void LoadSettings();
// Writes Settings, the main window's geometry and, unless LastChecked is "~", the catalogue.
void SaveSettings();

}  // namespace harbeat
