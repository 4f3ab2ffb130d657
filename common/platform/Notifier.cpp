#include "common/platform/Notifier.h"

namespace harbel {

namespace {

// Nobody to show notices: every one goes back to its caller.
class NoNotifier final : public Notifier {
public:
    void notify(const Notice& notice, const Unshown& unshown) override
    {
        if (unshown)
            unshown(notice);
    }
};

Notifier* g_notifier = nullptr;

}  // namespace

Notifier& Notifier::instance()
{
    static NoNotifier none;
    return g_notifier ? *g_notifier : none;
}

void Notifier::setInstance(Notifier* notifier)
{
    g_notifier = notifier;
}

}  // namespace harbel
