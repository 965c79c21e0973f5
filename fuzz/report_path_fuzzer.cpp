// Counter reports end to end: an arbitrary byte stream, cut into arbitrary
// pieces, arrives on an in-memory device, is framed by the serial-port control
// and goes through its OnComm event into the report handler and the status
// displays. Start, Stop, other receive thresholds, device failures, reopening,
// stray events, a change of regional settings or of baud rate, pauses and
// quiet lines come in between.
//
// Timers run on a clock of the harness's own (VirtualClock below): a quiet
// line costs no real time and fires the control's quiet timer exactly when the
// input says so.
//
// The harness keeps its own account of the bytes the control was handed since
// its framing last started afresh, of what waits in the receive buffer and of
// what the displays must show, and aborts with a message on the first
// difference:
//  - every report framed and every run of rejected bytes is a stretch of the
//    bytes received, in order; while a run is on from the fresh start they
//    tile the bytes received without gap or overlap, no more than the
//    framer's limit of them stays undecided, and a quiet line settles all;
//  - each read hands over nothing or the newest report framed, 12 bytes that
//    start with the marker; a report is announced once, before any rejected
//    bytes that follow it, and OnComm is never raised inside OnComm;
//  - the hex line shows the first twelve bytes of the last report read or of
//    the last rejected bytes, as " XX" groups of upper-case digits;
//  - each count display holds the plain decimal text of the count in the last
//    report read;
//  - each rate display holds "N/A" exactly when its denominator is 0, or a
//    well-formed text ("0.0 E+0", "1.0 E+0", "m E-n", a percent text) whose
//    value is the rate of the counts shown.
//
// Input layout (FuzzedDataProvider): step codes are taken one byte at a time
// from the end of the input, the bytes of each piece from the front.
//   0x00-0x7F  a piece of that many bytes arrives
//   0x80-0x9F  a flood of (code - 0x7F) * 64 bytes arrives at once: the next
//              (up to) twelve bytes over and over, zeros when none are left;
//              enough of them overrun the framer
//   0xA0-0xFF  an action, (code - 0xA0) % 16: see Action below

#include "measurement/CounterReport.h"
#include "measurement/Rates.h"
#include "measurement/ReportPort.h"
#include "measurement/ReportReception.h"
#include "measurement/StatusView.h"
#include "serial/CommControl.h"
#include "support/CommControlSeam.h"
#include "support/MemoryPortBackend.h"
#include "serial/PortError.h"
#include "serial/ReportFramer.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QLocale>
#include <QRegularExpression>
#include <QTimerEvent>

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

using measurement::StatusDisplay;

using measurement::kReportLength;
using measurement::kReportMarker;
constexpr qsizetype kMaxUndecided = serial::ReportFramer::kMaxUndecided;

[[noreturn]] void violated(const std::string& what)
{
    std::fprintf(stderr, "\n*** report path invariant violated: %s\n", what.c_str());
    std::fflush(stderr);
    std::abort();
}

std::string quoted(const QString& text)
{
    return '"' + text.toStdString() + '"';
}

// The bytes in hexadecimal; long runs shortened to their ends and length.
std::string hexBytes(const QByteArray& bytes)
{
    if (bytes.isEmpty())
        return "(no bytes)";
    if (bytes.size() <= 24)
        return bytes.toHex(' ').toUpper().toStdString();
    return bytes.first(12).toHex(' ').toUpper().toStdString() + " ... "
           + bytes.last(12).toHex(' ').toUpper().toStdString() + " (" + std::to_string(bytes.size()) + " bytes)";
}

// ---------------------------------------------------------------------------
// Regional settings the rate texts are written in.

enum class Style { C, German };

QLocale localeOf(Style style)
{
    return style == Style::C ? QLocale::c() : QLocale(QLocale::German, QLocale::Germany);
}

QChar decimalPointOf(Style style)
{
    return style == Style::C ? u'.' : u',';
}

// ---------------------------------------------------------------------------
// The status displays, held in memory.

constexpr std::array kCountDisplays = {StatusDisplay::RecvFrame, StatusDisplay::LossFrame, StatusDisplay::ErrorFrame,
                                       StatusDisplay::ErrorBit};
