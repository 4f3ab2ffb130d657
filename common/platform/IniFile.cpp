#include "common/platform/IniFile.h"

#include "common/platform/FileStamp.h"
#include "common/platform/PrivateFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QMutex>

#include <algorithm>
#include <memory>
#include <optional>

namespace harbel {

namespace {

// VB's numbers for the two file faults a read can meet.
constexpr int kPathFileAccessError = 75;
constexpr int kDeviceIoError = 57;
// A file is parsed whole (again whenever it changes); the files read this way are a few kilobytes.
constexpr qint64 kLargestFile = 4 * 1024 * 1024;

struct Line {
    QString text;
    std::optional<QString> section;  // set on a "[name]" line
    std::optional<QString> key;      // set on a "key=value" line
    QString value;
};

Line classify(const QString& raw)
{
    Line l;
    l.text = raw;
    const QString t = raw.trimmed();
    if (t.startsWith(u'[')) {
        const auto close = t.indexOf(u']');
        l.section = (close > 0 ? t.mid(1, close - 1) : t.mid(1)).trimmed();
        return l;
    }
    if (t.startsWith(u';') || t.startsWith(u'#'))
        return l;
    const auto eq = t.indexOf(u'=');
    if (eq <= 0)
        return l;
    l.key = t.left(eq).trimmed();
    QString v = t.mid(eq + 1).trimmed();
    if (v.size() >= 2 && (v.front() == u'"' || v.front() == u'\'') && v.back() == v.front())
        v = v.mid(1, v.size() - 2);
    l.value = v;
    return l;
}

bool same(const QString& a, const QString& b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

struct Text {
    QList<Line> lines;
    QString eol = QStringLiteral("\n");
};

// Reads the file; nullopt with the fault filled in when it exists but cannot be read.
std::optional<Text> readFile(const QString& path, IniFile::Read* fault)
{
    Text t;
    QFile f(path);
    if (!f.exists())
        return t;
    // A pipe or a device is refused before it is opened: opening a pipe would block.
    const QFileInfo info(path);
    if (!info.isFile() || !f.open(QIODevice::ReadOnly)) {
        if (fault) {
            fault->failed = true;
            fault->errorNumber = kPathFileAccessError;
            fault->errorDescription = info.isDir() ? QStringLiteral("Path/File access error: %1 is a folder").arg(path)
                : !info.isFile()                  ? QStringLiteral("Path/File access error: %1 is not a file").arg(path)
                                                  : QStringLiteral("Path/File access error: %1").arg(f.errorString());
        }
        return std::nullopt;
    }
    if (f.size() > kLargestFile) {
        if (fault) {
            fault->failed = true;
            fault->errorNumber = kPathFileAccessError;
            fault->errorDescription = QStringLiteral("Path/File access error: %1 is larger than %2 bytes")
                                          .arg(path)
                                          .arg(kLargestFile);
        }
        return std::nullopt;
    }
    // As much as the file holds: a buffer of the largest size would be claimed at every read.
    QByteArray bytes = f.read(std::min(f.size(), kLargestFile));
    if (f.error() != QFileDevice::NoError) {
        if (fault) {
            fault->failed = true;
            fault->errorNumber = kDeviceIoError;
            fault->errorDescription = QStringLiteral("Device I/O error: %1").arg(f.errorString());
        }
        return std::nullopt;
    }
    if (bytes.startsWith("\xEF\xBB\xBF"))
        bytes.remove(0, 3);
    if (bytes.contains("\r\n"))
        t.eol = QStringLiteral("\r\n");
    else if (bytes.contains('\r') && !bytes.contains('\n'))
        t.eol = QStringLiteral("\r");  // old Mac line ends: read as lines, kept on a rewrite
    QString s = QString::fromUtf8(bytes);
    s.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    s.replace(u'\r', u'\n');
    QStringList raw = s.split(u'\n');
    if (!raw.isEmpty() && raw.last().isEmpty())
        raw.removeLast();
    for (const auto& r : raw)
        t.lines.append(classify(r));
    return t;
}

// The parsed files, kept while their stamps stay: a caption or a setting looked up costs one stat,
// not a read and parse of the whole file. A program reads a handful of such files.
struct ParsedText {
    FileStamp stamp;
    std::shared_ptr<const Text> text;
};
constexpr qsizetype kFilesKept = 32;
QMutex parsedLock;
QHash<QString, ParsedText>& parsedTexts()
{
    static QHash<QString, ParsedText> texts;
    return texts;
}

// The file as readFile reads it, from the parsed files when it has not changed since.
std::shared_ptr<const Text> readText(const QString& path, IniFile::Read* fault)
{
    const FileStamp stamp = FileStamp::of(path);
    if (stamp.exists) {
        const QMutexLocker locker(&parsedLock);
        const auto kept = parsedTexts().constFind(path);
        if (kept != parsedTexts().cend() && kept->stamp == stamp)
            return kept->text;
    }
    std::optional<Text> read = readFile(path, fault);
    if (!read)
        return nullptr;
    auto text = std::make_shared<const Text>(std::move(*read));
    // Kept only when the file did not change while it was read.
    if (stamp.exists && FileStamp::of(path) == stamp) {
        const QMutexLocker locker(&parsedLock);
        if (parsedTexts().size() >= kFilesKept)
            parsedTexts().clear();
        parsedTexts().insert(path, ParsedText{stamp, text});
    }
    return text;
}

bool writeText(const QString& path, const Text& t)
{
    QString s;
    for (const auto& l : t.lines)
        s += l.text + t.eol;
    return PrivateFile::write(path, s.toUtf8()) == PrivateFile::Result::Written;
}

// [first, end) line indexes of the first section with that name; first == -1 when missing.
std::pair<qsizetype, qsizetype> findSection(const Text& t, const QString& section)
{
    for (qsizetype i = 0; i < t.lines.size(); ++i) {
        if (t.lines[i].section && same(*t.lines[i].section, section)) {
            qsizetype end = i + 1;
            while (end < t.lines.size() && !t.lines[end].section)
                ++end;
            return {i, end};
        }
    }
    return {-1, -1};
}

qsizetype findKey(const Text& t, std::pair<qsizetype, qsizetype> range, const QString& key)
{
    for (qsizetype i = range.first + 1; i < range.second; ++i)
        if (t.lines[i].key && same(*t.lines[i].key, key))
            return i;
    return -1;
}

QString encodeValue(QString v)
{
    v.replace(QLatin1String("\r\n"), QLatin1String(" "));
    v.replace(u'\r', u' ');
    v.replace(u'\n', u' ');
    const bool edgeBlank = !v.isEmpty() && (v.front().isSpace() || v.back().isSpace());
    const bool looksQuoted = v.size() >= 2 && (v.front() == u'"' || v.front() == u'\'') && v.back() == v.front();
    if (edgeBlank || looksQuoted)
        return u'"' + v + u'"';
    return v;
}

QString trimTrailing(const QString& s)
{
    qsizetype n = s.size();
    while (n > 0 && s[n - 1].isSpace())
        --n;
    return s.left(n);
}

QString cut(const QString& s, int bufferSize)
{
    const qsizetype room = bufferSize > 0 ? bufferSize - 1 : 0;
    if (s.size() <= room)
        return s;
    qsizetype n = room;
    if (n > 0 && s[n - 1].isHighSurrogate())
        --n;  // never leave half a character
    return s.left(n);
}

}  // namespace

IniFile::IniFile(QString path) : path_(std::move(path)) {}

IniFile::Read IniFile::getString(const QString& section, const QString& key,
                                 const QString& defaultText, int bufferSize) const
{
    Read r;
    const auto text = readText(path_, &r);
    if (!text)
        return r;
    const auto range = findSection(*text, section);
    const qsizetype at = range.first < 0 ? -1 : findKey(*text, range, key);
    r.text = cut(at < 0 ? trimTrailing(defaultText) : text->lines[at].value, bufferSize);
    return r;
}

QString IniFile::value(const QString& section, const QString& key, const QString& defaultText) const
{
    return getString(section, key, defaultText).text;
}

QStringList IniFile::sections() const
{
    QStringList out;
    if (const auto t = readText(path_, nullptr))
        for (const auto& l : t->lines)
            if (l.section)
                out.append(*l.section);
    return out;
}

QStringList IniFile::keys(const QString& section) const
{
    QStringList out;
    if (const auto t = readText(path_, nullptr)) {
        const auto range = findSection(*t, section);
        for (qsizetype i = range.first + 1; range.first >= 0 && i < range.second; ++i)
            if (t->lines[i].key)
                out.append(*t->lines[i].key);
    }
    return out;
}

QList<IniFile::Section> IniFile::contents() const
{
    QList<Section> out;
    if (const auto t = readText(path_, nullptr)) {
        for (const auto& l : t->lines) {
            if (l.section)
                out.append(Section{*l.section, {}});
            else if (l.key && !out.isEmpty())
                out.last().values.append({*l.key, l.value});
        }
    }
    return out;
}

namespace {

void setValue(Text& t, const QString& section, const QString& key, const QString& value)
{
    const Line line = classify(key + u'=' + encodeValue(value));
    const auto range = findSection(t, section);
    if (range.first < 0) {
        if (!t.lines.isEmpty() && !t.lines.last().text.trimmed().isEmpty())
            t.lines.append(classify(QString()));
        t.lines.append(classify(u'[' + section + u']'));
        t.lines.append(line);
        return;
    }
    const qsizetype at = findKey(t, range, key);
    if (at >= 0) {
        // Keep the key as the file spells it.
        t.lines[at] = classify(*t.lines[at].key + u'=' + encodeValue(value));
        return;
    }
    qsizetype insertAt = range.second;
    while (insertAt - 1 > range.first && t.lines[insertAt - 1].text.trimmed().isEmpty())
        --insertAt;
    t.lines.insert(insertAt, line);
}

}  // namespace

bool IniFile::writeString(const QString& section, const QString& key, const QString& value)
{
    return writeStrings(section, {{key, value}});
}

bool IniFile::writeStrings(const QString& section, const QList<std::pair<QString, QString>>& values)
{
    auto t = readFile(path_, nullptr);
    if (!t)
        return false;
    for (const auto& [key, value] : values)
        setValue(*t, section, key, value);
    return writeText(path_, *t);
}

bool IniFile::deleteKey(const QString& section, const QString& key)
{
    auto t = readFile(path_, nullptr);
    if (!t)
        return false;
    const auto range = findSection(*t, section);
    const qsizetype at = range.first < 0 ? -1 : findKey(*t, range, key);
    if (at < 0)
        return true;
    t->lines.removeAt(at);
    return writeText(path_, *t);
}

bool IniFile::deleteSection(const QString& section)
{
    auto t = readFile(path_, nullptr);
    if (!t)
        return false;
    const auto range = findSection(*t, section);
    if (range.first < 0)
        return true;
    t->lines.remove(range.first, range.second - range.first);
    return writeText(path_, *t);
}

}  // namespace harbel
