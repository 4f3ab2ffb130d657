#pragma once

#include <QDateTime>
#include <QMetaType>
#include <QString>

namespace harbel::tessaly {

// One entry of the transfer queue: a file, or a folder tree that the connection taking it expands
// into file entries (the folder entry then gives way to them). Paths are absolute on both sides.
struct TransferItem {
    enum class Direction { Download, Upload };
    enum class State { Waiting, Running, Done, Failed, Skipped, Cancelled };

    int id = 0;  // given by the queue
    Direction direction = Direction::Download;
    QString localPath;
    QString remotePath;
    bool folder = false;
    // A folder: its sub-folders too (else only the files in it).
    bool recurse = true;
    qint64 size = -1;  // -1: unknown
    qint64 bytesDone = 0;
    // Bytes per second over the last seconds, counting only what this run moved.
    double rate = 0;
    State state = State::Waiting;
    QString reason;  // why it failed or was skipped, in words
    // Go on from what the destination already holds instead of asking about it.
    bool resume = false;
    // The destination was agreed to be replaced: it is written anew without a question.
    bool replace = false;
    // What a listing told of the remote file (a download's source, an upload's target), so that the
    // transfer spends no SIZE or MDTM on it. remoteListed with remoteSize -1: the upload's target
    // is known not to exist. remoteTime is kept only when the listing gives seconds.
    bool remoteListed = false;
    qint64 remoteSize = -1;
    QDateTime remoteTime;

    bool upload() const { return direction == Direction::Upload; }
    bool finished() const { return state != State::Waiting && state != State::Running; }
    // Unfinished work worth keeping across a restart.
    bool unfinished() const { return state == State::Waiting || state == State::Running || state == State::Failed; }
};

}  // namespace harbel::tessaly

Q_DECLARE_METATYPE(harbel::tessaly::TransferItem)
