#include "options/frm_options.h"

#include <algorithm>

#include <QApplication>
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QScreen>
#include <QSpinBox>
#include <QFileInfo>
#include <QVBoxLayout>
#include <QScrollArea>
#include <QStyle>

#include "catalogue/catalogue.h"
#include "settings/shared_flags.h"
#include "pages/message_pages.h"
#include "pages/tip_pages.h"
#include "platform/platform.h"
#include "platform/product.h"
#include "platform/program_folder.h"
#include "server/engine_options.h"
#include "server/server_check.h"
#include "settings/registry.h"
#include "settings/settings.h"
#include "text/value_text.h"

namespace harbeat {
namespace {

QPointer<frmOptions> loadedForm;

const QString kServerChangedQuestion = QStringLiteral(
    "You have selected a different Newsgroup Server.\r\nYour newsgroup list will now be reset.\r\n\r\nPress OK to "
    "continue.");
const QString kResetQuestion = QStringLiteral(
    "Your list of newsgroups will now be rebuilt from your news server's complete list.\r\nThis can take a few "
    "minutes.\r\n\r\nPress OK to continue.");
const QString kFolderPrompt = QStringLiteral("Pick a default folder to store your downloaded songs:");
const QString kTrustedCertificatesPrompt = QStringLiteral("Trusted certificates file");
const QString kCertificateFilter = QStringLiteral("Certificates (*.pem *.crt *.cer);;All files (*)");

// Shows the hourglass for its lifetime.
class BusyCursor {
public:
    BusyCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~BusyCursor() { QApplication::restoreOverrideCursor(); }
    BusyCursor(const BusyCursor &) = delete;
    BusyCursor &operator=(const BusyCursor &) = delete;
};

QLineEdit *addField(QGridLayout &grid, int row, const QString &label, QWidget *parent) {
    auto *field = new QLineEdit(parent);
    auto *caption = new QLabel(label, parent);
    caption->setBuddy(field);
    grid.addWidget(caption, row, 0);
    grid.addWidget(field, row, 1);
    return field;
}

constexpr int32_t kPlainNntpPort = 119;
constexpr int32_t kTlsNntpPort = 563;
constexpr int kLowestPort = 1;
constexpr int kHighestPort = 65535;
constexpr int kFewestConnections = 1;
constexpr int kMostConnections = 50;

QString downloadDirIsAFileText(const QString &path) {
    return QStringLiteral("The Download Dir \"%1\" is a file, not a folder.\r\nPlease choose a folder for your songs.")
        .arg(path);
}

}  // namespace

frmOptions::frmOptions(QWidget *parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Harbeat Options"));
    setObjectName(QStringLiteral("frmOptions"));

    // The server.
    auto *serverBox = new QGroupBox(this);
    auto *serverGrid = new QGridLayout(serverBox);
    txtServerName = addField(*serverGrid, 0, QStringLiteral("News Server Name "), serverBox);
    // The port and the number of connections take only what the engine can use, checked as typed.
    txtPortNumber = new QSpinBox(serverBox);
    txtPortNumber->setRange(kLowestPort, kHighestPort);
    txtPortNumber->setValue(kPlainNntpPort);
    txtPortNumber->setMaximumWidth(90);
    auto *portCaption = new QLabel(QStringLiteral("News Server's Port Number (usually 119)"), serverBox);
    portCaption->setBuddy(txtPortNumber);
    serverGrid->addWidget(portCaption, 1, 0);
    serverGrid->addWidget(txtPortNumber, 1, 1, Qt::AlignLeft);
    auto *connectionsCaption = new QLabel(QStringLiteral("&Connections"), serverBox);
    txtConnections = new QSpinBox(serverBox);
    txtConnections->setRange(kFewestConnections, kMostConnections);
    txtConnections->setMaximumWidth(60);
    connectionsCaption->setBuddy(txtConnections);
    serverGrid->addWidget(connectionsCaption, 1, 2);
    serverGrid->addWidget(txtConnections, 1, 3);
    chkUseTLS = new QCheckBox(QStringLiteral("Use an encrypted connection (SSL/TLS)"), serverBox);
    serverGrid->addWidget(chkUseTLS, 2, 1);
    // A server with a certificate of its own (self-signed) is trusted through this file.
    cmdTLSCAFile = new QPushButton(kTrustedCertificatesCaption, serverBox);
    txtTLSCAFile = new QLineEdit(serverBox);
    txtTLSCAFile->setPlaceholderText(QStringLiteral("none: only the certificates this computer trusts"));
    serverGrid->addWidget(cmdTLSCAFile, 3, 0, Qt::AlignRight);
    serverGrid->addWidget(txtTLSCAFile, 3, 1, 1, 3);
    lblComment = new QLabel(QStringLiteral("Both can be found in Netscape and IE NewsServer settings"), serverBox);
    QFont commentFont = lblComment->font();
    commentFont.setItalic(true);
    lblComment->setFont(commentFont);
    lblComment->setStyleSheet(QStringLiteral("color: palette(dark);"));
    serverGrid->addWidget(lblComment, 4, 0, 1, 2);

    // The login and the connection speed, side by side.
    fraLogin = new QGroupBox(QStringLiteral("Login Information (If required by your ISP):"), this);
    auto *loginGrid = new QGridLayout(fraLogin);
    txtUserID = addField(*loginGrid, 0, QStringLiteral("Login ID"), fraLogin);
    txtPassword = addField(*loginGrid, 1, QStringLiteral("Password"), fraLogin);
    txtPassword->setEchoMode(QLineEdit::Password);
    txtPassword->setStyleSheet(QStringLiteral("lineedit-password-character: 42;"));  // "*"
    loginGrid->setRowStretch(2, 1);

    fraConnectSpeed = new QGroupBox(QStringLiteral("Connection Speed:"), this);
    auto *speedGrid = new QGridLayout(fraConnectSpeed);
    for (std::size_t index = 0; index < SpeedChoices.size(); ++index) {
        auto *option = new QRadioButton(QString::fromLatin1(SpeedChoices[index].caption), fraConnectSpeed);
        optConnectSpeeds[index] = option;
        const int i = static_cast<int>(index);
        speedGrid->addWidget(option, i % 3, i / 3);
    }
    optConnectSpeeds[kDesignSpeedIndex]->setChecked(true);

    auto *middle = new QHBoxLayout;
    middle->addWidget(fraLogin, 1);
    middle->addWidget(fraConnectSpeed);

    // The backup server: one row for where it is, one for its login.
    fraBackup =
        new QGroupBox(QStringLiteral("Backup server (used only for articles the main server does not have)"), this);
    auto *backupGrid = new QGridLayout(fraBackup);
    txtBackupServer = addField(*backupGrid, 0, QStringLiteral("Server"), fraBackup);
    auto *backupPortCaption = new QLabel(QStringLiteral("Port"), fraBackup);
    txtBackupPort = new QSpinBox(fraBackup);
    txtBackupPort->setRange(kLowestPort, kHighestPort);
    txtBackupPort->setValue(kPlainNntpPort);
    txtBackupPort->setMaximumWidth(90);
    backupPortCaption->setBuddy(txtBackupPort);
    backupGrid->addWidget(backupPortCaption, 0, 2);
    backupGrid->addWidget(txtBackupPort, 0, 3);
    chkBackupTLS = new QCheckBox(QStringLiteral("SSL/TLS"), fraBackup);
    backupGrid->addWidget(chkBackupTLS, 0, 4);
    txtBackupUser = addField(*backupGrid, 1, QStringLiteral("Login ID"), fraBackup);
    auto *backupPasswordCaption = new QLabel(QStringLiteral("Password"), fraBackup);
    txtBackupPassword = new QLineEdit(fraBackup);
    txtBackupPassword->setEchoMode(QLineEdit::Password);
    txtBackupPassword->setStyleSheet(QStringLiteral("lineedit-password-character: 42;"));  // "*"
    backupPasswordCaption->setBuddy(txtBackupPassword);
    backupGrid->addWidget(backupPasswordCaption, 1, 2);
    backupGrid->addWidget(txtBackupPassword, 1, 3, 1, 2);
    backupGrid->setColumnStretch(1, 1);

    // The download folder, the address and the sound.
    auto *otherBox = new QGroupBox(this);
    auto *otherGrid = new QGridLayout(otherBox);
    txtSongRepository = addField(*otherGrid, 0, QStringLiteral("Download Dir"), otherBox);
    cmdBrowseFolder = new QPushButton(QStringLiteral("&Browse"), otherBox);
    otherGrid->addWidget(cmdBrowseFolder, 0, 2);
    txtEmail = addField(*otherGrid, 1, QStringLiteral("My Email"), otherBox);
    txtEmail->setText(QStringLiteral("(my email)"));
    chkPlaySound = new QCheckBox(QStringLiteral("Play sound when tasks are completed"), otherBox);
    otherGrid->addWidget(chkPlaySound, 2, 0, 1, 3);
    auto *depthRow = new QHBoxLayout;
    auto *depthCaption = new QLabel(QStringLiteral("Search the &newest"), otherBox);
    txtSearchDepth = new QLineEdit(otherBox);
    txtSearchDepth->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("\\s*\\d{0,18}\\s*")), txtSearchDepth));
    txtSearchDepth->setMaximumWidth(100);
    depthCaption->setBuddy(txtSearchDepth);
    depthRow->addWidget(depthCaption);
    depthRow->addWidget(txtSearchDepth);
    depthRow->addWidget(new QLabel(QStringLiteral("articles of each group (0 = all)"), otherBox), 1);
    otherGrid->addLayout(depthRow, 3, 0, 1, 3);
    chkCompressOverviews = new QCheckBox(QStringLiteral("Compress overviews when the server offers it"), otherBox);
    otherGrid->addWidget(chkCompressOverviews, 4, 0, 1, 3);

    // The buttons.
    cmdReset = new QPushButton(QStringLiteral("Reset &Newsgroups"), this);
    cmdHelp = new QPushButton(QStringLiteral("&Help"), this);
    cmdOK = new QPushButton(QStringLiteral("OK"), this);
    cmdCancel = new QPushButton(QStringLiteral("Cancel"), this);
    cmdOK->setDefault(true);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(cmdReset);
    buttons->addWidget(cmdHelp);
    buttons->addStretch(1);
    buttons->addWidget(cmdOK);
    buttons->addWidget(cmdCancel);

    // The fields scroll when the form is taller than the screen (large type, a high scale
    // factor); the buttons stay below them, always on the screen.
    auto *fields = new QWidget;
    auto *fieldColumn = new QVBoxLayout(fields);
    fieldColumn->setContentsMargins(0, 0, 0, 0);
    fieldColumn->addWidget(serverBox);
    fieldColumn->addLayout(middle);
    fieldColumn->addWidget(fraBackup);
    fieldColumn->addWidget(otherBox);
    fieldsArea_ = new QScrollArea(this);
    fieldsArea_->setWidget(fields);
    fieldsArea_->setWidgetResizable(true);
    fieldsArea_->setFrameShape(QFrame::NoFrame);
    auto *column = new QVBoxLayout(this);
    column->addWidget(fieldsArea_);
    column->addSpacing(6);
    column->addLayout(buttons);
    setMinimumWidth(560);

    const std::pair<QWidget *, const char *> named[] = {{txtServerName, "txtServerName"},
                                                        {txtPortNumber, "txtPortNumber"},
                                                        {chkUseTLS, "chkUseTLS"},
                                                        {cmdTLSCAFile, "cmdTLSCAFile"},
                                                        {txtTLSCAFile, "txtTLSCAFile"},
                                                        {lblComment, "lblComment"},
                                                        {txtUserID, "txtUserID"},
                                                        {txtPassword, "txtPassword"},
                                                        {txtSongRepository, "txtSongRepository"},
                                                        {txtEmail, "txtEmail"},
                                                        {chkPlaySound, "chkPlaySound"},
                                                        {txtSearchDepth, "txtSearchDepth"},
                                                        {chkCompressOverviews, "chkCompressOverviews"},
                                                        {txtConnections, "txtConnections"},
                                                        {fraBackup, "fraBackup"},
                                                        {txtBackupServer, "txtBackupServer"},
                                                        {txtBackupPort, "txtBackupPort"},
                                                        {chkBackupTLS, "chkBackupTLS"},
                                                        {txtBackupUser, "txtBackupUser"},
                                                        {txtBackupPassword, "txtBackupPassword"},
                                                        {cmdBrowseFolder, "cmdBrowseFolder"},
                                                        {cmdReset, "cmdReset"},
                                                        {cmdHelp, "cmdHelp"},
                                                        {cmdOK, "cmdOK"},
                                                        {cmdCancel, "cmdCancel"}};
    for (const auto &[control, name] : named) control->setObjectName(QString::fromLatin1(name));

    connect(cmdOK, &QPushButton::clicked, this, &frmOptions::cmdOK_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &frmOptions::cmdCancel_Click);
    connect(cmdReset, &QPushButton::clicked, this, &frmOptions::askAndResetCatalogue);
    connect(cmdBrowseFolder, &QPushButton::clicked, this, &frmOptions::cmdBrowseFolder_Click);
    connect(cmdTLSCAFile, &QPushButton::clicked, this, &frmOptions::cmdTLSCAFile_Click);
    connect(cmdHelp, &QPushButton::clicked, this, &frmOptions::cmdHelp_Click);
    // Only the user's click moves the port, never the load of the stored setting.
    connect(chkUseTLS, &QCheckBox::clicked, this, &frmOptions::chkUseTLS_Click);
    connect(chkBackupTLS, &QCheckBox::clicked, this, &frmOptions::chkBackupTLS_Click);

    Form_Load();
}

