// The single-model window on a scripted port: port list, line settings, the
// three actions and their status, the byte notation both ways, busy state, end.

#include "AppInfo.h"
#include "BuddySpinner.h"
#include "PortMap.h"
#include "TestEnv.h"
#include "frmMainKDXA.h"
#include "mod_InitKDXA.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QtTest>

#include <functional>
#include <memory>

using Action = std::function<void(frmMainKDXA &)>;
Q_DECLARE_METATYPE(Action)

namespace {

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}

template<class T>
T *child(QWidget &w, const char *name)
{
    T *c = w.findChild<T *>(QString::fromLatin1(name));
    if (!c)
        qFatal("no control %s", name);
    return c;
}

void click(frmMainKDXA &w, const char *button)
{
    child<QPushButton>(w, button)->click();
}

void setText(frmMainKDXA &w, const char *box, const QString &text)
{
    child<QLineEdit>(w, box)->setText(text);
}

void setBinary(frmMainKDXA &w, bool on)
{
    QSignalBlocker block(child<QCheckBox>(w, "Check1"));
    child<QCheckBox>(w, "Check1")->setChecked(on);
}

// A window over a fresh fake port, with a port map holding links COM<n> for the
// numbers given (to /dev/null, which exists) and dangling ones for the others.
// The machine's own serial devices join any map that can be written; a map with
// no links at all is made unwritable, so that the list really is empty.
struct Rig
{
    explicit Rig(const QList<int> &present = {1}, const QList<int> &dangling = {})
    {
        QString dir = portsDir.path();
        if (present.isEmpty() && dangling.isEmpty()) {
            QFile blocker(dir + QStringLiteral("/file"));
            blocker.open(QIODevice::WriteOnly);
            dir = blocker.fileName() + QStringLiteral("/ports");
        }
        qputenv("KDX_PORTS_DIR", QFile::encodeName(dir));
        platform::PortMap map;
        for (int n : present)
            map.addLink(n, QStringLiteral("/dev/null"));
        for (int n : dangling)
            map.addLink(n, portsDir.path() + QStringLiteral("/unplugged"));
        window = std::make_unique<frmMainKDXA>();
    }

    QString status() { return child<QLineEdit>(*window, "txtStatus")->text(); }
    // The listed ports that lead to /dev/null: the test's own.
    QStringList ports()
    {
        QStringList out;
        auto *cbo = child<QComboBox>(*window, "cboComport");
        const platform::PortMap map;
        for (int i = 0; i < cbo->count(); ++i) {
            const QString name = cbo->itemText(i);
            if (map.devicePath(name.mid(3).toInt()) == QLatin1String("/dev/null"))
                out << name;
        }
        return out;
    }
    void select(const QString &port)
    {
        auto *cbo = child<QComboBox>(*window, "cboComport");
        cbo->setCurrentIndex(cbo->findText(port));
    }

    QTemporaryDir portsDir;
    kdxtest::DriverEnv env;
    std::unique_ptr<frmMainKDXA> window;
};

// A display that acknowledges whatever it receives after a short while.
void ackAll(kdxtest::FakeSerialPort &port, const QByteArray &)
{
    port.reply(hex("06"), 5);
}

} // namespace

class tst_frmMainKDXA : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void startUp();
    void spinners_data();
    void spinners();
    void portList_data();
    void portList();
    void refreshRereadsThePortMap();
    void portNumberAndLine_data();
    void portNumberAndLine();
    void noPortMeansOpenFailed_data();
    void noPortMeansOpenFailed();
    void actions_data();
    void actions();
    void invalidBinaryFormat_data();
    void invalidBinaryFormat();
    void tickConvertsBothWays_data();
    void tickConvertsBothWays();
    void untick_data();
    void untick();
    void convertedControlCharactersAreSentAsTheyAre();
    void busyWhileWaiting();
    void exitAndCloseEndTheProgram();
};

void tst_frmMainKDXA::initTestCase()
{
    kdxtest::isolateUserFolders();
}