constexpr std::array kRateDisplays = {StatusDisplay::Ber, StatusDisplay::BerLoss, StatusDisplay::Per,
                                      StatusDisplay::PerLoss};
constexpr std::array<const char*, 8> kDisplayNames = {"txt_RecvFrame", "txt_LossFrame", "txt_ErrorFrame",
                                                      "txt_ErrorBit",  "txt_BER",       "txt_BER_Loss",
                                                      "txt_PER",       "txt_PER_Loss"};

std::size_t slot(StatusDisplay display)
{
    return static_cast<std::size_t>(display);
}

struct ViewState
{
    std::array<QString, 8> texts;
    QString hexLine;
    bool operator==(const ViewState&) const = default;
};

class Displays final : public measurement::StatusView
{
public:
    QString displayText(StatusDisplay display) const override { return state.texts.at(slot(display)); }
    void setDisplayText(StatusDisplay display, const QString& text) override { state.texts.at(slot(display)) = text; }
    void setHexLine(const QString& text) override { state.hexLine = text; }

    ViewState state;
};

// The serial-port control as the report handler sees it, recording what each
// call handed over.
class RecordingPort final : public measurement::ReportPort
{
public:
    explicit RecordingPort(serial::CommControl& comm)
        : m_comm(comm)
    {
    }
    qint16 commEvent() const override
    {
        ++eventReads;
        kind = m_comm.commEvent();
        return kind;
    }
    QByteArray input() override
    {
        reads.append(m_comm.input());
        return reads.constLast();
    }

    mutable int eventReads = 0;
    mutable qint16 kind = 0;
    QList<QByteArray> reads;

private:
    serial::CommControl& m_comm;
};

// ---------------------------------------------------------------------------
// What the displays must show, worked out from the bytes alone.

QString expectedHexLine(const QByteArray& input)
{
    QString line;
    for (qsizetype i = 0; i < qMin<qsizetype>(input.size(), kReportLength); ++i)
        line += QString::asprintf(" %02X", static_cast<unsigned>(static_cast<quint8>(input[i])));
    return line;
}

struct Counts
{
    // RecvFrame, LossFrame, ErrorFrame, ErrorBit
    std::array<quint64, 4> values{};
};

void decodeInto(Counts& counts, const QByteArray& report)
{
    struct Field
    {
        int first;
        int width;
    };
    constexpr Field fields[] = {{1, 2}, {3, 2}, {5, 2}, {7, 4}};
    for (std::size_t f = 0; f < 4; ++f) {
        quint64 value = 0;
        for (int i = 0; i < fields[f].width; ++i)
            value = value * 256 + static_cast<quint8>(report[fields[f].first + i]);
        counts.values[f] = value;
    }
}

struct RateTruth
{
    quint64 numerator = 0;
    quint64 denominator = 0;
    double value() const { return double(numerator) / double(denominator); }
};

RateTruth rateTruth(StatusDisplay display, const Counts& counts)
{
    const auto [recv, loss, errorFrames, errorBits] = counts.values;
    switch (display) {
    case StatusDisplay::Ber:
        return {errorBits, recv * 512};
    case StatusDisplay::BerLoss:
        return {loss * 512 + errorBits, (recv + loss) * 512};
    case StatusDisplay::Per:
        return {errorFrames, recv};
    case StatusDisplay::PerLoss:
        return {loss + errorFrames, recv + loss};
    default:
        violated("not a rate display");
    }
}

// ---------------------------------------------------------------------------
// Shapes of the display texts.

void checkHexLineShape(const QString& line)
{
    static const QRegularExpression shape(QStringLiteral("\\A( [0-9A-F]{2}){0,12}\\z"));
    if (!shape.match(line).hasMatch())
        violated("hex line " + quoted(line) + " is not up to twelve \" XX\" groups");
}

void checkCountShape(StatusDisplay display, const QString& text)
{
    static const QRegularExpression shape(QStringLiteral("\\A(0|[1-9][0-9]{0,9})\\z"));
    const quint64 limit = display == StatusDisplay::ErrorBit ? 4294967295u : 65535u;
    if (!shape.match(text).hasMatch() || text.toULongLong() > limit)
        violated(std::string(kDisplayNames[slot(display)]) + " holds " + quoted(text) + ", not a decimal count up to "
                 + std::to_string(limit));
}