frmOptions::~frmOptions() = default;

void frmOptions::fitToScreen() {
    const QScreen *screen = QGuiApplication::primaryScreen();
    const QSize wanted = fieldsArea_->widget()->sizeHint();
    int height = wanted.height();
    int width = wanted.width();
    QRect area;
    if (screen) {
        area = screen->availableGeometry();
        // Besides the fields: the margins, the buttons and a title bar.
        const int others = sizeHint().height() - fieldsArea_->sizeHint().height() + 2 * fontMetrics().height();
        const int room = std::max(area.height() - others, 4 * fontMetrics().height());
        if (height > room) {
            height = room;
            width += style()->pixelMetric(QStyle::PM_ScrollBarExtent);
        }
    }
    // A screen narrower than the fields scrolls them sideways too.
    const int margins = sizeHint().width() - fieldsArea_->sizeHint().width();
    if (screen && width > area.width() - margins) {
        width = area.width() - margins;
        height = std::max(height - style()->pixelMetric(QStyle::PM_ScrollBarExtent), 4 * fontMetrics().height());
    }
    fieldsArea_->setMinimumSize(width, height);
    adjustSize();
    if (screen) {
        // Centred, with the title bar on the screen.
        const QPoint centred = area.center() - rect().center();
        move(std::max(centred.x(), area.left()), std::max(centred.y(), area.top() + fontMetrics().height()));
    }
}

