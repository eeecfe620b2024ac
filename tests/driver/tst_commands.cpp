// Bytes on the wire, results and port discipline of the driver's commands, on a
// scripted port and the virtual clock.

#include "CKDX.h"
#include "TestEnv.h"

#include <QtTest>

#include <functional>

using Op = std::function<qint32(CKDX &)>;
Q_DECLARE_METATYPE(Op)

namespace {

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}

// A display that acknowledges every native frame at once.
void ackFrames(kdxtest::FakeSerialPort &port, const QByteArray &written)
{
    if (written.startsWith(hex("04 01")))
        port.reply(hex("06"));
}

} // namespace

class tst_commands : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { kdxtest::isolateUserFolders(); }

    void bytesOnTheWire_data();
    void bytesOnTheWire();
    void invalidParameterSendsNothing_data();
    void invalidParameterSendsNothing();
    void answers_data();
    void answers();
    void silenceGivesUpAfterExactPolls_data();
    void silenceGivesUpAfterExactPolls();
    void lastPollStillCounts();
    void staleInputIsDiscarded();
    void versionAndMessageReplies_data();
    void versionAndMessageReplies();
    void connectionStates();
    void parityMapping_data();
    void parityMapping();
    void printerOnWhilePortOpen();
    void vt100SendKeepsPortOpen();
    void commDataLeavesTextWhenNothingArrives();
    void textConversionAndWriting_data();
    void textConversionAndWriting();
    void stringAndByte();
    void byteArrayWaitsForAck();
    void portFaults_data();
    void portFaults();
    void errorTexts_data();
    void errorTexts();
    void showErrorDescription();
};

void tst_commands::bytesOnTheWire_data()
{
    QTest::addColumn<Op>("op");
    QTest::addColumn<QByteArray>("wire");
    QTest::addColumn<int>("result");

    auto row = [](const char *name, Op op, const char *wire, int result = 0) {
        QTest::newRow(name) << op << hex(wire) << result;
    };
    row("baud 38400 N,8,1", [](CKDX &k) { return k.SetBaudRate("38400", "N,8,1"); }, "04 01 42 36 4E 17");
    row("baud 300 shares the code", [](CKDX &k) { return k.SetBaudRate("300", "N,8,1"); }, "04 01 42 36 4E 17");
    row("baud 115200 e,8,1", [](CKDX &k) { return k.SetBaudRate("115200", "e,8,1"); }, "04 01 42 37 65 17");
    row("baud 115200 E,8,1", [](CKDX &k) { return k.SetBaudRate("115200", "E,8,1"); }, "04 01 42 37 65 17");
    row("baud 19200 ODD", [](CKDX &k) { return k.SetBaudRate("19200", "ODD"); }, "04 01 42 30 4F 17");
    row("baud 9600 o,8,1", [](CKDX &k) { return k.SetBaudRate("9600", "o,8,1"); }, "04 01 42 31 6F 17");
    row("baud empty", [](CKDX &k) { return k.SetBaudRate("", "N,8,1"); }, "", kdx::InvalidBaudRate);
    row("parity n,8,1 unknown", [](CKDX &k) { return k.SetBaudRate("9600", "n,8,1"); }, "", kdx::InvalidBaudRate);
    row("baud 57600 unknown", [](CKDX &k) { return k.SetBaudRate("57600", "N,8,1"); }, "", kdx::InvalidBaudRate);
    row("international 3A", [](CKDX &k) { return k.SetInternationalCode(0x3A); }, "04 01 49 3A 17");
    row("international 0", [](CKDX &k) { return k.SetInternationalCode(0); }, "04 01 49 00 17");
    row("save layer 1", [](CKDX &k) { return k.SaveMessage(1); }, "04 01 53 31 17");
    row("position 20", [](CKDX &k) { return k.SetPosition(20); }, "04 01 50 44 17");
    row("clear 1 to 20", [](CKDX &k) { return k.ClearDisplay(1, 20); }, "04 01 43 31 44 17");
    row("clear halves to even", [](CKDX &k) { return k.ClearDisplay(2.5, 3.5); }, "04 01 43 32 34 17");
    row("demo layer 0 mode 2", [](CKDX &k) { return k.DisplayDemoMessage(0, 2); }, "04 01 44 31 33 17");
    row("reboot mode running", [](CKDX &k) { return k.DisplayShowSavedMessageAfterRebootMode(1); }, "04 01 4F 31 17");
    row("switch to epson", [](CKDX &k) { return k.SwitchCommand(1); }, "1B 5A 31 00");
    row("switch to native", [](CKDX &k) { return k.SwitchCommand(0); }, "1B 5A 30 00");
    row("printer on", [](CKDX &k) { return k.PrinterOn(); }, "1B 47");
    row("printer off", [](CKDX &k) { return k.PrinterOff(); }, "1B 53");
    row("lamp test 40 cells", [](CKDX &k) { return k.FullyLightTube(40); },
        QByteArray(40, char(0xB2)).toHex().constData());
    row("lamp test no cells", [](CKDX &k) { return k.FullyLightTube(0); }, "");
    row("version request", [](CKDX &k) { QString v; return k.GetVersion(v); }, "04 01 56 17", kdx::Nack);
    row("message request", [](CKDX &k) { QString m; return k.GetMessage(m); }, "04 01 54 17", kdx::Nack);
}

