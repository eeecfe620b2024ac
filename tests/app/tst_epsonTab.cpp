// The EPSON tab on its own: the outcome of each command, parameters refused
// before anything is sent, the wheel, and the names a screen reader says.

#include "DisplayModel.h"
#include "EpsonTab.h"
#include "LimitedTextEdit.h"
#include "ResultCode.h"
#include "TabTestHost.h"
#include "TestEnv.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QtTest>

namespace {

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}

// A wheel turn as it reaches the list: its text box leaves wheel turns to it.
void wheel(QWidget *target, int notches)
{
    const QPointF at(target->width() / 2.0, target->height() / 2.0);
    QWheelEvent e(at, target->mapToGlobal(at), QPoint(), QPoint(0, 120 * notches), Qt::NoButton, Qt::NoModifier,
                  Qt::NoScrollPhase, false);
    QApplication::sendEvent(target, &e);
}

} // namespace

class tst_epsonTab : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { kdxtest::isolateUserFolders(); }
    void init()
    {
        m_env = std::make_unique<kdxtest::DriverEnv>();
        m_host = std::make_unique<TabTestHost>();
        m_host->useLine();
        m_tab = std::make_unique<EpsonTab>(*m_host);
        m_tab->ApplyDisplayGeometry(DisplayModel::of(11));
        m_host->loading = true;
        m_tab->setStartPositions(0);
        m_host->loading = false;
        m_env->port().clearRecord();
    }
    void cleanup()
    {
        m_tab.reset();
        m_host.reset();
        m_env.reset();
    }

    void outcomeOfEachCommand_data();
    void outcomeOfEachCommand();
    void listsShowTheirOutcome();
    void blinkSendsWhatIsShown_data();
    void blinkSendsWhatIsShown();
    void positionTakesOnlyListValues_data();
    void positionTakesOnlyListValues();
    void wheelNeedsFocus();
    void accessibleNames();

private:
    std::unique_ptr<kdxtest::DriverEnv> m_env;
    std::unique_ptr<TabTestHost> m_host;
    std::unique_ptr<EpsonTab> m_tab;
};

void tst_epsonTab::outcomeOfEachCommand_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<bool>("openFails");
    QTest::addColumn<QString>("status");
    for (int i : {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 13, 14, 15, 16, 17, 18, 19}) {
        QTest::addRow("%d sent", i) << i << false << "Sent; the display gave no acknowledge";
        QTest::addRow("%d, port will not open", i) << i << true << "Commport open failed.";
    }
}

void tst_epsonTab::outcomeOfEachCommand()
{
    QFETCH(int, index);
    QFETCH(bool, openFails);
    QFETCH(QString, status);
    m_env->port().failOpen = openFails;
    m_tab->txtEPSON->setText("Hi");
    m_tab->cmdEPSON[index]->click();
    QCOMPARE(m_host->status, status);
    QCOMPARE(m_host->results.size(), 1);
    QCOMPARE(m_env->port().written().isEmpty(), openFails);
    QVERIFY(!m_host->busy);
}

void tst_epsonTab::listsShowTheirOutcome()
{
    m_tab->cboOperation->setCurrentIndex(2);
    QCOMPARE(m_env->port().written(), hex("1F 03"));
    QCOMPARE(m_host->status, QStringLiteral("Sent; the display gave no acknowledge"));
    m_env->port().failOpen = true;
    m_tab->cboPeripheral->setCurrentIndex(2);
    QCOMPARE(m_host->status, QStringLiteral("Commport open failed."));
    QCOMPARE(m_env->port().written(), hex("1F 03"));
}

void tst_epsonTab::blinkSendsWhatIsShown_data()
{
    QTest::addColumn<QString>("typed"); // keys typed into the empty field; ' ' skips a place
    QTest::addColumn<QByteArray>("bytes"); // empty: refused

    QTest::newRow("5") << "5" << hex("1F 45 05");
    QTest::newRow("15") << "15" << hex("1F 45 0F");
    QTest::newRow("255") << "255" << hex("1F 45 FF");
    QTest::newRow("1_5, a gap") << "1 5" << QByteArray();
    QTest::newRow("_15, blank in front") << " 15" << hex("1F 45 0F");
    QTest::newRow("-1") << "-1" << QByteArray();
    QTest::newRow("+5") << "+5" << QByteArray();
    QTest::newRow("256") << "256" << QByteArray();
    QTest::newRow("nothing") << "" << hex("1F 45 00");
}

