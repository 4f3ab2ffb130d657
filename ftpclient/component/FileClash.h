#pragma once

#include <QDateTime>
#include <QString>

namespace harbel::tessaly {

// A file that a transfer would write over: the one already at the destination and the one that
// would replace it, as the FileExists event names them. A size of -1 or an invalid time is not
// known (a server that does not tell it).
struct FileClash {
    // The answers to the question; the numbers are those of the window's question.
    enum Answer { Overwrite = 0, Resume = -1, Cancel = -2, Skip = -3 };

    bool upload = false;  // the file is on the server (an upload), else in the local folder
    QString localPath;
    QString remoteName;
    qint64 localSize = -1;
    QDateTime localTime;
    qint64 remoteSize = -1;
    QDateTime remoteTime;
};

}  // namespace harbel::tessaly
