#include "HVDocumentWindow.h"

#include "Defaults.h"
#include "HTMLView.h"
#include "HVBundle.h"
#include "HVBundleRepository.h"
#include "HVCodeNavigation.h"
#include "HVCredentialsController.h"
#include "HVDocumentController.h"
#include "HVEditorWidget.h"
#include "HVFile.h"
#include "HVFileDocument.h"
#include "HVFileEncodings.h"
#include "HVFileTreeModel.h"
#include "HVImageViewWidget.h"
#include "HVMultiFileDocument.h"
#include "HVMultiFileWindowController.h"
#include "HVNotificationCenter.h"
#include "HVPreferences.h"
#include "HVProject.h"
#include "HVProjectDocument.h"
#include "HVProjectTreeView.h"
#include "HVProjectWindowController.h"
#include "HVSingleFileDocument.h"
#include "HVStatusBarWidget.h"
#include "HVTextBuffer.h"
#include "HVTextPrinter.h"
#include "HVTextStorage.h"
#include "HVTextViewModel.h"
#include "HVUnknownFileTypeController.h"
#include "HVUserInterface.h"

#include <QCloseEvent>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPointer>
#include <QPrintDialog>
#include <QPrinter>
#include <QSplitter>
#include <QStackedWidget>
#include <QTabBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

namespace {

// Qt does not tell the stacking order of windows; the order of activation stands for it.
std::vector<HVDocumentWindow*>& windowOrder() {
    static std::vector<HVDocumentWindow*> order;
    return order;
}

} // namespace

std::vector<HVDocumentWindow*> HVDocumentWindow::windowsFrontToBack() {
    return windowOrder();
}

void HVDocumentWindow::moveToFront() {
    auto& order = windowOrder();
    order.erase(std::remove(order.begin(), order.end(), this), order.end());
    order.insert(order.begin(), this);
}

