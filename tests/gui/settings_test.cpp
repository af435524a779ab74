// LoadSettings and SaveSettings against a real store in a temporary XDG_CONFIG_HOME.
#include "settings/settings.h"

#include <QHeaderView>
#include <QSettings>
#include <QTest>
#include <QTreeView>
#include <memory>

#include "catalogue/catalogue.h"
#include "gui_test_main.h"
#include "main/frm_main.h"
#include "main/song_list_model.h"
#include "platform/twips.h"
#include "settings/registry.h"

using namespace harbeat;

namespace {

using StoredValues = QList<QStringList>;  // {subkey, value name, text}

QSettings store() { return QSettings(kRegistryOrganisation, kRegistryApplication); }

void writeStore(const StoredValues &values) {
    for (const QStringList &value : values) WriteRegValue(value[0], value[1], value[2]);
}

// The stored text, or "<missing>".
QString stored(const QString &subkey, const QString &name) {
    const QString path = subkey.isEmpty() ? name : subkey + "/" + name;
    QSettings settings = store();
    return settings.contains(path) ? settings.value(path).toString() : QStringLiteral("<missing>");
}

void storeCatalogue(const QString &lastChecked, const QStringList &names) {
    WriteRegValue("Groups", "NumberOf", QString::number(names.size()));
    WriteRegValue("Groups", "LastChecked", lastChecked);
    for (int n = 1; n <= names.size(); ++n) {
        WriteRegValue("Groups/Group" + QString::number(n), "Name", names[n - 1]);
        WriteRegValue("Groups/Group" + QString::number(n), "Selected", "False");
    }
}

void setCatalogue(const QString &lastChecked, const QStringList &names) {
    ResetCatalogue();
    Groups.entries.clear();
    for (const QString &name : names) Groups.entries.push_back(GroupEntry{name, "jazz", true});
    Groups.NumberOf = static_cast<int32_t>(names.size());
    Groups.LastChecked = lastChecked;
}

}  // namespace

class SettingsTest : public QObject {
    Q_OBJECT
private slots:
    void init() {
        store().clear();
        store().sync();
        Settings = SettingsRecord{};
        ResetCatalogue();
        form = std::make_unique<frmMain>();
    }
    void cleanup() { form.reset(); }

