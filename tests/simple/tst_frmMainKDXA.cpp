// The single-model window on a scripted port: port list and line, the three
// actions and their status, the byte notation both ways, busy state and end.

#include "Ansi.h"
#include "AppInfo.h"
#include "UpDown.h"
#include "PortMap.h"
#include "TestEnv.h"
#include "frmMainKDXA.h"
#include "mod_InitKDXA.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QApplication>
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

// A window over a fresh fake port and a port map with links COM<n> to /dev/null
// (present) or to a missing file (dangling). The machine's own serial devices
// join any map that can be written, so an empty list needs a map that cannot.
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
        combo = child<QComboBox>(*window, "cboComport");
    }

    QString status() { return child<QLineEdit>(*window, "txtStatus")->text(); }
    // The listed ports that are the test's own, in list order.
    QStringList ports()
    {
        QStringList out;
        for (int i = 0; i < combo->count(); ++i) {
            if (platform::PortMap().devicePath(combo->itemText(i).mid(3).toInt()) == QLatin1String("/dev/null"))
                out << combo->itemText(i);
        }
        return out;
    }

    QTemporaryDir portsDir;
    kdxtest::DriverEnv env;
    std::unique_ptr<frmMainKDXA> window;
    QComboBox *combo = nullptr;
};

} // namespace

class tst_frmMainKDXA : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { kdxtest::isolateUserFolders(); }

    void startUpAndSpinners();
    void portList_data();
    void portList();
    void portNumberFromTheName();
    void actions_data();
    void actions();
    void invalidBinaryFormat_data();
    void invalidBinaryFormat();
    void binaryFormatBox_data();
    void binaryFormatBox();
    void busyWhileWaiting();
    void exitAndCloseEndTheProgram();
    void namedAndReachedByTab();
    void statusGoesWithThePort();
};

void tst_frmMainKDXA::startUpAndSpinners()
{
    kdxtest::DriverEnv env;
    const std::unique_ptr<frmMainKDXA> w(mod_InitKDXA::Main());
    QCOMPARE(platform::app::title(), QStringLiteral("KDXA Utility"));
    QVERIFY(w->isVisible());
    QCOMPARE(w->windowTitle(), QStringLiteral("KDXA Utility V1.3R5"));
    QCOMPARE(w->messageText(), QStringLiteral("Hello KDXA!!\r\n"));

    // Steps stay within 1 to 40; a box that holds no number steps from the last value.
    auto *spin = w->findChild<UpDown *>(QStringLiteral("UpDown1"));
    QCOMPARE(spin->buddy()->text(), QStringLiteral("40"));
    QTest::keyClick(spin->buddy(), Qt::Key_Up);
    QCOMPARE(spin->buddy()->text(), QStringLiteral("40"));
    spin->buddy()->setText(QStringLiteral("x"));
    spin->stepBy(-1);
    QCOMPARE(spin->buddy()->text(), QStringLiteral("39"));
    spin->buddy()->setText(QStringLiteral("1"));
    QTest::keyClick(spin->buddy(), Qt::Key_Down);
    QCOMPARE(spin->buddy()->text(), QStringLiteral("1"));
}

void tst_frmMainKDXA::portList_data()
{
    QTest::addColumn<QList<int>>("present");
    QTest::addColumn<QList<int>>("dangling");
    QTest::addColumn<QStringList>("listed");

    QTest::newRow("by number, unplugged left out") << QList<int> {3, 12, 1} << QList<int> {7}
                                                   << QStringList {"COM1", "COM3", "COM12"};
    QTest::newRow("none") << QList<int> {} << QList<int> {} << QStringList {};
}

void tst_frmMainKDXA::portList()
{
    QFETCH(QList<int>, present);
    QFETCH(QList<int>, dangling);
    QFETCH(QStringList, listed);

    Rig rig(present, dangling);
    for (int pass = 0; pass < 2; ++pass) { // at load, then by Refresh
        QCOMPARE(rig.ports(), listed);
        QCOMPARE(rig.combo->currentIndex(), rig.combo->count() ? 0 : -1);
        QCOMPARE(rig.env.dialogs.boxes.size(), listed.isEmpty() ? pass + 1 : 0);
        if (listed.isEmpty()) {
            QCOMPARE(rig.env.dialogs.boxes.last().text, QStringLiteral("No available comm ports."));
            QCOMPARE(rig.env.dialogs.boxes.last().icon, platform::MsgIcon::Exclamation);
        }
        rig.combo->setCurrentIndex(rig.combo->count() - 1);
        click(*rig.window, "Command2");
    }
    if (listed.isEmpty()) { // port number 0: nothing can be opened
        for (const char *button : {"Command3", "Command4", "Command5"}) {
            child<QLineEdit>(*rig.window, "txtStatus")->clear();
            click(*rig.window, button);
            QCOMPARE(rig.status(), QStringLiteral("Commport open failed."));
        }
        QVERIFY(rig.env.port().events.isEmpty());
    }
}

