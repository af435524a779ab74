// How stored texts read as numbers and truth values, and how numbers are written back.
#include "settings/value_text.h"

#include <QTest>
#include <cmath>

#include "gui_test_main.h"
#include "main/shared_flags.h"
#include "settings/fixed_text.h"

using namespace harbeat;

class ValueTextTest : public QObject {
    Q_OBJECT
private slots:
    void leadingNumberReadsTheStart_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("expected");
        QTest::newRow("plain") << "119" << 119.0;
        QTest::newRow("progress format") << " 45.50" << 45.5;
        QTest::newRow("sign") << "-5" << -5.0;
        QTest::newRow("plus sign") << "+7" << 7.0;
        QTest::newRow("text behind") << "12abc" << 12.0;
        QTest::newRow("second point ends it") << "1.5.3" << 1.5;
        QTest::newRow("leading point") << ".25" << 0.25;
        QTest::newRow("no number") << "abc" << 0.0;
        QTest::newRow("empty") << "" << 0.0;
        QTest::newRow("sign alone") << "-" << 0.0;
        QTest::newRow("exponent is not read") << "1e5" << 1.0;
        QTest::newRow("too many digits is the largest number") << QString(400, u'9') << 1.7976931348623157e308;
        QTest::newRow("too small is zero") << "0." + QString(400, u'0') + "1" << 0.0;
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
        QTest::newRow("negative half") << -2.5 << -2 << -2;
        QTest::newRow("large") << 1e12 << INT32_MAX << 32767;
        QTest::newRow("large negative") << -1e12 << INT32_MIN << -32768;
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
        QTest::newRow("whole") << 500000.0 << "500000";
        QTest::newRow("million") << 1000000.0 << "1000000";
        QTest::newRow("fraction") << 0.1 << "0.1";
        QTest::newRow("negative") << -12.5 << "-12.5";
        QTest::newRow("negative zero") << -0.0 << "0";
    }
    void shortestDecimalTextHasNoExponent() {
        QFETCH(double, value);
        QFETCH(QString, expected);
        QCOMPARE(shortestDecimalText(value), expected);
    }

    void singlePrecisionIsWrittenAsSinglePrecision() {
        // 1234.1 as a float is 1234.0999755859375; its shortest float text is still 1234.1.
        QCOMPARE(shortestDecimalText(1234.1f), QStringLiteral("1234.1"));
        QCOMPARE(shortestDecimalText(static_cast<float>(leadingNumber(u"9000"))), QStringLiteral("9000"));
    }

    void booleanTexts_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("expected");  // 1 true, 0 false, -1 no truth value
        QTest::newRow("True") << "True" << 1;
        QTest::newRow("upper case") << "TRUE" << 1;
        QTest::newRow("lower case false") << "false" << 0;
        QTest::newRow("zero") << "0" << 0;
        QTest::newRow("minus one") << "-1" << 1;
        QTest::newRow("fraction") << "0.5" << 1;
        QTest::newRow("blanks around") << " 1 " << 1;
        QTest::newRow("word") << "yes" << -1;
        QTest::newRow("number with text") << "1abc" << -1;
        QTest::newRow("empty") << "" << -1;
    }
    void booleanTexts() {
        QFETCH(QString, text);
        QFETCH(int, expected);
        const std::optional<bool> value = readBooleanText(text);
        QCOMPARE(value.has_value() ? (*value ? 1 : 0) : -1, expected);
    }

    void trimRemovesBlanksOnly() {
        QCOMPARE(trimBlanks(u"  news.example.com  "), QStringLiteral("news.example.com"));
        QCOMPARE(trimBlanks(u"\tx\t"), QStringLiteral("\tx\t"));
        QCOMPARE(trimBlanks(u"   "), QString());
    }

    void debugLevelFromTheCommandLine_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("level");
        QTest::newRow("debug log") << QStringList{"debug", "log"} << 60;
        QTest::newRow("one quoted argument") << QStringList{"debug log"} << 60;
        QTest::newRow("none") << QStringList{} << 0;
        QTest::newRow("other letter case") << QStringList{"Debug", "log"} << 0;
        QTest::newRow("another word") << QStringList{"debug", "log", "now"} << 0;
        QTest::newRow("two blanks") << QStringList{"debug", "", "log"} << 0;
        QTest::newRow("debug alone") << QStringList{"debug"} << 0;
    }
    void debugLevelFromTheCommandLine() {
        QFETCH(QStringList, arguments);
        QFETCH(int, level);
        QCOMPARE(DebugLevelFromArguments(arguments), level);
    }

    void fixedTextCutsLongerTexts() {
        FixedText<8> field = QStringLiteral("123456789");
        QCOMPARE(field.text(), QStringLiteral("12345678"));
        field = QStringLiteral("short");
        QCOMPARE(field.text(), QStringLiteral("short"));
    }
};

HARBEAT_GUI_TEST_MAIN(ValueTextTest)
#include "value_text_test.moc"
