#include "main/frm_main.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QProgressBar>
#include <QScreen>
#include <QTextBrowser>
#include <QTimer>
#include <QToolBar>
#include <QTreeView>
#include <memory>

#include "catalogue/catalogue.h"
#include "engine/engine_binding.h"
#include "main/animation_player.h"
#include "main/avi_reader.h"
#include "main/catalogue_choices.h"
#include "main/main_layout.h"
#include "main/nzb_open.h"
#include "main/panel_status_bar.h"
#include "main/poll_tick.h"
#include "settings/shared_flags.h"
#include "main/song_list_model.h"
#include "main/toolbar_art.h"
#include "notify/notify_slots.h"
#include "pages/message_pages.h"
#include "pages/tip_pages.h"
#include "platform/platform.h"
#include "platform/product.h"
#include "platform/program_folder.h"
#include "platform/twips.h"
#include "startup/frm_splash.h"

namespace harbeat {
namespace {

// The window's size as designed, in twips: room for the whole toolbar at 96 dots per inch.
constexpr double kDesignWidth = 14400;
constexpr double kDesignHeight = 9900;
constexpr int kPollMilliseconds = 100;
// Typing must pause this long before the keyword filters the list.
constexpr int kKeywordSettleMilliseconds = 500;
// The narrowest window keeps the song list beside the message pane this wide, in twips, and
// the lowest keeps this much of the song list below the keyword box.
constexpr double kMinimumListWidth = 4500;
constexpr double kMinimumListHeight = 1400;
constexpr double kMinimumSongsTop = 2520;
// How long after the window is shown its frame may still become known (the window manager
// adds it).
constexpr int kFrameWaitMilliseconds = 2000;

const QString kNoNewsgroupsText =
    QStringLiteral(
        "Harbeat cannot find any valid MP3 newsgroups to search.  Please consult your ISP for more "
        "information on newsgroups.") +
    QStringLiteral("\r\n") +
    QStringLiteral("Unfortunately, Harbeat will not be able to find or retrieve any MP3's for you.");

// Arial, or a face with the same metrics where Arial is not installed.
QFont programFont() {
    QFont font;
    font.setFamilies({QStringLiteral("Arial"), QStringLiteral("Liberation Sans"), QStringLiteral("Nimbus Sans"),
                      QStringLiteral("Helvetica"), QStringLiteral("DejaVu Sans")});
    font.setPointSize(9);
    return font;
}

}  // namespace

frmMain::frmMain(QWidget *parent) : QMainWindow(parent) {
    setWindowTitle(QStringLiteral("HARBEAT"));
    setFont(programFont());
    resize(twipsToPixels(kDesignWidth), twipsToPixels(kDesignHeight));

    central_ = new QWidget(this);
    setCentralWidget(central_);
    createMenu();
    createToolbar();
    createPanes();
    createStatusBar();
    createShortcuts();

    timTimer = new QTimer(this);
    timTimer->setInterval(kPollMilliseconds);
    connect(timTimer, &QTimer::timeout, this, &frmMain::timTimer_Timer);
    timKeyword = new QTimer(this);
    timKeyword->setSingleShot(true);
    timKeyword->setInterval(kKeywordSettleMilliseconds);
    connect(timKeyword, &QTimer::timeout, this, &frmMain::txtSearch_Settled);

    // Every control stays usable down to this size: the toolbar, both lists, the keyword box
    // and a few rows of songs beside the message pane.
    setMinimumSize(twipsToPixels(kPaneWidth + kMinimumListWidth),
                   menuBar()->sizeHint().height() + barToolbar->sizeHint().height() +
                       twipsToPixels(kMinimumSongsTop + kMinimumListHeight) + barStatusbar->sizeHint().height());

    for (QWidget *forwarding : std::initializer_list<QWidget *>{lstGroups, lstSongs, txtSearch, wbr, wbrHead})
        forwarding->installEventFilter(this);
    wbrHead->viewport()->installEventFilter(this);
    central_->installEventFilter(this);
    installNzbOpening(*this);

    updateSongCommands();
    setMessagePane(wbr);
    attachMainForm(this);
}

frmMain::~frmMain() {
    if (attachedMainForm() == this) attachMainForm(nullptr);
    if (messagePane() == wbr) setMessagePane(nullptr);
}

void frmMain::createPanes() {
    ani = new AnimationPlayer(central_);

    Label2 = new QLabel(QStringLiteral("Music Style:"), central_);
    lstGroups = new QListWidget(central_);
    lstGroups->setSelectionMode(QAbstractItemView::MultiSelection);
    lstGroups->setFlow(QListView::TopToBottom);
    lstGroups->setWrapping(true);
    lstGroups->setResizeMode(QListView::Adjust);
    lstGroups->setUniformItemSizes(true);
    lstGroups->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    connect(lstGroups->selectionModel(), &QItemSelectionModel::selectionChanged, this, &frmMain::lstGroups_Click);

    Label1 = new QLabel(QStringLiteral("Only Show Songs Containing:"), central_);
    // The labels sit on the window's left edge with the lists; a small indent keeps the text off it.
    for (QLabel *label : {Label1, Label2}) label->setIndent(twipsToPixels(45));
    txtSearch = new QLineEdit(central_);
    txtSearch->setToolTip(QStringLiteral("Type in the search keyword"));
    connect(txtSearch, &QLineEdit::textChanged, this, &frmMain::txtSearch_Change);

    imgNotes = drawNoteIcon();
    songRows = new SongListModel(this);
    songRows->setRowIcon(imgNotes);
    lstSongs = new QTreeView(central_);
    lstSongs->setModel(songRows);
    lstSongs->setRootIsDecorated(false);
    lstSongs->setUniformRowHeights(true);  // keeps 100,000 rows fast
    lstSongs->setSelectionMode(QAbstractItemView::ExtendedSelection);
    lstSongs->setSelectionBehavior(QAbstractItemView::SelectRows);
    lstSongs->setAllColumnsShowFocus(true);
    lstSongs->setAlternatingRowColors(true);
    QHeaderView *header = lstSongs->header();
    header->setStretchLastSection(false);
    header->setSectionsClickable(true);
    header->setSortIndicatorShown(true);
    header->setSortIndicator(SongListModel::SongTitle, Qt::AscendingOrder);
    connect(header, &QHeaderView::sectionClicked, this, &frmMain::lstSongs_ColumnClick);
    connect(lstSongs, &QTreeView::doubleClicked, this, &frmMain::lstSongs_DoubleClick);
    mnuSongs = new QMenu(lstSongs);
    connect(mnuSongs->addAction(QStringLiteral("Save Song")), &QAction::triggered, this,
            [this] { runCommand(MainCommand::SaveSong); });
    connect(mnuSongs->addAction(QStringLiteral("Preview Song")), &QAction::triggered, this,
            [this] { runCommand(MainCommand::PreviewSong); });
    lstSongs->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(lstSongs, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &at) { mnuSongs->popup(lstSongs->viewport()->mapToGlobal(at)); });
    // Save and Preview follow the list and its selection: greyed out while no row is selected.
    connect(songRows, &QAbstractItemModel::modelReset, this, &frmMain::updateSongCommands);
    connect(songRows, &QAbstractItemModel::rowsInserted, this, &frmMain::updateSongCommands);
    connect(lstSongs->selectionModel(), &QItemSelectionModel::selectionChanged, this, &frmMain::updateSongCommands);