void tst_frmMainKDXA::startUp()
{
    kdxtest::DriverEnv env;
    QTemporaryDir ports;
    qputenv("KDX_PORTS_DIR", QFile::encodeName(ports.path()));
    platform::PortMap().addLink(2, QStringLiteral("/dev/null"));
    const std::unique_ptr<frmMainKDXA> w(mod_InitKDXA::Main());

    QCOMPARE(platform::app::title(), QStringLiteral("KDXA Utility"));
    QVERIFY(w->isVisible());
    QCOMPARE(w->windowTitle(), QStringLiteral("KDXA Utility V1.3R5"));
    const QList<QPair<const char *, QString>> texts {
        {"Label1", "Connect to:"}, {"Command2", "Refresh"},
        {"Label6", "Set Cursor Position:"}, {"txtPosition", "1"}, {"Command3", "Set"},
        {"Label7", "Clear Display Range (from ~ to ):"}, {"txtStart", "1"}, {"Label2", "~"},
        {"txtEnd", "40"}, {"Command4", "Set"},
        {"Label13", "Send Message:"}, {"Command5", "Send"}, {"Check1", "Binary Format"},
        {"Label26", "Status:"}, {"txtStatus", ""}, {"Command1", "&Exit"},
    };
    for (const auto &[name, text] : texts) {
        QObject *c = w->findChild<QObject *>(QString::fromLatin1(name));
        QVERIFY2(c, name);
        const QByteArray property = qobject_cast<QAbstractButton *>(c) || qobject_cast<QLabel *>(c)
                                            || qobject_cast<QLineEdit *>(c)
                                        ? "text"
                                        : "";
        QCOMPARE(c->property(property).toString(), text);
    }
    QCOMPARE(w->messageText(), QStringLiteral("Hello KDXA!!\r\n"));
    QVERIFY(!child<QCheckBox>(*w, "Check1")->isChecked());
    QCOMPARE(child<QComboBox>(*w, "cboComport")->currentIndex(), 0);
    QVERIFY(child<QComboBox>(*w, "cboComport")->findText(QStringLiteral("COM2")) >= 0);
    QVERIFY(env.dialogs.boxes.isEmpty());
}

void tst_frmMainKDXA::spinners_data()
{
    QTest::addColumn<QString>("spinner");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("steps");
    QTest::addColumn<QString>("shown");

    QTest::newRow("up from 1") << "UpDown2" << "1" << 1 << "2";
    QTest::newRow("not below 1") << "UpDown2" << "1" << -1 << "1";
    QTest::newRow("not above 40") << "UpDown1" << "40" << 1 << "40";
    QTest::newRow("39 up twice") << "UpDown3" << "39" << 2 << "40";
    QTest::newRow("typed beyond the range") << "UpDown1" << "100" << -1 << "39";
    QTest::newRow("typed below the range") << "UpDown3" << "-5" << 1 << "2";
    QTest::newRow("typed fraction") << "UpDown2" << "7.5" << 1 << "9";
    QTest::newRow("typed text steps the last value") << "UpDown1" << "abc" << -1 << "39";
}

void tst_frmMainKDXA::spinners()
{
    QFETCH(QString, spinner);
    QFETCH(QString, typed);
    QFETCH(int, steps);
    QFETCH(QString, shown);

    Rig rig;
    auto *spin = rig.window->findChild<BuddySpinner *>(spinner);
    QVERIFY(spin);
    QCOMPARE(spin->minimum(), 1);
    QCOMPARE(spin->maximum(), 40);
    spin->buddy()->setText(typed);
    // Half the steps by the arrow keys in the box, the rest by the arrows.
    for (int i = 0; i < qAbs(steps); ++i) {
        if (i % 2 == 0)
            QTest::keyClick(spin->buddy(), steps > 0 ? Qt::Key_Up : Qt::Key_Down);
        else
            spin->stepBy(steps > 0 ? 1 : -1);
    }
    QCOMPARE(spin->buddy()->text(), shown);
}

