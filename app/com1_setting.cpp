#include "com1_setting.h"

#include "application_identity.h"
#include "serial_link.h"
#include "serial_link_error.h"

#include <QFile>
#include <QSettings>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace potpanel {
namespace {

constexpr char key[] = "ports/COM1";

QSettings settings(QSettings::Scope scope)
{
    return {QSettings::NativeFormat, scope, QString::fromLatin1(organizationName),
            QString::fromLatin1(applicationName)};
}

[[noreturn]] void refuse(const std::string& cause)
{
    throw SerialLinkError("COM1", "", "cannot open the port", cause);
}

// Which settings file cannot be read, and why: QSettings only says that one cannot.
std::string unreadableSettings()
{
    for (const QSettings::Scope scope : {QSettings::UserScope, QSettings::SystemScope}) {
        const QByteArray path = QFile::encodeName(settings(scope).fileName());
        const int fd = ::open(path.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        struct stat status
        {
        };
        const int error = fd < 0                                                 ? errno
                          : ::fstat(fd, &status) == 0 && S_ISDIR(status.st_mode) ? EISDIR
                                                                                 : 0;
        if (fd >= 0)
            ::close(fd);
        if (error != 0 && error != ENOENT)
            return "the settings file " + path.toStdString() + " (" + std::strerror(error) + ")";
    }
    return "the settings files";
}

// The file the setting comes from: the user's, unless only the system's has it.
QString settingFile()
{
    QSettings user = settings(QSettings::UserScope);
    user.setFallbacksEnabled(false);
    return user.contains(QString::fromLatin1(key)) ? user.fileName()
                                                   : settings(QSettings::SystemScope).fileName();
}

} // namespace

std::optional<std::string> readCom1Setting()
{
    const QSettings all = settings(QSettings::UserScope);
    const QVariant value = all.value(QString::fromLatin1(key));
    if (all.status() != QSettings::NoError)
        refuse("cannot read " + unreadableSettings() +
               ", which may say which device is COM1; make it readable, or remove it to use " +
               serialDevice(1));
    if (!value.isValid())
        return std::nullopt;
    // A list comes from commas in the value.
    const QString device = value.typeId() == QMetaType::QString ? value.toString() : QString();
    if (device.isEmpty())
        refuse("the setting COM1 in the group [ports] of " + settingFile().toStdString() +
               " names no device; set it to one, such as /dev/ttyUSB0, or remove it to use " +
               serialDevice(1));
    return QFile::encodeName(device).toStdString();
}

std::optional<std::string> saveCom1Setting(const std::string& device)
{
    QSettings user = settings(QSettings::UserScope);
    user.setValue(QString::fromLatin1(key), QFile::decodeName(QByteArray::fromStdString(device)));
    user.sync();
    if (user.status() == QSettings::NoError)
        return std::nullopt;
    return "cannot write " + user.fileName().toStdString();
}

} // namespace potpanel
