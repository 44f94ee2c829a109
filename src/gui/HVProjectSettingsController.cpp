#include "HVProjectSettingsController.h"

#include "HVDocumentController.h"
#include "HVError.h"
#include "HVProject.h"
#include "HVProjectSettings.h"
#include "HVUserInterface.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QStackedWidget>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

QString qt(const std::string& text) {
    return QString::fromStdString(text);
}

// Sets the text only when it differs, so that the caret of the field being typed in stays.
void showText(QLineEdit* field, const std::string& text) {
    if (field->text() != qt(text))
        field->setText(qt(text));
}

QLineEdit* makeField(QWidget* parent, const char* name, const char* accessibleName) {
    auto* field = new QLineEdit(parent);
    field->setObjectName(name);
    field->setAccessibleName(accessibleName);
    return field;
}

// Shows the sheet at the next turn of the event loop: a sheet must not open inside the call
// that asks for it.
QPointer<HVProjectSettingsController> present(HVProjectSettingsController* dialog) {
    QPointer<HVProjectSettingsController> self(dialog);
    QTimer::singleShot(0, dialog, [self] {
        if (self)
            self->open();
    });
    return self;
}

} // namespace

QPointer<HVProjectSettingsController> HVProjectSettingsController::newProject(QWidget* parent) {
    return present(new HVProjectSettingsController(std::make_unique<HVProjectSettings>(), parent));
}

QPointer<HVProjectSettingsController>
HVProjectSettingsController::editProject(QWidget* parent, std::shared_ptr<HVProject> project) {
    return present(new HVProjectSettingsController(
        std::make_unique<HVProjectSettings>(std::move(project)), parent));
}

HVProjectSettingsController::HVProjectSettingsController(
    std::unique_ptr<HVProjectSettings> settings, QWidget* parent)
    : QDialog(parent ? parent->window() : nullptr), m_settings(std::move(settings)) {
    setObjectName("HVProjectSettings");
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowModality(parent ? Qt::WindowModal : Qt::ApplicationModal);
    setWindowTitle(m_settings->isNewProject() ? "New Project" : "Project Settings");
    build();
    showValues();
}

HVProjectSettingsController::~HVProjectSettingsController() {
    // setText (unlike clear) also drops the undo history, which would keep the password.
    if (m_password)
        m_password->setText(QString());
}

