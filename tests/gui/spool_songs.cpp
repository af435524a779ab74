#include "spool_songs.h"

#include <QDir>
#include <QFile>
#include <QList>
#include <QRegularExpression>
#include <algorithm>
#include <vector>

namespace harbeat::guitest {
namespace {

QByteArray uudecodeLine(const QByteArray &line) {
    QByteArray bytes;
    const int count = (line.at(0) - 32) & 63;
    auto sextet = [&line](qsizetype at) { return at < line.size() ? (line.at(at) - 32) & 63 : 0; };
    for (qsizetype at = 1; bytes.size() < count; at += 4) {
        const int a = sextet(at), b = sextet(at + 1), c = sextet(at + 2), d = sextet(at + 3);
        for (const int byte : {a << 2 | b >> 4, (b << 4 | c >> 2) & 0xff, (c << 6 | d) & 0xff})
            if (bytes.size() < count) bytes.append(char(byte));
    }
    return bytes;
}

struct Post {
    int part = 0;
    int parts = 0;
    QList<QByteArray> body;
};

}  // namespace

std::map<QString, QByteArray> postedSongFiles(const QString &groupFolder) {
    static const QRegularExpression marker(QStringLiteral("\\s*[(\\[](\\d+)/(\\d+)[)\\]]\\s*$"));
    std::map<QString, QByteArray> files;
    std::map<QString, std::vector<Post>> uuSongs;
    for (const QFileInfo &entry : QDir(groupFolder).entryInfoList(QDir::Files)) {
        QFile file(entry.filePath());
        if (!file.open(QIODevice::ReadOnly)) continue;
        QList<QByteArray> lines = file.readAll().split('\n');
        for (QByteArray &line : lines)
            if (line.endsWith('\r')) line.chop(1);
        const qsizetype blank = lines.indexOf(QByteArray());
        QString subject;
        for (qsizetype i = 0; i < blank; ++i)
            if (lines[i].startsWith("Subject: ")) subject = QString::fromLatin1(lines[i].mid(9));
        const QRegularExpressionMatch match = marker.match(subject);
        const QList<QByteArray> body = lines.mid(blank + 1);

        const qsizetype attachment = body.indexOf(QByteArray("Content-Transfer-Encoding: base64"));
        if (attachment >= 0) {
            QString name;
            QByteArray encoded;
            qsizetype i = attachment;
            for (; i < body.size() && !body[i].isEmpty(); ++i)
                if (const qsizetype at = body[i].indexOf("filename=\""); at >= 0)
                    name = QString::fromLatin1(body[i].mid(at + 10).chopped(1));
            for (++i; i < body.size() && !body[i].startsWith("--"); ++i) encoded += body[i];
            files[name] = QByteArray::fromBase64(encoded);
        } else if (match.hasMatch()) {
            uuSongs[subject.left(match.capturedStart())].push_back(
                {match.captured(1).toInt(), match.captured(2).toInt(), body});
        }
    }
    for (auto &[key, posts] : uuSongs) {
        std::sort(posts.begin(), posts.end(), [](const Post &a, const Post &b) { return a.part < b.part; });
        if (int(posts.size()) != posts.front().parts) continue;  // a part is missing
        QString name;
        QByteArray bytes;
        bool inside = false;
        for (const Post &post : posts) {
            for (const QByteArray &line : post.body) {
                if (line.startsWith("begin ")) {
                    name = QString::fromLatin1(line.mid(line.indexOf(' ', 6) + 1));
                    inside = true;
                } else if (line == "end") {
                    inside = false;
                } else if (inside && !line.isEmpty()) {
                    bytes += uudecodeLine(line);
                }
            }
        }
        files[name] = bytes;
    }
    return files;
}

}  // namespace harbeat::guitest
