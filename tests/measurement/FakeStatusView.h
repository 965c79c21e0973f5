#pragma once

#include "measurement/Rates.h"
#include "measurement/ReportPort.h"
#include "measurement/StatusView.h"

#include <QHash>
#include <QList>

#include <stdexcept>

// Status displays held in memory, starting at the window's start texts.
class FakeStatusView final : public measurement::StatusView
{
public:
    FakeStatusView() { measurement::resetStatus(*this); }

    QString displayText(measurement::StatusDisplay display) const override { return texts.value(display); }
    void setDisplayText(measurement::StatusDisplay display, const QString& text) override { texts[display] = text; }
    void setHexLine(const QString& text) override { hexLine = text; }

    void setCounts(quint64 recv, quint64 loss, quint64 errorFrames, quint64 errorBits)
    {
        using D = measurement::StatusDisplay;
        texts[D::RecvFrame] = QString::number(recv);
        texts[D::LossFrame] = QString::number(loss);
        texts[D::ErrorFrame] = QString::number(errorFrames);
        texts[D::ErrorBit] = QString::number(errorBits);
    }

    QHash<measurement::StatusDisplay, QString> texts;
    QString hexLine = QStringLiteral("untouched");
};

// A port whose reads hand out prepared inputs one after another.
class FakeReportPort final : public measurement::ReportPort
{
public:
    qint16 commEvent() const override
    {
        if (eventFails)
            throw std::runtime_error("event kind unreadable");
        return event;
    }
    QByteArray input() override
    {
        ++reads;
        if (inputFails)
            throw std::runtime_error("input unreadable");
        return reads <= inputs.size() ? inputs[reads - 1] : QByteArray();
    }

    qint16 event = measurement::kCommEventReceive;
    bool eventFails = false;
    bool inputFails = false;
    QList<QByteArray> inputs;
    int reads = 0;
};