// A BER text "m E-n": m is the first five characters of the mantissa's text.
// Returns the value the text stands for.
double berTextValue(const QString& text, Style style, double truth, const std::string& where)
{
    static const QRegularExpression shape(QStringLiteral("\\A(?<m>[^ ]{1,5}) E-(?<n>[1-9][0-9]?)\\z"));
    const QRegularExpressionMatch match = shape.match(text);
    if (!match.hasMatch())
        violated(where + quoted(text) + " is not \"m E-n\"");
    const QString mantissa = match.captured(u"m");
    const int shifts = match.captured(u"n").toInt();
    if (shifts > 45)
        violated(where + quoted(text) + " shifts more often than any positive single-precision value needs");

    // Plain decimal digits, cut after five characters; an uncut text has no
    // trailing zeros after the point and no trailing point.
    static const QRegularExpression plain[] = {
        QRegularExpression(QStringLiteral("\\A[1-9][0-9]*(\\.[0-9]*)?\\z")),
        QRegularExpression(QStringLiteral("\\A[1-9][0-9]*(,[0-9]*)?\\z")),
    };
    // The exponent form of the mantissa, for rates of a million and more.
    static const QRegularExpression exponent[] = {
        QRegularExpression(QStringLiteral("\\A[1-9](\\.[0-9]*)?([eE][+]?[0-9]*)?\\z")),
        QRegularExpression(QStringLiteral("\\A[1-9](,[0-9]*)?([eE][+]?[0-9]*)?\\z")),
    };
    const int s = style == Style::C ? 0 : 1;
    if (plain[s].match(mantissa).hasMatch()) {
        if (mantissa.size() < 5 && mantissa.contains(decimalPointOf(style))
            && (mantissa.endsWith(u'0') || mantissa.endsWith(decimalPointOf(style))))
            violated(where + quoted(text) + " keeps a trailing zero or point in an uncut mantissa");
    } else if (!(truth >= 0.9e6 && exponent[s].match(mantissa).hasMatch())) {
        violated(where + quoted(text) + " has a malformed mantissa");
    }
    QString digits = mantissa;
    digits.replace(decimalPointOf(style), u'.');
    const double m = std::strtod(digits.toStdString().c_str(), nullptr);
    return m * std::pow(10.0, -shifts);
}

double percentTextValue(const QString& text, Style style, const std::string& where)
{
    static const QRegularExpression cShape(QStringLiteral("\\A(0|[1-9][0-9]*)\\.[0-9]{2}%\\z"));
    static const QRegularExpression germanShape(QStringLiteral("\\A(0|[1-9][0-9]{0,2}(\\.[0-9]{3})*),[0-9]{2}%\\z"));
    if (!(style == Style::C ? cShape : germanShape).match(text).hasMatch())
        violated(where + quoted(text) + " is not a percent text with two decimals");
    QString number = text.chopped(1);
    if (style == Style::German)
        number.remove(u'.').replace(u',', u'.');
    return number.toDouble();
}

// The rate display holds the rate of the counts shown, in the style it was
// written in.
void checkRateText(StatusDisplay display, const QString& text, Style style, const Counts& counts)
{
    const std::string where = std::string(kDisplayNames[slot(display)]) + " ";
    const RateTruth truth = rateTruth(display, counts);
    const bool ber = display == StatusDisplay::Ber || display == StatusDisplay::BerLoss;
    const std::string countsText = " for counts " + std::to_string(counts.values[0]) + ", "
                                   + std::to_string(counts.values[1]) + ", " + std::to_string(counts.values[2]) + ", "
                                   + std::to_string(counts.values[3]);

    if (truth.denominator == 0) {
        if (text != measurement::kNotAvailable)
            violated(where + quoted(text) + " instead of N/A" + countsText);
        return;
    }
    if (text == measurement::kNotAvailable)
        violated(where + "shows N/A for a rate with a denominator" + countsText);

    const double exact = truth.value();
    if (ber) {
        if (text == QLatin1String("0.0 E+0") || truth.numerator == 0) {
            if (text != QLatin1String("0.0 E+0") || truth.numerator != 0)
                violated(where + quoted(text) + ": \"0.0 E+0\" is the text of a zero rate, and only of it"
                         + countsText);
            return;
        }
        const double shown = text == QLatin1String("1.0 E+0") ? 1.0 : berTextValue(text, style, exact, where);
        // The mantissa is cut to five characters (relative error below 1e-3)
        // and the rate is formed in single precision. Above 10^4 the cut
        // reaches the integer digits and the text no longer gives the value.
        if (exact <= 9000 && std::abs(shown - exact) > 1.1e-3 * exact)
            violated(where + quoted(text) + " does not show the rate " + std::to_string(exact) + countsText);
        return;
    }
    const double shown = percentTextValue(text, style, where);
    const double percent = exact * 100.0;
    if (std::abs(shown - percent) > 0.005 + 1e-6 * percent)
        violated(where + quoted(text) + " does not show " + std::to_string(percent) + "%" + countsText);
}

