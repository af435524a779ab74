#include "platform/qt_platform.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QMessageBox>
#include <QThread>
#include <QUrl>
#include <QWidget>
#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "platform/product.h"

namespace harbeat {
namespace {

// The program's texts break lines with CR LF; a Qt label shows a CR as a character of its own.
QString displayed(QString text) { return text.replace(QStringLiteral("\r\n"), QStringLiteral("\n")); }

}  // namespace

void QtPlatform::messageBox(QWidget *owner, const QString &text, BoxIcon icon) {
    if (icon == BoxIcon::Warning)
        QMessageBox::warning(owner, kProductName, displayed(text), QMessageBox::Ok);
    else
        QMessageBox::information(owner, kProductName, displayed(text), QMessageBox::Ok);
}

bool QtPlatform::askOkCancel(QWidget *owner, const QString &text) {
    return QMessageBox::question(owner, kProductName, displayed(text), QMessageBox::Ok | QMessageBox::Cancel,
                                 QMessageBox::Ok) == QMessageBox::Ok;
}

void QtPlatform::beep() { QApplication::beep(); }

bool QtPlatform::documentOpen(QWidget *, const QString &target) {
    // A text with a scheme of two or more letters is a web address; anything else is a file
    // (a one-letter "scheme" would be a drive letter).
    const QUrl url(target, QUrl::StrictMode);
    if (url.isValid() && url.scheme().size() > 1) return QDesktopServices::openUrl(url);
    return QDesktopServices::openUrl(QUrl::fromLocalFile(target));
}

QString QtPlatform::pickFolder(QWidget *owner, const QString &prompt, const QString &startFolder) {
    return QFileDialog::getExistingDirectory(owner, prompt, startFolder, QFileDialog::ShowDirsOnly);
}

QString QtPlatform::pickFile(QWidget *owner, const QString &prompt, const QString &filter) {
    return QFileDialog::getOpenFileName(owner, prompt, QString(), filter);
}

void QtPlatform::pause(int milliseconds, QWidget *keepVisible) {
    if (keepVisible) keepVisible->window()->repaint();
    QThread::msleep(static_cast<unsigned long>(std::max(milliseconds, 0)));
}

void prepareApplication() { QCoreApplication::setApplicationName(QStringLiteral("harbeat")); }

void QtPlatform::endProgram() {
    // At once, as the user asked: settings already written stay written; the engine's worker
    // threads end with the process.
    std::fflush(nullptr);
    std::_Exit(0);
}

}  // namespace harbeat
