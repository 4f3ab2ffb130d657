#pragma once

#include "ftpclient/config/ClientControls.h"

#include <QFile>
#include <QString>

namespace harbel::tessaly {

// The connection log: every message in the list on screen (its latest lines only) and appended to
// the log file in the application folder, and the start-up rule that deletes old log files.
class ConnectionLog final {
public:
    ConnectionLog(ListBox& list, QString title) : list_(list), title_(std::move(title)) {}

    // The list keeps only its latest lines (the file keeps every one): a long session must not
    // grow the window's memory without end.
    static constexpr int kMaxLines = 10000;
    int lineLimit = kMaxLines;

    QString filePath() const;
    void add(const QString& message);
    // A line of one of the transfer queue's connections, labelled with its number ("[2] 226 ...")
    // so that it can be told from the session's own lines and from the other connections'.
    static QString connectionLine(int connection, const QString& text);
    // Deletes old log files at start-up, as the settings say.
    void applyStartRule();
    // Empties the list; the file stays.
    void clear();

private:
    // Deletes the program's log files; false when one could not be deleted.
    bool deleteFiles();

    ListBox& list_;
    QString title_;
    // The log file, open from the first message on.
    QFile file_;
    // A log that cannot be written is reported once.
    bool failureShown_ = false;
};

}  // namespace harbel::tessaly