// ---------------------------------------------------------------------------
// The event loop: posted events are delivered as usual, but timers run on a
// clock that only advance() moves.

class VirtualClock final : public QAbstractEventDispatcher
{
public:
    bool processEvents(QEventLoop::ProcessEventsFlags) override
    {
        emit awake();
        QCoreApplication::sendPostedEvents();
        return false;
    }
    void registerSocketNotifier(QSocketNotifier*) override { }
    void unregisterSocketNotifier(QSocketNotifier*) override { }
    void registerTimer(int id, qint64 interval, Qt::TimerType type, QObject* object) override
    {
        m_timers.push_back({id, interval, type, object, m_now + interval});
    }
    bool unregisterTimer(int id) override
    {
        return std::erase_if(m_timers, [id](const Timer& t) { return t.id == id; }) > 0;
    }
    bool unregisterTimers(QObject* object) override
    {
        return std::erase_if(m_timers, [object](const Timer& t) { return t.object == object; }) > 0;
    }
    QList<TimerInfo> registeredTimers(QObject* object) const override
    {
        QList<TimerInfo> infos;
        for (const Timer& t : m_timers)
            if (t.object == object)
                infos.append(TimerInfo(t.id, int(t.interval), t.type));
        return infos;
    }
    int remainingTime(int id) override
    {
        for (const Timer& t : m_timers)
            if (t.id == id)
                return int(std::max<qint64>(0, t.due - m_now));
        return -1;
    }
    void wakeUp() override { }
    void interrupt() override { }

    // Lets `ms` pass: every timer due by then fires, in the order they fall
    // due, with what it posts delivered before the next.
    void advance(qint64 ms)
    {
        const qint64 until = m_now + ms;
        for (;;) {
            const auto next = std::min_element(m_timers.begin(), m_timers.end(),
                                               [](const Timer& a, const Timer& b) { return a.due < b.due; });
            if (next == m_timers.end() || next->due > until)
                break;
            m_now = next->due;
            next->due += std::max<qint64>(next->interval, 1);
            QTimerEvent event(next->id);
            QCoreApplication::sendEvent(next->object, &event); // may change m_timers
            QCoreApplication::sendPostedEvents();
        }
        m_now = until;
    }

private:
    struct Timer
    {
        int id;
        qint64 interval;
        Qt::TimerType type;
        QObject* object;
        qint64 due;
    };
    std::vector<Timer> m_timers;
    qint64 m_now = 0;
};

VirtualClock* g_clock = nullptr; // owned by the application

// ---------------------------------------------------------------------------
// One run of the monitor against one input.

enum class Action {
    Start,
    Stop,
    Resume, // threshold back to 12 without discarding the backlog
    ThresholdOne,
    ThresholdBeyond, // 13: more than a report, so never reached
    ThresholdEleven,
    DeviceFails,
    Reopen,
    Open, // also while already open, which is refused
    Close,
    StrayEvent, // OnComm raised without the control's say-so
    SwitchRegion,
    ProcessEvents,
    LineQuiet,      // the line stays silent for the quiet-line time
    ShortPause,     // silent for half of it
    SwitchBaudRate, // 9600 <-> 115200, which changes the quiet-line time
};

