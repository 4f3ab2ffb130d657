#include "ftpclient/component/Listing.h"

#include <QRegularExpression>

namespace harbel::tessaly::listing {

namespace {

int monthNumber(const QString& name)
{
    static const char* const months[] = {"jan", "feb", "mar", "apr", "may", "jun",
                                         "jul", "aug", "sep", "oct", "nov", "dec"};
    const QString lower = name.toLower();
    for (int i = 0; i < 12; ++i) {
        if (lower == QLatin1String(months[i]))
            return i + 1;
    }
    return 0;
}

QDateTime parseMlsdTime(const QString& value)
{
    // YYYYMMDDHHMMSS[.sss], always UTC.
    const QString main = value.left(14);
    QDateTime t = QDateTime::fromString(main, QStringLiteral("yyyyMMddHHmmss"));
    if (!t.isValid())
        return {};
    t.setTimeSpec(Qt::UTC);
    return t;
}

}  // namespace

std::optional<FolderItem> parseMlsdLine(const QString& line)
{
    const qsizetype space = line.indexOf(QLatin1Char(' '));
    if (space < 0)
        return std::nullopt;
    FolderItem item;
    item.Name = line.mid(space + 1);
    if (item.Name.isEmpty())
        return std::nullopt;  // facts without a name: nothing the window could list or fetch
    bool typed = false;
    const QStringList facts = line.left(space).split(QLatin1Char(';'), Qt::SkipEmptyParts);
    for (const QString& fact : facts) {
        const qsizetype eq = fact.indexOf(QLatin1Char('='));
        if (eq <= 0)
            continue;
        const QString key = fact.left(eq).toLower();
        const QString value = fact.mid(eq + 1);
        if (key == QLatin1String("type")) {
            const QString type = value.toLower();
            typed = true;
            if (type == QLatin1String("cdir") || type == QLatin1String("pdir"))
                return std::nullopt;
            if (type == QLatin1String("dir"))
                item.Kind = FolderItem::Folder;
            else if (type == QLatin1String("file"))
                item.Kind = FolderItem::File;
            else if (type.startsWith(QLatin1String("os.unix=slink")) || type == QLatin1String("os.unix=symlink")) {
                item.Kind = FolderItem::Link;
                const qsizetype colon = value.indexOf(QLatin1Char(':'));
                if (colon > 0)
                    item.LinkTarget = value.mid(colon + 1);
            } else {
                item.Kind = FolderItem::File;
            }
        } else if (key == QLatin1String("size") || key == QLatin1String("sizd")) {
            bool ok = false;
            const qint64 size = value.toLongLong(&ok);
            if (ok && size >= 0)
                item.Size = size;
        } else if (key == QLatin1String("modify")) {
            item.Date = parseMlsdTime(value);
        }
    }
    if (!typed)
        return std::nullopt;
    return item;
}

QList<FolderItem> parseListing(const QByteArray& reply, bool mlsd, const QDateTime& now)
{
    QList<FolderItem> items;
    // Line by line in place: splitting the whole reply first would make an object for every line,
    // many times the size of a hostile listing made of nothing but line breaks.
    for (qsizetype from = 0; from < reply.size();) {
        qsizetype end = reply.indexOf('\n', from);
        if (end < 0)
            end = reply.size();
        QByteArrayView line(reply.constData() + from, end - from);
        from = end + 1;
        if (line.endsWith('\r'))
            line.chop(1);
        if (line.isEmpty())
            continue;
        const QString text = QString::fromUtf8(line);
        auto item = mlsd ? parseMlsdLine(text) : parseListLine(text, now);
        if (!item)
            continue;
        if (item->Name == QLatin1String(".") || item->Name == QLatin1String(".."))
            continue;
        items.append(*item);
    }
    return items;
}

std::optional<FolderItem> parseListLine(const QString& rawLine, const QDateTime& now)
{
    QString line = rawLine;
    while (line.endsWith(QLatin1Char('\r')))
        line.chop(1);
    if (line.isEmpty() || line.startsWith(QLatin1String("total "), Qt::CaseInsensitive))
        return std::nullopt;

    // Unix: type+perms, links, owner and group (either may be missing), size, month, day, time or year.
    static const QRegularExpression unix(QStringLiteral(
        R"(^([-dlcbpsD])[-rwxsStTlL+.@]{0,12}\s+\d+\s+(?:\S+\s+){0,2}?(\d+)\s+([A-Za-z]{3})\s+(\d{1,2})\s+(\d{1,2}:\d{2}|\d{4}) (.*)$)"));
    QRegularExpressionMatch m = unix.match(line);
    if (m.hasMatch()) {
        FolderItem item;
        const QChar type = m.captured(1).at(0);
        item.Kind = type == QLatin1Char('d') || type == QLatin1Char('D') ? FolderItem::Folder
                    : type == QLatin1Char('l')                           ? FolderItem::Link
                                                                         : FolderItem::File;
        item.Size = m.captured(2).toLongLong();
        const int month = monthNumber(m.captured(3));
        const int day = m.captured(4).toInt();
        const QString timeOrYear = m.captured(5);
        if (month > 0) {
            if (timeOrYear.contains(QLatin1Char(':'))) {
                const QTime time = QTime::fromString(timeOrYear.rightJustified(5, QLatin1Char('0')), QStringLiteral("HH:mm"));
                int year = now.date().year();
                QDateTime t(QDate(year, month, day), time, Qt::UTC);
                // A date without a year lies in the past year when it would be well in the future.
                if (t > now.addDays(2))
                    t = QDateTime(QDate(year - 1, month, day), time, Qt::UTC);
                item.Date = t;
            } else {
                item.Date = QDateTime(QDate(timeOrYear.toInt(), month, day), QTime(0, 0), Qt::UTC);
            }
        }
        QString name = m.captured(6);
        if (item.Kind == FolderItem::Link) {
            const qsizetype arrow = name.indexOf(QLatin1String(" -> "));
            if (arrow >= 0) {
                item.LinkTarget = name.mid(arrow + 4);
                name = name.left(arrow);
            }
        }
        if (name.isEmpty())
            return std::nullopt;  // a line cut after its date, or a link without its own name
        item.Name = name;
        return item;
    }

    // DOS/IIS: "MM-DD-YY  HH:MMAM  <DIR>  name" or with the size in place of <DIR>.
    static const QRegularExpression dos(QStringLiteral(
        R"(^(\d{2})-(\d{2})-(\d{2,4})\s+(\d{1,2}):(\d{2})\s*([AaPp][Mm])?\s+(<DIR>|\d+)\s+(.+)$)"));
    m = dos.match(line);
    if (m.hasMatch()) {
        FolderItem item;
        int year = m.captured(3).toInt();
        if (m.captured(3).size() == 2)
            year += year < 70 ? 2000 : 1900;
        int hour = m.captured(4).toInt();
        const QString ampm = m.captured(6).toLower();
        if (ampm == QLatin1String("pm") && hour < 12)
            hour += 12;
        else if (ampm == QLatin1String("am") && hour == 12)
            hour = 0;
        item.Date = QDateTime(QDate(year, m.captured(1).toInt(), m.captured(2).toInt()),
                              QTime(hour, m.captured(5).toInt()), Qt::UTC);
        if (m.captured(7).compare(QLatin1String("<DIR>"), Qt::CaseInsensitive) == 0) {
            item.Kind = FolderItem::Folder;
        } else {
            item.Kind = FolderItem::File;
            item.Size = m.captured(7).toLongLong();
        }
        item.Name = m.captured(8);
        return item;
    }
    return std::nullopt;
}

QString unsafeNameReason(const QString& name)
{
    if (name.isEmpty())
        return QStringLiteral("the name is empty");
    if (name == QLatin1String(".") || name == QLatin1String(".."))
        return QStringLiteral("the name refers to a folder itself or its parent");
    for (const QChar c : name) {
        if (c == QLatin1Char('/') || c == QLatin1Char('\\'))
            return QStringLiteral("the name holds a path separator");
        if (c.unicode() == 0)
            return QStringLiteral("the name holds a NUL character");
        if (c.unicode() < 0x20 || c.unicode() == 0x7f || (c.unicode() >= 0x80 && c.unicode() < 0xa0))
            return QStringLiteral("the name holds a control character");
    }
    // No local file system takes a longer name; writing it would fail only after the download began.
    if (name.toUtf8().size() > 255)
        return QStringLiteral("the name is too long");
    return {};
}

std::pair<QString, QString> splitMask(const QString& text)
{
    const qsizetype cut = qMax(text.lastIndexOf(QLatin1Char('/')), text.lastIndexOf(QLatin1Char('\\')));
    if (cut < 0)
        return {QString(), text};
    QString folder = text.left(cut);
    if (folder.isEmpty())
        folder = QStringLiteral("/");
    return {folder, text.mid(cut + 1)};
}

bool matchesMask(const QString& name, const QString& mask)
{
    if (mask.isEmpty() || mask == QLatin1String("*") || mask == QLatin1String("*.*"))
        return true;
    // Iterative wildcard match with backtracking over the last "*".
    qsizetype n = 0, p = 0, star = -1, mark = 0;
    while (n < name.size()) {
        if (p < mask.size() && (mask[p] == QLatin1Char('?') || mask[p].toLower() == name[n].toLower())) {
            ++n;
            ++p;
        } else if (p < mask.size() && mask[p] == QLatin1Char('*')) {
            star = p++;
            mark = n;
        } else if (star >= 0) {
            p = star + 1;
            n = ++mark;
        } else {
            return false;
        }
    }
    while (p < mask.size() && mask[p] == QLatin1Char('*'))
        ++p;
    return p == mask.size();
}

Precision listedPrecision(const FolderItem& item, bool fromMlsd)
{
    if (fromMlsd)
        return Precision::Second;
    return item.Date.isValid() && item.Date.toUTC().time() == QTime(0, 0) ? Precision::Day : Precision::Minute;
}

std::optional<int> compareTimes(const QDateTime& a, const QDateTime& b, Precision precision)
{
    if (!a.isValid() || !b.isValid())
        return std::nullopt;
    const auto cut = [precision](const QDateTime& time) {
        const QDateTime utc = time.toUTC();
        const QTime t = utc.time();
        switch (precision) {
        case Precision::Second:
            return QDateTime(utc.date(), QTime(t.hour(), t.minute(), t.second()), Qt::UTC);
        case Precision::Minute:
            return QDateTime(utc.date(), QTime(t.hour(), t.minute()), Qt::UTC);
        case Precision::Day:
            break;
        }
        return QDateTime(utc.date(), QTime(0, 0), Qt::UTC);
    };
    const QDateTime x = cut(a), y = cut(b);
    return x < y ? -1 : x > y ? 1 : 0;
}

}  // namespace harbel::tessaly::listing
