#pragma once

#include "Clock.h"

#include <QElapsedTimer>

namespace platform {

class RealClock final : public Clock
{
public:
    RealClock();
    qint64 nowMs() const override;
    void processEvents(qint64 maxWaitMs) override;

private:
    QElapsedTimer m_timer;
};

} // namespace platform
