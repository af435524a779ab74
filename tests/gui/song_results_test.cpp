// Song lines to song records (ParseSongChunks, the "Save Time" date) and records to list rows
// (FillSongList with the keyword filter).
#include "main/song_results.h"

#include <QTest>

#include "gui_test_main.h"
#include "main/song_date.h"
#include "main/song_list_model.h"

using namespace harbeat;

namespace {

QString line(const QString &title, const QString &category = "jazz",
             const QString &date = "Sat, 12 Jun 1999 14:22:33 GMT",
             const QString &group = "alt.binaries.sounds.mp3.jazz") {
    return "\t" + title + "\t" + category + "\t" + date + "\t" + group + "\t2\t<1@x>\f<2@x>\f\r\n";
}

QStringList titles(const SongListModel &list) {
    QStringList shown;
    for (int row = 0; row < list.rowCount(); ++row) shown.append(list.cellText(row, SongListModel::SongTitle));
    return shown;
}

QStringList titles(const std::vector<SongRecord> &records) {
    QStringList list;
    for (const SongRecord &record : records) list.append(record.title);
    return list;
}

}  // namespace

class SongResultsTest : public QObject {
    Q_OBJECT
private slots:
    void parseTakesEachMp3TitleOnce_data() {
        QTest::addColumn<QStringList>("chunks");
        QTest::addColumn<int>("chunkIndex");
        QTest::addColumn<QStringList>("titles");
        QTest::newRow("no songs") << QStringList{""} << 0 << QStringList{};
        QTest::newRow("in arrival order")
            << QStringList{line("b.mp3") + line("a.mp3")} << 0 << QStringList{"b.mp3", "a.mp3"};
        QTest::newRow("same title in another group")
            << QStringList{line("a.mp3") + line("a.mp3", "1990s", "", "g2")} << 0 << QStringList{"a.mp3"};
        QTest::newRow("title differing in case is another title")
            << QStringList{line("a.mp3") + line("A.mp3")} << 0 << QStringList{"a.mp3", "A.mp3"};
        QTest::newRow(".mp3 in any case") << QStringList{line("x.MP3") + line("y.Mp3") + line("z.mp3 (live)")} << 0
                                          << QStringList{"x.MP3", "y.Mp3", "z.mp3 (live)"};
        QTest::newRow("no .MP3 is dropped")
            << QStringList{line("song.wav") + line("mp3 collection") + line("a.mp3")} << 0 << QStringList{"a.mp3"};
        QTest::newRow("almost an extension")
            << QStringList{line("song.mp") + line("song.mp4") + line("song.m p3")} << 0 << QStringList{};
        QTest::newRow("bare LF is no line end")
            << QStringList{"\tA\nB.mp3\tjazz\td\tg\t1\tid\r\n"} << 0 << QStringList{"A\nB.mp3"};
        QTest::newRow("dropped title does not block a later one")
            << QStringList{line("song") + line("song")} << 0 << QStringList{};
        QTest::newRow("text after the last CR LF")
            << QStringList{line("a.mp3") + "\tb.mp3\tjazz\tdate\tg\t1\tid"} << 0 << QStringList{"a.mp3"};
        QTest::newRow("across chunks in order")
            << QStringList{line("a.mp3"), line("b.mp3") + line("a.mp3"), line("c.mp3")} << 2
            << QStringList{"a.mp3", "b.mp3", "c.mp3"};
        QTest::newRow("chunks behind the index are not read")
            << QStringList{line("a.mp3"), line("b.mp3")} << 0 << QStringList{"a.mp3"};
        QTest::newRow("line without fields") << QStringList{"\tlonely.mp3\r\n"} << 0 << QStringList{"lonely.mp3"};
    }
    void parseTakesEachMp3TitleOnce() {
        QFETCH(QStringList, chunks);
        QFETCH(int, chunkIndex);
        QFETCH(QStringList, titles);
        const std::vector<QString> songChunks(chunks.begin(), chunks.end());
        QCOMPARE(::titles(ParseSongChunks(songChunks, chunkIndex)), titles);
    }

    void parseSplitsTheFields() {
        const std::vector<SongRecord> records = ParseSongChunks({line("Artist - Title.mp3", "heavy metal")}, 0);
        QCOMPARE(records.size(), std::size_t(1));
        QCOMPARE(records[0], (SongRecord{"Artist - Title.mp3", "heavy metal", "6/12/99",
                                         "alt.binaries.sounds.mp3.jazz\t2\t<1@x>\f<2@x>\f"}));
        const std::vector<SongRecord> bare = ParseSongChunks({"\tlonely.mp3\r\n"}, 0);
        QCOMPARE(bare[0], (SongRecord{"lonely.mp3", "", "", ""}));
    }

