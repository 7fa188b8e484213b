#include "port_choice.h"

#include "application_identity.h"
#include "failure_message.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QPushButton>
#include <QStandardPaths>

namespace potpanel {
namespace {

// The simulator as the operator can start it from here: its name where the
// search path finds the one beside this program (installed), else its path (in
// a build folder); nothing when none was built or installed beside it.
QString simulatorCommand()
{
    const QString name = QString::fromLatin1(simulatorName);
    const QFileInfo beside(QCoreApplication::applicationDirPath() + '/' + name);
    if (!beside.isFile() || !beside.isExecutable())
        return {};
    const QString found = QStandardPaths::findExecutable(name);
    if (!found.isEmpty() && QFileInfo(found).canonicalFilePath() == beside.canonicalFilePath())
        return name;
    return beside.absoluteFilePath();
}

QString describe(const MachineSerialPort& port)
{
    QStringList known;
    for (const std::string& part : {port.maker, port.model})
        if (!part.empty())
            known << QString::fromStdString(part);
    if (!port.serialNumber.empty())
        known << "serial number " + QString::fromStdString(port.serialNumber);
    QString text = QString::fromStdString(port.device);
    if (!known.isEmpty())
        text += ": " + known.join(", ");
    if (!port.stableName.empty())
        text += " (" + QString::fromStdString(port.stableName) + ")";
    return text;
}

} // namespace

std::optional<std::string> choosePort(const std::exception& failure,
                                      const std::vector<MachineSerialPort>& ports)
{
    QString text = QString::fromUtf8(failure.what()) + "\n\n";
    if (ports.empty()) {
        text += "No serial port of this computer is free. Connect the controller, through a USB "
                "serial adapter (/dev/ttyUSB0, /dev/ttyACM0) if the computer has no port of its "
                "own, and start the panel again.";
        if (const QString simulator = simulatorCommand(); !simulator.isEmpty())
            text += " To try the panel without a controller, run " + simulator + '.';
    } else {
        text += "The serial ports of this computer that are free:";
        for (std::size_t n = 0; n < ports.size(); ++n)
            text += QStringLiteral("\n%1. %2").arg(n + 1).arg(describe(ports[n]));
        text += "\n\nChoose the one the controller is on: it stays COM1 from now on.";
    }
    FailureMessage message(text);
    std::vector<QAbstractButton*> buttons;
    for (std::size_t n = 0; n < ports.size(); ++n) {
        const QString name = QString::fromStdString(ports[n].device).section('/', -1);
        // Alt and the port's number picks it; never the default button.
        const QString label = n < 9 ? QStringLiteral("Use &%1: %2") : QStringLiteral("Use %1: %2");
        buttons.push_back(message.addButton(label.arg(n + 1).arg(name), QMessageBox::ActionRole));
    }
    message.setDefaultButton(QMessageBox::Ok);
    message.setEscapeButton(QMessageBox::Ok);
    message.exec();
    for (std::size_t n = 0; n < ports.size(); ++n)
        if (message.clickedButton() == buttons[n])
            return ports[n].stableName.empty() ? ports[n].device : ports[n].stableName;
    return std::nullopt;
}

} // namespace potpanel
