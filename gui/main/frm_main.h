// frmMain, the program's main window: the category list, the keyword box and the song list on
// the left, the header and message panes on the right, the toolbar with the animation, and the
// status bar with the progress bar. Its timer `timTimer` polls the engine's reports.
#pragma once

#include <QItemSelection>
#include <QMainWindow>
#include <QStringList>
#include <map>
#include <vector>

#include "main/song_results.h"
#include "settings/settings.h"

class QAction;
class QLabel;
class QLineEdit;
class QListWidget;
class QProgressBar;
class QTextBrowser;
class QTimer;
class QToolBar;
class QTreeView;

namespace harbeat {

class AnimationPlayer;
class PanelStatusBar;
class SongListModel;
class SongSortProxy;
struct SongChunks;

class frmMain final : public QMainWindow, public MainFormGeometry {
    Q_OBJECT
public:
    explicit frmMain(QWidget *parent = nullptr);
    ~frmMain() override;

    // The controls.
    QToolBar *barToolbar;
    AnimationPlayer *ani;
    QLabel *Label2;  // "Music Style:"
    QListWidget *lstGroups;
    QLabel *Label1;  // "Only Show Songs Containing:"
    QLineEdit *txtSearch;
    QTreeView *lstSongs;
    SongListModel *songRows;   // the rows of lstSongs
    SongSortProxy *songOrder;  // lstSongs' view of songRows, sorted
    QTextBrowser *wbrHead;     // header pane: data/msg013.rtf
    QTextBrowser *wbr;         // message pane: ShowMessage
    PanelStatusBar *barStatusbar;
    QProgressBar *pbProgress;
    QTimer *timTimer;

    // No search, save or preview is running.
    bool Idle = false;
    // The songs of the last search; the keyword filter works on them.
    std::vector<SongRecord> SongResults;

    // The toolbar command with this key ("Start Search", "Stop", "Refresh", "Save Song",
    // "Preview Song", "Request Song", "Options", "Help", "Exit").
    QAction *command(const QString &key) const;
    // Enables the commands that start something, and gives Stop the opposite state. Help and
    // Exit stay as they are.
    void SetCommandsEnabled(bool enabled);

    // Turns the song lines of a finished search into SongResults (with the hourglass, the
    // keyword box disabled meanwhile).
    void ParseSongChunks(const SongChunks &songs);
    // Adds the rows of SongResults that match the keyword box to lstSongs.
    void FillSongList();

    // Empties lstSongs (the rows only; SongResults stay).
    void clearSongList();
    // Sets the text of status-bar panel 1 or 2.
    void setStatusPanelText(int panel, const QString &text);

    // Fills lstGroups with one row per listed category of the catalogue; the first entry of a
    // category decides whether its row starts selected.
    void ShowGroupList();
    // Adds a row unless one with exactly that text exists; a new row gets the selection state.
    void lstGroups_AddItem(const QString &target, bool selected);
    // Removes every row whose text is exactly `target`.
    void lstGroups_RemoveItem(const QString &target);
    // The user changed the selection of lstGroups: every catalogue entry of a changed row's
    // category takes that row's state.
    void lstGroups_Click(const QItemSelection &selected, const QItemSelection &deselected);

    // One tick of timTimer: handles the engine's reports (notify/poll_tick.h).
    void timTimer_Timer();

    // The window's load: settings, pages and the polling timer. `arguments` are the command
    // line's words after the program name.
    void Form_Load(const QStringList &arguments);

    // MainFormGeometry.
    float formEdge(FormEdge edge) const override;
    void setFormEdge(FormEdge edge, float twips) override;
    int16_t formWindowState() const override;
    void setFormWindowState(int16_t state) override;
    void setupSongColumns(const std::array<int, 5> &widthsInTwips) override;

protected:
    // The unload: stops the engine's running operation and writes the settings.
    void closeEvent(QCloseEvent *event) override;

private:
    void createToolbar();
    void createPanes();
    void createStatusBar();

    std::map<QString, QAction *> commands_;
};

}  // namespace harbeat
