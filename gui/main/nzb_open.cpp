#include "main/nzb_open.h"

#include <QAction>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QTimer>
#include <QUrl>

#include "engine/engine_binding.h"
#include "main/animation_player.h"
#include "main/frm_main.h"
#include "notify/notify_slots.h"
#include "platform/platform.h"
#include "server/server_check.h"

namespace harbeat {
namespace {

// The first local NZB file among dropped URLs, or "".
QString droppedNzbFile(const QMimeData *data) {
    if (!data || !data->hasUrls()) return {};
    for (const QUrl &url : data->urls())
        if (url.isLocalFile() && isNzbPath(url.toLocalFile())) return url.toLocalFile();
    return {};
}

// Takes drag and drop events of the window: an NZB file may be dropped, nothing else.
class NzbDropTarget final : public QObject {
public:
    explicit NzbDropTarget(frmMain &form) : QObject(&form), form_(form) {}

protected:
    bool eventFilter(QObject *watched, QEvent *event) override {
        switch (event->type()) {
            case QEvent::DragEnter:
            case QEvent::DragMove: {
                auto *drag = static_cast<QDragMoveEvent *>(event);
                if (droppedNzbFile(drag->mimeData()).isEmpty()) return false;
                drag->acceptProposedAction();
                return true;
            }
            case QEvent::Drop: {
                auto *drop = static_cast<QDropEvent *>(event);
                const QString path = droppedNzbFile(drop->mimeData());
                if (path.isEmpty()) return false;
                drop->acceptProposedAction();
                // After the drop has ended: the sending program is not kept waiting meanwhile.
                QTimer::singleShot(0, &form_, [form = &form_, path] { openNzbFile(*form, path); });
                return true;
            }
            default: return QObject::eventFilter(watched, event);
        }
    }

private:
    frmMain &form_;
};

}  // namespace

bool isNzbPath(const QString &path) {
    return path.endsWith(QStringLiteral(".nzb"), Qt::CaseInsensitive) ||
           path.endsWith(QStringLiteral(".nzb.gz"), Qt::CaseInsensitive);
}

QString nzbPathFromArguments(const QStringList &arguments) {
    for (const QString &argument : arguments)
        if (isNzbPath(argument)) return QFileInfo(argument).absoluteFilePath();
    return {};
}

void installNzbOpening(frmMain &form) {
    QMenu *file = new QMenu(QStringLiteral("File"), &form);
    file->setObjectName(QStringLiteral("mnuFile"));
    // The key is one of the window's shortcuts: the text only shows it.
    QAction *open = file->addAction(QStringLiteral("Open NZB…\tCtrl+Shift+O"));
    open->setObjectName(QStringLiteral("mnuOpenNzb"));
    QObject::connect(open, &QAction::triggered, &form, [&form] { chooseNzbFile(form); });
    form.menuBar()->insertMenu(form.mnuMain->menuAction(), file);

    form.setAcceptDrops(true);
    form.installEventFilter(new NzbDropTarget(form));
}

void chooseNzbFile(frmMain &form) {
    if (!form.Idle) return;
    form.timTimer->stop();
    const QString path = platform().pickFile(&form, QStringLiteral("Open NZB"),
                                             QStringLiteral("NZB files (*.nzb *.nzb.gz);;All files (*)"));
    form.timTimer->start();
    if (!path.isEmpty()) openNzbFile(form, path);
}

void openNzbFile(frmMain &form, const QString &path) {
    // A dropped file comes past the window's commands: it waits, as they do, for a running
    // server check to end.
    if (!form.Idle || ServerCheckRunning()) return;
    // The same start as a search's: its songs, and only its songs, will fill the list.
    notifySlots().resetSongChunks(kSongChunksForSearch);
    form.timKeyword->stop();
    form.SongResults.clear();
    form.SearchCaption.clear();
    form.clearSongList();
    form.setStatusPanelText(2, QString());
    form.SetCommandsEnabled(false);
    form.Idle = false;
    form.Running = frmMain::Operation::Search;
    form.ani->start();
    notifySlots().startOperation(kSongChunksForSearch);
    if (engine::mp3OpenNzb(QFile::encodeName(path).constData()) != -1) return;
    form.ani->stop();
    form.Running = frmMain::Operation::None;
    form.Idle = true;
    form.SetCommandsEnabled(true);
    form.setStatusPanelText(1, QStringLiteral("The NZB file could not be opened: the engine cannot start it."));
}

}  // namespace harbeat