void HVProjectSettingsController::build() {
    auto* heading = new QLabel(windowTitle(), this);
    QFont bold = heading->font();
    bold.setBold(true);
    heading->setFont(bold);

    m_kind = new QComboBox(this);
    m_kind->setObjectName("HVProjectKind");
    m_kind->addItem("Local folder", int(HVProject::Local));
    m_kind->addItem("Remote site", int(HVProject::Remote));
    m_kind->addItem("Local folder mirrored to a site", int(HVProject::Combo));
    connect(m_kind, &QComboBox::currentIndexChanged, this, [this] {
        if (m_showing)
            return;
        m_settings->setKind(m_kind->currentData().toInt());
        updateState();
    });

    m_name = makeField(this, "HVProjectName", "Name");
    m_name->setPlaceholderText("The folder's name");
    m_directory = makeField(this, "HVProjectDirectory", "Local directory");
    m_chooseDirectory = new QPushButton("Choose…", this);
    m_chooseDirectory->setObjectName("HVProjectChooseDirectory");
    connect(m_chooseDirectory, &QPushButton::clicked, this, [this] { chooseLocalDirectory(); });
    auto* directoryRow = new QHBoxLayout;
    directoryRow->addWidget(m_directory, 1);
    directoryRow->addWidget(m_chooseDirectory);

    auto* top = new QFormLayout;
    top->addRow("Kind:", m_kind);
    top->addRow("Name:", m_name);
    top->addRow("Local directory:", directoryRow);

    m_server = new QGroupBox("Server", this);
    m_server->setObjectName("HVProjectServer");
    m_protocol = new QComboBox(m_server);
    m_protocol->setObjectName("HVProjectProtocol");
    m_protocol->addItem("FTP", int(HVRemoteProtocol::FTP));
    m_protocol->addItem("SFTP", int(HVRemoteProtocol::SFTP));
    m_protocol->addItem("WebDAV", int(HVRemoteProtocol::WebDAV));
    connect(m_protocol, &QComboBox::currentIndexChanged, this, [this] {
        if (m_showing)
            return;
        m_settings->setProtocol(HVRemoteProtocol(m_protocol->currentData().toInt()));
        updateState();
    });
    m_presets = new QToolButton(m_server);
    m_presets->setObjectName("HVProjectPresets");
    m_presets->setText("Presets");
    m_presets->setPopupMode(QToolButton::InstantPopup);
    m_presets->setMenu(new QMenu(m_presets));
    connect(m_presets->menu(), &QMenu::aboutToShow, this, [this] { showPresets(); });
    auto* protocolRow = new QHBoxLayout;
    protocolRow->addWidget(m_protocol, 1);
    protocolRow->addWidget(m_presets);

    m_host = makeField(m_server, "HVProjectHost", "Host");
    m_port = makeField(m_server, "HVProjectPort", "Port");
    m_port->setPlaceholderText("Default");
    m_port->setMaximumWidth(90);
    m_user = makeField(m_server, "HVProjectUser", "User");
    m_password = makeField(m_server, "HVProjectPassword", "Password");
    m_password->setEchoMode(QLineEdit::Password);
    m_password->setToolTip("Kept in the password store, never in the project file");
    m_initialDirectory = makeField(m_server, "HVProjectInitialDirectory", "Initial directory");
    auto* hostRow = new QHBoxLayout;
    hostRow->addWidget(m_host, 1);
    hostRow->addWidget(new QLabel("Port:", m_server));
    hostRow->addWidget(m_port);

    // One page of options per protocol, in the protocol menu's order.
    m_protocolOptions = new QStackedWidget(m_server);
    auto* ftpPage = new QWidget(m_protocolOptions);
    auto* ftpLayout = new QHBoxLayout(ftpPage);
    ftpLayout->setContentsMargins(0, 0, 0, 0);
    m_passiveModeOff = new QCheckBox("Passive mode off", ftpPage);
    m_passiveModeOff->setObjectName("HVProjectPassiveModeOff");
    ftpLayout->addWidget(m_passiveModeOff);
    auto* sftpPage = new QWidget(m_protocolOptions);
    auto* sftpLayout = new QHBoxLayout(sftpPage);
    sftpLayout->setContentsMargins(0, 0, 0, 0);
    m_identityFile = makeField(sftpPage, "HVProjectIdentityFile", "Identity file");
    m_identityFile->setPlaceholderText("~/.ssh/id_rsa");
    m_chooseIdentityFile = new QPushButton("Choose…", sftpPage);
    m_chooseIdentityFile->setObjectName("HVProjectChooseIdentityFile");
    connect(m_chooseIdentityFile, &QPushButton::clicked, this, [this] { chooseIdentityFile(); });
    sftpLayout->addWidget(m_identityFile, 1);
    sftpLayout->addWidget(m_chooseIdentityFile);
    auto* webDAVPage = new QWidget(m_protocolOptions);
    m_protocolOptions->addWidget(ftpPage);
    m_protocolOptions->addWidget(sftpPage);
    m_protocolOptions->addWidget(webDAVPage);
    m_otherOptions = makeField(m_server, "HVProjectOtherOptions", "Other options");
    m_otherOptions->setPlaceholderText("More arguments for the client");

    m_previewURL = makeField(m_server, "HVProjectPreviewURL", "Remote preview URL");
    m_previewURL->setPlaceholderText("http://www.example.org/");

    auto* server = new QFormLayout(m_server);
    m_serverForm = server;
    server->addRow("Protocol:", protocolRow);
    server->addRow("Host:", hostRow);
    server->addRow("User:", m_user);
    server->addRow("Password:", m_password);
    server->addRow("Initial directory:", m_initialDirectory);
    server->addRow("Options:", m_protocolOptions);
    server->addRow("Other options:", m_otherOptions);
    server->addRow("Preview URL:", m_previewURL);
    m_upload = new QCheckBox("Upload files after saving", this);
    m_upload->setObjectName("HVProjectUploadAutomatically");
    m_connect = new QCheckBox("Connect automatically", this);
    m_connect->setObjectName("HVProjectConnectAutomatically");
    auto* bottom = new QVBoxLayout;
    bottom->setContentsMargins(12, 0, 0, 0);
    bottom->addWidget(m_upload);
    bottom->addWidget(m_connect);

    m_status = new QLabel(this);
    m_status->setObjectName("HVProjectStatus");
    m_status->setTextFormat(Qt::PlainText);
    m_status->setWordWrap(true);
    m_status->setStyleSheet("color: #b3261e");

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* cancel = buttons->addButton("Cancel", QDialogButtonBox::RejectRole);
    cancel->setObjectName("HVProjectCancel");
    m_ok = buttons->addButton("OK", QDialogButtonBox::AcceptRole);
    m_ok->setObjectName("HVProjectOK");
    m_ok->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, [this] { confirm(); });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    // Each field hands its edits to the model at once, so the warning follows the typing.
    auto follow = [this](QLineEdit* field, void (HVProjectSettings::*setter)(std::string)) {
        connect(field, &QLineEdit::textEdited, this, [this, setter](const QString& text) {
            (m_settings.get()->*setter)(text.toStdString());
            updateState();
        });
    };
    follow(m_name, &HVProjectSettings::setDisplayName);
    follow(m_directory, &HVProjectSettings::setLocalDirectory);
    follow(m_host, &HVProjectSettings::setHost);
    follow(m_port, &HVProjectSettings::setPort);
    follow(m_user, &HVProjectSettings::setUser);
    follow(m_password, &HVProjectSettings::setPassword);
    follow(m_initialDirectory, &HVProjectSettings::setInitialDirectory);
    follow(m_identityFile, &HVProjectSettings::setIdentityFile);
    follow(m_otherOptions, &HVProjectSettings::setOtherOptions);
    follow(m_previewURL, &HVProjectSettings::setRemotePreviewURL);
    connect(m_passiveModeOff, &QCheckBox::toggled, this, [this](bool on) {
        if (!m_showing)
            m_settings->setPassiveModeOff(on);
    });
    connect(m_upload, &QCheckBox::toggled, this, [this](bool on) {
        if (!m_showing)
            m_settings->setUploadAutomatically(on);
    });
    connect(m_connect, &QCheckBox::toggled, this, [this](bool on) {
        if (!m_showing)
            m_settings->setConnectAutomatically(on);
    });

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(heading);
    layout->addLayout(top);
    layout->addWidget(m_server);
    layout->addLayout(bottom);
    layout->addWidget(m_status);
    layout->addWidget(buttons);
    setMinimumWidth(520);
}