class Session
{
public:
    Session()
    {
        auto memory = std::make_unique<serial::MemoryPortBackend>();
        m_memory = memory.get();
        m_comm = std::make_unique<serial::CommControl>(std::move(memory),
                                                       [](int port) { return QStringLiteral("mem%1").arg(port); });
        QObject::connect(m_comm.get(), &serial::CommControl::OnComm, [this] { onComm(); });
        QObject::connect(m_comm.get(), &serial::CommControl::deviceLost, [this] { ++m_lostSignals; });
        QObject::connect(m_comm.get(), &serial::CommControl::reportFramed,
                         [this](const QByteArray& report) { onReportFramed(report); });
        QObject::connect(m_comm.get(), &serial::CommControl::inputRejected,
                         [this](const QByteArray& bytes) { onInputRejected(bytes); });

        QLocale::setDefault(localeOf(m_style));
        // The window as it opens: start texts, port 1 open, then Start.
        measurement::resetStatus(m_view);
        m_rateStyle.fill(std::nullopt);
        act(Action::Open);
        act(Action::Start);
    }

    void deliver(const QByteArray& piece)
    {
        if (m_open)
            m_received += piece; // before delivery: the signals it raises are checked against it
        m_memory->deliver(piece);
        if (m_open && m_gapless && m_received.size() - m_settled > kMaxUndecided)
            violated(std::to_string(m_received.size() - m_settled) + " bytes stay undecided, more than the framer's "
                     + std::to_string(kMaxUndecided));
        checkState();
    }

    void act(Action action)
    {
        switch (action) {
        case Action::Start: {
            // As the Start button does it: clear, drop the backlog, arm.
            measurement::resetStatus(m_view);
            m_counts = {};
            m_rateStyle.fill(std::nullopt);
            setThreshold(0);
            const QByteArray dropped = m_comm->input();
            if (dropped != m_waiting)
                violated("discarding read " + hexBytes(dropped) + " while " + hexBytes(m_waiting) + " waited");
            m_waiting.clear();
            setThreshold(12);
            break;
        }
        case Action::Stop:
            setThreshold(0);
            break;
        case Action::Resume:
            setThreshold(12);
            break;
        case Action::ThresholdOne:
            setThreshold(1);
            break;
        case Action::ThresholdBeyond:
            setThreshold(13);
            break;
        case Action::ThresholdEleven:
            setThreshold(11);
            break;
        case Action::DeviceFails: {
            const int lostBefore = m_lostSignals;
            m_memory->fail(QStringLiteral("device unplugged"));
            if (m_lostSignals - lostBefore != (m_open ? 1 : 0))
                violated("a device failure was signalled " + std::to_string(m_lostSignals - lostBefore) + " times");
            closeModel();
            break;
        }
        case Action::Reopen:
            act(Action::Close);
            act(Action::Open);
            break;
        case Action::Open:
            try {
                m_comm->setPortOpen(true);
                if (m_open)
                    violated("opening an open port succeeded");
                m_open = true;
                m_waiting.clear();
                restartFraming();
            } catch (const serial::PortError&) {
                if (!m_open)
                    violated("opening the in-memory port failed");
            }
            break;
        case Action::Close:
            m_comm->setPortOpen(false);
            closeModel();
            break;
        case Action::StrayEvent:
            m_stray = true;
            onComm();
            m_stray = false;
            break;
        case Action::SwitchRegion:
            m_style = m_style == Style::C ? Style::German : Style::C;
            QLocale::setDefault(localeOf(m_style));
            break;
        case Action::ProcessEvents:
            processEvents(0);
            break;
        case Action::LineQuiet:
            g_clock->advance(serial::quietLineTime(m_baudRate).count());
            if (m_open && m_gapless && m_settled != m_received.size())
                violated("the line went quiet, yet " + std::to_string(m_received.size() - m_settled)
                         + " bytes are neither framed nor rejected: " + hexBytes(m_received.sliced(m_settled)));
            break;
        case Action::ShortPause:
            g_clock->advance(serial::quietLineTime(m_baudRate).count() / 2);
            break;
        case Action::SwitchBaudRate:
            m_baudRate = m_baudRate == 9600 ? 115200 : 9600;
            m_comm->setSettings(QStringLiteral("%1,n,8,1").arg(m_baudRate));
            break;
        }
        checkState();
    }

private:
    // Whether a report waiting in the buffer is announced by OnComm.
    bool announcing() const { return m_open && m_threshold > 0 && m_threshold <= kReportLength; }

