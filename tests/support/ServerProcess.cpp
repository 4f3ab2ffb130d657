#include "tests/support/ServerProcess.h"

#include <QDeadlineTimer>
#include <QFileInfo>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

namespace harbel::test {

quint16 freeLoopbackPort()
{
    QTcpServer probe;
    return probe.listen(QHostAddress::LocalHost, 0) ? probe.serverPort() : 0;
}

bool ServerProcess::start(const QString& program, const QStringList& arguments, quint16 port, QString* why)
{
    stop();
    const QString name = QFileInfo(program).fileName();
    process_ = std::make_unique<QProcess>();
    process_->setProcessChannelMode(QProcess::MergedChannels);
    process_->start(program, arguments);
    if (!process_->waitForStarted(5000)) {
        *why = name + QStringLiteral(" did not start: ") + process_->errorString();
        return false;
    }
    QDeadlineTimer deadline(10000);
    while (!deadline.hasExpired()) {
        if (process_->state() == QProcess::NotRunning) {
            *why = name + QStringLiteral(" ended: ") + QString::fromUtf8(process_->readAll());
            return false;
        }
        QTcpSocket s;
        s.connectToHost(QHostAddress::LocalHost, port);
        if (s.waitForConnected(200))
            return true;
        QThread::msleep(50);
    }
    *why = name + QStringLiteral(" did not accept connections");
    return false;
}

void ServerProcess::stop()
{
    if (process_ && process_->state() != QProcess::NotRunning) {
        process_->terminate();
        if (!process_->waitForFinished(5000))
            process_->kill();
        process_->waitForFinished(5000);
    }
    process_.reset();
}

}  // namespace harbel::test
