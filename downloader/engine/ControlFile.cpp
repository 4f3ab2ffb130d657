#include "downloader/engine/ControlFile.h"

#include "common/platform/PrivateFile.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>

namespace harbel {

namespace {

constexpr char kMagic[] = "Pellanor download state 1";
// A real control file is a few hundred bytes; anything much larger is not one.
constexpr qint64 kMaxSize = 64 * 1024;

QByteArray kindOf(const QByteArray& validator)
{
    return validator.left(validator.indexOf(':')).trimmed().toLower();
}

}  // namespace

QString ControlFile::pathFor(const QString& output)
{
    return output + QStringLiteral(".pellanor");
}

std::optional<ControlFile> ControlFile::read(const QString& output, bool* damaged)
{
    if (damaged)
        *damaged = false;
    const QFileInfo info(pathFor(output));
    if (!info.exists() && !info.isSymLink())
        return std::nullopt;
    // A link or another user's file is not ours: it is neither read nor ever written.
    if (!PrivateFile::mayWrite(info.filePath()))
        return std::nullopt;
    const auto bad = [damaged]() -> std::optional<ControlFile> {
        if (damaged)
            *damaged = true;
        return std::nullopt;
    };
    QFile file(info.filePath());
    if (!info.isFile() || info.size() > kMaxSize || !file.open(QIODevice::ReadOnly))
        return bad();
    const QList<QByteArray> lines = file.readAll().split('\n');
    if (lines.isEmpty() || lines.first().trimmed() != kMagic)
        return bad();
    ControlFile c;
    bool sized = false;
    for (const QByteArray& line : lines.mid(1)) {
        if (line.trimmed().isEmpty())
            continue;
        const qsizetype eq = line.indexOf('=');
        if (eq < 0)
            return bad();
        const QByteArray key = line.left(eq);
        const QByteArray value = line.mid(eq + 1);
        if (key == "size") {
            bool ok = false;
            c.size = value.toLongLong(&ok);
            if (!ok || c.size < 0)
                return bad();
            sized = true;
        } else if (key == "segments") {
            c.segments = std::clamp(value.toInt(), 1, SegmentPlan::kMaxSegments);
        } else if (key == "validator") {
            c.validator = value;
        } else if (key == "complete") {
            for (const QByteArray& range : value.split(',')) {
                if (range.isEmpty())
                    continue;
                const qsizetype dash = range.indexOf('-');
                bool ok1 = false, ok2 = false;
                const qint64 begin = range.left(dash).toLongLong(&ok1);
                const qint64 end = range.mid(dash + 1).toLongLong(&ok2);
                if (dash < 0 || !ok1 || !ok2 || begin < 0 || end < begin)
                    return bad();
                c.complete.append({begin, end});
            }
        }
    }
    if (!sized)
        return bad();
    for (const ByteRange& r : c.complete)
        if (r.end > c.size)
            return bad();
    c.complete = mergedRanges(c.complete);
    return c;
}

bool ControlFile::write(const QString& output) const
{
    QByteArray text = QByteArray(kMagic) + '\n';
    text += "size=" + QByteArray::number(size) + '\n';
    QByteArray oneLine = validator;
    oneLine.replace('\r', ' ').replace('\n', ' ');
    text += "validator=" + oneLine + '\n';
    text += "segments=" + QByteArray::number(segments) + '\n';
    text += "complete=";
    for (qsizetype i = 0; i < complete.size(); ++i)
        text += (i ? "," : "") + QByteArray::number(complete[i].begin) + '-' + QByteArray::number(complete[i].end);
    text += '\n';
    // It holds no secret: it takes the mode the download's folder gives.
    return PrivateFile::write(pathFor(output), text, PrivateFile::Access::Shared) == PrivateFile::Result::Written;
}

void ControlFile::remove(const QString& output)
{
    // What someone else put in its place is left as it is.
    if (writable(output))
        QFile::remove(pathFor(output));
}

bool ControlFile::matches(qint64 serverSize, const QByteArray& serverValidator) const
{
    if (serverSize != size)
        return false;
    if (validator.isEmpty() || serverValidator.isEmpty() || kindOf(validator) != kindOf(serverValidator))
        return true;
    return validator.trimmed() == serverValidator.trimmed();
}

}  // namespace harbel
