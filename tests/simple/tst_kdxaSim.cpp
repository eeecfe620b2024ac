// kdxa's window against the simulated display over a pseudo-terminal at 9600
// baud: every action, its status, and what the display then shows.

#include "PortMap.h"
#include "RecordingDialogs.h"
#include "SimProcess.h"
#include "TestEnv.h"
#include "frmMainKDXA.h"

#include <QCheckBox>
#include <QComboBox>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

namespace {

constexpr int kCom = 5;

} // namespace

class tst_kdxaSim : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void actionsOnTheSimulator();

private:
    QJsonObject state() const { return m_sim->state(); }
    QString line(int row) const;
    QString act(const char *button);

    std::unique_ptr<SimProcess> m_sim;
    kdxtest::RecordingDialogs m_dialogs;
    std::unique_ptr<frmMainKDXA> m_window;
};

void tst_kdxaSim::initTestCase()
{
    kdxtest::isolateUserFolders();
    if (!SimProcess::built())
        QSKIP("kdx-sim has not been built");
    m_sim = std::make_unique<SimProcess>(platform::PortMap::defaultDir());
    // The window waits only about 31 ms for a raw message's acknowledge; on a
    // loaded machine the simulated line's own time can eat that margin, and
    // the line's timing is tested with kdx-sim itself, so this line is instant.
    QVERIFY2(m_sim->start({"--com", QString::number(kCom), "--baud", "9600", "--line-time", "off"}),
             qPrintable(m_sim->error()));

    m_window = std::make_unique<frmMainKDXA>();
    auto *combo = m_window->findChild<QComboBox *>(QStringLiteral("cboComport"));
    combo->setCurrentIndex(combo->findText(QStringLiteral("COM%1").arg(kCom)));
    QVERIFY(combo->currentIndex() >= 0);
}

void tst_kdxaSim::cleanupTestCase()
{
    m_window.reset();
    m_sim.reset();
}

QString tst_kdxaSim::line(int row) const
{
    return state().value(QStringLiteral("lines")).toArray().at(row).toString();
}

// Clicks a button and gives the status the window shows afterwards.
QString tst_kdxaSim::act(const char *button)
{
    m_window->findChild<QPushButton *>(QString::fromLatin1(button))->click();
    return m_window->findChild<QLineEdit *>(QStringLiteral("txtStatus"))->text();
}

void tst_kdxaSim::actionsOnTheSimulator()
{
    frmMainKDXA &w = *m_window;
    auto box = [&](const char *name) { return w.findChild<QLineEdit *>(QString::fromLatin1(name)); };
    auto *binary = w.findChild<QCheckBox *>(QStringLiteral("Check1"));
    const QString blank(20, QLatin1Char(' '));

    QCOMPARE(act("Command4"), QStringLiteral("OK")); // clear 1 to 40: the whole display
    QTRY_COMPARE(line(0), blank);

    box("txtPosition")->setText(QStringLiteral("3"));
    QCOMPARE(act("Command3"), QStringLiteral("OK"));
    w.setMessageText(QStringLiteral("Hello KDXA!!"));
    QCOMPARE(act("Command5"), QStringLiteral("OK"));
    QTRY_COMPARE(line(0), QStringLiteral("  Hello KDXA!!      "));
    QCOMPARE(state().value(QStringLiteral("hostBaud")).toInt(), 9600);

    box("txtPosition")->setText(QStringLiteral("21"));
    QCOMPARE(act("Command3"), QStringLiteral("OK"));
    QTRY_COMPARE(state().value(QStringLiteral("cursor")).toObject().value(QStringLiteral("row")).toInt(), 2);

    // Plain bytes are shown, but this display acknowledges only its commands:
    // the window says so rather than report a failure.
    binary->click();
    w.setMessageText(QStringLiteral("/72/105/33"));
    QCOMPARE(act("Command5"), QStringLiteral("Sent; the display gave no acknowledge"));
    QTRY_COMPARE(line(1), QStringLiteral("Hi!") + blank.left(17));

    // A command written as bytes is acknowledged: clear cells 3 to 8.
    w.setMessageText(QStringLiteral("/4/1/67/51/56/23"));
    QCOMPARE(act("Command5"), QStringLiteral("OK"));
    QTRY_COMPARE(line(0), QStringLiteral("        KDXA!!      "));

    box("txtStart")->setText(QStringLiteral("21"));
    box("txtEnd")->setText(QStringLiteral("22"));
    QCOMPARE(act("Command4"), QStringLiteral("OK"));
    QTRY_COMPARE(line(1), QStringLiteral("  !") + blank.left(17));

    QVERIFY(m_dialogs.boxes.isEmpty());
}

QTEST_MAIN(tst_kdxaSim)
#include "tst_kdxaSim.moc"
