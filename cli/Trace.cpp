#include "Trace.h"

#include "Commands.h"
#include "TapSerialPort.h"
#include "frmCKDX.h"

#include <cstdio>

namespace kdxctl {

Trace::Trace()
    : m_lines(platform::TapSerialPort::nowUs(), [this](const QByteArray &line) { write(line); })
    , m_recorder([this](std::vector<monitor::TrafficEvent> &&events) { m_lines.write(events); })
{
}

Trace::~Trace()
{
    if (!m_started)
        return;
    m_recorder.finish();
    platform::TapSerialPort::setSink(nullptr);
}

bool Trace::start(const Options &options, QString &problem)
{
    m_stderr = options.trace;
    if (!options.traceFile.isEmpty() && !m_file.open(options.traceFile, platform::TextFile::Mode::Append)) {
        problem = QStringLiteral("--trace-file: ") + m_file.errorString();
        return false;
    }
    if (!m_stderr && !m_file.isOpen())
        return true;
    frmCKDX::setPortDecorator([](std::unique_ptr<platform::SerialPort> port) {
        return std::make_unique<platform::TapSerialPort>(std::move(port));
    });
    platform::TapSerialPort::setSink(&m_recorder);
    m_started = true;
    return true;
}

void Trace::write(const QByteArray &line)
{
    if (m_stderr)
        std::fwrite(line.constData(), 1, size_t(line.size()), stderr);
    if (m_file.isOpen() && !m_file.write(line)) {
        std::fprintf(stderr, "kdxctl: --trace-file: %s; the trace stops\n", qPrintable(m_file.errorString()));
        m_file.close();
    }
}

} // namespace kdxctl
