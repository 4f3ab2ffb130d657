#include "downloader/app/CommandLine.h"

namespace harbel {

QString pellanorUsage()
{
    return QStringLiteral(
        "Usage: pellanor [OPTION]\n"
        "       pellanor --download URL [URL...] [-o FILE | -d DIR] [--overwrite | --resume | --skip]\n"
        "                [--segments] [--passive] [--ca-certificate FILE]\n"
        "                [--timeout SECONDS] [--tries N]\n"
        "Harbel download manager.\n"
        "\n"
        "Without options, opens the main window.\n"
        "\n"
        "  -h, --help     show this help and exit (needs no display)\n"
        "  --version      show the version and exit\n"
        "\n"
        "Downloading without a window (needs no display):\n"
        "  --download URL [URL...]  download each address (http://, https://, ftp://,\n"
        "                 ftps:// or sftp://) in turn, with the options and settings\n"
        "                 of the window mode (the proxy of the settings included);\n"
        "                 sftp:// takes the host key only from ~/.ssh/known_hosts,\n"
        "                 and a key with a passphrase only through ssh-agent or\n"
        "                 with its passphrase saved in the keyring from the window\n"
        "  -o FILE        save the single address as FILE\n"
        "  -d DIR         save every file in DIR under the name its address gives\n"
        "                 (default: the current folder)\n"
        "  --overwrite    replace a file that exists already\n"
        "  --resume       continue a file that exists already\n"
        "  --skip         leave an existing file alone and count it as done\n"
        "                 (without one of these, an existing file is left alone and\n"
        "                 counts as a failure)\n"
        "  --segments     fetch large HTTP files over two to six parallel connections\n"
        "                 (by the segment sizes of the settings)\n"
        "  --passive      open FTP data connections from this side (PASV)\n"
        "  --ca-certificate FILE  trust the certificate authorities in FILE (PEM or DER)\n"
        "                 as well as the system's, for https:// and ftps:// servers\n"
        "                 with a private authority (may be given more than once)\n"
        "  --timeout SECONDS  give up each wait for a connection, for the server's\n"
        "                 answer or for more data after SECONDS (default: the\n"
        "                 Timeout setting, 60 when none is saved); a transfer that\n"
        "                 stalls reconnects and goes on from what it has\n"
        "  --tries N      try a download that timed out again up to N times in a row\n"
        "                 without new data, so a silent server fails after\n"
        "                 SECONDS x (N + 1); 0 never tries again (default: the\n"
        "                 Retries setting, 3 when none is saved)\n"
        "  An output file with a control file FILE.pellanor beside it is continued\n"
        "  without --resume. Ctrl+C stops the download, keeps the partial file and\n"
        "  its control file for a later run, and exits with status 130.\n"
        "  Exit status: 0 when every file is complete, 1 when any is not, 2 for a\n"
        "  command-line error, 130 after Ctrl+C.\n"
        "\n"
        "Environment:\n"
        "  HARBEL_HOME      application folder (default ~/.local/share/Harbel)\n"
        "  HARBEL_REGISTRY  settings store file (default ~/.config/Harbel/registry.reg)\n");
}

namespace {

PellanorOptions failed(const QString& why)
{
    PellanorOptions o;
    o.mode = PellanorOptions::Mode::Error;
    o.error = QStringLiteral("pellanor: %1\nTry 'pellanor --help'.").arg(why);
    return o;
}

// The whole number of an option given as "--name N" or "--name=N", from lowest up; false when it
// is missing or no such number.
bool wholeOption(const QStringList& arguments, qsizetype& i, int lowest, int* value)
{
    const QString& a = arguments[i];
    QString text;
    if (a.contains(u'='))
        text = a.section(u'=', 1);
    else if (i + 1 < arguments.size())
        text = arguments[++i];
    bool ok = false;
    const int n = text.toInt(&ok);
    if (!ok || n < lowest)
        return false;
    *value = n;
    return true;
}

bool isOption(const QString& argument, QLatin1String name)
{
    return argument == name || (argument.startsWith(name) && argument.at(name.size()) == u'=');
}

}  // namespace

PellanorOptions parsePellanorArguments(const QStringList& arguments)
{
    PellanorOptions o;
    bool download = false;
    bool existsGiven = false;
    bool outputGiven = false;
    bool dirGiven = false;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& a = arguments[i];
        if (a == QLatin1String("-h") || a == QLatin1String("--help")) {
            PellanorOptions help;
            help.mode = PellanorOptions::Mode::Help;
            return help;
        }
        if (a == QLatin1String("--version")) {
            PellanorOptions version;
            version.mode = PellanorOptions::Mode::Version;
            return version;
        }
        if (a == QLatin1String("--download")) {
            download = true;
            continue;
        }
        if (a == QLatin1String("--ca-certificate") || a.startsWith(QLatin1String("--ca-certificate="))) {
            QString file;
            if (a.contains(u'=')) {
                file = a.section(u'=', 1);
            } else if (i + 1 < arguments.size()) {
                file = arguments[++i];
            }
            if (file.isEmpty())
                return failed(QStringLiteral("option '--ca-certificate' needs a file"));
            o.caCertificates.append(file);
            continue;
        }
        if (isOption(a, QLatin1String("--timeout"))) {
            if (!wholeOption(arguments, i, 1, &o.timeout))
                return failed(QStringLiteral("option '--timeout' needs a whole number of seconds, 1 or more"));
            continue;
        }
        if (isOption(a, QLatin1String("--tries"))) {
            if (!wholeOption(arguments, i, 0, &o.tries))
                return failed(QStringLiteral("option '--tries' needs a whole number, 0 or more"));
            continue;
        }
        if (a == QLatin1String("-o") || a == QLatin1String("-d")) {
            if (i + 1 >= arguments.size() || arguments[i + 1].isEmpty())
                return failed(QStringLiteral("option '%1' needs a value").arg(a));
            if (a == QLatin1String("-o")) {
                if (outputGiven)
                    return failed(QStringLiteral("option '-o' given twice"));
                outputGiven = true;
                o.outputFile = arguments[++i];
            } else {
                if (dirGiven)
                    return failed(QStringLiteral("option '-d' given twice"));
                dirGiven = true;
                o.outputDir = arguments[++i];
            }
            continue;
        }
        if (a == QLatin1String("--segments") || a == QLatin1String("--passive")) {
            (a == QLatin1String("--segments") ? o.segments : o.passive) = true;
            continue;
        }
        if (a == QLatin1String("--overwrite") || a == QLatin1String("--resume") || a == QLatin1String("--skip")) {
            if (existsGiven)
                return failed(QStringLiteral("use only one of --overwrite, --resume and --skip"));
            existsGiven = true;
            o.exists = a == QLatin1String("--overwrite") ? PellanorOptions::Exists::Overwrite
                : a == QLatin1String("--resume")         ? PellanorOptions::Exists::Resume
                                                         : PellanorOptions::Exists::Skip;
            continue;
        }
        // Qt's own window options (-platform, -style...) are left to Qt.
        if (!download && (a.startsWith(QLatin1String("-platform")) || a.startsWith(QLatin1String("-style"))
                          || a.startsWith(QLatin1String("-display")))) {
            if (!a.contains(u'='))
                ++i;
            continue;
        }
        if (a.startsWith(u'-'))
            return failed(QStringLiteral("unknown option '%1'").arg(a));
        if (!download)
            return failed(QStringLiteral("unexpected argument '%1' (addresses follow --download)").arg(a));
        o.urls.append(a);
    }
    if (!download) {
        if (outputGiven || dirGiven || existsGiven || o.segments || o.passive || !o.caCertificates.isEmpty()
            || o.timeout > 0 || o.tries >= 0)
            return failed(QStringLiteral("-o, -d, --overwrite, --resume, --skip, --segments, --passive, "
                                         "--ca-certificate, --timeout and --tries go with --download"));
        return o;
    }
    if (o.urls.isEmpty())
        return failed(QStringLiteral("--download needs at least one address"));
    if (outputGiven && dirGiven)
        return failed(QStringLiteral("use either -o or -d, not both"));
    if (outputGiven && o.urls.size() > 1)
        return failed(QStringLiteral("-o names the file of a single address"));
    o.mode = PellanorOptions::Mode::Download;
    return o;
}

QString takeHandOver(QStringList& arguments, bool* missing)
{
    *missing = false;
    const qsizetype add = arguments.indexOf(QStringLiteral("--add"));
    if (add <= 0)
        return {};
    if (add + 1 >= arguments.size() || arguments[add + 1].trimmed().isEmpty()) {
        *missing = true;
        return {};
    }
    const QString url = arguments[add + 1].trimmed();
    arguments.remove(add, 2);
    return url;
}

}  // namespace harbel