void frmOptions::Form_Load() {
    fitToScreen();

    Settings.Server = trimBlanks(Settings.Server.text());
    txtServerName->setText(Settings.Server);
    // A stored port the form cannot show (0 or beyond 65535) shows as the usual one.
    txtPortNumber->setValue(Settings.Port >= kLowestPort && Settings.Port <= kHighestPort ? Settings.Port
                                                                                         : kPlainNntpPort);
    chkUseTLS->setChecked(Settings.UseTLS);
    txtTLSCAFile->setText(trimBlanks(Settings.TLSCAFile));
    chkPlaySound->setChecked(Settings.PlaySounds);
    txtSongRepository->setText(trimBlanks(Settings.SaveDir.text()));
    txtUserID->setText(trimBlanks(Settings.UserName.text()));
    txtPassword->setText(trimBlanks(Settings.Password.text()));
    txtSearchDepth->setText(QString::number(Settings.SearchDepth));
    chkCompressOverviews->setChecked(Settings.CompressOverviews);
    txtConnections->setValue(Settings.Connections);
    txtBackupServer->setText(trimBlanks(Settings.BackupServer.text()));
    txtBackupPort->setValue(Settings.BackupPort >= kLowestPort && Settings.BackupPort <= kHighestPort
                                ? Settings.BackupPort
                                : kPlainNntpPort);
    chkBackupTLS->setChecked(Settings.BackupTLS);
    txtBackupUser->setText(trimBlanks(Settings.BackupUser.text()));
    txtBackupPassword->setText(trimBlanks(Settings.BackupPassword.text()));

    bStartupCheck = false;

    const QString speed = trimBlanks(Settings.ConnectSpeed.text());
    for (std::size_t index = 0; index < SpeedChoices.size(); ++index) {
        if (speed == QLatin1String(SpeedChoices[index].value)) {
            optConnectSpeeds[index]->setChecked(true);
            break;
        }
    }

    txtEmail->setText(trimBlanks(Settings.PostEmail.text()));
}

