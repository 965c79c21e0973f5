#include "serial/PortMapping.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using serial::SerialDevice;

namespace {

// A device directory: each name links to a character device, as udev's
// nodes and links made by hand do.
class DeviceDir
{
public:
    void plug(const QString& name) const { QFile::link(QStringLiteral("/dev/null"), path(name)); }
    void unplug(const QString& name) const { QFile::remove(path(name)); }
    QString path(const QString& name) const { return m_dir.filePath(name); }
    QString root() const { return m_dir.path(); }

private:
    QTemporaryDir m_dir;
};

QStringList names(const QList<SerialDevice>& devices)
{
    QStringList result;
    for (const SerialDevice& device : devices)
        result << device.path.section(QLatin1Char('/'), -1);
    return result;
}

// Ports that the system's enumeration reports; they may live anywhere.
QList<SerialDevice> listed(const QStringList& names)
{
    QList<SerialDevice> result;
    for (const QString& name : names)
        result << SerialDevice{QStringLiteral("/dev/") + name, {}, {}, {}};
    return result;
}

} // namespace

class TestPortMapping : public QObject
{
    Q_OBJECT
private slots:
    void order_data();
    void order();
    void hotPlug();
    void onlyDevicesCount();
    void listedDetailsDescribeTheDevice();
    void aReadingAnswersFromWhatItRead();
};

void TestPortMapping::order_data()
{
    QTest::addColumn<QStringList>("nodes");
    QTest::addColumn<QStringList>("listedNames");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("adapter and board both present")
        << QStringList{"ttyACM0", "ttyUSB0"} << QStringList{"ttyUSB0", "ttyACM0"} << QStringList{"ttyUSB0", "ttyACM0"};
    QTest::newRow("numbers, not text order") << QStringList{"ttyUSB10", "ttyUSB2", "ttyUSB0"} << QStringList{}
                                             << QStringList{"ttyUSB0", "ttyUSB2", "ttyUSB10"};
    QTest::newRow("kinds in order") << QStringList{"ttyS0",   "rfcomm0", "ttyXRUSB1", "ttyAMA0",
                                                   "ttyACM1", "ttyUSB3", "ttyGS0"}
                                    << QStringList{"ttyS0", "ttyGS0"}
                                    << QStringList{"ttyUSB3",   "ttyACM1", "ttyAMA0", "rfcomm0",
                                                   "ttyXRUSB1", "ttyGS0",  "ttyS0"};
    QTest::newRow("only real on-board ports") << QStringList{"ttyS0", "ttyS1", "ttyS2", "ttyS3"}
                                              << QStringList{"ttyS1", "ttyS3"} << QStringList{"ttyS1", "ttyS3"};
    QTest::newRow("consoles and other nodes never count")
        << QStringList{"tty0", "tty1", "tty63", "tty", "console", "null", "ttyprintk", "ttyUSB0"} << QStringList{"tty1"}
        << QStringList{"ttyUSB0"};
    QTest::newRow("listed but absent") << QStringList{"ttyACM0"} << QStringList{"ttyUSB0", "ttyACM0"}
                                       << QStringList{"ttyACM0"};
    QTest::newRow("nothing present") << QStringList{} << QStringList{"ttyS0"} << QStringList{};
}

void TestPortMapping::order()
{
    QFETCH(QStringList, nodes);
    QFETCH(QStringList, listedNames);
    QFETCH(QStringList, expected);
    DeviceDir dir;
    for (const QString& node : nodes)
        dir.plug(node);
    QCOMPARE(names(serial::orderSerialDevices(dir.root(), listed(listedNames))), expected);
}

void TestPortMapping::hotPlug()
{
    DeviceDir dir;
    const auto ports = [&] { return names(serial::orderSerialDevices(dir.root(), {})); };
    dir.plug("ttyACM0");
    QCOMPARE(ports(), QStringList{"ttyACM0"});
    // An adapter plugged in later comes first; the board moves to port 2.
    dir.plug("ttyUSB0");
    QCOMPARE(ports(), (QStringList{"ttyUSB0", "ttyACM0"}));
    dir.unplug("ttyUSB0");
    QCOMPARE(ports(), QStringList{"ttyACM0"});
}

void TestPortMapping::onlyDevicesCount()
{
    DeviceDir dir;
    // What root's `echo > /dev/ttyUSB0` leaves with no adapter plugged in.
    QFile plain(dir.path("ttyUSB0"));
    QVERIFY(plain.open(QIODevice::WriteOnly));
    plain.close();
    QVERIFY(QFile::link(dir.path("gone"), dir.path("ttyUSB1")));
    // The aliases under serial/ lead to devices that count once, by name.
    QVERIFY(QDir(dir.root()).mkpath("serial/by-id"));
    QVERIFY(QFile::link("/dev/null", dir.path("serial/by-id/usb-FTDI-if00-port0")));
    dir.plug("ttyACM0");
    QCOMPARE(names(serial::orderSerialDevices(dir.root(), {})), QStringList{"ttyACM0"});
}

void TestPortMapping::listedDetailsDescribeTheDevice()
{
    DeviceDir dir;
    dir.plug("ttyUSB0");
    const QList<SerialDevice> devices =
        serial::orderSerialDevices(dir.root(), {SerialDevice{"/dev/ttyUSB0", "FT232R USB UART", "FTDI", "A50285BI"}});
    QCOMPARE(devices.size(), 1);
    QCOMPARE(devices[0].path, dir.path("ttyUSB0"));
    QCOMPARE(devices[0].manufacturer, QString("FTDI"));
    QCOMPARE(devices[0].serialNumber, QString("A50285BI"));
}

void TestPortMapping::aReadingAnswersFromWhatItRead()
{
    DeviceDir dir;
    dir.plug("ttyACM0");
    dir.plug("ttyUSB0");
    const QList<SerialDevice> listed{SerialDevice{dir.path("ttyUSB0"), "FT232R USB UART", "FTDI", "A50285BI"}};
    const serial::SerialDevices devices(serial::orderSerialDevices(dir.root(), listed), listed);
    // Pulled out after the reading: the reading still has it.
    dir.unplug("ttyUSB0");
    QCOMPARE(devices.deviceForPort(1), dir.path("ttyUSB0"));
    QCOMPARE(devices.deviceForPort(2), dir.path("ttyACM0"));
    QCOMPARE(devices.deviceForPort(3), QString());
    QCOMPARE(devices.describe(dir.path("ttyUSB0")),
             dir.path("ttyUSB0") + "\nFT232R USB UART\nMaker: FTDI\nSerial number: A50285BI");
    QCOMPARE(devices.describe(dir.path("ttyACM0")), dir.path("ttyACM0"));
}

QTEST_GUILESS_MAIN(TestPortMapping)
#include "test_port_mapping.moc"
