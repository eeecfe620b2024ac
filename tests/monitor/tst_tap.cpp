// The traffic tap: a decorator of the serial port that reports what goes over
// it, and the recorder that turns its reports into decoded events.

#include "CKDX.h"
#include "TapSerialPort.h"
#include "TestEnv.h"
#include "TextFile.h"
#include "TrafficRecorder.h"
#include "frmCKDX.h"

#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>
#include <unistd.h>

using platform::TapEvent;
using platform::TapSerialPort;

namespace {

class RecordingSink final : public platform::TrafficSink
{
public:
    void tapped(const TapEvent &e) override { events.push_back(e); }
    QStringList lines() const
    {
        QStringList out;
        static const char *const kinds[] = {"write", "read", "open", "close", "settings", "fault"};
        for (const TapEvent &e : events)
            out << (QLatin1String(kinds[int(e.kind)]) + QLatin1Char(' ') + QString::fromLatin1(e.bytes.toHex(' ')) + e.text).trimmed();
        return out;
    }
    std::vector<TapEvent> events;
};

struct SinkGuard
{
    explicit SinkGuard(platform::TrafficSink *s) { TapSerialPort::setSink(s); }
    ~SinkGuard() { TapSerialPort::setSink(nullptr); }
};

} // namespace

class tst_tap : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { kdxtest::isolateUserFolders(); }
    void reportsEveryOperation();
    void withoutSinkOnlyForwards();
    void faultsAreReported();
    void driverCommandDecoded();
    void textFileRefusesWhatIsNotARegularFile();
};

void tst_tap::reportsEveryOperation()
{
    auto fake = std::make_unique<kdxtest::FakeSerialPort>();
    kdxtest::FakeSerialPort *port = fake.get();
    port->setResponder([](kdxtest::FakeSerialPort &p, const QByteArray &) { p.reply("\x06"); });
    TapSerialPort tap(std::move(fake));
    RecordingSink sink;
    SinkGuard guard(&sink);

    QVERIFY(tap.setCommPort(3));
    QVERIFY(tap.setSettings(QStringLiteral("19200,N,8,1"))); // closed: no event
    QVERIFY(tap.setPortOpen(true));
    QVERIFY(tap.setSettings(QStringLiteral("19200,N,8,1"))); // unchanged: no event
    QVERIFY(tap.setSettings(QStringLiteral("9600,E,7,1")));
    QVERIFY(tap.output(QByteArray("\x04\x01\x56\x17")));
    QCOMPARE(tap.inBufferCount(), 1);
    QByteArray in;
    QVERIFY(tap.input(in));
    QVERIFY(tap.input(in)); // nothing waiting: nothing reported
    QVERIFY(tap.setPortOpen(false));

    QCOMPARE(sink.lines(), (QStringList {"open COM3 19200,N,8,1", "settings 9600,E,7,1", "write 04 01 56 17", "read 06", "close"}));
    for (size_t i = 1; i < sink.events.size(); ++i)
        QVERIFY(sink.events[i].timeUs >= sink.events[i - 1].timeUs);
    // Everything reached the port behind the tap.
    QCOMPARE(port->writes, QList<QByteArray> {QByteArray("\x04\x01\x56\x17")});
    QCOMPARE(port->settings(), QStringLiteral("9600,E,7,1"));
}

void tst_tap::withoutSinkOnlyForwards()
{
    auto fake = std::make_unique<kdxtest::FakeSerialPort>();
    kdxtest::FakeSerialPort *port = fake.get();
    TapSerialPort tap(std::move(fake));
    RecordingSink sink;
    QVERIFY(tap.setPortOpen(true));
    QVERIFY(tap.output("AB"));
    {
        SinkGuard guard(&sink);
        QVERIFY(tap.output("C"));
    }
    QVERIFY(tap.output("D"));
    QVERIFY(tap.setPortOpen(false));
    QCOMPARE(sink.lines(), QStringList {"write 43"});
    QCOMPARE(port->written(), QByteArray("ABCD"));
}