void frmOptions::cmdOK_Click() {
    // A Download Dir that names a file can take no songs: the form stays open on that field.
    const QString folder = trimBlanks(txtSongRepository->text());
    if (!folder.isEmpty() && QFileInfo(folder).exists() && !QFileInfo(folder).isDir()) {
        platform().messageBox(this, downloadDirIsAFileText(folder), BoxIcon::Warning);
        txtSongRepository->setFocus();
        txtSongRepository->selectAll();
        return;
    }
    BusyCursor busy;
    bCancelled = false;
    bool resetGroups = false;

    Settings.Server = trimBlanks(Settings.Server.text());
    // Blanks around a host name mean nothing; letter case is compared as typed. Switching
    // encryption on or off may reach another server of the provider, so it counts as a change.
    if (trimBlanks(txtServerName->text()) != Settings.Server.text() || chkUseTLS->isChecked() != Settings.UseTLS) {
        bServerChanged = true;
        if (!bStartupCheck) {
            QApplication::restoreOverrideCursor();
            const bool confirmed = platform().askOkCancel(this, kServerChangedQuestion);
            QApplication::setOverrideCursor(Qt::WaitCursor);
            if (!confirmed) return;
            resetGroups = true;
        }
    } else {
        bServerChanged = false;
    }

    storeFields();

    if (!bStartupCheck && !resetGroups) {
        QString errorText;
        const bool accepted = CheckServerSettings(errorText);
        if (!accepted || !errorText.isEmpty()) {
            // A text with a passed check is a warning about the backup server alone.
            QApplication::restoreOverrideCursor();
            platform().messageBox(this, accepted ? QStringLiteral("Warning - ") + errorText : ServerErrorText(errorText),
                                  accepted ? BoxIcon::Warning : BoxIcon::Information);
            QApplication::setOverrideCursor(Qt::WaitCursor);
        }
    }
    if (resetGroups) cmdReset_Click();
    accept();
}

