#include "OpenFailure.h"

#include <QCoreApplication>
#include <QStringList>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>

namespace platform {

namespace {

QString busy(const OpenFailure &f)
{
    if (f.holders.isEmpty())
        return QCoreApplication::translate("OpenFailure", "%1 is busy: another program has it open; close that program first").arg(f.device);
    QStringList who;
    for (const PortHolder &h : f.holders)
        who << h.text();
    QString text = QCoreApplication::translate("OpenFailure", "%1 is in use by %2").arg(f.device, who.join(QStringLiteral(", ")));
    if (!f.detail.isEmpty())
        text += QCoreApplication::translate("OpenFailure", " (lock file %1)").arg(f.detail);
    return text + QCoreApplication::translate("OpenFailure", "; close that program first");
}

QString permission(const OpenFailure &f)
{
    const bool groupWouldHelp = (f.mode & (S_IRGRP | S_IWGRP)) == (S_IRGRP | S_IWGRP) && f.groupId != 0
        && !f.groupName.isEmpty();
    if (groupWouldHelp && f.listedInGroup)
        return QCoreApplication::translate("OpenFailure", "permission denied on %1: the user was added to the group \"%2\" after logging "
                              "in; log out and in again")
            .arg(f.device, f.groupName);
    if (groupWouldHelp)
        return QCoreApplication::translate("OpenFailure", "permission denied on %1: the user is not in the group \"%2\" that owns "
                              "the device; add it (usermod -aG %2 USER) and log in again")
            .arg(f.device, f.groupName);
    QString owner;
    if (!f.ownerName.isEmpty() && !f.groupName.isEmpty())
        owner = QCoreApplication::translate("OpenFailure", " (%1:%2, mode %3)").arg(f.ownerName, f.groupName).arg(f.mode & 07777, 4, 8, QLatin1Char('0'));
    return QCoreApplication::translate("OpenFailure", "permission denied on %1%2: a udev rule or the administrator must grant this user access")
        .arg(f.device, owner);
}

} // namespace

QString OpenFailure::hint(const QString &portName) const
{
    switch (cause) {
    case Cause::None:
        return QString();
    case Cause::NotInPortMap:
        return QCoreApplication::translate("OpenFailure", "%1 is not in the port map (%2)").arg(portName, detail);
    case Cause::SettingsRejected:
        return QCoreApplication::translate("OpenFailure", "the line settings \"%1\" are not ones this port can take").arg(settings);
    case Cause::SettingsRefused:
        return QCoreApplication::translate("OpenFailure", "%1 does not take the line settings \"%2\": %3").arg(device, settings, detail);
    case Cause::Locked:
    case Cause::Held:
        return busy(*this);
    case Cause::StaleExclusive:
        return QCoreApplication::translate("OpenFailure",
                                           "%1 was left in exclusive mode by a program that has ended; only root "
                                           "can open it past that: run the command once as root (sudo), which "
                                           "clears it, or %2")
            .arg(device,
                 device.startsWith(QLatin1String("/dev/pts/"))
                     ? QCoreApplication::translate("OpenFailure", "restart the program at the far end of the pseudo-terminal")
                     : QCoreApplication::translate("OpenFailure", "unplug the adapter and plug it in again"));
    case Cause::LockFileInvalid:
        return QCoreApplication::translate("OpenFailure", "%1: %2 is not a lock file; the administrator must remove it").arg(device, detail);
    case Cause::System:
        break;
    }
    switch (error) {
    case EACCES:
    case EPERM:
        return permission(*this);
    case EBUSY:
        return busy(*this);
    case ENOENT:
        return QCoreApplication::translate("OpenFailure", "%1 does not exist: is the adapter plugged in?").arg(device);
    case ENXIO:
    case ENODEV:
        return QCoreApplication::translate("OpenFailure", "%1 has no device behind it: is the adapter plugged in?").arg(device);
    case ENOTTY:
        return QCoreApplication::translate("OpenFailure", "%1 is not a serial device").arg(device);
    case EIO:
        return QCoreApplication::translate("OpenFailure", "%1 does not answer (input/output error): unplug the adapter and plug it in again")
            .arg(device);
    default:
        return QStringLiteral("%1: %2").arg(device, QString::fromLocal8Bit(std::strerror(error)));
    }
}

} // namespace platform
