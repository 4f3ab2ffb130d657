#pragma once

#include <QString>

#include <functional>

namespace harbel {

// A short message for the desktop, shown without stopping anybody: a download that ended, a
// window that went on running in the notification area.
struct Notice {
    QString summary;
    QString body;
    // The file the notice is about: the desktop offers to open it and to show its folder, when
    // it can. Empty: no such offers.
    QString file;
};

// Where the programs' notices go. The window programs put the desktop's notification service in
// place; without it (the command line, tests that set none) nobody shows them, and each notice is
// handed back at once through its unshown callback, so the caller can say it in its own window.
class Notifier {
public:
    using Unshown = std::function<void(const Notice&)>;

    virtual ~Notifier() = default;
    // Shows the notice; unshown runs (maybe later, from the event loop) when nothing showed it.
    virtual void notify(const Notice& notice, const Unshown& unshown = {}) = 0;

    static Notifier& instance();
    static void setInstance(Notifier* notifier);
};

}  // namespace harbel