void tst_commands::bytesOnTheWire()
{
    QFETCH(Op, op);
    QFETCH(QByteArray, wire);
    QFETCH(int, result);

    kdxtest::DriverEnv env;
    env.port().setResponder(ackFrames);
    CKDX kdx;
    kdx.setCommPort(3);
    kdx.setBaudRate("19200");
    kdx.setParity("N,8,1");

    QCOMPARE(op(kdx), result);
    QCOMPARE(env.port().written().toHex(' '), wire.toHex(' '));
    QVERIFY2(!env.port().portOpen(), "every command closes the port");
    QCOMPARE(env.port().events.value(0), QStringLiteral("open 3 19200,N,8,1"));
}

void tst_commands::invalidParameterSendsNothing_data()
{
    QTest::addColumn<Op>("op");
    QTest::newRow("international 256") << Op([](CKDX &k) { return k.SetInternationalCode(256); });
    QTest::newRow("international -1") << Op([](CKDX &k) { return k.SetInternationalCode(-1); });
    QTest::newRow("position 208") << Op([](CKDX &k) { return k.SetPosition(208); });
    QTest::newRow("save layer -49") << Op([](CKDX &k) { return k.SaveMessage(-49); });
    QTest::newRow("clear end 300") << Op([](CKDX &k) { return k.ClearDisplay(1, 300); });
    QTest::newRow("demo layer 255") << Op([](CKDX &k) { return k.DisplayDemoMessage(255, 0); });
    QTest::newRow("reboot mode -48.6") << Op([](CKDX &k) { return k.DisplayShowSavedMessageAfterRebootMode(-48.6); });
    QTest::newRow("switch 300") << Op([](CKDX &k) { return k.SwitchCommand(300); });
}

void tst_commands::invalidParameterSendsNothing()
{
    QFETCH(Op, op);
    kdxtest::DriverEnv env;
    env.port().setResponder(ackFrames);
    CKDX kdx;
    kdx.setCommPort(1);
    kdx.setBaudRate("9600");
    kdx.setParity("N,8,1");
    QCOMPARE(op(kdx), kdx::InvalidParameter);
    QVERIFY(env.port().writes.isEmpty());
    QVERIFY2(env.port().events.isEmpty(), "refused before the port opens");

    // A port that would not open does not hide the refusal.
    env.port().failOpen = true;
    QCOMPARE(op(kdx), kdx::InvalidParameter);
    QVERIFY(env.port().events.isEmpty());
}

void tst_commands::answers_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<int>("result");
    QTest::newRow("ACK") << hex("06") << 0;
    QTest::newRow("only the first byte counts") << hex("06 06") << 0;
    QTest::newRow("ACK after other bytes") << hex("15 06") << int(kdx::Nack);
    QTest::newRow("NAK") << hex("15") << int(kdx::Nack);
}