void tst_epsonTab::blinkSendsWhatIsShown()
{
    QFETCH(QString, typed);
    QFETCH(QByteArray, bytes);
    QLineEdit *box = m_tab->txtBlink;
    box->clear();
    box->setCursorPosition(0);
    for (QChar c : typed) {
        if (c == QLatin1Char(' '))
            QTest::keyClick(box, Qt::Key_Right);
        else
            QTest::keyClicks(box, QString(c));
    }
    m_tab->cmdEPSON[18]->click();
    QCOMPARE(m_env->port().written(), bytes);
    if (bytes.isEmpty()) {
        QCOMPARE(m_host->refusals, QStringList {"Blink: type a number from 0 to 255."});
        QVERIFY(m_env->port().events.isEmpty());
        QVERIFY(m_host->results.isEmpty());
    } else {
        QVERIFY2(m_host->refusals.isEmpty(), qPrintable(box->displayText()));
    }
}

void tst_epsonTab::positionTakesOnlyListValues_data()
{
    QTest::addColumn<QString>("row");
    QTest::addColumn<QString>("column");
    QTest::addColumn<QByteArray>("bytes"); // empty: refused

    QTest::newRow("2, 20") << "2" << "20" << hex("1F 24 14 02");
    QTest::newRow("row 3 of 2") << "3" << "1" << QByteArray();
    QTest::newRow("column 21 of 20") << "1" << "21" << QByteArray();
    QTest::newRow("row 0") << "0" << "1" << QByteArray();
    QTest::newRow("row typed as words") << "two" << "1" << QByteArray();
    QTest::newRow("column empty") << "1" << "" << QByteArray();
}

void tst_epsonTab::positionTakesOnlyListValues()
{
    QFETCH(QString, row);
    QFETCH(QString, column);
    QFETCH(QByteArray, bytes);
    m_tab->cboRow->setEditText(row);
    m_tab->cboColumn->setEditText(column);
    m_tab->cmdEPSON[15]->click();
    QCOMPARE(m_env->port().written(), bytes);
    QCOMPARE(m_host->refusals.size(), bytes.isEmpty() ? 1 : 0);
}

void tst_epsonTab::wheelNeedsFocus()
{
    ScrolledTab<EpsonTab> page(*m_host);
    page.tab->ApplyDisplayGeometry(DisplayModel::of(11));
    page.area.show();
    page.area.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&page.area));
    QScrollBar *bar = page.area.verticalScrollBar();
    QVERIFY(bar->maximum() > 0);
    m_env->port().clearRecord();

    // Over an unfocused list the wheel scrolls the page and sends nothing.
    page.tab->cmdEPSON[8]->setFocus();
    wheel(page.tab->cboOperation, -1);
    QCOMPARE(page.tab->cboOperation->currentIndex(), 0);
    QVERIFY(m_env->port().writes.isEmpty());
    QVERIFY(bar->value() > 0);

    // With the focus the list takes it, and sends its choice.
    page.tab->cboOperation->setFocus();
    QVERIFY(page.tab->cboOperation->hasFocus());
    wheel(page.tab->cboOperation, -1);
    QCOMPARE(page.tab->cboOperation->currentIndex(), 1);
    QCOMPARE(m_env->port().written(), hex("1F 02"));
}

void tst_epsonTab::accessibleNames()
{
    const struct
    {
        int index;
        const char *name;
    } rows[] = {{0, "Cursor up"},          {4, "Cursor home position"}, {8, "Clear screen"},
                {15, "Set cursor row and column"}, {16, "Set national character set"},
                {17, "Set expand"},        {18, "Set blink"},           {19, "Send message"}};
    for (const auto &r : rows)
        QCOMPARE(m_tab->cmdEPSON[r.index]->accessibleName(), QString::fromLatin1(r.name));
    // Every button says what it does, pictures and "Set" alike.
    for (QPushButton *b : m_tab->findChildren<QPushButton *>())
        QVERIFY2(!b->accessibleName().isEmpty(), qPrintable(b->objectName()));
}

QTEST_MAIN(tst_epsonTab)
#include "tst_epsonTab.moc"
