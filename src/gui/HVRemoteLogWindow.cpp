#include "HVRemoteLogWindow.h"

#include "HVRemoteLogController.h"

#include <QCloseEvent>
#include <QFontDatabase>
#include <QPlainTextEdit>
#include <QPointer>
#include <QScrollBar>
#include <QTextCursor>
#include <QTimer>
#include <QVBoxLayout>

HVRemoteLogWindow::HVRemoteLogWindow(std::shared_ptr<HVRemoteLogController> log,
                                     const std::string& host, QWidget* parent)
    : QWidget(parent, Qt::Window), m_log(std::move(log)) {
    setObjectName("HVRemoteLog");
    setWindowTitle(QString::fromUtf8("Remote Log \u2014 ") + QString::fromStdString(host));
    m_text = new QPlainTextEdit(this);
    m_text->setObjectName("HVRemoteLogText");
    m_text->setAccessibleName("Transcript");
    m_text->setReadOnly(true);
    m_text->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    m_text->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_text->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    m_text->setUndoRedoEnabled(false);
    m_text->document()->setDocumentMargin(8);
    // A caret after the last "sftp> " would look like a prompt waiting for a command.
    m_text->setCursorWidth(0);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_text);
    resize(640, 400);
}

HVRemoteLogWindow::~HVRemoteLogWindow() {
    stopWatching();
}

QString HVRemoteLogWindow::text() const {
    return m_text->toPlainText();
}

void HVRemoteLogWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    startWatching();
}

void HVRemoteLogWindow::closeEvent(QCloseEvent* event) {
    stopWatching();
    QWidget::closeEvent(event);
}

void HVRemoteLogWindow::startWatching() {
    if (m_watching || !m_log)
        return;
    m_watching = true;
    m_text->setPlainText(QString());
    m_shown = 0;
    // The pieces the watcher reports may overlap what transcript() already returned (or miss
    // what arrived just before it was set), so the view reads the transcript past what it
    // shows instead, once per turn of the event loop however many pieces arrived.
    QPointer<HVRemoteLogWindow> self(this);
    m_log->setWatcher([self](const std::string&) {
        if (!self || self->m_catchUpPending)
            return;
        self->m_catchUpPending = true;
        QTimer::singleShot(0, self, [self] {
            if (self)
                self->catchUp();
        });
    });
    catchUp();
    m_text->moveCursor(QTextCursor::End);
    m_text->verticalScrollBar()->setValue(m_text->verticalScrollBar()->maximum());
}

void HVRemoteLogWindow::stopWatching() {
    if (!m_watching)
        return;
    m_watching = false;
    if (m_log)
        m_log->setWatcher({});
}

void HVRemoteLogWindow::catchUp() {
    m_catchUpPending = false;
    if (!m_watching)
        return;
    std::string transcript = m_log->transcript();
    if (transcript.size() <= m_shown)
        return;
    QScrollBar* bar = m_text->verticalScrollBar();
    const bool atEnd = bar->value() >= bar->maximum();
    // Inserted through a cursor of its own, so that the reader's selection stays put.
    QTextCursor end(m_text->document());
    end.movePosition(QTextCursor::End);
    end.insertText(
        QString::fromUtf8(transcript.data() + m_shown, qsizetype(transcript.size() - m_shown)));
    m_shown = transcript.size();
    if (atEnd)
        bar->setValue(bar->maximum());
}
