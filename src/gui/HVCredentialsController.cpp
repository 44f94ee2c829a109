#include "HVCredentialsController.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

HVCredentialsController::HVCredentialsController(QWidget* parent) : QDialog(parent) {
    setObjectName("HVCredentials");
    setModal(true);

    m_title = new QLabel(this);
    m_title->setObjectName("HVCredentialsTitle");
    m_title->setTextFormat(Qt::PlainText);
    QFont heading = m_title->font();
    heading.setBold(true);
    m_title->setFont(heading);

    m_user = new QLineEdit(this);
    m_user->setObjectName("HVCredentialsUser");
    m_user->setAccessibleName("User name");
    m_password = new QLineEdit(this);
    m_password->setObjectName("HVCredentialsPassword");
    m_password->setAccessibleName("Password");
    m_password->setEchoMode(QLineEdit::Password);
    m_remember = new QCheckBox("Remember password in the password store", this);
    m_remember->setObjectName("HVCredentialsRemember");

    auto* buttons = new QDialogButtonBox(this);
    m_cancel = buttons->addButton("Cancel", QDialogButtonBox::RejectRole);
    m_cancel->setObjectName("HVCredentialsCancel");
    m_logIn = buttons->addButton("Log In", QDialogButtonBox::AcceptRole);
    m_logIn->setObjectName("HVCredentialsLogIn");
    m_logIn->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, [this] { done(LogInReturnCode); });
    connect(buttons, &QDialogButtonBox::rejected, this, [this] { done(CancelReturnCode); });
    // Escape and the window's close button reject, which is the same as Cancel.
    connect(this, &QDialog::finished, this, [this](int code) { finish(code); });

    auto* form = new QFormLayout;
    form->addRow("User name:", m_user);
    form->addRow("Password:", m_password);
    form->addRow(QString(), m_remember);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_title);
    layout->addLayout(form);
    layout->addWidget(buttons);
    setMinimumWidth(380);
}

HVCredentialsController::~HVCredentialsController() {
    m_password->setText(QString());
}

void HVCredentialsController::setTitle(const std::string& title) {
    m_title->setText(QString::fromStdString(title));
    setWindowTitle(QString::fromStdString(title));
}

std::string HVCredentialsController::title() const {
    return m_title->text().toStdString();
}

void HVCredentialsController::setRemember(bool remember) {
    m_remember->setChecked(remember);
}

bool HVCredentialsController::remember() const {
    return m_remember->isChecked();
}

void HVCredentialsController::displayOnWindow(QWidget* window, const std::string& user,
                                              Completion completion, int tag) {
    m_completion = std::move(completion);
    m_tag = tag;
    if (window && parentWidget() != window->window())
        setParent(window->window(), windowFlags());
    setWindowModality(window ? Qt::WindowModal : Qt::ApplicationModal);
    m_user->setText(QString::fromStdString(user));
    m_password->setText(QString());
    QLineEdit* first = user.empty() ? m_user : m_password;
    QPointer<HVCredentialsController> self(this);
    QTimer::singleShot(0, this, [self, first] {
        if (!self)
            return;
        self->open();
        first->setFocus(Qt::OtherFocusReason);
    });
}

void HVCredentialsController::finish(int returnCode) {
    Answer answer;
    answer.user = m_user->text().toStdString();
    answer.password = m_password->text().toStdString();
    answer.remember = m_remember->isChecked();
    answer.tag = m_tag;
    // setText (unlike clear) also drops the undo history, which would keep the password.
    m_password->setText(QString());
    if (returnCode != LogInReturnCode) {
        returnCode = CancelReturnCode;
        answer.password.clear();
    }
    Completion completion = std::move(m_completion);
    m_completion = nullptr;
    if (completion)
        completion(returnCode, std::move(answer));
}
