#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QTcpServer>
#include <QTcpSocket>

#include <functional>

namespace harbel::test {

// A scripted FTP server on loopback for one client at a time. Every reply is a list of fragments,
// written one by one with a short pause between them so that the client sees them in separate reads.
// Commands without a script get sensible defaults (login, FEAT, TYPE, PWD, CWD, PASV, QUIT).
class ScriptedFtpServer final : public QObject {
    Q_OBJECT
public:
    using Fragments = QList<QByteArray>;

    ScriptedFtpServer();
    bool listen();
    quint16 port() const { return server_.serverPort(); }

    void setGreeting(Fragments fragments) { greeting_ = std::move(fragments); }
    // Replies to a command verb (upper case); a verb may get several scripted replies in turn: each
    // use takes the next, the last one repeats.
    void on(const QByteArray& verb, Fragments fragments) { scripts_[verb].append(std::move(fragments)); }
    // LIST, MLSD or RETR: "150", the payload over the data connection, then "226".
    void onData(const QByteArray& verb, QByteArray payload) { payloads_[verb] = std::move(payload); }
    // The next `times` transfers of a data verb end after `bytes` bytes with `finalReply` instead of
    // the whole payload and "226"; an empty finalReply closes the control connection instead. Cuts
    // given one after another follow each other.
    void cutData(const QByteArray& verb, qint64 bytes, QByteArray finalReply, int times = 1)
    {
        cuts_[verb].append(Cut{bytes, std::move(finalReply), times});
    }
    // The 150 reply of a data verb names the payload's whole size: "(N bytes)".
    void setStartReplyNamesSize(bool names) { startNamesSize_ = names; }
    // After the payload the data connection stays open and no final reply comes.
    bool holdData = false;
    // The size the 150 reply names instead, from the offset of the last REST and the payload's size.
    std::function<qint64(qint64 restOffset, qint64 whole)> startReplySize;
    // The address the 227 reply names (default: 127,0,0,1).
    void setPassiveHost(const QByteArray& commaHost) { pasvHost_ = commaHost; }
    // The text around "h1,h2,h3,h4,p1,p2" in the 227 reply (default: "227 Entering Passive Mode (" and ")").
    void setPassiveFrame(QByteArray before, QByteArray after)
    {
        pasvBefore_ = std::move(before);
        pasvAfter_ = std::move(after);
    }
    void setFeatures(const QByteArray& featReply) { feat_ = featReply; }

    // A new client takes the place of a connected one instead of being turned away (a client that
    // drops its connection and reconnects at once).
    void setReplaceClient(bool replace) { replaceClient_ = replace; }
    const QStringList& received() const { return received_; }
    int dataConnections() const { return dataConnections_; }
    bool clientConnected() const { return client_ && client_->state() == QAbstractSocket::ConnectedState; }

    // Started by the first control connection: time-outs measured from it leave out a client's
    // start-up.
    QElapsedTimer firstConnection;

private:
    void onNewConnection();
    void onReadyRead();
    void handle(const QByteArray& line);
    void reply(Fragments fragments, std::function<void()> then = {});
    void sendPayload(const QByteArray verb);

    QTcpServer server_;
    QTcpServer data_;
    QPointer<QTcpSocket> client_;
    QPointer<QTcpSocket> dataClient_;
    QByteArray buffer_;
    Fragments greeting_{"220 scripted server ready\r\n"};
    QHash<QByteArray, QList<Fragments>> scripts_;
    QHash<QByteArray, int> used_;
    QHash<QByteArray, QByteArray> payloads_;
    QByteArray pasvHost_ = "127,0,0,1";
    QByteArray pasvBefore_ = "227 Entering Passive Mode (";
    QByteArray pasvAfter_ = ")";
    QByteArray feat_ = "211 no features\r\n";
    QStringList received_;
    int dataConnections_ = 0;
    bool replaceClient_ = false;
    QByteArray pendingVerb_;
    struct Cut {
        qint64 bytes = 0;
        QByteArray reply;
        int times = 0;
    };
    QHash<QByteArray, QList<Cut>> cuts_;
    bool startNamesSize_ = false;
    // The offset of the last REST, used by the next transfer.
    qint64 restOffset_ = 0;
};

// A SOCKS 4 / SOCKS 5 proxy on loopback that relays to the requested target and records what it
// was asked.
class SocksRelay final : public QObject {
    Q_OBJECT
public:
    struct Request {
        int version = 0;
        QString host;
        quint16 port = 0;
        QString user;
        QString password;
    };

    explicit SocksRelay(bool requireLogin = false) : requireLogin_(requireLogin) {}
    bool listen();
    quint16 port() const { return server_.serverPort(); }
    const QList<Request>& requests() const { return requests_; }

private:
    void onNewConnection();

    QTcpServer server_;
    bool requireLogin_;
    QList<Request> requests_;
};

}  // namespace harbel::test
