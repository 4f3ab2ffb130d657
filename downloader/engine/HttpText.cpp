#include "downloader/engine/HttpText.h"

#include "common/support/LangString.h"

#include <QList>
#include <QStringDecoder>

#include <array>

namespace harbel {

namespace {
std::array<char, 64> g_base64{};
bool g_base64Ready = false;
}  // namespace

qint16 GetStatusCode(const QString& text)
{
    const qsizetype blank = text.indexOf(u' ');
    const QString digits = blank >= 0 ? text.mid(blank + 1, 3) : text.left(3);
    bool ok = false;
    const int code = digits.toInt(&ok);
    if (!ok || digits.size() != 3 || code < 0)
        return 0;
    return qint16(code);
}

QString GetError(qint16 code)
{
    struct Entry {
        qint16 status;
        const char* code;
        const char* text;
    };
    static const Entry table[] = {
        {400, "13033", "HTTP 400-Bad Request"},
        {401, "13034", "HTTP 401.x-You are not authorized to view this page"},
        {403, "13035", "HTTP 403.x - Forbidden: Access Denied"},
        {404, "13032", "HTTP 404-Object Not Found"},
        {405, "13036", "HTTP 405 - Resource Not Allowed"},
        {406, "13037", "HTTP Error 406 - Not Acceptable"},
        {407, "13038", "HTTP 407 - Proxy Authentication Required"},
        {410, "13039", "HTTP Error 410 - Permanently not available"},
        {412, "13040", "HTTP 412 - Precondition Failed"},
        {414, "13041", "HTTP 414 - Request - URI Too Long"},
        {500, "13044", "HTTP Error 500-Server Error - The server failed to fulfill an apparently valid request"},
        {501, "13042", "Error 501 - Not implemented"},
        {502, "13043", "HTTP 502 - Bad Gateway"},
    };
    for (const Entry& e : table)
        if (e.status == code)
            return GetLangString(QString::fromLatin1(e.code), QString::fromLatin1(e.text));
    return QStringLiteral("SUCCESS");
}

QString GetHeaderValue(const QString& text, const QString& name)
{
    if (text.isEmpty())
        return QString();
    const qsizetype p = text.indexOf(name);
    if (p < 0)
        return QString();
    const qsizetype from = p + name.size();
    const qsizetype end = text.indexOf(QLatin1String("\r\n"), from);
    return end < 0 ? text.mid(from) : text.mid(from, end - from);
}

std::optional<QByteArray> headerField(const QByteArray& head, const QByteArray& name)
{
    const QList<QByteArray> lines = head.split('\n');
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray& line = lines[i];
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0)
            continue;
        if (line.left(colon).trimmed().compare(name, Qt::CaseInsensitive) == 0)
            return line.mid(colon + 1).trimmed();
    }
    return std::nullopt;
}

QList<QByteArray> headerFields(const QByteArray& head, const QByteArray& name)
{
    QList<QByteArray> values;
    const QList<QByteArray> lines = head.split('\n');
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray& line = lines[i];
        const qsizetype colon = line.indexOf(':');
        if (colon > 0 && line.left(colon).trimmed().compare(name, Qt::CaseInsensitive) == 0)
            values.append(line.mid(colon + 1).trimmed());
    }
    return values;
}

namespace {

// The parameters of a Content-Disposition value: name (lower case) and value (unquoted).
QList<std::pair<QByteArray, QByteArray>> dispositionParameters(const QByteArray& v)
{
    QList<std::pair<QByteArray, QByteArray>> params;
    qsizetype i = v.indexOf(';');
    while (i >= 0 && i < v.size()) {
        ++i;
        const qsizetype eq = v.indexOf('=', i);
        if (eq < 0)
            break;
        const QByteArray name = v.mid(i, eq - i).trimmed().toLower();
        i = eq + 1;
        while (i < v.size() && (v[i] == ' ' || v[i] == '\t'))
            ++i;
        QByteArray value;
        if (i < v.size() && v[i] == '"') {
            for (++i; i < v.size() && v[i] != '"'; ++i) {
                if (v[i] == '\\' && i + 1 < v.size())
                    ++i;
                value += v[i];
            }
            i = v.indexOf(';', i);
        } else {
            const qsizetype end = v.indexOf(';', i);
            value = v.mid(i, end < 0 ? -1 : end - i).trimmed();
            i = end;
        }
        params.append({name, value});
    }
    return params;
}

// An RFC 8187 value: charset'language'percent-encoded bytes.
std::optional<QString> extendedValue(const QByteArray& value)
{
    const qsizetype first = value.indexOf('\'');
    const qsizetype second = first < 0 ? -1 : value.indexOf('\'', first + 1);
    if (second < 0)
        return std::nullopt;
    const QByteArray charset = value.left(first).trimmed().toUpper();
    const QByteArray bytes = QByteArray::fromPercentEncoding(value.mid(second + 1));
    if (charset == "UTF-8") {
        QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        QString text = decoder.decode(bytes);
        if (decoder.hasError())
            return std::nullopt;
        return text;
    }
    if (charset == "ISO-8859-1")
        return QString::fromLatin1(bytes);
    return std::nullopt;
}

}  // namespace

