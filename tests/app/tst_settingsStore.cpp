// The settings store with what may be found in its folder: nothing there, its
// own file, a link, a FIFO, a device node, a read-only file. It reads what it
// safely can, never blocks, writes only a changed value and only into a file of
// its own.

#include "SettingsStore.h"
#include "TestEnv.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString kApp = QStringLiteral("Store Test");

struct FileId
{
    bool exists = false;
    mode_t mode = 0;
    ino_t ino = 0;
    QByteArray content;
    bool operator==(const FileId &o) const
    {
        return exists == o.exists && mode == o.mode && ino == o.ino && content == o.content;
    }
};

// What a path is now, without following a link and without opening anything
// that is not a regular file.
FileId idOf(const QString &path)
{
    FileId id;
    struct stat st {};
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0)
        return id;
    id.exists = true;
    id.mode = st.st_mode;
    id.ino = st.st_ino;
    if (S_ISREG(st.st_mode)) {
        QFile f(path);
        if (f.open(QIODevice::ReadOnly))
            id.content = f.readAll();
    } else if (S_ISLNK(st.st_mode)) {
        id.content = QFile::encodeName(QFile::symLinkTarget(path));
    }
    return id;
}

void writeIni(const QString &path, const QByteArray &text, QFile::Permissions perms = {})
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(text);
    f.close();
    if (perms)
        QVERIFY(f.setPermissions(perms));
}

} // namespace

class tst_settingsStore : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { kdxtest::isolateUserFolders(); }
    void init();
    void pathIsTheOneQSettingsUses();
    void kinds_data();
    void kinds();
    void onlyAChangedValueIsWritten();
    void valuesRoundTrip();
    void linkedFolderIsNotWritten();

private:
    QString folder() const { return QFileInfo(platform::settings::iniPath(kApp)).path(); }
    QString ini() const { return platform::settings::iniPath(kApp); }
    QTemporaryDir m_outside;
};

void tst_settingsStore::init()
{
    const QString f = folder();
    struct stat st {};
    if (::lstat(QFile::encodeName(f).constData(), &st) == 0 && S_ISLNK(st.st_mode))
        QFile::remove(f);
    QDir().mkpath(f);
    QFile::setPermissions(ini(), QFile::ReadOwner | QFile::WriteOwner);
    QFile::remove(ini());
}

void tst_settingsStore::pathIsTheOneQSettingsUses()
{
    const QSettings s(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("kdx-utility"), kApp);
    QCOMPARE(platform::settings::iniPath(kApp), s.fileName());
}

void tst_settingsStore::kinds_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("read");   // what GetSetting gives for Set/Layer
    QTest::addColumn<bool>("saved");     // whether a new value lands in the store
    QTest::addColumn<QString>("problem"); // part of saveProblem's sentence, empty: none

    QTest::newRow("absent") << "absent" << "dflt" << true << "";
    QTest::newRow("own regular file") << "regular" << "4" << true << "";
    QTest::newRow("link to a regular file") << "link-file" << "4" << false << "symbolic link";
    QTest::newRow("link to a device node") << "link-device" << "dflt" << false << "symbolic link";
    QTest::newRow("dangling link") << "link-dangling" << "dflt" << false << "symbolic link";
    QTest::newRow("FIFO") << "fifo" << "dflt" << false << "not a regular file";
    QTest::newRow("folder") << "folder" << "dflt" << false << "not a regular file";
    QTest::newRow("read-only file") << "read-only" << "4" << false << "read-only";
}

