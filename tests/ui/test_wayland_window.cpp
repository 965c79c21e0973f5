// The window on a Wayland compositor, a headless weston of the test's own: a
// compositor may maximise or full-screen any window, and none of that may end
// the program. Runs wherever weston is installed, and fails when weston is
// installed but does not start.
#include "support/MemoryPortBackend.h"
#include "support/RequireInstalled.h"
#include "ui/ElementTable.h"
#include "ui/Form1.h"
#include "ui/Launch.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <thread>

#include <fcntl.h>
#if defined(__linux__)
#include <sys/prctl.h>
#endif
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr char kSocket[] = "bermon-test";

// weston --backend=headless-backend.so, started before the application object
// so that Qt's Wayland platform finds it.
class HeadlessWeston
{
public:
    HeadlessWeston()
    {
        const QString program = QStandardPaths::findExecutable(QStringLiteral("weston"));
        m_installed = !program.isEmpty();
        if (!m_installed)
            return;
        // weston refuses a runtime directory that others may enter.
        QFile::setPermissions(m_runtime.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        const QByteArray log = QFile::encodeName(m_runtime.filePath(QStringLiteral("weston.log")));
        const QByteArray runtime = QFile::encodeName(m_runtime.path());
        const QByteArray executable = QFile::encodeName(program);
        const QByteArray socketOption = QByteArray("--socket=") + kSocket;
        m_pid = fork();
        if (m_pid == 0) {
#if defined(__linux__)
            // A test that dies, as on a protocol error, takes its compositor along.
            prctl(PR_SET_PDEATHSIG, SIGTERM);
#endif
            const int fd = open(log.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            dup2(fd, STDOUT_FILENO);
            dup2(fd, STDERR_FILENO);
            setenv("XDG_RUNTIME_DIR", runtime.constData(), 1);
            execl(executable.constData(), "weston", "--backend=headless-backend.so", socketOption.constData(),
                  "--idle-time=0", static_cast<char*>(nullptr));
            _exit(127);
        }
        const QString socket = m_runtime.filePath(QLatin1String(kSocket));
        for (int i = 0; i < 100 && !QFile::exists(socket) && running(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        if (!QFile::exists(socket) || !running()) {
            QFile file(QString::fromLocal8Bit(log));
            file.open(QIODevice::ReadOnly);
            m_error = QStringLiteral("weston did not start: ") + QString::fromLocal8Bit(file.readAll().right(2000));
        }
    }
    ~HeadlessWeston()
    {
        if (m_pid > 0 && running()) {
            kill(m_pid, SIGTERM);
            waitpid(m_pid, nullptr, 0);
        }
    }
    bool installed() const
    {
        return m_installed;
    }
    bool started() const
    {
        return m_installed && m_error.isEmpty();
    }
    QString error() const
    {
        return m_error;
    }
    QString runtimeDirectory() const
    {
        return m_runtime.path();
    }

private:
    bool running()
    {
        if (m_pid <= 0 || m_exited)
            return false;
        m_exited = waitpid(m_pid, nullptr, WNOHANG) == m_pid;
        return !m_exited;
    }

    QTemporaryDir m_runtime;
    pid_t m_pid = -1;
    bool m_installed = false;
    bool m_exited = false;
    QString m_error;
};

HeadlessWeston* weston = nullptr;

QSize designSize()
{
    return {ui::twipsToPixels(ui::kClientWidthTwips), ui::twipsToPixels(ui::kClientHeightTwips)};
}

} // namespace

class TestWaylandWindow : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void survivesWhatTheCompositorAsks_data();
    void survivesWhatTheCompositorAsks();
};

void TestWaylandWindow::initTestCase()
{
    BERMON_REQUIRE_INSTALLED(weston->installed(), "weston", "test");
    QVERIFY2(weston->started(), qPrintable(weston->error()));
    QCOMPARE(QGuiApplication::platformName(), QStringLiteral("wayland"));
}

void TestWaylandWindow::survivesWhatTheCompositorAsks_data()
{
    QTest::addColumn<QList<Qt::WindowState>>("states");
    QTest::newRow("maximised, then normal") << QList{Qt::WindowMaximized, Qt::WindowNoState};
    QTest::newRow("full screen, then normal") << QList{Qt::WindowFullScreen, Qt::WindowNoState};
    QTest::newRow("maximised, full screen, normal")
        << QList{Qt::WindowMaximized, Qt::WindowFullScreen, Qt::WindowNoState};
}

void TestWaylandWindow::survivesWhatTheCompositorAsks()
{
    QFETCH(QList<Qt::WindowState>, states);
    const auto form = ui::launchMonitor(std::make_unique<serial::MemoryPortBackend>(),
                                        [](int port) { return QStringLiteral("mem%1").arg(port); });
    QVERIFY(QTest::qWaitForWindowExposed(form.get()));
    QCOMPARE(form->size(), designSize());
    for (const Qt::WindowState state : states) {
        form->setWindowState(state);
        // The compositor's configure has come and been answered; a commit it
        // did not accept would have ended the connection, and the test, here.
        QVERIFY2(QTest::qWaitFor(
                     [&] {
                         return form->windowState() == state
                                && (state == Qt::WindowNoState ? form->size() == designSize()
                                                               : form->size() != designSize());
                     },
                     5000),
                 qPrintable(QStringLiteral("state %1, size %2 x %3")
                                .arg(int(form->windowState()))
                                .arg(form->width())
                                .arg(form->height())));
        QTest::qWait(300);
        QVERIFY(form->isVisible());
        if (state == Qt::WindowFullScreen)
            QCOMPARE(form->size(), form->screen()->size());
        for (const ui::ElementRow& row : ui::mainWindowElements()) {
            const auto* element = form->findChild<QWidget*>(QLatin1String(row.name));
            QVERIFY(element);
            const QRect expected = QLatin1String(row.name) == QLatin1String("StatusBar1")
                                       ? QRect(0, form->height() - element->height(), form->width(), element->height())
                                       : QRect(ui::twipsToPixels(row.left), ui::twipsToPixels(row.top),
                                               ui::twipsToPixels(row.width), ui::twipsToPixels(row.height));
            QCOMPARE(element->geometry(), expected);
        }
    }
    QCOMPARE(form->size(), designSize());
}

int main(int argc, char* argv[])
{
    HeadlessWeston compositor;
    weston = &compositor;
    if (compositor.started()) {
        qputenv("QT_QPA_PLATFORM", "wayland");
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(compositor.runtimeDirectory()));
        qputenv("WAYLAND_DISPLAY", kSocket);
    }
    QApplication app(argc, argv);
    TestWaylandWindow test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_wayland_window.moc"