    void setThreshold(qint16 threshold)
    {
        const bool runStarts = m_threshold == 0 && threshold > 0;
        m_comm->setRThreshold(threshold);
        m_threshold = threshold;
        if (runStarts)
            restartFraming();
        else if (threshold == 0)
            m_gapless = false; // rejected bytes go unannounced from now on
        // A report that already waits is announced from the event loop.
        processEvents(announcing() && !m_waiting.isEmpty() ? 1 : 0);
    }

    void processEvents(int expectedEvents)
    {
        const int before = m_events;
        QCoreApplication::processEvents();
        if (m_events - before != expectedEvents)
            violated("the event loop raised " + std::to_string(m_events - before) + " receive events, expected "
                     + std::to_string(expectedEvents));
    }

    // The control forgets what it had not yet framed: its account starts anew.
    void restartFraming()
    {
        m_received.clear();
        m_settled = 0;
        m_gapless = m_threshold > 0;
        m_unannounced = false;
    }

    void closeModel()
    {
        m_open = false;
        m_waiting.clear();
        restartFraming();
    }

    // Finds a framed report or rejected run in the bytes received after what
    // was settled before it: right there while every settled piece is
    // announced, anywhere later otherwise.
    void locate(const QByteArray& bytes, const char* what)
    {
        qsizetype at = -1;
        if (m_gapless) {
            if (m_received.sliced(m_settled).startsWith(bytes))
                at = m_settled;
        } else {
            at = m_received.indexOf(bytes, m_settled);
        }
        if (at < 0)
            violated(std::string(what) + " " + hexBytes(bytes) + " is not the next stretch of the bytes received, "
                     + hexBytes(m_received.sliced(m_settled)));
        m_settled = at + bytes.size();
    }

    void onReportFramed(const QByteArray& report)
    {
        if (!m_open)
            violated("a report was framed on a closed port");
        if (report.size() != kReportLength || static_cast<quint8>(report[0]) != kReportMarker)
            violated("framed report " + hexBytes(report) + " is not 12 bytes that start with the marker");
        locate(report, "framed report");
        m_waiting = report;
        m_unannounced = announcing();
    }

    void onInputRejected(const QByteArray& bytes)
    {
        if (!m_open || m_threshold == 0)
            violated("rejected bytes were announced while no run is on");
        if (bytes.isEmpty())
            violated("an empty run of bytes was rejected");
        if (m_unannounced)
            violated("rejected bytes " + hexBytes(bytes) + " came before the report ahead of them was announced");
        locate(bytes, "rejected run");
        // As the window does: garbage on the line shows in the hex line.
        m_view.setHexLine(measurement::hexLine(bytes));
        m_hexLine = expectedHexLine(bytes);
    }

    // The report handler, connected to OnComm, and the check of what it did.
    void onComm()
    {
        if (m_inHandler)
            violated("OnComm was raised inside OnComm");
        m_inHandler = true;
        ++m_events;
        const ViewState before = m_view.state;
        RecordingPort port(*m_comm);
        measurement::receiveReport(port, m_view);
        m_inHandler = false;

        if (port.eventReads != 1)
            violated("the handler read the event kind " + std::to_string(port.eventReads) + " times");
        if (port.kind != serial::kCommEventReceive) {
            if (!m_stray)
                violated("the control raised an event of kind " + std::to_string(port.kind));
            if (!port.reads.isEmpty() || !(m_view.state == before))
                violated("an event of kind " + std::to_string(port.kind) + " read the port or changed a display");
            return;
        }
        if (port.reads.size() != 1)
            violated("a receive event read the port " + std::to_string(port.reads.size()) + " times");
        const QByteArray input = port.reads.first();
        if (input != m_waiting)
            violated("the read gave " + hexBytes(input) + " while " + hexBytes(m_waiting) + " waited");
        if (input.isEmpty() && !m_stray)
            violated("OnComm was raised with no report waiting");
        m_waiting.clear();
        m_unannounced = false;

        m_hexLine = expectedHexLine(input);
        if (m_view.state.hexLine != m_hexLine)
            violated("hex line " + quoted(m_view.state.hexLine) + " for input " + hexBytes(input));
        if (!input.isEmpty())
            decodeInto(m_counts, input);
        // The rates were computed afresh from the counts, in the current
        // style; checkState holds them to that from now on.
        for (std::size_t r = 0; r < 4; ++r) {
            m_rateStyle[r] = m_style;
            m_rateTexts[r] = m_view.state.texts[slot(kRateDisplays[r])];
        }
    }