void tst_frmMainKDXA::portList_data()
{
    QTest::addColumn<QList<int>>("present");
    QTest::addColumn<QList<int>>("dangling");
    QTest::addColumn<QStringList>("listed");

    QTest::newRow("sorted by number") << QList<int> {3, 12, 1} << QList<int> {} << QStringList {"COM1", "COM3", "COM12"};
    QTest::newRow("unplugged not listed") << QList<int> {2} << QList<int> {1, 7} << QStringList {"COM2"};
    QTest::newRow("none") << QList<int> {} << QList<int> {} << QStringList {};
}

void tst_frmMainKDXA::portList()
{
    QFETCH(QList<int>, present);
    QFETCH(QList<int>, dangling);
    QFETCH(QStringList, listed);

    Rig rig(present, dangling);
    QCOMPARE(rig.ports(), listed);
    auto *cbo = child<QComboBox>(*rig.window, "cboComport");
    QCOMPARE(cbo->currentIndex(), cbo->count() ? 0 : -1);
    if (cbo->count() == 0) {
        QCOMPARE(rig.env.dialogs.boxes.size(), 1);
        QCOMPARE(rig.env.dialogs.boxes[0].text, QStringLiteral("No available comm ports."));
        QCOMPARE(rig.env.dialogs.boxes[0].icon, platform::MsgIcon::Exclamation);
    } else {
        QVERIFY(rig.env.dialogs.boxes.isEmpty());
    }
    QCOMPARE(rig.window->cursor().shape(), Qt::ArrowCursor);
}

void tst_frmMainKDXA::refreshRereadsThePortMap()
{
    Rig rig({5});
    auto *cbo = child<QComboBox>(*rig.window, "cboComport");
    platform::PortMap map;
    map.addLink(4, QStringLiteral("/dev/null"));
    rig.select(QStringLiteral("COM5"));
    click(*rig.window, "Command2");
    QCOMPARE(rig.ports(), (QStringList {"COM4", "COM5"}));
    QCOMPARE(cbo->currentIndex(), 0);
    QVERIFY(rig.env.dialogs.boxes.isEmpty());

    // A port map that has gone (here: cannot exist) empties the list.
    QFile blocker(rig.portsDir.path() + QStringLiteral("/file"));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    qputenv("KDX_PORTS_DIR", QFile::encodeName(blocker.fileName() + QStringLiteral("/ports")));
    click(*rig.window, "Command2");
    QCOMPARE(cbo->count(), 0);
    QCOMPARE(rig.env.dialogs.boxes.size(), 1);
    QCOMPARE(rig.env.dialogs.boxes[0].text, QStringLiteral("No available comm ports."));
    QCOMPARE(rig.env.dialogs.boxes[0].icon, platform::MsgIcon::Exclamation);
}

void tst_frmMainKDXA::portNumberAndLine_data()
{
    QTest::addColumn<QList<int>>("present");
    QTest::addColumn<QString>("port");
    QTest::addColumn<QString>("opened");

    QTest::newRow("COM10") << QList<int> {10} << "COM10" << "open 10 9600,N,8,1";
    QTest::newRow("COM12 after COM3") << QList<int> {3, 12} << "COM12" << "open 12 9600,N,8,1";
}

void tst_frmMainKDXA::portNumberAndLine()
{
    QFETCH(QList<int>, present);
    QFETCH(QString, port);
    QFETCH(QString, opened);

    Rig rig(present);
    rig.env.port().setResponder(ackAll);
    // Another line on the port beforehand must not leak into this window's commands.
    rig.env.port().setSettings(QStringLiteral("19200,E,7,1"));
    rig.select(port);
    for (const char *button : {"Command3", "Command4", "Command5"}) {
        rig.env.port().clearRecord();
        click(*rig.window, button);
        QCOMPARE(rig.env.port().events, (QStringList {opened, "close"}));
        QCOMPARE(rig.status(), QStringLiteral("OK"));
    }
}

