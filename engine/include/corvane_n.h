// corvane_n: the Harbeat engine's public interface.
//
// Seven functions with C linkage, and mp3SetOption and mp3OpenNzb for capabilities beyond them. Texts are zero-terminated 8-bit texts (UTF-8 on Linux);
// error-text buffers passed as the first argument receive at most 255 characters plus the
// terminating zero. Results of yes/no calls are -1 for success and 0 for failure.
#pragma once

#include <stdint.h>

#if defined(_WIN32) && !defined(_WIN64)
#define CORVANE_CALL __stdcall
#else
#define CORVANE_CALL
#endif

#if defined(CORVANE_BUILDING_LIBRARY)
#define CORVANE_EXPORT __attribute__((visibility("default")))
#else
#define CORVANE_EXPORT
#endif

#ifdef __cplusplus
extern "C" {
#endif

// Reports of the long operations (the NotifyCode table).
enum {
    kNotifyStatus = 9000,        // status text for the user
    kNotifyError = 9001,         // an operation or one step of it failed
    kNotifyGroupList = 9002,     // newsgroup list complete: names, each followed by CR LF, or " "
    kNotifySearchDone = 9003,    // search complete: "DONE"
    kNotifyProgress = 9004,      // progress number, "%3.2f"
    kNotifySaveDone = 9005,      // all requested songs downloaded
    kNotifyFileWritten = 9006,   // full path of a written file
    kNotifyDownloadDone = 9007,  // save download finished: " "
    kNotifyUnavailable = 9008,   // groups or categories that timed out, each followed by CR LF
    kNotifySong = 9009           // one SongLine
};

// The report callback. `text` is an OLE-style string (UTF-16, 32-bit byte length in front of the
// text, zero unit behind) that lives only during the call: copy what you keep. Called on the
// engine's worker threads only.
typedef void(CORVANE_CALL *StatusCallback)(int32_t code, const char16_t *text);

// Stores the settings, then checks the server: connect, greeting, login, "alt.binaries.sounds.mp3",
// overview format. logSwitch 60 starts the debug log $HOME/HarbeatLog.txt.
CORVANE_EXPORT int32_t CORVANE_CALL mp3Settings(char *errorText, StatusCallback callback, const char *server,
                                                int32_t port, const char *user, const char *password,
                                                int32_t logSwitch, int32_t *serverReachable,
                                                int32_t *postingAllowed, int32_t connectSpeed);

// Asks the running operation to stop at its next step.
CORVANE_EXPORT void CORVANE_CALL mp3CancelFunc(void);

// Starts a newsgroup-list worker. date beginning with "~": the complete list; else "YYMMDD".
// Returns a non-zero thread value, or -1 when no thread could be started.
CORVANE_EXPORT intptr_t CORVANE_CALL mp3GetNewsgroups(const char *nameFilter, const char *date);

// Starts a song search over "newsgroup TAB category CR LF" lines.
CORVANE_EXPORT intptr_t CORVANE_CALL mp3GetSongs(const char *searchRequest);

// Starts a download of the songs of a DownloadRequest into a folder; flags bit 0: preview.
CORVANE_EXPORT intptr_t CORVANE_CALL mp3BuildSongs(const char *folder, const char *fixedName,
                                                   const char *songList, int32_t flags);

// Posts one article; -1 when the server accepted it.
CORVANE_EXPORT int32_t CORVANE_CALL mp3PostAritcle(char *errorText, const char *from, const char *newsgroups,
                                                   const char *subject, const char *body);

// Fetches "host/path" over HTTP port 80; the text stays the engine's until the next call.
CORVANE_EXPORT const char *CORVANE_CALL httpOpenURL(const char *address);

// Sets one process-wide option; it takes effect from the next call that opens a connection or
// starts a worker. Names: "tls" ("0"/"1"), "tls-ca-file" (PEM path, "" = system store only),
// "pipeline" (1-1024, default 64), "search-depth" (0 = all), "overview-cache" (folder, "" = none),
// "compress" ("1": use the server's COMPRESS DEFLATE or XFEATURE COMPRESS GZIP; "0" default: never).
// Returns -1 when the name is known and the value valid; 0 otherwise, and nothing changes.
CORVANE_EXPORT int32_t CORVANE_CALL mp3SetOption(const char *name, const char *value);

// Starts a worker that lists the songs of an NZB file (plain or gzip-compressed) as a search
// does: 9000, one 9009 SongLine per song file (category "nzb"), then 9003 "DONE"; or 9001 with
// the reason and nothing listed. Returns a non-zero thread value, or -1.
CORVANE_EXPORT intptr_t CORVANE_CALL mp3OpenNzb(const char *path);

#ifdef __cplusplus
}
#endif
