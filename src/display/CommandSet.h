#pragma once

#include <QtGlobal>

namespace kdxdisplay {

class VfdModel;

// One command set of the display: turns the bytes the host sends into changes of
// the display and into answers. Sets are byte-driven state machines, so a
// sequence may arrive split over any number of reads.
class CommandSet
{
public:
    explicit CommandSet(VfdModel &display)
        : m_display(display)
    {
    }
    virtual ~CommandSet() = default;

    virtual void feed(quint8 byte, qint64 now) = 0;
    // True while the set is inside a sequence, so that an ESC is a parameter of it
    // and not the start of something new.
    virtual bool busy() const = 0;
    virtual void reset() = 0;
    // Lets a set drop a sequence that stopped arriving half-way.
    virtual void idleFor(qint64 ms) { Q_UNUSED(ms); }

protected:
    VfdModel &m_display;
};

} // namespace kdxdisplay
