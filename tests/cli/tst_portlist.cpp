// The port list of kdxctl --port and the summary's exit status.

#include "PortList.h"
#include "RunSummary.h"

#include <QtTest>

namespace {

using Entry = platform::PortMap::Entry;

// COM1-COM3 and COM5-COM8 are plugged in, COM4's device is gone.
QList<Entry> rack()
{
    QList<Entry> map;
    for (int n : {1, 2, 3, 4, 5, 6, 7, 8})
        map.append(Entry {n, QStringLiteral("/nonexistent/tty%1").arg(n), n != 4});
    return map;
}

} // namespace

class tst_PortList : public QObject
{
    Q_OBJECT

private slots:
    void isList_data();
    void isList();
    void parse_data();
    void parse();
    void allOfAnEmptyMap();
    void optionsFor_data();
    void optionsFor();
    void exitStatus_data();
    void exitStatus();
};

void tst_PortList::isList_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("list");
    QTest::newRow("one COM name") << "COM1" << false;
    QTest::newRow("a device path with dashes") << "/dev/serial/by-id/usb-FTDI_FT232R-if00-port0" << false;
    QTest::newRow("an address") << "rfc2217://pos-12:4001" << false;
    QTest::newRow("two names") << "COM1,COM2" << true;
    QTest::newRow("a range") << "COM5-COM8" << true;
    QTest::newRow("all") << "all" << true;
}

void tst_PortList::isList()
{
    QFETCH(QString, text);
    QFETCH(bool, list);
    QCOMPARE(PortList::isList(text), list);
}

void tst_PortList::parse_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("ports");
    QTest::addColumn<QString>("error"); // a part of the reason, when it fails

    const QStringList none;
    QTest::newRow("names, a range and an address")
        << "COM1,COM2,COM5-COM8,rfc2217://pos-12:4001"
        << QStringList {"COM1", "COM2", "COM5", "COM6", "COM7", "COM8", "rfc2217://pos-12:4001"} << QString();
    QTest::newRow("the list's order is kept") << "COM3,COM1,tcp://10.0.0.5:4001,/dev/ttyUSB0"
                                              << QStringList {"COM3", "COM1", "tcp://10.0.0.5:4001", "/dev/ttyUSB0"}
                                              << QString();
    QTest::newRow("any case, blanks around entries") << "com2 , Com1" << QStringList {"COM2", "COM1"} << QString();
    QTest::newRow("short range") << "COM6-8" << QStringList {"COM6", "COM7", "COM8"} << QString();
    QTest::newRow("range of one") << "COM3-COM3" << QStringList {"COM3"} << QString();
    QTest::newRow("a named port whose device is gone is kept") << "COM4" << QStringList {"COM4"} << QString();
    QTest::newRow("all: the present entries")
        << "all" << QStringList {"COM1", "COM2", "COM3", "COM5", "COM6", "COM7", "COM8"} << QString();
    QTest::newRow("ALL") << "ALL" << QStringList {"COM1", "COM2", "COM3", "COM5", "COM6", "COM7", "COM8"} << QString();

    QTest::newRow("twice") << "COM1,COM2,COM1" << none << "COM1 is named twice";
    QTest::newRow("inside a range") << "COM5-COM8,COM6" << none << "COM6 is named twice";
    QTest::newRow("overlapping ranges") << "COM1-COM3,COM3-COM5" << none << "COM3 is named twice";
    QTest::newRow("all and a name") << "all,COM2" << none << "COM2 is named twice";
    QTest::newRow("a COM name and its device") << "COM3,/nonexistent/tty3" << none << "COM3 and /nonexistent/tty3 are the same port";
    QTest::newRow("a device path written twice") << "/nonexistent//tty9,/nonexistent/tty9" << none << "are the same port";
    QTest::newRow("one address, two schemes") << "rfc2217://Pos-12:4001,tcp://pos-12:4001" << none << "are the same port";
    QTest::newRow("backwards") << "COM8-COM5" << none << "COM8-COM5 runs backwards";
    QTest::newRow("not in the map") << "COM1,COM9" << none << "COM9 is not in the port map";
    QTest::newRow("range past the map") << "COM7-COM10" << none << "COM9 is not in the port map";
    QTest::newRow("COM0") << "COM0,COM1" << none << "COM numbers run from 1";
    QTest::newRow("unknown name") << "COM1,pos12" << none << "unknown port \"pos12\"";
    QTest::newRow("a range of paths") << "COM1,/dev/ttyS0-/dev/ttyS3" << QStringList {"COM1", "/dev/ttyS0-/dev/ttyS3"} << QString();
    QTest::newRow("an empty entry") << "COM1,,COM2" << none << "an empty entry";
    QTest::newRow("a trailing comma") << "COM1," << none << "an empty entry";
    QTest::newRow("an address without a host") << "COM1,tcp://" << none << "names no host";
}