void tst_commands::answers()
{
    QFETCH(QByteArray, answer);
    QFETCH(int, result);
    kdxtest::DriverEnv env;
    env.port().setResponder([answer](kdxtest::FakeSerialPort &p, const QByteArray &) { p.reply(answer, 120); });
    CKDX kdx;
    kdx.setCommPort(1);
    kdx.setBaudRate("19200");
    kdx.setParity("N,8,1");
    QCOMPARE(kdx.SetPosition(1), result);
}

void tst_commands::silenceGivesUpAfterExactPolls_data()
{
    QTest::addColumn<Op>("op");
    QTest::addColumn<int>("result");
    QTest::addColumn<int>("polls");
    QTest::addColumn<int>("pollMs");
    QTest::newRow("native command") << Op([](CKDX &k) { return k.SaveMessage(1); }) << int(kdx::NoResponse) << 16 << 50;
    QTest::newRow("stored message") << Op([](CKDX &k) { QString m; return k.GetMessage(m); })
                                    << int(kdx::NoResponse) << 16 << 200;
    QTest::newRow("version") << Op([](CKDX &k) { QString v; return k.GetVersion(v); }) << int(kdx::NoResponse) << 11
                             << 100;
    QTest::newRow("byte array") << Op([](CKDX &k) { return k.SendMessageByteArray(hex("C4 0D")); })
                                << int(kdx::NoResponse) << 31 << 1;
}

void tst_commands::silenceGivesUpAfterExactPolls()
{
    QFETCH(Op, op);
    QFETCH(int, result);
    QFETCH(int, polls);
    QFETCH(int, pollMs);
    kdxtest::DriverEnv env;
    CKDX kdx;
    kdx.setCommPort(1);
    kdx.setBaudRate("19200");
    kdx.setParity("N,8,1");
    const qint64 start = env.clock.nowMs();
    QCOMPARE(op(kdx), result);
    // Each poll's wait ends on the first reading strictly past its length.
    QCOMPARE(env.clock.nowMs() - start, qint64(polls) * (pollMs + 1));
    QCOMPARE(env.port().inBufferCountCalls, polls);
}

void tst_commands::lastPollStillCounts()
{
    // The 16th look at the buffer comes after 15 waits of 51 ms: an ACK then is
    // taken, one a millisecond later is too late.
    for (int at : {765, 766}) {
        kdxtest::DriverEnv env;
        env.port().setResponder([at](kdxtest::FakeSerialPort &p, const QByteArray &) { p.reply(hex("06"), at); });
        CKDX kdx;
        kdx.setCommPort(1);
        kdx.setBaudRate("19200");
        kdx.setParity("N,8,1");
        QCOMPARE(kdx.SetPosition(1), at == 765 ? kdx::OK : kdx::NoResponse);
    }
}

void tst_commands::staleInputIsDiscarded()
{
    kdxtest::DriverEnv env;
    CKDX kdx;
    kdx.setCommPort(1);
    kdx.setBaudRate("19200");
    kdx.setParity("N,8,1");
    // A late ACK of an earlier exchange is waiting when the command starts.
    env.port().setResponder([](kdxtest::FakeSerialPort &p, const QByteArray &w) {
        if (w == hex("1B 47"))
            p.reply(hex("06"));
    });
    QCOMPARE(kdx.Connect(), kdx::OK);
    env.port().output(hex("1B 47"));
    QCOMPARE(kdx.SaveMessage(2), kdx::NoResponse);
}

void tst_commands::versionAndMessageReplies_data()
{
    QTest::addColumn<bool>("version");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<int>("result");
    QTest::addColumn<QString>("text");
    QTest::newRow("version of 3 bytes") << true << QByteArray("?12") << int(kdx::Nack) << "unchanged";
    QTest::newRow("version of 5 bytes") << true << QByteArray("?1.05") << 0 << "?1.05";
    QTest::newRow("version keeps ANSI") << true << hex("3F 31 2E 30 E9") << 0 << QString::fromUtf8("?1.0é");
    QTest::newRow("message Hi") << false << hex("01 48 69 17") << 0 << "Hi";
    QTest::newRow("empty message") << false << hex("01 17") << 0 << "";
    QTest::newRow("message NAK") << false << hex("15") << int(kdx::Nack) << "unchanged";
    QTest::newRow("message not mapped back") << false << hex("01 81 17") << 0 << QString(QChar(0x81));
}

