// The least a Qt widget window spends to follow a growing file: one label,
// showing how many bytes the file has grown by, repainted after every read.
// The live view's benchmark runs it beside bermon-plot --follow on the same
// recording, so that what the toolkit and the file's notes cost can be told
// from what the charts cost.
#include <QApplication>
#include <QFile>
#include <QFileSystemWatcher>
#include <QLabel>

#include <cstdio>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: bermon-follow-floor FILE\n");
        return 2;
    }
    QFile file(QString::fromLocal8Bit(argv[1]));
    if (!file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "%s: %s\n", argv[1], qPrintable(file.errorString()));
        return 1;
    }
    file.seek(file.size());

    QLabel label(QStringLiteral("0"));
    label.resize(200, 40);
    label.show();

    qint64 received = 0;
    QFileSystemWatcher watcher({file.fileName()});
    QObject::connect(&watcher, &QFileSystemWatcher::fileChanged, [&] {
        char bytes[65536];
        for (qint64 n; (n = file.read(bytes, sizeof bytes)) > 0;)
            received += n;
        label.setText(QString::number(received));
    });
    return app.exec();
}
