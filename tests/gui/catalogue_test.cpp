// The newsgroup catalogue: RemoveAll, GroupCategory and MergeGroupList.
#include "catalogue/catalogue.h"

#include <QTest>

#include "catalogue/group_category.h"
#include "gui_test_main.h"

using namespace harbeat;

namespace {

QStringList catalogueNames() {
    QStringList names;
    for (int32_t n = 1; n <= Groups.NumberOf; ++n) names.append(Groups.entry(n).Name);
    return names;
}

QStringList catalogueCategories() {
    QStringList categories;
    for (int32_t n = 1; n <= Groups.NumberOf; ++n) categories.append(Groups.entry(n).Category);
    return categories;
}

void setCatalogue(const QStringList &names) {
    Groups.entries.clear();
    for (const QString &name : names) Groups.entries.push_back(GroupEntry{name, "stale", true});
    Groups.NumberOf = static_cast<int32_t>(names.size());
}

}  // namespace

class CatalogueTest : public QObject {
    Q_OBJECT
private slots:
    void init() { ResetCatalogue(); }

    void removeAllRestartsAfterEachRemoval_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("find");
        QTest::addColumn<QString>("expected");
        QTest::newRow("removal creates a new occurrence") << "aaltlt"
                                                          << "alt"
                                                          << "";
        QTest::newRow("every occurrence") << "alt.binaries.alt"
                                          << "alt"
                                          << ".binaries.";
        QTest::newRow("case-sensitive") << "ALT.alt"
                                        << "alt"
                                        << "ALT.";
        QTest::newRow("none") << "jazz"
                              << "alt"
                              << "jazz";
        QTest::newRow("points") << "a.b.c"
                                << "."
                                << "abc";
    }
    void removeAllRestartsAfterEachRemoval() {
        QFETCH(QString, text);
        QFETCH(QString, find);
        QFETCH(QString, expected);
        QCOMPARE(RemoveAll(text, find), expected);
    }

    void groupCategoryRules_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("category");
        QTest::newRow("assorted") << "alt.binaries.sounds.mp3"
                                  << "assorted";
        QTest::newRow("oldtime radio") << "alt.binaries.sounds.radio.oldtime"
                                       << "oldtime radio";
        QTest::newRow("bootlegs are rare") << "alt.binaries.sounds.mp3.bootlegs"
                                           << "rare";
        QTest::newRow("heavy metal") << "alt.binaries.music.heavy-metal"
                                     << "heavy metal";
        QTest::newRow("video games") << "alt.binaries.sounds.mp3.video-games"
                                     << "video games";
        for (const char *plain : {"1940s", "1950s", "1960s", "1970s", "1980s", "1990s", "beatles", "comedy", "country",
                                  "jazz", "classical"})
            QTest::newRow(plain) << QStringLiteral("alt.binaries.sounds.mp3.") + plain << QString::fromLatin1(plain);
        QTest::newRow("sound without s") << "alt.binaries.sound.jazz"
                                         << "jazz";
        QTest::newRow("utility and fido7 parts") << "fido7.utility.mp3.comedy"
                                                 << "comedy";
        QTest::newRow("requests belong nowhere") << "alt.binaries.sounds.mp3.requests"
                                                 << "*";
        QTest::newRow("one more part") << "alt.binaries.sounds.mp3.1990s.fast"
                                       << "*";
        QTest::newRow("case-sensitive") << "alt.binaries.sounds.mp3.Jazz"
                                        << "*";
        QTest::newRow("exact name only for assorted") << "alt.binaries.sounds.mp3.d"
                                                      << "*";
        QTest::newRow("oldtime needs the exact name") << "alt.binaries.sounds.mp3.radio.oldtime"
                                                      << "*";
        QTest::newRow("not music") << "alt.binaries.pictures"
                                   << "*";
        QTest::newRow("empty") << ""
                               << "*";
        QTest::newRow("2000s is no category") << "alt.binaries.sounds.mp3.2000s"
                                              << "*";
    }
    void groupCategoryRules() {
        QFETCH(QString, name);
        QFETCH(QString, category);
        QCOMPARE(GroupCategory(name), category);
    }

    void mergeIntoEmptyCatalogueKeepsBlockOrder() {
        MergeGroupList("alt.binaries.sounds.mp3.jazz\r\nalt.binaries.sounds.mp3\r\nalt.binaries.sounds.mp3.1950s\r\n");
        QCOMPARE(Groups.NumberOf, 3);
        QCOMPARE(catalogueNames(), (QStringList{"alt.binaries.sounds.mp3.jazz", "alt.binaries.sounds.mp3",
                                                "alt.binaries.sounds.mp3.1950s"}));
        QCOMPARE(catalogueCategories(), (QStringList{"jazz", "assorted", "1950s"}));
        for (int32_t n = 1; n <= 3; ++n) QVERIFY(!Groups.entry(n).Selected);
    }

    void mergeBlocks_data() {
        QTest::addColumn<QStringList>("before");
        QTest::addColumn<QString>("block");
        QTest::addColumn<QStringList>("after");
        QTest::newRow("blank block adds nothing")
            << QStringList{"alt.binaries.sounds.mp3.jazz"} << " " << QStringList{"alt.binaries.sounds.mp3.jazz"};
        QTest::newRow("last name without CR LF is ignored")
            << QStringList{} << "alt.binaries.sounds.mp3.jazz\r\nalt.binaries.sounds.mp3.comedy"
            << QStringList{"alt.binaries.sounds.mp3.jazz"};
        QTest::newRow("same name twice in a block")
            << QStringList{} << "alt.binaries.sounds.mp3.jazz\r\nalt.binaries.sounds.mp3.jazz\r\n"
            << QStringList{"alt.binaries.sounds.mp3.jazz"};
        QTest::newRow("known name is skipped")
            << QStringList{"alt.binaries.sounds.mp3.jazz"}
            << "alt.binaries.sounds.mp3.jazz\r\nalt.binaries.sounds.mp3.1970s\r\n"
            << QStringList{"alt.binaries.sounds.mp3.jazz", "alt.binaries.sounds.mp3.1970s"};
        QTest::newRow("stored name with blanks is known")
            << QStringList{" alt.binaries.sounds.mp3.jazz "} << "alt.binaries.sounds.mp3.jazz\r\n"
            << QStringList{"alt.binaries.sounds.mp3.jazz"};
        QTest::newRow("letter case makes a different name")
            << QStringList{"Alt.binaries.sounds.mp3.jazz"} << "alt.binaries.sounds.mp3.jazz\r\n"
            << QStringList{"Alt.binaries.sounds.mp3.jazz", "alt.binaries.sounds.mp3.jazz"};
        QTest::newRow("non-music groups are skipped")
            << QStringList{}
            << "alt.binaries.sounds.mp3.requests\r\nalt.binaries.pictures\r\nalt.binaries.sounds.mp3\r\n"
            << QStringList{"alt.binaries.sounds.mp3"};
        QTest::newRow("empty lines are skipped") << QStringList{} << "\r\n\r\nalt.binaries.sounds.mp3.jazz\r\n"
                                                 << QStringList{"alt.binaries.sounds.mp3.jazz"};
        QTest::newRow("nothing is removed")
            << QStringList{"alt.binaries.sounds.mp3.beatles"} << "alt.binaries.sounds.mp3.jazz\r\n"
            << QStringList{"alt.binaries.sounds.mp3.beatles", "alt.binaries.sounds.mp3.jazz"};
    }
    void mergeBlocks() {
        QFETCH(QStringList, before);
        QFETCH(QString, block);
        QFETCH(QStringList, after);
        setCatalogue(before);
        MergeGroupList(block);
        QCOMPARE(catalogueNames(), after);
        QCOMPARE(Groups.NumberOf, after.size());
    }

    void mergeReclassifiesExistingEntries() {
        setCatalogue({" alt.binaries.sounds.mp3.bootlegs "});
        MergeGroupList(" ");
        QCOMPARE(Groups.entry(1).Name.text(), QStringLiteral("alt.binaries.sounds.mp3.bootlegs"));
        QCOMPARE(Groups.entry(1).Category.text(), QStringLiteral("rare"));
        QVERIFY(Groups.entry(1).Selected);
    }

    void mergeAfterServerChangeStartsAfresh() {
        // A server change leaves the old entries in place with NumberOf 0; the old first name
        // must neither stay nor hide the same group on the new server.
        setCatalogue({"alt.binaries.sounds.mp3.jazz", "alt.binaries.sounds.mp3.comedy"});
        Groups.NumberOf = 0;
        MergeGroupList("alt.binaries.sounds.mp3.jazz\r\nalt.binaries.sounds.mp3.1960s\r\n");
        QCOMPARE(catalogueNames(), (QStringList{"alt.binaries.sounds.mp3.jazz", "alt.binaries.sounds.mp3.1960s"}));
        QCOMPARE(Groups.entries.size(), std::size_t(2));
        QVERIFY(!Groups.entry(1).Selected);
    }

    void resetLeavesOneEmptySlotToRebuild() {
        setCatalogue({"alt.binaries.sounds.mp3.jazz"});
        Groups.LastChecked = "240301";
        ResetCatalogue();
        QCOMPARE(Groups.NumberOf, 0);
        QCOMPARE(Groups.entries.size(), std::size_t(1));
        QCOMPARE(Groups.entry(1).Name.text(), QString());
        QCOMPARE(Groups.LastChecked.text(), QStringLiteral("~"));
    }
};

HARBEAT_GUI_TEST_MAIN(CatalogueTest)
#include "catalogue_test.moc"
