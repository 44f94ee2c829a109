#include "HVApplicationController.h"

#include "HTMLView.h"
#include "HVCodeCompletionDialogs.h"
#include "HVCodeIndex.h"
#include "HVCodeNavParser.h"
#include "HVDocumentWindow.h"
#include "HVEditorWidget.h"
#include "HVFileDocument.h"
#include "HVFileEncodings.h"
#include "HVFindPanel.h"
#include "HVLineBreaks.h"
#include "HVMultiFileDocument.h"
#include "HVMultiFileSearchController.h"
#include "HVMultiFileSearchWindow.h"
#include "HVMultiFileWindowController.h"
#include "HVNotificationCenter.h"
#include "HVPreferences.h"
#include "HVProject.h"
#include "HVProjectDocument.h"
#include "HVProjectSettingsController.h"
#include "HVProjectWindowController.h"
#include "HVQtClipboard.h"
#include "HVQtDispatcher.h"
#include "HVQtUserInterface.h"
#include "HVRemoteFilesQueue.h"
#include "HVRemoteLogWindow.h"
#include "HVSearchController.h"
#include "HVSingleFileDocument.h"
#include "HVSpecialCharacters.h"
#include "HVStatusBarWidget.h"
#include "HVTextViewModel.h"
#include "HVTheme.h"
#include "HVThemeRepository.h"
#include "HVURLHandlerCommand.h"
#include "HVUndoManager.h"
#include "HVUnfinishedUploadsQuestion.h"
#include "HVUploadList.h"
#include "HVUploadListWindow.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QTabBar>

HVApplicationController::HVApplicationController()
    : m_dispatcher(std::make_unique<HVQtDispatcher>()),
      m_userInterface(std::make_shared<HVQtUserInterface>()),
      m_clipboard(std::make_unique<HVQtClipboard>()) {
    // Language bundles build their code navigation once they load.
    HVCodeNavParser::registerWithBundles();
    // Completions that ask for a value (a length, a colour, a file) ask through these.
    HVCodeCompletionDialogs::install();
    HVUserInterface::setShared(m_userInterface);
    HVClipboard::setGeneral(m_clipboard.get());
    HVDocumentController::sharedController().setPresenter(this);
    // A search string copied elsewhere becomes the search string when the user comes back.
    connect(qApp, &QGuiApplication::applicationStateChanged, this, [](Qt::ApplicationState state) {
        if (state == Qt::ApplicationActive)
            HVSearchController::sharedFind().readFindPasteboard();
    });
}

HVApplicationController::~HVApplicationController() {
    if (m_multiFileSearchWindow)
        m_userInterface->forgetContext(&m_multiFileSearchWindow->model());
    m_multiFileSearchWindow.reset();
    for (const auto& window : m_windows) {
        if (window)
            delete window.data();
    }
    HVDocumentController::sharedController().setPresenter(nullptr);
    HVClipboard::setGeneral(nullptr);
    HVUserInterface::setShared(nullptr);
}

void HVApplicationController::launch(const QStringList& arguments) {
    reportProblems(HVCodeIndex::sharedIndex());
    openArguments(arguments, true);
    HVDocumentController::sharedController().applicationDidFinishLaunching();
}

void HVApplicationController::reportProblems(HVCodeIndex& index) {
    QPointer<HVApplicationController> controller(this);
    // The index calls on the main thread; the controller may be gone by then.
    index.setProblemHandler([controller](const HVError& problem) {
        if (HVDocumentWindow* window = controller ? controller->frontWindow() : nullptr)
            window->statusBarWidget()->showWarning(problem);
    });
}

void HVApplicationController::handleRequest(const QStringList& arguments) {
    // The program comes forward first, so that what the request opens, or an alert about
    // what it could not open, is in front of it.
    if (HVDocumentWindow* window = frontWindow()) {
        window->raise();
        window->activateWindow();
    } else if (arguments.isEmpty()) {
        newDocument();
        return;
    }
    openArguments(arguments, false);
}

