// How stored texts read as numbers and truth values, and how numbers are written back.
#include "text/value_text.h"

#include <QTest>

#include "gui_test_main.h"
#include "settings/shared_flags.h"

using namespace harbeat;

class ValueTextTest : public QObject {
    Q_OBJECT
private slots:
    void leadingNumberReadsTheStart_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("expected");
        QTest::newRow("progress format") << " 45.50" << 45.5;
        QTest::newRow("text behind") << "12abc" << 12.0;
        QTest::newRow("second point ends it") << "1.5.3" << 1.5;
        QTest::newRow("no number") << "abc" << 0.0;
        QTest::newRow("sign alone") << "-" << 0.0;
        QTest::newRow("too many digits is the largest number") << QString(400, u'9') << 1.7976931348623157e308;
    }
    void leadingNumberReadsTheStart() {
        QFETCH(QString, text);
        QFETCH(double, expected);
        QCOMPARE(leadingNumber(text), expected);
    }

    void roundingHalvesToEvenWithinRange_data() {
        QTest::addColumn<double>("value");
        QTest::addColumn<int>("int32");
        QTest::addColumn<int>("int16");
        QTest::newRow("half down to even") << 2.5 << 2 << 2;
        QTest::newRow("half up to even") << 3.5 << 4 << 4;
        QTest::newRow("large") << 1e12 << INT32_MAX << 32767;
    }
    void roundingHalvesToEvenWithinRange() {
        QFETCH(double, value);
        QFETCH(int, int32);
        QFETCH(int, int16);
        QCOMPARE(roundToInt32(value), int32);
        QCOMPARE(static_cast<int>(roundToInt16(value)), int16);
    }

    void shortestDecimalTextHasNoExponent_data() {
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("expected");
        QTest::newRow("million") << 1000000.0 << "1000000";
        QTest::newRow("negative zero") << -0.0 << "0";
    }
    void shortestDecimalTextHasNoExponent() {
        QFETCH(double, value);
        QFETCH(QString, expected);
        QCOMPARE(shortestDecimalText(value), expected);
    }

    void booleanTexts_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("expected");  // 1 true, 0 false, -1 no truth value
        QTest::newRow("True") << "True" << 1;
        QTest::newRow("any letter case") << "fAlSe" << 0;
        QTest::newRow("zero") << "0" << 0;
        QTest::newRow("minus one") << "-1" << 1;
        QTest::newRow("word") << "yes" << -1;
        QTest::newRow("number with text") << "1abc" << -1;
    }
    void booleanTexts() {
        QFETCH(QString, text);
        QFETCH(int, expected);
        const std::optional<bool> value = readBooleanText(text);
        QCOMPARE(value.has_value() ? (*value ? 1 : 0) : -1, expected);
    }

    void debugLevelFromTheCommandLine_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("level");
        QTest::newRow("debug log") << QStringList{"debug", "log"} << 60;
        QTest::newRow("other letter case") << QStringList{"Debug", "log"} << 0;
        QTest::newRow("another word") << QStringList{"debug", "log", "now"} << 0;
        QTest::newRow("two blanks") << QStringList{"debug", "", "log"} << 0;
    }
    void debugLevelFromTheCommandLine() {
        QFETCH(QStringList, arguments);
        QFETCH(int, level);
        QCOMPARE(DebugLevelFromArguments(arguments), level);
    }
};

HARBEAT_GUI_TEST_MAIN(ValueTextTest)
#include "value_text_test.moc"
