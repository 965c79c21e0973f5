#include "util/Conversions.h"

#include <QtTest>

#include <cfloat>
#include <cmath>
#include <stdexcept>

using util::bin2dec;
using util::bin2hex;
using util::dec2bin;
using util::hex2dec;

enum class Outcome { Value, Empty, Overflow };
Q_DECLARE_METATYPE(Outcome)

namespace {

// The message of the overflow error the call throws, or an empty text.
template <typename Call>
QString overflowMessage(Call call)
{
    try {
        call();
    } catch (const std::overflow_error& error) {
        return QString::fromUtf8(error.what());
    }
    return {};
}

// Readable form of a result that may have no value.
template <typename T>
QString shown(const std::optional<T>& result)
{
    return result ? QVariant::fromValue(*result).toString() : QStringLiteral("(no value)");
}

QString ones(qsizetype count)
{
    return QString(count, u'1');
}
QString zeros(qsizetype count)
{
    return QString(count, u'0');
}

} // namespace

class TestConversions : public QObject
{
    Q_OBJECT

private slots:
    void hex2decReadsAndUpperCases_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<Outcome>("outcome");
        QTest::addColumn<qint32>("value");
        QTest::addColumn<QString>("textAfter"); // the caller's text after the call
        QTest::addColumn<QString>("failure");   // part of the overflow message

        auto value = [](const char* name, const QString& text, qint32 v, const QString& after) {
            QTest::newRow(name) << text << Outcome::Value << v << after << QString();
        };
        auto overflow = [](const char* name, const QString& text, const QString& after, const char* failure) {
            QTest::newRow(name) << text << Outcome::Overflow << 0 << after << QString(failure);
        };
        value("1A", "1A", 26, "1A");
        value("lower case", "ff", 255, "FF");
        value("0x prefix", "0x1F", 31, "0X1F");
        value("G counts as 0", "1G", 16, "1G");
        value("blank counts as 0", "1 2", 0x102, "1 2");
        value("leading zeros", "00000000FF", 255, "00000000FF");
        value("largest", "7FFFFFFF", 2147483647, "7FFFFFFF");
        value("leading non-digits", "xyz7fffffff", 2147483647, "XYZ7FFFFFFF");
        value("empty", "", 0, "");
        value("one character one place", QStringLiteral("1ß"), 16, QStringLiteral("1ß"));
        value("32766 characters", zeros(32758) + "7FFFFFFF", 2147483647, zeros(32758) + "7FFFFFFF");
        overflow("80000000", "80000000", "80000000", "at character 8");
        overflow("any further character", "7fffffffz", "7FFFFFFFZ", "at character 9");
        overflow("32767 characters", zeros(32767), zeros(32767), "32767 characters");
        overflow("32768 characters", zeros(32768), zeros(32768), "32768 characters");
    }

    void hex2decReadsAndUpperCases()
    {
        QFETCH(QString, text);
        QFETCH(Outcome, outcome);
        if (outcome == Outcome::Value) {
            QTEST(hex2dec(text), "value");
        } else {
            const QString message = overflowMessage([&] { hex2dec(text); });
            QFETCH(QString, failure);
            QVERIFY2(!message.isEmpty() && message.contains(failure), qPrintable(message));
        }
        QTEST(text, "textAfter");
    }

    void bin2decReadsBinaryDigits_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<Outcome>("outcome");
        QTest::addColumn<double>("value");

        auto row = [](const char* name, const QString& key, Outcome outcome, double value = 0) {
            QTest::newRow(name) << key << outcome << value;
        };
        row("1010", "1010", Outcome::Value, 10);
        row("0001", "0001", Outcome::Value, 1);
        row("eight ones", ones(8), Outcome::Value, 255);
        row("single zero is a value", "0", Outcome::Value, 0);
        row("10a1", "10a1", Outcome::Empty);
        row("blank", "1 0", Outcome::Empty);
        row("empty", "", Outcome::Empty);
        row("54 ones round to 53 bits", ones(54), Outcome::Value, std::ldexp(1.0, 54));
        row("1024 digits", "1" + zeros(1023), Outcome::Value, std::ldexp(1.0, 1023));
        row("largest double", ones(53) + zeros(971), Outcome::Value, DBL_MAX);
        row("sum overflows", ones(1024), Outcome::Overflow);
        row("1025 digits", "1" + zeros(1024), Outcome::Overflow);
        row("1025 zeros", zeros(1025), Outcome::Overflow);
        row("1025 digits and a letter", zeros(1025) + "x", Outcome::Empty);
        row("32767 characters, last one a letter", zeros(32766) + "x", Outcome::Empty);
        row("32767 digits", zeros(32767), Outcome::Overflow);
        row("32768 characters fail before the first", "x" + zeros(32767), Outcome::Overflow);
    }

    void bin2decReadsBinaryDigits()
    {
        QFETCH(QString, key);
        QFETCH(Outcome, outcome);
        QFETCH(double, value);
        if (outcome == Outcome::Overflow) {
            QVERIFY(!overflowMessage([&] { bin2dec(key); }).isEmpty());
            return;
        }
        const auto expected = outcome == Outcome::Value ? std::optional(value) : std::nullopt;
        QCOMPARE(shown(bin2dec(key)), shown(expected));
    }

    void dec2binUsesTheCallersRemainder_data()
    {
        QTest::addColumn<qint32>("n");
        QTest::addColumn<QString>("text");
        QTest::addColumn<qint32>("nAfter");

        QTest::newRow("10") << 10 << "1010" << 0;
        QTest::newRow("1") << 1 << "1" << 0;
        QTest::newRow("2^30") << (1 << 30) << "1" + zeros(30) << 0;
        QTest::newRow("largest") << 2147483647 << ones(31) << 0;
        QTest::newRow("0") << 0 << "" << 0;
        QTest::newRow("-5") << -5 << "" << -5;
        QTest::newRow("smallest") << qint32(INT32_MIN) << "" << qint32(INT32_MIN);
    }

    void dec2binUsesTheCallersRemainder()
    {
        QFETCH(qint32, n);
        QTEST(dec2bin(n), "text");
        QTEST(n, "nAfter");
    }

    void bin2hexConvertsGroupsOfFour_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<std::optional<QString>>("hex");

        QTest::newRow("1111") << "1111" << std::optional<QString>("F");
        QTest::newRow("0000") << "0000" << std::optional<QString>("0");
        QTest::newRow("short group") << "101" << std::optional<QString>("5");
        QTest::newRow("letter in group") << "10x1" << std::optional<QString>("0");
        QTest::newRow("empty") << "" << std::optional<QString>();
        QTest::newRow("three groups") << "111110100000" << std::optional<QString>("FA0");
        QTest::newRow("short last group") << "1111101" << std::optional<QString>("F5");
        QTest::newRow("blank in a group") << "1111 0000" << std::optional<QString>("F00");
        QTest::newRow("longer than 16-bit positions")
            << QString("1010").repeated(10000) << std::optional<QString>(QString(10000, u'A'));
    }

    void bin2hexConvertsGroupsOfFour()
    {
        QFETCH(QString, key);
        QFETCH(std::optional<QString>, hex);
        QCOMPARE(shown(bin2hex(key)), shown(hex));
    }
};

QTEST_APPLESS_MAIN(TestConversions)
#include "test_conversions.moc"
