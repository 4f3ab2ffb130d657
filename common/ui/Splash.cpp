#include "common/ui/Splash.h"

#include <QApplication>
#include <QFileInfo>
#include <QPixmap>
#include <QSplashScreen>

namespace harbel {

std::unique_ptr<QSplashScreen> showSplash(const QString& file)
{
    if (!QFileInfo::exists(file))
        return nullptr;
    const QPixmap picture(file);
    if (picture.isNull())
        return nullptr;
    auto splash = std::make_unique<QSplashScreen>(picture);
    splash->show();
    QApplication::processEvents();
    return splash;
}

}  // namespace harbel