    wbrHead = new QTextBrowser(central_);
    wbr = new QTextBrowser(central_);
    for (QTextBrowser *pane : {wbrHead, wbr}) {
        pane->setReadOnly(true);
        pane->setOpenLinks(false);
        // Nothing in the panes takes keys, and they show no focus: Tab passes them by.
        pane->setFocusPolicy(Qt::NoFocus);
    }
    wbrHead->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    wbrHead->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    wbrHead->viewport()->setCursor(Qt::PointingHandCursor);
}

void frmMain::createStatusBar() {
    barStatusbar = new PanelStatusBar(this);
    setStatusBar(barStatusbar);
    // Placed by Form_Resize over the right end of the bar, not in the bar's own layout.
    pbProgress = new QProgressBar(barStatusbar);
    pbProgress->setRange(0, 100);
    pbProgress->setTextVisible(false);
    pbProgress->hide();
}

void frmMain::setStatusPanelText(int panel, const QString &text) { barStatusbar->setPanelText(panel, text); }

void frmMain::showSongCount() {
    const int rows = songRows->rowCount();
    const QString count =
        QLocale(QLocale::English).toString(rows) + (rows == 1 ? QStringLiteral(" song") : QStringLiteral(" songs"));
    setStatusPanelText(2, SearchCaption.isEmpty() ? count : SearchCaption + QStringLiteral(", ") + count);
}