void HVApplicationController::openArguments(const QStringList& arguments, bool atLaunch) {
    std::vector<std::string> paths;
    for (const QString& argument : arguments) {
        if (argument.startsWith("hvdt:"))
            HVURLHandlerCommand::performDefaultImplementation(argument.toStdString());
        else
            paths.push_back(argument.toStdString());
    }
    auto& controller = HVDocumentController::sharedController();
    if (atLaunch && !paths.empty())
        controller.applicationOpenFiles(paths);
    else
        for (const auto& path : paths) {
            HVError error;
            if (controller.openDocumentWithContentsOfFile(path, true, &error) ||
                error.is(HVPlatformErrorDomain, ENOENT))
                continue;
            // On the front window, so that the alert comes forward with it.
            HVDocumentWindow* front = frontWindow();
            m_userInterface->presentError(error, front ? front->document() : nullptr, nullptr);
        }
}

HVDocumentWindow* HVApplicationController::windowForDocument(HVDocument* document) const {
    for (const auto& window : m_windows) {
        if (!window)
            continue;
        if (window->document() == document)
            return window;
        if (auto* multi = dynamic_cast<HVMultiFileDocument*>(window->document())) {
            for (HVFileDocument* open : multi->openDocuments()) {
                if (open == document)
                    return window;
            }
        }
    }
    return nullptr;
}

HVDocumentWindow* HVApplicationController::frontWindow() const {
    // The window that came forward last, also before the window system has activated it.
    if (HVDocument* current = HVDocumentController::sharedController().currentDocument()) {
        if (HVDocumentWindow* window = windowForDocument(current))
            return window;
    }
    if (auto* active = qobject_cast<HVDocumentWindow*>(QApplication::activeWindow()))
        return active;
    for (auto it = m_windows.rbegin(); it != m_windows.rend(); ++it) {
        if (*it)
            return *it;
    }
    return nullptr;
}

void HVApplicationController::showDocument(HVDocument* document) {
    auto* window = new HVDocumentWindow(document);
    m_windows.push_back(window);
    // Questions about the document, its tabs and its window appear on this window.
    m_userInterface->setWindowForContext(document, window);
    if (auto* multi = dynamic_cast<HVMultiFileDocument*>(document))
        m_userInterface->setWindowForContext(&multi->windowController(), window);
    if (auto* single = dynamic_cast<HVSingleFileDocument*>(document))
        m_userInterface->setWindowForContext(&single->windowController(), window);
    connect(window, &HVDocumentWindow::windowWillClose, this,
            &HVApplicationController::windowClosed);
    connect(window, &HVDocumentWindow::filesDropped, this,
            [this](const QStringList& paths) { openArguments(paths, false); });
    buildMenus(window);
    if (!m_windows.empty() && m_windows.size() > 1) {
        if (HVDocumentWindow* previous = m_windows[m_windows.size() - 2])
            window->move(previous->pos() + QPoint(28, 28));
    }
    window->show();
    window->raise();
    window->activateWindow();
    HVDocumentController::sharedController().setCurrentDocument(document);
}

void HVApplicationController::bringToFront(HVDocument* document) {
    HVDocumentWindow* window = windowForDocument(document);
    if (!window)
        return;
    window->showDocument(dynamic_cast<HVFileDocument*>(document));
    HVDocumentController::sharedController().setCurrentDocument(window->document());
}

void HVApplicationController::windowClosed(HVDocumentWindow* window) {
    HVDocument* document = window->document();
    m_userInterface->forgetContext(document);
    if (auto* multi = dynamic_cast<HVMultiFileDocument*>(document))
        m_userInterface->forgetContext(&multi->windowController());
    if (auto* single = dynamic_cast<HVSingleFileDocument*>(document))
        m_userInterface->forgetContext(&single->windowController());
    m_windows.erase(std::remove(m_windows.begin(), m_windows.end(), window), m_windows.end());
    if (!m_windows.empty())
        return;
    // It searches what the windows hold, and alone it would keep the program running.
    if (m_multiFileSearchWindow)
        m_multiFileSearchWindow->close();
    if (m_quitting) {
        // Also when the last window closes late, after reviewing its unsaved documents.
        if (m_uploadListWindow)
            m_uploadListWindow->close();
    } else if (HVUploadList::sharedInstance().countOfUnfinished() > 0) {
        // Closing the last window ends the program, as quitting does: the list of what has
        // not reached the server stays open instead (a window shown keeps the program running).
        showUploads();
    }
}