void tst_frmMainKDXA::noPortMeansOpenFailed_data()
{
    QTest::addColumn<Action>("action");

    QTest::newRow("set position") << Action([](frmMainKDXA &w) { click(w, "Command3"); });
    QTest::newRow("clear range") << Action([](frmMainKDXA &w) { click(w, "Command4"); });
    QTest::newRow("send text") << Action([](frmMainKDXA &w) { click(w, "Command5"); });
    QTest::newRow("send bytes") << Action([](frmMainKDXA &w) {
        setBinary(w, true);
        w.setMessageText(QStringLiteral("/65"));
        click(w, "Command5");
    });
}

void tst_frmMainKDXA::noPortMeansOpenFailed()
{
    QFETCH(Action, action);

    Rig rig(QList<int> {});
    action(*rig.window);
    QCOMPARE(rig.status(), QStringLiteral("Commport open failed."));
    QVERIFY(rig.env.port().events.isEmpty());
    QVERIFY(rig.env.port().writes.isEmpty());
}

void tst_frmMainKDXA::actions_data()
{
    QTest::addColumn<Action>("action");
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<QByteArray>("wire");
    QTest::addColumn<QString>("status");

    auto position = [](const QString &text) {
        return Action([text](frmMainKDXA &w) {
            setText(w, "txtPosition", text);
            click(w, "Command3");
        });
    };
    auto clear = [](const QString &from, const QString &to) {
        return Action([from, to](frmMainKDXA &w) {
            setText(w, "txtStart", from);
            setText(w, "txtEnd", to);
            click(w, "Command4");
        });
    };
    auto send = [](const QString &text, bool binary) {
        return Action([text, binary](frmMainKDXA &w) {
            setBinary(w, binary);
            w.setMessageText(text);
            click(w, "Command5");
        });
    };
    const QByteArray ack = hex("06");
    const QByteArray nak = hex("15");
    const QByteArray silence;
    const QString ok = QStringLiteral("OK");
    const QString invalid = QStringLiteral("Invalid parameter.");

    QTest::newRow("position 1") << position("1") << ack << hex("04 01 50 31 17") << ok;
    QTest::newRow("position 2.5 to even") << position("2.5") << ack << hex("04 01 50 32 17") << ok;
    QTest::newRow("position 3.5 to even") << position(" 3.5 ") << ack << hex("04 01 50 34 17") << ok;
    QTest::newRow("position silent") << position("5") << silence << hex("04 01 50 35 17")
                                     << "Device does not respond.";
    QTest::newRow("position nak") << position("5") << nak << hex("04 01 50 35 17") << "Get Nack";
    QTest::newRow("position not a number") << position("abc") << ack << QByteArray() << invalid;
    QTest::newRow("position empty") << position("") << ack << QByteArray() << invalid;
    QTest::newRow("position beyond 16 bits") << position("40000") << ack << QByteArray() << invalid;
    QTest::newRow("position beyond a byte") << position("300") << ack << QByteArray() << invalid;
    QTest::newRow("clear 1 to 40") << clear("1", "40") << ack << hex("04 01 43 31 58 17") << ok;
    QTest::newRow("clear fractions") << clear("2.5", "1e1") << ack << hex("04 01 43 32 3A 17") << ok;
    QTest::newRow("clear to nothing") << clear("1", "") << ack << QByteArray() << invalid;
    QTest::newRow("text") << send("Hello KDXA!!\r\n", false) << silence << QByteArray("Hello KDXA!!\r\n") << ok;
    QTest::newRow("text through the code table") << send(QStringLiteral("Gr\u00fc\u00dfe"), false) << silence
                                                 << hex("47 72 81 E1 65") << ok;
    QTest::newRow("text notation sent as text") << send("/72", false) << silence << QByteArray("/72") << ok;
    QTest::newRow("bytes") << send("/72/105", true) << ack << hex("48 69") << ok;
    QTest::newRow("bytes silent") << send("/72/105", true) << silence << hex("48 69") << "Device does not respond.";
    QTest::newRow("bytes nak") << send("/72/105", true) << nak << hex("48 69") << "Get Nack";
    QTest::newRow("bytes then a line break") << send("/72/105\r\n", true) << ack << hex("48 69") << ok;
    QTest::newRow("bytes after leading text") << send("72/105", true) << ack << hex("69") << ok;
    QTest::newRow("bytes out of range") << send("/300/65", true) << ack << hex("00 41") << ok;
    QTest::newRow("bytes rounding") << send("/255.5/255.4/2.5/3.5/-0.4/.5", true) << ack
                                    << hex("00 FF 02 04 00 00") << ok;
    QTest::newRow("bytes blanks sign exponent") << send("x/ 65 /+7/1e2/-1", true) << ack << hex("41 07 64 00") << ok;
    QTest::newRow("bytes no conversion") << send("/252/13", true) << ack << hex("FC 0D") << ok;
}