HVDocumentWindow::HVDocumentWindow(HVDocument* document, QWidget* parent)
    : QMainWindow(parent), m_document(document) {
    moveToFront();
    setAttribute(Qt::WA_DeleteOnClose);
    m_multi = dynamic_cast<HVMultiFileDocument*>(document);
    m_single = dynamic_cast<HVSingleFileDocument*>(document);
    m_statusBar = new HVStatusBarWidget(this);
    setStatusBar(m_statusBar);

    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    m_stack = new QStackedWidget(central);
    if (m_multi) {
        m_tabBar = new QTabBar(central);
        m_tabBar->setObjectName("HVTabBar");
        m_tabBar->setTabsClosable(true);
        m_tabBar->setMovable(true);
        m_tabBar->setDocumentMode(true);
        m_tabBar->setExpanding(false);
        m_tabBar->setElideMode(Qt::ElideMiddle);
        layout->addWidget(m_tabBar);
        auto& controller = m_multi->windowController();
        controller.setStatusBar(m_statusBar);
        controller.onTabsChanged = [this] { syncTabs(); };
        controller.onWindowShouldClose = [this] { close(); };
        connect(m_tabBar, &QTabBar::currentChanged, this, [this](int index) {
            if (!m_syncing)
                m_multi->windowController().selectTabAtIndex(index);
        });
        connect(m_tabBar, &QTabBar::tabMoved, this, [this](int from, int to) {
            if (!m_syncing)
                m_multi->windowController().moveTab(std::size_t(from), std::size_t(to));
        });
        connect(m_tabBar, &QTabBar::tabCloseRequested, this, [this](int index) {
            const auto& open = m_multi->windowController().openDocuments();
            if (index >= 0 && std::size_t(index) < open.size())
                m_multi->windowController().tryToCloseDocument(open[std::size_t(index)].get());
        });
    } else if (m_single) {
        m_single->windowController().setStatusBar(m_statusBar);
    }
    connect(m_statusBar, &HVStatusBarWidget::lineBreakTypeChosen, this, [this](int type) {
        if (HVEditorWidget* editor = activeEditor()) {
            editor->view()->setLineBreakType(HVLineBreaks::Type(type));
            editor->setFocus();
        }
    });
    connect(m_statusBar, &HVStatusBarWidget::languageChosen, this,
            [this](const QString& identifier) {
                HVFileDocument* active = activeFileDocument();
                auto bundle = HVBundleRepository::sharedRepository().bundleForBundleIdentifier(
                    identifier.toStdString());
                if (!active || !bundle)
                    return;
                active->chooseBundle(std::move(bundle));
                updateStatus();
                if (HVEditorWidget* editor = activeEditor())
                    editor->setFocus();
            });
    // The function menu and the quick search field sit at the left of the status bar.
    m_functionButton = new QToolButton(m_statusBar);
    m_functionButton->setObjectName("functionMenuButton");
    m_functionButton->setText(QStringLiteral("Functions"));
    m_functionButton->setToolTip(QStringLiteral("Go to a function, class or heading"));
    m_functionButton->setPopupMode(QToolButton::InstantPopup);
    m_functionButton->setAutoRaise(true);
    m_functionMenu = new QMenu(m_functionButton);
    m_functionMenu->setObjectName("functionMenu");
    m_functionButton->setMenu(m_functionMenu);
    connect(m_functionMenu, &QMenu::aboutToShow, this, &HVDocumentWindow::fillFunctionMenu);
    m_statusBar->addWidget(m_functionButton);
    m_quickSearch = new QLineEdit(m_statusBar);
    m_quickSearch->setObjectName("quickSearchField");
    m_quickSearch->setPlaceholderText(QStringLiteral("Quick search"));
    m_quickSearch->setClearButtonEnabled(true);
    m_quickSearch->setMaximumWidth(180);
    m_quickSearch->installEventFilter(this);
    connect(m_quickSearch, &QLineEdit::textEdited, this, [this](const QString& text) {
        if (HTMLView* view = activeHTMLView(); view && !text.isEmpty())
            view->quickSearch(std::u16string_view(reinterpret_cast<const char16_t*>(text.utf16()),
                                                  std::size_t(text.size())),
                              false);
    });
    m_statusBar->addWidget(m_quickSearch);
    layout->addWidget(m_stack);
    m_project = dynamic_cast<HVProjectDocument*>(document);
    if (m_project)
        makeProjectPane(central);
    else
        setCentralWidget(central);
    resize(900, 640);
    // Open editors follow the preferences as they change; the theme reaches them through
    // their highlighting views, and invisibles through the views' layout managers.
    auto& center = HVNotificationCenter::defaultCenter();
    m_editorPreferencesObserver = HVScopedObserver(
        center,
        center.addObserver("HalvetEditorPrefsChange", nullptr, [this](const HVNotification&) {
            for (auto& [document, view] : m_views) {
                if (auto* editor = qobject_cast<HVEditorWidget*>(view))
                    applyEditorPreferences(editor);
            }
        }));
    syncTabs();
}

HVDocumentWindow::~HVDocumentWindow() {
    auto& order = windowOrder();
    order.erase(std::remove(order.begin(), order.end(), this), order.end());
    for (auto& [document, view] : m_views)
        deleteView(view);
    detachFromDocument();
}

void HVDocumentWindow::deleteView(QWidget* view) {
    if (auto* editor = qobject_cast<HVEditorWidget*>(view)) {
        if (HTMLView* html = editor->foldingView(); html && html->interfaceDelegate() == this)
            html->setInterfaceDelegate(nullptr);
    }
    delete view;
}

