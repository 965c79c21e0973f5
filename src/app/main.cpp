#include "serial/PortMapping.h"
#include "serial/SerialPortBackend.h"
#include "ui/Form1.h"

#include <QApplication>
#include <QScreen>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    // The classic look: etched group frames with the title in the top edge.
    QApplication::setStyle(QStringLiteral("Windows"));
    ui::Form1 form(std::make_unique<serial::SerialPortBackend>(), serial::systemDeviceForPort);
    form.load();
    if (form.hasEnded())
        return form.exitStatus();

    const QRect screen = form.screen()->availableGeometry();
    form.move(screen.center() - form.rect().center());
    form.show();
    return app.exec();
}