    void checkState()
    {
        if (m_comm->portOpen() != m_open)
            violated(std::string("the port is ") + (m_comm->portOpen() ? "open" : "closed") + " unexpectedly");
        if (serial::CommControlSeam::rThreshold(*m_comm) != m_threshold)
            violated("the receive threshold changed by itself");
        if (announcing() && !m_waiting.isEmpty())
            violated("report " + hexBytes(m_waiting) + " waits unannounced at threshold "
                     + std::to_string(m_threshold));

        const ViewState& state = m_view.state;
        checkHexLineShape(state.hexLine);
        if (state.hexLine != m_hexLine)
            violated("hex line " + quoted(state.hexLine) + " changed outside a receive event or a rejection");

        for (std::size_t c = 0; c < 4; ++c) {
            const QString& text = state.texts[slot(kCountDisplays[c])];
            checkCountShape(kCountDisplays[c], text);
            if (text != QString::number(m_counts.values[c]))
                violated(std::string(kDisplayNames[c]) + " shows " + quoted(text) + ", but the reports gave "
                         + std::to_string(m_counts.values[c]));
        }
        for (std::size_t r = 0; r < 4; ++r) {
            const StatusDisplay display = kRateDisplays[r];
            const QString& text = state.texts[slot(display)];
            if (!m_rateStyle[r]) {
                if (text != QLatin1String("0.0 E+0"))
                    violated(std::string(kDisplayNames[slot(display)]) + " shows " + quoted(text)
                             + " instead of its start text");
                continue;
            }
            if (text != m_rateTexts[r])
                violated(std::string(kDisplayNames[slot(display)]) + " changed outside a report");
            checkRateText(display, text, *m_rateStyle[r], m_counts);
        }
    }

    serial::MemoryPortBackend* m_memory = nullptr; // owned by m_comm
    std::unique_ptr<serial::CommControl> m_comm;
    Displays m_view;

    // The harness's own account.
    bool m_open = false;
    qint16 m_threshold = 0;
    qint32 m_baudRate = 9600;
    QByteArray m_received;   // handed to the control since its framing started afresh
    qsizetype m_settled = 0; // of them, framed or rejected so far
    bool m_gapless = false;  // every rejected run since then was announced
    QByteArray m_waiting;    // the newest report framed and not yet read
    bool m_unannounced = false;
    bool m_inHandler = false;
    bool m_stray = false;
    Counts m_counts;
    QString m_hexLine;
    Style m_style = Style::C;
    // Style each rate display was computed in; none while it holds its start text.
    std::array<std::optional<Style>, 4> m_rateStyle{};
    std::array<QString, 4> m_rateTexts{};
    int m_events = 0;
    int m_lostSignals = 0;
};

} // namespace

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/)
{
    static int argc = 1;
    static char name[] = "report_path_fuzzer";
    static char* argv[] = {name, nullptr};
    g_clock = new VirtualClock;
    QCoreApplication::setEventDispatcher(g_clock); // before the application makes its own
    static QCoreApplication app(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider provider(data, size);
    Session session;
    while (provider.remaining_bytes() > 0) {
        const auto code = provider.ConsumeIntegral<quint8>();
        if (code < 0x80) {
            const std::string bytes = provider.ConsumeBytesAsString(code);
            session.deliver(QByteArray(bytes.data(), qsizetype(bytes.size())));
        } else if (code < 0xA0) {
            const qsizetype length = qsizetype(code - 0x7F) * 64;
            const std::string pattern = provider.ConsumeBytesAsString(kReportLength);
            QByteArray flood(length, '\0');
            for (qsizetype i = 0; !pattern.empty() && i < length; ++i)
                flood[i] = pattern[std::size_t(i) % pattern.size()];
            session.deliver(flood);
        } else {
            session.act(Action((code - 0xA0) % 16));
        }
    }
    return 0;
}
