#include "startup/frm_splash.h"

#include <QApplication>
#include <QDate>
#include <QDeadlineTimer>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>
#include <QWindow>
#include <exception>
#include <new>

#include "catalogue/catalogue.h"
#include "engine/engine_binding.h"
#include "settings/shared_flags.h"
#include "notify/notify_slots.h"
#include "options/frm_options.h"
#include "platform/platform.h"
#include "server/server_check.h"
#include "settings/settings.h"
#include "text/value_text.h"
#include "startup/splash_owner.h"
#include "startup/splash_picture.h"

namespace harbeat {
namespace {

constexpr int kTimerMilliseconds = 500;
constexpr int kCurrentCataloguePause = 3000;
constexpr int kExposeWaitMilliseconds = 1000;
const QString kNewsgroupFilter = QStringLiteral("alt.binaries");
const QString kCheckingCaption = QStringLiteral("Please Wait, Checking NNTP Setup...");
const QString kUpdatingCaption = QStringLiteral("Please Wait, Updating Newsgroup List...");
const QString kCrLf = QStringLiteral("\r\n");
const QString kOptionsCaption = QStringLiteral("Options...");

// A label used as a link. A disabled label does not grey out a rich-text link by itself, so the
// caption is shown as plain grey text while the link is off.
void showLink(QLabel &link, const QString &caption, bool enabled) {
    link.setEnabled(enabled);
    link.setText(enabled ? QStringLiteral("<a href=\"#\">%1</a>").arg(caption.toHtmlEscaped())
                         : QStringLiteral("<span style=\"color: gray\">%1</span>").arg(caption.toHtmlEscaped()));
    link.setCursor(enabled ? Qt::PointingHandCursor : Qt::ArrowCursor);
}

QLabel *makeLink(const QString &caption, QWidget *parent) {
    auto *link = new QLabel(parent);
    link->setTextFormat(Qt::RichText);
    link->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    showLink(*link, caption, true);
    return link;
}

void warn(QWidget *owner, const QString &text) { platform().messageBox(owner, text, BoxIcon::Warning); }

// Shows the hourglass for its lifetime.
class BusyCursor {
public:
    BusyCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~BusyCursor() { QApplication::restoreOverrideCursor(); }
    BusyCursor(const BusyCursor &) = delete;
    BusyCursor &operator=(const BusyCursor &) = delete;
};

}  // namespace

QString TodayText() { return QDate::currentDate().toString(QStringLiteral("yyMMdd")); }

frmSplash::frmSplash(SplashOwner &owner, QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint), owner_(owner) {
    setWindowTitle(QStringLiteral("Harbeat"));
    setObjectName(QStringLiteral("frmSplash"));
    setAttribute(Qt::WA_QuitOnClose, false);

    Image1 = new QLabel(this);
    Image1->setPixmap(drawSplashPicture());
    Image1->setFixedSize(kSplashPictureSize);

    auto *strip = new QWidget(this);
    strip->setObjectName(QStringLiteral("splashStrip"));
    strip->setStyleSheet(QStringLiteral("#splashStrip { background: #f4f1ea; border-top: 1px solid #c9c2b2; }"));
    Label1 = new QLabel(kCheckingCaption, strip);
    QFont stepFont = Label1->font();
    stepFont.setBold(true);
    Label1->setFont(stepFont);
    lblStatus = new QLabel(strip);
    Label3 = makeLink(kOptionsCaption, strip);
    Label2 = makeLink(QStringLiteral("Exit..."), strip);

    auto *texts = new QVBoxLayout;
    texts->setSpacing(2);
    texts->addWidget(Label1);
    texts->addWidget(lblStatus);
    auto *links = new QVBoxLayout;
    links->setSpacing(2);
    links->addWidget(Label3, 0, Qt::AlignRight);
    links->addWidget(Label2, 0, Qt::AlignRight);
    auto *stripLayout = new QHBoxLayout(strip);
    stripLayout->setContentsMargins(12, 8, 12, 8);
    stripLayout->addLayout(texts, 1);
    stripLayout->addLayout(links);

    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(Image1);
    column->addWidget(strip);
    setFixedSize(kSplashPictureSize.width(), kSplashPictureSize.height() + 56);

    connect(Label3, &QLabel::linkActivated, this, [this] { Label3_Click(); });
    connect(Label2, &QLabel::linkActivated, this, [this] { Label2_Click(); });

    Timer1 = new QTimer(this);
    Timer1->setInterval(kTimerMilliseconds);
    connect(Timer1, &QTimer::timeout, this, &frmSplash::Timer1_Timer);
    Timer1->start();

    if (const QScreen *screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.center() - rect().center());
    }
}