void tst_commands::versionAndMessageReplies()
{
    QFETCH(bool, version);
    QFETCH(QByteArray, reply);
    QFETCH(int, result);
    QFETCH(QString, text);
    kdxtest::DriverEnv env;
    // The reply trickles in: the settle wait must collect all of it.
    env.port().setResponder([reply](kdxtest::FakeSerialPort &p, const QByteArray &) {
        p.reply(reply.left(1), 150);
        p.reply(reply.mid(1), 250);
    });
    CKDX kdx;
    kdx.setCommPort(1);
    kdx.setBaudRate("19200");
    kdx.setParity("N,8,1");
    QString out = QStringLiteral("unchanged");
    QCOMPARE(version ? kdx.GetVersion(out) : kdx.GetMessage(out), result);
    QCOMPARE(out, text);
    QVERIFY(!env.port().portOpen());
}

void tst_commands::connectionStates()
{
    kdxtest::DriverEnv env;
    CKDX fresh;
    QCOMPARE(fresh.Connect(), kdx::OpenFailed); // no port, no settings

    CKDX kdx;
    kdx.setCommPort(3);
    kdx.setBaudRate("9600");
    kdx.setParity("n,8,1");
    QCOMPARE(kdx.Connect(), kdx::OK);
    QCOMPARE(env.port().commPort(), 3);
    QCOMPARE(env.port().settings(), QStringLiteral("9600,N,8,1"));
    QCOMPARE(kdx.Connect(), kdx::AlreadyConnected);
    QVERIFY(env.port().portOpen());
    QCOMPARE(kdx.Disconnect(), kdx::OK);
    QCOMPARE(kdx.Disconnect(), kdx::NotConnected);

    kdx.setCommPort(70000); // beyond the control's 16 bits
    QCOMPARE(kdx.Connect(), kdx::OpenFailed);
    kdx.setCommPort(1);
    env.port().failOpen = true;
    QCOMPARE(kdx.SetPosition(1), kdx::OpenFailed);
    QVERIFY(env.port().writes.isEmpty());
}

void tst_commands::parityMapping_data()
{
    QTest::addColumn<int>("dataBit");
    QTest::addColumn<QString>("written");
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("settings");
    QTest::newRow("NONE") << 7 << "NONE" << "n,8,1" << "9600,N,8,1";
    QTest::newRow("ODD 7") << 7 << "ODD" << "o,7,1" << "9600,O,7,1";
    QTest::newRow("ODD 8") << 8 << "ODD" << "o,8,1" << "9600,O,8,1";
    QTest::newRow("EVEN 7") << 7 << "EVEN" << "e,7,1" << "9600,E,7,1";
    QTest::newRow("EVEN 8") << 8 << "EVEN" << "e,8,1" << "9600,E,8,1";
    QTest::newRow("odd lower case kept") << 7 << "odd" << "odd" << "";
    QTest::newRow("list text kept") << 7 << "O,7,1" << "O,7,1" << "9600,O,7,1";
}

void tst_commands::parityMapping()
{
    QFETCH(int, dataBit);
    QFETCH(QString, written);
    QFETCH(QString, stored);
    QFETCH(QString, settings);
    kdxtest::DriverEnv env;
    CKDX kdx;
    QCOMPARE(kdx.DataBit(), qint16(7));
    kdx.setDataBit(qint16(dataBit));
    kdx.setParity(written);
    QCOMPARE(kdx.Parity(), stored);
    kdx.setCommPort(1);
    kdx.setBaudRate("9600");
    const qint32 r = kdx.Connect();
    if (settings.isEmpty()) {
        QCOMPARE(r, kdx::OpenFailed); // "9600,ODD" is no settings string
    } else {
        QCOMPARE(r, kdx::OK);
        QCOMPARE(env.port().settings(), settings);
    }
}

void tst_commands::printerOnWhilePortOpen()
{
    kdxtest::DriverEnv env;
    CKDX kdx;
    kdx.setCommPort(1);
    kdx.setBaudRate("9600");
    kdx.setParity("N,8,1");
    QCOMPARE(kdx.Connect(), kdx::OK);
    QCOMPARE(kdx.PrinterOn(), kdx::AlreadyConnected);
    QCOMPARE(env.port().written(), hex("1B 47"));
    QVERIFY(!env.port().portOpen());
}

