#pragma once

#include "HVNotificationCenter.h"

#include <QMainWindow>
#include <map>

class HVDocument;
class HVEditorWidget;
class HVFileDocument;
class HVImageViewWidget;
class HVMultiFileDocument;
class HVSingleFileDocument;
class HVStatusBarWidget;
class QStackedWidget;
class QTabBar;

// The window of one document: a tabbed window of a multi-file document, or the window of a
// single file. It draws the model's tabs and editors and reports the user's choices back.
class HVDocumentWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit HVDocumentWindow(HVDocument* document, QWidget* parent = nullptr);
    ~HVDocumentWindow() override;

    HVDocument* document() const { return m_document; }
    HVFileDocument* activeFileDocument() const;
    HVEditorWidget* activeEditor() const;
    HVEditorWidget* editorFor(HVFileDocument* document) const;
    // The picture of an image document, or none.
    HVImageViewWidget* imageViewFor(HVFileDocument* document) const;
    QTabBar* tabBar() const { return m_tabBar; }
    HVStatusBarWidget* statusBarWidget() const { return m_statusBar; }
    bool isMultiFile() const { return m_multi != nullptr; }

    // Closes after the model's review of unsaved documents; false when the user cancelled.
    void requestClose();
    // Brings the window forward and shows the document's tab.
    void showDocument(HVFileDocument* document);
    void syncTabs();
    void updateStatus();

signals:
    void windowWillClose(HVDocumentWindow* window);
    void activeEditorChanged();
    void filesDropped(const QStringList& paths);

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    // The view of a document: an editor for text, a picture for an image.
    QWidget* makeView(HVFileDocument* document);
    HVEditorWidget* makeEditor(HVFileDocument* document);
    // The editor preferences (wrapping, tabs, font).
    void applyEditorPreferences(HVEditorWidget* editor);
    QWidget* viewFor(HVFileDocument* document) const;
    void updateTitle();
    void detachFromDocument();

    HVDocument* m_document;
    HVMultiFileDocument* m_multi = nullptr;
    HVSingleFileDocument* m_single = nullptr;
    QTabBar* m_tabBar = nullptr;
    QStackedWidget* m_stack = nullptr;
    HVStatusBarWidget* m_statusBar = nullptr;
    std::map<HVFileDocument*, QWidget*> m_views;
    // The document whose view is shown: its reading warning comes back when it comes forward.
    HVFileDocument* m_shownDocument = nullptr;
    bool m_closeApproved = false;
    bool m_syncing = false;
    HVScopedObserver m_editorPreferencesObserver;
};
