#include "request/frm_post.h"

#include <QComboBox>
#include <QEvent>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <array>

#include "engine/engine_binding.h"
#include "notify/notify_slots.h"
#include "platform/platform.h"
#include "platform/product.h"
#include "settings/registry.h"
#include "settings/settings.h"
#include "text/value_text.h"

namespace harbeat {
namespace {

const QString kCrLf = QStringLiteral("\r\n");
const QString kNoAddress = QStringLiteral("You must give your email address in the message.");
const QString kNoSubject = QStringLiteral("Please enter the song title and the artist's name as the subject.");
const QString kPosted = QStringLiteral("Your request was posted to ") + kRequestGroup + QStringLiteral(".");

}  // namespace

QString RequestSignature() {
    return kCrLf + kCrLf + QStringLiteral("This song request was posted by Harbeat") + kCrLf +
           QStringLiteral("Found @ ") + kVendorAddress + QStringLiteral(" (Try it FREE today!)") + kCrLf;
}

frmPost::frmPost(QWidget *parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("HARBEAT: Request a Song"));
    setObjectName(QStringLiteral("frmPost"));

    txtSubject = new QLineEdit(kInitialSubject, this);
    txtBody = new QPlainTextEdit(this);
    txtEmail = new QLineEdit(this);
    cboGroup = new QComboBox(this);
    cmdOK = new QPushButton(QStringLiteral("&Request Song Now"), this);
    cmdQuit = new QPushButton(QStringLiteral("&Cancel Request"), this);
    cmdOK->setDefault(true);

    auto *fields = new QFormLayout;
    fields->addRow(QStringLiteral("Subject:"), txtSubject);
    fields->addRow(QStringLiteral("Message:"), txtBody);
    fields->addRow(QStringLiteral("My Email:"), txtEmail);
    fields->addRow(QStringLiteral("Group:"), cboGroup);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(cmdOK);
    buttons->addWidget(cmdQuit);

    auto *column = new QVBoxLayout(this);
    column->addLayout(fields, 1);
    column->addLayout(buttons);
    resize(520, 360);

    setTabOrder(txtSubject, txtBody);
    setTabOrder(txtBody, txtEmail);
    setTabOrder(txtEmail, cboGroup);
    setTabOrder(cboGroup, cmdOK);
    setTabOrder(cmdOK, cmdQuit);
    // Tab moves on from the message instead of typing a tab into it.
    txtBody->setTabChangesFocus(true);

    connect(cmdOK, &QPushButton::clicked, this, &frmPost::cmdOK_Click);
    connect(cmdQuit, &QPushButton::clicked, this, &frmPost::cmdQuit_Click);

    // The form's load.
    cboGroup->addItem(kRequestGroup);
    cboGroup->setCurrentIndex(0);
    txtSubject->setEnabled(true);
    txtEmail->setText(trimBlanks(Settings.PostEmail.text()));
    // The subject gets the focus first; its whole text is then selected, so typing replaces it.
    txtSubject->installEventFilter(this);
    txtSubject->setFocus();
    txtSubject->selectAll();
}

frmPost::~frmPost() = default;

bool frmPost::eventFilter(QObject *watched, QEvent *event) {
    if (watched == txtSubject && event->type() == QEvent::FocusIn) {
        // After the line edit's own focus handling, which may move or clear the selection.
        QMetaObject::invokeMethod(txtSubject, &QLineEdit::selectAll, Qt::QueuedConnection);
    }
    return QDialog::eventFilter(watched, event);
}

void frmPost::cmdOK_Click() {
    txtEmail->setText(trimBlanks(txtEmail->text()));
    if (txtEmail->text().isEmpty()) {
        platform().beep();
        platform().messageBox(this, kNoAddress, BoxIcon::Information);
        return;
    }
    // The placeholder is no subject: posting it would ask for a song called "<Enter Song ...>".
    const QString subject = trimBlanks(txtSubject->text());
    if (subject.isEmpty() || subject == kInitialSubject) {
        platform().beep();
        platform().messageBox(this, kNoSubject, BoxIcon::Information);
        txtSubject->setFocus();
        txtSubject->selectAll();
        return;
    }
    // Only a request that is sent keeps its address; a refused one leaves the stored address as
    // it was, so that a Cancel after it changes nothing.
    Settings.PostEmail = txtEmail->text();

    // The box keeps its lines apart with LF; the article's lines end with CR LF, as the
    // signature's do. The signature is shown in the box too, so the user sees what is posted.
    QString message = txtBody->toPlainText();
    message.replace(QLatin1Char('\n'), kCrLf);
    message += RequestSignature();
    txtBody->setPlainText(QString(message).replace(kCrLf, QStringLiteral("\n")));

    std::array<char, engine::kErrorTextSize> errorText{};
    const QByteArray body = engine::toEngineText(message);
    const int32_t posted =
        engine::mp3PostAritcle(errorText.data(), engine::toEngineText(txtEmail->text()).constData(),
                               engine::toEngineText(kRequestGroup).constData(),
                               engine::toEngineText(txtSubject->text()).constData(), body.constData());
    if (posted == 0) {
        emit statusText(notifySlots().text(NotifySlot::EndSlot));
        platform().beep();
    }
    const QString failure = engine::fromEngineText(errorText.data());
    if (!failure.isEmpty())
        platform().messageBox(this, failure, BoxIcon::Information);
    else if (posted != 0)
        platform().messageBox(this, kPosted, BoxIcon::Information);

    Settings.PostEmail = trimBlanks(Settings.PostEmail.text());
    WriteRegValue(QString(), QStringLiteral("PostEmail"), Settings.PostEmail);
    accept();
}

void frmPost::cmdQuit_Click() { reject(); }

}  // namespace harbeat
