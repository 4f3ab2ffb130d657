#pragma once

#include <QByteArray>
#include <QString>

class QFileDevice;

namespace harbel {

// Writes into an open file that name the system's reason when they fail. A disk that fills up in
// the middle of a block cuts a write short without an error, and Qt then has nothing better to say
// than "Unknown error"; what is left is written again, which fails with the reason ("No space left
// on device", "File too large").
class FileWrite final {
public:
    // All of bytes (into the file's buffer or onto the disk); false with why when it failed.
    static bool write(QFileDevice& file, const QByteArray& bytes, QString* why);
    // The buffered bytes onto the disk; false with why when they could not be written.
    static bool flush(QFileDevice& file, QString* why);
};

}  // namespace harbel
