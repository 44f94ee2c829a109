#include "HVStatusBarWidget.h"

#include "HVError.h"

#include <QLabel>
#include <map>

HVStatusBarWidget::HVStatusBarWidget(QWidget* parent)
    : QStatusBar(parent), m_position(new QLabel(this)), m_encoding(new QLabel(this)),
      m_lineBreak(new QLabel(this)), m_language(new QLabel(this)) {
    for (QLabel* label : {m_language, m_position, m_encoding, m_lineBreak}) {
        label->setContentsMargins(8, 0, 8, 0);
        addPermanentWidget(label);
    }
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