frmSplash::~frmSplash() = default;

void frmSplash::repaintNow() {
    if (!isVisible()) show();
    // A window just shown is drawn only once the display has mapped it: wait for that briefly,
    // or the form stays black while the check blocks.
    QDeadlineTimer mapped(kExposeWaitMilliseconds);
    while (windowHandle() && !windowHandle()->isExposed() && !mapped.hasExpired())
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents | QEventLoop::WaitForMoreEvents, 10);
    repaint();
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void frmSplash::Run(bool bResetGroups) {
    // An unexpected failure must not take the program down: the user sees it and can still use
    // the two links.
    // No tick while Run works: a tick could open the options form while the server check has it
    // open already. The list update that Run may start is consumed by the ticks afterwards.
    Timer1->stop();
    try {
        RunSteps(bResetGroups);
    } catch (const std::bad_alloc &error) {
        warn(this, QStringLiteral("Error - Out of memory") + kCrLf + QString::fromLocal8Bit(error.what()));
    } catch (const std::exception &error) {
        warn(this, QStringLiteral("Error - Run-time error") + kCrLf + QString::fromLocal8Bit(error.what()));
    }
    if (!QuitRequested) Timer1->start();
}

void frmSplash::RunSteps(bool bResetGroups) {
    today_ = TodayText();
    repaintNow();
    if (!bResetGroups) LoadSettings();
    SetupNNTPConfig();
    if (QuitRequested) return;  // the program ends

    Label1->setText(kUpdatingCaption);
    repaintNow();
    Groups.LastChecked = trimBlanks(Groups.LastChecked.text());
    if (Groups.LastChecked == today_) {
        platform().pause(kCurrentCataloguePause, this);
        bDone = true;
        return;
    }
    startListUpdate();
}

void frmSplash::startListUpdate() {
    // Reports left from an earlier operation must not be taken for this update's.
    NotifySlots &reports = notifySlots();
    reports.setText(NotifySlot::GroupListSlot, QString());
    reports.setText(NotifySlot::EndSlot, QString());
    // The engine runs one operation at a time: the "Options..." link, which starts an update
    // itself, waits until this one has ended.
    setListUpdateRunning(true);
    const intptr_t started =
        engine::mp3GetNewsgroups(engine::toEngineText(kNewsgroupFilter).constData(),
                                 engine::toEngineText(trimBlanks(Groups.LastChecked.text())).constData());
    // No worker could be started, so no report will come: the links stay usable.
    if (started == -1) setListUpdateRunning(false);
}

void frmSplash::setListUpdateRunning(bool running) { showLink(*Label3, kOptionsCaption, !running); }

