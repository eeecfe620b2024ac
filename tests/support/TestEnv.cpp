#include "TestEnv.h"

#include "frmCKDX.h"

#include <QDir>

namespace kdxtest {

void isolateUserFolders()
{
    static QTemporaryDir dir;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir.path() + QStringLiteral("/config")));
    qputenv("KDX_PORTS_DIR", QFile::encodeName(dir.path() + QStringLiteral("/ports")));
    QDir().mkpath(dir.path() + QStringLiteral("/config"));
}

DriverEnv::DriverEnv()
{
    frmCKDX::resetInstance();
    frmCKDX::setPortFactory([this] {
        auto p = std::make_unique<FakeSerialPort>();
        m_port = p.get();
        return p;
    });
    frmCKDX::instance();
}

DriverEnv::~DriverEnv()
{
    frmCKDX::resetInstance();
    frmCKDX::setPortFactory({});
}

} // namespace kdxtest
