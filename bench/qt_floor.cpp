// The same start as the floor program, made by a Qt Widgets program that then
// shows an empty window: what any panel built on Qt Widgets and X pays before
// its first frame, whatever its own window holds. Ends on SIGTERM.
#include "start_line.h"

#include <QApplication>
#include <QWidget>

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    if (!bench::writeStartFrames())
        return 1;
    QWidget window;
    window.setFixedSize(356, 149);
    window.show();
    return application.exec();
}
