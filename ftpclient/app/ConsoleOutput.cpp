#include "ftpclient/app/ConsoleOutput.h"

#include <QByteArray>

namespace harbel::tessaly {

void ConsoleOutput::write(std::FILE* stream, const QString& text)
{
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
}

void ConsoleOutput::info(const QString& text)
{
    if (quiet_)
        return;
    endProgress();
    write(out_, text + u'\n');
}

void ConsoleOutput::answer(const QString& text)
{
    endProgress();
    write(out_, text + u'\n');
}

void ConsoleOutput::error(const QString& text)
{
    endProgress();
    write(err_, text + u'\n');
}

void ConsoleOutput::progress(const QString& text)
{
    if (!showsProgress())
        return;
    write(out_, u'\r' + text + QStringLiteral("\x1b[K"));
    lineOpen_ = true;
}

void ConsoleOutput::endProgress()
{
    if (lineOpen_) {
        write(out_, QStringLiteral("\n"));
        lineOpen_ = false;
    }
}

QString ConsoleOutput::printable(const QString& name)
{
    QString shown = name;
    for (QChar& c : shown) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            c = u'?';
    }
    return shown;
}

}  // namespace harbel::tessaly
