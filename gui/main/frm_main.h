// frmMain, the program's main window: the category list, the keyword box and the song list on
// the left, the header and message panes on the right, the toolbar with the animation, and the
// status bar with the progress bar. Its timer `timTimer` polls the engine's reports.
//
// The window's work is spread over several files: frm_main.cpp (controls, load, activation,
// unload), main_layout.cpp (resize), main_commands.cpp (toolbar, menu, Options, Help, Exit),
// main_keys.cpp (the keys), group_list.cpp (lstGroups), search_flow.cpp (search, Stop, the
// keyword box), song_commands.cpp (Save, Preview, Request) and poll_tick.cpp (the timer's tick).
// The forms it opens know nothing of it: it connects to what each form asks of its owner.
#pragma once

#include <QIcon>
#include <QImage>
#include <QItemSelection>
#include <QMainWindow>
#include <QPointer>
#include <QSize>
#include <QStringList>
#include <map>
#include <vector>

#include "main/main_keys.h"
#include "main/song_results.h"
#include "settings/settings.h"
#include "startup/splash_owner.h"

class QAction;
class QLabel;
class QLineEdit;
class QListWidget;
class QMenu;
class QProgressBar;
class QTextBrowser;
class QTimer;
class QToolBar;
class QTreeView;

namespace harbeat {

class AnimationPlayer;
class frmOptions;
class PanelStatusBar;
class SongListModel;
struct SongChunks;

class frmMain final : public QMainWindow, public MainFormGeometry, public SplashOwner {
    Q_OBJECT
public:
    explicit frmMain(QWidget *parent = nullptr);
    ~frmMain() override;

    // The controls.
    QMenu *mnuMain;  // "Main"
    QAction *mnuStartSearch;
    QAction *mnuStop;
    QAction *mnuSaveSong;
    QAction *mnuPreviewSong;
    QAction *mnuRequestSong;
    QAction *mnuOptions;
    QAction *mnuHelp;
    QToolBar *barToolbar;
    AnimationPlayer *ani;
    QLabel *Label2;  // "Music Style:"
    QListWidget *lstGroups;
    QLabel *Label1;  // "Only Show Songs Containing:"
    QLineEdit *txtSearch;
    QTreeView *lstSongs;
    SongListModel *songRows;  // the rows of lstSongs, in their shown order
    QTextBrowser *wbrHead;    // header pane: data/msg013.rtf
    QTextBrowser *wbr;        // message pane: ShowMessage
    PanelStatusBar *barStatusbar;
    QProgressBar *pbProgress;
    QTimer *timTimer;
    // The keyword's settle time: restarted by each change, the list is refilled when it runs out.
    QTimer *timKeyword;
    // The song list's context menu: "Save Song" and "Preview Song".
    QMenu *mnuSongs;
    // The toolbar's images, one per button in bar order: at rest, and under the mouse.
    std::vector<QImage> imgMouseOff;
    std::vector<QImage> imgMouseOn;
    // The icon of every song row.
    QIcon imgNotes;

    // No search, save or preview is running.
    bool Idle = false;
    // The songs of the last search; the keyword filter works on them.
    std::vector<SongRecord> SongResults;

    // What the engine is doing for the window.
    enum class Operation { None, Search, Save, Preview };
    Operation Running = Operation::None;

    // A save in progress: one entry per requested song, in the order handed to the engine.
    struct SaveRun {
        QString folder;
        QStringList titles;
        // Per song: the file the engine reported, and why the song failed ("" when it did not).
        QStringList files;
        QStringList failures;
        // The song the engine reports about (1 to titles.size()); 0 before the first.
        int current = 0;
    };
    SaveRun Save;
    // "Results of your search at hh:mm:ss" of the last search ("" before one); status-bar panel
    // 2 shows it with the number of listed songs.
    QString SearchCaption;
    // The engine's error that ended the running search early ("" when none did); it stays in
    // status-bar panel 1 when the search's last songs come in after it.
    QString SearchFailure;

    // The toolbar command with this key ("Start Search", "Stop", "Refresh", "Save Song",
    // "Preview Song", "Request Song", "Options", "Help", "Exit").
    QAction *command(const QString &key) const;
    // Enables the commands that start something, and gives Stop the opposite state. Help and
    // Exit, the menu and the keys stay as they are.
    void SetCommandsEnabled(bool enabled);

    // Empties lstSongs (the rows only; SongResults stay).
    void clearSongList();
    // Lists the songs the running search has sent so far (after a Stop or an error).
    void listSongsFoundSoFar();
    // Shows the number of listed songs in status-bar panel 2 ("1,204 songs").
    void showSongCount();
    // Save and Preview are usable while the starting commands are and the list has a row.
    void updateSongCommands();
    // The file the last preview was saved into, or "" when there is none on disk.
    QString lastPreviewFile() const;
    // Sets the text of status-bar panel 1 or 2.
    void setStatusPanelText(int panel, const QString &text);

