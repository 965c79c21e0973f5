#include "support/FormDriver.h"
#include "support/QuietLine.h"

#include "support/MemoryPortBackend.h"
#include "ui/BoundTexts.h"

#include <QHelpEvent>
#include <QTest>
#include <QToolTip>

// The window's BER displays explain, on hover, what the report on screen
// allows one to claim.
class TestBoundTooltips : public QObject
{
    Q_OBJECT

private slots:
    void berShowsTheBoundOfTheReportOnScreen();
    void texts();
};

void TestBoundTooltips::berShowsTheBoundOfTheReportOnScreen()
{
    auto port = std::make_unique<serial::MemoryPortBackend>();
    serial::MemoryPortBackend* backend = port.get();
    FormDriver driver(std::move(port), [](int port) { return QStringLiteral("mem%1").arg(port); });
    driver.click("cmd_start");
    const auto receive = [&](const char* hex) {
        backend->deliver(QByteArray::fromHex(hex));
        waitForQuietLine();
    };

    // What hovering over the BER display shows.
    const auto hoverTip = [&] {
        auto* ber = driver.element<ui::ValueDisplay>("txt_BER");
        QHelpEvent hover(QEvent::ToolTip, QPoint(2, 2), ber->mapToGlobal(QPoint(2, 2)));
        QCoreApplication::sendEvent(ber, &hover);
        return QToolTip::text();
    };
    receive("F1FFFF0000000000000000AA"); // 65535 frames, no error
    QCOMPARE(hoverTip(), QString("below 8.9 E-8 at 95 % confidence (0 errors in 3.4 E7 bits)"));
    receive("F107D000000001000000650B"); // 2000 frames, 101 bit errors
    QCOMPARE(hoverTip(), QString("below 1.2 E-4 at 95 % confidence (101 errors in 1.0 E6 bits)"));
    QCOMPARE(driver.text("txt_BER"), QString("9.863 E-5")); // the display text is untouched
    QVERIFY(driver.element<ui::ValueDisplay>("txt_BER_Loss")->toolTip().contains("not a Poisson count"));
}

void TestBoundTooltips::texts()
{
    QCOMPARE(ui::berBoundText(0, 65535ull * 512, 0.95),
             QStringLiteral("below 8.9 E-8 at 95 % confidence (0 errors in 3.4 E7 bits)"));
    QCOMPARE(ui::shortScientific(9.96e-5), QStringLiteral("1.0 E-4"));
    QVERIFY(ui::berBoundText(0, 0, 0.95).contains("no frame"));
}

QTEST_MAIN(TestBoundTooltips)
#include "test_bound_tooltips.moc"
