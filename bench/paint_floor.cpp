// The least a Qt widget window spends to show what arrives on a line: one
// label, showing how many bytes have come, repainted after every read. The
// paint benchmark runs it beside the monitor on the same stream, so that the
// toolkit's own cost per repaint can be told from the monitor's.
#include <QApplication>
#include <QLabel>
#include <QSocketNotifier>

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: bermon-paint-floor DEVICE\n");
        return 2;
    }
    const int fd = ::open(argv[1], O_RDONLY | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        std::perror(argv[1]);
        return 1;
    }

    QLabel label(QStringLiteral("0"));
    label.resize(200, 40);
    label.show();

    qint64 received = 0;
    QSocketNotifier notifier(fd, QSocketNotifier::Read);
    QObject::connect(&notifier, &QSocketNotifier::activated, [&] {
        char bytes[256];
        for (ssize_t n; (n = ::read(fd, bytes, sizeof bytes)) > 0;)
            received += n;
        label.setText(QString::number(received));
    });
    return app.exec();
}
