#pragma once

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>

namespace bench {

// An X server of our own, when Xvfb is installed; display() is empty otherwise.
class XServer
{
public:
    XServer()
    {
        const QString xvfb = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
        if (xvfb.isEmpty())
            return;
        for (int display = 91; display < 99; ++display) {
            if (QFile::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(display)))
                continue;
            m_process.start(xvfb, {QStringLiteral(":%1").arg(display), QStringLiteral("-screen"), QStringLiteral("0"),
                                   QStringLiteral("1024x768x24"), QStringLiteral("-nolisten"), QStringLiteral("tcp")});
            m_process.waitForStarted();
            for (int wait = 0; wait < 50 && m_process.state() == QProcess::Running; ++wait) {
                if (QFile::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(display))) {
                    m_display = QStringLiteral(":%1").arg(display);
                    return;
                }
                QThread::msleep(100);
            }
            m_process.kill();
            m_process.waitForFinished();
        }
    }
    ~XServer()
    {
        m_process.terminate();
        m_process.waitForFinished();
    }
    QString display() const { return m_display; }

private:
    QProcess m_process;
    QString m_display;
};

} // namespace bench
