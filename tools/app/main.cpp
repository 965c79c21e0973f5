#include "desktop/WindowApplication.h"
#include "serial/PortMapping.h"
#include "serial/SerialPortBackend.h"
#include "ui/Form1.h"
#include "ui/Launch.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    // No command line; Qt's own options (-platform ...) only.
    const auto app = desktop::makeWindowApplication<QApplication>(argc, argv, "bermon");
    const auto form = ui::launchMonitor(std::make_unique<serial::SerialPortBackend>(), serial::systemPorts);
    if (form->hasEnded())
        return form->exitStatus();
    return app->exec();
}
