#include "TestEnv.h"

#include "frmCKDX.h"
#include "mod_Init.h"

#include <QDir>
#include <QSettings>

namespace kdxtest {

void isolateUserFolders()
{
    static QTemporaryDir dir;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir.path() + QStringLiteral("/config")));
    qputenv("KDX_PORTS_DIR", QFile::encodeName(dir.path() + QStringLiteral("/ports")));
    QDir().mkpath(dir.path() + QStringLiteral("/config"));
}

void firstStartOn(int comNumber)
{
    QSettings s(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("kdx-utility"),
                QStringLiteral("KDXB Utility"));
    s.clear();
    s.setValue(QStringLiteral("Settings/Comport"), QString::number(comNumber - 1));
    s.sync();
    g_KDXType = 11;
    frmCKDX::resetInstance();
    frmCKDX::setPortFactory({});
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
