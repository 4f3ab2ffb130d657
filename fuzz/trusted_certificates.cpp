// Tessaly's TrustedCertificates.ini, as a user or an earlier version left it: a fingerprint kept
// for a server is the one found for it afterwards, whatever its host's letter case, and every other
// server's fingerprint is found as it was before.
#include "FuzzCheck.h"

#include "common/platform/IniFile.h"
#include "common/platform/PrivateFile.h"
#include "ftpclient/component/IniCertificateTrust.h"

#include <QCryptographicHash>
#include <QDir>
#include <QTemporaryDir>

#include <cstring>

using namespace harbel;
using namespace harbel::tessaly;

namespace {

// The letters a host name or an address may hold.
const char kHostLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789.-:";

QString fingerprintOf(const QByteArray& bytes)
{
    const QByteArray hex = QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex().toUpper();
    QStringList pairs;
    for (qsizetype i = 0; i < hex.size(); i += 2)
        pairs << QString::fromLatin1(hex.mid(i, 2));
    return pairs.join(u':');
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // The file, then after the first NUL two bytes of port and the host; the fingerprint is the
    // digest of what follows the file.
    const QByteArray input(reinterpret_cast<const char*>(data), qsizetype(size));
    const qsizetype nul = input.indexOf('\0');
    const QByteArray fileText = nul < 0 ? input : input.left(nul);
    const QByteArray rest = nul < 0 ? QByteArray() : input.mid(nul + 1);
    const quint16 port = rest.size() >= 2 ? quint16(quint8(rest[0]) << 8 | quint8(rest[1])) : 21;
    QString host;
    for (const char c : rest.mid(2, 64))
        host += QLatin1Char(c != '\0' && std::strchr(kHostLetters, c) ? c : kHostLetters[quint8(c) % (sizeof kHostLetters - 1)]);
    const QString fingerprint = fingerprintOf(rest);

    static QTemporaryDir dir(QDir(QStringLiteral("/dev/shm")).exists() ? QStringLiteral("/dev/shm/harbel-fuzz-XXXXXX")
                                                                       : QDir::tempPath() + QStringLiteral("/harbel-fuzz-XXXXXX"));
    static const QString path = dir.filePath(QStringLiteral("TrustedCertificates.ini"));
    // A new file each time, as the programs write theirs: what was read of the last one is not kept.
    if (PrivateFile::write(path, fileText) != PrivateFile::Result::Written)
        return 0;
    IniCertificateTrust trust(path);
    const QString written = host.trimmed().toLower() + u':' + QString::number(port);

    // The servers the file names, and what is found for each before the write.
    QList<std::tuple<QString, quint16, QString>> before;
    for (const QString& key : IniFile(path).keys(QStringLiteral("Trusted")).mid(0, 16)) {
        const qsizetype colon = key.lastIndexOf(u':');
        bool ok = false;
        const uint p = key.mid(colon + 1).toUInt(&ok);
        if (colon < 0 || !ok || p > 65535)
            continue;
        const QString h = key.left(colon);
        if ((h.trimmed().toLower() + u':' + QString::number(p)).compare(written, Qt::CaseInsensitive) == 0)
            continue;
        const QString found = trust.fingerprintFor(h, quint16(p));
        FUZZ_CHECK(!found.contains(u'\n') && !found.contains(u'\r'));
        before.append({h, quint16(p), found});
    }

    FUZZ_CHECK(trust.trustAlways(host, port, fingerprint));
    FUZZ_CHECK(trust.fingerprintFor(host, port) == fingerprint);
    FUZZ_CHECK(trust.fingerprintFor(host.toUpper(), port) == fingerprint);
    for (const auto& [h, p, found] : before)
        FUZZ_CHECK(trust.fingerprintFor(h, p) == found);
    return 0;
}