void frmOptions::storeFields() {
    Settings.Server = txtServerName->text();
    Settings.Port = txtPortNumber->value();
    Settings.UseTLS = chkUseTLS->isChecked();
    Settings.TLSCAFile = trimBlanks(txtTLSCAFile->text());
    Settings.UserName = trimBlanks(txtUserID->text());
    Settings.Password = trimBlanks(txtPassword->text());
    Settings.SaveDir = txtSongRepository->text();
    Settings.PostEmail = trimBlanks(txtEmail->text());
    WriteRegValue(QString(), QStringLiteral("PostEmail"), Settings.PostEmail);
    Settings.PlaySounds = chkPlaySound->isChecked();
    // A text that is no whole number keeps the depth in force.
    Settings.SearchDepth = searchDepthFromText(txtSearchDepth->text()).value_or(Settings.SearchDepth);
    Settings.CompressOverviews = chkCompressOverviews->isChecked();
    Settings.Connections = txtConnections->value();
    Settings.BackupServer = trimBlanks(txtBackupServer->text());
    Settings.BackupPort = txtBackupPort->value();
    Settings.BackupTLS = chkBackupTLS->isChecked();
    Settings.BackupUser = trimBlanks(txtBackupUser->text());
    Settings.BackupPassword = trimBlanks(txtBackupPassword->text());
    for (std::size_t index = 0; index < SpeedChoices.size(); ++index) {
        if (optConnectSpeeds[index]->isChecked()) {
            Settings.ConnectSpeed = QString::fromLatin1(SpeedChoices[index].value);
            break;
        }
    }
}

