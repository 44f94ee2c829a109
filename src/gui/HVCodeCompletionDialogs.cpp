#include "HVCodeCompletionDialogs.h"

#include "HVCSSCodeCompletionUI.h"
#include "HVFileSystem.h"

#include <QApplication>
#include <QColorDialog>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDatabase>
#include <QFormLayout>
#include <QLineEdit>
#include <QVBoxLayout>

namespace {

QString qString(const std::string& utf8) {
    return QString::fromStdString(utf8);
}

std::string stdString(const QString& text) {
    return text.toStdString();
}

QString titleFor(const HVCodeCompletionUI& ui) {
    if (auto* css = dynamic_cast<const HVCSSCodeCompletionUI*>(&ui)) {
        const std::u16string& label = css->label();
        return QString::fromUtf16(label.data(), qsizetype(label.size()));
    }
    return "Value";
}

QStringList stringsOf(const HVPlistValue* array) {
    QStringList strings;
    if (array && array->array()) {
        for (const HVPlistValue& value : *array->array()) {
            if (const std::string* string = value.string())
                strings << qString(*string);
        }
    }
    return strings;
}

// The model is told once, whichever way the dialog closes.
void finishOnClose(QDialog* dialog, std::function<void(bool)> finish) {
    QObject::connect(dialog, &QDialog::finished, dialog,
                     [finish](int result) { finish(result == QDialog::Accepted); });
}

void presentFileChooser(const std::shared_ptr<HVCodeCompletionUI>& ui,
                        HVCodeCompletionUI::Ended ended, QWidget* window) {
    // The document's folder, or the home folder itself for an untitled document.
    std::string start = ui->pathForUI();
    if (!QFileInfo(qString(start)).isDir())
        start = HVFileSystem::deletingLastPathComponent(start);
    auto* dialog = new QFileDialog(window, "Choose a File", qString(start));
    dialog->setObjectName("HVCompletionFileChooser");
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowModality(Qt::WindowModal);
    dialog->setFileMode(QFileDialog::AnyFile);
    dialog->setAcceptMode(QFileDialog::AcceptOpen);
    finishOnClose(dialog, [ui, ended, dialog](bool ok) {
        QStringList files = dialog->selectedFiles();
        if (ok && !files.isEmpty())
            (*ui->values().dictionary())["path"] = stdString(files.front());
        ended(ok && !files.isEmpty() ? 1 : 0);
    });
    dialog->open();
}

void presentColor(const std::shared_ptr<HVCodeCompletionUI>& ui, HVCodeCompletionUI::Ended ended,
                  QWidget* window) {
    auto* dialog = new QColorDialog(Qt::white, window);
    dialog->setObjectName("HVCompletionDialog");
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowModality(Qt::WindowModal);
    dialog->setWindowTitle(titleFor(*ui));
    finishOnClose(dialog, [ui, ended, dialog](bool ok) {
        if (ok) {
            QColor color = dialog->currentColor().toRgb();
            (*ui->values().dictionary())["color"] =
                HVPlistValue::Array{color.redF(), color.greenF(), color.blueF()};
        }
        ended(ok ? 1 : 0);
    });
    dialog->open();
}

// A sheet of a label, the fields the kind needs, OK and Cancel.
void presentSheet(const std::shared_ptr<HVCodeCompletionUI>& ui, HVCodeCompletionUI::Ended ended,
                  QWidget* window) {
    const std::string kind = ui->nibName();
    HVPlistValue& values = ui->values();
    auto* dialog = new QDialog(window);
    dialog->setObjectName("HVCompletionDialog");
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowModality(Qt::WindowModal);
    dialog->setWindowTitle(titleFor(*ui));
    auto* layout = new QVBoxLayout(dialog);
    auto* form = new QFormLayout;
    layout->addLayout(form);
    QLineEdit* number = nullptr;
    QComboBox* units = nullptr;
    QLineEdit* value = nullptr;
    QComboBox* choices = nullptr;
    if (kind == "units") {
        number = new QLineEdit(dialog);
        number->setObjectName("number");
        units = new QComboBox(dialog);
        units->setObjectName("units");
        units->addItems(stringsOf(values.objectForKey("unitlist")));
        if (const std::string* unit = values.stringForKey("units"))
            units->setCurrentText(qString(*unit));
        auto* row = new QHBoxLayout;
        row->addWidget(number, 1);
        row->addWidget(units);
        form->addRow(titleFor(*ui) + ":", row);
    } else if (kind == "popup") {
        choices = new QComboBox(dialog);
        choices->setObjectName("value");
        choices->addItems(stringsOf(values.objectForKey("valuelist")));
        if (const std::string* current = values.stringForKey("value"))
            choices->setCurrentText(qString(*current));
        form->addRow(titleFor(*ui) + ":", choices);
    } else {
        value = new QLineEdit(dialog);
        value->setObjectName("value");
        form->addRow(titleFor(*ui) + ":", value);
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, dialog);
    layout->addWidget(buttons);
    QObject::connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    finishOnClose(dialog, [ui, ended, kind, number, units, value, choices](bool ok) {
        if (ok) {
            auto& fields = *ui->values().dictionary();
            if (number) {
                fields["number"] = stdString(number->text().trimmed());
                fields["units"] = stdString(units->currentText());
            } else if (choices) {
                fields["value"] = stdString(choices->currentText());
            } else {
                QString text = value->text().trimmed();
                // A number goes in as a number, anything else as the text typed.
                bool isNumber = false;
                double parsed = text.toDouble(&isNumber);
                if (isNumber && kind == "numeric")
                    fields["value"] = parsed;
                else
                    fields["value"] = stdString(text);
            }
        }
        ended(ok ? 1 : 0);
    });
    dialog->open();
    (number ? number : value ? value : static_cast<QWidget*>(choices))->setFocus();
}

} // namespace

void HVCodeCompletionDialogs::install() {
    std::vector<std::u16string> families;
    for (const QString& family : QFontDatabase::families())
        families.emplace_back(reinterpret_cast<const char16_t*>(family.utf16()),
                              std::size_t(family.size()));
    HVCSSCodeCompletionUI::setFontFamilies(std::move(families));
    HVCodeCompletionUI::setPresenter(&HVCodeCompletionDialogs::present);
}

void HVCodeCompletionDialogs::present(const std::shared_ptr<HVCodeCompletionUI>& ui,
                                      HVCodeCompletionUI::Ended ended) {
    QWidget* window = QApplication::activeWindow();
    if (!ui->values().dictionary())
        ui->values() = HVPlistValue::Dictionary{};
    const std::string kind = ui->nibName();
    if (kind.empty())
        presentFileChooser(ui, std::move(ended), window);
    else if (kind == "color")
        presentColor(ui, std::move(ended), window);
    else if (kind == "units" || kind == "numeric" || kind == "popup" || kind == "unknown")
        presentSheet(ui, std::move(ended), window);
    else
        ended(0);
}