    void dates_data() {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("shown");
        QTest::newRow("with weekday") << "Sat, 12 Jun 1999 14:22:33 GMT"
                                      << "6/12/99";
        QTest::newRow("without weekday") << "12 Jun 1999 14:22:33 GMT"
                                         << "6/12/99";
        QTest::newRow("month first") << "Jun 12 1999 14:22:33"
                                     << "6/12/99";
        QTest::newRow("two-digit year") << "Mon, 13 Dec 99 08:00:00 GMT"
                                        << "12/13/99";
        QTest::newRow("month name in capitals") << "12 JUN 2001"
                                                << "6/12/01";
        QTest::newRow("unknown month") << "12 Foo 1999 14:22:33 GMT"
                                       << "12 Foo 1999 14:22:33 GMT";
        QTest::newRow("no such day") << "31 Feb 1999 10:00:00 GMT"
                                     << "31 Feb 1999 10:00:00 GMT";
        QTest::newRow("no date at all") << "yesterday"
                                        << "yesterday";
        QTest::newRow("empty") << ""
                               << "";
    }
    void dates() {
        QFETCH(QString, field);
        QFETCH(QString, shown);
        QCOMPARE(songDateText(field), shown);
    }

    void keywordFilter_data() {
        QTest::addColumn<QString>("keyword");
        QTest::addColumn<QStringList>("rows");
        QTest::newRow("empty shows all") << ""
                                         << QStringList{"Beatles - Help.mp3", "Queen - Bicycle.mp3", "beat it.mp3"};
        QTest::newRow("lower case") << "beat" << QStringList{"Beatles - Help.mp3", "beat it.mp3"};
        QTest::newRow("upper case") << "BEAT" << QStringList{"Beatles - Help.mp3", "beat it.mp3"};
        QTest::newRow("mixed case") << "bIcYcLe" << QStringList{"Queen - Bicycle.mp3"};
        QTest::newRow("no match") << "jazz" << QStringList{};
    }
    void keywordFilter() {
        QFETCH(QString, keyword);
        QFETCH(QStringList, rows);
        const std::vector<SongRecord> results = {{"Beatles - Help.mp3", "1960s", "1/2/99", "a"},
                                                 {"Queen - Bicycle.mp3", "rare", "1/3/99", "b"},
                                                 {"beat it.mp3", "1980s", "1/4/99", "c"}};
        SongListModel list;
        FillSongList(list, results, keyword);
        QStringList shown;
        for (int row = 0; row < list.rowCount(); ++row) shown.append(list.cellText(row, SongListModel::SongTitle));
        QCOMPARE(shown, rows);
    }

    void fillAddsRowsWithTheirColumns() {
        SongListModel list;
        FillSongList(list, {{"a.mp3", "jazz", "6/12/99", "g\t1\tid\f"}}, QString());
        FillSongList(list, {{"b.mp3", "rare", "6/13/99", "h\t2\tid\f"}}, QString());
        QCOMPARE(list.rowCount(), 2);  // the list is not cleared
        const QStringList expected = {"b.mp3", "rare", "6/13/99", "0", "h\t2\tid\f"};
        for (int column = 0; column < SongListModel::ColumnCount; ++column)
            QCOMPARE(list.cellText(1, column), expected[column]);
        QCOMPARE(list.headerData(SongListModel::SaveTime, Qt::Horizontal).toString(), QStringLiteral("Save Time"));
    }

    void sortOrdersByTextIgnoringCase() {
        SongListModel list;
        FillSongList(list, {{"b.mp3", "x", "", ""}, {"A.mp3", "y", "", ""}, {"c.mp3", "x", "", ""}}, QString());
        list.sort(SongListModel::SongTitle);
        FillSongList(list, {{"B2.mp3", "x", "", ""}}, QString());  // a later fill keeps the order
        QCOMPARE(titles(list), (QStringList{"A.mp3", "b.mp3", "B2.mp3", "c.mp3"}));
        list.sort(SongListModel::Group);  // equal texts keep their order
        QCOMPARE(titles(list), (QStringList{"b.mp3", "B2.mp3", "c.mp3", "A.mp3"}));
    }
};

HARBEAT_GUI_TEST_MAIN(SongResultsTest)
#include "song_results_test.moc"