    // Fills lstGroups with one row per listed category of the catalogue; the first entry of a
    // category decides whether its row starts selected.
    void ShowGroupList();
    // Runs the start-up form's server check and newsgroup-list update again (after the catalogue
    // was reset); returns when it is done or the program is ending.
    void RerunStartupCheck();
    // Adds a row unless one with exactly that text exists; a new row gets the selection state.
    void lstGroups_AddItem(const QString &target, bool selected);
    // Removes every row whose text is exactly `target`.
    void lstGroups_RemoveItem(const QString &target);
    // The user changed the selection of lstGroups: every catalogue entry of a changed row's
    // category takes that row's state.
    void lstGroups_Click(const QItemSelection &selected, const QItemSelection &deselected);

    // Starts a search of the ticked categories' newsgroups.
    void mnuStartSearch_Click();
    // Cancels the running search, save or preview and returns the window to idle.
    void mnuStop_Click();
    // The keyword changed: the list is refilled from SongResults once typing pauses.
    void txtSearch_Change();
    // Typing paused: the list shows the rows of SongResults that match the keyword.
    void txtSearch_Settled();
    // The keyword box lost the focus: its text is trimmed of blanks.
    void txtSearch_LostFocus();

    // Turns the song lines of a finished search into SongResults (with the hourglass, the
    // keyword box disabled meanwhile).
    void ParseSongChunks(const SongChunks &songs);
    // Adds the rows of SongResults that match the keyword box to lstSongs.
    void FillSongList();
    // A column header was clicked: the list sorts ascending by that column.
    void lstSongs_ColumnClick(int column);

    // The selected rows, top to bottom as shown.
    std::vector<int> selectedRowsInOrder() const;
    // The "Song ID" texts of the selected rows, top to bottom as shown, each trimmed and
    // followed by CR LF.
    QString BuildSaveList() const;
    // The current row's "Group ID" and "Song ID" texts, trimmed, with a TAB between and CR LF
    // behind.
    QString BuildPreviewLine() const;

    // Downloads the selected songs into the save folder.
    void mnuSaveSong_Click();
    // Downloads the current song into the preview file, which is then opened.
    void mnuPreviewSong_Click();
    // A double click on a song previews it.
    void lstSongs_DoubleClick(const QModelIndex &index);
    // Opens the request form, once a news server is set.
    void mnuRequestSong_Click();
    // Opens the options form; the settings are saved when it closes.
    void mnuOptions_Click();
    // SplashOwner: the options form, loaded if it is not; a form this window has not seen yet
    // gets its catalogue reset connected to the window (hide, the start-up check, the new list).
    frmOptions &optionsForm() override;
    // SplashOwner: the window's unload (close).
    void unloadForQuit() override;
    // Starts the tip pages and opens the help page on the web.
    void mnuHelp_Click();
    // Ends the program at once: no unload, nothing saved, the engine not cancelled.
    void ExitProgram();

    // A toolbar button was clicked; `key` is the button's key.
    void barToolbar_ButtonClick(const QString &key);
    // An entry of a toolbar button's drop-down menu was chosen.
    void barToolbar_ButtonMenuClick(const QString &text);
    // Runs one command, whatever started it.
    void runCommand(MainCommand command);

    // One tick of timTimer: handles the engine's reports (main/poll_tick.h).
    void timTimer_Timer();

    // The window's load: the start-up form, the category list, pages, the animation and the
    // polling timer. `arguments` are the command line's words after the program name.
    void Form_Load(const QStringList &arguments);
    // Every activation shows the program's name and version in the caption.
    void Form_Activate();
    // Places the controls for the window's current size (nothing while it is minimised).
    void Form_Resize();

    // MainFormGeometry.
    float formEdge(FormEdge edge) const override;
    void setFormEdge(FormEdge edge, float twips) override;
    int16_t formWindowState() const override;
    void setFormWindowState(int16_t state) override;
    void setupSongColumns(const std::array<int, 5> &widthsInTwips) override;

protected:
    // The unload: stops the engine's running operation and writes the settings.
    void closeEvent(QCloseEvent *event) override;
    void changeEvent(QEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void moveEvent(QMoveEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    // Shortcut claims of the read-only panes and lists, focus loss of txtSearch, clicks into wbrHead, and
    // size changes of the area below the menu, which place the controls.
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void createMenu();
    // The window's keys, one shortcut per combination of commandKeys().
    void createShortcuts();
    void createToolbar();
    void createPanes();
    void createStatusBar();
    void centreOnScreen();
    // The part of the window's screen that panels and docks leave free.
    QRect freeScreenArea() const;
    void loadAnimation();
    void reloadHeaderPane();
    // Gives the window the outer size restored from the settings once its frame is known.
    void applyRestoredOuterSize();
    // Shows the connection error of a search that could not start.
    void showSearchCannotStart(const QString &errorText);

    std::map<QString, QAction *> commands_;
    QWidget *central_ = nullptr;
    // ShowGroupList is filling lstGroups: its selections are not the user's.
    bool fillingGroups_ = false;
    // Stop was used (read after a server check that ran beside the event loop).
    bool stopRequested_ = false;
    // The starting commands' state as SetCommandsEnabled last set it.
    bool commandsEnabled_ = false;
    // The outer size the settings asked for, while the frame is not yet known (invalid after).
    QSize restoredOuter_;
    // The options form whose signals are connected to this window.
    QPointer<frmOptions> connectedOptions_;
};

}  // namespace harbeat
