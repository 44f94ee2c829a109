#pragma once

#include <QDialog>
#include <QPointer>
#include <memory>

class HVProject;
class HVProjectSettings;
class QCheckBox;
class QComboBox;
class QFormLayout;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QStackedWidget;
class QToolButton;

// The project-settings sheet: a window-modal dialog over an HVProjectSettings, which checks
// and applies what is typed here. Fields that must not change while the project is open are
// disabled; OK is enabled only when the values have no warning.
class HVProjectSettingsController : public QDialog {
    Q_OBJECT
public:
    // An empty editor; confirming makes the project and opens its root directory.
    static QPointer<HVProjectSettingsController> newProject(QWidget* parent);
    // The project's settings; confirming saves them.
    static QPointer<HVProjectSettingsController> editProject(QWidget* parent,
                                                             std::shared_ptr<HVProject> project);

    HVProjectSettingsController(std::unique_ptr<HVProjectSettings> settings, QWidget* parent);
    ~HVProjectSettingsController() override;

    HVProjectSettings& settings() { return *m_settings; }
    QPushButton* okButton() const { return m_ok; }

private:
    void build();
    void showValues();
    void updateState();
    void chooseLocalDirectory();
    void chooseIdentityFile();
    void showPresets();
    void confirm();

    std::unique_ptr<HVProjectSettings> m_settings;
    bool m_showing = false;

    QComboBox* m_kind = nullptr;
    QLineEdit* m_name = nullptr;
    QLineEdit* m_directory = nullptr;
    QPushButton* m_chooseDirectory = nullptr;
    QGroupBox* m_server = nullptr;
    QFormLayout* m_serverForm = nullptr;
    QComboBox* m_protocol = nullptr;
    QToolButton* m_presets = nullptr;
    QLineEdit* m_host = nullptr;
    QLineEdit* m_port = nullptr;
    QLineEdit* m_user = nullptr;
    QLineEdit* m_password = nullptr;
    QLineEdit* m_initialDirectory = nullptr;
    QStackedWidget* m_protocolOptions = nullptr;
    QCheckBox* m_passiveModeOff = nullptr;
    QLineEdit* m_identityFile = nullptr;
    QPushButton* m_chooseIdentityFile = nullptr;
    QLineEdit* m_otherOptions = nullptr;
    QLineEdit* m_previewURL = nullptr;
    QCheckBox* m_upload = nullptr;
    QCheckBox* m_connect = nullptr;
    QLabel* m_status = nullptr;
    QPushButton* m_ok = nullptr;
};
