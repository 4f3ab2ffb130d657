#include "common/platform/RegistryStore.h"

#include "common/platform/FileStamp.h"
#include "common/platform/PrivateFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QLockFile>
#include <QMutex>
#include <QStandardPaths>

#include <algorithm>

namespace harbel {

namespace {

constexpr char kHeader[] = "Windows Registry Editor Version 5.00";
constexpr qint64 kLargestFile = 16 * 1024 * 1024;

// The parsed file of each store path, kept for the whole process: a setting read costs one stat,
// not a read and parse of the file. Shared by every RegistryStore on the path and every thread.
struct ParsedStore {
    FileStamp stamp;
    std::shared_ptr<const RegistryStore::Parsed> parsed;
};
QMutex cacheLock;
QHash<QString, ParsedStore>& parsedStores()
{
    static QHash<QString, ParsedStore> stores;
    return stores;
}

void forgetParsed(const QString& path)
{
    const QMutexLocker locker(&cacheLock);
    parsedStores().remove(path);
}

// The file's bytes; empty when it is missing, nullopt when it is there but cannot be read (a
// folder, a pipe, no permission, too large) - a change must then not replace it.
std::optional<QByteArray> readStore(const QString& path)
{
    const QFileInfo info(path);
    if (!info.exists())
        return QByteArray();
    QFile f(path);
    if (!info.isFile() || info.size() > kLargestFile || !f.open(QIODevice::ReadOnly))
        return std::nullopt;
    // As much as the file holds: a buffer of the largest size would be claimed at every read.
    QByteArray bytes = f.read(std::min(info.size(), kLargestFile));
    if (f.error() != QFileDevice::NoError)
        return std::nullopt;
    return bytes;
}

bool sameText(const QString& a, const QString& b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

// Reads a quoted string starting at text[pos] == '"'. On success pos is just past the
// closing quote. Escapes: \\ \" \n \r.
bool readQuoted(const QString& text, qsizetype& pos, QString& out)
{
    if (pos >= text.size() || text[pos] != u'"')
        return false;
    ++pos;
    out.clear();
    while (pos < text.size()) {
        const QChar c = text[pos++];
        if (c == u'"')
            return true;
        if (c == u'\\') {
            if (pos >= text.size())
                return false;
            const QChar e = text[pos++];
            if (e == u'n')
                out += u'\n';
            else if (e == u'r')
                out += u'\r';
            else
                out += e;
        } else {
            out += c;
        }
    }
    return false;  // cut off before the closing quote
}

QString quoted(const QString& s)
{
    QString out;
    out.reserve(s.size() + 2);
    out += u'"';
    for (const QChar c : s) {
        if (c == u'\\' || c == u'"') {
            out += u'\\';
            out += c;
        } else if (c == u'\n') {
            out += QLatin1String("\\n");
        } else if (c == u'\r') {
            out += QLatin1String("\\r");
        } else {
            out += c;
        }
    }
    out += u'"';
    return out;
}

bool parseValueLine(const QString& line, RegistryStore::Value& v)
{
    qsizetype pos = 0;
    if (line.startsWith(u'@')) {
        v.name.clear();
        pos = 1;
    } else if (!readQuoted(line, pos, v.name)) {
        return false;
    }
    while (pos < line.size() && line[pos].isSpace())
        ++pos;
    if (pos >= line.size() || line[pos] != u'=')
        return false;
    ++pos;
    while (pos < line.size() && line[pos].isSpace())
        ++pos;
    if (pos >= line.size()) {
        v.data.clear();
        v.hasData = false;
        return true;
    }
    v.hasData = true;
    if (line[pos] == u'"') {
        if (!readQuoted(line, pos, v.data))
            return false;
        return line.mid(pos).trimmed().isEmpty();
    }
    // Another value type (dword:..., hex:...): the type is not checked, the text is returned.
    v.data = line.mid(pos).trimmed();
    return true;
}

RegistryStore::Section* findSection(QList<RegistryStore::Section>& sections, const QString& key)
{
    for (auto& s : sections)
        if (sameText(s.key, key))
            return &s;
    return nullptr;
}

QString faultText(const QString& path, bool tooLarge)
{
    static_assert(kLargestFile == 16 * 1024 * 1024 && RegistryStore::kMaxSections == 100000
                  && RegistryStore::kMaxValues == 1000000, "the text below names the bounds");
    return (tooLarge ? QStringLiteral("The settings file %1 is too large or damaged (over 16 MiB, 100,000 keys or "
                                      "1,000,000 values): only its beginning is read, and it is left as it is, so no "
                                      "setting is saved.")
                     : QStringLiteral("The settings file %1 cannot be read: it is left as it is, so no setting is saved."))
        .arg(QDir::toNativeSeparators(path));
}

bool withinBounds(const QList<RegistryStore::Section>& sections)
{
    qsizetype values = 0;
    for (const auto& s : sections)
        values += s.values.size();
    return sections.size() <= RegistryStore::kMaxSections && values <= RegistryStore::kMaxValues;
}

bool isBelow(const QString& candidate, const QString& key)
{
    return candidate.size() > key.size() + 1 && candidate.startsWith(key, Qt::CaseInsensitive)
        && candidate[key.size()] == u'\\';
}

}  // namespace

RegistryStore::RegistryStore(QString filePath) : path_(std::move(filePath)) {}

QString RegistryStore::defaultPath()
{
    const QString env = qEnvironmentVariable("HARBEL_REGISTRY");
    if (!env.isEmpty())
        return env;
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
        + QStringLiteral("/Harbel/registry.reg");
}

QList<RegistryStore::Section> RegistryStore::parse(const QByteArray& bytes, bool* overflow)
{
    if (overflow)
        *overflow = false;
    qsizetype valueCount = 0;
    QList<Section> sections;
    Section* current = nullptr;
    // What regedit exports is UTF-16 with a byte order mark; this file is written as UTF-8. Read
    // either, and lines ended the old Mac way too: a file read as one damaged line would lose
    // every value at the next change.
    QString text;
    if (bytes.startsWith("\xFF\xFE")) {
        // Through UTF-8 once: a lone surrogate reads as the character a write puts in its place,
        // so a change elsewhere in the file never alters this value.
        text = QString::fromUtf8(
            QString::fromUtf16(reinterpret_cast<const char16_t*>(bytes.constData() + 2), (bytes.size() - 2) / 2).toUtf8());
    } else
        text = QString::fromUtf8(bytes.startsWith("\xEF\xBB\xBF") ? bytes.mid(3) : bytes);
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(u'\r', u'\n');
    // Sections and values found by their folded names: a file of many keys is read in linear time.
    QHash<QString, qsizetype> sectionAt;
    QHash<QString, qsizetype> valueAt;
    const auto lines = QStringView(text).split(u'\n');
    for (const auto& raw : lines) {
        const QString line = raw.toString().trimmed();
        if (line.isEmpty() || line.startsWith(u';'))
            continue;
        if (line.startsWith(u'[')) {
            current = nullptr;
            if (!line.endsWith(u']') || line.size() < 3)
                continue;  // a damaged header: its values are dropped, not given to another key
            const QString key = line.mid(1, line.size() - 2);
            const auto found = sectionAt.constFind(key.toCaseFolded());
            if (found == sectionAt.cend()) {
                if (sections.size() == kMaxSections) {
                    if (overflow)
                        *overflow = true;
                    break;
                }
                sectionAt.insert(key.toCaseFolded(), sections.size());
                sections.append(Section{key, {}});
                current = &sections.last();
            } else {
                current = &sections[*found];
            }
            valueAt.clear();
            for (qsizetype i = 0; i < current->values.size(); ++i)
                valueAt.insert(current->values[i].name.toCaseFolded(), i);
            continue;
        }
        if (!current)
            continue;
        Value v;
        if (!parseValueLine(line, v))
            continue;  // a damaged line (for instance a file cut off mid-write) is skipped
        const QString folded = v.name.toCaseFolded();
        if (const auto found = valueAt.constFind(folded); found != valueAt.cend()) {
            current->values[*found] = v;
        } else {
            if (valueCount == kMaxValues) {
                if (overflow)
                    *overflow = true;
                break;
            }
            ++valueCount;
            valueAt.insert(folded, current->values.size());
            current->values.append(v);
        }
    }
    return sections;
}

QByteArray RegistryStore::serialize(const QList<Section>& sections)
{
    QString out = QString::fromLatin1(kHeader) + u'\n';
    for (const auto& s : sections) {
        out += u'\n';
        out += u'[' + s.key + QLatin1String("]\n");
        for (const auto& v : s.values) {
            out += v.name.isEmpty() ? QStringLiteral("@") : quoted(v.name);
            out += u'=';
            if (v.hasData)
                out += quoted(v.data);
            out += u'\n';
        }
    }
    return out.toUtf8();
}

std::shared_ptr<const RegistryStore::Parsed> RegistryStore::load() const
{
    const FileStamp stamp = FileStamp::of(path_);
    {
        const QMutexLocker locker(&cacheLock);
        const auto cached = parsedStores().constFind(path_);
        if (cached != parsedStores().cend() && cached->stamp == stamp)
            return cached->parsed;
    }
    auto parsed = std::make_shared<Parsed>();
    const std::optional<QByteArray> bytes = readStore(path_);
    bool overflow = false;
    parsed->sections = parse(bytes.value_or(QByteArray()), &overflow);
    if (!bytes || overflow)
        parsed->fault = faultText(path_, overflow || QFileInfo(path_).size() > kLargestFile);
    for (qsizetype i = 0; i < parsed->sections.size(); ++i)
        parsed->sectionAt.insert(parsed->sections[i].key.toCaseFolded(), i);
    // Kept only when the file did not change while it was read.
    if (FileStamp::of(path_) == stamp) {
        const QMutexLocker locker(&cacheLock);
        parsedStores().insert(path_, ParsedStore{stamp, parsed});
    }
    return parsed;
}

template <typename Change>
bool RegistryStore::modify(Change change)
{
    const QFileInfo info(path_);
    if (!PrivateFile::makeFolder(info.absolutePath()))
        return false;
    QLockFile lock(path_ + QStringLiteral(".lock"));
    lock.setStaleLockTime(10000);
    if (!lock.tryLock(10000))
        return false;
    const std::optional<QByteArray> bytesBefore = readStore(path_);
    if (!bytesBefore)
        return false;  // what is there is not lost to a store holding only this change
    if (!PrivateFile::mayWrite(path_))
        return false;  // a link or another user's file: never written through
    bool overflow = false;
    QList<Section> sections = parse(*bytesBefore, &overflow);
    if (overflow || !change(sections) || !withinBounds(sections))
        return false;  // a store past its bounds is never rewritten with only the part that was read
    // Read again at the next lookup, however quickly another write follows this one.
    forgetParsed(path_);
    const bool written = PrivateFile::write(path_, serialize(sections)) == PrivateFile::Result::Written;
    forgetParsed(path_);
    return written;
}

QString RegistryStore::fault() const
{
    return load()->fault;
}

std::optional<RegistryStore::Value> RegistryStore::value(const QString& key, const QString& name) const
{
    const auto parsed = load();
    const auto at = parsed->sectionAt.constFind(key.toCaseFolded());
    if (at != parsed->sectionAt.cend()) {
        for (const auto& v : parsed->sections[*at].values)
            if (sameText(v.name, name))
                return v;
    }
    return std::nullopt;
}

bool RegistryStore::keyExists(const QString& key) const
{
    const auto parsed = load();
    for (const auto& s : parsed->sections)
        if (sameText(s.key, key) || isBelow(s.key, key))
            return true;
    return false;
}

QStringList RegistryStore::subKeys(const QString& key) const
{
    QStringList names;
    const auto parsed = load();
    for (const auto& s : parsed->sections) {
        if (!isBelow(s.key, key))
            continue;
        const QString rest = s.key.mid(key.size() + 1);
        const QString child = rest.section(u'\\', 0, 0);
        if (child.isEmpty())
            continue;
        bool seen = false;
        for (const auto& n : names)
            seen = seen || sameText(n, child);
        if (!seen)
            names.append(child);
    }
    return names;
}

bool RegistryStore::createKey(const QString& key)
{
    return modify([&](QList<Section>& sections) {
        if (!findSection(sections, key))
            sections.append(Section{key, {}});
        return true;
    });
}

bool RegistryStore::setValue(const QString& key, const QString& name, const QString& data)
{
    return modify([&](QList<Section>& sections) {
        Section* s = findSection(sections, key);
        if (!s) {
            sections.append(Section{key, {}});
            s = &sections.last();
        }
        for (auto& v : s->values) {
            if (sameText(v.name, name)) {
                v.data = data;
                v.hasData = true;
                return true;
            }
        }
        s->values.append(Value{name, data, true});
        return true;
    });
}

bool RegistryStore::deleteValue(const QString& key, const QString& name)
{
    return modify([&](QList<Section>& sections) {
        Section* s = findSection(sections, key);
        if (!s)
            return false;
        for (qsizetype i = 0; i < s->values.size(); ++i) {
            if (sameText(s->values[i].name, name)) {
                s->values.removeAt(i);
                return true;
            }
        }
        return false;
    });
}

bool RegistryStore::deleteKey(const QString& key)
{
    return modify([&](QList<Section>& sections) {
        bool found = false;
        for (const auto& s : sections) {
            if (isBelow(s.key, key))
                return false;  // still has subkeys
            found = found || sameText(s.key, key);
        }
        if (!found)
            return false;
        sections.removeIf([&](const Section& s) { return sameText(s.key, key); });
        return true;
    });
}

}  // namespace harbel
