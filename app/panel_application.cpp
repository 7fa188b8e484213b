#include "panel_application.h"

#include "application_identity.h"
#include "form1_controls.h"
#include "panel_controller.h"
#include "panel_window.h"
#include "termination_requests.h"

#include <QApplication>
#include <QMessageBox>

namespace potpanel {
namespace {

void showFailure(const std::exception& failure)
{
    // Plain text: the message quotes names (of processes, of files) that anyone
    // can choose, markup included.
    QMessageBox message(QMessageBox::Critical,
                        QString::fromUtf8(form1Caption.data(), qsizetype(form1Caption.size())),
                        QString::fromUtf8(failure.what()));
    message.setTextFormat(Qt::PlainText);
    message.exec();
}

} // namespace

int runPanel(QApplication& app, std::unique_ptr<SerialPort> port,
             SerialLink::DeviceForPort deviceForPort,
             const std::function<void(QWidget& form1)>& shown)
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
    SerialLink comm1(std::move(port), std::move(deviceForPort));
    PanelWindow form1;
    PanelController controller(form1, comm1);
    form1.attach(controller, [](const std::exception& failure) {
        showFailure(failure);
        QCoreApplication::exit(EXIT_FAILURE);
    });
    QObject::connect(&termination, &TerminationRequests::requested, &form1, [&form1] {
        if (auto* message = qobject_cast<QDialog*>(QApplication::activeModalWidget()))
            message->reject();
        else
            form1.close();
    });

    try {
        controller.Form_Load();
    } catch (const std::exception& failure) {
        showFailure(failure);
        return EXIT_FAILURE;
    }
    form1.show();
    if (shown)
        shown(form1);
    return app.exec();
}

} // namespace potpanel
