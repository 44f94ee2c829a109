#include "HVQtUserInterface.h"

#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

void HVQtUserInterface::setWindowForContext(const void* context, QWidget* window) {
    m_windows[context] = window;
}

void HVQtUserInterface::forgetContext(const void* context) {
    m_windows.erase(context);
}

QWidget* HVQtUserInterface::windowForContext(const void* context) const {
    auto it = m_windows.find(context);
    if (it != m_windows.end() && it->second)
        return it->second->window();
    return nullptr;
}

void HVQtUserInterface::presentError(const HVError& error, const void* context,
                                     std::function<void(std::size_t)> completion) {
    QWidget* window = windowForContext(context);
    m_waiting[window].push_back(PendingAlert{error, std::move(completion)});
    if (!m_showing[window])
        showNextAlert(window);
}

void HVQtUserInterface::showNextAlert(QWidget* window) {
    auto& queue = m_waiting[window];
    if (queue.empty()) {
        m_showing[window] = false;
        return;
    }
    m_showing[window] = true;
    PendingAlert alert = std::move(queue.front());
    queue.pop_front();

    auto* box = new QMessageBox(window);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setObjectName("HVAlert");
    box->setIcon(alert.error.isLowPriority() ? QMessageBox::Information : QMessageBox::Warning);
    box->setWindowTitle(QApplication::applicationDisplayName());
    box->setText(QString::fromStdString(alert.error.description()));
    box->setInformativeText(QString::fromStdString(alert.error.recoverySuggestion()));
    // The server's own words, for the person who wants to know exactly what went wrong.
    if (const HVPlistValue* reason = alert.error.userInfoValue(HVRemoteReasonErrorKey);
        reason && reason->string() && !reason->string()->empty())
        box->setDetailedText(QString::fromStdString(*reason->string()));
    std::vector<std::string> options = alert.error.recoveryOptions();
    if (options.empty())
        options.push_back("OK");
    std::vector<QAbstractButton*> buttons;
    for (std::size_t i = 0; i < options.size(); ++i) {
        // The first option is the default; "Cancel" answers the Escape key.
        auto role = i == 0 ? QMessageBox::AcceptRole
                           : (options[i] == "Cancel" ? QMessageBox::RejectRole
                                                     : QMessageBox::DestructiveRole);
        QPushButton* button = box->addButton(QString::fromStdString(options[i]), role);
        if (i == 0)
            box->setDefaultButton(button);
        buttons.push_back(button);
    }
    if (window)
        box->setWindowModality(Qt::WindowModal);
    QPointer<QWidget> guard(window);
    connect(box, &QMessageBox::finished, this,
            [this, box, buttons, options, completion = std::move(alert.completion), window,
             guard](int) mutable {
                // Answered once, even if the closed box is told to close again.
                QObject::disconnect(box, &QMessageBox::finished, this, nullptr);
                // An alert closed without a button (its window closed, Escape without a
                // Cancel button) takes the safe way out: "Cancel" when it offers one.
                auto cancel = std::find(options.begin(), options.end(), "Cancel");
                std::size_t chosen =
                    cancel == options.end() ? 0 : std::size_t(cancel - options.begin());
                for (std::size_t i = 0; i < buttons.size(); ++i) {
                    if (box->clickedButton() == buttons[i])
                        chosen = i;
                }
                auto answer = std::move(completion);
                if (!window || guard)
                    showNextAlert(window);
                if (answer)
                    answer(chosen);
            });
    box->open();
}

