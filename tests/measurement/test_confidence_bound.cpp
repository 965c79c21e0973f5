#include "measurement/ConfidenceBound.h"

#include <QTest>

#include <cmath>

using namespace measurement;

namespace {

// P(Poisson(mean) <= n), summed term by term: slow but plainly right.
double poissonCdf(quint64 n, double mean)
{
    double sum = 0;
    for (quint64 k = 0; k <= n; ++k)
        sum += std::exp(-mean + double(k) * std::log(mean) - std::lgamma(double(k) + 1));
    return sum;
}

// The half unit of a printed table value's last digit: how far rounding to it may have moved it.
double halfLastDigit(const QString& printed)
{
    const qsizetype point = printed.indexOf('.');
    return 0.5 * std::pow(10.0, -double(point < 0 ? 0 : printed.size() - point - 1));
}

} // namespace

class TestConfidenceBound : public QObject
{
    Q_OBJECT

private slots:
    void referenceValues_data();
    void referenceValues();
    void boundsHaveTheirCoverage_data();
    void boundsHaveTheirCoverage();
    void bitsForPassReachTheLimit();
    void chiSquareQuantileMatchesTables_data();
    void chiSquareQuantileMatchesTables();
    void studentTQuantileMatchesTables_data();
    void studentTQuantileMatchesTables();
};

void TestConfidenceBound::referenceValues_data()
{
    QTest::addColumn<quint64>("errors");
    QTest::addColumn<double>("confidence");
    QTest::addColumn<double>("bound"); // for 1e9 bits
    QTest::newRow("0 at 95 %") << quint64(0) << 0.95 << 2.9957e-9;
    QTest::newRow("1 at 95 %") << quint64(1) << 0.95 << 4.7439e-9;
    QTest::newRow("10 at 95 %") << quint64(10) << 0.95 << 1.6962e-8;
    QTest::newRow("0 at 99 %") << quint64(0) << 0.99 << 4.6052e-9;
}

