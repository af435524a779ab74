// The main window's commands: the menu "Main", the toolbar with its images and its drop-down, the
// enabled state of the commands, and Options, Help and Exit.
#include <QAction>
#include <QFileInfo>
#include <QMenu>
#include <QMenuBar>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>

#include "main/frm_main.h"
#include "main/nzb_open.h"
#include "main/song_list_model.h"
#include "main/toolbar_art.h"
#include "options/frm_options.h"
#include "pages/message_pages.h"
#include "pages/tip_pages.h"
#include "platform/platform.h"
#include "platform/product.h"
#include "platform/program_folder.h"
#include "server/server_check.h"
#include "settings/settings.h"
#include "text/value_text.h"

namespace harbeat {
namespace {

struct ToolbarCommand {
    const char *key;
    const char *caption;
    const char *toolTip;
};
// In bar order, which is also the order of the images.
constexpr ToolbarCommand kToolbarCommands[kToolbarImageCount] = {
    {"Start Search", "Start Search F5", "Start Search  - F5"},
    {"Stop", "Stop ESC", "Stop - ESC"},
    {"Refresh", "Refresh F5", "Refresh - F5"},
    {"Save Song", "Save Song Ctrl-S", "Save Song - Ctrl-S"},
    {"Preview Song", "Preview Song Ctrl-P", "Preview Song - Ctrl-P"},
    {"Request Song", "Post A Request Ctrl-R", "Post A Request - Ctrl-R"},
    {"Options", "Options Ctrl-O", "Options - Ctrl-O"},
    {"Help", "Help F1", "Help - F1"},
    {"Exit", "Exit Ctrl-X", "Exit - Ctrl-X"},
};
// The commands that start something; Stop gets the opposite state.
constexpr const char *kStartingCommands[] = {"Options",      "Start Search", "Refresh",
                                             "Preview Song", "Save Song",    "Request Song"};
// The entries of the "Refresh" button's drop-down menu.
constexpr int kRefreshMenuEntries = 4;
const QString kPlayThisSong = QStringLiteral("Play This Song");

}  // namespace

void frmMain::createMenu() {
    struct MenuItem {
        QAction *&item;
        const char *caption;
        MainCommand command;
    };
    const MenuItem items[] = {{mnuStartSearch, "Start Search", MainCommand::StartSearch},
                              {mnuStop, "Stop", MainCommand::Stop},
                              {mnuSaveSong, "Save Song", MainCommand::SaveSong},
                              {mnuPreviewSong, "Preview Song", MainCommand::PreviewSong},
                              {mnuRequestSong, "Request Song", MainCommand::RequestSong},
                              {mnuOptions, "Options", MainCommand::Options},
                              {mnuHelp, "Help", MainCommand::Help}};
    mnuMain = menuBar()->addMenu(QStringLiteral("Main"));
    for (const MenuItem &entry : items) {
        entry.item = mnuMain->addAction(QString::fromLatin1(entry.caption));
        const MainCommand run = entry.command;
        connect(entry.item, &QAction::triggered, this, [this, run] { runCommand(run); });
    }
}

void frmMain::createToolbar() {
    barToolbar = new QToolBar(QStringLiteral("Commands"), central_);
    barToolbar->setObjectName(QStringLiteral("barToolbar"));
    barToolbar->setMovable(false);
    barToolbar->setFloatable(false);
    barToolbar->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    barToolbar->setIconSize(kToolbarImageSize);

    imgMouseOff = drawToolbarImages(ToolbarImageState::MouseOff);
    imgMouseOn = drawToolbarImages(ToolbarImageState::MouseOn);
    for (int i = 0; i < kToolbarImageCount; ++i) {
        const ToolbarCommand &entry = kToolbarCommands[i];
        QIcon icon;
        icon.addPixmap(QPixmap::fromImage(imgMouseOff[static_cast<std::size_t>(i)]), QIcon::Normal);
        icon.addPixmap(QPixmap::fromImage(imgMouseOn[static_cast<std::size_t>(i)]), QIcon::Active);
        QAction *button = barToolbar->addAction(icon, QString::fromLatin1(entry.caption));
        button->setToolTip(QString::fromLatin1(entry.toolTip));
        const QString key = QString::fromLatin1(entry.key);
        commands_.emplace(key, button);
        connect(button, &QAction::triggered, this, [this, key] { barToolbar_ButtonClick(key); });
    }

    auto *refreshMenu = new QMenu(barToolbar);
    for (int i = 0; i < kRefreshMenuEntries; ++i) {
        QAction *entry = refreshMenu->addAction(kPlayThisSong);
        entry->setEnabled(false);
        connect(entry, &QAction::triggered, this, [this, entry] { barToolbar_ButtonMenuClick(entry->text()); });
    }
    // Each entry plays the last preview; without one on disk there is nothing to play.
    connect(refreshMenu, &QMenu::aboutToShow, this, [this, refreshMenu] {
        const bool playable = !lastPreviewFile().isEmpty();
        for (QAction *entry : refreshMenu->actions()) entry->setEnabled(playable);
    });
    QAction *refresh = command(QStringLiteral("Refresh"));
    refresh->setMenu(refreshMenu);
    if (auto *button = qobject_cast<QToolButton *>(barToolbar->widgetForAction(refresh)))
        button->setPopupMode(QToolButton::MenuButtonPopup);
}

QAction *frmMain::command(const QString &key) const {
    const auto found = commands_.find(key);
    return found == commands_.end() ? nullptr : found->second;
}

void frmMain::SetCommandsEnabled(bool enabled) {
    commandsEnabled_ = enabled;
    for (const char *key : kStartingCommands) command(QString::fromLatin1(key))->setEnabled(enabled);
    command(QStringLiteral("Stop"))->setEnabled(!enabled);
    updateSongCommands();
}

void frmMain::updateSongCommands() {
    // Save and Preview work on the selected rows: without one they have nothing to do.
    const bool listed = songRows->rowCount() > 0 && lstSongs->selectionModel()->hasSelection();
    // The toolbar buttons follow the starting commands; the menu entries only the selection.
    for (const char *key : {"Save Song", "Preview Song"})
        command(QString::fromLatin1(key))->setEnabled(commandsEnabled_ && listed);
    for (QAction *entry : {mnuSaveSong, mnuPreviewSong}) entry->setEnabled(listed);
    for (QAction *entry : mnuSongs->actions()) entry->setEnabled(commandsEnabled_ && listed);
}

QString frmMain::lastPreviewFile() const {
    const QString path = previewFolder() + QLatin1Char('/') + trimBlanks(Settings.PreviewFileName);
    return QFileInfo(path).isFile() ? path : QString();
}

void frmMain::barToolbar_ButtonClick(const QString &key) { runCommand(commandForButton(key)); }

void frmMain::barToolbar_ButtonMenuClick(const QString &) {
    const QString preview = lastPreviewFile();
    if (!preview.isEmpty()) platform().documentOpen(this, preview);
}

void frmMain::runCommand(MainCommand command) {
    // While a server check waits for the engine, the window handles its events, but the commands
    // that would reach the server beside the check (Options' OK checks again, a request posts)
    // are refused; Stop, Help and Exit stay usable.
    const bool servedDuringCheck =
        command == MainCommand::Stop || command == MainCommand::Help || command == MainCommand::Exit;
    if (ServerCheckRunning() && !servedDuringCheck) return;
    switch (command) {
        case MainCommand::StartSearch: mnuStartSearch_Click(); break;
        case MainCommand::Stop: mnuStop_Click(); break;
        case MainCommand::SaveSong: mnuSaveSong_Click(); break;
        case MainCommand::PreviewSong: mnuPreviewSong_Click(); break;
        case MainCommand::RequestSong: mnuRequestSong_Click(); break;
        case MainCommand::Options: mnuOptions_Click(); break;
        case MainCommand::Help: mnuHelp_Click(); break;
        case MainCommand::Exit: ExitProgram(); break;
        case MainCommand::OpenNzb: chooseNzbFile(*this); break;
        case MainCommand::None: break;
    }
}

void frmMain::mnuOptions_Click() {
    timTimer->stop();
    // The form may be opened while an operation runs; afterwards the window is as busy as it was.
    const bool idleBefore = Idle;
    Idle = false;
    optionsForm().exec();
    Idle = idleBefore;
    // The keys work again at once, without a click into the window: the hidden form (or a box
    // it showed) must not keep the activation.
    if (isVisible()) activateWindow();
    reloadHeaderPane();
    SaveSettings();
    timTimer->start();
}

frmOptions &frmMain::optionsForm() {
    frmOptions &form = loadOptionsForm(*this);
    if (connectedOptions_ == &form) return form;
    connectedOptions_ = &form;
    connect(&form, &frmOptions::catalogueResetStarting, this, &QWidget::hide);
    connect(&form, &frmOptions::startupCheckRequested, this, &frmMain::RerunStartupCheck);
    connect(&form, &frmOptions::catalogueResetFinished, this, [this] {
        ShowGroupList();
        clearSongList();
        setStatusPanelText(2, QString());
        show();
    });
    return form;
}

void frmMain::mnuHelp_Click() {
    if (TipCountdown < 0) TipCountdown = kTipTicks;
    ShowMessage(QStringLiteral("faq23"));
    platform().documentOpen(this, kHelpAddress);
}

void frmMain::ExitProgram() { platform().endProgram(); }

}  // namespace harbeat