    void loadReadsEachValueWithItsDefault_data() {
        QTest::addColumn<StoredValues>("values");
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("expected");
        QTest::newRow("empty store: port") << StoredValues{} << "Port"
                                           << "119";
        QTest::newRow("empty store: speed") << StoredValues{} << "ConnectSpeed"
                                            << "500000";
        QTest::newRow("empty store: sounds on") << StoredValues{} << "PlaySounds"
                                                << "true";
        QTest::newRow("empty store: no groups") << StoredValues{} << "NumberOf"
                                                << "0";
        QTest::newRow("empty store: catalogue to rebuild") << StoredValues{} << "LastChecked"
                                                           << "~";
        QTest::newRow("empty store: preview name") << StoredValues{} << "PreviewFileName"
                                                   << "Harbeat_Preview.mp3";
        QTest::newRow("sounds upper case") << StoredValues{{"", "PlaySounds", "TRUE"}} << "PlaySounds"
                                           << "true";
        QTest::newRow("sounds lower case is off") << StoredValues{{"", "PlaySounds", "true"}} << "PlaySounds"
                                                  << "false";
        QTest::newRow("empty sounds is missing") << StoredValues{{"", "PlaySounds", ""}} << "PlaySounds"
                                                 << "true";
        QTest::newRow("empty store: plain connection") << StoredValues{} << "UseTLS"
                                                       << "false";
        QTest::newRow("encrypted connection") << StoredValues{{"", "UseTLS", "TRUE"}} << "UseTLS"
                                              << "true";
        QTest::newRow("encryption lower case is off") << StoredValues{{"", "UseTLS", "true"}} << "UseTLS"
                                                      << "false";
        QTest::newRow("empty port is missing") << StoredValues{{"", "Port", ""}} << "Port"
                                               << "119";
        QTest::newRow("port rounds") << StoredValues{{"", "Port", "8119.6"}} << "Port"
                                     << "8120";
        QTest::newRow("port text without number") << StoredValues{{"", "Port", "news"}} << "Port"
                                                  << "0";
        QTest::newRow("speed shortest text") << StoredValues{{"", "ConnectSpeed", "56000.0kbit"}} << "ConnectSpeed"
                                             << "56000";
        QTest::newRow("speed without number") << StoredValues{{"", "ConnectSpeed", "fast"}} << "ConnectSpeed"
                                              << "0";
        QTest::newRow("server trimmed") << StoredValues{{"", "Server", "  news.example.com  "}} << "Server"
                                        << "news.example.com";
        QTest::newRow("folder cut to 256") << StoredValues{{"", "SaveDir", "/" + QString(299, u'a')}} << "SaveDir"
                                           << "/" + QString(255, u'a');
        QTest::newRow("e-mail as stored") << StoredValues{{"", "PostEmail", " me@example.com "}} << "PostEmail"
                                          << " me@example.com ";
        QTest::newRow("last checked") << StoredValues{{"Groups", "LastChecked", "240301"}} << "LastChecked"
                                      << "240301";
        QTest::newRow("empty store: newest 500,000") << StoredValues{} << "SearchDepth"
                                                     << "500000";
        QTest::newRow("depth 0 reads all") << StoredValues{{"", "SearchDepth", "0"}} << "SearchDepth"
                                           << "0";
        QTest::newRow("depth with blanks") << StoredValues{{"", "SearchDepth", " 2000 "}} << "SearchDepth"
                                           << "2000";
        QTest::newRow("empty store: compressed overviews") << StoredValues{} << "CompressOverviews"
                                                           << "true";
        QTest::newRow("compression turned off") << StoredValues{{"", "CompressOverviews", "FALSE"}}
                                                << "CompressOverviews"
                                                << "false";
        for (const char *bad : {"", "-5", "1e6", "many", "+7"})
            QTest::newRow(qPrintable(QStringLiteral("depth \"%1\" is missing").arg(bad)))
                << StoredValues{{"", "SearchDepth", bad}} << "SearchDepth"
                << "500000";
        QTest::newRow("empty store: 8 connections") << StoredValues{} << "Connections" << "8";
        QTest::newRow("connections with blanks") << StoredValues{{"", "Connections", " 20 "}} << "Connections"
                                                 << "20";
        QTest::newRow("50 connections") << StoredValues{{"", "Connections", "50"}} << "Connections" << "50";
        for (const char *bad : {"", "0", "51", "-1", "8x", "+4"})
            QTest::newRow(qPrintable(QStringLiteral("connections \"%1\" is missing").arg(bad)))
                << StoredValues{{"", "Connections", bad}} << "Connections"
                << "8";
        QTest::newRow("empty store: no backup") << StoredValues{} << "BackupServer"
                                                << "";
        QTest::newRow("backup server trimmed") << StoredValues{{"", "BackupServer", " b.example "}} << "BackupServer"
                                               << "b.example";
        QTest::newRow("empty store: backup port 119") << StoredValues{} << "BackupPort"
                                                      << "119";
        QTest::newRow("backup port 563") << StoredValues{{"", "BackupPort", " 563 "}} << "BackupPort"
                                         << "563";
        for (const char *bad : {"0", "70000", "x", "-119"})
            QTest::newRow(qPrintable(QStringLiteral("backup port \"%1\" is 119").arg(bad)))
                << StoredValues{{"", "BackupPort", bad}} << "BackupPort"
                << "119";
        QTest::newRow("empty store: backup plain") << StoredValues{} << "BackupTLS"
                                                   << "false";
        QTest::newRow("backup encrypted") << StoredValues{{"", "BackupTLS", "TRUE"}} << "BackupTLS"
                                          << "true";
        QTest::newRow("backup login") << StoredValues{{"", "BackupUser", "block"}} << "BackupUser"
                                      << "block";
        QTest::newRow("backup password") << StoredValues{{"", "BackupPassword", "pw"}} << "BackupPassword"
                                         << "pw";
    }
    void loadReadsEachValueWithItsDefault() {
        QFETCH(StoredValues, values);
        QFETCH(QString, field);
        QFETCH(QString, expected);
        writeStore(values);
        LoadSettings();
        const QMap<QString, QString> loaded = {
            {"Server", Settings.Server},
            {"Port", QString::number(Settings.Port)},
            {"SaveDir", Settings.SaveDir},
            {"ConnectSpeed", Settings.ConnectSpeed},
            {"PostEmail", Settings.PostEmail},
            {"UserName", Settings.UserName},
            {"Password", Settings.Password},
            {"PlaySounds", Settings.PlaySounds ? "true" : "false"},
            {"UseTLS", Settings.UseTLS ? "true" : "false"},
            {"PreviewFileName", Settings.PreviewFileName},
            {"NumberOf", QString::number(Groups.NumberOf)},
            {"LastChecked", Groups.LastChecked},
            {"SearchDepth", QString::number(Settings.SearchDepth)},
            {"CompressOverviews", Settings.CompressOverviews ? "true" : "false"},
            {"Connections", QString::number(Settings.Connections)},
            {"BackupServer", Settings.BackupServer},
            {"BackupPort", QString::number(Settings.BackupPort)},
            {"BackupTLS", Settings.BackupTLS ? "true" : "false"},
            {"BackupUser", Settings.BackupUser},
            {"BackupPassword", Settings.BackupPassword},
        };
        QCOMPARE(loaded.value(field), expected);
    }

