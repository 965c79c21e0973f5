#include "util/QuietStartup.h"

#include <QString>
#include <QtGlobal>

namespace util {

namespace {

QtMessageHandler previousHandler = nullptr;

void withoutRuntimeDirectoryWarning(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (type == QtWarningMsg && message.startsWith(QLatin1String("QStandardPaths: XDG_RUNTIME_DIR not set")))
        return;
    previousHandler(type, context, message);
}

} // namespace

void dropRuntimeDirectoryWarning()
{
    if (!previousHandler)
        previousHandler = qInstallMessageHandler(withoutRuntimeDirectoryWarning);
}

} // namespace util
