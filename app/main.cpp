#include "link/ports.h"
#include "simport/simulatedports.h"
#include "ui/mainwindow/mainform.h"

#include <QApplication>

#include <atomic>

namespace {

// Seen by an exchange that waits on a device inside a handler, before the event loop runs again. Set
// by a quit signal on Unix; Windows has no such signal, so there it stays false.
std::atomic<bool> QuitRequested{false};
static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");

} // namespace

#ifdef Q_OS_UNIX
#include <QSocketNotifier>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int QuitSignalPipe[2] = {-1, -1};

void OnQuitSignal(int) {
    QuitRequested = true;
    const char byte = 1;
    [[maybe_unused]] const auto written = write(QuitSignalPipe[1], &byte, 1);
}

// A terminal's Ctrl+C or a kill closes the main window as the exit command does, so devices and
// capture files are closed properly. (A Windows GUI program has no terminal to be stopped from.)
std::unique_ptr<QSocketNotifier> CloseOnQuitSignal(TMainForm& mainForm) {
    if (socketpair(AF_UNIX, SOCK_STREAM, 0, QuitSignalPipe) != 0)
        return nullptr;
    auto notifier = std::make_unique<QSocketNotifier>(QuitSignalPipe[0], QSocketNotifier::Read);
    QObject::connect(notifier.get(), &QSocketNotifier::activated, &mainForm, [&mainForm] {
        mainForm.close();
        QCoreApplication::quit();
    });
    std::signal(SIGTERM, OnQuitSignal);
    std::signal(SIGINT, OnQuitSignal);
    return notifier;
}

} // namespace
#endif

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    // The desktop matches the windows to the installed entry, and so shows its icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("kelmor"));
    // The simulated drives answer the ports named "sim", for the windows and the device library alike.
    const TSimulatedPorts simulated;
    PlugInPortKinds({simulated.Kind()});
    TMainForm mainForm(MachinePorts(), nullptr, &QuitRequested);

#ifdef Q_OS_UNIX
    const auto quitNotifier = CloseOnQuitSignal(mainForm);
#endif

    mainForm.show();
    return app.exec();
}
