#pragma once

#include <cstddef>
#include <string>

class HVError;

// A window's status bar, as the documents report to it. The GUI draws it; headless runs keep
// what was reported (HVRecordingStatusBar) so that tests can read it.
class HVStatusBar {
public:
    virtual ~HVStatusBar() = default;

    // A passing message ("Opened using %@").
    virtual void setStatusText(const std::string& text) = 0;
    // A non-critical error shown as a warning instead of an alert.
    virtual void showWarning(const HVError& error) = 0;
    virtual void setEncodingName(const std::string& name) = 0;
    virtual void setLineBreakName(const std::string& name) = 0;
    // Line and column counted from 1.
    virtual void setLineAndColumn(std::size_t line, std::size_t column) = 0;
    virtual void setLanguageName(const std::string& name) = 0;
    // 0 plain files, 1 remote project, 2 combined project.
    virtual void setMode(int mode) = 0;
};

// Keeps the latest of each report.
class HVRecordingStatusBar : public HVStatusBar {
public:
    void setStatusText(const std::string& text) override { statusText = text; }
    void showWarning(const HVError& error) override;
    void setEncodingName(const std::string& name) override { encodingName = name; }
    void setLineBreakName(const std::string& name) override { lineBreakName = name; }
    void setLineAndColumn(std::size_t l, std::size_t c) override {
        line = l;
        column = c;
    }
    void setLanguageName(const std::string& name) override { languageName = name; }
    void setMode(int m) override { mode = m; }

    std::string statusText;
    std::string warning;
    std::string encodingName;
    std::string lineBreakName;
    std::string languageName;
    std::size_t line = 0;
    std::size_t column = 0;
    int mode = 0;
};
