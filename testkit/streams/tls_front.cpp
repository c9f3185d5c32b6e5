#include "testkit/streams/tls_front.h"

#include <QFile>
#include <QPointer>
#include <QProcess>
#include <QSslCertificate>
#include <QSslKey>
#include <QSslSocket>
#include <QTcpServer>
#include <QTimer>
#include <atomic>
#include <stdexcept>

namespace qova::testkit::streams {
namespace {

constexpr int kMaxListeners = 32;
constexpr int kLifetimeMs = 10 * 60 * 1000;

QByteArray readAll(const std::string& path) {
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly))
        throw std::runtime_error("TlsFront: cannot read " + path);
    return file.readAll();
}

// A key and a certificate for 127.0.0.1 and localhost, valid for a day.
void makeCertificate(const TempFolder& folder) {
    QProcess openssl;
    openssl.start(QStringLiteral("openssl"),
                  {"req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1",
                   "-nodes", "-days", "1", "-subj", "/CN=127.0.0.1", "-addext",
                   "subjectAltName=IP:127.0.0.1,DNS:localhost", "-keyout",
                   QString::fromStdString(folder.file("key.pem")), "-out",
                   QString::fromStdString(folder.file("cert.pem"))});
    if (!openssl.waitForFinished(30000) || openssl.exitStatus() != QProcess::NormalExit ||
        openssl.exitCode() != 0)
        throw std::runtime_error("TlsFront: openssl failed: " +
                                 openssl.readAllStandardError().toStdString());
}

}  // namespace

class TlsFrontWorker : public QTcpServer {
  public:
    TlsFrontWorker(std::uint16_t backendPort, QSslCertificate certificate, QSslKey key,
                   std::atomic<int>* handshakes)
        : backendPort_(backendPort),
          certificate_(std::move(certificate)),
          key_(std::move(key)),
          handshakes_(handshakes) {}

  protected:
    void incomingConnection(qintptr descriptor) override {
        auto* client = new QSslSocket(this);
        if (listeners_ >= kMaxListeners || !client->setSocketDescriptor(descriptor)) {
            client->deleteLater();
            return;
        }
        ++listeners_;
        auto* backend = new QTcpSocket(this);
        const QPointer<QSslSocket> c(client);
        const QPointer<QTcpSocket> b(backend);
        auto end = [this, c, b] {
            for (QAbstractSocket* socket : {static_cast<QAbstractSocket*>(c.data()),
                                            static_cast<QAbstractSocket*>(b.data())}) {
                if (socket) {
                    socket->disconnect(this);
                    socket->disconnectFromHost();
                    socket->deleteLater();
                }
            }
            --listeners_;
        };
        auto once = std::make_shared<bool>(false);
        auto endOnce = [end, once] {
            if (!std::exchange(*once, true))
                end();
        };
        connect(client, &QSslSocket::encrypted, this, [this, b] {
            ++*handshakes_;
            if (b)
                b->connectToHost(QHostAddress::LocalHost, backendPort_);
        });
        connect(client, &QSslSocket::readyRead, this, [c, b] {
            if (c && b)
                b->write(c->readAll());
        });
        connect(backend, &QTcpSocket::readyRead, this, [c, b] {
            if (c && b)
                c->write(b->readAll());
        });
        connect(client, &QSslSocket::disconnected, this, endOnce);
        connect(client, &QSslSocket::errorOccurred, this, endOnce);
        connect(backend, &QTcpSocket::disconnected, this, endOnce);
        connect(backend, &QTcpSocket::errorOccurred, this, endOnce);
        client->setLocalCertificate(certificate_);
        client->setPrivateKey(key_);
        client->startServerEncryption();
    }

  private:
    std::uint16_t backendPort_;
    QSslCertificate certificate_;
    QSslKey key_;
    std::atomic<int>* handshakes_;
    int listeners_ = 0;
};

TlsFront::TlsFront(std::uint16_t backendPort) {
    makeCertificate(folder_);
    QSslCertificate certificate(readAll(folder_.file("cert.pem")), QSsl::Pem);
    QSslKey key(readAll(folder_.file("key.pem")), QSsl::Ec, QSsl::Pem);
    if (certificate.isNull() || key.isNull())
        throw std::runtime_error("TlsFront: the certificate or key does not load");
    worker_ = new TlsFrontWorker(backendPort, std::move(certificate), std::move(key), &handshakes_);
    worker_->moveToThread(&thread_);
    QObject::connect(&thread_, &QThread::finished, worker_, &QObject::deleteLater);
    thread_.start();
    QMetaObject::invokeMethod(
        worker_,
        [this] {
            worker_->listen(QHostAddress::LocalHost, 0);
            port_ = worker_->serverPort();
            QTimer::singleShot(kLifetimeMs, worker_, [this] { thread_.quit(); });
        },
        Qt::BlockingQueuedConnection);
    if (port_ == 0)
        throw std::runtime_error("TlsFront: cannot listen");
}

TlsFront::~TlsFront() {
    thread_.quit();
    thread_.wait();
}

std::string TlsFront::url(const std::string& path) const {
    return "https://127.0.0.1:" + std::to_string(port_) + path;
}

int TlsFront::handshakes() const {
    return handshakes_.load();
}

}  // namespace qova::testkit::streams