void HVQtUserInterface::runOpenPanel(const OpenPanelOptions& options, const void* context,
                                     std::function<void(std::vector<std::string>)> completion) {
    auto* dialog =
        new QFileDialog(windowForContext(context),
                        QString::fromStdString(options.title.empty() ? "Open" : options.title),
                        QString::fromStdString(options.directory));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    if (options.chooseDirectories && !options.chooseFiles)
        dialog->setFileMode(QFileDialog::Directory);
    else
        dialog->setFileMode(options.allowsMultipleSelection ? QFileDialog::ExistingFiles
                                                            : QFileDialog::ExistingFile);
    if (!options.allowedExtensions.empty()) {
        QStringList patterns;
        for (const std::string& extension : options.allowedExtensions) {
            QString pattern = "*." + QString::fromStdString(extension);
            patterns << pattern.toLower() << pattern.toUpper();
        }
        dialog->setNameFilter(patterns.join(' '));
    }
    auto done = std::make_shared<bool>(false);
    connect(dialog, &QFileDialog::filesSelected, this,
            [completion, done](const QStringList& files) {
                *done = true;
                std::vector<std::string> paths;
                for (const QString& file : files)
                    paths.push_back(file.toStdString());
                if (completion)
                    completion(paths);
            });
    connect(dialog, &QFileDialog::rejected, this, [completion, done] {
        if (!*done && completion)
            completion({});
    });
    dialog->open();
}

void HVQtUserInterface::runSavePanel(const SavePanelOptions& options, const void* context,
                                     std::function<void(std::optional<std::string>)> completion) {
    QString start = QString::fromStdString(options.directory);
    if (!options.fileName.empty())
        start = start.isEmpty() ? QString::fromStdString(options.fileName)
                                : start + "/" + QString::fromStdString(options.fileName);
    auto* dialog = new QFileDialog(
        windowForContext(context),
        QString::fromStdString(options.title.empty() ? "Save As" : options.title), start);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    auto done = std::make_shared<bool>(false);
    connect(dialog, &QFileDialog::fileSelected, this, [completion, done](const QString& file) {
        *done = true;
        if (completion)
            completion(file.toStdString());
    });
    connect(dialog, &QFileDialog::rejected, this, [completion, done] {
        if (!*done && completion)
            completion(std::nullopt);
    });
    dialog->open();
}

void HVQtUserInterface::reviewUnsavedDocuments(
    const std::vector<std::string>& titles, const void* context,
    std::function<void(int, std::vector<std::size_t>)> completion) {
    auto* dialog = new QDialog(windowForContext(context));
    dialog->setObjectName("HVCloseReview");
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowTitle("Unsaved Changes");
    dialog->setWindowModality(Qt::WindowModal);
    auto* layout = new QVBoxLayout(dialog);
    layout->addWidget(
        new QLabel(QStringLiteral("%1 documents have unsaved changes. Save them before closing?")
                       .arg(titles.size()),
                   dialog));
    auto* list = new QListWidget(dialog);
    for (const auto& title : titles) {
        auto* item = new QListWidgetItem(QString::fromStdString(title), list);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(Qt::Checked);
    }
    layout->addWidget(list);
    auto* buttons = new QDialogButtonBox(dialog);
    struct Choice {
        const char* title;
        int result;
        QDialogButtonBox::ButtonRole role;
    };
    for (Choice choice : {Choice{"Save All", 0, QDialogButtonBox::AcceptRole},
                          Choice{"Save Selected", 1, QDialogButtonBox::ActionRole},
                          Choice{"Discard Changes", 2, QDialogButtonBox::DestructiveRole},
                          Choice{"Cancel", 3, QDialogButtonBox::RejectRole}}) {
        QPushButton* button = buttons->addButton(choice.title, choice.role);
        int result = choice.result;
        connect(button, &QPushButton::clicked, dialog, [dialog, list, result, completion] {
            std::vector<std::size_t> selected;
            for (int i = 0; i < list->count(); ++i) {
                if (list->item(i)->checkState() == Qt::Checked)
                    selected.push_back(std::size_t(i));
            }
            dialog->done(result);
            if (completion)
                completion(result, selected);
        });
    }
    layout->addWidget(buttons);
    dialog->open();
}

void HVQtUserInterface::beep() {
    QApplication::beep();
}
