// A row's numbers and time in the recording are exactly the texts Qt gives
// them (QString::number, Qt::ISODateWithMs), which the readers parse back;
// texts with separators are quoted.
#include "recording/RecordingColumns.h"
#include "recording/RecordingWriter.h"

#include <QTest>

#include <cmath>
#include <random>

using namespace recording;

class TestRecordingWriter : public QObject
{
    Q_OBJECT
private slots:
    void numbersAndTimesAsQtWritesThem();
    void textsQuotedWhereTheyHoldSeparators_data();
    void textsQuotedWhereTheyHoldSeparators();
};

namespace {

QList<QByteArray> csvFieldsOf(const WrittenRow& row)
{
    const QByteArray line = csvLine(row);
    return csvFields(line.chopped(1)).value();
}

} // namespace

void TestRecordingWriter::numbersAndTimesAsQtWritesThem()
{
    std::mt19937_64 random(36);
    std::uniform_int_distribution<qint64> moment(-62'000'000'000'000, 260'000'000'000'000); // years 0 to 10208
    std::uniform_real_distribution<double> exponent(-320, 20);
    std::uniform_int_distribution<quint64> count(0, std::numeric_limits<quint64>::max() >> (random() % 64));
    for (int i = 0; i < 20'000; ++i) {
        WrittenRow row;
        row.time = QDateTime::fromMSecsSinceEpoch(i % 2 ? moment(random) : moment(random) % 4'000'000'000'000, Qt::UTC);
        row.elapsedSeconds = double(random() % 4'000'000'000'000) / (i % 3 ? 1000 : 7);
        const double rate = std::pow(10.0, exponent(random)) * (i % 5 ? 1 : 1.0 / 3);
        row.counts = measurement::ReportCounts{quint16(random()), quint16(random()), quint16(random()), quint32(random())};
        row.rates = {float(rate), i % 7 ? float(rate * 3) : NAN, float(1 / (rate + 1)), float(i % 11) / 3};
        row.run = {.bits = count(random), .errorBits = count(random), .berUpper = rate / 7,
                   .frames = count(random), .lostFrames = count(random), .errorFrames = count(random)};
        const QList<QByteArray> f = csvFieldsOf(row);
        QCOMPARE(f.size(), int(ColumnCount));
        QCOMPARE(f[Time], row.time.toString(Qt::ISODateWithMs).toUtf8());
        QCOMPARE(f[Elapsed], QByteArray::number(row.elapsedSeconds, 'f', 3));
        const auto significant = [](double v) { return std::isfinite(v) ? QString::number(v, 'g', 9).toUtf8() : ""; };
        QCOMPARE(f[Ber], significant(row.rates.ber));
        QCOMPARE(f[BerLoss], significant(row.rates.berLoss));
        QCOMPARE(f[Per], significant(row.rates.per));
        QCOMPARE(f[PerLoss], significant(row.rates.perLoss));
        QCOMPARE(f[ErrorBits], QByteArray::number(row.counts->errorBit));
        QCOMPARE(f[RunBits], QByteArray::number(row.run.bits));
        QCOMPARE(f[RunErrorFrames], QByteArray::number(row.run.errorFrames));
        QCOMPARE(f[RunBerUpper], row.run.bits > 0 ? significant(row.run.berUpper) : "");
    }
}

void TestRecordingWriter::textsQuotedWhereTheyHoldSeparators_data()
{
    QTest::addColumn<QString>("detail");
    QTest::addColumn<QByteArray>("written");
    QTest::newRow("plain") << "reports again after 1.5 s" << QByteArray("reports again after 1.5 s");
    QTest::newRow("empty") << "" << QByteArray("");
    QTest::newRow("comma") << "a, b" << QByteArray("\"a, b\"");
    QTest::newRow("quote") << "say \"x\"" << QByteArray("\"say \"\"x\"\"\"");
    QTest::newRow("line end") << "a\nb\r" << QByteArray("\"a\nb\r\"");
    QTest::newRow("not ASCII") << QStringLiteral("µs, 新細明體") << QStringLiteral("\"µs, 新細明體\"").toUtf8();
}

void TestRecordingWriter::textsQuotedWhereTheyHoldSeparators()
{
    QFETCH(QString, detail);
    QFETCH(QByteArray, written);
    WrittenRow row;
    row.time = QDateTime::fromMSecsSinceEpoch(1'765'000'000'123, Qt::UTC);
    row.event = QStringLiteral("silent");
    row.detail = detail;
    // No counts: twelve empty fields; no bits: no run BER.
    QCOMPARE(csvLine(row), "2025-12-06T05:46:40.123Z,0.000,silent," + QByteArray(12, ',') + "0,0,,,0,0,0," + written
                               + '\n');
}

QTEST_MAIN(TestRecordingWriter)
#include "test_recording_writer.moc"
