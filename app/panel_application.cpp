#include "panel_application.h"

#include "application_identity.h"
#include "failure_message.h"
#include "form1_qt.h"
#include "panel_controller.h"
#include "panel_window.h"
#include "termination_requests.h"

#include <QApplication>

namespace potpanel {

int runPanel(QApplication& app, std::unique_ptr<SerialPort> port,
             SerialLink::DeviceForPort deviceForPort,
             const std::function<void(QWidget& form1)>& shown, const StartUpFailure& startUpFailed)
{
    QCoreApplication::setApplicationName(QString::fromLatin1(applicationName));
    QCoreApplication::setApplicationVersion(QString::fromLatin1(applicationVersion));
    QCoreApplication::setOrganizationName(QString::fromLatin1(organizationName));
    QCoreApplication::setOrganizationDomain(QString::fromLatin1(organizationDomain));
    QGuiApplication::setDesktopFileName(QString::fromLatin1(desktopFileName));
    // Every text the program shows, its messages too, in the window's own face,
    // not in Qt's default, whatever fontconfig makes of sans-serif: on a system with
    // only Liberation's fonts, that is Liberation Mono.
    QApplication::setFont(windowFont());
    // The program ends by EXIT, the unload handling or a failure, each with its
    // own status; closing the last window must not end it a second time.
    QGuiApplication::setQuitOnLastWindowClosed(false);

    TerminationRequests termination;
    // Takes the port's word that its device may have gone, from the port's thread,
    // to this one. It outlives the link, whose watch may still post to it while the
    // link closes; what it is handed after the event loop has ended is never run.
    QObject lineNews;
    SerialLink comm1(std::move(port), std::move(deviceForPort));
    PanelWindow form1;
    PanelController controller(form1, comm1);
    form1.attach(controller, [](const std::exception& failure) {
        showFailure(failure);
        QCoreApplication::exit(EXIT_FAILURE);
    });
    comm1.watch([&lineNews, &form1] {
        QMetaObject::invokeMethod(
            &lineNews, [&form1] { form1.lineChanged(); }, Qt::QueuedConnection);
    });
    QObject::connect(&termination, &TerminationRequests::requested, &form1, [&form1] {
        if (auto* message = qobject_cast<QDialog*>(QApplication::activeModalWidget()))
            message->reject();
        else
            form1.close();
    });

    // The link is still unopened after a failed open, so start-up can run again
    // once another device stands for the port.
    for (;;) {
        try {
            controller.Form_Load();
            break;
        } catch (const std::exception& failure) {
            if (startUpFailed ? !startUpFailed(failure) : (showFailure(failure), true))
                return EXIT_FAILURE;
        }
    }
    form1.describePort(comm1.portName(), comm1.device());
    form1.show();
    if (shown)
        shown(form1);
    return app.exec();
}

} // namespace potpanel
