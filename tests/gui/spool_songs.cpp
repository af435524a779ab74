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

// The value of "key=" on a yEnc keyword line ("name=" runs to the end of the line).
QByteArray yencValue(const QByteArray &line, const QByteArray &key) {
    const qsizetype at = line.indexOf(" " + key + "=");
    if (at < 0) return {};
    const qsizetype start = at + key.size() + 2;
    if (key == "name") return line.mid(start);
    const qsizetype end = line.indexOf(' ', start);
    return line.mid(start, end < 0 ? -1 : end - start);
}

// One yEnc part: its file name, the file's size and part count, and its bytes by position.
struct YencPart {
    QString name;
    qsizetype size = 0;
    int total = 1;
    qsizetype begin = 1;
    QByteArray bytes;
};

bool yencPart(const QList<QByteArray> &body, YencPart &part) {
    qsizetype i = 0;
    while (i < body.size() && !body[i].startsWith("=ybegin ")) ++i;
    if (i == body.size()) return false;
    part.name = QString::fromLatin1(yencValue(body[i], "name"));
    part.size = yencValue(body[i], "size").toLongLong();
    if (const QByteArray total = yencValue(body[i], "total"); !total.isEmpty()) part.total = total.toInt();
    for (++i; i < body.size() && !body[i].startsWith("=yend"); ++i) {
        const QByteArray &line = body[i];
        if (line.startsWith("=ypart ")) {
            part.begin = yencValue(line, "begin").toLongLong();
            continue;
        }
        for (qsizetype at = 0; at < line.size(); ++at) {
            int byte = static_cast<unsigned char>(line[at]);
            if (byte == '=' && at + 1 < line.size()) byte = static_cast<unsigned char>(line[++at]) - 64;
            part.bytes.append(char(byte - 42));
        }
    }
    return true;
}

struct Post {
    int part = 0;
    int parts = 0;
    QList<QByteArray> body;
};

}  // namespace

namespace {

struct GroupPosts {
    std::map<QString, QByteArray> files;
    QStringList yencNames;
};

GroupPosts readGroupPosts(const QString &groupFolder) {
    static const QRegularExpression marker(QStringLiteral("\\s*[(\\[](\\d+)/(\\d+)[)\\]]\\s*$"));
    GroupPosts posts;
    std::map<QString, QByteArray> &files = posts.files;
    std::map<QString, std::vector<Post>> uuSongs;
    std::map<QString, std::vector<YencPart>> yencSongs;
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
        if (YencPart part; yencPart(body, part)) {
            yencSongs[part.name].push_back(part);
        } else if (attachment >= 0) {
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
    for (auto &[name, parts] : yencSongs) {
        if (int(parts.size()) != parts.front().total) continue;  // a part is missing
        QByteArray bytes(parts.front().size, '\0');
        for (const YencPart &part : parts) bytes.replace(part.begin - 1, part.bytes.size(), part.bytes);
        files[name] = bytes;
        posts.yencNames.append(name);
    }
    return posts;
}

}  // namespace

std::map<QString, QByteArray> postedSongFiles(const QString &groupFolder) { return readGroupPosts(groupFolder).files; }

QStringList postedYencSongs(const QString &groupFolder) { return readGroupPosts(groupFolder).yencNames; }

}  // namespace harbeat::guitest
