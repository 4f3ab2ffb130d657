#pragma once

#include <QString>

#include <memory>

class QSplashScreen;

namespace harbel {

// Shows the splash picture of a program when the file is there and holds a picture; null otherwise.
std::unique_ptr<QSplashScreen> showSplash(const QString& file);

}  // namespace harbel