void tst_frmMainKDXA::portNumberFromTheName()
{
    Rig rig({3, 10});
    rig.env.port().setResponder([](kdxtest::FakeSerialPort &p, const QByteArray &) { p.reply(hex("06"), 5); });
    // A line left on the port by someone else must not leak into this window's commands.
    rig.env.port().setSettings(QStringLiteral("19200,E,7,1"));
    rig.combo->setCurrentIndex(rig.combo->findText(QStringLiteral("COM10")));
    for (const char *button : {"Command3", "Command4", "Command5"}) {
        rig.env.port().clearRecord();
        click(*rig.window, button);
        QCOMPARE(rig.env.port().events, (QStringList {"open 10 9600,N,8,1", "close"}));
        QCOMPARE(rig.status(), QStringLiteral("OK"));
    }
}

void tst_frmMainKDXA::actions_data()
{
    QTest::addColumn<Action>("action");
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<QByteArray>("wire");
    QTest::addColumn<QString>("status");

    auto type = [](const char *box, const QString &text) {
        return Action([box, text](frmMainKDXA &w) { child<QLineEdit>(w, box)->setText(text); });
    };
    auto then = [](Action a, Action b) { return Action([a, b](frmMainKDXA &w) { a(w); b(w); }); };
    auto position = [&](const QString &text) {
        return then(type("txtPosition", text), [](frmMainKDXA &w) { click(w, "Command3"); });
    };
    auto clear = [&](const QString &from, const QString &to) {
        return then(then(type("txtStart", from), type("txtEnd", to)), [](frmMainKDXA &w) { click(w, "Command4"); });
    };
    auto send = [](const QString &text, bool binary) {
        return Action([text, binary](frmMainKDXA &w) {
            QSignalBlocker noConversion(child<QCheckBox>(w, "Check1"));
            child<QCheckBox>(w, "Check1")->setChecked(binary);
            w.setMessageText(text);
            click(w, "Command5");
        });
    };
    const QByteArray ack = hex("06"), none;
    const QString ok = QStringLiteral("OK"), invalid = QStringLiteral("Invalid parameter.");

    QTest::newRow("position") << position("1") << ack << hex("04 01 50 31 17") << ok;
    QTest::newRow("position half to even") << position(" 3.5 ") << ack << hex("04 01 50 34 17") << ok;
    QTest::newRow("position silent") << position("5") << none << hex("04 01 50 35 17") << "Device does not respond.";
    QTest::newRow("position no number") << position("abc") << ack << none << invalid;
    QTest::newRow("position beyond 16 bits") << position("40000") << ack << none << invalid;
    QTest::newRow("clear") << clear("1", "40") << ack << hex("04 01 43 31 58 17") << ok;
    QTest::newRow("clear empty") << clear("1", "") << ack << none << invalid;
    QTest::newRow("text") << send("Hello KDXA!!\r\n", false) << none << QByteArray("Hello KDXA!!\r\n") << ok;
    QTest::newRow("bytes") << send("/72/105", true) << ack << hex("48 69") << ok;
    QTest::newRow("bytes silent") << send("/72/105", true) << none << hex("48 69")
                                  << "Sent; the display gave no acknowledge";
    QTest::newRow("bytes and a line break") << send("/72/105\r\n", true) << ack << hex("48 69") << ok;
    QTest::newRow("bytes after text") << send("72/105", true) << ack << hex("69") << ok;
    QTest::newRow("bytes out of range") << send("/300/65/-1/255.5/255.4", true) << ack << hex("00 41 00 00 FF") << ok;
    QTest::newRow("bytes number forms") << send("/ 65 /+7/1e2/2.5/.5/252", true) << ack << hex("41 07 64 02 00 FC")
                                        << ok;
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
}

void tst_frmMainKDXA::invalidBinaryFormat_data()
{
    QTest::addColumn<QString>("text");

    for (const char *text : {"/72/", "Hi", "", "/", "//65", "/0x41", "/&H41", "/1,5", "/1.2.3", "/7/8 9", "/72/x"})
        QTest::newRow(text) << QString::fromLatin1(text);
}

void tst_frmMainKDXA::invalidBinaryFormat()
{
    QFETCH(QString, text);

    Rig rig;
    child<QCheckBox>(*rig.window, "Check1")->click();
    rig.window->setMessageText(text);
    Qt::CursorShape pointer = Qt::BusyCursor;
    rig.env.dialogs.onMessageBox = [&](const auto &) { pointer = rig.window->cursor().shape(); };
    child<QLineEdit>(*rig.window, "txtStatus")->setText(QStringLiteral("OK")); // an earlier send
    click(*rig.window, "Command5");

    QCOMPARE(rig.env.dialogs.boxes.size(), 1);
    QCOMPARE(rig.env.dialogs.boxes[0].text, QStringLiteral("Invalid Binary Format"));
    QCOMPARE(rig.env.dialogs.boxes[0].icon, platform::MsgIcon::Exclamation);
    QCOMPARE(pointer, Qt::ArrowCursor);
    QVERIFY(rig.env.port().events.isEmpty());
    QCOMPARE(rig.window->messageText(), text);
    // The refusal replaces whatever the status line said before.
    QCOMPARE(rig.status(), QStringLiteral("Invalid Binary Format"));
}

