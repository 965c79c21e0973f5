#pragma once

#include <QStringList>

#include <memory>

namespace desktop {

// The arguments less the options that Qt's window application takes for itself
// (-platform NAME, -style NAME, -reverse ...), so that a program's own options
// can be read before the application object exists.
QStringList withoutToolkitOptions(const QStringList& arguments);

// Held while the application object of a program with a window is made. When
// Qt picks the window system itself (QT_QPA_PLATFORM unset, no -platform) and
// none answers, as over SSH or on a console, it prints one line that `program`
// needs a graphical desktop, with DISPLAY and WAYLAND_DISPLAY as they are, and
// exits with status 1. A platform chosen on purpose starts, or fails, as Qt
// has it. What Qt says on a good start is passed on when the probe ends.
class WindowSystemProbe
{
public:
    WindowSystemProbe(int argc, char** argv, const char* program);
    ~WindowSystemProbe();
    WindowSystemProbe(const WindowSystemProbe&) = delete;
    WindowSystemProbe& operator=(const WindowSystemProbe&) = delete;

private:
    bool m_active = false;
};

// The application object (QApplication, QGuiApplication) of a program with a
// window, made under a WindowSystemProbe.
template <class Application>
std::unique_ptr<Application> makeWindowApplication(int& argc, char** argv, const char* program)
{
    const WindowSystemProbe probe(argc, argv, program);
    return std::make_unique<Application>(argc, argv);
}

} // namespace desktop
