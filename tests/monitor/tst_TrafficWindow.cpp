// The Traffic window offscreen: rows from the tap appear decoded, pause holds
// them, "Save As..." writes the text format, the cap drops the oldest, the
// main windows open it with their button and Ctrl+T, and "Watch a port..."
// passes a program's traffic on a real pseudo-terminal through it.

#include "CKDX.h"
#include "DisplayView.h"
#include "PortMap.h"
#include "PtyPeer.h"
#include "TestEnv.h"
#include "TrafficWindow.h"
#include "frmCKDX.h"

#include <QAbstractButton>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDialog>
#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

using monitor::TrafficWindow;

class tst_TrafficWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { kdxtest::isolateUserFolders(); }
    void init();
    void cleanup();
    void rowsAppearDecoded();
    void pauseHoldsRows();
    void filterAndCopy();
    void saveAsWritesTheTextFormat();
    void capDropsTheOldest();
    void openedByButtonAndShortcut();
    void watchAPort_data();
    void watchAPort();
    void remembersWhatCameBeforeItOpened();
    void historyIsBounded();

private:
    // A position command through the tapped driver, answered with ACK.
    void command(int position);

    std::unique_ptr<kdxtest::DriverEnv> m_env;
    std::unique_ptr<CKDX> m_kdx;
};

void tst_TrafficWindow::init()
{
    TrafficWindow::installTap();
    monitor::TrafficHistory::install().clear();
    m_env = std::make_unique<kdxtest::DriverEnv>();
    frmCKDX::setPortDecorator({});
    m_env->port().setResponder([](kdxtest::FakeSerialPort &p, const QByteArray &w) {
        if (w == "\x04\x01V\x17")
            p.reply("?1.05");
        else if (w.startsWith("\x04\x01"))
            p.reply("\x06");
    });
    m_kdx = std::make_unique<CKDX>();
    m_kdx->setCommPort(1);
    m_kdx->setBaudRate(QStringLiteral("19200"));
    m_kdx->setParity(QStringLiteral("N,8,1"));
}

void tst_TrafficWindow::cleanup()
{
    delete TrafficWindow::instance();
    m_kdx.reset();
    m_env.reset();
}

void tst_TrafficWindow::command(int position)
{
    QCOMPARE(m_kdx->SetPosition(qint16(position)), 0);
}

void tst_TrafficWindow::rowsAppearDecoded()
{
    TrafficWindow *w = TrafficWindow::open();
    command(20);
    w->flush();
    monitor::TrafficModel &m = w->model();
    QCOMPARE(m.rowCount(), 4);
    QCOMPARE(m.data(m.index(1, monitor::TrafficModel::Dir), Qt::DisplayRole).toString(), QStringLiteral(">"));
    QCOMPARE(m.data(m.index(1, monitor::TrafficModel::Bytes), Qt::DisplayRole).toString(), QStringLiteral("04 01 50 44 17"));
    QCOMPARE(m.data(m.index(1, monitor::TrafficModel::Meaning), Qt::DisplayRole).toString(), QStringLiteral("SetPosition 20"));
    QCOMPARE(m.data(m.index(2, monitor::TrafficModel::Meaning), Qt::DisplayRole).toString(), QStringLiteral("ACK"));
    QCOMPARE(m.data(m.index(0, monitor::TrafficModel::Time), Qt::DisplayRole).toString(), QStringLiteral("0.000000"));
    QCOMPARE(w->statusText(), QStringLiteral("4 events"));
    // The window's own timer brings rows in too.
    command(5);
    QTRY_COMPARE(m.rowCount(), 8);
}

void tst_TrafficWindow::pauseHoldsRows()
{
    TrafficWindow *w = TrafficWindow::open();
    command(1);
    w->flush();
    QTest::mouseClick(w->findChild<QPushButton *>("cmdPause"), Qt::LeftButton);
    QVERIFY(w->paused());
    command(2);
    command(3);
    w->flush();
    QCOMPARE(w->model().rowCount(), 4);
    QCOMPARE(w->heldCount(), 8);
    QCOMPARE(w->statusText(), QStringLiteral("4 events; paused, 8 waiting"));
    // The picture follows the line while the table is paused, and takes each event once.
    const kdxdisplay::VfdModel &picture = w->displayView()->model();
    QCOMPARE(picture.cursorCol(), 2);
    const quint64 drawn = picture.changes();
    QTest::mouseClick(w->findChild<QPushButton *>("cmdPause"), Qt::LeftButton);
    QVERIFY(!w->paused());
    QCOMPARE(picture.changes(), drawn);
    QCOMPARE(w->model().rowCount(), 12);
    QCOMPARE(w->model().event(5).meaning, QStringLiteral("SetPosition 2"));

    QTest::mouseClick(w->findChild<QPushButton *>("cmdClear"), Qt::LeftButton);
    QCOMPARE(w->model().rowCount(), 0);
}

