// frmPost, the request form: the user types a subject (song title and artist), a message and an
// e-mail address, and the form posts a request article with the program's signature to the
// request newsgroup.
#pragma once

#include <QDialog>
#include <QString>

class QComboBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace harbeat {

// The newsgroup every request is posted to.
inline const QString kRequestGroup = QStringLiteral("alt.binaries.sounds.mp3.requests");
// The subject a fresh form shows, selected so that typing replaces it.
inline const QString kInitialSubject = QStringLiteral("<Enter Song Title and Artist's Name>");

// The text appended to every request's message.
QString RequestSignature();

class frmPost final : public QDialog {
    Q_OBJECT
public:
    explicit frmPost(QWidget *parent = nullptr);
    ~frmPost() override;

    // The controls.
    QLineEdit *txtSubject;
    QPlainTextEdit *txtBody;
    QLineEdit *txtEmail;
    QComboBox *cboGroup;
    QPushButton *cmdOK;    // "&Request Song Now"
    QPushButton *cmdQuit;  // "&Cancel Request"

    void cmdOK_Click();
    void cmdQuit_Click();

signals:
    // A text for the owner's status line: after a failed post, the engine's last report.
    void statusText(const QString &text);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
};

}  // namespace harbeat
