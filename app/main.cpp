// The program's main block: the application object, the main window, the message loop.
//
// SIGTERM, SIGINT and SIGHUP (a logout, kill, Ctrl+C in a terminal) close the window as
// its close button does, so that its close steps run once: the settings are saved, the
// identification text is written and the writes still waiting reach the hub. A signal
// during the close only says so on stderr: the close goes on to its end (its wait for the
// hub is bounded), and SIGKILL remains for one who cannot wait.
#include "comms/TMbaxp.h"
#include "controls/Services.h"
#include "controls/Spreadsheet.h"
#include "mainform/MainForm.h"

#include <QApplication>
#include <QSocketNotifier>
#include <memory>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// The signal handler's end of a socket pair: it only writes one byte there
// (async-signal-safe); the event loop reads the other end.
int signalWriteFd = -1;

void OnSignal(int)
{
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(signalWriteFd, &byte, 1);
    errno = saved;
}

// Routes the ending signals to the event loop; false when that cannot be set up (the
// signals then end the program as they would anyway).
bool CatchEndingSignals(int fds[2])
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, fds) != 0)
        return false;
    signalWriteFd = fds[1];
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int number : {SIGTERM, SIGINT, SIGHUP})
        ::sigaction(number, &action, nullptr);
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("VelkarHub"));
    QApplication::setQuitOnLastWindowClosed(true);

    int signalFds[2] = {-1, -1};
    std::unique_ptr<QSocketNotifier> signalNotifier;
    TForm1 *window = nullptr;
    bool closing = false;
    if (CatchEndingSignals(signalFds)) {
        signalNotifier = std::make_unique<QSocketNotifier>(signalFds[0], QSocketNotifier::Read);
        QObject::connect(signalNotifier.get(), &QSocketNotifier::activated, [&] {
            char bytes[64];
            while (::read(signalFds[0], bytes, sizeof bytes) > 0) {
            }
            if (closing || !window) {
                std::fprintf(stderr, "VelkarHub: closing already; waiting for the writes to the hub to be sent\n");
                return;
            }
            closing = true;
            window->Close();
            // Also out of a box the window may have open (it answers as if cancelled).
            QCoreApplication::exit(0);
        });
    }

    TMbaxp control;
    QtDialogs dialogs;
    QtShell shell;
    SystemClock clock;
    CalcAutomation spreadsheets;
    int result = 0;
    {
        TForm1 form(TFormEnvironment{control, dialogs, shell, clock, spreadsheets, QString()});
        window = &form;
        form.Show();
        result = app.exec();
        // From here on the window is closing: its destruction runs its close steps.
        closing = true;
        window = nullptr;
    }
    return result;
}
