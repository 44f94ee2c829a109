// The project-settings sheet, typed into as a person would.

#include "HVNotificationCenter.h"
#include "HVProject.h"
#include "HVProjectRemoteConfiguration.h"
#include "HVProjectSettings.h"
#include "HVProjectSettingsController.h"
#include "HVWindowTest.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {

class ProjectSettingsSheetTest : public HVWindowTest {
protected:
    HVProjectSettingsController* visibleSheet() {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (auto* sheet = qobject_cast<HVProjectSettingsController*>(widget);
                sheet && sheet->isVisible())
                return sheet;
        }
        return nullptr;
    }
    template <class T> static T* field(QWidget* sheet, const char* name) {
        T* found = sheet->findChild<T*>(name);
        if (!found)
            throw std::runtime_error(std::string("no field ") + name);
        return found;
    }
};

TEST_F(ProjectSettingsSheetTest, NewProjectIsConfirmedOnlyOnceTheLocationIsTyped) {
    HVDocumentWindow* window = open(dir.write("page.html", "<p>hi</p>\n"));
    std::vector<const void*> created;
    auto& center = HVNotificationCenter::defaultCenter();
    HVScopedObserver observer(
        center, center.addObserver("HVProjectCreatedNotification", nullptr,
                                   [&](const HVNotification& n) { created.push_back(n.object); }));

    HVActionTitled(HVMenuTitled(window, "&File"), "New &Project…")->trigger();
    ASSERT_TRUE(HVWaitFor([&] { return visibleSheet() != nullptr; }));
    HVProjectSettingsController* sheet = visibleSheet();
    auto* ok = field<QPushButton>(sheet, "HVProjectOK");
    auto* status = field<QLabel>(sheet, "HVProjectStatus");
    EXPECT_FALSE(ok->isEnabled());
    EXPECT_EQ(status->text().toStdString(), "Local directory is blank");

    auto* kind = field<QComboBox>(sheet, "HVProjectKind");
    kind->setCurrentIndex(kind->findData(int(HVProject::Combo)));
    EXPECT_EQ(status->text().toStdString(), "Local directory is blank and remote host is blank");
    EXPECT_TRUE(field<QGroupBox>(sheet, "HVProjectServer")->isEnabled());

    QTest::keyClicks(field<QLineEdit>(sheet, "HVProjectDirectory"),
                     QString::fromStdString(dir.path()));
    EXPECT_EQ(status->text().toStdString(), "Remote host is blank");
    EXPECT_FALSE(ok->isEnabled());
    QTest::keyClicks(field<QLineEdit>(sheet, "HVProjectHost"), "www.example.org");
    QTest::keyClicks(field<QLineEdit>(sheet, "HVProjectUser"), "anna");
    EXPECT_EQ(status->text().toStdString(), "");
    EXPECT_TRUE(ok->isEnabled());
    EXPECT_EQ(field<QLineEdit>(sheet, "HVProjectPassword")->echoMode(), QLineEdit::Password);

    std::shared_ptr<HVProject> project = sheet->settings().project();
    EXPECT_FALSE(project);
    QTest::mouseClick(ok, Qt::LeftButton);
    ASSERT_EQ(created.size(), 1u);
    EXPECT_TRUE(HVWaitFor([&] { return visibleSheet() == nullptr; }));
}

TEST_F(ProjectSettingsSheetTest, AnOpenProjectKeepsItsKindFolderAndServer) {
    HVDocumentWindow* window = open(dir.write("page.html", "<p>hi</p>\n"));
    auto project = std::make_shared<HVProject>();
    project->setType(HVProject::Combo);
    project->setRootDirectory(dir.path());
    HVProjectRemoteConfiguration remote;
    remote.setHost("www.example.org");
    project->setRemoteConfig(remote);
    project->setIsOpen(true);

    QPointer<HVProjectSettingsController> sheet =
        HVProjectSettingsController::editProject(window, project);
    ASSERT_TRUE(HVWaitFor([&] { return sheet && sheet->isVisible(); }));
    EXPECT_FALSE(field<QComboBox>(sheet, "HVProjectKind")->isEnabled());
    EXPECT_FALSE(field<QLineEdit>(sheet, "HVProjectDirectory")->isEnabled());
    EXPECT_FALSE(field<QGroupBox>(sheet, "HVProjectServer")->isEnabled());
    EXPECT_TRUE(field<QLineEdit>(sheet, "HVProjectName")->isEnabled());
    EXPECT_EQ(field<QLineEdit>(sheet, "HVProjectHost")->text().toStdString(), "www.example.org");
    EXPECT_TRUE(sheet->okButton()->isEnabled());
}

} // namespace
