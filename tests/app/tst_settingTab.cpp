// The Setting tab on its own: the lamp test's outcome, the wheel over its
// lists, and the port list re-reading the port map when it opens.

#include "DisplayModel.h"
#include "PortMap.h"
#include "SettingTab.h"
#include "SettingsStore.h"
#include "TabTestHost.h"
#include "TestEnv.h"
#include "mod_Init.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QtTest>

class tst_settingTab : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { kdxtest::isolateUserFolders(); }
    void init()
    {
        g_KDXType = 11;
        m_env = std::make_unique<kdxtest::DriverEnv>();
        m_host = std::make_unique<TabTestHost>();
    }
    void cleanup()
    {
        m_host.reset();
        m_env.reset();
    }

    void lampTestOutcome_data();
    void lampTestOutcome();
    void wheelNeedsFocus();
    void portListReadsTheMapWhenOpened();

private:
    std::unique_ptr<kdxtest::DriverEnv> m_env;
    std::unique_ptr<TabTestHost> m_host;
};

void tst_settingTab::lampTestOutcome_data()
{
    QTest::addColumn<bool>("openFails");
    QTest::addColumn<QString>("status");
    QTest::addColumn<int>("bytes");
    QTest::newRow("lit") << false << "Sent; the display gave no acknowledge" << 40;
    QTest::newRow("port will not open") << true << "Commport open failed." << 0;
}

void tst_settingTab::lampTestOutcome()
{
    QFETCH(bool, openFails);
    QFETCH(QString, status);
    QFETCH(int, bytes);
    SettingTab tab(*m_host);
    tab.FillParityList(DisplayModel::of(11));
    tab.FillPortAndRateLists(DisplayModel::of(11));
    tab.restoreSettings();
    m_host->status = QStringLiteral("OK");
    m_env->port().failOpen = openFails;
    tab.cmdLightTube->click();
    QCOMPARE(m_host->status, status);
    QCOMPARE(m_env->port().written().size(), bytes);
}

void tst_settingTab::wheelNeedsFocus()
{
    ScrolledTab<SettingTab> page(*m_host);
    page.tab->FillPortAndRateLists(DisplayModel::of(11));
    page.tab->restoreSettings();
    page.area.resize(page.area.width(), 80);
    page.area.show();
    page.area.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&page.area));
    const QString app = m_host->settingsName();
    QComboBox *list = page.tab->cboBaudRate;
    const QString before = platform::settings::GetSetting(app, "Settings", "BaudRate");

    auto turn = [list] {
        const QPointF at(list->width() / 2.0, list->height() / 2.0);
        QWheelEvent e(at, list->mapToGlobal(at), QPoint(), QPoint(0, -120), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
        QApplication::sendEvent(list, &e);
    };
    page.tab->cmdLightTube->setFocus();
    turn();
    QCOMPARE(list->currentText(), QStringLiteral("19200"));
    QCOMPARE(m_host->kdx().BaudRate(), QStringLiteral("19200"));
    QCOMPARE(platform::settings::GetSetting(app, "Settings", "BaudRate"), before);

    list->setFocus();
    turn();
    QCOMPARE(list->currentText(), QStringLiteral("9600"));
    QCOMPARE(m_host->kdx().BaudRate(), QStringLiteral("9600"));
}

void tst_settingTab::portListReadsTheMapWhenOpened()
{
    const QString dir = platform::PortMap::defaultDir();
    QDir().mkpath(dir);
    QFile::remove(dir + "/COM7");
    SettingTab tab(*m_host);
    tab.FillPortAndRateLists(DisplayModel::of(11));
    tab.cboComport->setCurrentIndex(6);
    QCOMPARE(tab.lblComportDevice->text(), QStringLiteral("device: not present"));

    // Plugged in (here: linked by hand) while the tab is shown.
    QVERIFY(QFile::link("/dev/null", dir + "/COM7"));
    tab.show();
    tab.cboComport->showPopup();
    QCOMPARE(tab.lblComportDevice->text(), QStringLiteral("device: /dev/null"));
    QCOMPARE(tab.cboComport->itemData(6, Qt::ToolTipRole).toString(), QStringLiteral("/dev/null"));
    tab.cboComport->hidePopup();
    QFile::remove(dir + "/COM7");

    // A display on another machine is listed by its address.
    QVERIFY(platform::PortMap(dir).addUrl(8, QStringLiteral("rfc2217://pos-12:4001")));
    tab.cboComport->showPopup();
    tab.cboComport->hidePopup();
    tab.cboComport->setCurrentIndex(7);
    QCOMPARE(tab.lblComportDevice->text(), QStringLiteral("device: rfc2217://pos-12:4001"));
    QCOMPARE(tab.cboComport->itemData(7, Qt::ToolTipRole).toString(), QStringLiteral("rfc2217://pos-12:4001"));
    QVERIFY(platform::PortMap(dir).removeUrl(8));
}

QTEST_MAIN(tst_settingTab)
#include "tst_settingTab.moc"
