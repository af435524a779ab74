#include "catalogue/group_category.h"

#include <QStringList>

namespace harbeat {

QString RemoveAll(QString text, const QString &find) {
    if (find.isEmpty()) return text;
    for (qsizetype at = text.indexOf(find); at >= 0; at = text.indexOf(find)) text.remove(at, find.size());
    return text;
}

QString GroupCategory(const QString &name) {
    // Stripping the usual name parts leaves the distinctive word: alt.binaries.sounds.mp3.1950s
    // leaves "1950s", alt.binaries.music.heavy-metal leaves "heavy-metal". "sounds" goes before
    // "sound", or "sounds" would leave a stray "s".
    static const QStringList kRemovedParts = {
        QStringLiteral("alt"),     QStringLiteral("sounds"), QStringLiteral("sound"),
        QStringLiteral("mp3"),     QStringLiteral("music"),  QStringLiteral("binaries"),
        QStringLiteral("utility"), QStringLiteral("fido7"),  QStringLiteral(".")};
    static const QStringList kPlainCategories = {
        QStringLiteral("1940s"),   QStringLiteral("1950s"), QStringLiteral("1960s"),    QStringLiteral("1970s"),
        QStringLiteral("1980s"),   QStringLiteral("1990s"), QStringLiteral("beatles"),  QStringLiteral("comedy"),
        QStringLiteral("country"), QStringLiteral("jazz"),  QStringLiteral("classical")};

    QString rest = name;
    for (const QString &part : kRemovedParts) rest = RemoveAll(rest, part);

    if (name == u"alt.binaries.sounds.mp3") return QStringLiteral("assorted");
    if (name == u"alt.binaries.sounds.radio.oldtime") return QStringLiteral("oldtime radio");
    if (rest == u"bootlegs") return QStringLiteral("rare");
    if (rest == u"heavy-metal") return QStringLiteral("heavy metal");
    if (rest == u"video-games") return QStringLiteral("video games");
    if (kPlainCategories.contains(rest)) return rest;
    return QStringLiteral("*");
}

}  // namespace harbeat
