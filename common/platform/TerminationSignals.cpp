#include "common/platform/TerminationSignals.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <atomic>
#include <chrono>
#include <csignal>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace harbel {

namespace {
int g_pipe[2] = {-1, -1};
// The watchdog's own pipe: it learns of a signal even while the event loop is blocked.
int g_watch[2] = {-1, -1};
std::atomic<int> g_received{0};
std::atomic<bool> g_answered{false};
int g_signal = 0;

// How long the event loop has to take a signal before the process ends the hard way.
constexpr auto kAnswerTime = std::chrono::seconds(2);

// Ends the process as the signal's default action does, so the parent sees it killed by it.
void endBy(int signal)
{
    ::signal(signal, SIG_DFL);
    // Inside its own handler the signal is blocked: let it through, or raise would only queue it.
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, signal);
    ::sigprocmask(SIG_UNBLOCK, &set, nullptr);
    ::raise(signal);
    ::_exit(128 + signal);
}

void onSignal(int signal)
{
    // A second signal ends the program whatever it is busy with: the user asked twice.
    if (g_received.fetch_add(1) > 0)
        endBy(signal);
    const char c = char(signal);
    [[maybe_unused]] auto n = ::write(g_pipe[0], &c, 1);
    n = ::write(g_watch[1], &c, 1);
}

// Waits for a signal; when the event loop has not taken it in time (the main thread is busy), the
// process ends by that signal.
void watch()
{
    char c = 0;
    while (::read(g_watch[0], &c, 1) != 1) {
    }
    const auto deadline = std::chrono::steady_clock::now() + kAnswerTime;
    while (std::chrono::steady_clock::now() < deadline) {
        if (g_answered.load())
            return;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    endBy(int(c));
}
}  // namespace

void quitOnTerminationSignals()
{
    if (g_pipe[0] >= 0 || ::socketpair(AF_UNIX, SOCK_STREAM, 0, g_pipe) != 0)
        return;
    if (::pipe(g_watch) != 0)
        return;
    std::thread(watch).detach();
    auto* notifier = new QSocketNotifier(g_pipe[1], QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, notifier, [] {
        char c;
        if (::read(g_pipe[1], &c, 1) == 1)
            g_signal = c;
        g_answered = true;
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