QString contentDispositionName(const QByteArray& head)
{
    const auto field = headerField(head, "Content-Disposition");
    if (!field)
        return {};
    std::optional<QString> extended;
    std::optional<QByteArray> plain;
    for (const auto& [name, value] : dispositionParameters(*field)) {
        if (name == "filename*" && !extended)
            extended = extendedValue(value);
        else if (name == "filename" && !plain)
            plain = value;
    }
    QString name;
    if (extended) {
        name = *extended;
    } else if (plain) {
        QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        name = decoder.decode(*plain);
        if (decoder.hasError())
            name = QString::fromLatin1(*plain);
    }
    // A name with folders in it keeps its last part only.
    name = name.mid(std::max(name.lastIndexOf(u'/'), name.lastIndexOf(u'\\')) + 1);
    return name.trimmed();
}

std::optional<QString> FindEmbeddedLink(const QString& text, const QString& name)
{
    if (name.isEmpty())
        return std::nullopt;
    const QString upper = text.toUpper();
    const qsizetype p = upper.indexOf(name.toUpper());
    if (p < 0)
        return std::nullopt;
    const qsizetype s = upper.lastIndexOf(QLatin1String("SRC='"), p);
    if (s < 0)
        return std::nullopt;
    return text.mid(s + 5, p + name.size() - (s + 5));
}

void initBase64()
{
    int i = 0;
    for (char c = 'A'; c <= 'Z'; ++c)
        g_base64[i++] = c;
    for (char c = 'a'; c <= 'z'; ++c)
        g_base64[i++] = c;
    for (char c = '0'; c <= '9'; ++c)
        g_base64[i++] = c;
    g_base64[i++] = '+';
    g_base64[i++] = '/';
    g_base64Ready = true;
}

QString Encode2Base64(const QString& text)
{
    if (!g_base64Ready)
        initBase64();
    const QByteArray in = text.toUtf8();
    QByteArray out;
    out.reserve((in.size() + 2) / 3 * 4);
    for (qsizetype i = 0; i < in.size(); i += 3) {
        const qsizetype n = std::min<qsizetype>(3, in.size() - i);
        quint32 group = quint32(quint8(in[i])) << 16;
        if (n > 1)
            group |= quint32(quint8(in[i + 1])) << 8;
        if (n > 2)
            group |= quint32(quint8(in[i + 2]));
        out += g_base64[(group >> 18) & 63];
        out += g_base64[(group >> 12) & 63];
        out += n > 1 ? g_base64[(group >> 6) & 63] : '=';
        out += n > 2 ? g_base64[group & 63] : '=';
    }
    return QString::fromLatin1(out);
}

std::optional<qint64> parseLength(const QByteArray& value)
{
    const QByteArray v = value.trimmed();
    if (v.isEmpty() || v.size() > 18)
        return std::nullopt;
    qint64 n = 0;
    for (const char c : v) {
        if (c < '0' || c > '9')
            return std::nullopt;
        n = n * 10 + (c - '0');
    }
    return n;
}

std::optional<ContentRange> parseContentRange(const QByteArray& value)
{
    QByteArray v = value.trimmed();
    if (!v.toLower().startsWith("bytes "))
        return std::nullopt;
    v = v.mid(6).trimmed();
    const qsizetype dash = v.indexOf('-');
    const qsizetype slash = v.indexOf('/');
    if (dash <= 0 || slash <= dash)
        return std::nullopt;
    const auto first = parseLength(v.left(dash));
    const auto last = parseLength(v.mid(dash + 1, slash - dash - 1));
    if (!first || !last || *last < *first)
        return std::nullopt;
    ContentRange r{*first, *last, -1};
    const QByteArray total = v.mid(slash + 1).trimmed();
    if (total != "*") {
        const auto t = parseLength(total);
        if (!t || *t <= *last)
            return std::nullopt;
        r.total = *t;
    }
    return r;
}

QByteArray headOf(const QByteArray& block, qsizetype* bodyStart)
{
    const qsizetype end = block.indexOf("\r\n\r\n");
    if (end < 0)
        return {};
    *bodyStart = end + 4;
    return block.left(end);
}

QByteArray requestText(const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    QByteArray out;
    out.reserve(bytes.size());
    for (const char c : bytes) {
        const auto b = quint8(c);
        if (b <= 0x20 || b >= 0x7f) {
            out += '%';
            out += QByteArray::number(b, 16).rightJustified(2, '0').toUpper();
        } else {
            out += c;
        }
    }
    return out;
}

bool isChunked(const QByteArray& head)
{
    const auto te = headerField(head, "Transfer-Encoding");
    return te && !te->trimmed().isEmpty() && te->trimmed().toLower() != "identity";
}

QByteArray validatorOf(const QByteArray& head)
{
    if (const auto etag = headerField(head, "ETag"); etag && !etag->isEmpty())
        return "ETag: " + *etag;
    if (const auto modified = headerField(head, "Last-Modified"); modified && !modified->isEmpty())
        return "Last-Modified: " + *modified;
    return {};
}

QByteArray statusLine(const QByteArray& head)
{
    const qsizetype cr = head.indexOf('\r');
    return head.left(cr >= 0 ? cr : head.size());
}

}  // namespace harbel
