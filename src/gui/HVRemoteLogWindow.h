#pragma once

#include <QWidget>
#include <memory>
#include <string>

class HVRemoteLogController;
class QPlainTextEdit;

// The transcript of one connection, as its client printed it: read-only plain text in a
// fixed-width font, following new lines while the view is at its end. Nothing in it is ever
// interpreted (the log has already escaped control characters); it can be selected and
// copied, never cleared, because it is the record of what happened.
class HVRemoteLogWindow : public QWidget {
    Q_OBJECT
public:
    HVRemoteLogWindow(std::shared_ptr<HVRemoteLogController> log, const std::string& host,
                      QWidget* parent = nullptr);
    ~HVRemoteLogWindow() override;

    QPlainTextEdit* textView() const { return m_text; }
    // The text shown.
    QString text() const;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void startWatching();
    void stopWatching();
    void catchUp();

    std::shared_ptr<HVRemoteLogController> m_log;
    QPlainTextEdit* m_text;
    // Bytes of the transcript already in the view.
    std::size_t m_shown = 0;
    bool m_watching = false;
    bool m_catchUpPending = false;
};
