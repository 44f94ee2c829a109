#pragma once

#include "HVRemoteFileAction.h"

#include <functional>

// Starts the client and logs in. A failure is fatal to the connection.
class HVConnectAction : public HVRemoteFileAction {
public:
    // 0 started, 1 open sent (or client launched), 2 user sent, 3 password sent, 4 FTP set-up,
    // 5 done.
    enum State {
        Started = 0,
        OpenSent = 1,
        UserSent = 2,
        PasswordSent = 3,
        SettingUp = 4,
        Done = 5
    };

    // The subclass for the connection's protocol. A port <= 0 means the protocol's default.
    static std::shared_ptr<HVConnectAction>
    make(std::shared_ptr<HVRemoteFilesConnection> connection, std::string host, int port,
         std::string user, std::string password, std::vector<std::string> arguments);
    // The same connection and fields, in state 0.
    std::shared_ptr<HVConnectAction> clone() const;

    bool failureIsFatal() const override { return true; }
    int state() const { return m_state; }
    const std::string& host() const { return m_host; }
    int port() const { return m_port; }
    const std::string& user() const { return m_user; }
    const std::vector<std::string>& arguments() const { return m_arguments; }
    // What the client was (or in tests would have been) started with.
    const std::vector<std::string>& launchArguments() const { return m_launchArguments; }

    // WebDAV: the path part of the address (default "/") and "http" or "https".
    void setWebDAVPath(std::string path) { m_webDAVPath = std::move(path); }
    void setWebDAVScheme(std::string scheme) { m_webDAVScheme = std::move(scheme); }
    // SFTP: asked, on the reading thread, whether to trust an unknown host key; gets the
    // client's question. Without one every unknown key is refused.
    void setHostKeyApproval(std::function<bool(const std::string& question)> approval) {
        m_hostKeyApproval = std::move(approval);
    }

    // Use make(): it picks the protocol's subclass.
    HVConnectAction(std::shared_ptr<HVRemoteFilesConnection> connection, std::string host, int port,
                    std::string user, std::string password, std::vector<std::string> arguments);

protected:
    bool wantsInput() const override { return true; }
    bool judgesLastWords() const override { return true; }
    std::string errorDescription() const override;
    std::string errorSuggestion(int statusCode) const override;
    // Host names reach the command line unquoted: only what a host name or address holds.
    bool hostIsTypable() const;
    bool launchWith(std::vector<std::string> arguments);

    int m_state = Started;
    std::string m_host;
    int m_port = 0;
    std::string m_user;
    std::string m_password;
    std::vector<std::string> m_arguments;
    std::vector<std::string> m_launchArguments;
    std::string m_webDAVPath = "/";
    std::string m_webDAVScheme = "http";
    std::function<bool(const std::string&)> m_hostKeyApproval;
};

// tnftp, started with -n (no auto-login, so no ~/.netrc; the login is its "user" command
// after the 220), -e (no line editing, so no doubled echo), -g (no
// local wildcard expansion: names are data) and -v (replies with their codes). After login:
// the passive mode ("passive off" with -A among the arguments, else "passive auto"),
// "epsv4 off", "preserve on" and "progress off" (the bar would fill the transcript).
class HVFTPConnectAction : public HVConnectAction {
public:
    using HVConnectAction::HVConnectAction;

protected:
    void start() override;
    void handleReply(const std::vector<std::string>& lines, bool atPrompt) override;

private:
    std::optional<int> m_rememberedError;
    std::string m_rememberedReason;
    std::vector<std::string> m_setUpCommands;
};

// OpenSSH sftp: "-oPort=N" and "user@host" after the arguments. The password is typed when
// asked the first time; a second request means it was refused.
class HVSFTPConnectAction : public HVConnectAction {
public:
    using HVConnectAction::HVConnectAction;

protected:
    void start() override;
    void handleReply(const std::vector<std::string>& lines, bool atPrompt) override;
};

// cadaver: "open scheme://host:port/path/" at the first prompt, then user and password when
// asked. A second refusal of the credentials fails instead of asking for ever.
class HVWebDAVConnectAction : public HVConnectAction {
public:
    using HVConnectAction::HVConnectAction;

protected:
    void start() override;
    void handleReply(const std::vector<std::string>& lines, bool atPrompt) override;

private:
    std::optional<int> m_rememberedError;
    std::string m_rememberedReason;
    int m_refusals = 0;
};
