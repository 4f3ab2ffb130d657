// `tessaly-window`: the FTP client's two-pane window. `tessaly` hands over to it (same process, same
// arguments) when it is started without a command; it is not on the search path of an installation.

#include "common/platform/AppFolder.h"
#include "common/platform/TerminationSignals.h"
#include "common/ui/Icons.h"
#include "common/ui/PasswordFields.h"
#include "common/ui/QtPrompts.h"
#include "common/ui/Splash.h"
#include "common/ui/TrayView.h"
#include "ftpclient/config/frmConnectionInfo.h"
#include "ftpclient/config/frmOptions.h"
#include "ftpclient/window/TessalyExist.h"
#include "ftpclient/window/TessalyMain.h"
#include "ftpclient/ui/ConnectionInfoView.h"
#include "ftpclient/ui/ExistView.h"
#include "ftpclient/ui/OptionsView.h"
#include "ftpclient/ui/TessalyMainView.h"

#include <QApplication>
#include <QFileInfo>
#include <QPixmap>
#include <QSplashScreen>

#include <memory>

using namespace harbel;

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Harbel"));
    Icons::setApplicationIcon(QStringLiteral("tessaly"));
    QApplication::setQuitOnLastWindowClosed(false);
    quitOnTerminationSignals();
    QtPrompts prompts;
    Prompts::setInstance(&prompts);
    harbel::ui::sayWhenPasswordsStay(QStringLiteral("Tessaly"));
    QtTrayShell trayShell;
    TrayShell::setInstance(&trayShell);
    prompts.registerView("frmConnectionInfo", [](Form& form, QWidget* parent) -> QDialog* {
        return new tessaly::ConnectionInfoView(static_cast<tessaly::frmConnectionInfo&>(form), parent);
    });
    prompts.registerView("frmExist", [](Form& form, QWidget* parent) -> QDialog* {
        return new tessaly::ExistView(static_cast<tessaly::frmExist&>(form), parent);
    });
    prompts.registerView("frmOptions", [](Form& form, QWidget* parent) -> QDialog* {
        return new tessaly::OptionsView(static_cast<tessaly::frmOptions&>(form), parent);
    });

    std::unique_ptr<QSplashScreen> splash = showSplash(AppFolder::file(QStringLiteral("FTPSplash.spl")));

    int rc = 0;
    {
        tessaly::frmMain form;
        TessalyMainWindowView window(form);
        prompts.setParent(&window);
        QObject::connect(&form, &tessaly::frmMain::quitRequested, &app, &QApplication::quit, Qt::QueuedConnection);
        if (!form.Form_Load()) {
            // A second start that brought the running window forward did what was asked of it.
            rc = form.raisedRunning() ? 0 : 1;
        } else {
            window.show();
            if (splash)
                splash->finish(&window);
            splash.reset();
            rc = app.exec();
            form.Form_Unload();
        }
        prompts.setParent(nullptr);
    }
    Prompts::setInstance(nullptr);
    TrayShell::setInstance(nullptr);
    return rc;
}
