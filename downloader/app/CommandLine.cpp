#include "downloader/app/CommandLine.h"

namespace harbel {

QString pellanorUsage()
{
    return QStringLiteral(
        "Usage: pellanor [OPTION]\n"
        "Harbel download manager.\n"
        "\n"
        "Without options, opens the main window.\n"
        "\n"
        "  -h, --help     show this help and exit (needs no display)\n"
        "  --version      show the version and exit\n"
        "\n"
        "Environment:\n"
        "  HARBEL_HOME      application folder (default ~/.local/share/Harbel)\n"
        "  HARBEL_REGISTRY  settings store file (default ~/.config/Harbel/registry.reg)\n");
}

PellanorOptions parsePellanorArguments(const QStringList& arguments)
{
    PellanorOptions o;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& a = arguments[i];
        if (a == QLatin1String("-h") || a == QLatin1String("--help")) {
            o.mode = PellanorOptions::Mode::Help;
            return o;
        }
        if (a == QLatin1String("--version")) {
            o.mode = PellanorOptions::Mode::Version;
            return o;
        }
        // Qt's own window options (-platform, -style...) are left to Qt.
        if (a.startsWith(QLatin1String("-platform")) || a.startsWith(QLatin1String("-style"))
            || a.startsWith(QLatin1String("-display"))) {
            if (!a.contains(u'='))
                ++i;
            continue;
        }
        o.mode = PellanorOptions::Mode::Error;
        o.error = QStringLiteral("pellanor: unknown option '%1'\nTry 'pellanor --help'.").arg(a);
        return o;
    }
    return o;
}

}  // namespace harbel
