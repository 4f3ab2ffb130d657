#pragma once

#include <QDate>
#include <QString>

namespace harbel {

class ListView;

// "History.ini" in the application folder: the queue and the completed list from one run to the
// next. Per row, cells 1 to 6 and the date of the save, one line each; "Complete List" after the
// queue, "Finish History" at the end; CR LF line ends. A row's lines are what its queue entry shows
// (queueRowCells), and they are read back into an entry (QueueEntry::fromLines).
class History final {
public:
    static QString path();

    // Writes both lists (every row dated today) to a new file that then replaces the old one;
    // with both lists empty the file is removed. Line breaks inside a cell are written as blanks,
    // so no cell can shift the lines after it. Also records the language in force. False, with the
    // reason in *error, when the file could not be replaced; a symbolic link in its place is never
    // followed, so a save cannot overwrite the file it points to.
    static bool SaveHistory(ListView& lstMain, ListView& lstComplete, const QDate& today = QDate::currentDate(),
                            QString* error = nullptr);

    // Fills both lists from the file when it exists (the lists are emptied first). A file cut off
    // inside a record keeps the rows read so far; a record cut short by a section line is dropped
    // and does not shift into the next section. False, with both lists left as they were and the
    // reason in *error, when the file is there but cannot be read (a folder, no permission).
    static bool LoadHistory(ListView& lstMain, ListView& lstComplete, QString* error = nullptr);
};

}  // namespace harbel
