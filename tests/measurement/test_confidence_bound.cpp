#include "measurement/ConfidenceBound.h"

#include <QTest>

#include <cmath>
#include <random>

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
    void followedMeansAreTheFreshOnes_data();
    void followedMeansAreTheFreshOnes();
    void chiSquareQuantileMatchesTables_data();
    void chiSquareQuantileMatchesTables();
    void studentTQuantileMatchesTables_data();
    void studentTQuantileMatchesTables();
    void agreesWithEarlierBuild_data();
    void agreesWithEarlierBuild();
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

void TestConfidenceBound::followedMeansAreTheFreshOnes_data()
{
    QTest::addColumn<double>("confidence");
    QTest::addColumn<quint64>("start");
    for (const double confidence : {0.5, 0.95, 0.999999})
        for (const quint64 start : {0ull, 1'000ull, 3'000'000ull, 400'000'000ull})
            QTest::addRow("%g from %llu", confidence, start) << confidence << start;
}

// Counts that grow by steps of every size, fall now and then and stand
// still: the means followed from the one before are the fresh ones, to a
// few units in the last place, past the point where a fresh one is taken.
void TestConfidenceBound::followedMeansAreTheFreshOnes()
{
    QFETCH(double, confidence);
    QFETCH(quint64, start);
    PoissonUpperMeans means(confidence);
    std::mt19937_64 random(36);
    quint64 errors = start;
    for (int i = 0; i < PoissonUpperMeans::kFreshEvery + 300; ++i) {
        const quint64 reach = 2 + quint64(std::sqrt(double(errors)) * (i % 50 ? 0.6 : 3));
        errors = i % 97 == 96 ? errors / 2 : errors + random() % reach;
        const double fresh = poissonUpperMean(errors, confidence);
        QVERIFY2(std::abs(means(errors) - fresh) <= 1e-14 * fresh, qPrintable(QString::number(errors)));
    }
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

void TestConfidenceBound::agreesWithEarlierBuild_data()
{
    QTest::addColumn<double>("got");
    QTest::addColumn<double>("earlier");
    // What the bounds and quantiles were, to 17 digits, when they came from hand-written
    // inversions of the incomplete gamma and beta functions. Recordings made then and now
    // must agree: the CSV holds 9 digits of the upper bound.
    const double confidences[] = {0.5, 0.9, 0.95, 0.999999};
    const struct
    {
        quint64 errors;
        double upper[4], lower[4];
    } poisson[] = {
        {0, {0.69314718055994551, 2.3025850929940286, 2.995732273553962, 13.815510557935516}, {0, 0, 0, 0}},
        {1,
         {1.678346990016661, 3.8897201698674033, 4.7438645183905779, 16.68842079082944},
         {0.69314718055994551, 0.1053605156578263, 0.051293294387550557, 1.0000005000290893e-06}},
        {2,
         {2.6740603137235599, 5.3223203378342108, 6.2957936218719874, 19.129168188572923},
         {1.678346990016661, 0.53181160838961183, 0.35536151069866218, 0.0014148806614996952}},
        {7,
         {7.6692494425007958, 11.770914461548054, 13.148113802432121, 29.162195007156932},
         {6.6696370745497715, 3.8947668048761832, 3.2853156918946711, 0.49981903422946561}},
        {50,
         {50.667056759388252, 60.339440147354388, 63.287074095747165, 92.395685949722406},
         {49.667064617994086, 41.179067906178524, 38.964732582508546, 23.250665357970856}},
        {400,
         {400.66671597109382, 426.86763957212611, 434.49680915269226, 503.48342267110638},
         {399.66671609446774, 374.59261856059913, 367.681174061749, 312.02158554985431}},
        {3000,
         {3000.6666732496142, 3071.4158098204689, 3091.6722802023451, 3268.6344160550461},
         {2999.6666732518615, 2930.0241353525662, 2910.4797430112658, 2746.8042844297543}},
    };
    for (const auto& row : poisson)
        for (int i = 0; i < 4; ++i) {
            QTest::addRow("upper, %llu errors at %g", row.errors, confidences[i])
                << poissonUpperMean(row.errors, confidences[i]) << row.upper[i];
            QTest::addRow("lower, %llu errors at %g", row.errors, confidences[i])
                << poissonLowerMean(row.errors, confidences[i]) << row.lower[i];
        }
    const double probabilities[] = {0.001, 0.01, 0.05, 0.95, 0.99, 0.999};
    struct Quantiles
    {
        double degrees;
        double values[6];
    };
    const Quantiles chiSquare[] = {
        {1,
         {1.5707971492624938e-06, 0.0001570878579097023, 0.0039321400000195284, 3.8414588206941214, 6.63489660102121,
          10.827566170662728}},
        {2,
         {0.0020010006671670687, 0.020100671707002887, 0.10258658877510111, 5.991464547107924, 9.2103403719761126,
          13.81551055796427}},
        {5,
         {0.2102126026292192, 0.55429807672827724, 1.1454762260617699, 11.070497693516353, 15.086272469388989,
          20.515005652432873}},
        {10,
         {1.4787434638356654, 2.5582121601872068, 3.9402991361190618, 18.307038053275139, 23.209251158954359,
          29.588298445074422}},
        {30,
         {11.587951045645054, 14.95345652845543, 18.492660981953478, 43.772971825742204, 50.892181311517099,
          59.70306430442993}},
        {100,
         {61.917939206936587, 70.064894925399699, 77.929465165017092, 124.34211340400445, 135.8067231710269,
          149.44925277903872}},
    };
    const Quantiles studentT[] = {
        {1,
         {-318.30883898555476, -31.820515953774702, -6.3137515146752321, 6.3137515146752321, 31.820515953774702,
          318.30883898555476}},
        {2,
         {-22.327124770120463, -6.9645567342834056, -2.9199855803536821, 2.9199855803536821, 6.9645567342834056,
          22.327124770120463}},
        {5,
         {-5.8934295313558778, -3.3649299989073143, -2.0150483733330589, 2.0150483733330589, 3.3649299989073143,
          5.8934295313558778}},
        {10,
         {-4.143700494046584, -2.7637694581127334, -1.812461122811726, 1.812461122811726, 2.7637694581127334,
          4.143700494046584}},
        {30,
         {-3.3851848668292632, -2.457261542400488, -1.6972608865939378, 1.6972608865939378, 2.457261542400488,
          3.3851848668292632}},
        {100,
         {-3.173739493738708, -2.3642173662384494, -1.6602343260852308, 1.6602343260852308, 2.3642173662384494,
          3.173739493738708}},
    };
    for (int i = 0; i < 6; ++i) {
        for (const auto& row : chiSquare)
            QTest::addRow("chi-square, %g degrees at %g", row.degrees, probabilities[i])
                << chiSquareQuantile(row.degrees, probabilities[i]) << row.values[i];
        for (const auto& row : studentT)
            QTest::addRow("Student t, %g degrees at %g", row.degrees, probabilities[i])
                << studentTQuantile(row.degrees, probabilities[i]) << row.values[i];
    }
}

void TestConfidenceBound::agreesWithEarlierBuild()
{
    QFETCH(double, got);
    QFETCH(double, earlier);
    QVERIFY2(std::abs(got - earlier) <= 1e-12 * std::abs(earlier),
             qPrintable(QString::number(got, 'g', 17) + " against " + QString::number(earlier, 'g', 17)));
}

QTEST_GUILESS_MAIN(TestConfidenceBound)
#include "test_confidence_bound.moc"
