// frmOptions, the dialog in which the user edits the settings: news server, port, login,
// download folder, connection speed, e-mail address and sounds; it also offers the catalogue
// reset, a folder picker and help. OK and Cancel only hide it: between uses from the main window
// it stays loaded and hidden, so reopening it shows the fields as they were left.
#pragma once

#include <QDialog>
#include <QString>
#include <array>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QScrollArea;
class QSpinBox;

namespace harbeat {

// The connection speeds the form offers: caption and the value stored as ConnectSpeed.
struct SpeedChoice {
    const char *caption;
    const char *value;
};
inline constexpr std::array<SpeedChoice, 6> SpeedChoices{{{"28.8K Modem", "28800"},
                                                          {"56K Modem", "56000"},
                                                          {"64K ISDN", "64000"},
                                                          {"128K ISDN", "128000"},
                                                          {"Cable Modem", "500000"},
                                                          {"T1 Line", "1000000"}}};
// The option selected when the stored speed matches none ("Cable Modem").
inline constexpr int kDesignSpeedIndex = 4;

class frmOptions final : public QDialog {
    Q_OBJECT
public:
    // Builds the form and fills it from Settings (the form's load).
    explicit frmOptions(QWidget *parent = nullptr);
    ~frmOptions() override;

    // The controls.
    QLineEdit *txtServerName;
    QSpinBox *txtPortNumber;  // 1 to 65535
    QCheckBox *chkUseTLS;  // "Use an encrypted connection (SSL/TLS)"
    // Under it: the file of certificates trusted besides the system's, chosen with the button.
    QPushButton *cmdTLSCAFile;  // "Trusted certificates file..."
    QLineEdit *txtTLSCAFile;
    QLabel *lblComment;
    QGroupBox *fraConnectSpeed;  // "Connection Speed:"
    std::array<QRadioButton *, 6> optConnectSpeeds;
    QGroupBox *fraLogin;  // "Login Information (If required by your ISP):"
    QLineEdit *txtUserID;
    QLineEdit *txtPassword;
    QLineEdit *txtSongRepository;
    QPushButton *cmdBrowseFolder;
    QLineEdit *txtEmail;
    QCheckBox *chkPlaySound;
    QSpinBox *txtConnections;  // "Connections" [8], beside the port: 1 to 50
    QLineEdit *txtSearchDepth;  // "Search the newest" [N] "articles of each group (0 = all)": digits only
    QCheckBox *chkCompressOverviews;  // "Compress overviews when the server offers it"
    // "Backup server (used only for articles the main server does not have)"
    QGroupBox *fraBackup;
    QLineEdit *txtBackupServer;
    QSpinBox *txtBackupPort;  // 1 to 65535
    QCheckBox *chkBackupTLS;
    QLineEdit *txtBackupUser;
    QLineEdit *txtBackupPassword;
    QPushButton *cmdReset;
    QPushButton *cmdHelp;
    QPushButton *cmdOK;
    QPushButton *cmdCancel;

    // Cancel closed the form (false again at the start of OK).
    bool bCancelled = false;
    // OK found a server name different from the stored one.
    bool bServerChanged = false;
    // The form was opened by the start-up server check: OK only stores the fields.
    bool bStartupCheck = false;

    void cmdOK_Click();
    void cmdCancel_Click();
    // The catalogue reset: rebuilds the catalogue from the server's complete list.
    void cmdReset_Click();
    // The "Reset Newsgroups" button: asks first, then keeps the form's other edits and resets.
    void askAndResetCatalogue();
    void cmdBrowseFolder_Click();
    void cmdHelp_Click();
    // Ticking the box moves the usual plain port 119 to the usual encrypted port 563, unticking
    // moves 563 back to 119; any other port is the user's own choice and stays.
    void chkUseTLS_Click();
    // The same for the backup server's box and port.
    void chkBackupTLS_Click();
    // The folder browser; the chosen folder, or "" when the user cancelled.
    QString PickFolder();
    // The file chooser of "Trusted certificates file...": a chosen file goes into the field.
    void cmdTLSCAFile_Click();

signals:
    // The catalogue reset asks its owner, in this order: to step aside (the owner hides), to run
    // the start-up check again (the owner returns once it is over or the program is ending), and
    // unless the program is ending, to show the rebuilt catalogue (the owner shows itself again).
    void catalogueResetStarting();
    void startupCheckRequested();
    void catalogueResetFinished();

protected:
    // Closing the window with its title-bar button counts as Cancel.
    void reject() override;

private:
    void Form_Load();
    // Sizes the form to its fields, or to the screen when they are taller, and centres it there.
    void fitToScreen();
    QScrollArea *fieldsArea_ = nullptr;
    void storeFields();
};

// The options form: loads it as a child of `owner` if it is not loaded, and returns it. The
// owner connects to the signals of a form it loads.
frmOptions &loadOptionsForm(QWidget &owner);
// Unloads the options form, if it is loaded.
void unloadOptionsForm();
// The loaded options form, or null.
frmOptions *loadedOptionsForm();

}  // namespace harbeat
