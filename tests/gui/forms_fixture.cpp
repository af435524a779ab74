#include "forms_fixture.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QThread>
#include <chrono>
#include <cstring>

#include "catalogue/catalogue.h"
#include "corvane_n.h"
#include "engine/engine_binding.h"
#include "settings/shared_flags.h"
#include "net/connection.h"
#include "notify/notify_slots.h"
#include "options/frm_options.h"
#include "settings/registry.h"
#include "settings/settings.h"

namespace harbeat::formtest {
namespace {

// Long enough for any loopback reply on a machine loaded by other builds and tests (300 ms was
// not), short enough that a test's deliberate time-outs take a few seconds, never a minute.
constexpr std::chrono::milliseconds kReceiveWait{1000};

QFunctionPointer linkedExport(const char *name) {
    struct Export {
        const char *name;
        QFunctionPointer function;
    };
    static const Export exports[] = {
        {"mp3Settings", reinterpret_cast<QFunctionPointer>(&::mp3Settings)},
        {"mp3CancelFunc", reinterpret_cast<QFunctionPointer>(&::mp3CancelFunc)},
        {"mp3GetNewsgroups", reinterpret_cast<QFunctionPointer>(&::mp3GetNewsgroups)},
        {"mp3GetSongs", reinterpret_cast<QFunctionPointer>(&::mp3GetSongs)},
        {"mp3BuildSongs", reinterpret_cast<QFunctionPointer>(&::mp3BuildSongs)},
        {"mp3PostAritcle", reinterpret_cast<QFunctionPointer>(&::mp3PostAritcle)},
        {"httpOpenURL", reinterpret_cast<QFunctionPointer>(&::httpOpenURL)},
        {"mp3SetOption", reinterpret_cast<QFunctionPointer>(&::mp3SetOption)},
        {"mp3OpenNzb", reinterpret_cast<QFunctionPointer>(&::mp3OpenNzb)},
    };
    for (const Export &entry : exports)
        if (std::strcmp(entry.name, name) == 0) return entry.function;
    return nullptr;
}

}  // namespace

void useLinkedEngine() {
    engine::setExportLookupForTests(&linkedExport);
    corvane::setReceiveTimeoutForTests(kReceiveWait);
}

void freshStart() {
    QSettings(kRegistryOrganisation, kRegistryApplication).clear();
    Settings = SettingsRecord{};
    Groups = GroupCatalogue{};
    notifySlots().clear();
    QuitRequested = false;
    SearchReady = 0;
    DebugLevel = 0;
    unloadOptionsForm();
}

void addStandardGroups(newsd::NewsStore &store) {
    for (const char *name : {"alt.binaries.sounds.mp3", "alt.binaries.sounds.mp3.jazz", "alt.binaries.sounds.mp3.1990s",
                             "alt.binaries.music.heavy-metal", "alt.binaries.pictures.cats", "rec.music.misc"})
        store.addGroup(name, 0, true);
}

std::unique_ptr<newsd::NewsServer> startServer(newsd::NewsStore &store, newsd::ServerOptions options) {
    auto server = std::make_unique<newsd::NewsServer>(store, std::move(options));
    server->start(0);
    return server;
}

void storeServer(const QString &host, int port) {
    WriteRegValue(QString(), QStringLiteral("Server"), host);
    WriteRegValue(QString(), QStringLiteral("Port"), QString::number(port));
    Settings.Server = host;
    Settings.Port = port;
}

OptionsDriver::OptionsDriver(std::deque<Action> actions) : actions_(std::move(actions)) {
    connect(&timer_, &QTimer::timeout, this, &OptionsDriver::poll);
    timer_.start(5);
}

void OptionsDriver::poll() {
    frmOptions *form = loadedOptionsForm();
    if (!form || !form->isVisible() || QApplication::activeModalWidget() != form) return;
    if (form == seen_) return;  // still the showing already answered
    seen_ = form;
    ++shown;
    startupFlags.push_back(form->bStartupCheck);
    const QWidget *focused = form->focusWidget();
    focusedControls.push_back(focused ? focused->objectName() : QString());
    if (actions_.empty()) {
        ++unscripted;
        form->cmdCancel->click();
    } else {
        const Action action = std::move(actions_.front());
        actions_.pop_front();
        action(*form);
    }
    // The same form shown again later counts as a new showing.
    if (seen_ && !seen_->isVisible()) seen_ = nullptr;
}

bool waitFor(const std::function<bool()> &condition) {
    QDeadlineTimer deadline(5000);
    while (!condition()) {
        if (deadline.hasExpired()) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
    return true;
}

}  // namespace harbeat::formtest