    void longStoredValueReadsWhole() {
        const QString longText(2000, u'x');
        WriteRegValue("", "Long", longText);
        QCOMPARE(ReadRegValue("", "Long", "default"), longText);
        QCOMPARE(ReadRegValue("", "Missing", "default"), QStringLiteral("default"));
    }

    void loadBuildsTheCatalogue() {
        WriteRegValue("Groups", "NumberOf", "4");
        WriteRegValue("Groups", "LastChecked", "240301");
        const QStringList names = {" alt.binaries.sounds.mp3.1990s ", "alt.binaries.sounds.mp3", "alt.binaries.misc",
                                   "alt.binaries.sounds.mp3.jazz"};
        const QStringList selected = {"True", "1", "junk", ""};
        for (int n = 1; n <= 4; ++n) {
            WriteRegValue("Groups/Group" + QString::number(n), "Name", names[n - 1]);
            WriteRegValue("Groups/Group" + QString::number(n), "Selected", selected[n - 1]);
        }
        LoadSettings();
        QCOMPARE(Groups.NumberOf, 4);
        QCOMPARE(Groups.entry(1).Name.text(), QStringLiteral("alt.binaries.sounds.mp3.1990s"));
        QCOMPARE(Groups.entry(1).Category.text(), QStringLiteral("1990s"));
        QCOMPARE(Groups.entry(2).Category.text(), QStringLiteral("assorted"));
        QCOMPARE(Groups.entry(3).Category.text(), QStringLiteral("*"));
        const QList<bool> expectedSelected = {true, true, false, false};
        for (int n = 1; n <= 4; ++n) QCOMPARE(Groups.entry(n).Selected, expectedSelected[n - 1]);
    }

    void emptyStoredCatalogueLeavesTheCatalogueInMemory() {
        setCatalogue("~", {"alt.binaries.sounds.mp3.jazz"});
        LoadSettings();
        QCOMPARE(Groups.entries.size(), std::size_t(1));
        QCOMPARE(Groups.entry(1).Name.text(), QStringLiteral("alt.binaries.sounds.mp3.jazz"));
    }

