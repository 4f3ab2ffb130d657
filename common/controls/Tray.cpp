#include "common/controls/Tray.h"

namespace harbel {

namespace {

class NullTrayShell final : public TrayShell {
public:
    bool Shell_NotifyIcon(NotifyMessage, const NotifyIconData&, Tray&) override { return true; }
};

TrayShell* g_shell = nullptr;

}  // namespace

TrayShell& TrayShell::instance()
{
    static NullTrayShell none;
    return g_shell ? *g_shell : none;
}

void TrayShell::setInstance(TrayShell* shell)
{
    g_shell = shell;
}

Tray::Tray(Form& form, QString name, TrayShell* shell)
    : Control(form, std::move(name), ControlKind::Tray), shell_(shell)
{
    debounce_.setSingleShot(true);
    debounce_.setInterval(15);
    connect(&debounce_, &QTimer::timeout, this, [this] { busy_ = false; });
}

Tray::~Tray()
{
    // An icon must not outlive its control.
    if (added_)
        shell().Shell_NotifyIcon(NIM_DELETE, record(NIF_MESSAGE | NIF_ICON | NIF_TIP), *this);
}

TrayShell& Tray::shell() const
{
    return shell_ ? *shell_ : TrayShell::instance();
}

NotifyIconData Tray::record(quint32 flags) const
{
    NotifyIconData d;
    d.uFlags = flags;
    d.hIcon = image_;
    if (!tip_.isEmpty())
        d.szTip = (u' ' + tip_ + u' ').left(127);
    return d;
}

void Tray::Show(bool show)
{
    if (show) {
        const NotifyIconData d = record(NIF_MESSAGE | NIF_ICON | NIF_TIP);
        if (added_) {
            shell().Shell_NotifyIcon(NIM_MODIFY, d, *this);
        } else {
            shell().Shell_NotifyIcon(NIM_ADD, d, *this);
            added_ = true;
        }
    } else if (added_) {
        shell().Shell_NotifyIcon(NIM_DELETE, record(NIF_MESSAGE | NIF_ICON | NIF_TIP), *this);
        added_ = false;
    }
}

void Tray::showBalloonoolTip(bool show)
{
    if (!show)
        return;
    NotifyIconData d = record(NIF_MESSAGE | NIF_ICON | NIF_TIP | NIF_INFO);
    d.szInfo = balloon_.left(255);
    d.szInfoTitle = tip_.left(63);
    shell().Shell_NotifyIcon(NIM_MODIFY, d, *this);
}

void Tray::MouseMessage(int message)
{
    if (busy_)
        return;
    if (message != WM_LBUTTONDOWN && message != WM_RBUTTONDOWN)
        return;
    busy_ = true;
    const bool left = message == WM_LBUTTONDOWN;
    if (eventMode_ == 0) {
        if (left)
            emit LeftClick();
        else
            emit RightClick();
    } else {
        emit MouseClick(left ? 1 : 2);
    }
    debounce_.start();
}

}  // namespace harbel
