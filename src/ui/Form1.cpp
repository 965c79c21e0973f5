#include "ui/Form1.h"

#include "measurement/CounterReport.h"
#include "measurement/Rates.h"
#include "measurement/ReportReception.h"
#include "serial/CommControl.h"
#include "serial/HoldingProcess.h"
#include "serial/LineSettings.h"
#include "serial/PortBackend.h"
#include "serial/PortError.h"
#include "ui/BoundTexts.h"
#include "ui/DropDownList.h"
#include "ui/ElementBuilder.h"
#include "ui/ElementStyle.h"
#include "ui/ElementTable.h"
#include "ui/RepaintPacer.h"
#include "ui/StatusBar.h"
#include "ui/ValueDisplay.h"
#include "util/Conversions.h"
#include "util/Delays.h"
#include "util/RunGuarded.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QToolTip>

namespace ui {

using util::runGuarded;

namespace {

using measurement::StatusDisplay;

inline constexpr int kPortCount = 16;
// A run takes reports while the receive threshold is the report's length.
inline constexpr qint16 kRunThreshold = measurement::kReportLength;

// The element behind each status display, in the order of StatusDisplay.
constexpr const char* kDisplayNames[] = {"txt_RecvFrame", "txt_LossFrame", "txt_ErrorFrame", "txt_ErrorBit",
                                         "txt_BER",       "txt_BER_Loss",  "txt_PER",        "txt_PER_Loss"};

QSize designSize()
{
    return {twipsToPixels(kClientWidthTwips), twipsToPixels(kClientHeightTwips)};
}

bool onWayland()
{
    return QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
}

} // namespace

Form1::Form1(std::unique_ptr<serial::PortBackend> backend, serial::DeviceForPort deviceForPort, QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("Form1"));
    m_failureNotice = [this](const QString& message) { QMessageBox::critical(this, windowTitle(), message); };

    m_comm = new serial::CommControl(std::move(backend), std::move(deviceForPort), this);
    m_comm->setObjectName(QStringLiteral("MSComm1"));
    // Present, disabled and without a handler: it has no effect.
    m_timer0 = new QTimer(this);
    m_timer0->setObjectName(QStringLiteral("Timer0"));
    m_timer0->setInterval(300);
    // Reports may come faster than a screen refreshes.
    new RepaintPacer(this); // owned by the window

    buildElements();
    wireEvents();
}

Form1::~Form1() = default;

void Form1::buildElements()
{
    setFont(elementFont(FontStyle::Window));
    setWindowIcon(QIcon(QStringLiteral(":/bermon.png")));
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint
                   | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    // A Wayland compositor may maximise or full-screen any window, whatever it
    // asks for, and wants the size it configured: a fixed size committed
    // against it is a protocol error that ends the connection. There the
    // window takes the size it is given, its elements where they are and the
    // status bar along the bottom edge, and is back at its own size when
    // restored. Elsewhere its size is fixed.
    if (onWayland())
        resize(designSize());
    else
        setFixedSize(designSize());

    const BuiltElements elements(*this, mainWindowElements());
    for (size_t i = 0; i < m_displays.size(); ++i)
        m_displays[i] = elements.find<ValueDisplay>(kDisplayNames[i]);
    // The BER's bound is worked out when asked for, from the report on screen.
    m_displays[size_t(StatusDisplay::Ber)]->installEventFilter(this);
    m_displays[size_t(StatusDisplay::BerLoss)]->setToolTip(noBoundWithLossText());
    m_portList = elements.find<DropDownList>("Combo_CommPort");
    m_baudList = elements.find<DropDownList>("Combo_BaudRate");
    m_portStatus = elements.find<QLabel>("Label_ComPortStatus");
    m_statusBar = elements.find<StatusBar>("StatusBar1");
    m_startButton = elements.find<QPushButton>("cmd_start");
    m_stopButton = elements.find<QPushButton>("cmd_stop");
    m_startButton->setFocus();
}

