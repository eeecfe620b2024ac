// The VT100 test window against kdx-sim in VT100 mode, over a pseudo-terminal
// and the real serial port: after every key and button the simulated display
// must show what the window's screen model holds.

#include "Ansi.h"
#include "AppInfo.h"
#include "CKDX.h"
#include "PortMap.h"
#include "RecordingDialogs.h"
#include "SimProcess.h"
#include "TestEnv.h"
#include "frmCKDX.h"
#include "frmVT100.h"

#include <QComboBox>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QtTest>

#include <functional>

namespace {

constexpr int kCom = 7;
constexpr int kSettleMs = 3000;

struct SimState
{
    QList<int> codes; // row order
    int row = 0;
    int col = 0;
    QJsonObject all;
};

} // namespace

class tst_vt100_sim : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void mirrorsTheDisplay();
    void identificationAndScreenRead();
    void closeClosesThePort();

private:
    SimState readState() const;
    // Whether the simulated screen and cursor equal the model's. The display
    // shows an empty cell as a blank, the model as 0.
    bool sameAsModel(QString *why) const;
    void waitForSameScreen(const QString &step);
    QPushButton *cmd(int i) const { return m_w->findChild<QPushButton *>(QStringLiteral("cmdCtrl_%1").arg(i)); }

    std::unique_ptr<SimProcess> m_sim;
    std::unique_ptr<kdxtest::RecordingDialogs> m_dialogs;
    std::unique_ptr<CKDX> m_kdx;
    std::unique_ptr<frmVT100> m_w;
};

void tst_vt100_sim::initTestCase()
{
    kdxtest::isolateUserFolders();
    platform::app::setTitle(QStringLiteral("KDXB Utility"));
    QVERIFY(SimProcess::built());
    m_sim = std::make_unique<SimProcess>(platform::PortMap::defaultDir());
    QVERIFY2(m_sim->start({QStringLiteral("--mode"), QStringLiteral("vt100"), QStringLiteral("--com"),
                           QString::number(kCom)}),
             qPrintable(m_sim->error()));

    // The real port, found through the port map the simulator registered in.
    frmCKDX::resetInstance();
    frmCKDX::setPortFactory({});
    m_dialogs = std::make_unique<kdxtest::RecordingDialogs>();
    m_kdx = std::make_unique<CKDX>();
    m_kdx->setCommPort(kCom);
    m_kdx->setBaudRate(QStringLiteral("19200"));
    m_kdx->setParity(QStringLiteral("N,8,1"));
    m_w = std::make_unique<frmVT100>(*m_kdx);
    m_w->show();
}

void tst_vt100_sim::cleanupTestCase()
{
    m_w.reset();
    frmCKDX::resetInstance();
    m_sim.reset();
}

SimState tst_vt100_sim::readState() const
{
    SimState s;
    s.all = m_sim->state();
    for (const QJsonValue &row : s.all.value(QStringLiteral("codes")).toArray()) {
        for (const QJsonValue &c : row.toArray())
            s.codes << c.toInt();
    }
    const QJsonObject cursor = s.all.value(QStringLiteral("cursor")).toObject();
    s.row = cursor.value(QStringLiteral("row")).toInt();
    s.col = cursor.value(QStringLiteral("col")).toInt();
    return s;
}

bool tst_vt100_sim::sameAsModel(QString *why) const
{
    const SimState s = readState();
    std::vector<std::int16_t> cells;
    m_w->model().GetData(cells);
    if (s.codes.size() != int(cells.size())) {
        *why = QStringLiteral("display has %1 cells").arg(s.codes.size());
        return false;
    }
    for (int i = 0; i < s.codes.size(); ++i) {
        const int model = cells[size_t(i)] == 0 ? ' ' : cells[size_t(i)];
        if (s.codes[i] != model) {
            *why = QStringLiteral("cell %1: display %2, model %3").arg(i).arg(s.codes[i]).arg(model);
            return false;
        }
    }
    std::int16_t row = 0;
    std::int16_t col = 0;
    m_w->model().GetCursorPosition(row, col);
    if (s.row != row || s.col != col) {
        *why = QStringLiteral("cursor: display %1,%2, model %3,%4").arg(s.row).arg(s.col).arg(row).arg(col);
        return false;
    }
    return true;
}

void tst_vt100_sim::waitForSameScreen(const QString &step)
{
    QString why;
    QElapsedTimer t;
    t.start();
    while (!sameAsModel(&why) && t.elapsed() < kSettleMs)
        QTest::qWait(20);
    QVERIFY2(sameAsModel(&why), qPrintable(step + QStringLiteral(": ") + why));
}