void tst_commands::vt100SendKeepsPortOpen()
{
    kdxtest::DriverEnv env;
    CKDX kdx;
    kdx.setCommPort(1);
    kdx.setBaudRate("9600");
    kdx.setParity("N,8,1");
    QCOMPARE(kdx.SendMessageB_VT100('A'), kdx::OK);
    QCOMPARE(kdx.SendMessageB_VT100('B'), kdx::OK);
    QCOMPARE(env.port().events, QStringList {"open 1 9600,N,8,1"});
    QCOMPARE(env.port().written(), QByteArray("AB"));
    // A following send closes what the key path left open.
    QCOMPARE(kdx.SendMessageB('C'), kdx::OK);
    QVERIFY(!env.port().portOpen());
}

void tst_commands::commDataLeavesTextWhenNothingArrives()
{
    kdxtest::DriverEnv env;
    CKDX kdx;
    kdx.setCommPort(1);
    kdx.setBaudRate("9600");
    kdx.setParity("N,8,1");
    QString text = QStringLiteral("as set");
    kdx.GetCommData(text);
    QCOMPARE(text, QStringLiteral("as set"));
    QVERIFY(env.port().portOpen());

    env.port().reply(hex("41 E9"), 150);
    kdx.GetCommData(text);
    QCOMPARE(text, QString::fromUtf8("Aé"));
    env.port().reply(hex("00 FF"), 150);
    QByteArray bytes;
    kdx.GetCommDataB(bytes);
    QCOMPARE(bytes, hex("00 FF"));
}

void tst_commands::textConversionAndWriting_data()
{
    QTest::addColumn<QString>("baud");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("wire");
    QTest::addColumn<int>("writes");
    QTest::newRow("umlauts to display codes") << "9600" << QString::fromUtf8("Grüße") << hex("47 72 81 E1 65") << 1;
    QTest::newRow("empty text") << "9600" << "" << QByteArray() << 0;
    QTest::newRow("4800: one write per byte") << "4800" << "0123456789" << QByteArray("0123456789") << 10;
    QTest::newRow("9600: one write") << "9600" << "0123456789" << QByteArray("0123456789") << 1;
    QTest::newRow("outside the code page") << "19200" << QString::fromUtf8("a€✓") << hex("61 80 3F") << 1;
    QTest::newRow("unmoved bytes pass") << "19200" << QString::fromUtf8("\u00C0\u00FD") << hex("C0 FD") << 1;
}

void tst_commands::textConversionAndWriting()
{
    QFETCH(QString, baud);
    QFETCH(QString, text);
    QFETCH(QByteArray, wire);
    QFETCH(int, writes);
    kdxtest::DriverEnv env;
    CKDX kdx;
    kdx.setCommPort(1);
    kdx.setBaudRate(baud);
    kdx.setParity("N,8,1");
    QCOMPARE(kdx.SendMessage(text), kdx::OK);
    QCOMPARE(env.port().written().toHex(' '), wire.toHex(' '));
    QCOMPARE(int(env.port().writes.size()), writes);
    QVERIFY(!env.port().portOpen());
}

void tst_commands::stringAndByte()
{
    kdxtest::DriverEnv env;
    CKDX kdx;
    kdx.setCommPort(1);
    kdx.setBaudRate("2400");
    kdx.setParity("N,8,1");
    QCOMPARE(kdx.SendMessageStringAndByte("ABC", 0x0D), kdx::OK);
    QCOMPARE(env.port().writes, (QList<QByteArray> {"ABC", hex("0D")}));
    env.port().clearRecord();
    QCOMPARE(kdx.SendMessageB(0xC4), kdx::OK); // no conversion for single bytes
    QCOMPARE(env.port().written(), hex("C4"));
}

