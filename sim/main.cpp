#include "simulator.h"
#include "termination_requests.h"

#include <QApplication>

// The panel exactly as potpanel runs it, driving a simulated controller instead
// of the one on COM1, so that it can be seen working without the hardware.
int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("potpanel-sim"));
    // As in potpanel, only EXIT, the unload handling or a failure end the program,
    // each with its own status; closing the controller's window alone does not.
    QGuiApplication::setQuitOnLastWindowClosed(false);
    potpanel::TerminationRequests termination;

    potpanel::Simulator simulator;
    QObject::connect(&termination, &potpanel::TerminationRequests::requested, &simulator.form1(),
                     &potpanel::PanelWindow::requestClose);
    if (!simulator.load())
        return EXIT_FAILURE;
    simulator.show();
    return app.exec();
}
