#include "panel_window.h"
#include "qt_serial_port.h"
#include "termination_requests.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    potpanel::TerminationRequests termination;

    potpanel::PanelWindow form1(std::make_unique<potpanel::QtSerialPort>());
    QObject::connect(&termination, &potpanel::TerminationRequests::requested, &form1,
                     &QWidget::close);
    if (!form1.load())
        return EXIT_FAILURE;
    form1.show();
    return app.exec();
}
