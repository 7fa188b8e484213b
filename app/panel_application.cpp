#include "panel_application.h"

#include "application_identity.h"
#include "panel_window.h"
#include "termination_requests.h"

#include <QApplication>

namespace potpanel {

int runPanel(QApplication& app, std::unique_ptr<SerialPort> port)
{
    QCoreApplication::setApplicationName(QString::fromLatin1(applicationName));
    QCoreApplication::setApplicationVersion(QString::fromLatin1(applicationVersion));
    QCoreApplication::setOrganizationName(QString::fromLatin1(organizationName));
    QCoreApplication::setOrganizationDomain(QString::fromLatin1(organizationDomain));
    QGuiApplication::setDesktopFileName(QString::fromLatin1(desktopFileName));
    // The program ends by EXIT, the unload handling or a failure, each with its
    // own status; closing the last window must not end it a second time.
    QGuiApplication::setQuitOnLastWindowClosed(false);

    TerminationRequests termination;
    PanelWindow form1(std::move(port));
    QObject::connect(&termination, &TerminationRequests::requested, &form1,
                     &PanelWindow::requestClose);
    if (!form1.load())
        return EXIT_FAILURE;
    form1.show();
    return app.exec();
}

} // namespace potpanel
