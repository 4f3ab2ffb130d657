#include "ftpclient/window/CertificateQuestion.h"

#include "common/prompts/Prompts.h"
#include "ftpclient/config/ClientSettings.h"

namespace harbel::tessaly {

namespace {

QString when(const QDateTime& t)
{
    return t.isValid() ? t.toUTC().toString(QStringLiteral("yyyy-MM-dd HH:mm 'UTC'")) : QStringLiteral("(unknown)");
}

}  // namespace

QString certificateQuestionText(const CertificateInfo& info)
{
    const QString server = info.host + u':' + QString::number(info.port);
    QString text;
    if (info.changed()) {
        text = QStringLiteral("WARNING: the certificate of %1 has CHANGED since you chose to trust it. Someone may be "
                              "intercepting the connection, or the server has a new certificate.\n\n"
                              "Trusted before: %2\nPresented now: %3\n\n")
                   .arg(server, info.previousFingerprint, info.fingerprint);
    }
    text += QStringLiteral("The certificate of %1 could not be verified: %2.\n\n"
                           "Subject: %3\nIssuer: %4\nValid from %5 until %6\nSHA-256 fingerprint: %7\n\n"
                           "Do you trust this certificate?\n"
                           "Yes: trust it always (it is kept for this server)\n"
                           "No: trust it this time only\n"
                           "Cancel: do not connect")
                .arg(server, info.reason, info.subject, info.issuer, when(info.validFrom), when(info.validUntil),
                     info.fingerprint);
    return text;
}

int askAboutCertificate(const CertificateInfo& info)
{
    const MsgAnswer a = Prompts::instance().MsgBox(certificateQuestionText(info), MsgButtons::YesNoCancel,
                                                   info.changed() ? MsgIcon::Exclamation : MsgIcon::Question, kQuery);
    return a == MsgAnswer::Yes ? certTrustAlways : a == MsgAnswer::No ? certTrustOnce : certRefuse;
}

QString hostKeyQuestionText(const CertificateInfo& info)
{
    // The component names the key "<type> host key".
    const QString type = info.subject.section(u' ', 0, 0);
    return QStringLiteral("The host key of %1 is not known yet: this is the first connection to it, or the known "
                          "hosts file does not list it.\n\n"
                          "Key type: %2\nSHA-256 fingerprint: %3\n\n"
                          "Compare the fingerprint with the one the server's administrator gives. Do you trust this key?\n"
                          "Yes: trust it always (it is added to the known hosts file)\n"
                          "No: trust it this time only\n"
                          "Cancel: do not connect")
        .arg(info.host + u':' + QString::number(info.port), type, info.fingerprint);
}

int askAboutHostKey(const CertificateInfo& info)
{
    const MsgAnswer a = Prompts::instance().MsgBox(hostKeyQuestionText(info), MsgButtons::YesNoCancel, MsgIcon::Question, kQuery);
    return a == MsgAnswer::Yes ? certTrustAlways : a == MsgAnswer::No ? certTrustOnce : certRefuse;
}

}  // namespace harbel::tessaly