    void saveWritesTrimmedTextsAndTheirForms() {
        Settings.Server = "  news.example.com ";
        Settings.Port = 563;
        Settings.SaveDir = " /home/me/Music ";
        Settings.ConnectSpeed = " 56000 ";
        Settings.PostEmail = " me@example.com ";
        Settings.UserName = " me ";
        Settings.Password = " pw ";
        Settings.PlaySounds = false;
        SaveSettings();
        QCOMPARE(stored("", "Server"), QStringLiteral("news.example.com"));
        QCOMPARE(stored("", "Port"), QStringLiteral("563"));
        QCOMPARE(stored("", "SaveDir"), QStringLiteral("/home/me/Music"));
        QCOMPARE(stored("", "ConnectSpeed"), QStringLiteral("56000"));
        QCOMPARE(stored("", "PostEmail"), QStringLiteral("me@example.com"));
        QCOMPARE(stored("", "UserName"), QStringLiteral("me"));
        QCOMPARE(stored("", "Password"), QStringLiteral("pw"));
        QCOMPARE(stored("", "PlaySounds"), QStringLiteral("FALSE"));
        QCOMPARE(stored("", "UseTLS"), QStringLiteral("FALSE"));
        QCOMPARE(stored("", "SearchDepth"), QStringLiteral("500000"));
        QCOMPARE(stored("", "CompressOverviews"), QStringLiteral("TRUE"));
        QCOMPARE(stored("", "Connections"), QStringLiteral("8"));
        QCOMPARE(stored("", "BackupServer"), QString());
        QCOMPARE(stored("", "BackupPort"), QStringLiteral("119"));
        QCOMPARE(stored("", "BackupTLS"), QStringLiteral("FALSE"));
        // The trimmed texts are kept in memory too.
        QCOMPARE(Settings.Server.text(), QStringLiteral("news.example.com"));
        QCOMPARE(Settings.PostEmail.text(), QStringLiteral("me@example.com"));
        Settings.PlaySounds = true;
        Settings.UseTLS = true;
        Settings.CompressOverviews = false;
        Settings.BackupServer = " backup.example ";
        Settings.BackupPort = 563;
        Settings.BackupTLS = true;
        Settings.BackupUser = " block ";
        Settings.BackupPassword = " secret ";
        SaveSettings();
        QCOMPARE(stored("", "CompressOverviews"), QStringLiteral("FALSE"));
        QCOMPARE(stored("", "BackupServer"), QStringLiteral("backup.example"));
        QCOMPARE(stored("", "BackupPort"), QStringLiteral("563"));
        QCOMPARE(stored("", "BackupTLS"), QStringLiteral("TRUE"));
        QCOMPARE(stored("", "BackupUser"), QStringLiteral("block"));
        QCOMPARE(stored("", "BackupPassword"), QStringLiteral("secret"));
        QCOMPARE(stored("", "PlaySounds"), QStringLiteral("TRUE"));
        QCOMPARE(stored("", "UseTLS"), QStringLiteral("TRUE"));
    }

    void loadAppliesTheStoredGeometry() {
        writeStore({{"MainForm", "Top", "1500"},
                    {"MainForm", "Height", "6000"},
                    {"MainForm", "Left", "3000"},
                    {"MainForm", "Width", "9000"},
                    {"MainForm", "WindowState", "0"}});
        LoadSettings();
        QCOMPARE(form->formEdge(FormEdge::Top), 1500.0f);
        QCOMPARE(form->formEdge(FormEdge::Height), 6000.0f);
        QCOMPARE(form->formEdge(FormEdge::Left), 3000.0f);
        QCOMPARE(form->formEdge(FormEdge::Width), 9000.0f);
        QCOMPARE(form->formWindowState(), int16_t(kWindowNormal));
    }

    void emptyStoreKeepsTheDesignGeometry() {
        const QRect design = form->frameGeometry();
        LoadSettings();
        QCOMPARE(form->frameGeometry(), design);
        QCOMPARE(form->formWindowState(), int16_t(kWindowNormal));
    }

    void loadRestoresAMaximisedWindow() {
        WriteRegValue("MainForm", "WindowState", "2");
        LoadSettings();
        QCOMPARE(form->formWindowState(), int16_t(kWindowMaximised));
    }