void tst_frmMainKDXA::actions()
{
    QFETCH(Action, action);
    QFETCH(QByteArray, answer);
    QFETCH(QByteArray, wire);
    QFETCH(QString, status);

    Rig rig;
    rig.env.port().setResponder([answer](kdxtest::FakeSerialPort &port, const QByteArray &) {
        if (!answer.isEmpty())
            port.reply(answer, 5);
    });
    action(*rig.window);
    QCOMPARE(rig.env.port().written(), wire);
    QCOMPARE(rig.status(), status);
    QVERIFY(!rig.env.port().portOpen());
    QVERIFY(rig.env.dialogs.boxes.isEmpty());
    QCOMPARE(rig.window->cursor().shape(), Qt::ArrowCursor);
    QVERIFY(child<QPushButton>(*rig.window, "Command5")->isEnabled());
}

void tst_frmMainKDXA::invalidBinaryFormat_data()
{
    QTest::addColumn<QString>("text");

    QTest::newRow("empty last part") << "/72/";
    QTest::newRow("no slash") << "Hi";
    QTest::newRow("empty") << "";
    QTest::newRow("slash only") << "/";
    QTest::newRow("double slash") << "//65";
    QTest::newRow("hexadecimal") << "/0x41";
    QTest::newRow("basic hexadecimal") << "/&H41";
    QTest::newRow("comma") << "/1,5";
    QTest::newRow("two points") << "/1.2.3";
    QTest::newRow("inner blank") << "/7/8 9";
    QTest::newRow("letter after valid parts") << "/72/105/x";
}

void tst_frmMainKDXA::invalidBinaryFormat()
{
    QFETCH(QString, text);

    Rig rig;
    rig.env.port().setResponder(ackAll);
    setBinary(*rig.window, true);
    rig.window->setMessageText(text);
    setText(*rig.window, "txtStatus", QStringLiteral("earlier"));
    Qt::CursorShape shapeAtBox = Qt::BusyCursor;
    rig.env.dialogs.onMessageBox = [&](const kdxtest::RecordingDialogs::Box &) {
        shapeAtBox = rig.window->cursor().shape();
    };
    click(*rig.window, "Command5");

    QCOMPARE(rig.env.dialogs.boxes.size(), 1);
    QCOMPARE(rig.env.dialogs.boxes[0].text, QStringLiteral("Invalid Binary Format"));
    QCOMPARE(rig.env.dialogs.boxes[0].icon, platform::MsgIcon::Exclamation);
    QCOMPARE(shapeAtBox, Qt::ArrowCursor);
    QVERIFY(rig.env.port().events.isEmpty());
    QCOMPARE(rig.window->messageText(), text);
    QCOMPARE(rig.status(), QStringLiteral("earlier"));
}

void tst_frmMainKDXA::tickConvertsBothWays_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("notation");

    QTest::newRow("Hi") << "Hi" << "/72/105";
    QTest::newRow("initial message") << "Hello KDXA!!\r\n" << "/72/101/108/108/111/32/75/68/88/65/33/33/13/10";
    QTest::newRow("code page") << QStringLiteral("\u00fc\u20ac") << "/252/128";
    QTest::newRow("empty") << "" << "";
    QTest::newRow("slash itself") << "a/b" << "/97/47/98";
}

