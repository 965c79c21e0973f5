#include "support/MemoryPortBackend.h"
#include "support/FormDriver.h"
#include "support/QuietLine.h"
#include "ui/DropDownList.h"
#include "ui/ElementTable.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

namespace ui {

namespace {

const QByteArray kReport = QByteArray::fromHex("F103E8000A0002000000057F");
const QString kReportHex = QStringLiteral(" F1 03 E8 00 0A 00 02 00 00 00 05 7F");

QString memoryDevice(int port)
{
    return QStringLiteral("mem%1").arg(port);
}

std::unique_ptr<serial::MemoryPortBackend> memoryPort(const QStringList& refused)
{
    auto port = std::make_unique<serial::MemoryPortBackend>();
    for (const QString& device : refused)
        port->refuse(device, QStringLiteral("Permission denied"), QSerialPort::PermissionError);
    return port;
}

struct MemoryPortHolder
{
    serial::MemoryPortBackend* backend;
};

// A window on an in-memory port, loaded as at start-up.
struct Bench : MemoryPortHolder, FormDriver
{
    explicit Bench(const QStringList& refused = {})
        : Bench(memoryPort(refused))
    {
    }
    // A burst of bytes, and then the line is quiet.
    void receive(const QByteArray& bytes) const
    {
        backend->deliver(bytes);
        waitForQuietLine(serial::CommControlSeam::settings(*comm()).section(',', 0, 0).toInt());
    }

private:
    explicit Bench(std::unique_ptr<serial::MemoryPortBackend> port)
        : MemoryPortHolder{port.get()}
        , FormDriver(std::move(port), memoryDevice)
    {
    }
};

} // namespace

class Form1Test : public QObject
{
    Q_OBJECT
private slots:
    void startUpOpensPortOne();
    void startUpWithPortThatDoesNotOpen();
    void choosingPort16();
    void portEntriesNameTheirDevicesAsTheyCome();
    void statusCaptionShownWhole();
    void portChangeWhileRunningKeepsReportsFlowing();
    void baudChangeOnClosedPortIsUsedAtNextOpen();
    void rejectedBaudRateKeepsProgramRunning();
    void rejectedBaudRateThatCannotBeUndoneLosesTheDevice();
    void startDropsBacklogAndResets();
    void stopKeepsDisplays();
    void startWithoutOpenPortDoesNotEnd();
    void lostDeviceTurnsLabelRed();
    void closeRequest_data();
    void closeRequest();
    void closeFromCodeUnloads();
    void typedTextChangesNothing_data();
    void typedTextChangesNothing();
    void tabOrder();
    void windowAsDesigned();
    void elementsAsDesigned_data();
    void elementsAsDesigned();
    void spareRowIsNeverShown();
    void statusBarStaysDocked();
    void fastReportsAreShownAndPaintedAgain();
};

void Form1Test::startUpOpensPortOne()
{
    Bench bench;
    QCOMPARE(bench.form->windowTitle(), QString("KESMO BER Test Program 2020.08.18"));
    QCOMPARE(bench.element<QComboBox>("Combo_CommPort")->count(), 16);
    QCOMPARE(bench.element<QComboBox>("Combo_CommPort")->currentText(), QString("1"));
    QCOMPARE(bench.element<QComboBox>("Combo_BaudRate")->currentText(), QString("9600"));
    QCOMPARE(bench.element<QComboBox>("Combo_BaudRate")->itemText(2), QString("28800"));
    QVERIFY(bench.comm()->portOpen());
    QCOMPARE(bench.backend->device(), QString("mem1"));
    QCOMPARE(bench.backend->openCount(), 2); // opened, closed and opened again
    QCOMPARE(serial::CommControlSeam::settings(*bench.comm()), QString("9600,n,8,1"));
    QCOMPARE(serial::CommControlSeam::rThreshold(*bench.comm()), qint16(0));
    auto* status = bench.element<QLabel>("Label_ComPortStatus");
    QCOMPARE(status->text(), QString("Connecting....."));
    QCOMPARE(status->palette().color(QPalette::WindowText), QColor(0, 0, 255));
    QVERIFY(status->toolTip().contains("mem1"));
    QVERIFY(bench.notices.isEmpty());
    QVERIFY(!bench.form->hasEnded());
}

void Form1Test::startUpWithPortThatDoesNotOpen()
{
    Bench bench({"mem1"});
    auto* status = bench.element<QLabel>("Label_ComPortStatus");
    QCOMPARE(status->text(), QString("No Connecting....."));
    QCOMPARE(status->palette().color(QPalette::WindowText), QColor(255, 0, 0));
    QVERIFY(status->toolTip().contains("Permission denied"));
    QVERIFY(status->toolTip().contains("dialout"));
    QVERIFY(!bench.comm()->portOpen());
    QVERIFY(bench.notices.isEmpty());
    QVERIFY(!bench.form->hasEnded());

    bench.choose("Combo_CommPort", 1); // the window stays usable
    QCOMPARE(status->text(), QString("Connecting....."));
    QCOMPARE(bench.backend->device(), QString("mem2"));
}

void Form1Test::choosingPort16()
{
    Bench bench;
    bench.choose("Combo_CommPort", 15);
    QCOMPARE(bench.comm()->commPort(), qint16(16));
    QCOMPARE(bench.backend->device(), QString("mem16"));
}

void Form1Test::portEntriesNameTheirDevicesAsTheyCome()
{
    int present = 1;
    auto port = std::make_unique<serial::MemoryPortBackend>();
    port->refuse(QString(), QStringLiteral("No such file or directory"),
                 QSerialPort::DeviceNotFoundError); // as a real port does
    FormDriver window(std::move(port), [&](int n) { return n <= present ? memoryDevice(n) : QString(); });
    auto* list = window.element<DropDownList>("Combo_CommPort");
    const auto tip = [&](int index) { return list->itemData(index, Qt::ToolTipRole).toString(); };
    QCOMPARE(tip(0), QString("mem1"));
    QCOMPARE(tip(1), QString("no serial device for port 2"));

    // A device plugged in while the program runs shows when the list opens.
    present = 2;
    emit list->aboutToOpen();
    QCOMPARE(tip(1), QString("mem2"));
    QCOMPARE(tip(15), QString("no serial device for port 16"));

    window.choose("Combo_CommPort", 2);
    auto* status = window.element<QLabel>("Label_ComPortStatus");
    QCOMPARE(status->text(), QString("No Connecting....."));
    QCOMPARE(status->toolTip(), QString("no serial device for port 3"));
}

void Form1Test::statusCaptionShownWhole()
{
    Bench bench;
    auto* status = bench.element<QLabel>("Label_ComPortStatus");
    for (const QString& caption : {kConnectedCaption, kNotConnectedCaption})
        QVERIFY2(status->fontMetrics().horizontalAdvance(caption) <= status->contentsRect().width(),
                 qPrintable(caption));
    // It grows to the right, within its group.
    const QRect group = bench.element("Frame_ComPortSelect")->contentsRect();
    QVERIFY(status->geometry().right() <= group.right());
}

void Form1Test::portChangeWhileRunningKeepsReportsFlowing()
{
    Bench bench;
    bench.click("cmd_start");
    bench.receive(kReport);
    QCOMPARE(bench.text("txt_RecvFrame"), QString("1000"));
    QCOMPARE(bench.text("txt_BER_Loss"), QString("9.910 E-3"));
    QCOMPARE(bench.hexLine(), kReportHex);

    bench.choose("Combo_CommPort", 2);
    QCOMPARE(bench.backend->device(), QString("mem3"));
    bench.receive(QByteArray::fromHex("F107D0000000000000000000"));
    QCOMPARE(bench.text("txt_RecvFrame"), QString("2000"));
}

void Form1Test::baudChangeOnClosedPortIsUsedAtNextOpen()
{
    Bench bench({"mem2"});
    bench.choose("Combo_CommPort", 1);
    QVERIFY(!bench.comm()->portOpen());

    bench.choose("Combo_BaudRate", 2);
    QCOMPARE(serial::CommControlSeam::settings(*bench.comm()), QString("28800,n,8,1"));

    bench.choose("Combo_CommPort", 0);
    QVERIFY(bench.comm()->portOpen());
    QCOMPARE(bench.backend->settings().baudRate, 28800);
}

void Form1Test::rejectedBaudRateKeepsProgramRunning()
{
    Bench bench;
    bench.backend->rejectBaudRate(115200);
    bench.choose("Combo_BaudRate", 5);
    QCOMPARE(bench.notices.size(), 1);
    QVERIFY(bench.notices[0].contains("115200,n,8,1"));
    QVERIFY(!bench.form->hasEnded());
    QCOMPARE(serial::CommControlSeam::settings(*bench.comm()), QString("9600,n,8,1"));
    QVERIFY(bench.comm()->portOpen());
}

void Form1Test::rejectedBaudRateThatCannotBeUndoneLosesTheDevice()
{
    Bench bench;
    QSignalSpy lost(bench.comm(), &serial::CommControl::deviceLost);
    bench.backend->rejectBaudRate(115200);
    bench.backend->refuseRestore();
    bench.choose("Combo_BaudRate", 5);
    // The refusal is told as for any rejected rate; the device is lost once.
    QCOMPARE(bench.notices.size(), 1);
    QVERIFY(bench.notices[0].contains("115200,n,8,1"));
    QCOMPARE(lost.count(), 1);
    QVERIFY(!bench.comm()->portOpen());
    QVERIFY(!bench.backend->isOpen());
    auto* status = bench.element<QLabel>("Label_ComPortStatus");
    QCOMPARE(status->text(), QString("No Connecting....."));
    QCOMPARE(status->palette().color(QPalette::WindowText), QColor(255, 0, 0));
    QVERIFY(status->toolTip().contains("cannot be set back to \"9600,n,8,1\""));
    QVERIFY(!bench.form->hasEnded());

    // Choosing the port again opens it on the settings the control kept.
    bench.choose("Combo_CommPort", 0);
    QVERIFY(bench.comm()->portOpen());
    QCOMPARE(bench.backend->settings().text(), QString("9600,n,8,1"));
}

void Form1Test::startDropsBacklogAndResets()
{
    Bench bench;
    bench.click("cmd_start");
    bench.receive(kReport);
    bench.click("cmd_stop");
    bench.receive(QByteArray::fromHex("F10001")); // backlog while stopped

    for (int press = 0; press < 2; ++press) {
        bench.click("cmd_start");
        QCOMPARE(bench.text("txt_RecvFrame"), QString("0"));
        QCOMPARE(bench.text("txt_ErrorBit"), QString("0"));
        QCOMPARE(bench.text("txt_PER"), QString("0.0 E+0"));
        QCOMPARE(bench.text("txt_PER_Loss"), QString("0.0 E+0"));
        QCOMPARE(serial::CommControlSeam::rThreshold(*bench.comm()), qint16(12));
        QVERIFY(bench.comm()->input().isEmpty());
    }
    // Had the backlog survived, these bytes would be read misaligned.
    bench.receive(QByteArray::fromHex("F1000A000000000000000000"));
    QCOMPARE(bench.text("txt_RecvFrame"), QString("10"));
}

void Form1Test::stopKeepsDisplays()
{
    Bench bench;
    bench.click("cmd_start");
    bench.receive(kReport);
    bench.click("cmd_stop");
    bench.click("cmd_stop");
    QCOMPARE(serial::CommControlSeam::rThreshold(*bench.comm()), qint16(0));
    bench.receive(QByteArray::fromHex("F1FFFFFFFFFFFFFFFFFFFF00"));
    QCOMPARE(bench.text("txt_RecvFrame"), QString("1000"));
    QCOMPARE(bench.text("txt_PER"), QString("0.20%"));
    QCOMPARE(bench.hexLine(), kReportHex);
}

void Form1Test::startWithoutOpenPortDoesNotEnd()
{
    Bench bench({"mem1"});
    bench.click("cmd_start");
    QVERIFY(!bench.form->hasEnded());
    QVERIFY(bench.notices.isEmpty());
    QCOMPARE(serial::CommControlSeam::rThreshold(*bench.comm()), qint16(12));
}

void Form1Test::lostDeviceTurnsLabelRed()
{
    Bench bench;
    bench.click("cmd_start");
    bench.backend->fail("Input/output error");
    auto* status = bench.element<QLabel>("Label_ComPortStatus");
    QCOMPARE(status->text(), QString("No Connecting....."));
    QCOMPARE(status->palette().color(QPalette::WindowText), QColor(255, 0, 0));
    QVERIFY(status->toolTip().contains("Input/output error"));
    QVERIFY(!bench.comm()->portOpen());
    QVERIFY(bench.notices.isEmpty());
    QVERIFY(!bench.form->hasEnded());
}

void Form1Test::closeRequest_data()
{
    QTest::addColumn<bool>("portOpen");
    QTest::addColumn<qint16>("origin");
    QTest::addColumn<bool>("ends");
    // Only the operator's close ends the program at once and keeps the window;
    // any other close unloads it. Either way the port is released.
    QTest::newRow("close box, port open") << true << qint16(Form1::ClosedByOperator) << true;
    QTest::newRow("close box, port closed") << false << qint16(Form1::ClosedByOperator) << true;
    QTest::newRow("from code, port open") << true << qint16(Form1::ClosedByCode) << false;
    QTest::newRow("from code, port closed") << false << qint16(Form1::ClosedByCode) << false;
    QTest::newRow("session ends, port open") << true << qint16(Form1::SessionEnds) << false;
    QTest::newRow("another program, port open") << true << qint16(Form1::EndedByAnother) << false;
}

void Form1Test::closeRequest()
{
    QFETCH(bool, portOpen);
    QFETCH(qint16, origin);
    QFETCH(bool, ends);
    Bench bench(portOpen ? QStringList{} : QStringList{"mem1"});
    QCOMPARE(bench.comm()->portOpen(), portOpen);
    const int opensBefore = bench.backend->openCount();

    const bool closed = bench.form->closeFor(Form1::CloseOrigin(origin));

    QCOMPARE(closed, !ends);
    QCOMPARE(bench.form->hasEnded(), ends);
    QCOMPARE(bench.form->exitStatus(), 0);
    QVERIFY(!bench.comm()->portOpen());
    QCOMPARE(bench.backend->openCount(), opensBefore);
}

void Form1Test::closeFromCodeUnloads()
{
    Bench bench;
    bench.form->show();
    QVERIFY(bench.form->close());
    QVERIFY(!bench.comm()->portOpen());
    QVERIFY(!bench.form->hasEnded());
}

void Form1Test::typedTextChangesNothing_data()
{
    QTest::addColumn<QString>("list");
    QTest::addColumn<QString>("typed");
    QTest::newRow("port list") << "Combo_CommPort"
                               << "3";
    QTest::newRow("baud list") << "Combo_BaudRate"
                               << "115200";
}

void Form1Test::typedTextChangesNothing()
{
    QFETCH(QString, list);
    QFETCH(QString, typed);
    Bench bench;
    bench.form->show();
    QVERIFY(QTest::qWaitForWindowExposed(bench.form.get()));
    auto* combo = bench.element<QComboBox>(list.toLatin1().constData());
    const int opensBefore = bench.backend->openCount();

    combo->setFocus();
    combo->lineEdit()->selectAll();
    QTest::keyClicks(combo->lineEdit(), typed);
    QTest::keyClick(combo->lineEdit(), Qt::Key_Return);
    QTest::keyClick(combo->lineEdit(), Qt::Key_Enter);
    bench.element("cmd_start")->setFocus(); // leaving the field chooses nothing either
    QCoreApplication::processEvents();

    QCOMPARE(combo->currentIndex(), 0);
    QCOMPARE(combo->count(), list == "Combo_CommPort" ? 16 : 6);
    QCOMPARE(bench.backend->openCount(), opensBefore);
    QCOMPARE(bench.comm()->commPort(), qint16(1));
    QCOMPARE(serial::CommControlSeam::settings(*bench.comm()), QString("9600,n,8,1"));
}

void Form1Test::tabOrder()
{
    Bench bench;
    bench.form->show();
    QVERIFY(QTest::qWaitForWindowActive(bench.form.get()));
    const QStringList cycle = {"cmd_start", "cmd_stop", "Combo_CommPort", "Combo_BaudRate", "cmd_start"};
    auto focusedElement = [] {
        QWidget* focused = QApplication::focusWidget();
        // A list's text field takes the focus on the list's behalf.
        if (focused && qobject_cast<QComboBox*>(focused->parentWidget()))
            focused = focused->parentWidget();
        return focused ? focused->objectName() : QString();
    };
    QCOMPARE(focusedElement(), cycle[0]);
    for (int i = 1; i < cycle.size(); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(focusedElement(), cycle[i]);
    }
}

void Form1Test::windowAsDesigned()
{
    Bench bench;
    QCOMPARE(bench.form->size(), QSize(453, 284));
    QCOMPARE(bench.form->windowIcon().availableSizes().value(0), QSize(32, 32));
    QCOMPARE(bench.element<QGroupBox>("Frame_ComPortSelect")->title(), QString("ComPort  Select"));
    QCOMPARE(bench.text("Label_RecvFrame"), QString("Rcecive Frame [1:2]:"));
    QCOMPARE(bench.element<ValueDisplay>("txt_BER")->palette().color(QPalette::WindowText), QColor(0, 0, 255));
}

void Form1Test::elementsAsDesigned_data()
{
    // Worked out by hand from the window's design: twips divided by 15 and
    // rounded (left, top, width, height), the container, the font.
    QTest::addColumn<QRect>("pixels");
    QTest::addColumn<QString>("container");
    QTest::addColumn<bool>("bold");
    QTest::addColumn<double>("points");
    // clang-format off
    QTest::newRow("Frame_Status")        << QRect(8, 8, 297, 241)   << "Form1"               << true  << 9.75; // 120, 120, 4455, 3615
    QTest::newRow("Frame_ComPortSelect") << QRect(313, 8, 133, 81)  << "Form1"               << true  << 9.0;  // 4700, 120, 2000, 1215
    QTest::newRow("Frame_BaudRate")      << QRect(313, 96, 133, 57) << "Form1"               << true  << 9.75; // 4700, 1440, 2000, 855
    QTest::newRow("Combo_CommPort")      << QRect(8, 24, 105, 21)   << "Frame_ComPortSelect" << false << 9.75; // 120, 360, 1575, 315
    QTest::newRow("Label_ComPortStatus") << QRect(8, 56, 121, 17)   << "Frame_ComPortSelect" << false << 9.0;  // 120, 840, 1815, 255
    QTest::newRow("cmd_start")           << QRect(17, 21, 93, 25)   << "FrameButton"         << false << 9.75; // 260, 320, 1400, 375
    QTest::newRow("txt_ErrorBit")        << QRect(200, 80, 67, 17)  << "Frame_Status"        << true  << 9.75; // 3000, 1200, 1005, 255
    QTest::newRow("Label_PER_Loss")      << QRect(8, 216, 167, 17)  << "Frame_Status"        << true  << 9.75; // 120, 3240, 2505, 255
    QTest::newRow("StatusBar1")          << QRect(0, 259, 453, 25)  << "Form1"               << false << 9.75; // 0, 3885, 6795, 375
    // clang-format on
}

void Form1Test::elementsAsDesigned()
{
    QFETCH(QRect, pixels);
    QFETCH(QString, container);
    QFETCH(bool, bold);
    QFETCH(double, points);
    Bench bench;
    const QWidget* element = bench.element(QTest::currentDataTag());
    QCOMPARE(element->geometry(), pixels);
    QCOMPARE(element->parentWidget()->objectName(), container);
    QCOMPARE(element->font().bold(), bold);
    QCOMPARE(element->font().pointSizeF(), points);
}

void Form1Test::spareRowIsNeverShown()
{
    Bench bench;
    bench.form->show();
    QVERIFY(!bench.element("Label_xxxx")->isVisible());
    QVERIFY(!bench.element("txt_xxxx")->isVisible());
    QVERIFY(bench.element("txt_ErrorBit")->isVisible());
}

void Form1Test::statusBarStaysDocked()
{
    Bench bench;
    bench.form->show();
    bench.form->setFixedSize(600, 400);
    auto* bar = bench.element<StatusBar>("StatusBar1");
    QCOMPARE(bar->geometry(), QRect(0, 375, 600, 25));
    const auto* clock = bench.element<ValueDisplay>("StatusBar1_Panel2");
    QCOMPARE(clock->width(), 96);
    QVERIFY(!clock->text().isEmpty());
    QCOMPARE(bar->text(), QString());
}

void Form1Test::fastReportsAreShownAndPaintedAgain()
{
    // Paint events of the received-frames display, and the text each showed.
    struct PaintLog : QObject
    {
        QStringList painted;
        bool eventFilter(QObject* watched, QEvent* event) override
        {
            if (event->type() == QEvent::Paint)
                painted << static_cast<ValueDisplay*>(watched)->text();
            return false;
        }
    } log;
    Bench bench;
    bench.form->show();
    QVERIFY(QTest::qWaitForWindowExposed(bench.form.get()));
    bench.click("cmd_start");
    bench.receive(QByteArray::fromHex("F1000A000000000000000000")); // the line is quiet after it
    bench.element("txt_RecvFrame")->installEventFilter(&log);
    for (quint8 frames = 1; frames <= 5; ++frames)
        bench.backend->deliver(QByteArray::fromHex("F100") + char(frames) + QByteArray(9, 0));
    // The texts are current at once, whatever their painting waits for.
    QCOMPARE(bench.text("txt_RecvFrame"), QString("5"));
    QCOMPARE(bench.hexLine(), QString(" F1 00 05 00 00 00 00 00 00 00 00 00"));
    // The paced repaint catches up with the newest text, without painting
    // each of the five.
    QTRY_COMPARE(log.painted.value(log.painted.size() - 1), QString("5"));
    QVERIFY2(log.painted.size() < 5, qPrintable(log.painted.join(' ')));
}

} // namespace ui

QTEST_MAIN(ui::Form1Test)
#include "test_form1.moc"
