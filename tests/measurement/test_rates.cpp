#include "FakeStatusView.h"
#include "measurement/Rates.h"

#include <QtTest>

#include <cmath>
#include <limits>
#include <random>

using measurement::StatusDisplay;

class TestRates : public QObject
{
    Q_OBJECT
private slots:
    void cleanup() { QLocale::setDefault(QLocale::c()); }
    void formatBer_data();
    void formatBer();
    void rates_data();
    void rates();
    void rateTextsAreTheWindowsTexts_data() { rates_data(); }
    void rateTextsAreTheWindowsTexts();
    void textsAsTheLocaleWritesThem_data();
    void textsAsTheLocaleWritesThem();
    void resetStatus();
    void unreadableCountLeavesItsRatesAsTheyWere();
};

void TestRates::formatBer_data()
{
    QTest::addColumn<double>("a");
    QTest::addColumn<QString>("text");
    QTest::newRow("zero") << 0.0 << "0.0 E+0";
    QTest::newRow("one") << 1.0 << "1.0 E+0";
    QTest::newRow("half") << 0.5 << "5 E-1";
    QTest::newRow("quarter") << 0.25 << "2.5 E-1";
    QTest::newRow("0.1 lands on 1.0 and takes one more step") << 0.1 << "10 E-2";
    QTest::newRow("0.01") << 0.01 << "9.999 E-3";
    QTest::newRow("0.001") << 0.001 << "1 E-3";
    QTest::newRow("1/512") << 1.0 / 512 << "1.953 E-3";
    QTest::newRow("5 bits in 1000 frames") << 5.0 / (1000 * 512) << "9.765 E-6";
    QTest::newRow("above one") << 2.5 << "25 E-1";
    QTest::newRow("smallest single") << double(std::numeric_limits<float>::denorm_min()) << "1.401 E-45";
    QTest::newRow("below single range") << 1e-60 << "0.0 E+0";
    QTest::newRow("negative") << -0.5 << "";
    QTest::newRow("infinite") << std::numeric_limits<double>::infinity() << "N/A";
    QTest::newRow("not a number") << std::numeric_limits<double>::quiet_NaN() << "N/A";
    QTest::newRow("beyond single range") << 1e300 << "N/A";
}

void TestRates::formatBer()
{
    QFETCH(double, a);
    QFETCH(QString, text);
    QCOMPARE(measurement::formatBer(a), text);
}

void TestRates::textsAsTheLocaleWritesThem_data()
{
    QTest::addColumn<QLocale>("locale");
    QTest::newRow("C") << QLocale::c();
    QTest::newRow("decimal comma") << QLocale(QLocale::German, QLocale::Germany);
    QTest::newRow("grouping") << QLocale(QLocale::English, QLocale::UnitedStates);
    QTest::newRow("other digits") << QLocale(QLocale::Arabic, QLocale::Egypt);
    QLocale trailingZeros(QLocale::French, QLocale::France);
    trailingZeros.setNumberOptions(QLocale::IncludeTrailingZeroesAfterDot);
    QTest::newRow("trailing zeros") << trailingZeros;
}

// The texts are the locale's own writing of the mantissa and the percentage,
// however they are made: every rate a count of up to 2^32 bits gives.
void TestRates::textsAsTheLocaleWritesThem()
{
    QFETCH(QLocale, locale);
    QLocale::setDefault(locale);
    QLocale mantissas = locale;
    mantissas.setNumberOptions(locale.numberOptions() | QLocale::OmitGroupSeparator);
    std::mt19937 random(36);
    for (int i = 0; i < 20'000; ++i) {
        const quint32 frames = 1 + random() % (i % 2 ? 65535 : 300);
        const quint32 errors = i % 3 ? random() % (frames * 2) : random();
        const float ber = float(errors) / float(frames * 512ull);
        float m = ber;
        int n = 0;
        while (ber != 0 && (n == 0 || !(m > 1.0f))) {
            m *= 10.0f;
            ++n;
        }
        if (ber != 0 && ber != 1)
            QCOMPARE(measurement::formatBer(ber), mantissas.toString(double(m), 'g', 7).left(5) + " E-"
                                                      + QString::number(n));
        const float per = float(errors % (frames + 1)) / float(frames);
        QCOMPARE(measurement::percentText(per), locale.toString(double(per) * 100.0, 'f', 2) + '%');
    }
}