void HVDocumentWindow::makeProjectPane(QWidget* central) {
    auto& controller = m_project->projectWindowController();
    auto* splitter = new QSplitter(Qt::Horizontal, this);
    splitter->setObjectName("projectSplitter");
    m_projectTree = new HVProjectTreeView(controller, splitter);
    splitter->addWidget(m_projectTree);
    splitter->addWidget(central);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({240, 660});
    setCentralWidget(splitter);

    m_connectionStatus = new QLabel(m_statusBar);
    m_connectionStatus->setObjectName("connectionStatus");
    m_statusBar->addPermanentWidget(m_connectionStatus);
    QPointer<HVDocumentWindow> self(this);
    controller.onFileNeedsRefresh = [self](HVFile& file) {
        if (self && self->m_projectTree)
            self->m_projectTree->fileModel()->refresh(file);
    };
    controller.onStartRenaming = [self](HVFile& file) {
        if (!self || !self->m_projectTree)
            return;
        self->m_projectTree->fileModel()->refresh(*file.parent());
        self->m_projectTree->selectFile(file);
        self->m_projectTree->renameSelection();
    };
    controller.onStatus = [self](const std::string& status, bool progress) {
        if (self && self->m_connectionStatus)
            self->m_connectionStatus->setText(QString::fromStdString(status) +
                                              (progress ? QStringLiteral(" …") : QString()));
    };
    controller.onUnknownFileType = [self](const std::shared_ptr<HVFile>& file) {
        if (!self || !self->m_project)
            return;
        auto* sheet = new HVUnknownFileTypeController(self);
        sheet->setAttribute(Qt::WA_DeleteOnClose);
        std::weak_ptr<HVFile> weak = file;
        sheet->displayForFile(self, file->path(),
                              [self, weak](std::shared_ptr<HVFileCategory> category) {
                                  auto node = weak.lock();
                                  if (!category || !node || !self || !self->m_project)
                                      return;
                                  self->m_project->projectWindowController().openNode(node);
                              });
    };
    controller.onNeedsCredentials = [self] {
        if (!self || !self->m_project)
            return;
        auto project = self->m_project->project();
        auto* sheet = new HVCredentialsController(self);
        sheet->setAttribute(Qt::WA_DeleteOnClose);
        sheet->setTitle("Remote Login: " + project->remoteConfig().host().value_or(""));
        sheet->setRemember(project->remoteConfig().useKeychain());
        std::weak_ptr<HVProject> weak = project;
        sheet->displayOnWindow(self, project->remoteConfig().user().value_or(""),
                               [weak](int returnCode, HVCredentialsController::Answer answer) {
                                   auto alive = weak.lock();
                                   if (!alive ||
                                       returnCode != HVCredentialsController::LogInReturnCode)
                                       return;
                                   auto& config = alive->remoteConfig();
                                   config.setUser(answer.user);
                                   config.setPassword(answer.password);
                                   config.setUseKeychain(answer.remember);
                                   if (answer.remember)
                                       config.commit();
                                   alive->connectToRemoteSite();
                               });
    };
}

void HVDocumentWindow::detachFromDocument() {
    if (m_project) {
        auto& controller = m_project->projectWindowController();
        controller.onFileNeedsRefresh = nullptr;
        controller.onStartRenaming = nullptr;
        controller.onStatus = nullptr;
        controller.onNeedsCredentials = nullptr;
        controller.onUnknownFileType = nullptr;
        m_project = nullptr;
    }
    if (m_multi) {
        auto& controller = m_multi->windowController();
        controller.onTabsChanged = nullptr;
        controller.onWindowShouldClose = nullptr;
        controller.setStatusBar(&controller.recordingStatusBar());
    } else if (m_single) {
        m_single->windowController().setStatusBar(
            &m_single->windowController().recordingStatusBar());
    }
    m_multi = nullptr;
    m_single = nullptr;
}

HVFileDocument* HVDocumentWindow::activeFileDocument() const {
    return m_document ? m_document->activeDocument() : nullptr;
}

QWidget* HVDocumentWindow::viewFor(HVFileDocument* document) const {
    auto it = m_views.find(document);
    return it == m_views.end() ? nullptr : it->second;
}

HVEditorWidget* HVDocumentWindow::editorFor(HVFileDocument* document) const {
    return qobject_cast<HVEditorWidget*>(viewFor(document));
}

HVImageViewWidget* HVDocumentWindow::imageViewFor(HVFileDocument* document) const {
    return qobject_cast<HVImageViewWidget*>(viewFor(document));
}

QWidget* HVDocumentWindow::makeView(HVFileDocument* document) {
    document->viewWithSuggestedFrame();
    QWidget* view = nullptr;
    if (document->fileViewKind() == HVFileViewKind::Image)
        view = new HVImageViewWidget(QByteArray::fromStdString(document->imageData()), m_stack);
    else
        view = makeEditor(document);
    m_stack->addWidget(view);
    m_views[document] = view;
    return view;
}

HVEditorWidget* HVDocumentWindow::activeEditor() const {
    return editorFor(activeFileDocument());
}

