// frmSplash, the start-up form: shown before the main window while the settings are loaded, the
// news server is checked (with the options form until the server answers or the user gives up)
// and the newsgroup catalogue is brought up to date once a day. The options form's catalogue
// reset uses it too, to rebuild the catalogue.
#pragma once

#include <QString>
#include <QWidget>

class QLabel;
class QTimer;

namespace harbeat {

class SplashOwner;

// The text written into EndSlot when the user quits from the start-up form; no error box is
// shown for it.
inline const QString kQuitMarker = QStringLiteral("CLOSE IT ALL DOWN NOW!");

class frmSplash final : public QWidget {
    Q_OBJECT
public:
    explicit frmSplash(SplashOwner &owner, QWidget *parent = nullptr);
    ~frmSplash() override;

    // The controls.
    QLabel *Image1;     // the start-up picture, 400 x 300
    QLabel *Label1;     // the current step
    QLabel *lblStatus;  // list-update progress
    QLabel *Label3;     // the "Options..." link
    QLabel *Label2;     // the "Exit..." link
    QTimer *Timer1;     // 500 ms, consumes the reports of the list update

    // The start-up work is finished; the caller may go on.
    bool bDone = false;

    // The start-up work. bResetGroups true rebuilds the catalogue with the settings already in
    // memory (the options form's reset); false is the normal start, which loads the settings.
    // A run-time error shows an "Error - " box and leaves the form up with its two links.
    void Run(bool bResetGroups = false);
    // The server check with its options loop. Returns once the engine accepted the server
    // settings; ends the program when the user cancels the options form.
    void SetupNNTPConfig();

    // One tick of Timer1.
    void Timer1_Timer();
    // The "Options..." link. During the server check it ends the check, and the options form
    // opens once the check has returned.
    void Label3_Click();
    // The "Exit..." link.
    void Label2_Click();

private:
    void RunSteps(bool bResetGroups);
    void startListUpdate();
    void setListUpdateRunning(bool running);
    void repaintNow();

    SplashOwner &owner_;
    // The server check runs: "Options..." interrupts it instead of opening the form inside it.
    bool checking_ = false;
    // "Options..." was used during the check: the options form follows it without error boxes.
    bool optionsRequested_ = false;
    // Today's local date as "YYMMDD", taken when Run starts.
    QString today_;
};

// Today's local date as "YYMMDD".
QString TodayText();

}  // namespace harbeat
