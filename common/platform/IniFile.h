#pragma once

#include <QString>
#include <QStringList>

namespace harbel {

// Private-profile reads and writes with the semantics the programs rely on: sections and keys match
// without regard to case, the first match wins, a read is cut to the buffer size less one
// character, surrounding blanks of a value (and of the default's end) are dropped, a value wrapped
// in matching quotes loses them, and a write updates the key in place. Files are UTF-8; rewrites
// are atomic.
class IniFile final {
public:
    struct Read {
        QString text;
        bool failed = false;  // the file is there but could not be read
        int errorNumber = 0;
        QString errorDescription;
    };

    explicit IniFile(QString path);
    const QString& path() const { return path_; }

    // A missing file, section or key gives the default (its trailing blanks dropped).
    Read getString(const QString& section, const QString& key, const QString& defaultText,
                   int bufferSize = 32767) const;
    QString value(const QString& section, const QString& key, const QString& defaultText = {}) const;

    QStringList sections() const;
    QStringList keys(const QString& section) const;

    // The whole file in one read, for a reader that wants every key: each section in file order
    // with its keys and values as a lookup reads them (duplicates kept; a lookup takes the first).
    struct Section {
        QString name;
        QList<std::pair<QString, QString>> values;
    };
    QList<Section> contents() const;

    // A value that would lose blanks or quotes on reading is written quoted; a line break inside a
    // value cannot be stored in one line and becomes a blank. A file that is a symbolic link is not
    // rewritten (false): the rewrite would replace the file it points to.
    bool writeString(const QString& section, const QString& key, const QString& value);
    // Several keys of one section in one rewrite, in the order given, each as writeString would
    // write it: a reader never sees some of them changed and the others not.
    bool writeStrings(const QString& section, const QList<std::pair<QString, QString>>& values);
    bool deleteKey(const QString& section, const QString& key);
    bool deleteSection(const QString& section);

private:
    QString path_;
};

}  // namespace harbel
