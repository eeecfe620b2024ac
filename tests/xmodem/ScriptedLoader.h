#pragma once

#include "FakeSerialPort.h"

#include <QByteArray>
#include <QList>

#include <functional>

// The display's side of a firmware update on the fake port: the loader's
// prompts and an XModem receiver that answers each block as a test says. It
// sorts the sender's writes into blocks (header, data, check) and everything
// else, and notes the poll count and progress at each block.
class ScriptedLoader
{
public:
    struct Block
    {
        QByteArray header;
        QByteArray data;
        QByteArray check;
        int pollsBefore = 0;  // inBufferCount calls seen when the header arrived
        int progress = 0;     // the sender's progress when the header arrived
    };

    // Answer to the n-th block written (0-based, repeats counted); empty = silent.
    std::function<QByteArray(int n, const Block &block)> answerBlock = [](int, const Block &) {
        return QByteArray(1, 0x06);
    };
    // Prompt answers to the loader dialogue's writes, in order; a missing or
    // empty entry is silence.
    QList<QByteArray> promptAnswers {">", ">"};
    // Start request sent 300 ms after the code type has arrived (empty: none);
    // by default "C" or NAK, whichever the sender's block check asks for.
    QByteArray startRequest = kMatchingStart;
    static inline const QByteArray kMatchingStart = QByteArrayLiteral("match");
    qint64 answerAfterMs = 10;

    QList<Block> blocks;
    QList<QByteArray> dialogue;   // writes before the first block
    QList<int> progressAtDialogue; // progress when each of them arrived
    QList<QByteArray> afterBlocks; // writes after the last block
    QList<int> progressAtEnd;     // progress when each closing write arrived

    // Installs the script on the port.
    void attach(kdxtest::FakeSerialPort &port);

    QByteArray closing() const;

private:
    void onWrite(kdxtest::FakeSerialPort &port, const QByteArray &w);

    enum class Expect { Header, Data, Check } m_expect = Expect::Header;
    Block m_current;
};
