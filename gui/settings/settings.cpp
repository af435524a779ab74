#include "settings/settings.h"

#include "catalogue/catalogue.h"
#include "catalogue/group_category.h"
#include "settings/registry.h"
#include "text/value_text.h"

namespace harbeat {

SettingsRecord Settings;

namespace {

MainFormGeometry *mainForm = nullptr;

const QString kRoot;
const QString kMainFormKey = QStringLiteral("MainForm");
const QString kGroupsKey = QStringLiteral("Groups");

// Widths of "Song Title", "Group", "Save Time", "Group ID" and "Song ID"; the last two carry data
// for saving and previewing and stay hidden.
constexpr std::array<int, 5> kSongColumnWidths = {4000, 1000, 950, 0, 0};

struct StoredEdge {
    FormEdge edge;
    const char *name;
};
// The order in which the edges are read and written.
constexpr StoredEdge kStoredEdges[] = {
    {FormEdge::Top, "Top"}, {FormEdge::Height, "Height"}, {FormEdge::Left, "Left"}, {FormEdge::Width, "Width"}};

QString groupKey(int32_t n) { return kGroupsKey + QStringLiteral("/Group") + QString::number(n); }

QString booleanText(bool value) { return value ? QStringLiteral("True") : QStringLiteral("False"); }

// Trims a text field, puts the trimmed text back into the record and writes it.
template <int Width>
void writeTrimmed(FixedText<Width> &field, const QString &subkey, const QString &valueName) {
    field = trimBlanks(field.text());
    WriteRegValue(subkey, valueName, field);
}

void loadMainFormGeometry() {
    if (!mainForm) return;
    // Each value is applied at once, so the default of the next one already reflects it.
    for (const StoredEdge &stored : kStoredEdges) {
        const QString current = shortestDecimalText(mainForm->formEdge(stored.edge));
        const QString text = ReadRegValue(kMainFormKey, QString::fromLatin1(stored.name), current);
        mainForm->setFormEdge(stored.edge, static_cast<float>(leadingNumber(text)));
    }
    const QString state =
        ReadRegValue(kMainFormKey, QStringLiteral("WindowState"), QString::number(mainForm->formWindowState()));
    mainForm->setFormWindowState(roundToInt16(leadingNumber(state)));
    mainForm->setupSongColumns(kSongColumnWidths);
}

void loadCatalogue() {
    Groups.NumberOf = roundToInt32(leadingNumber(ReadRegValue(kGroupsKey, QStringLiteral("NumberOf"), "0")));
    Groups.LastChecked = ReadRegValue(kGroupsKey, QStringLiteral("LastChecked"), kRebuildCatalogue);
    if (Groups.NumberOf <= 0) return;

    std::vector<GroupEntry> loaded(static_cast<std::size_t>(Groups.NumberOf));
    for (int32_t n = 1; n <= Groups.NumberOf; ++n) {
        GroupEntry &entry = loaded[static_cast<std::size_t>(n - 1)];
        entry.Name = trimBlanks(ReadRegValue(groupKey(n), QStringLiteral("Name"), QString()));
        entry.Category = GroupCategory(entry.Name);
        // A text that is no truth value was never written by the program; it reads as False.
        entry.Selected =
            readBooleanText(ReadRegValue(groupKey(n), QStringLiteral("Selected"), "False")).value_or(false);
    }
    Groups.entries = std::move(loaded);
}

void saveCatalogue() {
    Groups.LastChecked = trimBlanks(Groups.LastChecked.text());
    // "~" means the stored catalogue is still the last good one: keep it until a list update
    // has rebuilt the catalogue in memory.
    if (Groups.LastChecked == kRebuildCatalogue) return;

    // Removing the whole key first leaves no entries behind when the catalogue shrank.
    DeleteRegKey(kGroupsKey);
    WriteRegValue(kGroupsKey, QStringLiteral("NumberOf"), QString::number(Groups.NumberOf));
    WriteRegValue(kGroupsKey, QStringLiteral("LastChecked"), Groups.LastChecked);
    for (int32_t n = 1; n <= Groups.usedCount(); ++n) {
        GroupEntry &entry = Groups.entry(n);
        writeTrimmed(entry.Name, groupKey(n), QStringLiteral("Name"));
        WriteRegValue(groupKey(n), QStringLiteral("Selected"), booleanText(entry.Selected));
    }
}

}  // namespace

std::optional<int64_t> searchDepthFromText(const QString &text) {
    const QString trimmed = text.trimmed();
    bool ok = false;
    const qlonglong value = trimmed.toLongLong(&ok);
    if (!ok || value < 0 || trimmed.startsWith(u'+')) return std::nullopt;
    return value;
}

std::optional<int32_t> connectionsFromText(const QString &text) {
    const QString trimmed = text.trimmed();
    bool ok = false;
    const int value = trimmed.toInt(&ok);
    if (!ok || value < 1 || value > 50 || trimmed.startsWith(u'+')) return std::nullopt;
    return value;
}

std::optional<int32_t> backupPortFromText(const QString &text) {
    const QString trimmed = text.trimmed();
    bool ok = false;
    const int value = trimmed.toInt(&ok);
    if (!ok || value < 1 || value > 65535 || trimmed.startsWith(u'+')) return std::nullopt;
    return value;
}

void attachMainForm(MainFormGeometry *form) { mainForm = form; }

MainFormGeometry *attachedMainForm() { return mainForm; }

void LoadSettings() {
    Settings.PreviewFileName = kPreviewFileName;
    Settings.Server = ReadRegValue(kRoot, QStringLiteral("Server"), QString());
    Settings.Port = roundToInt32(leadingNumber(ReadRegValue(kRoot, QStringLiteral("Port"), QStringLiteral("119"))));
    Settings.SaveDir = ReadRegValue(kRoot, QStringLiteral("SaveDir"), QString());
    Settings.ConnectSpeed = shortestDecimalText(
        leadingNumber(ReadRegValue(kRoot, QStringLiteral("ConnectSpeed"), QStringLiteral("500000"))));
    Settings.PostEmail = ReadRegValue(kRoot, QStringLiteral("PostEmail"), QString());
    Settings.UserName = ReadRegValue(kRoot, QStringLiteral("UserName"), QString());
    Settings.Password = ReadRegValue(kRoot, QStringLiteral("Password"), QString());
    Settings.PlaySounds = ReadRegValue(kRoot, QStringLiteral("PlaySounds"), QStringLiteral("TRUE")) == u"TRUE";
    Settings.UseTLS = ReadRegValue(kRoot, QStringLiteral("UseTLS"), QStringLiteral("FALSE")) == u"TRUE";
    Settings.TLSCAFile = trimBlanks(ReadRegValue(kRoot, QStringLiteral("TLSCAFile"), QString()));
    Settings.SearchDepth = searchDepthFromText(ReadRegValue(kRoot, QStringLiteral("SearchDepth"), QString()))
                               .value_or(kDefaultSearchDepth);
    Settings.CompressOverviews =
        ReadRegValue(kRoot, QStringLiteral("CompressOverviews"), QStringLiteral("TRUE")) != u"FALSE";
    Settings.Connections = connectionsFromText(ReadRegValue(kRoot, QStringLiteral("Connections"), QString()))
                               .value_or(kDefaultConnections);
    Settings.BackupServer = trimBlanks(ReadRegValue(kRoot, QStringLiteral("BackupServer"), QString()));
    Settings.BackupPort =
        backupPortFromText(ReadRegValue(kRoot, QStringLiteral("BackupPort"), QString())).value_or(kDefaultBackupPort);
    Settings.BackupTLS = ReadRegValue(kRoot, QStringLiteral("BackupTLS"), QStringLiteral("FALSE")) == u"TRUE";
    Settings.BackupUser = ReadRegValue(kRoot, QStringLiteral("BackupUser"), QString());
    Settings.BackupPassword = ReadRegValue(kRoot, QStringLiteral("BackupPassword"), QString());

    loadMainFormGeometry();

    Settings.Server = trimBlanks(Settings.Server.text());
    Settings.SaveDir = trimBlanks(Settings.SaveDir.text());

    loadCatalogue();
}

void SaveSettings() {
    writeTrimmed(Settings.Server, kRoot, QStringLiteral("Server"));
    WriteRegValue(kRoot, QStringLiteral("Port"), QString::number(Settings.Port));
    writeTrimmed(Settings.SaveDir, kRoot, QStringLiteral("SaveDir"));
    writeTrimmed(Settings.ConnectSpeed, kRoot, QStringLiteral("ConnectSpeed"));
    writeTrimmed(Settings.PostEmail, kRoot, QStringLiteral("PostEmail"));
    writeTrimmed(Settings.UserName, kRoot, QStringLiteral("UserName"));
    writeTrimmed(Settings.Password, kRoot, QStringLiteral("Password"));
    WriteRegValue(kRoot, QStringLiteral("PlaySounds"),
                  Settings.PlaySounds ? QStringLiteral("TRUE") : QStringLiteral("FALSE"));
    WriteRegValue(kRoot, QStringLiteral("UseTLS"), Settings.UseTLS ? QStringLiteral("TRUE") : QStringLiteral("FALSE"));
    WriteRegValue(kRoot, QStringLiteral("TLSCAFile"), trimBlanks(Settings.TLSCAFile));
    WriteRegValue(kRoot, QStringLiteral("SearchDepth"), QString::number(Settings.SearchDepth));
    WriteRegValue(kRoot, QStringLiteral("CompressOverviews"),
                  Settings.CompressOverviews ? QStringLiteral("TRUE") : QStringLiteral("FALSE"));
    WriteRegValue(kRoot, QStringLiteral("Connections"), QString::number(Settings.Connections));
    writeTrimmed(Settings.BackupServer, kRoot, QStringLiteral("BackupServer"));
    WriteRegValue(kRoot, QStringLiteral("BackupPort"), QString::number(Settings.BackupPort));
    WriteRegValue(kRoot, QStringLiteral("BackupTLS"),
                  Settings.BackupTLS ? QStringLiteral("TRUE") : QStringLiteral("FALSE"));
    writeTrimmed(Settings.BackupUser, kRoot, QStringLiteral("BackupUser"));
    writeTrimmed(Settings.BackupPassword, kRoot, QStringLiteral("BackupPassword"));

    if (mainForm) {
        const int16_t state = mainForm->formWindowState();
        WriteRegValue(kMainFormKey, QStringLiteral("WindowState"), QString::number(state));
        // A minimised or maximised window keeps the last normal geometry in the store.
        if (state == kWindowNormal) {
            for (const StoredEdge &stored : kStoredEdges)
                WriteRegValue(kMainFormKey, QString::fromLatin1(stored.name),
                              shortestDecimalText(mainForm->formEdge(stored.edge)));
        }
    }

    saveCatalogue();
}

}  // namespace harbeat