void HVApplicationController::newDocument() {
    HVDocumentController::sharedController().openUntitledDocumentAndDisplay(true);
}

void HVApplicationController::newProject(QWidget* window) {
    HVProjectSettingsController::newProject(window ? window : frontWindow());
}

void HVApplicationController::openDocuments() {
    HVUserInterface::OpenPanelOptions options;
    options.title = "Open";
    m_userInterface->runOpenPanel(options, frontWindow() ? frontWindow()->document() : nullptr,
                                  [this](std::vector<std::string> paths) {
                                      QStringList list;
                                      for (const auto& path : paths)
                                          list << QString::fromStdString(path);
                                      openArguments(list, false);
                                  });
}

void HVApplicationController::quit() {
    m_quitting = false;
    std::optional<HVError> question =
        HVUnfinishedUploadsQuestion::question(HVUploadList::sharedInstance().countOfUnfinished());
    if (!question) {
        closeWindowsAndQuit();
        return;
    }
    HVDocumentWindow* front = frontWindow();
    QPointer<HVApplicationController> self(this);
    m_userInterface->presentError(
        *question, front ? front->document() : nullptr, [self](std::size_t option) {
            if (!self)
                return;
            switch (HVUnfinishedUploadsQuestion::answerForOption(option)) {
            case HVUnfinishedUploadsQuestion::Answer::ShowUploads:
                self->showUploads();
                break;
            case HVUnfinishedUploadsQuestion::Answer::QuitAnyway:
                self->closeWindowsAndQuit();
                break;
            case HVUnfinishedUploadsQuestion::Answer::Cancel:
                break;
            }
        });
}

void HVApplicationController::showUploads() {
    if (!m_uploadListWindow)
        m_uploadListWindow = std::make_unique<HVUploadListWindow>();
    m_uploadListWindow->show();
    m_uploadListWindow->raise();
    m_uploadListWindow->activateWindow();
}

void HVApplicationController::showMultiFileSearch() {
    if (!m_multiFileSearchWindow) {
        m_multiFileSearchWindow = std::make_unique<HVMultiFileSearchWindow>();
        // Its questions (Replace, searching a project's local copy) are sheets on it.
        m_userInterface->setWindowForContext(&m_multiFileSearchWindow->model(),
                                             m_multiFileSearchWindow.get());
    }
    m_multiFileSearchWindow->showWindow();
}

void HVApplicationController::closeWindowsAndQuit() {
    m_quitting = true;
    // Each window asks about its own unsaved documents.
    std::vector<QPointer<HVDocumentWindow>> windows = m_windows;
    for (const auto& window : windows) {
        if (window)
            window->close();
    }
    // Left set while a window still reviews its unsaved documents: the person chose to leave
    // the uploads behind.
    if (m_windows.empty())
        QApplication::quit();
}

void HVApplicationController::buildProjectMenu(HVDocumentWindow* window,
                                               HVProjectDocument* document) {
    auto& controller = document->projectWindowController();
    QMenu* menu = window->menuBar()->addMenu("&Project");
    menu->setObjectName("projectMenu");
    QAction* connectAction =
        menu->addAction("&Connect", this, [&controller] { controller.connect(); });
    QAction* disconnectAction =
        menu->addAction("&Disconnect", this, [&controller] { controller.disconnect(); });
    menu->addAction("&Refresh Project", QKeySequence("Ctrl+R"), this,
                    [&controller] { controller.refreshProject(); });
    menu->addSeparator();
    QAction* log = menu->addAction("Show Remote &Log", this, [window, &controller] {
        auto queue = controller.project()->remoteQueue();
        if (!queue)
            return;
        auto* logWindow =
            new HVRemoteLogWindow(queue->logController(),
                                  controller.project()->remoteConfig().host().value_or(""), window);
        logWindow->setAttribute(Qt::WA_DeleteOnClose);
        logWindow->show();
    });
    connect(menu, &QMenu::aboutToShow, this, [&controller, connectAction, disconnectAction, log] {
        const bool remote = controller.project()->type() != HVProject::Local &&
                            controller.project()->remoteConfig().hasHost();
        const bool connected = controller.isConnected();
        connectAction->setEnabled(remote && !connected);
        disconnectAction->setEnabled(remote && connected);
        log->setEnabled(bool(controller.project()->remoteQueue()));
    });
}

