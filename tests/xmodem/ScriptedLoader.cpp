#include "ScriptedLoader.h"

#include "VirtualClock.h"
#include "frmCKDX.h"

void ScriptedLoader::attach(kdxtest::FakeSerialPort &port)
{
    port.setResponder([this](kdxtest::FakeSerialPort &p, const QByteArray &w) { onWrite(p, w); });
}

QByteArray ScriptedLoader::closing() const
{
    QByteArray all;
    for (const QByteArray &w : afterBlocks)
        all += w;
    return all;
}

void ScriptedLoader::onWrite(kdxtest::FakeSerialPort &port, const QByteArray &w)
{
    switch (m_expect) {
    case Expect::Header:
        if (w.size() == 3 && w.at(0) == 0x01) {
            m_current = Block {};
            m_current.header = w;
            m_current.pollsBefore = port.inBufferCountCalls;
            m_current.progress = frmCKDX::instance().sender().Progress();
            m_expect = Expect::Data;
            return;
        }
        if (blocks.isEmpty() && afterBlocks.isEmpty()
            && !(w.size() <= 2 && (w.at(0) == 0x04 || w.at(0) == 0x18 || w.at(0) == 0x1B
                                   || w == "R\r"))) {
            const int i = int(dialogue.size());
            dialogue << w;
            progressAtDialogue << frmCKDX::instance().sender().Progress();
            if (i < promptAnswers.size() && !promptAnswers[i].isEmpty())
                port.reply(promptAnswers[i], answerAfterMs);
            if ((w == "PX\r\n" || w == "ZX\r\n") && !startRequest.isEmpty()) {
                if (startRequest != kMatchingStart) {
                    port.reply(startRequest, 300);
                } else {
                    // The block check is chosen after the dialogue: look at it then.
                    platform::Clock &clock = platform::clock();
                    static_cast<kdxtest::VirtualClock &>(clock).schedule(clock.nowMs() + 300, [&port] {
                        port.reply(frmCKDX::instance().sender().CheckSumType() == 1 ? "C" : "\x15");
                    });
                }
            }
            return;
        }
        afterBlocks << w;
        progressAtEnd << frmCKDX::instance().sender().Progress();
        return;
    case Expect::Data:
        m_current.data = w;
        m_expect = Expect::Check;
        return;
    case Expect::Check: {
        m_current.check = w;
        m_expect = Expect::Header;
        blocks << m_current;
        const QByteArray answer = answerBlock(int(blocks.size()) - 1, blocks.last());
        if (!answer.isEmpty())
            port.reply(answer, answerAfterMs);
        return;
    }
    }
}
