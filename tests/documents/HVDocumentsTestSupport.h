#pragma once

#include "Defaults.h"
#include "HVDispatcher.h"
#include "HVDocumentController.h"
#include "HVFileDocument.h"
#include "HVMultiFileDocument.h"
#include "HVMultiFileWindowController.h"
#include "HVPreferences.h"
#include "HVScriptedUserInterface.h"
#include "HVSingleFileDocument.h"
#include "HVTestSupport.h"
#include "HVTextViewModel.h"
#include "HVUndoManager.h"

#include <gtest/gtest.h>

// An application with no documents, its own preferences and a scripted user.
class HVDocumentsTest : public ::testing::Test {
protected:
    HVIsolatedPreferences preferences;
    HVTemporaryDirectory dir;
    std::shared_ptr<HVScriptedUserInterface> ui = HVScriptedUserInterface::install();

    HVDocumentsTest() {
        HVDispatcher::main().adoptCurrentThread();
        Defaults::resetDefaults();
        controller().reset();
    }
    ~HVDocumentsTest() override {
        controller().reset();
        HVDispatcher::main().runPending();
        HVUserInterface::setShared(nullptr);
    }

    static HVDocumentController& controller() { return HVDocumentController::sharedController(); }
    static void setPreference(const char* key, HVPlistValue value) {
        HVPreferences::sharedInstance().setObject(key, std::move(value));
    }
    // Types text at the end, as a user would.
    static void type(HVFileDocument* document, std::u16string_view text) {
        HVTextViewModel* view = document->viewWithSuggestedFrame();
        view->setSelectedRange({view->string().size(), 0});
        view->insertText(text);
    }
};