void frmOptions::cmdCancel_Click() {
    bCancelled = true;
    QDialog::reject();
}

void frmOptions::reject() { cmdCancel_Click(); }

void frmOptions::cmdReset_Click() {
    // This form is unloaded by the reset. It leaves the loaded slot now, so that a server check
    // inside the reset that needs the options form gets a fresh one instead of this one, which
    // is still on the call stack.
    if (loadedForm == this) loadedForm = nullptr;

    ResetCatalogue();
    EmptyOverviewCache();
    Settings.Server = txtServerName->text();
    Settings.Port = txtPortNumber->value();
    Settings.UseTLS = chkUseTLS->isChecked();
    emit catalogueResetStarting();
    hide();

    emit startupCheckRequested();
    if (QuitRequested) return;
    emit catalogueResetFinished();
    deleteLater();
}

void frmOptions::askAndResetCatalogue() {
    if (!platform().askOkCancel(this, kResetQuestion)) return;
    // The form is rebuilt from the settings after the reset: what the user typed is kept there.
    storeFields();
    cmdReset_Click();
}

void frmOptions::cmdBrowseFolder_Click() {
    const QString path = PickFolder();
    if (!path.isEmpty()) txtSongRepository->setText(path);
}

void frmOptions::cmdTLSCAFile_Click() {
    const QString path = platform().pickFile(this, kTrustedCertificatesPrompt, kCertificateFilter);
    if (!path.isEmpty()) txtTLSCAFile->setText(path);
}

void frmOptions::chkUseTLS_Click() {
    const int port = txtPortNumber->value();
    if (chkUseTLS->isChecked() && port == kPlainNntpPort)
        txtPortNumber->setValue(kTlsNntpPort);
    else if (!chkUseTLS->isChecked() && port == kTlsNntpPort)
        txtPortNumber->setValue(kPlainNntpPort);
}

void frmOptions::chkBackupTLS_Click() {
    const int port = txtBackupPort->value();
    if (chkBackupTLS->isChecked() && port == kPlainNntpPort)
        txtBackupPort->setValue(kTlsNntpPort);
    else if (!chkBackupTLS->isChecked() && port == kTlsNntpPort)
        txtBackupPort->setValue(kPlainNntpPort);
}

QString frmOptions::PickFolder() {
    // The browser opens where the songs go now: the folder in the box, else the default one.
    QString current = trimBlanks(txtSongRepository->text());
    if (current.isEmpty()) current = defaultSaveFolder();
    return platform().pickFolder(this, kFolderPrompt, current);
}

void frmOptions::cmdHelp_Click() {
    if (TipCountdown < 0) TipCountdown = kTipTicks;
    ShowMessage(QStringLiteral("faq23"));
    platform().documentOpen(this, kHelpAddress);
}

frmOptions &loadOptionsForm(QWidget &owner) {
    if (!loadedForm) loadedForm = new frmOptions(&owner);
    return *loadedForm;
}

void unloadOptionsForm() {
    if (!loadedForm) return;
    frmOptions *form = loadedForm;
    loadedForm = nullptr;
    form->hide();
    // Later, not now: the caller may still be inside one of the form's own handlers.
    form->deleteLater();
}

frmOptions *loadedOptionsForm() { return loadedForm; }

}  // namespace harbeat
