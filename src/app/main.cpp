#include "serial/PortMapping.h"
#include "serial/SerialPortBackend.h"
#include "ui/Form1.h"
#include "ui/Launch.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    const auto form = ui::launchMonitor(std::make_unique<serial::SerialPortBackend>(), serial::systemDeviceForPort);
    if (form->hasEnded())
        return form->exitStatus();
    return app.exec();
}
