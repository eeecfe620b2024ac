// The library behind systemSerialDevices(): what QSerialPortInfo (udev) knows.

#include "SystemDevices.h"

#include <QSerialPortInfo>

extern "C" {
__attribute__((visibility("default"))) extern const int kdx_system_devices_interface;
const int kdx_system_devices_interface = KDX_SYSTEM_DEVICES_INTERFACE;

__attribute__((visibility("default"))) void kdx_system_devices(QList<platform::SystemDevice> *out)
{
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts()) {
        platform::SystemDevice d;
        d.location = info.systemLocation();
        d.description = info.description();
        d.manufacturer = info.manufacturer();
        d.serialNumber = info.serialNumber();
        d.hasUsbIds = info.hasVendorIdentifier() && info.hasProductIdentifier();
        d.vendorId = info.vendorIdentifier();
        d.productId = info.productIdentifier();
        out->append(d);
    }
}
}
