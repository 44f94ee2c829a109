#pragma once

#include "Defaults.h"
#include "HTMLView.h"
#include "HVApplicationController.h"
#include "HVDispatcher.h"
#include "HVDocumentController.h"
#include "HVDocumentWindow.h"
#include "HVEditorWidget.h"
#include "HVGuiTestSupport.h"
#include "HVTestSupport.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QMenu>
#include <QMessageBox>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>
#include <stdexcept>
#include <string>

// An alert that is on the screen as a window of its own, or none.
inline QMessageBox* HVVisibleAlert() {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->objectName() == "HVAlert" && widget->isVisible())
            return qobject_cast<QMessageBox*>(widget);
    }
    return nullptr;
}

// A menu or action by its title; a missing one ends the test as failed.
inline QMenu* HVMenuTitled(QWidget* parent, const QString& title) {
    for (QMenu* menu : parent->findChildren<QMenu*>()) {
        if (menu->title() == title)
            return menu;
    }
    throw std::runtime_error("no menu " + title.toStdString());
}

inline QAction* HVActionTitled(QMenu* menu, const QString& title) {
    for (QAction* action : menu->actions()) {
        if (action->text() == title)
            return action;
    }
    throw std::runtime_error("no action " + title.toStdString());
}

inline QAbstractButton* HVButtonTitled(QMessageBox* box, const QString& title) {
    for (QAbstractButton* button : box->buttons()) {
        if (button->text() == title)
            return button;
    }
    throw std::runtime_error("no button " + title.toStdString());
}

// A test of the real program's windows: private preferences and folder, a fresh application
// controller, and every panel and window gone afterwards.
class HVWindowTest : public ::testing::Test {
protected:
    HVIsolatedPreferences preferences;
    HVTemporaryDirectory dir;
    std::unique_ptr<HVApplicationController> app;

    HVWindowTest() {
        HVGuiApplication();
        Defaults::resetDefaults();
        HVDocumentController::sharedController().reset();
        app = std::make_unique<HVApplicationController>();
    }
    ~HVWindowTest() override {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (auto* dialog = qobject_cast<QDialog*>(widget))
                dialog->reject();
        }
        app.reset();
        QApplication::processEvents();
        HVDocumentController::sharedController().reset();
        HVDispatcher::main().runPending();
    }

    // The window, never null: a missing one ends the test as failed.
    static HVDocumentWindow* required(HVDocumentWindow* window, const std::string& path) {
        if (!window)
            throw std::runtime_error("no window shows " + path);
        return window;
    }

    // Opens the file as the File menu does, with its editor focused and, unless told not to
    // wait, its text highlighted.
    HVDocumentWindow* open(const std::string& path, bool highlighted = true) {
        HVDocumentController::sharedController().openDocumentWithContentsOfFile(path, true);
        HVDocumentWindow* window = required(app->frontWindow(), path);
        QApplication::setActiveWindow(window);
        EXPECT_TRUE(QTest::qWaitForWindowExposed(window));
        window->activeEditor()->setFocus();
        HTMLView* view = window->activeHTMLView();
        if (highlighted) {
            EXPECT_TRUE(HVWaitFor([&] { return !view || !view->hasPendingHighlighting(); }));
        }
        return window;
    }
};
