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

#include <QApplication>
#include <QDialog>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>
#include <string>

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

    // Opens the file as the File menu does, with its editor focused and, unless told not to
    // wait, its text highlighted.
    HVDocumentWindow* open(const std::string& path, bool highlighted = true) {
        HVDocumentController::sharedController().openDocumentWithContentsOfFile(path, true);
        HVDocumentWindow* window = app->frontWindow();
        if (window) {
            QApplication::setActiveWindow(window);
            EXPECT_TRUE(QTest::qWaitForWindowExposed(window));
            window->activeEditor()->setFocus();
            HTMLView* view = window->activeHTMLView();
            if (highlighted) {
                EXPECT_TRUE(HVWaitFor([&] { return !view || !view->hasPendingHighlighting(); }));
            }
        }
        return window;
    }
};