    void loadSetsUpTheSongColumns() {
        LoadSettings();
        QHeaderView *header = form->lstSongs->header();
        QCOMPARE(header->sectionSize(SongListModel::SongTitle), twipsToPixels(4000));
        QCOMPARE(header->sectionSize(SongListModel::Group), twipsToPixels(1000));
        QCOMPARE(header->sectionSize(SongListModel::SaveTime), twipsToPixels(950));
        QVERIFY(form->lstSongs->isColumnHidden(SongListModel::GroupId));
        QVERIFY(form->lstSongs->isColumnHidden(SongListModel::SongId));
        QCOMPARE(header->sortIndicatorSection(), int(SongListModel::SongTitle));
        QCOMPARE(header->sortIndicatorOrder(), Qt::AscendingOrder);
    }

    void normalWindowWritesItsGeometry() {
        form->setFormEdge(FormEdge::Top, 1500);
        form->setFormEdge(FormEdge::Height, 6000);
        form->setFormEdge(FormEdge::Left, 3000);
        form->setFormEdge(FormEdge::Width, 9000);
        SaveSettings();
        QCOMPARE(stored("MainForm", "WindowState"), QStringLiteral("0"));
        QCOMPARE(stored("MainForm", "Top"), QStringLiteral("1500"));
        QCOMPARE(stored("MainForm", "Height"), QStringLiteral("6000"));
        QCOMPARE(stored("MainForm", "Left"), QStringLiteral("3000"));
        QCOMPARE(stored("MainForm", "Width"), QStringLiteral("9000"));
    }

    void maximisedWindowKeepsTheStoredGeometry() {
        writeStore({{"MainForm", "Top", "1500"},
                    {"MainForm", "Height", "6000"},
                    {"MainForm", "Left", "3000"},
                    {"MainForm", "Width", "9000"}});
        form->setFormWindowState(kWindowMaximised);
        SaveSettings();
        QCOMPARE(stored("MainForm", "WindowState"), QStringLiteral("2"));
        QCOMPARE(stored("MainForm", "Top"), QStringLiteral("1500"));
        QCOMPARE(stored("MainForm", "Height"), QStringLiteral("6000"));
        QCOMPARE(stored("MainForm", "Left"), QStringLiteral("3000"));
        QCOMPARE(stored("MainForm", "Width"), QStringLiteral("9000"));
    }

    void rebuildMarkerKeepsTheStoredCatalogue() {
        storeCatalogue("240301", {"alt.binaries.sounds.mp3.jazz", "alt.binaries.sounds.mp3.1990s"});
        setCatalogue(" ~ ", {"alt.binaries.sounds.mp3.comedy"});
        SaveSettings();
        QCOMPARE(Groups.LastChecked.text(), QStringLiteral("~"));
        QCOMPARE(stored("Groups", "NumberOf"), QStringLiteral("2"));
        QCOMPARE(stored("Groups", "LastChecked"), QStringLiteral("240301"));
        QCOMPARE(stored("Groups/Group1", "Name"), QStringLiteral("alt.binaries.sounds.mp3.jazz"));
        QCOMPARE(stored("Groups/Group2", "Name"), QStringLiteral("alt.binaries.sounds.mp3.1990s"));
    }

    void shrunkCatalogueLeavesNoLeftovers() {
        storeCatalogue("240301", {"alt.binaries.sounds.mp3.jazz", "alt.binaries.sounds.mp3.1990s",
                                  "alt.binaries.sounds.mp3.comedy"});
        setCatalogue("240302", {" alt.binaries.sounds.mp3.country "});
        SaveSettings();
        QCOMPARE(stored("Groups", "NumberOf"), QStringLiteral("1"));
        QCOMPARE(stored("Groups", "LastChecked"), QStringLiteral("240302"));
        QCOMPARE(stored("Groups/Group1", "Name"), QStringLiteral("alt.binaries.sounds.mp3.country"));
        QCOMPARE(stored("Groups/Group1", "Selected"), QStringLiteral("True"));
        QCOMPARE(Groups.entry(1).Name.text(), QStringLiteral("alt.binaries.sounds.mp3.country"));
        QSettings settings = store();
        settings.beginGroup("Groups");
        QCOMPARE(settings.childGroups(), QStringList{"Group1"});
    }

private:
    std::unique_ptr<frmMain> form;
};

HARBEAT_GUI_TEST_MAIN(SettingsTest)
#include "settings_test.moc"
