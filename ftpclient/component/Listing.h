#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

#include <optional>
#include <utility>

namespace harbel::tessaly {

// One entry of a remote folder. Kind: 0 file, 1 folder, 2 link.
struct FolderItem {
    enum Kinds { File = 0, Folder = 1, Link = 2 };

    QString Name;
    QDateTime Date;
    qint64 Size = 0;
    int Kind = File;
    QString LinkTarget;  // for links listed with their target
};

namespace listing {

// One line of an MLSD reply ("fact=value;fact=value; name"). Entries for the folder itself and its
// parent (type=cdir, type=pdir) give nullopt, as do malformed lines.
std::optional<FolderItem> parseMlsdLine(const QString& line);

// One line of a LIST reply in the Unix ("drwxr-xr-x 2 user group 4096 Jan 02 10:00 name") or the
// DOS/IIS ("01-02-24  10:00AM  <DIR>  name") format. Totals and unknown lines give nullopt. Dates
// without a year take the year that puts them in the past relative to now.
std::optional<FolderItem> parseListLine(const QString& line, const QDateTime& now = QDateTime::currentDateTimeUtc());

// Every entry of a whole MLSD or LIST reply, line by line; the folder itself ("." and "..") and
// lines that are no entry are left out.
QList<FolderItem> parseListing(const QByteArray& reply, bool mlsd, const QDateTime& now = QDateTime::currentDateTimeUtc());

// Why a listed name may not become part of a local or remote path; empty when it may.
// Refused: empty, ".", "..", longer than 255 bytes in UTF-8, or holding "/", "\", NUL or any
// control character.
QString unsafeNameReason(const QString& name);

// Wildcard match of "*" and "?" against a name; an empty mask matches everything.
bool matchesMask(const QString& name, const QString& mask);

// Splits "folder/mask" (either separator) into the folder ("/" for a mask at the root, empty for a
// bare mask) and the mask.
std::pair<QString, QString> splitMask(const QString& text);

// How exactly a time is known: a LIST line gives minutes (or only the day when it shows a year),
// MLSD and MDTM give seconds, a local file gives fractions of a second.
enum class Precision { Second, Minute, Day };

// The precision of a listed item's date: seconds from MLSD; from LIST, minutes, or only the day
// when the time shown is midnight (a date shown with its year and no time).
Precision listedPrecision(const FolderItem& item, bool fromMlsd);

// -1 when a is earlier than b, 0 when equal, 1 when later, both cut to the given precision in UTC;
// nullopt when either is unknown.
std::optional<int> compareTimes(const QDateTime& a, const QDateTime& b, Precision precision);

}  // namespace listing
}  // namespace harbel::tessaly
