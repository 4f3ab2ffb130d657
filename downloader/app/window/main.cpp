// `pellanor-window`: the download manager's window. `pellanor` hands over to it (same process,
// same arguments) when it is started without options or with --add URL; it is not on the search
// path of an installation.

#include "downloader/app/CommandLine.h"
#include "downloader/main/frmMain.h"
#include "downloader/ui/MainWindowView.h"

#include "common/desktop/DesktopNotifier.h"
#include "common/platform/AppFolder.h"
#include "common/platform/Clipboard.h"
#include "common/platform/Shell.h"
#include "common/platform/SingleInstance.h"
#include "common/platform/TerminationSignals.h"
#include "common/ui/Icons.h"
#include "common/ui/QtClipboard.h"
#include "common/ui/PasswordFields.h"
#include "common/ui/QtPrompts.h"
#include "common/ui/Splash.h"
#include "common/ui/TrayView.h"

#include <QApplication>
#include <QSessionManager>
#include <QSplashScreen>
#include <QTimer>

#include <cstdio>
#include <functional>
#include <memory>

using namespace harbel;

namespace {

// Runs `before` when the application is asked to quit (a termination signal, logging out), before
// Qt closes the windows: a download window that closes stops its download, and
// the main window must pause them first so that they are continued at the next start.
class BeforeQuit final : public QObject {
public:
    explicit BeforeQuit(std::function<void()> before) : before_(std::move(before)) {}
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Quit && watched == QCoreApplication::instance())
            before_();
        return false;
    }

private:
    std::function<void()> before_;
};

}  // namespace

int main(int argc, char* argv[])
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    bool missing = false;
    const QString handOver = takeHandOver(arguments, &missing);
    if (missing) {
        std::fputs("pellanor: option '--add' needs an address\nTry 'pellanor --help'.\n", stderr);
        return 2;
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Harbel"));
    Icons::setApplicationIcon(QStringLiteral("pellanor"));
    QApplication::setQuitOnLastWindowClosed(false);
    QtPrompts prompts;
    Prompts::setInstance(&prompts);
    ui::sayWhenPasswordsStay(QStringLiteral("Pellanor"));

    // One window per application folder; later copies hand addresses to it (`pellanor --add URL`,
    // the browser's host) or bring it forward (a plain start). Many copies may start at the same
    // moment: one takes the lock and listens at once, the others wait for it to answer.
    SingleInstance instance(QStringLiteral("Pellanor"), QStringLiteral("TessalyRecieveMessage"));
    bool handedOver = false;
    if (!frmMain::checkSingleInstance(instance, &handedOver, handOver)) {
        if (!handedOver)
            std::fprintf(stderr, "pellanor: %s\n",
                         handOver.isEmpty() ? "another copy is running but does not answer"
                                            : "the running copy did not take the address");
        Prompts::setInstance(nullptr);
        return handedOver ? 0 : 1;
    }
    instance.listen();

    quitOnTerminationSignals();
    QtTrayShell trayShell;
    TrayShell::setInstance(&trayShell);
    QtClipboard clipboard;
    Clipboard::setInstance(&clipboard);
    DesktopShell shell;
    Shell::setInstance(&shell);
    // Downloads that end, and the window that goes on running in the tray, are told through the
    // desktop's notification service, which offers the file's Open and Show in Folder.
    DesktopNotifier notifier;
    notifier.setApplication(QStringLiteral("Pellanor"), QStringLiteral("pellanor"));
    Notifier::setInstance(&notifier);

    std::unique_ptr<QSplashScreen> splash = showSplash(AppFolder::file(QStringLiteral("DMSplash.spl")));

    int rc = 0;
    {
        frmMain form;
        PellanorMainWindowView window(form);
        prompts.setParent(&window);
        registerPellanorDialogs(prompts, form, &window);
        QObject::connect(&form, &frmMain::quitRequested, &app, &QApplication::quit, Qt::QueuedConnection);
        QObject::connect(&app, &QCoreApplication::aboutToQuit, &form, &frmMain::Form_Unload);
        BeforeQuit beforeQuit([&form] { form.Form_Unload(); });
        app.installEventFilter(&beforeQuit);
        // Logging out asks as Exit does when the desktop lets us ask; Cancel keeps the desktop
        // logged in. Either way the downloads that end are paused with their history saved.
        QObject::connect(&app, &QGuiApplication::commitDataRequest, &form, [&form](QSessionManager& manager) {
            if (manager.allowsInteraction()) {
                const bool quit = form.Form_QueryUnload();
                manager.release();
                if (!quit) {
                    manager.cancel();
                    return;
                }
            }
            form.Form_Unload();
        });
        form.Form_Load();
        form.takeHandOvers(instance);
        window.show();
        if (splash)
            splash->finish(&window);
        splash.reset();
        if (!handOver.isEmpty())
            QTimer::singleShot(0, &form, [&form, handOver] { form.txtChager_Change(handOver); });
        rc = app.exec();
        form.Form_Unload();
        prompts.setParent(nullptr);
    }
    Clipboard::setInstance(nullptr);
    Notifier::setInstance(nullptr);
    Shell::setInstance(nullptr);
    Prompts::setInstance(nullptr);
    TrayShell::setInstance(nullptr);
    return rc;
}
