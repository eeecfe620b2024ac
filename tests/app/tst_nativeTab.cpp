// The native tab on its own: outcomes in the status line, the names a screen
// reader says for its buttons and spinner arrows, and the wheel over its lists.

#include "DisplayModel.h"
#include "NativeTab.h"
#include "TabTestHost.h"
#include "TestEnv.h"
#include "UpDown.h"

#include <QComboBox>
#include <QPushButton>
#include <QScrollBar>
#include <QSettings>
#include <QToolButton>
#include <QtTest>

class tst_nativeTab : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { kdxtest::isolateUserFolders(); }
    void init()
    {
        m_env = std::make_unique<kdxtest::DriverEnv>();
        m_host = std::make_unique<TabTestHost>();
        m_host->useLine();
    }
    void cleanup()
    {
        m_host.reset();
        m_env.reset();
    }

    void failureReplacesOk_data();
    void failureReplacesOk();
    void accessibleNames_data();
    void accessibleNames();
    void wheelNeedsFocus();

private:
    std::unique_ptr<kdxtest::DriverEnv> m_env;
    std::unique_ptr<TabTestHost> m_host;
};

void tst_nativeTab::failureReplacesOk_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("status");
    QTest::newRow("position") << 3 << "Commport open failed.";
    QTest::newRow("version") << 9 << "Commport open failed.";
    QTest::newRow("to EPSON") << 11 << "Commport open failed.";
}

void tst_nativeTab::failureReplacesOk()
{
    QFETCH(int, index);
    QFETCH(QString, status);
    NativeTab tab(*m_host);
    m_host->status = QStringLiteral("OK");
    m_env->port().failOpen = true;
    tab.cmdPRYX[index]->click();
    QCOMPARE(m_host->status, status);
}

void tst_nativeTab::accessibleNames_data()
{
    QTest::addColumn<QString>("object");
    QTest::addColumn<QString>("name");
    QTest::newRow("Set position") << "cmdPRYX_3" << "Set cursor position";
    QTest::newRow("Set code") << "cmdPRYX_1" << "Set international code";
    QTest::newRow("Set range") << "cmdPRYX_4" << "Clear display range";
    QTest::newRow("Get version") << "cmdPRYX_9" << "Get firmware version";
    QTest::newRow("position up") << "UpDown2/up" << "Cursor position up";
    QTest::newRow("position down") << "UpDown2/down" << "Cursor position down";
    QTest::newRow("layer up") << "UpDown1/up" << "Layer up";
    QTest::newRow("from down") << "UpDown3/down" << "Clear from down";
    QTest::newRow("to up") << "UpDown4/up" << "Clear to up";
}

void tst_nativeTab::accessibleNames()
{
    QFETCH(QString, object);
    QFETCH(QString, name);
    NativeTab tab(*m_host);
    QWidget *w = nullptr;
    if (object.contains(QLatin1Char('/'))) {
        auto *spinner = tab.findChild<UpDown *>(object.section(QLatin1Char('/'), 0, 0));
        QVERIFY(spinner);
        w = spinner->findChild<QToolButton *>(object.section(QLatin1Char('/'), 1));
    } else {
        w = tab.findChild<QWidget *>(object);
    }
    QVERIFY(w);
    QCOMPARE(w->accessibleName(), name);
}

void tst_nativeTab::wheelNeedsFocus()
{
    ScrolledTab<NativeTab> page(*m_host);
    page.tab->FillRateLists(DisplayModel::of(11));
    page.area.show();
    page.area.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&page.area));
    const QSettings store(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("kdx-utility"),
                          m_host->settingsName());
    QComboBox *list = page.tab->cboS_BaudRate;
    list->setCurrentIndex(0);
    page.tab->cmdPRYX[9]->setFocus();
    const QPointF at(list->width() / 2.0, list->height() / 2.0);
    QWheelEvent e(at, list->mapToGlobal(at), QPoint(), QPoint(0, -120), Qt::NoButton, Qt::NoModifier,
                  Qt::NoScrollPhase, false);
    QApplication::sendEvent(list, &e);
    QCOMPARE(list->currentIndex(), 0);
    QVERIFY(page.area.verticalScrollBar()->value() > 0);
}

QTEST_MAIN(tst_nativeTab)
#include "tst_nativeTab.moc"
