// What the tests of the start-up, options and request forms share: the engine linked into the
// test program with a short receive wait, the bundled news server on loopback, a fresh settings
// store, and a driver that answers the options form whenever it is shown modally.
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <deque>
#include <functional>
#include <memory>

#include "newsd/news_server.h"

namespace harbeat {
class frmOptions;
}

namespace harbeat::formtest {

// Routes the program's engine calls to the engine linked into this test program and shortens
// its receive wait, so that a silent server times out within a second. Call before any engine
// call.
void useLinkedEngine();

// An empty settings store, default Settings, an empty catalogue, empty report slots and cleared
// shared flags.
void freshStart();

// The groups every test server carries: the one the server check selects, three music groups
// and two that are no music group.
void addStandardGroups(newsd::NewsStore &store);

// A started server on 127.0.0.1.
std::unique_ptr<newsd::NewsServer> startServer(newsd::NewsStore &store, newsd::ServerOptions options = {});

// Stores the server in the settings store (read by the normal start) and in Settings.
void storeServer(const QString &host, int port);

// Answers the options form each time it appears modally, with the next scripted action; a
// showing with no action left is cancelled (and counted), so no test can hang on the form.
class OptionsDriver : public QObject {
public:
    using Action = std::function<void(frmOptions &)>;
    explicit OptionsDriver(std::deque<Action> actions);

    int shown = 0;
    int unscripted = 0;
    // bStartupCheck of the form at each showing.
    std::vector<bool> startupFlags;
    // The control that had the focus at each showing.
    std::vector<QString> focusedControls;

private:
    void poll();

    std::deque<Action> actions_;
    QTimer timer_;
    QPointer<frmOptions> seen_;
};

// Waits, processing events, until the condition holds or five seconds passed.
bool waitFor(const std::function<bool()> &condition);

}  // namespace harbeat::formtest
