#pragma once

#include "TextFile.h"
#include "TrafficRecorder.h"

#include <QString>

namespace kdxctl {

struct Options;

// kdxctl --trace and --trace-file: every exchange on the line, decoded, one line
// per event on standard error and/or appended to a file, each line written out
// as soon as it is known. Lives for the whole command; the pending rest is
// written when it ends.
class Trace
{
public:
    Trace();
    ~Trace();
    Trace(const Trace &) = delete;
    Trace &operator=(const Trace &) = delete;

    // Taps the port the command will open. False with the reason when the trace
    // file cannot be opened; then nothing is tapped.
    bool start(const Options &options, QString &problem);

private:
    void write(const QByteArray &line);

    bool m_stderr = false;
    bool m_started = false;
    platform::TextFile m_file;
    monitor::TraceLines m_lines;
    monitor::TrafficRecorder m_recorder;
};

} // namespace kdxctl