void frmMain::timTimer_Timer() { PollNotifySlots(*this); }

void frmMain::RerunStartupCheck() {
    frmSplash splash(*this);
    splash.show();
    splash.Run(true);
    while (!splash.bDone) {
        // The Exit link and a cancelled check end the program; nothing more to do here.
        if (QuitRequested) return;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
}

void frmMain::unloadForQuit() { close(); }

void frmMain::Form_Load(const QStringList &arguments) {
    QuitRequested = false;
    Idle = false;
    timTimer->stop();
    DebugLevel = DebugLevelFromArguments(arguments);

    auto splash = std::make_unique<frmSplash>(*this);
    splash->show();
    splash->Run(false);
    // The start-up form finishes on its own timer (the newsgroup-list update) or ends the program.
    while (!splash->bDone && !QuitRequested)
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    if (QuitRequested) {
        platform().endProgram();
        return;
    }

    ShowGroupList();
    if (!(windowState() & (Qt::WindowMaximized | Qt::WindowMinimized))) centreOnScreen();
    QDir::setCurrent(programFolder());

    FaqCount = 23;
    FaqIndex = 1;
    TipCountdown = -1;
    loadAnimation();
    SetCommandsEnabled(true);
    reloadHeaderPane();
    ShowMessage(QStringLiteral("msg009"));
    splash.reset();

    if (lstGroups->count() == 0) {
        LoadDefaultGroup199x(Groups);
        if (lstGroups->count() == 0) platform().messageBox(this, kNoNewsgroupsText, BoxIcon::Information);
    }

    timTimer->start();
    Idle = true;
    notifySlots().setProgress(0);
    // The start-up form and the boxes it showed are gone: the keys belong to this window.
    if (isVisible()) activateWindow();
    SearchReady = -1;
}

QRect frmMain::freeScreenArea() const {
    const QScreen *shown = screen() ? screen() : QGuiApplication::primaryScreen();
    return shown ? shown->availableGeometry() : QRect();
}

void frmMain::centreOnScreen() {
    const QRect area = freeScreenArea();
    if (area.isEmpty()) return;
    // A size saved on a larger screen, or restored at a larger scale, is cut to the free part of
    // this screen, and the window is placed inside it: its title bar and menu stay reachable.
    const QSize frameExtra = frameGeometry().size() - size();
    const QSize inner(std::min(width(), std::max(area.width() - frameExtra.width(), minimumWidth())),
                      std::min(height(), std::max(area.height() - frameExtra.height(), minimumHeight())));
    if (inner != size()) resize(inner);
    const QSize outer = inner + frameExtra;
    move(area.x() + std::max((area.width() - outer.width()) / 2, 0),
         area.y() + std::max((area.height() - outer.height()) / 2, 0));
}

void frmMain::loadAnimation() {
    QFile clip(dataFile(QStringLiteral("GRAMOPH.avi")));
    if (!clip.open(QIODevice::ReadOnly)) return;  // no clip: the animation stays empty
    const AviReadResult read = readAvi(clip.readAll());
    if (!read.ok()) return;
    ani->setFrames(withTransparentBackground(read.clip.frames), (read.clip.frameMicroseconds + 500) / 1000);
    Form_Resize();  // the toolbar makes room for the clip
}

void frmMain::reloadHeaderPane() { loadRtfPage(*wbrHead, dataFile(QStringLiteral("msg013.rtf"))); }

void frmMain::Form_Activate() {
    setWindowTitle(
        QStringLiteral("%1 v%2.%3.%4").arg(kProductName).arg(kVersionMajor).arg(kVersionMinor).arg(kVersionRevision));
}

void frmMain::changeEvent(QEvent *event) {
    if (event->type() == QEvent::ActivationChange && isActiveWindow()) Form_Activate();
    QMainWindow::changeEvent(event);
}

bool frmMain::eventFilter(QObject *watched, QEvent *event) {
    switch (event->type()) {
        case QEvent::KeyPress: {
            // Enter on a song row saves the selected songs, as a double click previews one.
            const auto *key = static_cast<QKeyEvent *>(event);
            if (watched == lstSongs && (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) &&
                !key->isAutoRepeat()) {
                runCommand(MainCommand::SaveSong);
                return true;
            }
            break;
        }
        case QEvent::ShortcutOverride: {
            // Only an editable text box may keep a command key for itself (Ctrl+X cuts there);
            // the lists and the read-only panes leave the window's keys to the window.
            const auto *key = static_cast<QKeyEvent *>(event);
            const auto *box = qobject_cast<const QLineEdit *>(watched);
            if (!(box && !box->isReadOnly()) && commandForKey(key->key(), key->modifiers()) != MainCommand::None)
                return true;
            break;
        }
        case QEvent::Resize:
            if (watched == central_) Form_Resize();
            break;
        case QEvent::FocusOut:
            if (watched == txtSearch) txtSearch_LostFocus();
            break;
        case QEvent::MouseButtonRelease:
            // A click into the header pane opens the help page on the web.
            if (watched == wbrHead->viewport() && static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton)
                platform().documentOpen(this, kHelpAddress);
            break;
        default: break;
    }
    return QMainWindow::eventFilter(watched, event);
}

void frmMain::closeEvent(QCloseEvent *event) {
    engine::mp3CancelFunc();
    SaveSettings();
    event->accept();
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
        case FormEdge::Height:
            restoredOuter_ = QSize(restoredOuter_.isValid() ? restoredOuter_.width() : frameGeometry().width(), pixels);
            resize(width(), std::max(pixels - frameExtra.height(), 1));
            break;
        case FormEdge::Width:
            restoredOuter_ =
                QSize(pixels, restoredOuter_.isValid() ? restoredOuter_.height() : frameGeometry().height());
            resize(std::max(pixels - frameExtra.width(), 1), height());
            break;
    }
    // A frame already known was taken off above; otherwise it is taken off once it is known.
    if (frameExtra.width() > 0 || frameExtra.height() > 0) restoredOuter_ = QSize();
}

