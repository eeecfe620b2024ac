#include "frmCKDX.h"

#include "PortFactory.h"
#include "modKDX.h"

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

} // namespace

frmCKDX &frmCKDX::instance()
{
    if (!g_instance)
        g_instance = new frmCKDX();
    return *g_instance;
}

bool frmCKDX::portOwnedByTransfer()
{
    return g_instance && (g_instance->m_loader->isRunning() || g_instance->m_sender->isBusy());
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
    m_comm = factory() ? factory()() : platform::makeSerialPort();
    // The traffic tap, when one is installed, sees every port the factory makes.
    if (decorator())
        m_comm = decorator()(std::move(m_comm));
    const TransferLine line {*m_comm, [](std::chrono::milliseconds ms) { modKDX::Delay(ms); }};
    m_sender = std::make_unique<XModemSender>(line);
    m_loader = std::make_unique<LoaderDialogue>(line, *m_sender);
}

frmCKDX::~frmCKDX()
{
    m_loader.reset();
    m_sender.reset();
    if (m_comm && m_comm->portOpen())
        m_comm->setPortOpen(false);
}
