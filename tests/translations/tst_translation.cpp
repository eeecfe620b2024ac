// SPDX-License-Identifier: MIT
// The windows in the user's language: run once under LANG=de_DE.UTF-8, where
// each window shows German, and once under LANG=C, where it shows the English
// texts exactly as written in the code.

#include "CKDX.h"
#include "DesktopApp.h"
#include "ResultCode.h"
#include "TestEnv.h"
#include "TrafficWindow.h"
#include "frmFirmwareUpdate.h"
#include "frmMain.h"
#include "frmMainKDXA.h"
#include "frmPassword.h"
#include "frmVT100.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QTabWidget>
#include <QXmlStreamReader>
#include <QtTest>

#include <functional>
#include <memory>

namespace {

// Every caption a window shows: its title, tabs, group boxes, labels, buttons.
QStringList captions(QWidget *window)
{
    QStringList out {window->windowTitle()};
    for (auto *b : window->findChildren<QAbstractButton *>())
        out << b->text();
    for (auto *l : window->findChildren<QLabel *>())
        out << l->text();
    for (auto *g : window->findChildren<QGroupBox *>())
        out << g->title();
    for (auto *t : window->findChildren<QTabWidget *>()) {
        for (int i = 0; i < t->count(); ++i)
            out << t->tabText(i);
    }
    for (auto *v : window->findChildren<QAbstractItemView *>()) {
        for (int i = 0; v->model() && i < v->model()->columnCount(); ++i)
            out << v->model()->headerData(i, Qt::Horizontal).toString();
    }
    return out;
}

bool german()
{
    return QLocale().language() == QLocale::German;
}

} // namespace

class tst_Translation : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void windows_data();
    void windows();
    void driverTextsAndQtsOwn();
    void germanIsComplete();
    void germanKeepsTheAmpersands();

private:
    std::unique_ptr<kdxtest::DriverEnv> m_env;
    CKDX m_kdx;
};

void tst_Translation::initTestCase()
{
    kdxtest::isolateUserFolders();
    m_env = std::make_unique<kdxtest::DriverEnv>();
    const QByteArray lang = qgetenv("LANG");
    QVERIFY2(lang == "C" || lang.startsWith("de_DE"), "run under LANG=C or LANG=de_DE.UTF-8");
    QCOMPARE(platform::desktop::installTranslations(QLocale()), german());
}

void tst_Translation::windows_data()
{
    using Make = std::function<QWidget *(CKDX &)>;
    QTest::addColumn<Make>("make");
    QTest::addColumn<QStringList>("english");
    QTest::addColumn<QStringList>("deutsch");
    QTest::newRow("main window") << Make([](CKDX &) { return new frmMain; })
        << QStringList {"Setting", "Send by ASCII", "Fully Light the Tube", "&Exit", "RS232 Settings"}
        << QStringList {"Einstellungen", "Senden als ASCII", "Alle Punkte leuchten lassen", "&Beenden", "RS232-Einstellungen"};
    QTest::newRow("firmware update") << Make([](CKDX &k) { return new frmFirmwareUpdate(k); })
        << QStringList {"Firmware Update", "&Browse...", "Using Protocol:"}
        << QStringList {"Firmware-Update", "&Durchsuchen...", "Protokoll:"};
    QTest::newRow("password") << Make([](CKDX &) { return new frmPassword; })
        << QStringList {"Password Required", "Enter Password:", "Cancel"}
        << QStringList {"Passwort erforderlich", "Passwort eingeben:", "Abbrechen"};
    QTest::newRow("VT100 mode test") << Make([](CKDX &k) { return new frmVT100(k); })
        << QStringList {"VT100 Mode Test", "Position Cursor", "Brightness"}
        << QStringList {"VT100-Modustest", "Cursor positionieren", "Helligkeit"};
    QTest::newRow("KDXA window") << Make([](CKDX &) { return new frmMainKDXA; })
        << QStringList {"Connect to:", "Binary Format", "Refresh"}
        << QStringList {"Verbinden mit:", "Binärformat", "Aktualisieren"};
    QTest::newRow("traffic") << Make([](CKDX &) { return monitor::TrafficWindow::open(); })
        << QStringList {"Traffic", "&Pause", "Save &As...", "Meaning"}
        << QStringList {"Datenverkehr", "&Anhalten", "Speichern &unter...", "Bedeutung"};
}

void tst_Translation::windows()
{
    using Make = std::function<QWidget *(CKDX &)>;
    QFETCH(Make, make);
    QFETCH(QStringList, english);
    QFETCH(QStringList, deutsch);
    QWidget *window = make(m_kdx);
    window->show();
    const QStringList shown = captions(window);
    for (const QString &text : german() ? deutsch : english)
        QVERIFY2(shown.contains(text), qPrintable(QStringLiteral("\"%1\" not among %2").arg(text, shown.join(QStringLiteral(" | ")))));
    // Under German, none of the English captions above is left.
    if (german()) {
        for (const QString &text : english)
            QVERIFY2(!shown.contains(text), qPrintable(text));
    }
    window->close();
    if (window != monitor::TrafficWindow::instance())
        delete window;
}

void tst_Translation::driverTextsAndQtsOwn()
{
    QCOMPARE(CKDX::ErrorDescription(kdx::NoResponse),
             german() ? QStringLiteral("Das Gerät antwortet nicht.") : QStringLiteral("Device does not respond."));
    // Qt's own dialog buttons follow the same language.
    QCOMPARE(QCoreApplication::translate("QPlatformTheme", "&Yes"), german() ? QStringLiteral("&Ja") : QStringLiteral("&Yes"));
}

void tst_Translation::germanIsComplete()
{
    QFile ts(QStringLiteral(KDX_SOURCE_DIR "/translations/kdx-utility_de.ts"));
    QVERIFY(ts.open(QIODevice::ReadOnly));
    const QByteArray text = ts.readAll();
    QVERIFY(text.count("<message>") > 100);
    QCOMPARE(text.count("type=\"unfinished\""), 0);
}

// A caption's "&" marks its shortcut key, or with no buddy shows as itself;
// either way the German needs as many as the English ("&&" shows two).
void tst_Translation::germanKeepsTheAmpersands()
{
    QFile ts(QStringLiteral(KDX_SOURCE_DIR "/translations/kdx-utility_de.ts"));
    QVERIFY(ts.open(QIODevice::ReadOnly));
    QXmlStreamReader xml(&ts);
    QString source;
    int checked = 0;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        if (xml.name() == QLatin1String("source")) {
            source = xml.readElementText();
        } else if (xml.name() == QLatin1String("translation")) {
            const QString german = xml.readElementText(QXmlStreamReader::IncludeChildElements);
            QVERIFY2(german.count(QLatin1Char('&')) == source.count(QLatin1Char('&')),
                     qPrintable(source + QStringLiteral(" -> ") + german));
            ++checked;
        }
    }
    QVERIFY(!xml.hasError());
    QVERIFY(checked > 100);
}

QTEST_MAIN(tst_Translation)
#include "tst_translation.moc"
