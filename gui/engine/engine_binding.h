// The one binding of the program to the engine library corvane_n.
//
// The library is loaded by name at the first call of any export, from the program folder first
// and then from the system's library path; each export is resolved at its own first call. Every
// engine call of the program goes through these functions, which have the exports' signatures.
//
// When the library or an export cannot be found, the calls fail the way the engine itself
// reports failures: yes/no calls return 0 with a message in the error text, worker starts return
// -1, httpOpenURL returns the message, and mp3CancelFunc does nothing.
#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>
#include <cstdint>

#include "corvane_n.h"

namespace harbeat::engine {

int32_t mp3Settings(char *errorText, ::StatusCallback callback, const char *server, int32_t port, const char *user,
                    const char *password, int32_t logSwitch, int32_t *serverReachable, int32_t *postingAllowed,
                    int32_t connectSpeed);
void mp3CancelFunc();
intptr_t mp3GetNewsgroups(const char *nameFilter, const char *date);
intptr_t mp3GetSongs(const char *searchRequest);
intptr_t mp3BuildSongs(const char *folder, const char *fixedName, const char *songList, int32_t flags);
int32_t mp3PostAritcle(char *errorText, const char *from, const char *newsgroups, const char *subject,
                       const char *body);
const char *httpOpenURL(const char *address);
// 0 (refused) when the engine or the export is missing: an older engine knows no options.
int32_t mp3SetOption(const char *name, const char *value);
// -1 (no worker) when the engine or the export is missing.
intptr_t mp3OpenNzb(const char *path);

// Size of the error-text buffers the program hands to the engine (255 characters and a zero).
inline constexpr int kErrorTextSize = 256;

// Texts cross the interface as UTF-8.
inline QByteArray toEngineText(const QString &text) { return text.toUtf8(); }
// The message in an error-text buffer: its text up to the first zero.
QString fromEngineText(const char *text);

// Tests only: the exports are looked up through `lookup` (export name to function) instead of
// the library, so that a test can run an engine linked into it and use the engine's internal
// test hooks (such as a shorter receive wait). Takes effect for exports not yet resolved, so it
// is installed before the first engine call.
using ExportLookup = QFunctionPointer (*)(const char *exportName);
void setExportLookupForTests(ExportLookup lookup);

// The file the engine was loaded from; empty while it is not loaded.
QString loadedFrom();
// Why the engine or an export could not be loaded; empty when nothing failed.
QString loadError();

}  // namespace harbeat::engine
