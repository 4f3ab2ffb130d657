#pragma once

#include "ftpclient/app/FtpAddress.h"

#include <QString>
#include <QStringList>

namespace harbel::tessaly {

// What tessaly was asked to do on its command line.
struct TessalyOptions {
    enum class Mode { Window, Help, Version, Run, Error };
    Mode mode = Mode::Window;
    QString error;  // for Mode::Error, with the hint to --help

    enum class Verb { Get, Put, Mirror, List };
    Verb verb = Verb::List;
    FtpAddress address;
    QString local;  // get: the file or folder to save in (empty: the current folder); put, mirror: the source or target

    bool reverse = false;      // mirror --reverse: from the local folder to the server
    bool deleteExtra = false;  // mirror --delete
    bool resume = false;       // get/put --resume: continue an existing file from its length
    bool passive = true;       // --passive (default) or --active
    int parallel = 0;          // --parallel N; 0 until parsed, then the verb's default
    int timeout = 60;          // --timeout SECONDS
    bool quiet = false;
    QStringList caCertificates;
    QString passwordFile;  // --password-file FILE: the password is its first line
    // sftp:// only.
    QString identity;          // --identity FILE: the private key to log in with
    QString knownHosts;        // --known-hosts FILE instead of ~/.ssh/known_hosts
    bool acceptNewHostKey = false;  // --accept-new-host-key: take (and keep) a host key not known yet

    // get and put move one file, so one connection does; a mirror moves many.
    static constexpr int kMirrorParallel = 2;
    static constexpr int kMaxParallel = 10;
};

// Parses the arguments (the program's name first). A missing password for a user is an error here
// unless --password-file gives it (or, for sftp://, where keys log in); the file itself is read by
// readPasswordFile.
TessalyOptions parseTessalyArguments(const QStringList& arguments);
// Reads the password of --password-file into the options' address; false (why) when it cannot.
bool readPasswordFile(TessalyOptions& options, QString* why);
QString tessalyUsage();

}  // namespace harbel::tessaly