void frmMain::applyRestoredOuterSize() {
    if (!restoredOuter_.isValid() || !isVisible() || (windowState() & (Qt::WindowMaximized | Qt::WindowMinimized)))
        return;
    const QSize frameExtra = frameGeometry().size() - size();
    if (frameExtra.width() <= 0 && frameExtra.height() <= 0) return;  // the frame is not known yet
    QSize outer = restoredOuter_;
    restoredOuter_ = QSize();
    const QRect area = freeScreenArea();
    if (!area.isEmpty()) outer = outer.boundedTo(area.size());
    resize(std::max(outer.width() - frameExtra.width(), 1), std::max(outer.height() - frameExtra.height(), 1));
}

void frmMain::showEvent(QShowEvent *event) {
    QMainWindow::showEvent(event);
    applyRestoredOuterSize();
    // A window without a frame keeps the size it was given; a size the user chose later is not
    // changed.
    if (restoredOuter_.isValid())
        QTimer::singleShot(kFrameWaitMilliseconds, this, [this] { restoredOuter_ = QSize(); });
}

void frmMain::moveEvent(QMoveEvent *event) {
    QMainWindow::moveEvent(event);
    applyRestoredOuterSize();
}

void frmMain::resizeEvent(QResizeEvent *event) {
    QMainWindow::resizeEvent(event);
    applyRestoredOuterSize();
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

}  // namespace harbeat
