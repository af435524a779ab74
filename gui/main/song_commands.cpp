// Save, Preview and Request: what the window hands to the engine for the chosen songs, and the
// request form.
#include <QItemSelectionModel>
#include <QTimer>
#include <QTreeView>
#include <algorithm>

#include "engine/engine_binding.h"
#include "main/animation_player.h"
#include "main/frm_main.h"
#include "settings/shared_flags.h"
#include "main/song_list_model.h"
#include "notify/notify_slots.h"
#include "pages/message_pages.h"
#include "platform/platform.h"
#include "platform/program_folder.h"
#include "request/frm_post.h"
#include "text/value_text.h"

namespace harbeat {
namespace {

const QString kLineEnd = QStringLiteral("\r\n");
// mp3BuildSongs' last argument: every bit set asks for a preview (the engine reads bit 0).
constexpr int32_t kPreviewMode = -1;
constexpr int32_t kSaveMode = 0;

}  // namespace

std::vector<int> frmMain::selectedRowsInOrder() const {
    std::vector<int> shownRows;
    for (const QModelIndex &index : lstSongs->selectionModel()->selectedRows()) shownRows.push_back(index.row());
    std::sort(shownRows.begin(), shownRows.end());  // top to bottom as the list is sorted
    return shownRows;
}

QString frmMain::BuildSaveList() const {
    QString list;
    for (const int row : selectedRowsInOrder())
        list += trimBlanks(songRows->cellText(row, SongListModel::SongId)) + kLineEnd;
    return list;
}

QString frmMain::BuildPreviewLine() const {
    const int row = lstSongs->currentIndex().row();
    const QString groupId = songRows->cellText(row, SongListModel::GroupId);
    const QString songId = songRows->cellText(row, SongListModel::SongId);
    return trimBlanks(groupId) + u'\t' + trimBlanks(songId) + kLineEnd;
}

void frmMain::mnuSaveSong_Click() {
    if (!Idle || !SearchReady) return;  // one operation at a time, as for the search
    SetCommandsEnabled(false);
    ShowMessage(QStringLiteral("msg003"));
    if (!lstSongs->selectionModel()->hasSelection()) {
        SetCommandsEnabled(true);
        return;
    }
    ani->start();
    Idle = false;
    const QString songs = BuildSaveList();
    QString folder = trimBlanks(Settings.SaveDir.text());
    if (folder.isEmpty()) folder = defaultSaveFolder();
    // The engine reports per song: which ones were written and why others were not. The log
    // keeps every one of those reports for the window's timer.
    Save = SaveRun{};
    Save.folder = folder;
    for (const int row : selectedRowsInOrder()) Save.titles.append(songRows->cellText(row, SongListModel::SongTitle));
    Save.files = QStringList(Save.titles.size(), QString());
    Save.failures = Save.files;
    Running = Operation::Save;
    notifySlots().startReportLog();
    notifySlots().startOperation();  // an end left by a stopped operation is not this download's
    engine::mp3BuildSongs(engine::toEngineText(folder).constData(), "", engine::toEngineText(songs).constData(),
                          kSaveMode);
}

void frmMain::mnuPreviewSong_Click() {
    if (!Idle || !SearchReady) return;
    SetCommandsEnabled(false);
    ShowMessage(QStringLiteral("msg003"));
    if (!lstSongs->currentIndex().isValid()) {
        SetCommandsEnabled(true);
        return;
    }
    ani->start();
    Idle = false;
    Running = Operation::Preview;
    const QString line = BuildPreviewLine();
    const QString fileName = trimBlanks(Settings.PreviewFileName);
    notifySlots().startOperation();
    engine::mp3BuildSongs(engine::toEngineText(previewFolder()).constData(), engine::toEngineText(fileName).constData(),
                          engine::toEngineText(line).constData(), kPreviewMode);
}

void frmMain::lstSongs_DoubleClick(const QModelIndex &index) {
    if (!index.isValid()) return;
    lstSongs->setCurrentIndex(index);
    runCommand(MainCommand::PreviewSong);
}

void frmMain::mnuRequestSong_Click() {
    if (trimBlanks(Settings.Server.text()).isEmpty() || Settings.Port < 1) {
        platform().messageBox(this,
                              QStringLiteral("Please use OPTIONS to setup your News Server and Port number first."),
                              BoxIcon::Information);
        return;
    }
    timTimer->stop();
    {
        frmPost request(this);
        connect(&request, &frmPost::statusText, this, [this](const QString &text) { setStatusPanelText(1, text); });
        request.exec();
    }
    timTimer->start();
}

}  // namespace harbeat
