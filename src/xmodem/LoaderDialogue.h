#pragma once

#include "TransferLine.h"

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <chrono>

class XModemSender;

// Puts the display into its firmware loader: ESC "Load", "1" until the loader
// prompts with ">", "XA" CR, and the code type once it prompts again. The
// dialogue writes its progress into the sender, whose progress the windows
// show. It ends after 15 s in which the display sent nothing at all, within a
// minute however much the line chatters, and at the next poll after a stop
// request. Whatever ends it early lets the port go, so that the next attempt
// opens the port afresh (an adapter plugged in again is a new device).
class LoaderDialogue
{
public:
    LoaderDialogue(TransferLine line, XModemSender &sender);

    // 0 the loader has the code type (the port stays open for the transfer);
    // -4 the loader did not prompt in time; -3 the port failed; -7 stopped (the
    // loader's closing sent); -8 a code type other than 0 or 1. The port must be
    // open; it is closed after every result but 0.
    qint32 run(qint32 codeType);

    // How far the last dialogue got: the request it was waiting on.
    enum class Step { LoadRequest, XModemRequest, CodeType };
    Step step() const { return m_step; }
    // What went wrong, for a result of run(), in words for a message: "the
    // display did not answer the request to switch to its loader".
    QString failureText(qint32 result) const;

    // Seen at the next poll; cleared when the next dialogue starts.
    void stop() { m_blnStop = true; }
    bool isRunning() const { return m_blnRunning; }

    // However many bytes without ">" arrive, the dialogue ends after this.
    static constexpr std::chrono::milliseconds kBound {60000};
    // A display that sends no byte at all for this long is not there.
    static constexpr std::chrono::milliseconds kSilenceBound {15000};

    // What takes the display out of its loader when an update ends early:
    // ESC "R" CR, with CAN CAN before it once the loader waits for blocks.
    static QByteArray leaveLoader(bool blocksUnderWay);

private:
    enum class Wait { Prompt, Silent, Fault, Stopped, OutOfTime };
    // The loader's prompt wait: a look every 500 ms; 10 silent looks in a row
    // end it, looks that bring bytes do not count.
    Wait WaitForPrompt();
    qint32 dialogue(qint32 codeType);
    bool write(const QByteArray &bytes);
    qint32 closeAfterStop();

    TransferLine m_line;
    XModemSender &m_sender;
    qint64 m_deadlineMs = 0;
    qint64 m_lastByteMs = 0;
    Step m_step = Step::LoadRequest;
    bool m_blnStop = false;
    bool m_blnRunning = false;
};
