#pragma once

#include "HVDocumentController.h"

#include <QObject>
#include <QPointer>
#include <QStringList>
#include <memory>
#include <vector>

class HVCodeIndex;
class HVDocumentWindow;
class HVMultiFileSearchWindow;
class HVProjectDocument;
class HVQtClipboard;
class HVQtDispatcher;
class HVQtUserInterface;
class HVUploadListWindow;
class QMenu;
class QMenuBar;
class QWidget;

// The application on the desktop: shows the windows the document controller asks for, gives
// each its menus, answers requests from other starts of the program, and runs the launch.
class HVApplicationController : public QObject, public HVDocumentController::Presenter {
    Q_OBJECT
public:
    HVApplicationController();
    ~HVApplicationController() override;

    // Opens the paths and "hvdt" URLs given at launch, then finishes launching.
    void launch(const QStringList& arguments);
    // Shows the index's problems (damaged, locked, read-only, full) as a warning in the front
    // window's status bar, never as an alert: the editor works the same without the index.
    void reportProblems(HVCodeIndex& index);
    // A request from another start of the program.
    void handleRequest(const QStringList& arguments);

    HVQtUserInterface& userInterface() { return *m_userInterface; }
    const std::vector<QPointer<HVDocumentWindow>>& windows() const { return m_windows; }
    HVDocumentWindow* windowForDocument(HVDocument* document) const;
    HVDocumentWindow* frontWindow() const;

    void showDocument(HVDocument* document) override;
    void bringToFront(HVDocument* document) override;

    // Menu commands of the front window.
    void newDocument();
    // File → New Project…: an empty project-settings sheet on the window.
    void newProject(QWidget* window = nullptr);
    void openDocuments();
    // Asks first while uploads are unfinished, since quitting would leave the server behind.
    void quit();
    // The window of uploads, shown and brought to the front.
    void showUploads();
    HVUploadListWindow* uploadListWindow() const { return m_uploadListWindow.get(); }
    // Find → Multi-File Find…: the search window, made once, shown and brought forward.
    void showMultiFileSearch();
    HVMultiFileSearchWindow* multiFileSearchWindow() const { return m_multiFileSearchWindow.get(); }

private:
    void buildMenus(HVDocumentWindow* window);
    void buildProjectMenu(HVDocumentWindow* window, HVProjectDocument* document);
    void openArguments(const QStringList& arguments, bool atLaunch);
    void windowClosed(HVDocumentWindow* window);
    void closeWindowsAndQuit();

    std::unique_ptr<HVQtDispatcher> m_dispatcher;
    std::shared_ptr<HVQtUserInterface> m_userInterface;
    std::unique_ptr<HVQtClipboard> m_clipboard;
    std::vector<QPointer<HVDocumentWindow>> m_windows;
    std::unique_ptr<HVUploadListWindow> m_uploadListWindow;
    std::unique_ptr<HVMultiFileSearchWindow> m_multiFileSearchWindow;
    // Closing every window on the way out, the question about uploads answered.
    bool m_quitting = false;
};
