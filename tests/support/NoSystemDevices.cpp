// Linked into every test program: before main(), the system's serial devices
// become an empty list (KDX_SYSTEM_DEVICES), for the test itself and every
// program it starts, so no test can enrol or open a real device whatever goes
// wrong. A test that needs a device the system has lists a pseudo-terminal of
// its own there.

#include <QByteArray>
#include <QtGlobal>

namespace {

void noSystemDevices()
{
    qputenv("KDX_SYSTEM_DEVICES", QByteArray());
}

} // namespace

Q_CONSTRUCTOR_FUNCTION(noSystemDevices)