void TestRates::rates_data()
{
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<QList<quint64>>("counts"); // received, lost, error frames, error bits
    QTest::addColumn<QStringList>("rates");     // BER, BER with loss, PER, PER with loss
    const QLocale c = QLocale::c();
    QTest::newRow("with losses") << c << QList<quint64>{1000, 10, 2, 5}
                                 << QStringList{"9.765 E-6", "9.910 E-3", "0.20%", "1.19%"};
    QTest::newRow("without losses") << c << QList<quint64>{1000, 0, 2, 5}
                                    << QStringList{"9.765 E-6", "9.765 E-6", "0.20%", "0.20%"};
    QTest::newRow("every bit wrong") << c << QList<quint64>{1, 0, 1, 512}
                                     << QStringList{"1.0 E+0", "1.0 E+0", "100.00%", "100.00%"};
    QTest::newRow("no errors") << c << QList<quint64>{65535, 0, 0, 0}
                               << QStringList{"0.0 E+0", "0.0 E+0", "0.00%", "0.00%"};
    QTest::newRow("more error bits than bits")
        << c << QList<quint64>{1, 0, 0, 1280} << QStringList{"25 E-1", "25 E-1", "0.00%", "0.00%"};
    QTest::newRow("nothing received yet") << c << QList<quint64>{0, 0, 0, 0} << QStringList{"N/A", "N/A", "N/A", "N/A"};
    QTest::newRow("only lost frames") << c << QList<quint64>{0, 4, 0, 0}
                                      << QStringList{"N/A", "1.0 E+0", "N/A", "100.00%"};
    // Above 2^24 the bit count is rounded to the nearest single-precision value.
    QTest::newRow("bit count above 2^24")
        << c << QList<quint64>{65535, 0, 0, 4294967295} << QStringList{"1280. E-1", "1280. E-1", "0.00%", "0.00%"};
    const QLocale german(QLocale::German, QLocale::Germany);
    QTest::newRow("decimal comma") << german << QList<quint64>{1000, 10, 2, 5}
                                   << QStringList{"9,765 E-6", "9,910 E-3", "0,20%", "1,19%"};
    // The percent text groups digits as the locale does; the BER mantissa never does.
    QTest::newRow("grouping") << QLocale(QLocale::English, QLocale::UnitedStates) << QList<quint64>{1, 0, 65535, 0}
                              << QStringList{"0.0 E+0", "0.0 E+0", "6,553,500.00%", "6,553,500.00%"};
    QTest::newRow("fixed texts keep the point")
        << german << QList<quint64>{1, 0, 1, 512} << QStringList{"1.0 E+0", "1.0 E+0", "100,00%", "100,00%"};
}

void TestRates::rates()
{
    QFETCH(QLocale, locale);
    QFETCH(QList<quint64>, counts);
    QFETCH(QStringList, rates);
    QLocale::setDefault(locale);
    FakeStatusView view;
    view.setCounts(counts[0], counts[1], counts[2], counts[3]);

    measurement::applyRates(view);

    QCOMPARE(view.texts[StatusDisplay::Ber], rates[0]);
    QCOMPARE(view.texts[StatusDisplay::BerLoss], rates[1]);
    QCOMPARE(view.texts[StatusDisplay::Per], rates[2]);
    QCOMPARE(view.texts[StatusDisplay::PerLoss], rates[3]);
}

// The recorder and the test record take the texts from rateTexts(), the
// window from its rate steps on the count displays: the same, bit for bit.
void TestRates::rateTextsAreTheWindowsTexts()
{
    QFETCH(QLocale, locale);
    QFETCH(QList<quint64>, counts);
    QLocale::setDefault(locale);
    FakeStatusView view;
    view.setCounts(counts[0], counts[1], counts[2], counts[3]);
    measurement::applyRates(view);

    const std::array<QString, 4> texts = measurement::rateTexts({counts[0], counts[1], counts[2], counts[3]});

    using D = StatusDisplay;
    const D displays[] = {D::Ber, D::BerLoss, D::Per, D::PerLoss};
    for (size_t i = 0; i < texts.size(); ++i)
        QCOMPARE(texts[i].toUtf8(), view.texts[displays[i]].toUtf8());
}

void TestRates::resetStatus()
{
    FakeStatusView view;
    view.setCounts(1000, 10, 2, 5);
    measurement::applyRates(view);
    view.hexLine = " F1";

    measurement::resetStatus(view);

    // The eight start texts, and nothing else written.
    using D = StatusDisplay;
    const QHash<StatusDisplay, QString> startTexts = {
        {D::RecvFrame, "0"}, {D::LossFrame, "0"},     {D::ErrorFrame, "0"}, {D::ErrorBit, "0"},
        {D::Ber, "0.0 E+0"}, {D::BerLoss, "0.0 E+0"}, {D::Per, "0.0 E+0"},  {D::PerLoss, "0.0 E+0"},
    };
    QCOMPARE(view.texts, startTexts);
    QCOMPARE(view.hexLine, QString(" F1"));
}

void TestRates::unreadableCountLeavesItsRatesAsTheyWere()
{
    FakeStatusView view;
    view.setCounts(1000, 10, 2, 5);
    view.texts[StatusDisplay::ErrorBit] = "";

    measurement::applyRates(view);

    // Both BER steps fail, the write that follows keeps the last rate value:
    // the start value 0 for the first, and the failed second step leaves the
    // first quotient in place, 0 again.
    QCOMPARE(view.texts[StatusDisplay::Ber], QString("0.0 E+0"));
    QCOMPARE(view.texts[StatusDisplay::BerLoss], QString("0.0 E+0"));
    QCOMPARE(view.texts[StatusDisplay::Per], QString("0.20%"));
    QCOMPARE(view.texts[StatusDisplay::PerLoss], QString("1.19%"));
}

QTEST_GUILESS_MAIN(TestRates)
#include "test_rates.moc"
