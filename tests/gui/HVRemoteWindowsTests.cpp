// The windows of remote work: the login sheet, the transcript of a connection, and how a
// window tells its person about failures.

#include "HVAlertManager.h"
#include "HVCredentialsController.h"
#include "HVError.h"
#include "HVRemoteLogController.h"
#include "HVRemoteLogWindow.h"
#include "HVWindowTest.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <memory>
#include <optional>
#include <thread>

namespace {

class RemoteWindowsTest : public HVWindowTest {
protected:
    RemoteWindowsTest() {
        window = std::make_unique<QWidget>();
        window->resize(500, 400);
        window->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    }
    ~RemoteWindowsTest() override {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (auto* box = qobject_cast<QMessageBox*>(widget); box && box->isVisible())
                box->reject();
        }
        QApplication::processEvents();
    }

    std::unique_ptr<QWidget> window;
};

std::vector<QMessageBox*> visibleAlerts() {
    std::vector<QMessageBox*> boxes;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->objectName() == "HVAlert" && widget->isVisible())
            boxes.push_back(qobject_cast<QMessageBox*>(widget));
    }
    return boxes;
}

struct Answered {
    int returnCode = -1;
    HVCredentialsController::Answer answer;
};

} // namespace

TEST_F(RemoteWindowsTest,
       TheCredentialsSheetFocusesTheFieldStillToBeTypedAndCancelAnswersZeroOnce) {
    auto* sheet = new HVCredentialsController;
    sheet->displayOnWindow(window.get(), "deploy", [](int, HVCredentialsController::Answer) {});
    // Not inside the call that asks for it.
    EXPECT_FALSE(sheet->isVisible());
    ASSERT_TRUE(HVWaitFor([&] { return sheet->isVisible(); }));
    EXPECT_EQ(sheet->parentWidget(), window.get());
    EXPECT_EQ(sheet->windowModality(), Qt::WindowModal);
    EXPECT_EQ(sheet->userField()->text(), QString("deploy"));
    EXPECT_EQ(sheet->focusWidget(), sheet->passwordField());
    sheet->reject();

    // Cancel answers zero, once, and empties the password.
    int calls = 0;
    Answered answered;
    sheet->displayOnWindow(window.get(), "", [&](int code, HVCredentialsController::Answer a) {
        ++calls;
        answered = Answered{code, std::move(a)};
    });
    ASSERT_TRUE(HVWaitFor([&] { return sheet->isVisible(); }));
    EXPECT_EQ(sheet->focusWidget(), sheet->userField());
    EXPECT_EQ(sheet->findChild<QLineEdit*>("HVCredentialsPassword")->echoMode(),
              QLineEdit::Password);
    QTest::keyClicks(sheet->userField(), "anna");
    QTest::keyClicks(sheet->passwordField(), "pw");
    sheet->cancelButton()->click();
    sheet->reject();
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(answered.returnCode, HVCredentialsController::CancelReturnCode);
    EXPECT_EQ(answered.answer.password, "");
    EXPECT_EQ(sheet->passwordField()->text(), QString());
}

TEST_F(RemoteWindowsTest, LogInHandsOverWhatWasTypedAndEmptiesThePassword) {
    auto* sheet = new HVCredentialsController;
    sheet->setTitle("Remote Login: example.org");
    std::optional<Answered> answered;
    sheet->displayOnWindow(
        window.get(), "deploy",
        [&](int code, HVCredentialsController::Answer answer) {
            answered = Answered{code, std::move(answer)};
        },
        HVCredentialsController::SubversionTag);
    ASSERT_TRUE(HVWaitFor([&] { return sheet->isVisible(); }));
    QTest::keyClicks(sheet->passwordField(), "s3cret");
    sheet->rememberBox()->setChecked(true);
    sheet->logInButton()->click();

    ASSERT_TRUE(answered.has_value());
    EXPECT_EQ(answered->returnCode, HVCredentialsController::LogInReturnCode);
    EXPECT_EQ(answered->answer.user, "deploy");
    EXPECT_EQ(answered->answer.password, "s3cret");
    EXPECT_EQ(answered->answer.remember, true);
    EXPECT_EQ(answered->answer.tag, HVCredentialsController::SubversionTag);
    EXPECT_EQ(sheet->passwordField()->text(), QString());
    EXPECT_FALSE(sheet->isVisible());
    EXPECT_EQ(sheet->windowTitle(), QString("Remote Login: example.org"));
}