void tst_tap::faultsAreReported()
{
    auto fake = std::make_unique<kdxtest::FakeSerialPort>();
    kdxtest::FakeSerialPort *port = fake.get();
    TapSerialPort tap(std::move(fake));
    RecordingSink sink;
    SinkGuard guard(&sink);

    port->failOpen = true;
    QVERIFY(!tap.setPortOpen(true));
    port->failOpen = false;
    QVERIFY(tap.setPortOpen(true));
    port->failWriteAt = 0;
    QVERIFY(!tap.output("X"));
    QCOMPARE(tap.lastFault().number, port->lastFault().number);

    QCOMPARE(sink.events.size(), size_t(3));
    QCOMPARE(sink.events[0].kind, TapEvent::Kind::Fault);
    QVERIFY2(sink.events[0].text.startsWith(QLatin1String("open COM1 failed: ")), qPrintable(sink.events[0].text));
    QCOMPARE(sink.events[1].kind, TapEvent::Kind::Open);
    QCOMPARE(sink.events[2].kind, TapEvent::Kind::Fault);
    QVERIFY(sink.events[2].text.startsWith(QLatin1String("write failed: ")));
}

// A command of the driver through the decorated port, as the programs install
// it, comes out in the protocol's words.
void tst_tap::driverCommandDecoded()
{
    frmCKDX::setPortDecorator([](std::unique_ptr<platform::SerialPort> p) {
        return std::make_unique<TapSerialPort>(std::move(p));
    });
    kdxtest::DriverEnv env;
    frmCKDX::setPortDecorator({});
    env.port().setResponder([](kdxtest::FakeSerialPort &p, const QByteArray &w) {
        if (w.startsWith("\x04\x01"))
            p.reply("\x06");
    });

    QStringList lines;
    monitor::TrafficRecorder recorder([&lines](std::vector<monitor::TrafficEvent> &&events) {
        for (const monitor::TrafficEvent &e : events)
            lines << QString(QLatin1Char(char(e.direction))) + QLatin1Char(' ') + e.meaning;
    });
    SinkGuard guard(&recorder);

    CKDX kdx;
    kdx.setCommPort(2);
    kdx.setBaudRate(QStringLiteral("19200"));
    kdx.setParity(QStringLiteral("N,8,1"));
    QCOMPARE(kdx.SetPosition(20), 0);
    recorder.finish();
    QCOMPARE(lines, (QStringList {"- open COM2 19200,N,8,1", "> SetPosition 20", "< ACK", "- close"}));
}

void tst_tap::textFileRefusesWhatIsNotARegularFile()
{
    QTemporaryDir dir;
    const QString file = dir.filePath("trace.txt");
    const QString link = dir.filePath("link.txt");
    const QString fifo = dir.filePath("fifo");
    QVERIFY(QFile::link(file, link));
    QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);

    platform::TextFile f;
    QVERIFY(!f.open(link, platform::TextFile::Mode::Append));
    QVERIFY(!QFile::exists(file)); // nothing created through the link
    QVERIFY(!f.open(fifo, platform::TextFile::Mode::Append)); // refused, not blocked
    QVERIFY(!f.open(QStringLiteral("/dev/null"), platform::TextFile::Mode::Replace));
    QVERIFY(!f.open(dir.path(), platform::TextFile::Mode::Append));

    QVERIFY(f.open(file, platform::TextFile::Mode::Append));
    QVERIFY(f.write("one\n"));
    f.close();
    QVERIFY(f.open(file, platform::TextFile::Mode::Append));
    QVERIFY(f.write("two\n"));
    f.close();
    QFile in(file);
    QVERIFY(in.open(QIODevice::ReadOnly));
    QCOMPARE(in.readAll(), QByteArray("one\ntwo\n"));
    in.close();
    QVERIFY(f.open(file, platform::TextFile::Mode::Replace));
    QVERIFY(f.write("three\n"));
    f.close();
    QVERIFY(in.open(QIODevice::ReadOnly));
    QCOMPARE(in.readAll(), QByteArray("three\n"));
}

QTEST_GUILESS_MAIN(tst_tap)
#include "tst_tap.moc"
