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

QTEST_GUILESS_MAIN(TestConfidenceBound)
#include "test_confidence_bound.moc"