void tst_frmMainKDXA::tickConvertsBothWays()
{
    QFETCH(QString, text);
    QFETCH(QString, notation);

    Rig rig;
    auto *check = child<QCheckBox>(*rig.window, "Check1");
    rig.window->setMessageText(text);
    check->click();
    QCOMPARE(rig.window->messageText(), notation);
    check->click();
    // Without a "/" the text stays as it is.
    QCOMPARE(rig.window->messageText(), notation.isEmpty() ? QString() : text);
    QVERIFY(rig.env.port().events.isEmpty());
}

void tst_frmMainKDXA::untick_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("result");

    QTest::newRow("not numeric left alone") << "/72/x" << "/72/x";
    QTest::newRow("no slash left alone") << "plain" << "plain";
    QTest::newRow("first character dropped whatever it is") << "72/105" << QStringLiteral("\u0002i");
    QTest::newRow("text before a slash") << "x/72" << "x/72";
    QTest::newRow("out of range gives code 0") << "/300/65/-1/255.5"
                                               << QString(QChar(0)) + QLatin1Char('A') + QChar(0) + QChar(0);
    QTest::newRow("slash only") << "/" << "/";
    QTest::newRow("rounded") << "/65.5/66.5" << "BB";
}

void tst_frmMainKDXA::untick()
{
    QFETCH(QString, text);
    QFETCH(QString, result);

    Rig rig;
    auto *check = child<QCheckBox>(*rig.window, "Check1");
    check->click();
    rig.window->setMessageText(text);
    check->click();
    QCOMPARE(rig.window->messageText(), result);
    QVERIFY(rig.env.dialogs.boxes.isEmpty());
}

void tst_frmMainKDXA::convertedControlCharactersAreSentAsTheyAre()
{
    Rig rig;
    auto *check = child<QCheckBox>(*rig.window, "Check1");
    auto *box = child<QPlainTextEdit>(*rig.window, "txtMessage");

    // A lone CR or LF coming out of the notation is sent as it is...
    check->click();
    rig.window->setMessageText(QStringLiteral("/1/10/13/65"));
    check->click();
    click(*rig.window, "Command5");
    QCOMPARE(rig.env.port().written(), hex("01 0A 0D 41"));

    // ...while a line break typed into the box is CR LF.
    box->setPlainText(QStringLiteral("a\nb"));
    QCOMPARE(rig.window->messageText(), QStringLiteral("a\r\nb"));
    check->click();
    QCOMPARE(rig.window->messageText(), QStringLiteral("/97/13/10/98"));
}

void tst_frmMainKDXA::busyWhileWaiting()
{
    Rig rig;
    auto *w = rig.window.get();
    QList<Qt::CursorShape> shapes;
    QList<bool> enabled;
    rig.env.port().setResponder([&](kdxtest::FakeSerialPort &port, const QByteArray &) {
        shapes << w->cursor().shape();
        enabled << child<QPushButton>(*w, "Command3")->isEnabled() << child<QCheckBox>(*w, "Check1")->isEnabled()
                << child<QPushButton>(*w, "Command1")->isEnabled();
        QVERIFY(w->isBusy());
        // A second click while the first waits is not a second command.
        click(*w, "Command4");
        port.reply(hex("06"), 300);
    });
    click(*w, "Command3");
    QCOMPARE(rig.env.port().writes.size(), 1);
    QCOMPARE(shapes, QList<Qt::CursorShape> {Qt::WaitCursor});
    QCOMPARE(enabled, (QList<bool> {false, false, true}));
    QVERIFY(!w->isBusy());
    QCOMPARE(w->cursor().shape(), Qt::ArrowCursor);
    QCOMPARE(rig.status(), QStringLiteral("OK"));
}

void tst_frmMainKDXA::exitAndCloseEndTheProgram()
{
    int ended = 0;
    frmMainKDXA::setEndRoutine([&] { ++ended; });
    {
        Rig rig;
        rig.window->show();
        click(*rig.window, "Command1");
        QCOMPARE(ended, 1);
        rig.window->close();
        QCOMPARE(ended, 2);
    }
    frmMainKDXA::setEndRoutine({});
}

QTEST_MAIN(tst_frmMainKDXA)
#include "tst_frmMainKDXA.moc"
