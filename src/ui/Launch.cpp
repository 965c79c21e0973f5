#include "ui/Launch.h"

#include "serial/PortBackend.h"
#include "ui/Form1.h"

#include <QApplication>
#include <QList>
#include <QScreen>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

#if defined(Q_OS_UNIX)
#include "ui/CloseOnSignals.h"
#endif

namespace ui {

namespace {

// What Qt says while it looks for a window system is held back: if none
// answers, its messages (could not connect, reinstall the application) are
// beside the point.
struct HeldMessage
{
    QtMsgType type;
    QByteArray category;
    QString text;
};
QList<HeldMessage> heldMessages;
const char* startingProgram = nullptr;

QByteArray describeVariable(const char* name)
{
    const QByteArray value = qgetenv(name);
    return value.isEmpty() ? QByteArray(name) + " is not set" : QByteArray(name) + " is " + value;
}

void holdWhileStarting(QtMsgType type, const QMessageLogContext& context, const QString& text)
{
    if (type != QtFatalMsg) {
        heldMessages.append({type, context.category, text});
        return;
    }
    std::fprintf(stderr, "%s: needs a graphical desktop, and no window system could be reached (%s, %s)\n",
                 startingProgram, describeVariable("DISPLAY").constData(),
                 describeVariable("WAYLAND_DISPLAY").constData());
    std::fflush(stderr);
    std::_Exit(1);
}

bool platformChosen(int argc, char** argv)
{
    if (!qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        return true;
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "-platform") == 0 || std::strcmp(argv[i], "--platform") == 0)
            return true;
    return false;
}

} // namespace

std::unique_ptr<QApplication> makeWindowApplication(int& argc, char** argv, const char* program)
{
    if (platformChosen(argc, argv))
        return std::make_unique<QApplication>(argc, argv);
    startingProgram = program;
    const QtMessageHandler previous = qInstallMessageHandler(holdWhileStarting);
    auto app = std::make_unique<QApplication>(argc, argv);
    qInstallMessageHandler(previous);
    for (const HeldMessage& message : std::exchange(heldMessages, {}))
        qt_message_output(message.type,
                          QMessageLogContext(nullptr, 0, nullptr,
                                             message.category.isEmpty() ? nullptr : message.category.constData()),
                          message.text);
    return app;
}

std::unique_ptr<Form1> launchMonitor(std::unique_ptr<serial::PortBackend> backend, serial::DeviceForPort deviceForPort)
{
    // The classic look: etched group frames with the title in the top edge.
    QApplication::setStyle(QStringLiteral("Windows"));
    auto form = std::make_unique<Form1>(std::move(backend), std::move(deviceForPort));
    form->Form_Load();
    if (form->hasEnded())
        return form;
#if defined(Q_OS_UNIX)
    new CloseOnSignals(*form); // owned by the window
#endif
    const QRect screen = form->screen()->availableGeometry();
    form->move(screen.center() - form->rect().center());
    form->show();
    return form;
}

} // namespace ui