void HVApplicationController::buildMenus(HVDocumentWindow* window) {
    QMenuBar* bar = window->menuBar();
    auto fileDocument = [window] { return window->activeFileDocument(); };
    auto editor = [window] { return window->activeEditor(); };

    QMenu* file = bar->addMenu("&File");
    file->addAction("&New", QKeySequence::New, this, [this] { newDocument(); });
    file->addAction("New from &Clipboard", QKeySequence("Ctrl+Alt+N"), this, [this] {
        HVDocumentController::sharedController().newFileWithClipboard(*m_clipboard);
    });
    QAction* newProjectItem = file->addAction("New &Project…", QKeySequence("Ctrl+Alt+Shift+N"),
                                              this, [this, window] { newProject(window); });
    newProjectItem->setObjectName("newProject");
    file->addAction("&Open…", QKeySequence::Open, this, [this] { openDocuments(); });
    file->addAction("Open &Folder…", QKeySequence("Ctrl+Shift+O"), this, [this, window] {
        HVUserInterface::OpenPanelOptions options;
        options.title = "Open Folder";
        options.chooseFiles = false;
        options.chooseDirectories = true;
        m_userInterface->runOpenPanel(options, window->document(),
                                      [this](std::vector<std::string> paths) {
                                          QStringList list;
                                          for (const auto& path : paths)
                                              list << QString::fromStdString(path);
                                          openArguments(list, false);
                                      });
    });
    file->addSeparator();
    file->addAction("&Save", QKeySequence::Save, this, [fileDocument] {
        if (HVFileDocument* document = fileDocument())
            document->saveDocument();
    });
    file->addAction("Save &As…", QKeySequence::SaveAs, this, [fileDocument] {
        if (HVFileDocument* document = fileDocument())
            document->saveDocumentAs();
    });
    file->addAction("Save A&ll", QKeySequence("Ctrl+Alt+S"), this, [window] {
        if (auto* multi = dynamic_cast<HVMultiFileDocument*>(window->document()))
            multi->windowController().saveAllFiles();
        else if (HVFileDocument* document = window->activeFileDocument())
            document->saveDocument();
    });
    file->addSeparator();
    file->addAction("&Close File", QKeySequence::Close, this, [window] {
        if (auto* multi = dynamic_cast<HVMultiFileDocument*>(window->document()))
            multi->windowController().closeCurrentFile();
        else
            window->close();
    });
    file->addAction("Close &Window", QKeySequence("Ctrl+Shift+W"), window, &QWidget::close);
    file->addSeparator();
    QMenu* reopen = file->addMenu("&Reopen with Encoding");
    for (const auto& info : HVFileEncodings::allEncodings()) {
        if (info.encoding == HVMacOSRomanStringEncoding)
            continue; // the same converter as the other "macintosh" entry
        QString title = QStringLiteral("%1 (%2)").arg(info.displayName, info.canonicalName);
        std::string name = info.canonicalName;
        reopen->addAction(title, this, [fileDocument, name] {
            if (HVFileDocument* document = fileDocument())
                document->reopenUsingEncoding(name);
        });
    }
    file->addSeparator();
    QAction* print = file->addAction("&Print…", QKeySequence::Print, this,
                                     [window] { window->printActiveDocument(); });
    print->setObjectName("print");
    file->addSeparator();
    file->addAction("&Quit", QKeySequence::Quit, this, [this] { quit(); });

    QMenu* edit = bar->addMenu("&Edit");
    QAction* undo = edit->addAction("&Undo", QKeySequence::Undo, this, [editor] {
        if (HVEditorWidget* e = editor())
            e->runCommand("undo:");
    });
    QAction* redo = edit->addAction("&Redo", QKeySequence::Redo, this, [editor] {
        if (HVEditorWidget* e = editor())
            e->runCommand("redo:");
    });
    edit->addSeparator();
    for (auto [title, key, selector] :
         {std::tuple{"Cu&t", QKeySequence::Cut, "cut:"},
          std::tuple{"&Copy", QKeySequence::Copy, "copy:"},
          std::tuple{"&Paste", QKeySequence::Paste, "paste:"},
          std::tuple{"Select &All", QKeySequence::SelectAll, "selectAll:"}}) {
        std::string command = selector;
        edit->addAction(title, key, this, [editor, command] {
            if (HVEditorWidget* e = editor())
                e->runCommand(command.c_str());
        });
    }
    // The editor handles these keys itself while it has the focus; the menu shows them.
    for (QAction* action : edit->actions())
        action->setShortcutContext(Qt::WidgetShortcut);
    edit->addSeparator();
    QAction* allowEditing = edit->addAction("Allow &Editing", this, [window, fileDocument] {
        if (HVFileDocument* document = fileDocument()) {
            document->allowEditing();
            window->updateStatus();
        }
    });
    allowEditing->setObjectName("allowEditing");
    connect(edit, &QMenu::aboutToShow, this, [fileDocument, allowEditing] {
        HVFileDocument* document = fileDocument();
        allowEditing->setEnabled(document && document->isReadOnly());
    });
    // The editor says which of its commands apply, and names undo and redo.
    auto validate = [editor](QAction* action, std::string_view command) {
        HVEditorWidget* e = editor();
        HTMLView* view = e ? e->foldingView() : nullptr;
        std::string title;
        bool enabled = view ? view->validateMenuItem(command, &title) : false;
        action->setEnabled(enabled);
        if (!title.empty())
            action->setText(QString::fromStdString(title));
    };
    undo->setObjectName("undo");
    redo->setObjectName("redo");
    connect(edit, &QMenu::aboutToShow, this, [editor, undo, redo, validate] {
        HVEditorWidget* e = editor();
        if (e && e->foldingView()) {
            validate(undo, "undo:");
            validate(redo, "redo:");
            return;
        }
        HVUndoManager* manager = e ? &e->view()->undoManager() : nullptr;
        undo->setEnabled(manager && manager->canUndo());
        redo->setEnabled(manager && manager->canRedo());
        undo->setText(QString::fromStdString(manager ? manager->undoMenuItemTitle() : "Undo"));
        redo->setText(QString::fromStdString(manager ? manager->redoMenuItemTitle() : "Redo"));
    });

    // Commands of the front editor by their action names, each one user event; the menu
    // asks the editor which apply as it opens.
    std::vector<std::pair<QAction*, std::string>> editorCommands;
    auto addEditorCommand = [&](QMenu* menu, const QString& title, const QKeySequence& key,
                                const char* command, std::function<void(HTMLView&)> body) {
        QAction* action = menu->addAction(title, key, this, [editor, body] {
            HVEditorWidget* e = editor();
            if (!e || !e->foldingView())
                return;
            HTMLView* view = e->foldingView();
            view->makeFindPanelTarget();
            e->runUserEvent([&] { body(*view); });
            e->ensureRangeVisible(view->selectedRange());
        });
        action->setObjectName(QString::fromLatin1(command));
        editorCommands.emplace_back(action, command);
        return action;
    };

    QMenu* markup = bar->addMenu("&Markup");
    markup->setObjectName("markupMenu");
    addEditorCommand(markup, "&Close Tag", QKeySequence("Ctrl+Alt+."),
                     "closeTag:", [](HTMLView& v) { v.closeTag(); });
    QMenu* format = markup->addMenu("&Format");
    addEditorCommand(format, "&Strong", QKeySequence("Ctrl+B"), "formatText:4",
                     [](HTMLView& v) { v.formatText(4); });
    addEditorCommand(format, "&Emphasis", QKeySequence("Ctrl+I"), "formatText:5",
                     [](HTMLView& v) { v.formatText(5); });
    addEditorCommand(format, "&Underline", QKeySequence("Ctrl+U"), "formatText:6",
                     [](HTMLView& v) { v.formatText(6); });
    markup->addSeparator();
    addEditorCommand(markup, "Make &Link…", QKeySequence("Ctrl+Alt+L"),
                     "_makeLinkFromMenu:", [](HTMLView& v) { v.makeLink(); });
    addEditorCommand(markup, "Insert &Image…", {},
                     "insertImage:", [](HTMLView& v) { v.insertImage(); });
    addEditorCommand(markup, "Insert &Path…", {},
                     "insertPathToFile:", [](HTMLView& v) { v.insertPathToFile(); });
    addEditorCommand(markup, "Insert Contents of &File…", {},
                     "insertContentsOfFile:", [](HTMLView& v) { v.insertContentsOfFile(); });
    markup->addSeparator();
    addEditorCommand(markup, "&Replace Character Entities", {}, "convertCharacterEntitiesToHTML:",
                     [](HTMLView& v) { v.convertCharacterEntitiesToHTML(); });
    QMenu* specialCharacters = markup->addMenu("Special &Characters");
    specialCharacters->setObjectName("specialCharactersMenu");
    editorCommands.emplace_back(specialCharacters->menuAction(), "insertSpecialCharacter:");
    // One submenu per group of the editor's characters, made when first opened: every editor
    // reads the same resource.
    connect(specialCharacters, &QMenu::aboutToShow, this, [this, editor, specialCharacters] {
        HVEditorWidget* e = editor();
        if (!specialCharacters->isEmpty() || !e || !e->foldingView())
            return;
        for (const HVSpecialCharacters::Group& group :
             e->foldingView()->specialCharacters().groups()) {
            QMenu* menu = specialCharacters->addMenu(QString::fromStdString(group.name));
            for (const HVSpecialCharacters::Entry& entry : group.entries) {
                QString value = QString::fromStdU16String(entry.value);
                QString title =
                    QString::fromStdU16String(entry.appearance) + QStringLiteral("  ") + value;
                std::u16string entity = entry.value;
                menu->addAction(
                    title.replace(QLatin1Char('&'), QStringLiteral("&&")), this, [editor, entity] {
                        HVEditorWidget* target = editor();
                        if (!target || !target->foldingView())
                            return;
                        HTMLView* view = target->foldingView();
                        target->runUserEvent([&] { view->insertSpecialCharacter(entity); });
                        target->ensureRangeVisible(view->selectedRange());
                    });
            }
        }
    });

    QMenu* textMenu = bar->addMenu("&Text");
    textMenu->setObjectName("textMenu");
    addEditorCommand(textMenu, "&Indent Block", QKeySequence("Ctrl+]"),
                     "entabBlock:", [](HTMLView& v) { v.entabBlock(); });
    addEditorCommand(textMenu, "&Outdent Block", QKeySequence("Ctrl+["),
                     "detabBlock:", [](HTMLView& v) { v.detabBlock(); });
    QMenu* lineBreaks = textMenu->addMenu("&Line Breaks");
    lineBreaks->setObjectName("lineBreaksMenu");
    auto* lineBreakGroup = new QActionGroup(lineBreaks);
    std::vector<QAction*> lineBreakActions;
    for (auto [title, type] :
         {std::pair{"&Unix", HVLineBreaks::Unix}, std::pair{"&Mac", HVLineBreaks::Mac},
          std::pair{"&DOS", HVLineBreaks::DOS}}) {
        QAction* action = addEditorCommand(lineBreaks, title, {}, "setLineBreakType:",
                                           [type](HTMLView& v) { v.setLineBreakType(type); });
        action->setCheckable(true);
        action->setData(int(type));
        lineBreakGroup->addAction(action);
        lineBreakActions.push_back(action);
    }
    connect(lineBreaks, &QMenu::aboutToShow, this, [editor, lineBreakActions] {
        HVEditorWidget* e = editor();
        for (QAction* action : lineBreakActions)
            action->setChecked(e && action->data().toInt() == int(e->view()->lineBreakType()));
    });

    QMenu* find = bar->addMenu("F&ind");
    find->setObjectName("findMenu");
    QAction* findPanel = find->addAction("&Find…", QKeySequence::Find, this, [editor] {
        if (HVEditorWidget* e = editor(); e && e->foldingView())
            e->foldingView()->makeFindPanelTarget();
        HVFindPanel::shared().showPanel();
    });
    findPanel->setObjectName("singleFileFind:");
    editorCommands.emplace_back(findPanel, "singleFileFind:");
    QAction* next = addEditorCommand(find, "Find &Next", QKeySequence("Ctrl+G"),
                                     "findNext:", [](HTMLView& v) { v.findNext(); });
    QAction* previous = addEditorCommand(find, "Find &Previous", QKeySequence("Ctrl+Shift+G"),
                                         "findPrevious:", [](HTMLView& v) { v.findPrevious(); });
    next->setShortcuts({QKeySequence("Ctrl+G"), QKeySequence(Qt::Key_F3)});
    previous->setShortcuts({QKeySequence("Ctrl+Shift+G"), QKeySequence(Qt::SHIFT | Qt::Key_F3)});
    addEditorCommand(find, "&Replace and Find", QKeySequence("Ctrl+Alt+G"),
                     "replaceAndFind:", [](HTMLView& v) { v.replaceAndFind(); });
    addEditorCommand(find, "Use &Selection for Find", QKeySequence("Ctrl+E"),
                     "findUsingSelection:", [](HTMLView& v) { v.findUsingSelection(); });
    QAction* multiFileFind = find->addAction("&Multi-File Find…", QKeySequence("Ctrl+Shift+F"),
                                             this, [this] { showMultiFileSearch(); });
    multiFileFind->setObjectName("multiFileFind:");
    find->addSeparator();
    QAction* quick = find->addAction("&Quick Search", QKeySequence("Ctrl+K"), window,
                                     [window] { window->focusQuickSearch(); });
    quick->setObjectName("quickSearch:");
    QAction* gotoLine = find->addAction("&Go to Line…", QKeySequence("Ctrl+L"), window,
                                        [window] { window->showGotoLinePanel(); });
    gotoLine->setObjectName("showGotoLinePanel:");
    editorCommands.emplace_back(gotoLine, "showGotoLinePanel:");

    for (QMenu* menu : {markup, format, textMenu, lineBreaks, find}) {
        connect(menu, &QMenu::aboutToShow, this, [editorCommands, validate] {
            for (const auto& [action, command] : editorCommands)
                validate(action, command);
        });
    }

    QMenu* viewMenu = bar->addMenu("&View");
    viewMenu->setObjectName("viewMenu");
    // Preferences of every editor: the open ones follow the notification.
    auto addPreferenceToggle = [this, viewMenu](const QString& title, const char* key) {
        QAction* action = viewMenu->addAction(title, this, [key] {
            auto& preferences = HVPreferences::sharedInstance();
            preferences.setObject(key, !preferences.boolForKey(key).value_or(false));
            HVNotificationCenter::defaultCenter().postNotificationName("HalvetEditorPrefsChange");
        });
        action->setCheckable(true);
        return action;
    };
    QAction* showInvisibles = addPreferenceToggle("Show Invisibles", "HVShowInvisibles");
    QAction* wrapText = addPreferenceToggle("Wrap Text", "HVWrapText");
    QMenu* themeMenu = viewMenu->addMenu("Theme");
    themeMenu->setObjectName("themeMenu");
    viewMenu->addSeparator();
    // The gutter's preferences: each editor's view re-reads both on the notification.
    auto addFoldingToggle = [this, viewMenu](const QString& title, const char* key) {
        QAction* action = viewMenu->addAction(title, this, [key] {
            auto& preferences = HVPreferences::sharedInstance();
            preferences.setObject(key, !preferences.boolForKey(key).value_or(true));
            HVNotificationCenter::defaultCenter().postNotificationName(
                std::string(HVCodeFoldingPrefChangedNotification));
        });
        action->setCheckable(true);
        return action;
    };
    QAction* lineNumbers = addFoldingToggle("Line Numbers", "HVLineNums");
    QAction* codeFolding = addFoldingToggle("Code Folding", "HVCodeFoldingEnabled");
    // Fold commands of the front editor, each one undo step.
    auto addFoldCommand = [this, viewMenu, editor](const QString& title,
                                                   void (*command)(HTMLView&)) {
        return viewMenu->addAction(title, this, [editor, command] {
            HVEditorWidget* e = editor();
            if (HTMLView* view = e ? e->foldingView() : nullptr)
                e->runUserEvent([view, command] { command(*view); });
        });
    };
    QAction* collapseAll =
        addFoldCommand("Collapse All", [](HTMLView& view) { view.collapseAllBlocks(); });
    QAction* expandAll =
        addFoldCommand("Expand All", [](HTMLView& view) { view.expandAllBlocks(); });
    QAction* foldCurrent =
        addFoldCommand("Fold Current Block", [](HTMLView& view) { view.foldCurrentBlock(); });
    connect(viewMenu, &QMenu::aboutToShow, this,
            [editor, showInvisibles, wrapText, lineNumbers, codeFolding, collapseAll, expandAll,
             foldCurrent] {
                auto& preferences = HVPreferences::sharedInstance();
                showInvisibles->setChecked(
                    preferences.boolForKey("HVShowInvisibles").value_or(false));
                wrapText->setChecked(preferences.boolForKey("HVWrapText").value_or(false));
                lineNumbers->setChecked(preferences.boolForKey("HVLineNums").value_or(true));
                bool folding = preferences.boolForKey("HVCodeFoldingEnabled").value_or(true);
                codeFolding->setChecked(folding);
                HVEditorWidget* e = editor();
                bool foldable = folding && e && e->foldingView();
                for (QAction* action : {collapseAll, expandAll, foldCurrent})
                    action->setEnabled(foldable);
            });
    // One entry per theme, rebuilt as themes come and go.
    connect(themeMenu, &QMenu::aboutToShow, this, [this, themeMenu] {
        for (QActionGroup* old : themeMenu->findChildren<QActionGroup*>())
            delete old;
        themeMenu->clear();
        auto& repository = HVThemeRepository::sharedRepository();
        std::shared_ptr<HVTheme> current = repository.currentTheme();
        auto* group = new QActionGroup(themeMenu);
        for (const std::shared_ptr<HVTheme>& theme : repository.themes()) {
            std::weak_ptr<HVTheme> chosen = theme;
            QAction* item =
                themeMenu->addAction(QString::fromStdString(theme->title()), this, [chosen] {
                    if (std::shared_ptr<HVTheme> theme = chosen.lock()) {
                        HVThemeRepository::sharedRepository().setCurrentTheme(theme);
                        HVNotificationCenter::defaultCenter().postNotificationName(
                            "HalvetHighlightingPrefsChange");
                    }
                });
            item->setCheckable(true);
            item->setChecked(theme == current);
            group->addAction(item);
        }
    });
    emit viewMenu->aboutToShow();
    emit themeMenu->aboutToShow();

    if (HVProjectDocument* projectDocument = window->projectDocument())
        buildProjectMenu(window, projectDocument);

    QMenu* windowMenu = bar->addMenu("&Window");
    connect(windowMenu, &QMenu::aboutToShow, this, [this, windowMenu, window] {
        windowMenu->clear();
        auto* multi = dynamic_cast<HVMultiFileDocument*>(window->document());
        QAction* next =
            windowMenu->addAction("&Next File", QKeySequence::NextChild, window, [multi] {
                if (multi)
                    multi->windowController().nextFile();
            });
        QAction* previous =
            windowMenu->addAction("&Previous File", QKeySequence::PreviousChild, window, [multi] {
                if (multi)
                    multi->windowController().previousFile();
            });
        bool several = multi && multi->openDocuments().size() > 1;
        next->setEnabled(several);
        previous->setEnabled(several);
        windowMenu->addSeparator();
        std::vector<HVFileDocument*> documents;
        if (multi)
            documents = multi->openDocuments();
        else if (window->activeFileDocument())
            documents.push_back(window->activeFileDocument());
        for (HVFileDocument* document : documents) {
            QAction* item =
                windowMenu->addAction(QString::fromStdString(document->titleForLists()), window,
                                      [window, document] { window->showDocument(document); });
            item->setCheckable(true);
            item->setChecked(document == window->activeFileDocument());
        }
        windowMenu->addSeparator();
        windowMenu->addAction("Uploads", this, [this] { showUploads(); });
    });
    // Built once so that its shortcuts work before the menu was ever opened.
    emit windowMenu->aboutToShow();
    auto* nextFile = new QAction(window);
    nextFile->setShortcut(QKeySequence("Ctrl+PgDown"));
    connect(nextFile, &QAction::triggered, window, [window] {
        if (auto* multi = dynamic_cast<HVMultiFileDocument*>(window->document()))
            multi->windowController().nextFile();
    });
    window->addAction(nextFile);
    auto* previousFile = new QAction(window);
    previousFile->setShortcut(QKeySequence("Ctrl+PgUp"));
    connect(previousFile, &QAction::triggered, window, [window] {
        if (auto* multi = dynamic_cast<HVMultiFileDocument*>(window->document()))
            multi->windowController().previousFile();
    });
    window->addAction(previousFile);
}