HVEditorWidget* HVDocumentWindow::makeEditor(HVFileDocument* document) {
    auto* editor = new HVEditorWidget(document->viewWithSuggestedFrame(), m_stack);
    applyEditorPreferences(editor);
    connect(editor, &HVEditorWidget::selectionChanged, this, &HVDocumentWindow::updateStatus);
    connect(editor, &HVEditorWidget::textChanged, this, &HVDocumentWindow::updateStatus);
    connect(editor, &HVEditorWidget::lineBreakTypeChanged, this, &HVDocumentWindow::updateStatus);
    connect(editor, &HVEditorWidget::filesDropped, this, &HVDocumentWindow::filesDropped);
    if (HTMLView* html = editor->foldingView())
        html->setInterfaceDelegate(this);
    return editor;
}

void HVDocumentWindow::applyEditorPreferences(HVEditorWidget* editor) {
    auto& preferences = HVPreferences::sharedInstance();
    editor->setWrapsText(preferences.boolForKey("HVWrapText").value_or(false));
    // The drawing's tab stops and the model's indent width (what a backtab removes) agree.
    auto tabWidth =
        std::max<std::int64_t>(1, preferences.integerForKey("HVTabSizeKey").value_or(4));
    editor->setTabWidth(int(tabWidth));
    editor->view()->setTabWidth(std::size_t(tabWidth));
    HVFontDescription description = Defaults::defaultFont();
    QFont font(QString::fromStdString(description.family));
    font.setStyleHint(QFont::Monospace);
    font.setFixedPitch(true);
    font.setPointSizeF(description.pointSize);
    if (font != editor->editorFont())
        editor->setEditorFont(font);
}

void HVDocumentWindow::syncTabs() {
    m_syncing = true;
    std::vector<HVFileDocument*> documents;
    if (m_multi) {
        for (const auto& open : m_multi->windowController().openDocuments())
            documents.push_back(open.get());
    } else if (m_single) {
        documents.push_back(m_single);
    }
    // Views of documents that closed go first, while their models still exist.
    for (auto it = m_views.begin(); it != m_views.end();) {
        if (std::find(documents.begin(), documents.end(), it->first) == documents.end()) {
            if (m_shownDocument == it->first)
                m_shownDocument = nullptr;
            deleteView(it->second);
            it = m_views.erase(it);
        } else {
            ++it;
        }
    }
    for (HVFileDocument* document : documents) {
        if (!viewFor(document))
            makeView(document);
    }
    if (m_tabBar) {
        const auto& tabs = m_multi->windowController().tabs();
        while (m_tabBar->count() > int(tabs.size()))
            m_tabBar->removeTab(m_tabBar->count() - 1);
        while (m_tabBar->count() < int(tabs.size()))
            m_tabBar->addTab(QString());
        for (std::size_t i = 0; i < tabs.size(); ++i) {
            QString title = QString::fromStdString(tabs[i].title);
            m_tabBar->setTabText(int(i),
                                 tabs[i].edited ? QString::fromUtf8("\u2022 ") + title : title);
            m_tabBar->setTabToolTip(int(i), QString::fromStdString(tabs[i].toolTip));
        }
        m_tabBar->setCurrentIndex(m_multi->windowController().selectedTabIndex());
    }
    HVFileDocument* active = activeFileDocument();
    if (QWidget* view = viewFor(active)) {
        // A message about another tab does not stay when this one comes forward, but this
        // one's own warning does, also for the document that opens the window.
        if (m_shownDocument != active) {
            m_shownDocument = active;
            m_statusBar->clearMessage();
            if (const auto& warning = active->readingWarning())
                m_statusBar->showWarning(*warning);
        }
        m_stack->setCurrentWidget(view);
        // Typing goes to the document that was just shown; in a window that is not active
        // yet, the focus is taken when it becomes active.
        view->setFocus();
    }
    m_syncing = false;
    updateTitle();
    updateStatus();
    emit activeEditorChanged();
}

void HVDocumentWindow::updateTitle() {
    HVFileDocument* active = activeFileDocument();
    QString title =
        active ? QString::fromStdString(active->displayName()) : QStringLiteral("Halvet");
    // A project window is named after its project; the tab's file follows.
    if (m_project) {
        QString project = QString::fromStdString(m_project->project()->displayName());
        title = active ? project + QStringLiteral(" — ") + title : project;
    }
    setWindowTitle(title + QStringLiteral("[*]"));
    setWindowModified(m_document && m_document->isDocumentEdited());
    if (active)
        setWindowFilePath(QString::fromStdString(active->fileName()));
}