void tst_PortList::parse()
{
    QFETCH(QString, text);
    QFETCH(QStringList, ports);
    QFETCH(QString, error);
    QStringList got {"untouched"};
    QString why;
    const bool ok = PortList::parse(text, rack(), &got, &why);
    if (error.isEmpty()) {
        QVERIFY2(ok, qPrintable(why));
        QCOMPARE(got, ports);
    } else {
        QVERIFY(!ok);
        QVERIFY2(why.contains(error), qPrintable(why));
        QCOMPARE(got, QStringList {"untouched"});
    }
}

void tst_PortList::allOfAnEmptyMap()
{
    QString why;
    QList<Entry> unplugged {Entry {1, QStringLiteral("/nonexistent/tty1"), false}};
    QVERIFY(!PortList::parse(QStringLiteral("all"), unplugged, nullptr, &why));
    QVERIFY2(why.contains(QLatin1String("no ports")), qPrintable(why));
}

// What each port's kdxctl is given: the call's options without the list.
void tst_PortList::optionsFor_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QStringList>("options");
    QTest::newRow("list first") << QStringList {"--port", "COM1,COM2", "--baud", "9600", "intl", "32"}
                                << QStringList {"--port", "COM2", "--baud", "9600"};
    QTest::newRow("= forms and switches")
        << QStringList {"--json", "--baud=9600", "--port=all", "--keep-going", "run", "-"}
        << QStringList {"--port", "COM2", "--baud=9600", "--keep-going"};
    QTest::newRow("a value that looks like an option's name")
        << QStringList {"--parity", "--json", "--port", "all", "version"}
        << QStringList {"--port", "COM2", "--parity", "--json"};
    QTest::newRow("the command's own options stay out")
        << QStringList {"--port", "all", "firmware", "--port", "f.bin", "--crc"} << QStringList {"--port", "COM2"};
}

void tst_PortList::optionsFor()
{
    QFETCH(QStringList, arguments);
    QFETCH(QStringList, options);
    auto takesValue = [](const QString &name) {
        return name == QLatin1String("port") || name == QLatin1String("baud") || name == QLatin1String("parity");
    };
    QCOMPARE(PortList::optionsFor(QStringLiteral("COM2"), arguments, takesValue), options);
}

void tst_PortList::exitStatus_data()
{
    QTest::addColumn<QList<int>>("statuses");
    QTest::addColumn<int>("exit");
    QTest::newRow("all succeeded") << QList<int> {0, 0, 0} << 0;
    QTest::newRow("the first failure in list order") << QList<int> {0, 6, 4} << 6;
    QTest::newRow("a late failure") << QList<int> {0, 0, 7} << 7;
    QTest::newRow("stopped by a signal") << QList<int> {130, 4} << 130;
    QTest::newRow("no ports") << QList<int> {} << 0;
}

void tst_PortList::exitStatus()
{
    QFETCH(QList<int>, statuses);
    QFETCH(int, exit);
    QList<PortOutcome> outcomes;
    for (int i = 0; i < statuses.size(); ++i)
        outcomes.append(PortOutcome {QStringLiteral("COM%1").arg(i + 1), statuses[i], QString(), 10});
    QCOMPARE(RunSummary::exitStatus(outcomes), exit);

    const QString table = RunSummary::table(outcomes);
    const QJsonObject json = QJsonDocument::fromJson(RunSummary::json(outcomes)).object();
    QCOMPARE(json["status"].toInt(), exit);
    QStringList failed;
    for (const PortOutcome &o : outcomes) {
        if (o.status != 0)
            failed.append(o.port);
    }
    QCOMPARE(json["failed"].toVariant().toStringList(), failed);
    QCOMPARE(json["ports"].toArray().size(), outcomes.size());
    if (failed.isEmpty())
        QVERIFY2(table.endsWith(QLatin1String("succeeded\n")), qPrintable(table));
    else
        QVERIFY2(table.endsWith(QStringLiteral("failed: %1\n").arg(failed.join(QStringLiteral(", ")))), qPrintable(table));
}

QTEST_GUILESS_MAIN(tst_PortList)
#include "tst_portlist.moc"