void HVProjectSettingsController::showValues() {
    m_showing = true;
    const HVProjectSettings& s = *m_settings;
    m_kind->setCurrentIndex(m_kind->findData(s.kind()));
    showText(m_name, s.displayName());
    showText(m_directory, s.localDirectory());
    m_protocol->setCurrentIndex(m_protocol->findData(int(s.protocol())));
    showText(m_host, s.host());
    showText(m_port, s.port());
    showText(m_user, s.user());
    showText(m_password, s.password());
    showText(m_initialDirectory, s.initialDirectory());
    m_passiveModeOff->setChecked(s.passiveModeOff());
    showText(m_identityFile, s.identityFile());
    showText(m_otherOptions, s.otherOptions());
    showText(m_previewURL, s.remotePreviewURL());
    m_upload->setChecked(s.uploadAutomatically());
    m_connect->setChecked(s.connectAutomatically());
    m_showing = false;
    updateState();
}

void HVProjectSettingsController::updateState() {
    const HVProjectSettings& s = *m_settings;
    const bool location = s.canChangeLocation();
    m_kind->setEnabled(location);
    m_directory->setEnabled(location && s.hasLocalDirectory());
    m_chooseDirectory->setEnabled(location && s.hasLocalDirectory());
    m_server->setEnabled(location && s.hasRemoteSite());
    m_upload->setEnabled(s.hasRemoteSite());
    m_connect->setEnabled(s.hasRemoteSite());
    m_previewURL->setEnabled(s.hasRemoteSite());
    // The options row names what the protocol offers; WebDAV offers none.
    m_protocolOptions->setCurrentIndex(m_protocol->currentIndex());
    const HVRemoteProtocol protocol = s.protocol();
    if (auto* label = qobject_cast<QLabel*>(m_serverForm->labelForField(m_protocolOptions)))
        label->setText(protocol == HVRemoteProtocol::SFTP ? "Identity file:" : "FTP options:");
    m_serverForm->setRowVisible(m_protocolOptions, protocol != HVRemoteProtocol::WebDAV);
    m_status->setText(qt(s.warning()));
    m_ok->setEnabled(s.isValid());
}

