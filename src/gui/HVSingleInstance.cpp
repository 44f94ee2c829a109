#include "HVSingleInstance.h"

#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <unistd.h>

namespace {

// A request is the sender's directory and its arguments, one per line, ended by an empty line.
QByteArray encodeRequest(const QStringList& arguments) {
    QByteArray data = QDir::currentPath().toUtf8() + "\n";
    for (const QString& argument : arguments)
        data += argument.toUtf8().replace('\n', ' ') + "\n";
    return data + "\n";
}

} // namespace

HVSingleInstance::HVSingleInstance(QString serverName, QObject* parent)
    : QObject(parent), m_serverName(std::move(serverName)) {}

HVSingleInstance::~HVSingleInstance() = default;

QString HVSingleInstance::defaultServerName() {
    return QStringLiteral("halvet-%1").arg(::getuid());
}

QStringList HVSingleInstance::absoluteArguments(const QStringList& arguments,
                                                const QString& directory) {
    QStringList result;
    for (const QString& argument : arguments) {
        if (argument.startsWith("hvdt:") || QDir::isAbsolutePath(argument))
            result << argument;
        else
            // Not cleaned here: "link/.." must be resolved by the file system, which the
            // document controller does.
            result << QDir(directory).absoluteFilePath(argument);
    }
    return result;
}

bool HVSingleInstance::sendToRunningInstance(const QStringList& arguments,
                                             const QString& serverName, int timeoutMilliseconds) {
    QLocalSocket socket;
    socket.connectToServer(serverName);
    if (!socket.waitForConnected(timeoutMilliseconds))
        return false;
    socket.write(encodeRequest(arguments));
    if (!socket.waitForBytesWritten(timeoutMilliseconds))
        return false;
    // The running instance closes the connection once it has the whole request.
    socket.waitForDisconnected(timeoutMilliseconds);
    return true;
}

bool HVSingleInstance::listen(RequestHandler handler) {
    m_handler = std::move(handler);
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server->listen(m_serverName)) {
        // A server that died leaves its socket file behind.
        QLocalServer::removeServer(m_serverName);
        if (!m_server->listen(m_serverName))
            return false;
    }
    connect(m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = m_server->nextPendingConnection()) {
            auto buffer = std::make_shared<QByteArray>();
            connect(socket, &QLocalSocket::readyRead, socket, [this, socket, buffer] {
                *buffer += socket->readAll();
                if (!buffer->endsWith("\n\n") && *buffer != "\n")
                    return;
                QStringList lines = QString::fromUtf8(*buffer).split('\n');
                buffer->clear();
                QString directory = lines.value(0);
                QStringList arguments;
                for (int i = 1; i < lines.size(); ++i) {
                    if (!lines[i].isEmpty())
                        arguments << lines[i];
                }
                socket->disconnectFromServer();
                if (m_handler)
                    m_handler(absoluteArguments(arguments, directory));
            });
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        }
    });
    return true;
}