void tst_vt100_sim::mirrorsTheDisplay()
{
    QWidget *pic = m_w->findChild<QWidget *>(QStringLiteral("pic"));
    auto *txtY = m_w->findChild<QLineEdit *>(QStringLiteral("txtY"));
    auto *txtX = m_w->findChild<QLineEdit *>(QStringLiteral("txtX"));
    auto type = [pic](const char *text) {
        for (const char *p = text; *p; ++p)
            QTest::keyClick(pic, *p);
    };
    auto position = [&](const char *y, const char *x) {
        txtY->setText(QLatin1String(y));
        txtX->setText(QLatin1String(x));
        cmd(4)->click();
    };

    const QList<QPair<const char *, std::function<void()>>> steps = {
        {"typed text", [&] { type("Hello"); }},
        {"Enter", [&] { type("\r"); }},
        {"LF button", [&] { cmd(1)->click(); }},
        {"more text", [&] { type("VT100 mode"); }},
        {"two BS", [&] { cmd(0)->click(); cmd(0)->click(); }},
        {"position 3;15 and text", [&] { position("3", "15"); type("xyz"); }},
        {"CR and erase to end of line", [&] { cmd(2)->click(); cmd(5)->click(); }},
        {"special characters", [&] { cmd(8)->click(); }},
        {"erase display", [&] { cmd(3)->click(); }},
        {"last cell scrolls", [&] { type("top"); position("4", "20"); type("Z!"); }},
        {"position beyond the grid", [&] { position("9", "99"); type("e"); }},
        {"Esc typed into the copy", [&] { type("\x1b[2J"); }},
    };
    for (const auto &step : steps) {
        step.second();
        waitForSameScreen(QLatin1String(step.first));
        if (QTest::currentTestFailed())
            return;
    }
    QVERIFY(m_w->isVisible());

    // Country code and brightness go to the display only.
    auto *cbo = m_w->findChild<QComboBox *>(QStringLiteral("cboContryCode"));
    cbo->setCurrentIndex(2);
    cmd(6)->click();
    QTRY_COMPARE_WITH_TIMEOUT(readState().all.value(QStringLiteral("international")).toObject().value(
                                  QStringLiteral("code")).toInt(),
                              2, kSettleMs);
    m_w->findChild<QSlider *>(QStringLiteral("Slider1"))->setValue(1);
    QTRY_COMPARE_WITH_TIMEOUT(readState().all.value(QStringLiteral("brightness")).toInt(), 50, kSettleMs);
    waitForSameScreen(QStringLiteral("after country code and brightness"));
}

void tst_vt100_sim::identificationAndScreenRead()
{
    m_dialogs->boxes.clear();
    cmd(7)->click();
    QCOMPARE(m_dialogs->boxes.size(), 1);
    const QString text = m_dialogs->boxes.first().text;
    QVERIFY2(text.startsWith(QStringLiteral("Return Code: \x1b[?KDX")), qPrintable(text));
    QVERIFY2(text.contains(QStringLiteral("\r\nNumber of lines : 4\r\nColumn/line : 20")), qPrintable(text));
    QVERIFY2(text.contains(QStringLiteral("\r\nCharacter set : 02\r\n")), qPrintable(text));

    // Text on the display, then the window reads it back into its copy and model.
    QWidget *pic = m_w->findChild<QWidget *>(QStringLiteral("pic"));
    for (char c : QByteArray("read me\r  back"))
        QTest::keyClick(pic, c);
    waitForSameScreen(QStringLiteral("before the read"));
    cmd(9)->click();

    const SimState s = readState();
    std::vector<std::int16_t> cells;
    m_w->model().GetData(cells);
    for (int i = 0; i < frmVT100::kCells; ++i) {
        QCOMPARE(int(cells[size_t(i)]), s.codes[i]); // blanks now, as the display sent them
        const QString caption = m_w->findChild<QLabel *>(QStringLiteral("lbl_%1").arg(i))->text();
        QCOMPARE(caption, QString(platform::ansi::charOf(uchar(s.codes[i]))));
    }
    waitForSameScreen(QStringLiteral("after the read"));
}

void tst_vt100_sim::closeClosesThePort()
{
    QVERIFY(frmCKDX::instance().MSComm1().portOpen());
    m_w->close();
    QVERIFY(!m_w->isVisible());
    QVERIFY(!frmCKDX::instance().MSComm1().portOpen());
}

QTEST_MAIN(tst_vt100_sim)
#include "tst_vt100_sim.moc"
