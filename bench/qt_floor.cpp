// The same start as the floor program, made by a Qt Widgets program that then
// shows a window holding one text box: what any panel built on Qt Widgets and X
// pays before its first frame. The words "edit" and "name" on the command line
// create the text box, and set the window's accessible name, before the frames
// instead of after them, to show what each costs there. Ends on SIGTERM.
#include "start_line.h"

#include <QApplication>
#include <QLineEdit>
#include <QStringList>
#include <QWidget>

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    const QStringList words = QApplication::arguments().mid(1);
    QWidget window;
    window.setFixedSize(356, 149);
    const auto createEdit = [&window] {
        new QLineEdit(&window);
    };
    const auto nameWindow = [&window] {
        window.setAccessibleName(QStringLiteral("Form1"));
    };

    if (words.contains(QStringLiteral("edit")))
        createEdit();
    if (words.contains(QStringLiteral("name")))
        nameWindow();
    if (!bench::writeStartFrames())
        return 1;
    if (!words.contains(QStringLiteral("edit")))
        createEdit();
    if (!words.contains(QStringLiteral("name")))
        nameWindow();
    window.show();
    return application.exec();
}