void Form1::wireEvents()
{
    // The list opening reads the devices afresh, as they come and go.
    connect(m_portList, &DropDownList::chosen, this, &Form1::Combo_CommPort_Click);
    connect(m_baudList, &DropDownList::chosen, this, &Form1::Combo_BaudRate_Click);
    connect(m_portList, &DropDownList::aboutToOpen, this, [this] { describePorts(serial::SerialDevices::read()); });
    connect(m_startButton, &QPushButton::clicked, this, &Form1::cmd_start_Click);
    connect(m_stopButton, &QPushButton::clicked, this, &Form1::cmd_stop_Click);
    connect(m_comm, &serial::CommControl::OnComm, this, &Form1::MSComm1_OnComm);
    connect(m_comm, &serial::CommControl::deviceLost, this, &Form1::MSComm1_DeviceLost);
    connect(m_comm, &serial::CommControl::inputRejected, this, &Form1::MSComm1_InputRejected);
}

QString Form1::FormatBer(double a) const
{
    return measurement::formatBer(a);
}

std::optional<QString> Form1::bin2hex(const QString& key) const
{
    return util::bin2hex(key);
}

std::optional<double> Form1::bin2dec(const QString& key) const
{
    return util::bin2dec(key);
}

QString Form1::dec2bin(qint32& n) const
{
    return util::dec2bin(n);
}

qint32 Form1::hex2dec(QString& hexkey) const
{
    return util::hex2dec(hexkey);
}

void Form1::timedelay(const util::FourDecimalSeconds& tt) const
{
    util::timedelay(tt);
}

void Form1::delay(const qint32& time) const
{
    util::delay(time);
}

// ---- handlers ---------------------------------------------------------------

template <typename Handler>
void Form1::runUntrapped(Handler&& handler)
{
    try {
        handler();
    } catch (const std::exception& failure) {
        m_failureNotice(QString::fromUtf8(failure.what()));
        end(EXIT_FAILURE);
    }
}

void Form1::Form_Load()
{
    // One reading of the devices for the whole start-up: both runs of the
    // port-selection handler's actions and the list's entries.
    const serial::SerialDevices devices = serial::SerialDevices::read();
    runUntrapped([&] {
        setWindowTitle(kWindowTitle);
        for (int port = 1; port <= kPortCount; ++port)
            m_portList->addItem(QString::number(port));
        m_portList->setCurrentIndex(0);
        openChosenPort(devices);
        for (const qint32 baud : serial::kBaudRates)
            m_baudList->addItem(QString::number(baud), serial::LineSettings{baud}.text());
        m_baudList->setCurrentIndex(0);
        Combo_BaudRate_Click();
        m_comm->setRThreshold(0);
        openChosenPort(devices);
    });
    describePorts(devices);
}

void Form1::Combo_CommPort_Click()
{
    // The devices come and go: a port chosen reads them afresh.
    openChosenPort(serial::SerialDevices::read());
}

void Form1::openChosenPort(const serial::SerialDevices& devices)
{
    // Closes the port and opens the chosen one; each action is guarded on its
    // own, and a failed one is skipped silently.
    runGuarded([&] { m_comm->setPortOpen(false); });
    runGuarded([&] { m_comm->setCommPort(static_cast<qint16>(m_portList->currentIndex() + 1)); });
    runGuarded([&] { m_comm->openOn(devices); });
    showPortStatus(m_comm->portOpen());
}

void Form1::Combo_BaudRate_Click()
{
    runUntrapped([&] {
        try {
            m_comm->setSettings(m_baudList->currentData().toString());
        } catch (const serial::PortError& rejected) {
            // The device keeps the settings it had; the monitor runs on.
            m_failureNotice(rejected.message());
        }
    });
}

void Form1::cmd_start_Click()
{
    runUntrapped([&] {
        ResetStatus();
        m_comm->setRThreshold(0);
        m_comm->input(); // the backlog gathered while stopped is dropped
        m_comm->setRThreshold(kRunThreshold);
    });
}

void Form1::cmd_stop_Click()
{
    // The displays keep their texts.
    runUntrapped([&] { m_comm->setRThreshold(0); });
}

void Form1::Form_QueryUnload(qint16& cancel, qint16 unloadMode)
{
    // The operator's close box or window menu closes the port and ends the
    // program at once; other origins change nothing here.
    runUntrapped([&] {
        if (unloadMode != ClosedByOperator)
            return;
        if (m_comm->portOpen())
            m_comm->setPortOpen(false);
        cancel = 1;
        end(EXIT_SUCCESS);
    });
}

void Form1::Form_Unload(qint16& /*cancel*/)
{
    runUntrapped([&] { m_comm->setPortOpen(false); });
}

