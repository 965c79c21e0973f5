#include "desktop/WindowApplication.h"

#include <QList>
#include <QSet>
#include <QtGlobal>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace desktop {

namespace {

// QGuiApplication's, QApplication's and the X11 platform's own options; each
// may also be written with two dashes.
const QSet<QString> kToolkitOptionsWithValue{"platform",        "platformpluginpath", "platformtheme", "plugin",
                                             "qwindowgeometry", "qwindowtitle",       "qwindowicon",   "session",
                                             "style",           "stylesheet",         "display",       "name"};
const QSet<QString> kToolkitSwitches{"reverse", "testability", "nograb", "dograb", "widgetcount", "sync"};

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
QtMessageHandler previousHandler = nullptr;

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

QStringList withoutToolkitOptions(const QStringList& arguments)
{
    QStringList kept;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        QString name = argument.startsWith(QLatin1String("--")) ? argument.mid(2)
                       : argument.startsWith(QLatin1Char('-'))  ? argument.mid(1)
                                                                : QString();
        if (const qsizetype equals = name.indexOf(QLatin1Char('=')); equals > 0) {
            if (kToolkitOptionsWithValue.contains(name.left(equals)) || name.startsWith(QLatin1String("qmljsdebugger")))
                continue;
        } else if (kToolkitSwitches.contains(name)) {
            continue;
        } else if (kToolkitOptionsWithValue.contains(name) && i + 1 < arguments.size()) {
            ++i;
            continue;
        }
        kept << argument;
    }
    return kept;
}

WindowSystemProbe::WindowSystemProbe(int argc, char** argv, const char* program)
{
    if (platformChosen(argc, argv))
        return;
    m_active = true;
    startingProgram = program;
    previousHandler = qInstallMessageHandler(holdWhileStarting);
}

WindowSystemProbe::~WindowSystemProbe()
{
    if (!m_active)
        return;
    qInstallMessageHandler(previousHandler);
    for (const HeldMessage& message : std::exchange(heldMessages, {}))
        qt_message_output(message.type,
                          QMessageLogContext(nullptr, 0, nullptr,
                                             message.category.isEmpty() ? nullptr : message.category.constData()),
                          message.text);
}

} // namespace desktop
