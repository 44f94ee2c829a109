#include "HVStatusBarWidget.h"

#include "HVBundle.h"
#include "HVBundleRepository.h"
#include "HVError.h"

#include <QActionGroup>
#include <QLabel>
#include <QMenu>
#include <QToolButton>
#include <map>

HVStatusBarWidget::HVStatusBarWidget(QWidget* parent)
    : QStatusBar(parent), m_position(new QLabel(this)), m_encoding(new QLabel(this)),
      m_lineBreak(new QToolButton(this)), m_language(new QToolButton(this)) {
    m_language->setAutoRaise(true);
    m_language->setPopupMode(QToolButton::InstantPopup);
    m_language->setToolButtonStyle(Qt::ToolButtonTextOnly);
    m_language->setToolTip(tr("Language: click to colour the text as another language"));
    auto* languages = new QMenu(m_language);
    languages->setObjectName("languageMenu");
    // Built when it opens: bundles come and go, and the current one is checked.
    connect(languages, &QMenu::aboutToShow, this, [this, languages] {
        for (QActionGroup* old : languages->findChildren<QActionGroup*>())
            delete old;
        languages->clear();
        auto* group = new QActionGroup(languages);
        for (const auto& bundle : HVBundleRepository::sharedRepository().bundlesSortedByTitle()) {
            QString title = QString::fromStdString(bundle->title());
            // Bundles that only serve others (embedded pieces) are not offered.
            if (bundle->hideInList() && title != m_language->text())
                continue;
            QString identifier = QString::fromStdString(bundle->bundleIdentifier());
            QAction* item = languages->addAction(
                title, this, [this, identifier] { emit languageChosen(identifier); });
            item->setCheckable(true);
            item->setChecked(title == m_language->text());
            group->addAction(item);
        }
    });
    m_language->setMenu(languages);
    addPermanentWidget(m_language);
    for (QLabel* label : {m_position, m_encoding}) {
        label->setContentsMargins(8, 0, 8, 0);
        addPermanentWidget(label);
    }
    m_lineBreak->setAutoRaise(true);
    m_lineBreak->setPopupMode(QToolButton::InstantPopup);
    m_lineBreak->setToolButtonStyle(Qt::ToolButtonTextOnly);
    m_lineBreak->setToolTip(tr("Line breaks: click to convert every line break of the text"));
    auto* menu = new QMenu(m_lineBreak);
    menu->setObjectName("lineBreakMenu");
    const char* choices[] = {"Unix (LF)", "Mac (CR)", "DOS (CRLF)"};
    for (int type = 0; type < 3; ++type) {
        menu->addAction(tr(choices[type]), this, [this, type] { emit lineBreakTypeChosen(type); });
    }
    m_lineBreak->setMenu(menu);
    addPermanentWidget(m_lineBreak);
    m_position->setObjectName("position");
    m_encoding->setObjectName("encoding");
    m_lineBreak->setObjectName("lineBreak");
    m_language->setObjectName("language");
}

void HVStatusBarWidget::setStatusText(const std::string& text) {
    setStyleSheet(QString());
    showMessage(QString::fromStdString(text), 5000);
}

void HVStatusBarWidget::showWarning(const HVError& error) {
    // A warning stays until the next message, in a colour that says it is one.
    setStyleSheet("QStatusBar { color: #9a4a00; }");
    showMessage(QString::fromUtf8("\u26A0 ") + QString::fromStdString(error.description()));
}

void HVStatusBarWidget::setEncodingName(const std::string& name) {
    m_encoding->setText(QString::fromStdString(name));
}

void HVStatusBarWidget::setLineBreakName(const std::string& name) {
    static const std::map<std::string, QString> shown = {
        {"Unix", "LF"}, {"Mac", "CR"}, {"DOS", "CRLF"}};
    auto it = shown.find(name);
    m_lineBreak->setText(it == shown.end() ? QString::fromStdString(name) : it->second);
}

void HVStatusBarWidget::showImageSize(QSize size) {
    m_position->setText(
        size.isEmpty()
            ? QString()
            : QStringLiteral("%1 \u00D7 %2 pixels").arg(size.width()).arg(size.height()));
    m_encoding->clear();
    m_lineBreak->setText(QString());
    m_language->setText(QString());
    setTextChoicesEnabled(false);
}

void HVStatusBarWidget::setTextChoicesEnabled(bool enabled) {
    m_lineBreak->setVisible(enabled);
    m_language->setVisible(enabled);
}

void HVStatusBarWidget::setLineAndColumn(std::size_t line, std::size_t column) {
    m_position->setText(QStringLiteral("Line %1, Column %2").arg(line).arg(column));
}

void HVStatusBarWidget::setLanguageName(const std::string& name) {
    m_language->setText(QString::fromStdString(name));
}

QString HVStatusBarWidget::positionText() const {
    return m_position->text();
}
QString HVStatusBarWidget::encodingText() const {
    return m_encoding->text();
}
QString HVStatusBarWidget::lineBreakText() const {
    return m_lineBreak->text();
}

QString HVStatusBarWidget::languageText() const {
    return m_language->text();
}
