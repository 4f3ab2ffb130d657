#include "common/platform/TerminationSignals.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace harbel {

namespace {
int g_pipe[2] = {-1, -1};
int g_signal = 0;

void onSignal(int signal)
{
    const char c = char(signal);
    [[maybe_unused]] const auto n = ::write(g_pipe[0], &c, 1);
}
}  // namespace

void quitOnTerminationSignals()
{
    if (g_pipe[0] >= 0 || ::socketpair(AF_UNIX, SOCK_STREAM, 0, g_pipe) != 0)
        return;
    auto* notifier = new QSocketNotifier(g_pipe[1], QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, notifier, [] {
        char c;
        if (::read(g_pipe[1], &c, 1) == 1)
            g_signal = c;
        QCoreApplication::quit();
    });
    struct sigaction sa {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    for (int s : {SIGTERM, SIGINT, SIGHUP})
        ::sigaction(s, &sa, nullptr);
}

int terminationSignal()
{
    return g_signal;
}

}  // namespace harbel
