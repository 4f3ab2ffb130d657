#pragma once

#include "common/support/LangString.h"

#include <QCoreApplication>
#include <QString>

namespace harbel {

// The text of a language-file code, with its English default.
inline QString lang(const char* code, const char* text)
{
    return GetLangString(QString::fromLatin1(code), QString::fromLatin1(text));
}

// The title of the download manager's message boxes.
inline QString programTitle()
{
    const QString name = QCoreApplication::applicationName();
    return name.isEmpty() ? QStringLiteral("Pellanor") : name;
}

}  // namespace harbel
