#pragma once

#include "HTMLViewInterfaceDelegate.h"
#include "HVNotificationCenter.h"

#include <QMainWindow>
#include <QPointer>
#include <map>
#include <vector>

class HVDocument;
class HVEditorWidget;
class HVFileDocument;
class HVImageViewWidget;
class HVMultiFileDocument;
class HVProjectDocument;
class HVProjectTreeView;
class HVSingleFileDocument;
class HVStatusBarWidget;
class QDialog;
class QLabel;
class QLineEdit;
class QMenu;
class QPrinter;
class QStackedWidget;
class QTabBar;
class QToolButton;

// The window of one document: a tabbed window of a multi-file document, or the window of a
// single file. It draws the model's tabs and editors and reports the user's choices back.
//
// It is the interface delegate of the editors it shows: their caret, escape mode and errors
// reach its status bar.
class HVDocumentWindow : public QMainWindow, public HTMLViewInterfaceDelegate {
    Q_OBJECT
public:
    explicit HVDocumentWindow(HVDocument* document, QWidget* parent = nullptr);
    ~HVDocumentWindow() override;

    // The open document windows, the one activated or brought forward last first.
    static std::vector<HVDocumentWindow*> windowsFrontToBack();

    HVDocument* document() const { return m_document; }
    HVFileDocument* activeFileDocument() const;
    HVEditorWidget* activeEditor() const;
    HVEditorWidget* editorFor(HVFileDocument* document) const;
    // The picture of an image document, or none.
    HVImageViewWidget* imageViewFor(HVFileDocument* document) const;
    QTabBar* tabBar() const { return m_tabBar; }
    HVStatusBarWidget* statusBarWidget() const { return m_statusBar; }
    bool isMultiFile() const { return m_multi != nullptr; }
    // The project's tree beside the tabs; none in a window of loose files.
    HVProjectTreeView* projectTree() const { return m_projectTree; }
    HVProjectDocument* projectDocument() const { return m_project; }

    // Closes after the model's review of unsaved documents; false when the user cancelled.
    void requestClose();
    // Brings the window forward and shows the document's tab.
    void showDocument(HVFileDocument* document);
    void syncTabs();
    void updateStatus();

    // The active editor's logic, when it is an HTMLView.
    HTMLView* activeHTMLView() const;
    // The function menu: the code navigation entries of the active editor, built as it opens.
    QToolButton* functionMenuButton() const { return m_functionButton; }
    QMenu* functionMenu() const { return m_functionMenu; }
    void fillFunctionMenu();
    // Quick search: the field takes the focus; typing searches.
    QLineEdit* quickSearchField() const { return m_quickSearch; }
    void focusQuickSearch();
    // A small dialog with the current line number; OK goes to the line typed.
    QDialog* showGotoLinePanel();
    // The active document's full text on the printer (the print dialog first when asked).
    void printActiveDocument();
    void printActiveDocument(QPrinter& printer);

    void htmlViewChangedToLine(HTMLView& view, std::size_t line, std::size_t column) override;
    void htmlViewIsEscaped(HTMLView& view, bool escaped) override;
    void htmlViewHadError(HTMLView& view, const HVError& error, bool critical) override;

signals:
    void windowWillClose(HVDocumentWindow* window);
    void activeEditorChanged();
    void filesDropped(const QStringList& paths);

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    // The tree, the connection's status and the project's questions.
    void makeProjectPane(QWidget* central);
    // The view of a document: an editor for text, a picture for an image.
    QWidget* makeView(HVFileDocument* document);
    HVEditorWidget* makeEditor(HVFileDocument* document);
    // The editor preferences (wrapping, tabs, font).
    void applyEditorPreferences(HVEditorWidget* editor);
    QWidget* viewFor(HVFileDocument* document) const;
    void updateTitle();
    void detachFromDocument();
    // Deletes a view, first taking the window away as its editor's delegate.
    void deleteView(QWidget* view);
    // This window first in windowsFrontToBack().
    void moveToFront();

    HVDocument* m_document;
    HVMultiFileDocument* m_multi = nullptr;
    HVSingleFileDocument* m_single = nullptr;
    HVProjectDocument* m_project = nullptr;
    HVProjectTreeView* m_projectTree = nullptr;
    QLabel* m_connectionStatus = nullptr;
    QTabBar* m_tabBar = nullptr;
    QStackedWidget* m_stack = nullptr;
    HVStatusBarWidget* m_statusBar = nullptr;
    QToolButton* m_functionButton = nullptr;
    QMenu* m_functionMenu = nullptr;
    QLineEdit* m_quickSearch = nullptr;
    std::map<HVFileDocument*, QWidget*> m_views;
    // The document whose view is shown: its reading warning comes back when it comes forward.
    HVFileDocument* m_shownDocument = nullptr;
    // The editor whose place the status bar shows; its own reports keep it current.
    QPointer<HVEditorWidget> m_positionShownFor;
    bool m_closeApproved = false;
    bool m_inCloseEvent = false;
    bool m_syncing = false;
    HVScopedObserver m_editorPreferencesObserver;
};
