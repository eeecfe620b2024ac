#include "SystemDevices.h"

#include "ProgramLibrary.h"

namespace platform {

QList<SystemDevice> systemSerialDevices(QString *error)
{
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