TEST_F(RemoteWindowsTest, TheLogWindowShowsTheTranscriptAndFollowsAnotherThread) {
    auto log = std::make_shared<HVRemoteLogController>();
    log->appendStringToLog("sftp> ls <b>x</b> \x1b[31mred\n");
    HVRemoteLogWindow logWindow(log, "example.org");
    EXPECT_EQ(logWindow.windowTitle(), QString::fromUtf8("Remote Log \u2014 example.org"));
    logWindow.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&logWindow));
    // Markup and escapes show literally.
    const QString first = "sftp> ls <b>x</b> \\x1b[31mred\n";
    EXPECT_EQ(logWindow.text(), first);
    EXPECT_EQ(logWindow.textView()->document()->blockCount(), 2);
    EXPECT_TRUE(logWindow.textView()->isReadOnly());

    std::thread reader([log] {
        for (int i = 0; i < 50; ++i)
            log->appendStringToLog("line " + std::to_string(i) + "\n");
    });
    reader.join();
    // Nothing arrives until the main loop runs.
    EXPECT_EQ(logWindow.text(), first);
    QString expected = first;
    for (int i = 0; i < 50; ++i)
        expected += QString("line %1\n").arg(i);
    EXPECT_TRUE(HVWaitFor([&] { return logWindow.text() == expected; }));
    EXPECT_EQ(logWindow.text(), expected);
    // It was at the end, so it stays there.
    QScrollBar* bar = logWindow.textView()->verticalScrollBar();
    EXPECT_GT(bar->maximum(), 0);
    EXPECT_EQ(bar->value(), bar->maximum());

    // Scrolled back by the reader, it stays where the reader is.
    bar->setValue(0);
    log->appendStringToLog("more\n");
    expected += "more\n";
    EXPECT_TRUE(HVWaitFor([&] { return logWindow.text() == expected; }));
    EXPECT_EQ(bar->value(), 0);

    // Closed, it no longer hears of new lines.
    logWindow.close();
    log->appendStringToLog("after\n");
    QTest::qWait(50);
    EXPECT_EQ(logWindow.text(), expected);
}

// A low-priority error goes to the status bar and opens no alert; the others come one at a time.
TEST_F(RemoteWindowsTest, AlertsOfAWindowComeOneAtATimeWithTheServersReason) {
    HVAlertManager alerts(window.get());
    std::vector<std::string> warnings;
    alerts.setStatusBarWarningHandler([&](const std::string& text) { warnings.push_back(text); });
    HVError quiet(HVErrorDomain, 7, "The file list may be out of date.", "Try again later.");
    quiet.setLowPriority(true);
    alerts.presentError(quiet);
    HVError first(HVErrorDomain, 1, "The file could not be deleted.");
    first.setUserInfoValue(HVRemoteReasonErrorKey, "No such file or directory");
    HVError second(HVErrorDomain, 2, "The connection was closed.");
    std::vector<std::size_t> answers;
    alerts.presentError(first, [&](std::size_t option) { answers.push_back(option); });
    alerts.presentError(second, [&](std::size_t option) { answers.push_back(option); });

    ASSERT_TRUE(HVWaitFor([] { return visibleAlerts().size() == 1; }));
    QTest::qWait(50);
    ASSERT_EQ(visibleAlerts().size(), 1u);
    QMessageBox* box = visibleAlerts().front();
    EXPECT_EQ(box->text(), QString("The file could not be deleted."));
    EXPECT_EQ(box->detailedText(), QString("No such file or directory"));
    EXPECT_EQ(box->parentWidget(), window.get());
    box->buttons().front()->click();

    ASSERT_TRUE(HVWaitFor([] {
        auto boxes = visibleAlerts();
        return boxes.size() == 1 && boxes.front()->text() == "The connection was closed.";
    }));
    EXPECT_EQ(visibleAlerts().front()->detailedText(), QString());
    EXPECT_EQ(answers, std::vector<std::size_t>{0});
    EXPECT_EQ(warnings, std::vector<std::string>{"The file list may be out of date."});
    visibleAlerts().front()->buttons().front()->click();
    EXPECT_EQ(answers, (std::vector<std::size_t>{0, 0}));
}
