#include "frmCKDX.h"

#include "PosixSerialPort.h"

namespace {

frmCKDX *g_instance = nullptr;

frmCKDX::PortFactory &factory()
{
    static frmCKDX::PortFactory f;
    return f;
}

frmCKDX::PortDecorator &decorator()
{
    static frmCKDX::PortDecorator d;
    return d;
}

// The sender's timer: a transfer starts one interval after it is enabled.
constexpr int kSenderTimerMs = 200;

} // namespace

frmCKDX &frmCKDX::instance()
{
    if (!g_instance)
        g_instance = new frmCKDX();
    return *g_instance;
}

bool frmCKDX::portOwnedByTransfer()
{
    if (!g_instance)
        return false;
    const frmCKDX &f = *g_instance;
    return f.m_blnLoaderRunning || f.m_blnRunning || f.m_timer1.isEnabled();
}

void frmCKDX::setPortFactory(PortFactory f)
{
    factory() = std::move(f);
}

void frmCKDX::setPortDecorator(PortDecorator d)
{
    decorator() = std::move(d);
}

void frmCKDX::resetInstance()
{
    delete g_instance;
    g_instance = nullptr;
}

frmCKDX::frmCKDX()
{
    m_comm = factory() ? factory()() : std::make_unique<platform::PosixSerialPort>();
    if (decorator())
        m_comm = decorator()(std::move(m_comm));
    m_timer1.setInterval(kSenderTimerMs);
    m_timer1.setEnabled(false);
    connect(&m_timer1, &platform::Timer::timeout, this, &frmCKDX::Timer1_Timer);
}

frmCKDX::~frmCKDX()
{
    if (m_comm && m_comm->portOpen())
        m_comm->setPortOpen(false);
}
