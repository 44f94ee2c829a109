#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>

class QLocalServer;

// One running editor per user: a second start hands its arguments (paths and "hvdt" URLs) to
// the running one over a local socket and ends.
class HVSingleInstance : public QObject {
    Q_OBJECT
public:
    // Called with the arguments of each request, paths already made absolute.
    using RequestHandler = std::function<void(const QStringList& arguments)>;

    explicit HVSingleInstance(QString serverName = defaultServerName(), QObject* parent = nullptr);
    ~HVSingleInstance() override;

    static QString defaultServerName();
    // Sends the request to a running instance; false when none answers.
    static bool sendToRunningInstance(const QStringList& arguments, const QString& serverName,
                                      int timeoutMilliseconds = 1000);
    // Paths become absolute against the directory the request came from; URLs stay as they are.
    static QStringList absoluteArguments(const QStringList& arguments, const QString& directory);

    // Starts answering requests; false when the name cannot be listened on.
    bool listen(RequestHandler handler);
    const QString& serverName() const { return m_serverName; }

private:
    QString m_serverName;
    QLocalServer* m_server = nullptr;
    RequestHandler m_handler;
};