void tst_commands::byteArrayWaitsForAck()
{
    kdxtest::DriverEnv env;
    CKDX kdx;
    kdx.setCommPort(1);
    kdx.setBaudRate("9600");
    kdx.setParity("N,8,1");
    env.port().setResponder([](kdxtest::FakeSerialPort &p, const QByteArray &) { p.reply(hex("06"), 20); });
    QCOMPARE(kdx.SendMessageByteArray(hex("C4 0D")), kdx::OK);
    QCOMPARE(env.port().written(), hex("C4 0D")); // unchanged, no conversion
    env.port().setResponder([](kdxtest::FakeSerialPort &p, const QByteArray &) { p.reply(hex("15"), 5); });
    QCOMPARE(kdx.SendMessageByteArray(hex("41")), kdx::Nack);
}

void tst_commands::portFaults_data()
{
    QTest::addColumn<Op>("op");
    QTest::addColumn<QString>("fault");
    auto both = [](const char *name, Op op) {
        QTest::newRow(QByteArray(name).append(", write fails").constData()) << op << "write";
        QTest::newRow(QByteArray(name).append(", device gone while waiting").constData()) << op << "hangup";
    };
    both("native command", [](CKDX &k) { return k.SetPosition(1); });
    both("version", [](CKDX &k) { QString v; return k.GetVersion(v); });
    both("message", [](CKDX &k) { QString m; return k.GetMessage(m); });
    both("byte array", [](CKDX &k) { return k.SendMessageByteArray("A"); });
    QTest::newRow("text, write fails") << Op([](CKDX &k) { return k.SendMessage("AB"); }) << "write";
    QTest::newRow("single byte, write fails") << Op([](CKDX &k) { return k.SendMessageB(1); }) << "write";
    QTest::newRow("lamp test, write fails") << Op([](CKDX &k) { return k.FullyLightTube(40); }) << "write";
    QTest::newRow("text and byte, write fails") << Op([](CKDX &k) { return k.SendMessageStringAndByte("A", 13); })
                                                << "write";
    QTest::newRow("switch, write fails") << Op([](CKDX &k) { return k.SwitchCommand(1); }) << "write";
    QTest::newRow("printer, write fails") << Op([](CKDX &k) { return k.PrinterOff(); }) << "write";
    QTest::newRow("vt100 key, write fails") << Op([](CKDX &k) { return k.SendMessageB_VT100('x'); }) << "write";
}

void tst_commands::portFaults()
{
    QFETCH(Op, op);
    QFETCH(QString, fault);
    kdxtest::DriverEnv env;
    CKDX kdx;
    kdx.setCommPort(1);
    kdx.setBaudRate("19200");
    kdx.setParity("N,8,1");
    if (fault == QLatin1String("write"))
        env.port().failWriteAt = 0;
    else
        env.port().setResponder([](kdxtest::FakeSerialPort &p, const QByteArray &) { p.hungUp = true; });
    // A fault of the port is a failure, never a success, and leaves the port closed.
    QCOMPARE(op(kdx), kdx::NotConnected);
    QVERIFY(!env.port().portOpen());
}

void tst_commands::errorTexts_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("text");
    QTest::newRow("0") << 0 << "Unknown error code.";
    QTest::newRow("-1") << -1 << "Device is already connected.";
    QTest::newRow("-2") << -2 << "Commport open failed.";
    QTest::newRow("-3") << -3 << "Device is not connected.";
    QTest::newRow("-4") << -4 << "Device does not respond.";
    QTest::newRow("-5") << -5 << "Invalid Baud Rate";
    QTest::newRow("-6") << -6 << "Get Nack";
    QTest::newRow("-7") << -7 << "Unknown error code.";
    QTest::newRow("-8") << -8 << "Invalid parameter.";
    QTest::newRow("7") << 7 << "Unknown error code.";
}

void tst_commands::errorTexts()
{
    QFETCH(int, code);
    QFETCH(QString, text);
    QString out;
    CKDX::ErrorDescription(code, out);
    QCOMPARE(out, text);
}

void tst_commands::showErrorDescription()
{
    kdxtest::DriverEnv env;
    CKDX kdx;
    kdx.ShowErrorDescription(kdx::NoResponse);
    QCOMPARE(env.dialogs.boxes.size(), 1);
    QCOMPARE(env.dialogs.boxes[0].text, QStringLiteral("Device does not respond."));
    QCOMPARE(env.dialogs.boxes[0].icon, platform::MsgIcon::Critical);
}

QTEST_GUILESS_MAIN(tst_commands)
#include "tst_commands.moc"
