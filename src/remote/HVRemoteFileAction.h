#pragma once

#include "HVError.h"
#include "HVRemoteCommandQuoting.h"
#include "HVRemoteFilesConnection.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class HVRemoteFileAction;

// Told when an action has finished; called on the connection's reading thread (or within
// run() when the action is refused before typing anything).
class HVRemoteFileActionDelegate {
public:
    virtual ~HVRemoteFileActionDelegate() = default;
    virtual void actionFinished(HVRemoteFileAction& /*action*/, bool /*success*/,
                                int /*statusCode*/) {}
};

// One operation on a remote connection: types its commands into the client, reads the
// replies as the connection hands them over, and reports to its delegate exactly once.
// Made with std::make_shared: run() hands the connection a weak pointer to the action.
class HVRemoteFileAction : public HVRemoteFilesConnectionDelegate,
                           public std::enable_shared_from_this<HVRemoteFileAction> {
public:
    explicit HVRemoteFileAction(std::shared_ptr<HVRemoteFilesConnection> connection);
    ~HVRemoteFileAction() override;

    // Becomes the connection's delegate and types the first command. May be called again once
    // the action has reported: it then starts over and reports once more.
    void run(std::weak_ptr<HVRemoteFileActionDelegate> delegate);
    virtual bool failureIsFatal() const { return false; }
    // What to show for a failure with this status code: reason() under HVRemoteReason and
    // remotePath() under HVFilePath.
    HVError error(int statusCode) const;

    bool hasFinished() const { return m_finished; }
    bool succeeded() const { return m_succeeded; }
    int finalStatusCode() const { return m_finalStatusCode; }
    // The failing line(s) the client or server printed, or our own refusal; empty on success.
    const std::string& reason() const { return m_reason; }
    const std::string& remotePath() const { return m_remotePath; }
    const std::string& localPath() const { return m_localPath; }
    const std::string& newPath() const { return m_newPath; }
    const std::string& mode() const { return m_mode; }
    HVRemoteProtocol protocol() const { return m_protocol; }
    const std::shared_ptr<HVRemoteFilesConnection>& connection() const { return m_connection; }
    // The action that now waits for the client's output: a directory action's current step.
    virtual HVRemoteFileAction& activeAction() { return *this; }

    // Tests: what the action types (secrets included) goes to the sink instead of the
    // client, and the client is neither launched nor killed.
    void setCommandSinkForTesting(std::function<bool(std::string_view)> sink);

    // The status code of a reply read in the given direction: a line "NNN-" (a continued
    // reply) answers at once, 226 wins over other codes, otherwise the first code met counts.
    static int statusCode(const std::vector<std::string>& lines, bool reversed);
    static bool statusCodeIsError(int statusCode) { return statusCode > 399; }
    // Whether the client's output shows a failure (sftp prints no codes). The first line is
    // skipped when it is the echo of the typed command: names may hold any words.
    static bool linesIndicateError(const std::vector<std::string>& lines,
                                   std::string_view typedCommand = {});
    // The lines that made linesIndicateError true.
    static std::vector<std::string> errorLines(const std::vector<std::string>& lines,
                                               std::string_view typedCommand = {});

    bool willNeedInput(HVRemoteFilesConnection& connection) override;
    void finishedCommand(HVRemoteFilesConnection& connection,
                         const std::vector<std::string>& lines) override;
    void timedOut(HVRemoteFilesConnection& connection) override;
    void clientExited(HVRemoteFilesConnection& connection) override;

protected:
    // Types the first command (or fails at once when it cannot be typed).
    virtual void start() = 0;
    // One reply; `atPrompt` is false when the client asks for input instead.
    virtual void handleReply(const std::vector<std::string>& lines, bool atPrompt) = 0;
    virtual std::string errorDescription() const;
    virtual std::string errorSuggestion(int statusCode) const;
    // Whether the action answers the client's input requests (connecting does).
    virtual bool wantsInput() const { return false; }
    // Forgets the progress of an earlier run, so that an action the queue runs again on a new
    // connection starts from its beginning.
    virtual void resetProgress() {}
    // Whether what the client printed before it ended is a reply to judge (logging in reads
    // why it gave up). For other actions it fails them: only a reply that ends at the prompt
    // finished a command.
    virtual bool judgesLastWords() const { return false; }

    bool type(std::string_view command);
    bool typeSecret(std::string_view secret);
    bool launchClient(std::vector<std::string> arguments);
    void killClient();
    // Reports once; later calls do nothing.
    void finish(bool success, int statusCode);
    void fail(int statusCode, std::string reason);
    void setReason(std::string reason) { m_reason = std::move(reason); }
    const std::string& lastTyped() const { return m_lastTyped; }
    // Makes this action the connection's delegate again (after a step of its own ran).
    void takeConnection();
    // The quoted argument, or none after failing with the refusal.
    std::optional<std::string> quoted(std::string_view path, HVRemoteArgument use);
    // Types the command, or fails when it is too long or the client refuses it.
    void typeCommand(std::string_view verb, const std::vector<std::string>& arguments);
    // How file commands are judged: FTP and WebDAV by the last status code, SFTP by its words.
    // Fails (with the failing lines) and returns false when the reply shows a failure.
    bool judgeFileReply(const std::vector<std::string>& lines, int* statusCode);
    // How transfers are judged: as file commands, and besides FTP needs its 226 (or 250)
    // "transfer complete", since tnftp reports local failures without a code, and WebDAV
    // fails on cadaver's own "failed" lines.
    bool judgeTransferReply(const std::vector<std::string>& lines, int* statusCode);
    // The failing lines of a reply for reason(): the lines with error codes, else the last.
    std::string failingLines(const std::vector<std::string>& lines) const;
    void inheritSink(HVRemoteFileAction& child) const { child.m_sink = m_sink; }
    bool hasSink() const { return static_cast<bool>(m_sink); }

    std::string m_remotePath;
    std::string m_localPath;
    std::string m_newPath;
    std::string m_mode;

private:
    std::shared_ptr<HVRemoteFilesConnection> m_connection;
    HVRemoteProtocol m_protocol = HVRemoteProtocol::FTP;
    std::weak_ptr<HVRemoteFileActionDelegate> m_delegate;
    std::function<bool(std::string_view)> m_sink;
    std::string m_lastTyped;
    std::string m_reason;
    bool m_inputRequested = false;
    bool m_finished = false;
    bool m_succeeded = false;
    int m_finalStatusCode = 0;
};
