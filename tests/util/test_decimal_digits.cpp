// Numbers written without Qt come out as Qt writes them, ties and carries
// included, or are left to Qt.
#include "util/DecimalDigits.h"

#include <QTest>

#include <array>
#include <cmath>
#include <cstring>
#include <random>

class TestDecimalDigits : public QObject
{
    Q_OBJECT
private slots:
    void asQtWritesThem_data();
    void asQtWritesThem();
};

namespace {

// Doubles of every kind the recorder and the window write: any bit pattern,
// widened floats, short decimals and the doubles next to their halves, and
// binary fractions, which are true ties at some number of places.
double anyValue(std::mt19937_64& random, int kind)
{
    const double scale = std::pow(10.0, double(int(random() % 40) - 25));
    switch (kind) {
    case 0: {
        const quint64 bits = random() & 0x7FFF'FFFF'FFFF'FFFFull;
        double value;
        std::memcpy(&value, &bits, sizeof value);
        return value;
    }
    case 1:
        return double(float(double(random() % 1'000'000) / double(1 + random() % 1'000'000) * scale));
    case 2:
        return double(random() % 100'000) * scale;
    case 3:
        return std::nextafter((double(random() % 100'000) + 0.5) * scale, random() % 2 ? 0.0 : 1e308);
    default:
        return double(random() % 1'000'000) / double(1ull << (random() % 24));
    }
}

} // namespace

void TestDecimalDigits::asQtWritesThem_data()
{
    QTest::addColumn<char>("format");
    QTest::addColumn<int>("precision");
    for (const int places : {0, 1, 2, 3, 6})
        QTest::addRow("f %d", places) << 'f' << places;
    for (const int digits : {1, 2, 7, 9, 15})
        QTest::addRow("g %d", digits) << 'g' << digits;
}

void TestDecimalDigits::asQtWritesThem()
{
    QFETCH(char, format);
    QFETCH(int, precision);
    std::mt19937_64 random(36);
    int leftToQt = 0;
    constexpr int kValues = 50'000;
    for (int i = 0; i < kValues; ++i) {
        constexpr std::array kFirst{0.0, 0.5, 9.5, 0.95, 3.51484526e-317, 1e15 + 0.5};
        const double value = i < int(kFirst.size()) ? kFirst[size_t(i)] : anyValue(random, i % 5);
        char digits[util::kDecimalDigitsSize];
        const char* end = util::decimalDigits(value, format, precision, digits);
        if (!end) {
            leftToQt += value < 1e9;
            continue;
        }
        QCOMPARE(QByteArray(digits, end - digits), QByteArray::number(value, format, precision));
    }
    // Below 1e9, where a double holds every digit asked for, only ties are left to Qt.
    QVERIFY2(leftToQt < kValues / 5, qPrintable(QString::number(leftToQt)));
}

QTEST_GUILESS_MAIN(TestDecimalDigits)
#include "test_decimal_digits.moc"
