#include "ui/Launch.h"

#include "serial/PortBackend.h"
#include "ui/Form1.h"

#include <QApplication>
#include <QScreen>

#include <utility>

#if defined(Q_OS_UNIX)
#include "ui/CloseOnSignals.h"
#endif

namespace ui {

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
