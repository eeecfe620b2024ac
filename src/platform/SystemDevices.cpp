#include "SystemDevices.h"

#include "ProgramLibrary.h"

#include <QFile>
#include <QFileInfo>

namespace platform {

QList<SystemDevice> systemSerialDevices(QString *error)
{
    // KDX_SYSTEM_DEVICES, when set, is the list: its colon-separated paths and
    // nothing else (empty: no device). Tests hold the programs to
    // pseudo-terminals of their own this way, and a bench to the devices on it.
    if (qEnvironmentVariableIsSet("KDX_SYSTEM_DEVICES")) {
        QList<SystemDevice> given;
        for (const QString &path : QFile::decodeName(qgetenv("KDX_SYSTEM_DEVICES")).split(QLatin1Char(':'), Qt::SkipEmptyParts)) {
            SystemDevice d;
            d.location = QFileInfo(path).absoluteFilePath();
            given.append(d);
        }
        return given;
    }
    const QString library = QStringLiteral("libkdx_devices.so");
    QString why;
    const auto *version = static_cast<const int *>(programLibrarySymbol(library, "kdx_system_devices_interface", &why));
    const auto list = reinterpret_cast<KdxSystemDevices>(programLibrarySymbol(library, "kdx_system_devices", &why));
    QList<SystemDevice> out;
    if (version && *version == KDX_SYSTEM_DEVICES_INTERFACE && list) {
        list(&out);
        return out;
    }
    if (error)
        *error = QStringLiteral("the list of serial devices cannot be had: %1")
                     .arg(version ? QStringLiteral("%1 is from another version of the program").arg(programLibraryPath(library))
                                  : why);
    return out;
}

} // namespace platform