void HVProjectSettingsController::chooseLocalDirectory() {
    auto* dialog =
        new QFileDialog(this, "Choose the Project's Folder",
                        m_directory->text().isEmpty() ? QDir::homePath() : m_directory->text());
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    dialog->setFileMode(QFileDialog::Directory);
    dialog->setOption(QFileDialog::ShowDirsOnly);
    connect(dialog, &QFileDialog::fileSelected, this, [this](const QString& path) {
        m_settings->setLocalDirectory(path.toStdString());
        showValues();
    });
    dialog->open();
}

void HVProjectSettingsController::chooseIdentityFile() {
    auto* dialog = new QFileDialog(this, "Choose an Identity File", QDir::homePath() + "/.ssh");
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    dialog->setFileMode(QFileDialog::ExistingFile);
    dialog->setFilter(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    connect(dialog, &QFileDialog::fileSelected, this, [this](const QString& path) {
        m_settings->setIdentityFile(path.toStdString());
        showValues();
    });
    dialog->open();
}

void HVProjectSettingsController::showPresets() {
    QMenu* menu = m_presets->menu();
    menu->clear();
    auto presets = m_settings->presets();
    if (presets.empty()) {
        menu->addAction("No Recent Hosts or Projects")->setEnabled(false);
        return;
    }
    bool recent = true;
    for (HVProjectSettingsPreset& preset : presets) {
        if (recent && preset.project) {
            recent = false;
            if (!menu->isEmpty())
                menu->addSeparator();
        }
        menu->addAction(qt(preset.title), this, [this, preset = std::move(preset)] {
            m_settings->setFromPreset(preset);
            showValues();
        });
    }
}

void HVProjectSettingsController::confirm() {
    if (!m_settings->isValid())
        return;
    const bool created = m_settings->isNewProject();
    HVError error;
    if (!m_settings->confirm(&error)) {
        m_status->setText(qt(error.description()));
        return;
    }
    m_password->setText(QString());
    // The values are in the project; a save that failed is told at the window, after the sheet.
    const bool saveFailed = !error.description().empty();
    const std::string root = created ? m_settings->project()->rootDirectory() : std::string();
    QTimer::singleShot(0, [saveFailed, error, root] {
        if (saveFailed)
            HVUserInterface::shared().presentError(error, nullptr, {});
        // Opened after the sheet has gone, so that the project's window comes to the front.
        if (!root.empty())
            HVDocumentController::sharedController().openDocumentWithContentsOfFile(root, true);
    });
    accept();
}