void TestConfidenceBound::referenceValues()
{
    QFETCH(quint64, errors);
    QFETCH(double, confidence);
    QFETCH(double, bound);
    const double got = berUpperBound(errors, 1'000'000'000, confidence);
    QVERIFY2(std::abs(got - bound) < 0.00005e-9 * (bound / 1e-9 > 10 ? 10 : 1),
             qPrintable(QString::number(got, 'g', 10)));
}

void TestConfidenceBound::boundsHaveTheirCoverage_data()
{
    QTest::addColumn<quint64>("errors");
    QTest::addColumn<double>("confidence");
    for (const quint64 errors : {0ull, 1ull, 2ull, 7ull, 50ull, 400ull, 3000ull})
        for (const double confidence : {0.5, 0.9, 0.95, 0.999999})
            QTest::addRow("%llu errors at %g", errors, confidence) << errors << confidence;
}

void TestConfidenceBound::boundsHaveTheirCoverage()
{
    QFETCH(quint64, errors);
    QFETCH(double, confidence);
    const double upper = poissonUpperMean(errors, confidence);
    QVERIFY(std::abs(poissonCdf(errors, upper) - (1 - confidence)) < 1e-9 * (1 - confidence) + 1e-13);
    const double lower = poissonLowerMean(errors, confidence);
    if (errors == 0)
        QCOMPARE(lower, 0.0);
    else
        QVERIFY(std::abs((1 - poissonCdf(errors - 1, lower)) - (1 - confidence)) < 1e-9);
    QVERIFY(lower < double(errors) + 1 && upper > double(errors));
    QVERIFY(poissonUpperMean(errors + 1, confidence) > upper);
}

void TestConfidenceBound::bitsForPassReachTheLimit()
{
    QCOMPARE(bitsForPass(1e-9, 0.95), poissonUpperMean(0, 0.95) * 1e9);
}

void TestConfidenceBound::chiSquareQuantileMatchesTables_data()
{
    QTest::addColumn<double>("degrees");
    QTest::addColumn<double>("probability"); // P(χ² <= x)
    QTest::addColumn<QString>("table");
    // NIST/SEMATECH e-Handbook 1.3.6.7.4: the upper critical values, exceeded with
    // probability 0.10 to 0.001, and the lower ones, exceeded with 0.90 to 0.999.
    const double upper[] = {0.90, 0.95, 0.975, 0.99, 0.999};
    const double lower[] = {0.10, 0.05, 0.025, 0.01, 0.001};
    const struct
    {
        double degrees;
        const char* upper[5];
        const char* lower[5];
    } nist[] = {
        {1, {"2.706", "3.841", "5.024", "6.635", "10.828"}, {".016", ".004", ".001", ".000", ".000"}},
        {2, {"4.605", "5.991", "7.378", "9.210", "13.816"}, {".211", ".103", ".051", ".020", ".002"}},
        {5, {"9.236", "11.070", "12.833", "15.086", "20.515"}, {"1.610", "1.145", ".831", ".554", ".210"}},
        {10, {"15.987", "18.307", "20.483", "23.209", "29.588"}, {"4.865", "3.940", "3.247", "2.558", "1.479"}},
        {30, {"40.256", "43.773", "46.979", "50.892", "59.703"}, {"20.599", "18.493", "16.791", "14.953", "11.588"}},
        {100,
         {"118.498", "124.342", "129.561", "135.807", "149.449"},
         {"82.358", "77.929", "74.222", "70.065", "61.918"}},
    };
    for (const auto& row : nist)
        for (int i = 0; i < 5; ++i) {
            QTest::addRow("%g at %g", row.degrees, upper[i]) << row.degrees << upper[i] << row.upper[i];
            QTest::addRow("%g at %g", row.degrees, lower[i]) << row.degrees << lower[i] << row.lower[i];
        }
    // Thompson's percentage points (Biometrika, 1941), with the digits the small lower
    // quantiles lack above.
    QTest::newRow("1 at 0.005") << 1.0 << 0.005 << "0.0000393";
    QTest::newRow("1 at 0.01, 7 places") << 1.0 << 0.01 << "0.0001571";
    QTest::newRow("1 at 0.05, 7 places") << 1.0 << 0.05 << "0.0039321";
    QTest::newRow("2 at 0.01, 7 places") << 2.0 << 0.01 << "0.0201007";
    QTest::newRow("5 at 0.995") << 5.0 << 0.995 << "16.7496";
    QTest::newRow("100 at 0.005") << 100.0 << 0.005 << "67.3276";
    QTest::newRow("100 at 0.995") << 100.0 << 0.995 << "140.169";
}

void TestConfidenceBound::chiSquareQuantileMatchesTables()
{
    QFETCH(double, degrees);
    QFETCH(double, probability);
    QFETCH(QString, table);
    const double got = chiSquareQuantile(degrees, probability);
    QVERIFY2(std::abs(got - table.toDouble()) <= halfLastDigit(table), qPrintable(QString::number(got, 'g', 10)));
}

void TestConfidenceBound::studentTQuantileMatchesTables_data()
{
    QTest::addColumn<double>("degrees");
    QTest::addColumn<double>("probability"); // P(T <= t)
    QTest::addColumn<QString>("table");
    // NIST/SEMATECH e-Handbook 1.3.6.7.2, exceeded with probability 0.10 to 0.001. Two cells
    // of its 0.001 column are off in the last digit (318.313, 4.143): those two are from the
    // Student's t table in JASA (1959), as in most other tables.
    const double probability[] = {0.90, 0.95, 0.975, 0.99, 0.995, 0.999};
    const struct
    {
        double degrees;
        const char* values[6];
    } table[] = {
        {1, {"3.078", "6.314", "12.706", "31.821", "63.657", "318.309"}},
        {2, {"1.886", "2.920", "4.303", "6.965", "9.925", "22.327"}},
        {5, {"1.476", "2.015", "2.571", "3.365", "4.032", "5.893"}},
        {10, {"1.372", "1.812", "2.228", "2.764", "3.169", "4.144"}},
        {30, {"1.310", "1.697", "2.042", "2.457", "2.750", "3.385"}},
        {100, {"1.290", "1.660", "1.984", "2.364", "2.626", "3.174"}},
        // The table's last row, the normal quantiles; a million degrees are within 1e-5 of them.
        {1e6, {"1.282", "1.645", "1.960", "2.326", "2.576", "3.090"}},
    };
    for (const auto& row : table)
        for (int i = 0; i < 6; ++i) {
            const QString value = QString::fromLatin1(row.values[i]);
            QTest::addRow("%g at %g", row.degrees, probability[i]) << row.degrees << probability[i] << value;
            // The lower tail by symmetry.
            QTest::addRow("%g at %.3g", row.degrees, 1 - probability[i])
                << row.degrees << 1 - probability[i] << QLatin1Char('-') + value;
        }
}

void TestConfidenceBound::studentTQuantileMatchesTables()
{
    QFETCH(double, degrees);
    QFETCH(double, probability);
    QFETCH(QString, table);
    const double got = studentTQuantile(degrees, probability);
    QVERIFY2(std::abs(got - table.toDouble()) <= halfLastDigit(table), qPrintable(QString::number(got, 'g', 10)));
}

QTEST_GUILESS_MAIN(TestConfidenceBound)
#include "test_confidence_bound.moc"
