#pragma once

#include "measurement/StatusView.h"
#include "serial/PortMapping.h"
#include "util/FourDecimalSeconds.h"

#include <QWidget>

#include <array>
#include <functional>
#include <memory>
#include <optional>

class FormDriver;
class QLabel;
class QPushButton;
class QTimer;

namespace serial {
class CommControl;
class PortBackend;
} // namespace serial

namespace ui {

class DropDownList;
class StatusBar;
class ValueDisplay;

// The one window of the monitor. It holds the elements, built from the
// element table, and wires their events to the handlers; what the handlers do
// with bytes, counts and texts lives in the measurement and serial libraries.
class Form1 final : public QWidget, private measurement::StatusView
{
    Q_OBJECT
public:
    // Shows an untrapped failure to the operator; a message box by default.
    using FailureNotice = std::function<void(const QString& message)>;

    Form1(std::unique_ptr<serial::PortBackend> backend, serial::DeviceForPort deviceForPort, QWidget* parent = nullptr);
    ~Form1() override;

    // The load handler; run once before the window is first shown.
    void Form_Load();
    // Whether a handler has ended the program, and with which status.
    bool hasEnded() const { return m_ended; }
    int exitStatus() const { return m_exitStatus; }
    // Where a request to close the window comes from, as the close handlers
    // number it: the operator's close box or window menu, the program's own
    // code, the end of the operator's session, another program ending this one.
    enum CloseOrigin : qint16 { ClosedByOperator = 0, ClosedByCode = 1, SessionEnds = 2, EndedByAnother = 3 };

    // Asks the window to close as if from `origin` (see Form_QueryUnload);
    // true when it closed.
    bool closeFor(CloseOrigin origin);

    // Public operations of the window. Arguments are taken by reference as
    // the routines document: dec2bin leaves its remainder in the caller's n.
    QString FormatBer(double a) const;
    std::optional<QString> bin2hex(const QString& key) const;
    std::optional<double> bin2dec(const QString& key) const;
    QString dec2bin(qint32& n) const;
    void timedelay(const util::FourDecimalSeconds& tt) const;
    void delay(const qint32& time) const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    friend class ::FormDriver; // tests/support: collects failures instead of showing them

    // Event handlers.
    void Combo_CommPort_Click();
    void Combo_BaudRate_Click();
    void cmd_start_Click();
    void cmd_stop_Click();
    void Form_QueryUnload(qint16& cancel, qint16 unloadMode);
    void Form_Unload(qint16& cancel);
    void MSComm1_OnComm();
    void MSComm1_DeviceLost();
    // Bytes that belong to no report never reach the report handler; the hex
    // line shows them so that garbage on the line can be seen.
    void MSComm1_InputRejected(const QByteArray& bytes);

    void ResetStatus();
    qint32 hex2dec(QString& hexkey) const;

    // measurement::StatusView
    QString displayText(measurement::StatusDisplay display) const override;
    void setDisplayText(measurement::StatusDisplay display, const QString& text) override;
    void setHexLine(const QString& text) override;

    void buildElements();
    void wireEvents();
    // The port-selection handler's actions on that reading of the devices.
    void openChosenPort(const serial::SerialDevices& devices);
    void showPortStatus(bool open);
    // Each entry of the port list names its device on that reading.
    void describePorts(const serial::SerialDevices& devices);
    // Runs a handler that traps nothing: a failure is shown and ends the program.
    template <typename Handler>
    void runUntrapped(Handler&& handler);
    void end(int status);

    std::array<ValueDisplay*, 8> m_displays{};
    DropDownList* m_portList = nullptr;
    DropDownList* m_baudList = nullptr;
    QLabel* m_portStatus = nullptr;
    QPushButton* m_startButton = nullptr;
    QPushButton* m_stopButton = nullptr;
    StatusBar* m_statusBar = nullptr;
    QTimer* m_timer0 = nullptr;
    serial::CommControl* m_comm = nullptr;
    std::optional<CloseOrigin> m_closeOrigin;
    FailureNotice m_failureNotice;
    bool m_ended = false;
    int m_exitStatus = 0;
};

} // namespace ui