void frmSplash::SetupNNTPConfig() {
    Label1->setText(kCheckingCaption);
    repaintNow();
    int tries = 0;
    for (;;) {
        QString errorText;
        // The form is drawn before each check, and the check runs beside the event loop: a
        // server that accepts and then stays silent keeps the form on screen with working links
        // for the whole wait.
        repaintNow();
        bool accepted = false;
        optionsRequested_ = false;
        // Without a server there is nothing to check: the options form opens at once.
        const bool noServer = trimBlanks(Settings.Server.text()).isEmpty();
        if (!noServer) {
            BusyCursor busy;
            checking_ = true;
            accepted = CheckServerSettings(errorText, [] {
                QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 20);
            });
            checking_ = false;
        }
        if (QuitRequested) return;  // the Exit link was used during the check
        const bool askedForOptions = optionsRequested_ || noServer;
        if (accepted && !optionsRequested_) {
            // A text with a passed check is a warning about the backup server alone.
            if (!errorText.isEmpty()) warn(this, QStringLiteral("Warning - ") + errorText);
            return;
        }

        frmOptions *form = nullptr;
        if (askedForOptions) {
            form = &owner_.optionsForm();
            form->txtServerName->raise();
            form->txtServerName->setFocus();
        } else {
            if (errorText.isEmpty()) errorText = QStringLiteral("The news server did not answer the check.");
            errorText = ServerErrorText(errorText);
            warn(this, QStringLiteral("Error - ") + errorText);
            // Trying a plain connection to the encrypted port again only waits once more.
            if (errorText.contains(QStringLiteral("Timed Out")) && !PlainConnectionToEncryptedPort(errorText) &&
                ++tries < 3)
                continue;
            form = &owner_.optionsForm();
            const int32_t reply = roundToInt32(leadingNumber(errorText));
            if (reply == 480 || reply == 502) {
                warn(this, LoginRequiredText());
                form->txtUserID->raise();
                form->txtUserID->setFocus();
            } else if (errorText != kQuitMarker) {
                warn(this, QStringLiteral("Error - ") + errorText + kCrLf + kCrLf + ServerProblemText(errorText));
                form->txtServerName->raise();
                form->txtServerName->setFocus();
            }
        }
        frmOptions &options = *form;
        options.bStartupCheck = true;

        options.exec();

        if (options.bCancelled) {
            QuitRequested = true;
            unloadOptionsForm();
            owner_.unloadForQuit();
            close();
            platform().endProgram();
            return;
        }
        if (options.bServerChanged) {
            Groups.NumberOf = 0;
            Groups.LastChecked = kRebuildCatalogue;
        }
        unloadOptionsForm();
        QCoreApplication::processEvents();
        repaintNow();
        tries = 0;
    }
}

void frmSplash::Timer1_Timer() {
    NotifySlots &reports = notifySlots();

    const QString groupList = reports.text(NotifySlot::GroupListSlot);
    if (!groupList.isEmpty()) {
        MergeGroupList(groupList);
        reports.setText(NotifySlot::GroupListSlot, QString());
        Groups.LastChecked = TodayText();
        SaveSettings();
        bDone = true;
        reports.setProgress(0);
        setListUpdateRunning(false);
    }

    const QString end = reports.text(NotifySlot::EndSlot);
    if (!end.isEmpty()) {
        setListUpdateRunning(false);
        // Off while a box or the options form is up, so no tick runs inside this one.
        Timer1->stop();
        if (end.contains(QStringLiteral("Timed Out"))) {
            warn(this, QStringLiteral("Error - ") + end);
            reports.setText(NotifySlot::EndSlot, QString());
            bDone = true;
            reports.setProgress(0);
        } else {
            if (end != kQuitMarker)
                warn(this, QStringLiteral("Error - ") + ServerErrorText(end) + kCrLf + kCrLf + ServerProblemText(end));
            lblStatus->setText(QStringLiteral("Error Loading"));
            lblStatus->repaint();
            // The retry starts only after the failure was consumed, so its own report cannot be
            // taken for this one.
            reports.setText(NotifySlot::EndSlot, QString());
            reports.setProgress(0);
            frmOptions &options = owner_.optionsForm();
            options.exec();
            const bool retry = !options.bCancelled;
            unloadOptionsForm();
            if (retry) {
                SaveSettings();
                startListUpdate();
            }
        }
        if (!QuitRequested) Timer1->start();
    }

    const double progress = reports.progress();
    if (progress != 0) {
        lblStatus->setText(shortestDecimalText(progress) + QStringLiteral(" Groups Loaded"));
        lblStatus->repaint();
        QCoreApplication::processEvents();
    }
}

void frmSplash::Label3_Click() {
    if (!Label3->isEnabled()) return;
    if (checking_) {
        // The check waits for the server up to a minute; the user need not.
        optionsRequested_ = true;
        engine::mp3CancelFunc();
        return;
    }
    frmOptions &options = owner_.optionsForm();
    options.exec();
    const bool retry = !options.bCancelled;
    unloadOptionsForm();
    if (retry) {
        SaveSettings();
        startListUpdate();
    }
}

void frmSplash::Label2_Click() {
    notifySlots().setText(NotifySlot::EndSlot, kQuitMarker);
    QuitRequested = true;
    Timer1->stop();
    owner_.unloadForQuit();
    close();
    platform().endProgram();
}

}  // namespace harbeat