void Form1::MSComm1_OnComm()
{
    measurement::receiveReport(*m_comm, *this);
}

void Form1::MSComm1_DeviceLost()
{
    showPortStatus(false);
}

void Form1::MSComm1_InputRejected(const QByteArray& bytes)
{
    setHexLine(measurement::hexLine(bytes));
}

void Form1::ResetStatus()
{
    measurement::resetStatus(*this);
}

void Form1::closeEvent(QCloseEvent* event)
{
    // A close from the window system is the operator's close box or window
    // menu; a close from code is the program's own.
    const CloseOrigin origin = m_closeOrigin.value_or(event->spontaneous() ? ClosedByOperator : ClosedByCode);
    qint16 cancel = 0;
    Form_QueryUnload(cancel, origin);
    if (cancel || m_ended) {
        event->ignore();
        return;
    }
    Form_Unload(cancel);
    event->accept();
}

bool Form1::eventFilter(QObject* watched, QEvent* event)
{
    // Installed on the BER display alone.
    if (event->type() != QEvent::ToolTip)
        return QWidget::eventFilter(watched, event);
    bool framesOk = false;
    bool errorsOk = false;
    const quint64 frames = displayText(StatusDisplay::RecvFrame).toULongLong(&framesOk);
    const quint64 errors = displayText(StatusDisplay::ErrorBit).toULongLong(&errorsOk);
    const QString tip =
        framesOk && errorsOk ? berBoundText(errors, frames * measurement::kBitsPerFrame, 0.95) : QString();
    QToolTip::showText(static_cast<QHelpEvent*>(event)->globalPos(), tip, m_displays[size_t(StatusDisplay::Ber)]);
    return true;
}

void Form1::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    // Docked along the bottom edge over the whole width.
    const int barHeight = m_statusBar->height();
    m_statusBar->setFixedWidth(width());
    m_statusBar->move(0, height() - barHeight);
}

bool Form1::closeFor(CloseOrigin origin)
{
    m_closeOrigin = origin;
    const bool closed = close();
    m_closeOrigin.reset();
    return closed;
}

void Form1::showPortStatus(bool open)
{
    QPalette palette = m_portStatus->palette();
    palette.setColor(QPalette::WindowText, colourFromBgr(open ? kConnectedColour : kNotConnectedColour));
    m_portStatus->setPalette(palette);
    m_portStatus->setText(open ? kConnectedCaption : kNotConnectedCaption);
    // The caption says only whether the port is open; the tooltip says which
    // device the port number stands for and why it is not open.
    const QString device = m_comm->device();
    if (device.isEmpty()) {
        m_portStatus->setToolTip(serial::noDeviceText(m_comm->commPort()));
        return;
    }
    QString tip = QStringLiteral("Port %1: %2").arg(m_comm->commPort()).arg(device);
    if (!m_comm->portOpen() && !m_comm->lastError().isEmpty()) {
        tip += QLatin1Char('\n') + m_comm->lastError();
        // A port that another program holds says nothing about permissions.
        if (const auto holder = serial::findHoldingProcess(device))
            tip += QLatin1Char('\n') + serial::describeHoldingProcess(*holder);
        else if (m_comm->lastErrorKind() == QSerialPort::PermissionError)
            tip += QStringLiteral("\nOn Linux, serial ports need membership of the dialout group.");
    }
    m_portStatus->setToolTip(tip);
}

void Form1::describePorts(const serial::SerialDevices& devices)
{
    // Each entry names the device it stands for on that reading.
    for (int index = 0; index < m_portList->count(); ++index) {
        const int port = index + 1;
        const QString device = m_comm->deviceForPort(port, devices);
        m_portList->setItemData(index, device.isEmpty() ? serial::noDeviceText(port) : devices.describe(device),
                                Qt::ToolTipRole);
    }
}

void Form1::end(int status)
{
    m_ended = true;
    m_exitStatus = status;
    QCoreApplication::exit(status);
}

// ---- the window's side of the measurement ----------------------------------

QString Form1::displayText(StatusDisplay display) const
{
    return m_displays[size_t(display)]->text();
}

void Form1::setDisplayText(StatusDisplay display, const QString& text)
{
    m_displays[size_t(display)]->setText(text);
}

void Form1::setHexLine(const QString& text)
{
    m_statusBar->setText(text);
}

} // namespace ui
