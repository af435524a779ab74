// Shows the main window as a user sees it after a search of the demo spool, and saves it as a
// PNG: readme_screenshot <spool folder> <output.png> [width height]
//
// Settings and traces go to a throwaway HOME; the bundled news server runs in this process.
#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QItemSelectionModel>
#include <QListWidget>
#include <QTemporaryDir>
#include <QTreeView>
#include <cstdio>

#include "main/frm_main.h"
#include "main/song_list_model.h"
#include "newsd/news_server.h"
#include "platform/product.h"
#include "platform/qt_platform.h"
#include "settings/registry.h"

namespace {

bool waitUntil(const std::function<bool()> &done, int milliseconds) {
    QDeadlineTimer deadline(milliseconds);
    while (!done() && !deadline.hasExpired()) QApplication::processEvents(QEventLoop::AllEvents, 50);
    return done();
}

void tickCategory(QListWidget &list, const QString &category) {
    for (int row = 0; row < list.count(); ++row)
        if (list.item(row)->text() == category) list.item(row)->setSelected(true);
}

}  // namespace

int main(int argc, char **argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: readme_screenshot <spool folder> <output.png> [width height]\n");
        return 2;
    }
    QTemporaryDir home;
    qputenv("HOME", home.path().toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", (home.path() + "/config").toLocal8Bit());
    QApplication application(argc, argv);
    harbeat::prepareApplication();

    harbeat::newsd::NewsStore store;
    store.loadSpool(argv[1]);
    harbeat::newsd::NewsServer server(store);
    server.start(0);
    harbeat::WriteRegValue("", "Server", "127.0.0.1");
    harbeat::WriteRegValue("", "Port", QString::number(server.port()));
    harbeat::WriteRegValue("", "SaveDir", home.path());

    harbeat::frmMain window;
    window.Form_Load({});
    window.show();
    if (argc >= 5) window.resize(QString(argv[3]).toInt(), QString(argv[4]).toInt());
    tickCategory(*window.lstGroups, "jazz");
    tickCategory(*window.lstGroups, "1990s");
    window.mnuStartSearch_Click();
    if (!waitUntil([&] { return window.Idle; }, 30000)) {
        std::fprintf(stderr, "the search did not end\n");
        return 1;
    }
    window.lstSongs->selectionModel()->select(window.songRows->index(3, 0),
                                              QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    waitUntil([] { return false; }, 500);  // let the animation stop and the panes paint
    if (!window.grab().save(QString::fromLocal8Bit(argv[2]))) {
        std::fprintf(stderr, "cannot write %s\n", argv[2]);
        return 1;
    }
    server.stop();
    return 0;
}