void tst_settingsStore::kinds()
{
    QFETCH(QString, kind);
    QFETCH(QString, read);
    QFETCH(bool, saved);
    QFETCH(QString, problem);

    const QByteArray content("[Set]\nLayer=4\n");
    const QString outsideFile = m_outside.filePath(QStringLiteral("elsewhere.ini"));
    writeIni(outsideFile, content);
    if (kind == QLatin1String("regular")) {
        writeIni(ini(), content);
    } else if (kind == QLatin1String("link-file")) {
        QVERIFY(QFile::link(outsideFile, ini()));
    } else if (kind == QLatin1String("link-device")) {
        QVERIFY(QFile::link(QStringLiteral("/dev/null"), ini()));
    } else if (kind == QLatin1String("link-dangling")) {
        QVERIFY(QFile::link(m_outside.filePath(QStringLiteral("missing.ini")), ini()));
    } else if (kind == QLatin1String("fifo")) {
        QCOMPARE(::mkfifo(QFile::encodeName(ini()).constData(), 0600), 0);
    } else if (kind == QLatin1String("folder")) {
        QVERIFY(QDir().mkdir(ini()));
    } else if (kind == QLatin1String("read-only")) {
        writeIni(ini(), content, QFile::ReadOwner);
    }
    const FileId before = idOf(ini());
    const FileId outsideBefore = idOf(outsideFile);
    const FileId nullBefore = idOf(QStringLiteral("/dev/null"));

    // A FIFO opened for reading the ordinary way would block here for good.
    QCOMPARE(platform::settings::GetSetting(kApp, "Set", "Layer", "dflt"), read);
    QCOMPARE(platform::settings::saveProblem(kApp).contains(problem), true);
    QCOMPARE(platform::settings::saveProblem(kApp).isEmpty(), problem.isEmpty());
    QCOMPARE(platform::settings::SaveSetting(kApp, "Set", "Layer", "6"), saved);
    QCOMPARE(platform::settings::GetSetting(kApp, "Set", "Layer", "dflt"), saved ? QStringLiteral("6") : read);

    // Nothing outside the folder changed, and what was not saved is untouched.
    QVERIFY(idOf(outsideFile) == outsideBefore);
    QVERIFY(idOf(QStringLiteral("/dev/null")) == nullBefore);
    if (!saved)
        QVERIFY(idOf(ini()) == before);
    if (kind == QLatin1String("folder"))
        QDir(ini()).removeRecursively();
    QFile::remove(ini());
}

void tst_settingsStore::onlyAChangedValueIsWritten()
{
    QVERIFY(platform::settings::SaveSetting(kApp, "Settings", "Comport", "3"));
    const FileId written = idOf(ini());
    QVERIFY(written.exists);

    // The same value again: the file is not replaced (a rewrite gives a new inode).
    QVERIFY(platform::settings::SaveSetting(kApp, "Settings", "Comport", "3"));
    QVERIFY(idOf(ini()) == written);

    // The same value on a read-only file is not a failure: the store holds it.
    QVERIFY(QFile::setPermissions(ini(), QFile::ReadOwner));
    QVERIFY(platform::settings::SaveSetting(kApp, "Settings", "Comport", "3"));
    QVERIFY(!platform::settings::SaveSetting(kApp, "Settings", "Comport", "4"));
    QVERIFY(QFile::setPermissions(ini(), QFile::ReadOwner | QFile::WriteOwner));

    QVERIFY(platform::settings::SaveSetting(kApp, "Settings", "Comport", "4"));
    QVERIFY(!(idOf(ini()) == written));
    QCOMPARE(platform::settings::GetSetting(kApp, "Settings", "Comport"), QStringLiteral("4"));
}

void tst_settingsStore::valuesRoundTrip()
{
    // Written here, read by QSettings; written by QSettings, read here.
    const QString path = QStringLiteral("/tmp/a dir, with \"quotes\"/fw ä.bin");
    QVERIFY(platform::settings::SaveSetting(kApp, "XModem", "File", path));
    {
        const QSettings s(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("kdx-utility"), kApp);
        QCOMPARE(s.value("XModem/File").toString(), path);
    }
    {
        QSettings s(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("kdx-utility"), kApp);
        s.setValue("XModem/File", QStringLiteral("other"));
        s.sync();
    }
    QCOMPARE(platform::settings::GetSetting(kApp, "XModem", "File"), QStringLiteral("other"));
    QCOMPARE(platform::settings::GetSetting(kApp, "XModem", "Missing", "d"), QStringLiteral("d"));
}

void tst_settingsStore::linkedFolderIsNotWritten()
{
    const QString f = folder();
    QVERIFY(QDir(f).removeRecursively());
    const QString real = m_outside.filePath(QStringLiteral("realfolder"));
    QVERIFY(QDir().mkpath(real));
    QVERIFY(QFile::link(real, f));
    QVERIFY(platform::settings::saveProblem(kApp).contains(QLatin1String("symbolic link")));
    QVERIFY(!platform::settings::SaveSetting(kApp, "Set", "Layer", "1"));
    QVERIFY(QDir(real).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).isEmpty());
    QFile::remove(f);
}

QTEST_GUILESS_MAIN(tst_settingsStore)
#include "tst_settingsStore.moc"
