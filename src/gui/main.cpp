#include "HVApplicationController.h"
#include "HVSingleInstance.h"

#include <QApplication>
#include <QDir>

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setApplicationName("Halvet");
    QApplication::setApplicationDisplayName("Halvet");
    QApplication::setOrganizationDomain("ternwick.com");
    QApplication::setDesktopFileName("halvet");

    QStringList arguments = QApplication::arguments().mid(1);
    bool newInstance = arguments.removeAll("--new-instance") > 0;
    QString serverName =
        qEnvironmentVariable("HALVET_INSTANCE_NAME", HVSingleInstance::defaultServerName());
    if (!newInstance && HVSingleInstance::sendToRunningInstance(arguments, serverName))
        return 0;

    HVApplicationController controller;
    HVSingleInstance instance(serverName);
    if (!newInstance)
        instance.listen(
            [&controller](const QStringList& request) { controller.handleRequest(request); });
    application.setQuitOnLastWindowClosed(true);
    controller.launch(HVSingleInstance::absoluteArguments(arguments, QDir::currentPath()));
    return application.exec();
}
