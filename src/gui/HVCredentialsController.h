#pragma once

#include <QDialog>
#include <functional>
#include <string>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

// Asks for the user name and password of a remote login, as a window-modal sheet on the window
// that needs them. The password leaves the dialog only through the completion, as a copy; the
// field is emptied as soon as it has been handed over.
class HVCredentialsController : public QDialog {
    Q_OBJECT
public:
    // What the login is for; handed back so that one completion can serve several askers.
    enum Tag { RemoteLoginTag = 0, SubversionTag = 1 };
    enum ReturnCode { CancelReturnCode = 0, LogInReturnCode = 1 };

    struct Answer {
        std::string user;
        std::string password;
        // Keep the password in the password store.
        bool remember = false;
        int tag = RemoteLoginTag;
    };
    using Completion = std::function<void(int returnCode, Answer answer)>;

    explicit HVCredentialsController(QWidget* parent = nullptr);
    ~HVCredentialsController() override;

    // "Remote Login: example.org": the dialog's heading and window title.
    void setTitle(const std::string& title);
    std::string title() const;
    // The use-keychain flag the checkbox starts with.
    void setRemember(bool remember);
    bool remember() const;
    int tag() const { return m_tag; }

    // Fills in the user name, focuses the field still to be typed and shows the dialog on the
    // window at the next turn of the event loop (a sheet must not open inside the call that
    // asks for it). The completion runs once, when a button or Escape closes the dialog.
    void displayOnWindow(QWidget* window, const std::string& user, Completion completion,
                         int tag = RemoteLoginTag);

    QLineEdit* userField() const { return m_user; }
    QLineEdit* passwordField() const { return m_password; }
    QCheckBox* rememberBox() const { return m_remember; }
    QPushButton* logInButton() const { return m_logIn; }
    QPushButton* cancelButton() const { return m_cancel; }

private:
    void finish(int returnCode);

    QLabel* m_title;
    QLineEdit* m_user;
    QLineEdit* m_password;
    QCheckBox* m_remember;
    QPushButton* m_cancel;
    QPushButton* m_logIn;
    Completion m_completion;
    int m_tag = RemoteLoginTag;
};
