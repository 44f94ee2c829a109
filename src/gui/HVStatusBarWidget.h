#pragma once

#include "HVStatusBar.h"

#include <QStatusBar>

class QLabel;

// A window's status bar: line and column, encoding, line breaks and language on the right,
// passing messages and warnings on the left.
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

    QString positionText() const;
    QString encodingText() const;
    QString lineBreakText() const;
    QString languageText() const;

private:
    QLabel* m_position;
    QLabel* m_encoding;
    QLabel* m_lineBreak;
    QLabel* m_language;
    int m_mode = 0;
};
