#include "main/frm_main.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QTextBrowser>
#include <QTimer>
#include <QToolBar>
#include <QTreeView>
#include <QVBoxLayout>

#include "engine/engine_binding.h"
#include "main/animation_player.h"
#include "main/panel_status_bar.h"
#include "main/shared_flags.h"
#include "main/song_list_model.h"
#include "notify/notify_slots.h"
#include "notify/poll_tick.h"
#include "pages/message_pages.h"
#include "pages/tip_pages.h"
#include "platform/program_folder.h"
#include "platform/twips.h"

namespace harbeat {
namespace {

// The window's size and the width of the right-hand panes as designed, in twips.
constexpr double kDesignWidth = 12000;
constexpr double kDesignHeight = 8400;
constexpr double kPaneWidth = 4000;
constexpr double kProgressWidth = 2060;
constexpr int kPollMilliseconds = 100;

struct ToolbarCommand {
    const char *key;
    const char *caption;
    const char *toolTip;
};
// In bar order.
constexpr ToolbarCommand kToolbarCommands[] = {
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

class BusyCursor {
public:
    BusyCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~BusyCursor() { QApplication::restoreOverrideCursor(); }
    BusyCursor(const BusyCursor &) = delete;
    BusyCursor &operator=(const BusyCursor &) = delete;
};

}  // namespace

frmMain::frmMain(QWidget *parent) : QMainWindow(parent) {
    setWindowTitle(QStringLiteral("HARBEAT"));
    QFont font(QStringLiteral("Arial"));
    font.setPointSize(9);
    setFont(font);
    resize(twipsToPixels(kDesignWidth), twipsToPixels(kDesignHeight));

    createToolbar();
    createPanes();
    createStatusBar();

    timTimer = new QTimer(this);
    timTimer->setInterval(kPollMilliseconds);
    connect(timTimer, &QTimer::timeout, this, &frmMain::timTimer_Timer);

    setMessagePane(wbr);
    attachMainForm(this);
}

frmMain::~frmMain() {
    if (attachedMainForm() == this) attachMainForm(nullptr);
    if (messagePane() == wbr) setMessagePane(nullptr);
}

void frmMain::createToolbar() {
    barToolbar = addToolBar(QStringLiteral("Commands"));
    barToolbar->setObjectName(QStringLiteral("barToolbar"));
    barToolbar->setMovable(false);
    barToolbar->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    for (const ToolbarCommand &entry : kToolbarCommands) {
        QAction *action = barToolbar->addAction(QString::fromLatin1(entry.caption));
        action->setToolTip(QString::fromLatin1(entry.toolTip));
        commands_.emplace(QString::fromLatin1(entry.key), action);
    }
    auto *spacer = new QWidget(barToolbar);
    spacer->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    barToolbar->addWidget(spacer);
    ani = new AnimationPlayer(barToolbar);
    barToolbar->addWidget(ani);
}

void frmMain::createPanes() {
    auto *central = new QWidget(this);
    auto *columns = new QHBoxLayout(central);

    auto *left = new QVBoxLayout;
    Label2 = new QLabel(QStringLiteral("Music Style:"), central);
    lstGroups = new QListWidget(central);
    lstGroups->setSelectionMode(QAbstractItemView::MultiSelection);
    lstGroups->setFlow(QListView::TopToBottom);
    lstGroups->setWrapping(true);
    connect(lstGroups->selectionModel(), &QItemSelectionModel::selectionChanged, this, &frmMain::lstGroups_Click);
    Label1 = new QLabel(QStringLiteral("Only Show Songs Containing:"), central);
    txtSearch = new QLineEdit(central);
    txtSearch->setToolTip(QStringLiteral("Type in the search keyword"));

    songRows = new SongListModel(this);
    songOrder = new SongSortProxy(this);
    songOrder->setSourceModel(songRows);
    lstSongs = new QTreeView(central);
    lstSongs->setModel(songOrder);
    lstSongs->setRootIsDecorated(false);
    lstSongs->setUniformRowHeights(true);  // keeps 100,000 rows fast
    lstSongs->setSelectionMode(QAbstractItemView::ExtendedSelection);
    lstSongs->setSelectionBehavior(QAbstractItemView::SelectRows);
    lstSongs->setAllColumnsShowFocus(true);
    lstSongs->setSortingEnabled(true);

    left->addWidget(Label2);
    left->addWidget(lstGroups, 1);
    left->addWidget(Label1);
    left->addWidget(txtSearch);
    left->addWidget(lstSongs, 3);

    auto *right = new QVBoxLayout;
    wbrHead = new QTextBrowser(central);
    wbr = new QTextBrowser(central);
    for (QTextBrowser *pane : {wbrHead, wbr}) {
        pane->setReadOnly(true);
        pane->setOpenLinks(false);
        pane->setFixedWidth(twipsToPixels(kPaneWidth));
    }
    wbrHead->setFixedHeight(twipsToPixels(1200));
    wbrHead->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    wbrHead->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    right->addWidget(wbrHead);
    right->addWidget(wbr, 1);

    columns->addLayout(left, 1);
    columns->addLayout(right);
    setCentralWidget(central);
}

void frmMain::createStatusBar() {
    barStatusbar = new PanelStatusBar(this);
    setStatusBar(barStatusbar);
    pbProgress = new QProgressBar(barStatusbar);
    pbProgress->setRange(0, 100);
    pbProgress->setFixedWidth(twipsToPixels(kProgressWidth));
    pbProgress->hide();
    barStatusbar->addPermanentWidget(pbProgress);
}

QAction *frmMain::command(const QString &key) const {
    const auto found = commands_.find(key);
    return found == commands_.end() ? nullptr : found->second;
}

void frmMain::SetCommandsEnabled(bool enabled) {
    for (const char *key : kStartingCommands) command(QString::fromLatin1(key))->setEnabled(enabled);
    command(QStringLiteral("Stop"))->setEnabled(!enabled);
}

void frmMain::clearSongList() { songRows->clear(); }

void frmMain::setStatusPanelText(int panel, const QString &text) { barStatusbar->setPanelText(panel, text); }

void frmMain::ParseSongChunks(const SongChunks &songs) {
    BusyCursor busy;
    txtSearch->setEnabled(false);
    SongResults = harbeat::ParseSongChunks(songs.chunks, songs.ChunkIndex);
    txtSearch->setEnabled(true);
}

void frmMain::FillSongList() {
    BusyCursor busy;
    harbeat::FillSongList(*songRows, SongResults, txtSearch->text());
}

void frmMain::timTimer_Timer() { PollNotifySlots(*this); }

void frmMain::Form_Load(const QStringList &arguments) {
    QuitRequested = false;
    Idle = false;
    timTimer->stop();
    DebugLevel = DebugLevelFromArguments(arguments);
    LoadSettings();

    FaqCount = 23;
    FaqIndex = 1;
    TipCountdown = -1;
    SetCommandsEnabled(true);
    loadRtfPage(*wbrHead, dataFile(QStringLiteral("msg013.rtf")));
    ShowMessage(QStringLiteral("msg009"));

    timTimer->start();
    Idle = true;
    notifySlots().setProgress(0);
    SearchReady = -1;
}

float frmMain::formEdge(FormEdge edge) const {
    const QRect frame = frameGeometry();
    switch (edge) {
        case FormEdge::Top: return static_cast<float>(pixelsToTwips(frame.y()));
        case FormEdge::Height: return static_cast<float>(pixelsToTwips(frame.height()));
        case FormEdge::Left: return static_cast<float>(pixelsToTwips(frame.x()));
        case FormEdge::Width: return static_cast<float>(pixelsToTwips(frame.width()));
    }
    return 0;
}

void frmMain::setFormEdge(FormEdge edge, float twips) {
    const int pixels = twipsToPixels(twips);
    // Top and Left place the frame; Height and Width include it, as the stored values do.
    const QSize frameExtra = frameGeometry().size() - size();
    switch (edge) {
        case FormEdge::Top: move(pos().x(), pixels); break;
        case FormEdge::Left: move(pixels, pos().y()); break;
        case FormEdge::Height: resize(width(), std::max(pixels - frameExtra.height(), 1)); break;
        case FormEdge::Width: resize(std::max(pixels - frameExtra.width(), 1), height()); break;
    }
}

int16_t frmMain::formWindowState() const {
    if (windowState() & Qt::WindowMinimized) return kWindowMinimised;
    if (windowState() & Qt::WindowMaximized) return kWindowMaximised;
    return kWindowNormal;
}

void frmMain::setFormWindowState(int16_t state) {
    const Qt::WindowStates others = windowState() & ~(Qt::WindowMinimized | Qt::WindowMaximized);
    switch (state) {
        case kWindowNormal: setWindowState(others); break;
        case kWindowMinimised: setWindowState(others | Qt::WindowMinimized); break;
        case kWindowMaximised: setWindowState(others | Qt::WindowMaximized); break;
        default: break;  // not a window state: the window stays as it is
    }
}

void frmMain::setupSongColumns(const std::array<int, 5> &widthsInTwips) {
    for (int column = 0; column < static_cast<int>(widthsInTwips.size()); ++column) {
        const int twips = widthsInTwips[static_cast<std::size_t>(column)];
        lstSongs->setColumnHidden(column, twips == 0);
        if (twips > 0) lstSongs->header()->resizeSection(column, twipsToPixels(twips));
    }
    lstSongs->sortByColumn(SongListModel::SongTitle, Qt::AscendingOrder);
}

void frmMain::closeEvent(QCloseEvent *event) {
    engine::mp3CancelFunc();
    SaveSettings();
    event->accept();
}

}  // namespace harbeat