void tst_TrafficWindow::filterAndCopy()
{
    TrafficWindow *w = TrafficWindow::open();
    command(20);
    command(7);
    w->flush();
    auto *view = w->findChild<QTableView *>("grdTraffic");
    QTest::keyClicks(w->findChild<QLineEdit *>("txtFilter"), "setposition");
    QCOMPARE(view->model()->rowCount(), 2);
    view->selectAll();
    QTest::mouseClick(w->findChild<QPushButton *>("cmdCopy"), Qt::LeftButton);
    const QStringList lines = QApplication::clipboard()->text().split('\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 2);
    QVERIFY2(lines[0].endsWith(" > 04 01 50 44 17           SetPosition 20"), qPrintable(lines[0]));
    QVERIFY(lines[1].endsWith("SetPosition 7"));
}

void tst_TrafficWindow::saveAsWritesTheTextFormat()
{
    TrafficWindow *w = TrafficWindow::open();
    command(20);
    w->flush();
    QTemporaryDir dir;
    const QString path = dir.filePath("traffic.txt");
    // The dialog is answered the way a user does: a name typed, then Save.
    QTimer::singleShot(0, [path] {
        auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        dialog->selectFile(path);
        static_cast<QDialog *>(dialog)->accept();
    });
    QTest::mouseClick(w->findChild<QPushButton *>("cmdSaveAs"), Qt::LeftButton);
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(f.readAll()).split('\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 4);
    QCOMPARE(lines[0], QStringLiteral("  0.000000 -                          open COM1 19200,N,8,1"));
    QVERIFY(lines[1].contains(QRegularExpression("^  0\\.\\d{6} > 04 01 50 44 17           SetPosition 20$")));
    QVERIFY(lines[2].endsWith(" < 06                       ACK"));
    QVERIFY(lines[3].endsWith(" close"));

    // Never through a symbolic link.
    const QString link = dir.filePath("link.txt");
    QVERIFY(QFile::link(dir.filePath("elsewhere.txt"), link));
    QString error;
    QVERIFY(!w->saveTo(link, &error));
    QVERIFY(!QFile::exists(dir.filePath("elsewhere.txt")));
}

void tst_TrafficWindow::capDropsTheOldest()
{
    TrafficWindow *w = TrafficWindow::open();
    w->model().setCap(6);
    command(1);
    command(2);
    w->flush();
    QCOMPARE(w->model().rowCount(), 6);
    QCOMPARE(w->model().dropped(), qint64(2));
    QCOMPARE(w->model().event(0).meaning, QStringLiteral("ACK"));
    QCOMPARE(w->model().event(1).meaning, QStringLiteral("close"));
    QCOMPARE(w->statusText(), QStringLiteral("6 events, 2 oldest dropped"));
    // More than the cap in one go keeps the newest.
    command(3);
    command(4);
    w->flush();
    QCOMPARE(w->model().rowCount(), 6);
    QCOMPARE(w->model().event(5).meaning, QStringLiteral("close"));
    QCOMPARE(w->model().event(3).meaning, QStringLiteral("SetPosition 4"));
    QCOMPARE(w->model().dropped(), qint64(10));
}

void tst_TrafficWindow::openedByButtonAndShortcut()
{
    QWidget main;
    QAbstractButton *button = TrafficWindow::makeOpenButton(&main);
    main.show();
    QVERIFY(QTest::qWaitForWindowExposed(&main));
    QVERIFY(!TrafficWindow::instance());
    QTest::mouseClick(button, Qt::LeftButton);
    TrafficWindow *w = TrafficWindow::instance();
    QVERIFY(w && w->isVisible());
    w->close();
    QVERIFY(!w->isVisible());
    main.activateWindow();
    QTest::keyClick(&main, Qt::Key_T, Qt::ControlModifier);
    QCOMPARE(TrafficWindow::instance(), w); // one instance
    QVERIFY(w->isVisible());
}

void tst_TrafficWindow::watchAPort_data()
{
    QTest::addColumn<QString>("taken"); // what COM9 is before; empty: free
    QTest::addColumn<QString>("refusal");
    QTest::newRow("free") << QString() << QString();
    QTest::newRow("taken") << QStringLiteral("/dev/ttyUSB97")
                           << QStringLiteral("The port cannot be watched: COM9 is taken by /dev/ttyUSB97 (not present)");
}

void tst_TrafficWindow::watchAPort()
{
    QFETCH(QString, taken);
    QFETCH(QString, refusal);
    QTemporaryDir locks;
    qputenv("KDX_LOCK_DIR", QFile::encodeName(locks.path()));
    PtyPeer peer;
    peer.setScript([](const QByteArray &chunk, const QByteArray &) {
        return chunk.startsWith("\x04\x01") ? QByteArray(1, '\x06') : QByteArray();
    });
    const platform::PortMap map;
    const QString com9 = map.dir() + QStringLiteral("/COM9");
    QDir().mkpath(map.dir());
    if (!taken.isEmpty())
        QVERIFY(QFile::link(taken, com9));

    TrafficWindow *w = TrafficWindow::open();
    auto *cmdWatchPort = w->findChild<QPushButton *>(QStringLiteral("cmdWatchPort"));
    QTimer::singleShot(0, [&peer] {
        auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        dialog->findChild<QComboBox *>(QStringLiteral("cboPort"))->setEditText(peer.slavePath());
        dialog->findChild<QComboBox *>(QStringLiteral("cboOffer"))->setEditText(QStringLiteral("COM9"));
        dialog->findChild<QPushButton *>(QStringLiteral("cmdWatch"))->click();
    });
    cmdWatchPort->click();
    if (!refusal.isEmpty()) {
        QCOMPARE(m_env->dialogs.boxes.size(), 1);
        QCOMPARE(m_env->dialogs.boxes[0].text, refusal);
        QVERIFY(!w->watch().running());
        QFile::remove(com9);
        return;
    }
    QVERIFY2(w->watch().running(), qPrintable(w->watch().error()));
    QVERIFY(w->statusText().contains(QStringLiteral("watching %1 offered as COM9").arg(peer.slavePath())));

    // A program on COM9: a frame answered by the display, and text.
    const int fd = ::open(QFile::encodeName(com9).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    QVERIFY(fd >= 0);
    termios tio {};
    ::tcgetattr(fd, &tio);
    ::cfmakeraw(&tio);
    ::tcsetattr(fd, TCSANOW, &tio);
    QCOMPARE(::write(fd, "\x04\x01\x50\x31\x17", 5), ssize_t(5));
    QTRY_VERIFY(w->model().rowCount() > 0 && w->model().event(w->model().rowCount() - 1).meaning == QLatin1String("ACK"));
    QCOMPARE(::write(fd, "Hello", 5), ssize_t(5));
    QTRY_COMPARE(w->displayView()->model().rowText(0).left(5), QStringLiteral("Hello"));
    ::close(fd);
    QStringList rows;
    for (int r = 0; r < w->model().rowCount(); ++r)
        rows << QString(QLatin1Char(char(w->model().event(r).direction))) + QLatin1Char(' ') + w->model().event(r).meaning;
    QVERIFY2(rows.contains(QStringLiteral("> SetPosition 1")), qPrintable(rows.join(QLatin1Char('\n'))));

    // Stopping takes COM9 away and lets the display's port go.
    cmdWatchPort->click();
    QVERIFY(!w->watch().running());
    QVERIFY(!QFileInfo(com9).isSymLink());
    QVERIFY(!kdxtest::ttyExclusive(peer.slavePath()));
    QCOMPARE(QDir(locks.path()).entryList(QDir::Files), QStringList());
}

void tst_TrafficWindow::remembersWhatCameBeforeItOpened()
{
    // A version read with no Traffic window anywhere, then the window opened
    // from a main window's button, as a technician does after a fault.
    QString version;
    QCOMPARE(m_kdx->GetVersion(version), 0);
    QWidget main;
    QAbstractButton *button = TrafficWindow::makeOpenButton(&main);
    main.show();
    QVERIFY(QTest::qWaitForWindowExposed(&main));
    QVERIFY(!TrafficWindow::instance());
    QTest::mouseClick(button, Qt::LeftButton);
    TrafficWindow *w = TrafficWindow::instance();
    QVERIFY(w);
    QStringList meanings;
    for (int r = 0; r < w->model().rowCount(); ++r)
        meanings << w->model().event(r).meaning;
    QCOMPARE(meanings, (QStringList {"open COM1 19200,N,8,1", "GetVersion", "version \"?1.05\"", "close"}));

    // Clear forgets it for good: nothing comes back with the next flush.
    QTest::mouseClick(w->findChild<QPushButton *>("cmdClear"), Qt::LeftButton);
    command(3);
    QTRY_COMPARE(w->model().rowCount(), 4);
    QCOMPARE(w->model().event(1).meaning, QStringLiteral("SetPosition 3"));
}

void tst_TrafficWindow::historyIsBounded()
{
    // The ring keeps the newest events and counts the dropped ones, also
    // while no window takes them.
    monitor::TrafficHistory &h = monitor::TrafficHistory::install();
    h.setCap(3);
    for (int i = 1; i <= 2; ++i)
        command(i);
    QCOMPARE(h.size(), 3);
    TrafficWindow *w = TrafficWindow::open();
    QCOMPARE(w->model().rowCount(), 3);
    QCOMPARE(w->model().event(0).meaning, QStringLiteral("SetPosition 2"));
    QCOMPARE(w->statusText(), QStringLiteral("3 events, 5 oldest dropped"));
    h.setCap(monitor::TrafficHistory::kDefaultCap);
}

QTEST_MAIN(tst_TrafficWindow)
#include "tst_TrafficWindow.moc"
