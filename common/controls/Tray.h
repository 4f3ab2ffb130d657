#pragma once

#include "common/controls/Control.h"

#include <QTimer>

namespace harbel {

class Tray;

// The notification record handed to the shell, with the fields the shell reads.
struct NotifyIconData {
    quint32 cbSize = 488;
    quint32 uID = 1;
    quint32 uFlags = 0;
    quint32 uCallbackMessage = 512;
    QString hIcon;      // the icon: a file or resource path
    QString szTip;      // at most 127 characters
    quint32 dwState = 0;
    quint32 dwStateMask = 0;
    QString szInfo;     // balloon text, at most 255 characters
    quint32 uTimeout = 1;
    QString szInfoTitle;  // balloon title, at most 63 characters
    quint32 dwInfoFlags = 1;
};

enum NotifyFlags : quint32 { NIF_MESSAGE = 1, NIF_ICON = 2, NIF_TIP = 4, NIF_INFO = 16 };
enum NotifyMessage { NIM_ADD = 0, NIM_MODIFY = 1, NIM_DELETE = 2 };
enum TrayMouseMessage { WM_LBUTTONDOWN = 513, WM_LBUTTONUP = 514, WM_LBUTTONDBLCLK = 515,
                        WM_RBUTTONDOWN = 516, WM_RBUTTONUP = 517, WM_RBUTTONDBLCLK = 518 };

// The desktop's notification area. The window mode puts real icons there; without one (tests, the
// command line) a shell that only accepts the requests stands in.
class TrayShell {
public:
    virtual ~TrayShell() = default;
    // The owner is the control the icon belongs to: the shell reports presses back to it through
    // Tray::MouseMessage.
    virtual bool Shell_NotifyIcon(NotifyMessage message, const NotifyIconData& data, Tray& owner) = 0;

    static TrayShell& instance();
    static void setInstance(TrayShell* shell);
};

// One icon in the notification area that turns presses on it into events.
class Tray final : public Control {
    Q_OBJECT
public:
    Tray(Form& form, QString name, TrayShell* shell = nullptr);
    ~Tray() override;

    const QString& TrayImage() const { return image_; }
    void setTrayImage(const QString& image) { image_ = image; }
    const QString& TrayToolTip() const { return tip_; }
    void setTrayToolTip(const QString& tip) { tip_ = tip; }
    const QString& TrayBalloonToolTip() const { return balloon_; }
    void setTrayBalloonToolTip(const QString& text) { balloon_ = text; }
    int EventMode() const { return eventMode_; }
    void setEventMode(int mode) { eventMode_ = qBound(0, mode, 1); }
    bool IsVisible() const { return added_; }

    void Show(bool show);
    void showBalloonoolTip(bool show);

    // A mouse message the shell saw on the icon (513 left press, 516 right press; others ignored).
    void MouseMessage(int message);

    bool hasHandle() const override { return false; }
    bool canRefresh() const override { return false; }

signals:
    void LeftClick();
    void RightClick();
    void MouseClick(int button);

private:
    NotifyIconData record(quint32 flags) const;
    TrayShell& shell() const;

    TrayShell* shell_;
    QString image_;
    QString tip_;
    QString balloon_;
    int eventMode_ = 0;
    bool added_ = false;
    bool busy_ = false;
    QTimer debounce_;
};

}  // namespace harbel
