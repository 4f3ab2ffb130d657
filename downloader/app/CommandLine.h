#pragma once

#include <QString>
#include <QStringList>

namespace harbel {

// What pellanor was asked to do on its command line.
struct PellanorOptions {
    enum class Mode { Window, Help, Version, Download, Error };
    Mode mode = Mode::Window;
    QString error;  // for Mode::Error

    // Download mode: the addresses, where to save them and what to do with existing files.
    QStringList urls;
    QString outputFile;  // -o: the file of the single address
    QString outputDir;   // -d: the folder of every file (default: the current folder)
    enum class Exists { Refuse, Overwrite, Resume, Skip };
    Exists exists = Exists::Refuse;
    // --segments: large files go over parallel segments (the segment question is answered yes).
    bool segments = false;
    // --passive: FTP data connections are opened by this side (PASV).
    bool passive = false;
    // --ca-certificate FILE (may be repeated): authorities trusted for this run besides the
    // system's, for servers with a private authority.
    QStringList caCertificates;
    // --timeout SECONDS: each wait for a connection or for the server's answer; 0 keeps the setting.
    int timeout = 0;
    // --tries N: times a download is tried again after a time-out; -1 keeps the setting.
    int tries = -1;
};

PellanorOptions parsePellanorArguments(const QStringList& arguments);

// `--add URL`, the hand-over of an address to the window, taken out of the arguments: the address
// (trimmed), or an empty one when the option is not there. missing says the option came without
// an address.
QString takeHandOver(QStringList& arguments, bool* missing);
QString pellanorUsage();

}  // namespace harbel