void HVDocumentWindow::updateStatus() {
    HVFileDocument* active = activeFileDocument();
    // The function menu and quick search act on an editor; an image has neither. (Hiding them
    // would fight the status bar, which hides them itself while it shows a message.)
    bool text = activeHTMLView() != nullptr;
    m_functionButton->setEnabled(text);
    m_quickSearch->setEnabled(text);
    if (HVImageViewWidget* image = imageViewFor(active)) {
        m_statusBar->showImageSize(image->pixelSize());
        updateTitle();
        return;
    }
    HVEditorWidget* editor = activeEditor();
    if (!active || !editor)
        return;
    m_statusBar->setTextChoicesEnabled(true);
    HVTextViewModel* view = editor->view();
    if (!editor->foldingView()) {
        auto position = view->textStorage().fullLineAndColumn(view->selectionHead());
        m_statusBar->setLineAndColumn(position.line + 1, position.column + 1);
    } else if (editor != m_positionShownFor) {
        // An editor that comes forward has not reported its place to this window yet; after
        // that the editor's own reports keep the status current.
        auto position = view->textStorage().fullLineAndColumn(view->selectedRange().location);
        m_statusBar->setLineAndColumn(position.line + 1, position.column + 1);
    }
    m_positionShownFor = editor;
    HVStringEncoding encoding = active->encoding();
    if (encoding == HVNoStringEncoding)
        encoding = HVFileEncodings::defaultEncoding();
    m_statusBar->setEncodingName(HVFileEncodings::stringFromEncoding(encoding).value_or(""));
    m_statusBar->setLineBreakName(active->lineBreakName());
    m_statusBar->setLanguageName(active->bundle() ? active->bundle()->title() : std::string());
    updateTitle();
}

void HVDocumentWindow::showDocument(HVFileDocument* document) {
    if (m_multi && document)
        m_multi->windowController().activateDocument(document);
    moveToFront();
    show();
    raise();
    activateWindow();
    if (QWidget* view = viewFor(activeFileDocument()))
        view->setFocus();
}

void HVDocumentWindow::requestClose() {
    auto finish = [this](bool mayClose) {
        if (!mayClose)
            return;
        m_closeApproved = true;
        // Qt ignores a close() inside the close event: that event goes on and closes.
        if (!m_inCloseEvent)
            close();
    };
    if (m_multi)
        m_multi->windowController().closeOpenFiles(finish);
    else if (m_single)
        m_single->canClose(finish);
    else
        finish(true);
}

void HVDocumentWindow::closeEvent(QCloseEvent* event) {
    if (!m_closeApproved) {
        // Unedited documents approve at once; a review approves later and closes again.
        m_inCloseEvent = true;
        requestClose();
        m_inCloseEvent = false;
        if (!m_closeApproved) {
            event->ignore();
            return;
        }
    }
    emit windowWillClose(this);
    // The views go before the documents that own their models, and the window lets go of
    // the document, which may be gone before the window is deleted.
    for (auto& [document, view] : m_views)
        deleteView(view);
    m_views.clear();
    m_shownDocument = nullptr;
    detachFromDocument();
    if (m_document) {
        HVDocument* document = m_document;
        m_document = nullptr;
        document->close();
    }
    event->accept();
}

void HVDocumentWindow::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow()) {
        moveToFront();
        if (m_document)
            HVDocumentController::sharedController().setCurrentDocument(m_document);
    }
}

HTMLView* HVDocumentWindow::activeHTMLView() const {
    HVEditorWidget* editor = activeEditor();
    return editor ? editor->foldingView() : nullptr;
}

