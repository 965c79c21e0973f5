#include "ui/ElementStyle.h"
#include "ui/ValueDisplay.h"

#include <QAccessible>
#include <QLabel>
#include <QtTest>

namespace ui {

class ValueDisplayTest : public QObject
{
    Q_OBJECT
private slots:
    void drawnAsACaption_data();
    void drawnAsACaption();
    void readByScreenReaders();
};

void ValueDisplayTest::drawnAsACaption_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("alignment");
    QTest::addColumn<int>("frame");
    const int left = Qt::AlignLeft | Qt::AlignVCenter;
    const int panel = QFrame::Panel | QFrame::Sunken;
    QTest::newRow("count") << "4294967295" << left << int(QFrame::NoFrame);
    QTest::newRow("rate") << "9.765 E-6" << left << int(QFrame::NoFrame);
    QTest::newRow("hex line in a panel") << " F1 03 E8 00 0A 00 02 00 00 00 05 7F" << left << panel;
    QTest::newRow("time, centred in a panel") << "12:34:56" << int(Qt::AlignCenter) << panel;
    QTest::newRow("right, in a panel") << "N/A" << int(Qt::AlignRight | Qt::AlignTop) << panel;
    QTest::newRow("wider than the display") << QString(40, QLatin1Char('8')) << left << int(QFrame::NoFrame);
    QTest::newRow("empty") << "" << left << panel;
}

// Pixel for pixel what a plain-text label of the same style shows.
void ValueDisplayTest::drawnAsACaption()
{
    QFETCH(QString, text);
    QFETCH(int, alignment);
    QFETCH(int, frame);
    QLabel label;
    label.setTextFormat(Qt::PlainText);
    label.setText(text);
    ValueDisplay display(text);
    QPalette palette;
    palette.setColor(QPalette::WindowText, Qt::blue);
    for (QFrame* widget : {static_cast<QFrame*>(&label), static_cast<QFrame*>(&display)}) {
        widget->setFixedSize(160, 22);
        widget->setFont(elementFont(FontStyle::Bold975));
        widget->setPalette(palette);
        widget->setAutoFillBackground(true);
        widget->setFrameStyle(frame);
    }
    label.setAlignment(Qt::Alignment(alignment));
    display.setAlignment(Qt::Alignment(alignment));
    QCOMPARE(display.grab().toImage(), label.grab().toImage());
}

void ValueDisplayTest::readByScreenReaders()
{
    ValueDisplay display(QStringLiteral("0.0 E+0"));
    QAccessibleInterface* reader = QAccessible::queryAccessibleInterface(&display);
    QVERIFY(reader);
    QCOMPARE(reader->role(), QAccessible::StaticText);
    QCOMPARE(reader->text(QAccessible::Name), QString("0.0 E+0"));
    display.setText(QStringLiteral("1000"));
    QCOMPARE(reader->text(QAccessible::Name), QString("1000"));
    display.setAccessibleName(QStringLiteral("Frames received"));
    QCOMPARE(reader->text(QAccessible::Name), QString("Frames received"));
}

} // namespace ui

QTEST_MAIN(ui::ValueDisplayTest)
#include "test_value_display.moc"
