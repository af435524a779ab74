// The check of the news server settings: hands the settings in memory to the engine, which
// connects, logs in and answers whether the server can be used. Used by the start-up form and by
// the options form's OK.
#pragma once

#include <QString>
#include <functional>

namespace harbeat {

// Trims Server, UserName, Password and ConnectSpeed in Settings, then lets the engine check
// them (it blocks until the check is over). True when the engine accepted them; otherwise
// `errorText` holds the engine's message.
bool CheckServerSettings(QString &errorText);
// The same check, run on a worker thread while `whileWaiting` is called again and again on the
// calling thread (to keep a window drawn and its links working), until the engine answered.
//
// One check at a time: the engine's settings are the check's until it answered, so a check
// asked for while another one runs (from an event handled while the first one waits) is refused
// with kCheckRunningText and changes nothing.
bool CheckServerSettings(QString &errorText, const std::function<void()> &whileWaiting);
// A check is running (its caller waits for it, handling events meanwhile).
bool ServerCheckRunning();
// The error text of a check refused because another one runs.
inline const QString kCheckRunningText =
    QStringLiteral("The news server is being checked already; try again once the check is over.");

// The box shown when the server wants a login (480) or refused the one given (502).
QString LoginRequiredText();
// What follows "Error - " and the message when the server could not be reached or used.
QString ConnectionFailedText();

// The Options button that chooses the file of certificates trusted besides the system's.
inline const QString kTrustedCertificatesCaption = QStringLiteral("Trusted certificates file...");
// The group every check selects; a server that refuses it is named with it.
inline const QString kCheckedGroup = QStringLiteral("alt.binaries.sounds.mp3");

// The engine's message of a failed check or operation as the user reads it: a refused group
// (411) is named.
QString ServerErrorText(const QString &errorText);
// What follows "Error - " and the message, chosen by the failure: certificates after a
// certificate or encryption error, the encrypted port after a plain connection to port 563 that
// got no answer or no text, the missing group after a 411, else ConnectionFailedText().
QString ServerProblemText(const QString &errorText);
// A failure that trying the same settings again cannot mend: a plain connection to the
// encrypted port 563.
bool PlainConnectionToEncryptedPort(const QString &errorText);

}  // namespace harbeat