void HVDocumentWindow::fillFunctionMenu() {
    m_functionMenu->clear();
    HVEditorWidget* editor = activeEditor();
    HTMLView* view = editor ? editor->foldingView() : nullptr;
    std::vector<HVCodeNavEntry> entries =
        view ? view->codeNavItems() : std::vector<HVCodeNavEntry>{};
    if (entries.empty()) {
        m_functionMenu->addAction(QStringLiteral("No functions"))->setEnabled(false);
        return;
    }
    for (const HVCodeNavEntry& entry : entries) {
        if (entry.separator) {
            m_functionMenu->addSeparator();
            continue;
        }
        QAction* action = m_functionMenu->addAction(
            QString::fromUtf16(entry.title.data(), qsizetype(entry.title.size())));
        QFont font = action->font();
        font.setBold(entry.bold);
        font.setItalic(entry.italic);
        action->setFont(font);
        if (!entry.iconPath.empty())
            action->setIcon(QIcon(QString::fromStdString(entry.iconPath)));
        HVRange range = entry.range;
        connect(action, &QAction::triggered, this, [this, editor, range] {
            // The editor may have gone with its tab while the menu was open.
            if (activeEditor() != editor)
                return;
            editor->runUserEvent([editor, range] { editor->foldingView()->showRange(range); });
            editor->ensureRangeVisible(editor->view()->selectedRange());
            editor->setFocus();
        });
    }
}

void HVDocumentWindow::focusQuickSearch() {
    m_quickSearch->setFocus();
    m_quickSearch->selectAll();
}

bool HVDocumentWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_quickSearch && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        HVEditorWidget* editor = activeEditor();
        if (key->key() == Qt::Key_Escape && editor) {
            editor->setFocus();
            return true;
        }
        if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) && editor &&
            editor->foldingView()) {
            QString text = m_quickSearch->text();
            if (!text.isEmpty())
                editor->foldingView()->quickSearchAgain(
                    std::u16string_view(reinterpret_cast<const char16_t*>(text.utf16()),
                                        std::size_t(text.size())),
                    key->modifiers().testFlag(Qt::ShiftModifier));
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

QDialog* HVDocumentWindow::showGotoLinePanel() {
    HTMLView* view = activeHTMLView();
    if (!view)
        return nullptr;
    auto* dialog = new QDialog(this);
    dialog->setObjectName("gotoLinePanel");
    dialog->setWindowTitle(QStringLiteral("Go to Line"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    auto* form = new QFormLayout(dialog);
    auto* field = new QLineEdit(dialog);
    field->setObjectName("gotoLineField");
    // The line where the selection starts: after Go to Line its end is on the next one.
    auto position = view->textStorage().fullLineAndColumn(view->selectedRange().location);
    field->setText(QString::number(position.line + 1));
    field->selectAll();
    form->addRow(QStringLiteral("Line:"), field);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, dialog);
    form->addRow(buttons);
    connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    QPointer<HVEditorWidget> editor = activeEditor();
    connect(dialog, &QDialog::accepted, this, [editor, field] {
        if (!editor || !editor->foldingView())
            return;
        QString text = field->text();
        editor->runUserEvent([&] {
            editor->foldingView()->gotoLineFromString(std::u16string_view(
                reinterpret_cast<const char16_t*>(text.utf16()), std::size_t(text.size())));
        });
        editor->ensureRangeVisible(editor->view()->selectedRange());
        editor->setFocus();
    });
    dialog->open();
    field->setFocus();
    return dialog;
}

void HVDocumentWindow::printActiveDocument() {
    if (!activeEditor())
        return;
    QPrinter printer;
    QPrintDialog dialog(&printer, this);
    if (dialog.exec() == QDialog::Accepted)
        printActiveDocument(printer);
}

void HVDocumentWindow::printActiveDocument(QPrinter& printer) {
    HVEditorWidget* editor = activeEditor();
    if (!editor)
        return;
    const HVTextBuffer& text = editor->view()->textStorage();
    // The full text: collapsed regions print expanded, and the document stays as it is.
    HVPrintText(text.fullString({0, text.length()}), editor->editorFont(), printer);
}

void HVDocumentWindow::htmlViewChangedToLine(HTMLView& view, std::size_t line, std::size_t column) {
    if (activeHTMLView() == &view)
        m_statusBar->setLineAndColumn(line, column + 1);
}

void HVDocumentWindow::htmlViewIsEscaped(HTMLView& view, bool escaped) {
    if (activeHTMLView() != &view)
        return;
    if (escaped)
        m_statusBar->showMessage(QStringLiteral("Escape: the next key goes in as typed"));
    else
        m_statusBar->clearMessage();
}

void HVDocumentWindow::htmlViewHadError(HTMLView& view, const HVError& error, bool critical) {
    (void)view;
    if (critical)
        HVUserInterface::shared().presentError(error, m_document, [](std::size_t) {});
    else
        m_statusBar->showWarning(error);
}
