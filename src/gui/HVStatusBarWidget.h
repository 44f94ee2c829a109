#pragma once

#include "HVStatusBar.h"

#include <QSize>
#include <QStatusBar>

class QLabel;
class QToolButton;

// A window's status bar: line and column, encoding, line breaks and language on the right,
// passing messages and warnings on the left. Clicking the line breaks offers the three types;
// clicking the language offers every language, the current one checked.
class HVStatusBarWidget : public QStatusBar, public HVStatusBar {
    Q_OBJECT
public:
    explicit HVStatusBarWidget(QWidget* parent = nullptr);

    void setStatusText(const std::string& text) override;
    void showWarning(const HVError& error) override;
    void setEncodingName(const std::string& name) override;
    void setLineBreakName(const std::string& name) override;
    void setLineAndColumn(std::size_t line, std::size_t column) override;
    void setLanguageName(const std::string& name) override;
    void setMode(int mode) override { m_mode = mode; }
    // For an image: its size in place of the position, and none of the text's labels.
    void showImageSize(QSize size);
    // The line-break type and the language can be chosen for a text, not for an image.
    void setTextChoicesEnabled(bool enabled);
    QToolButton* lineBreakButton() const { return m_lineBreak; }
    QToolButton* languageButton() const { return m_language; }

    QString positionText() const;
    QString encodingText() const;
    QString lineBreakText() const;
    QString languageText() const;

signals:
    // 0 Unix, 1 Mac, 2 DOS.
    void lineBreakTypeChosen(int type);
    // The bundle identifier of the language chosen.
    void languageChosen(const QString& bundleIdentifier);

private:
    QLabel* m_position;
    QLabel* m_encoding;
    QToolButton* m_lineBreak;
    QToolButton* m_language;
    int m_mode = 0;
};