void tst_frmMainKDXA::binaryFormatBox_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("tick");
    QTest::addColumn<QString>("result");

    QTest::newRow("tick Hi") << "Hi" << true << "/72/105";
    QTest::newRow("tick line break") << "Hello KDXA!!\r\n" << true << "/72/101/108/108/111/32/75/68/88/65/33/33/13/10";
    QTest::newRow("tick code page") << QStringLiteral("\u00fc\u20ac/") << true << "/252/128/47";
    QTest::newRow("clear Hi") << "/72/105" << false << "Hi";
    QTest::newRow("clear not numeric") << "/72/x" << false << "/72/x";
    QTest::newRow("clear no slash") << "plain" << false << "plain";
    QTest::newRow("clear drops the first character") << "72/105" << false << QStringLiteral("\u0002i");
    QTest::newRow("clear text before slash") << "x/72" << false << "x/72";
    QTest::newRow("clear out of range") << "/300/65/-1/255.5" << false
                                        << QString(QChar(0)) + QLatin1Char('A') + QChar(0) + QChar(0);
    QTest::newRow("clear lone CR and LF") << "/13/65/10" << false << "\rA\n";
}

void tst_frmMainKDXA::binaryFormatBox()
{
    QFETCH(QString, text);
    QFETCH(bool, tick);
    QFETCH(QString, result);

    Rig rig;
    auto *check = child<QCheckBox>(*rig.window, "Check1");
    if (!tick)
        check->click();
    rig.window->setMessageText(text);
    check->click();
    QCOMPARE(rig.window->messageText(), result);
    QVERIFY(rig.env.dialogs.boxes.isEmpty());

    // What the box now holds is what a text send writes, untouched by the way
    // the box shows line breaks.
    if (!tick) {
        click(*rig.window, "Command5");
        QCOMPARE(rig.env.port().written(), platform::ansi::fromUnicode(result));
    }
}

void tst_frmMainKDXA::busyWhileWaiting()
{
    Rig rig;
    frmMainKDXA &w = *rig.window;
    QList<bool> seen;
    rig.env.port().setResponder([&](kdxtest::FakeSerialPort &port, const QByteArray &) {
        seen << (w.cursor().shape() == Qt::WaitCursor) << child<QPushButton>(w, "Command5")->isEnabled()
             << child<QPushButton>(w, "Command1")->isEnabled();
        click(w, "Command4"); // a second action while the first waits is dropped
        port.reply(hex("06"), 300);
    });
    click(w, "Command3");
    QCOMPARE(seen, (QList<bool> {true, false, true}));
    QCOMPARE(rig.env.port().writes.size(), 1);
    QCOMPARE(rig.status(), QStringLiteral("OK"));
    QVERIFY(!w.isBusy());
    QCOMPARE(w.cursor().shape(), Qt::ArrowCursor);

    // A line break typed into the box is sent as CR LF.
    child<QPlainTextEdit>(w, "txtMessage")->setPlainText(QStringLiteral("a\nb"));
    QCOMPARE(w.messageText(), QStringLiteral("a\r\nb"));
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

// Every box, spinner and list says what it is, the two "Set" buttons what
// they set; Tab goes on to Traffic and Exit.
void tst_frmMainKDXA::namedAndReachedByTab()
{
    Rig rig;
    QStringList names;
    for (QWidget *c : rig.window->findChildren<QWidget *>()) {
        if (qobject_cast<QComboBox *>(c) || qobject_cast<QLineEdit *>(c) || qobject_cast<QPlainTextEdit *>(c)
            || qobject_cast<UpDown *>(c) || qobject_cast<QPushButton *>(c)) {
            QVERIFY2(!c->accessibleName().isEmpty() || qobject_cast<QPushButton *>(c), qPrintable(c->objectName()));
            names << (c->accessibleName().isEmpty() ? static_cast<QPushButton *>(c)->text() : c->accessibleName());
        }
    }
    QCOMPARE(names.count(QStringLiteral("Set")), 0);
    QCOMPARE(names.removeDuplicates(), 0);

    rig.window->show();
    rig.window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(rig.window.get()));
    child<QPushButton>(*rig.window, "Command5")->setFocus();
    QStringList reached;
    for (int i = 0; i < 4; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        reached << QApplication::focusWidget()->objectName();
    }
    QCOMPARE(reached, (QStringList {"Check1", "cmdTraffic", "Command1", "cboComport"}));
}

void tst_frmMainKDXA::statusGoesWithThePort()
{
    Rig rig({1, 2});
    rig.env.port().failOpen = true;
    click(*rig.window, "Command3");
    QCOMPARE(rig.status(), QStringLiteral("Commport open failed."));
    rig.combo->setCurrentIndex(rig.combo->findText(QStringLiteral("COM2")));
    QCOMPARE(rig.status(), QString());
}

QTEST_MAIN(tst_frmMainKDXA)
#include "tst_frmMainKDXA.moc"
