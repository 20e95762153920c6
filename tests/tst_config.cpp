#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QHostInfo>
#include <QProcess>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>
#include <sys/stat.h>

#include "Config.h"
#include "QxtGlobalShortcut.h"
#include "UserInteraction.h"
#include "WithoutFileOverride.h"
#include "X11DesktopSession.h"
#include "XKeyHelper.h"
#include "utils/WinUtils.h"

namespace {
class RecordingInteraction : public UserInteraction {
public:
    void warning(const QString& title, const QString& text) override { warnings.append({title, text}); }
    QList<QPair<QString, QString>> warnings;
};

int modeOf(const QString& path)
{
    struct stat st { };
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 0777) : -1;
}

const char* const Uuid = "00:11:22:33:44:55";
} // namespace

// Config of an application folder that is not the current directory.
class TestConfig : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void defaultsLiveInTheApplicationFolder();
    void settingsAreOnDiskBeforeTheWriterEnds();
    void fileIsForItsOwnerOnly();
    void refusedWritesSayWhy_data();
    void refusedWritesSayWhy();
    void unwritableFolderChangesNothingAndSaysWhy_data();
    void unwritableFolderChangesNothingAndSaysWhy();
    void valueChangedOnlyOnChange();
    void autostartEntryFollowsStartUp();
    void shortcutHeldElsewhereIsRefused();
    void shortcutFiresWhenPressed();
    void startupWarnsWhenShortcutIsTaken();
    void headlessProgramsLeaveTheSessionAlone();

private:
    Config* open(bool withSession = true);
    QString app() const { return m_dir->path() + "/app"; }
    QString entryPath() const { return WinUtils::runEntryPath(Config::RunEntryName); }

    QTemporaryDir* m_dir = nullptr;
    std::unique_ptr<X11DesktopSession> m_session;
    std::unique_ptr<Config> m_config;
    RecordingInteraction m_interaction;
};

void TestConfig::initTestCase()
{
    QVERIFY2(QGuiApplication::platformName() == QLatin1String("xcb"), "these tests need an X server");
    UserInteraction::install(&m_interaction);
}

void TestConfig::init()
{
    m_dir = new QTemporaryDir;
    QVERIFY(m_dir->isValid());
    QVERIFY(QDir(m_dir->path()).mkdir("app") && QDir(m_dir->path()).mkdir("elsewhere"));
    QDir::setCurrent(m_dir->path() + "/elsewhere");
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_dir->path() + "/xdg"));
    m_interaction.warnings.clear();
}

void TestConfig::cleanup()
{
    m_config.reset();
    m_session.reset();
    QFile::setPermissions(app(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    delete m_dir;
}

Config* TestConfig::open(bool withSession)
{
    m_config.reset();
    if (withSession && !m_session)
        m_session = std::make_unique<X11DesktopSession>();
    m_config = std::make_unique<Config>(app(), withSession ? m_session.get() : nullptr);
    return m_config.get();
}

void TestConfig::defaultsLiveInTheApplicationFolder()
{
    Config* c = open();
    QCOMPARE(Config::instance(), c);
    QCOMPARE(c->filePath(), app() + "/config.ini");
    QCOMPARE(c->value(Config::ClientName).toString(), QHostInfo::localHostName());
    QCOMPARE(c->value(Config::SecureMode), QVariant(false));
    QCOMPARE(c->value(Config::DownloadPath).toString(), app() + "/Download/");
    QCOMPARE(Config::defaultOf(Config::DownloadPath).toString(), app() + "/Download/");
    QCOMPARE(c->value(Config::ConfirmCast), QVariant(true));
    QCOMPARE(c->value(Config::LastSelectedServerUUID).toString(), QString());
    QCOMPARE(c->value(Config::StartUp), QVariant(true));
    QCOMPARE(c->value(Config::CastShortcut).toString(), QString("F11"));
    QVERIFY(!c->value(7).isValid());
    QVERIFY(!c->contains(Config::ClientName));
    QVERIFY(c->isCastShortcutRegistered());
    QVERIFY(m_interaction.warnings.isEmpty());

    QVERIFY(c->setValue(Config::SecureMode, true));
    QVERIFY(QFile::exists(app() + "/config.ini"));
    QVERIFY(!QFile::exists("config.ini")); // not in the current directory
    m_config.reset();
    QCOMPARE(Config::instance(), nullptr);
}

void TestConfig::settingsAreOnDiskBeforeTheWriterEnds()
{
    // The writer ends without any teardown, as a process that is killed would.
    QProcess writer;
    writer.setProcessChannelMode(QProcess::ForwardedChannels);
    writer.start(QCoreApplication::applicationFilePath(), {"--writer", app()});
    QVERIFY(writer.waitForFinished(30000));
    QCOMPARE(writer.exitCode(), 0);

    QSettings raw(app() + "/config.ini", QSettings::IniFormat);
    QCOMPARE(raw.value("SecureMode").toString(), QString("true"));
    Config* c = open(false);
    QCOMPARE(c->value(Config::ClientName).toString(), QString::fromUtf8("会议室 PC"));
    QCOMPARE(c->value(Config::SecureMode).userType(), int(QMetaType::Bool));
    QCOMPARE(c->value(Config::SecureMode), QVariant(true));
    QCOMPARE(c->value(Config::DownloadPath).toString(), QString("/tmp/dl/"));
    QCOMPARE(c->castPassword(Uuid), QString::fromUtf8("p@ss 密码=;"));
    QCOMPARE(c->castPassword("another device"), QString());
}

void TestConfig::fileIsForItsOwnerOnly()
{
    Config* c = open(false);
    QVERIFY(c->setCastPassword(Uuid, "secret"));
    QCOMPARE(modeOf(app() + "/config.ini"), 0600);
    QVERIFY(c->setValue(Config::ClientName, "Room PC"));
    QCOMPARE(modeOf(app() + "/config.ini"), 0600);
    // A file an older copy left readable to all is narrowed when it is opened.
    m_config.reset();
    QVERIFY(::chmod(QFile::encodeName(app() + "/config.ini").constData(), 0644) == 0);
    open(false);
    QCOMPARE(modeOf(app() + "/config.ini"), 0600);
}

void TestConfig::refusedWritesSayWhy_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("reason");
    QTest::newRow("empty name") << int(Config::ClientName) << ""
                                << "ClientName may not be empty";
    QTest::newRow("unknown type") << 42 << "x"
                                  << "there is no setting number 42";
    QTest::newRow("negative type") << -1 << "x"
                                   << "there is no setting number -1";
}

void TestConfig::refusedWritesSayWhy()
{
    QFETCH(int, type);
    QFETCH(QString, value);
    QFETCH(QString, reason);
    Config* c = open(false);
    QVERIFY(c->setValue(Config::ClientName, "Room PC"));
    QVERIFY(c->lastError().isEmpty());
    QVERIFY(!c->setValue(type, value));
    QCOMPARE(c->lastError(), reason);
    QCOMPARE(c->value(Config::ClientName).toString(), QString("Room PC"));
}

void TestConfig::unwritableFolderChangesNothingAndSaysWhy_data()
{
    QTest::addColumn<bool>("fileExists");
    QTest::addColumn<QString>("reason"); // %1: the application folder
    QTest::newRow("no file yet") << false << "cannot write %1/config.ini: permission denied";
    QTest::newRow("file present") << true << "cannot write %1: permission denied";
}

void TestConfig::unwritableFolderChangesNothingAndSaysWhy()
{
    QFETCH(bool, fileExists);
    QFETCH(QString, reason);
    Config* c = open(false);
    const QString before = c->value(Config::ClientName).toString();
    if (fileExists)
        QVERIFY(c->setValue(Config::ClientName, before));
    QVERIFY(QFile::setPermissions(app(), QFile::ReadOwner | QFile::ExeOwner));
    {
        WithoutFileOverride asAUser;
        QVERIFY(!c->setValue(Config::ClientName, "X"));
        QCOMPARE(c->lastError(), reason.arg(app()));
        QVERIFY(!c->setCastPassword(Uuid, "secret"));
        QCOMPARE(c->lastError(), reason.arg(app()));
    }
    QCOMPARE(c->value(Config::ClientName).toString(), before);
    QCOMPARE(c->castPassword(Uuid), QString());
    QCOMPARE(QFile::exists(app() + "/config.ini"), fileExists);
}

void TestConfig::valueChangedOnlyOnChange()
{
    Config* c = open(false);
    QSignalSpy spy(c, &Config::valueChanged);
    QVERIFY(c->setValue(Config::ConfirmCast, false));
    QVERIFY(c->setValue(Config::ConfirmCast, false));
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).toInt(), int(Config::ConfirmCast));
    QCOMPARE(spy.at(0).at(1), QVariant(false));
    QCOMPARE(spy.at(0).at(2), QVariant(true));
    // Storing the default explicitly changes nothing either.
    QVERIFY(c->setValue(Config::CastShortcut, "F11"));
    QCOMPARE(spy.count(), 1);
}

void TestConfig::autostartEntryFollowsStartUp()
{
    // Another copy's entry does not count and is replaced by this copy's.
    const QString program = QCoreApplication::applicationFilePath();
    QVERIFY(WinUtils::addRunEntry(Config::RunEntryName, "/opt/other copy/quorvel", "-s"));
    QVERIFY(WinUtils::hasRunEntry(Config::RunEntryName, "/opt/other copy/quorvel"));
    QVERIFY(!WinUtils::hasRunEntry(Config::RunEntryName, program));
    Config* c = open();
    QCOMPARE(WinUtils::runEntryCommand(Config::RunEntryName), program + " -s");

    QVERIFY(c->setValue(Config::StartUp, false));
    QVERIFY(!QFile::exists(entryPath()));
    QCOMPARE(c->value(Config::StartUp), QVariant(false));
    QVERIFY(c->setValue(Config::StartUp, true));
    QCOMPARE(WinUtils::runEntryCommand(Config::RunEntryName), program + " -s");

    // The setting is applied at every start, even when changed behind the client's back.
    QVERIFY(QFile::remove(entryPath()));
    open();
    QVERIFY(QFile::exists(entryPath()));
}

void TestConfig::shortcutHeldElsewhereIsRefused()
{
    XKeyHelper other;
    QVERIFY(other.isValid());
    QVERIFY(other.grab(XK_F9));
    Config* c = open();
    QVERIFY(!c->setValue(Config::CastShortcut, "F9"));
    QCOMPARE(c->lastError(), QString("cannot register the shortcut \"F9\": another program holds it"));
    QCOMPARE(c->value(Config::CastShortcut).toString(), QString("F11"));
    other.ungrab(XK_F9);
    QVERIFY(c->setValue(Config::CastShortcut, "Ctrl+F9"));
    QCOMPARE(c->value(Config::CastShortcut).toString(), QString("Ctrl+F9"));
    // Only the Ctrl variant is ours: the plain key is free for others again.
    QVERIFY(other.grab(XK_F9));
    other.ungrab(XK_F9);
}

void TestConfig::shortcutFiresWhenPressed()
{
    Config* c = open();
    QVERIFY(c->setValue(Config::CastShortcut, "F10"));
    QSignalSpy spy(c, &Config::castShortcutActivated);
    XKeyHelper keyboard;
    QVERIFY(keyboard.isValid());
    keyboard.press(XK_F10);
    QVERIFY(spy.count() || spy.wait(5000));
    QCOMPARE(spy.count(), 1);

    // Another key, the key with a modifier, or the key while disabled does not fire. X
    // events arrive in order, so a marker shortcut pressed afterwards tells when they
    // have all been seen.
    QxtGlobalShortcut marker;
    QVERIFY(marker.setShortcut(QKeySequence("F7")));
    QSignalSpy markerSpy(&marker, &QxtGlobalShortcut::activated);
    keyboard.press(XK_F8);
    keyboard.press(XK_F10, XK_Shift_L);
    c->setCastShortcutEnabled(false);
    keyboard.press(XK_F10);
    keyboard.press(XK_F7);
    QVERIFY(markerSpy.wait(5000));
    QCOMPARE(spy.count(), 1);
    c->setCastShortcutEnabled(true);
    keyboard.press(XK_F10);
    QVERIFY(spy.wait(5000));
    QCOMPARE(spy.count(), 2);
}

void TestConfig::startupWarnsWhenShortcutIsTaken()
{
    XKeyHelper other;
    QVERIFY(other.grab(XK_F11));
    Config* c = open();
    QVERIFY(!c->isCastShortcutRegistered());
    QCOMPARE(m_interaction.warnings.size(), 1);
    QCOMPARE(m_interaction.warnings.at(0).first, QString::fromUtf8("错误"));
    QCOMPARE(m_interaction.warnings.at(0).second,
        QString::fromUtf8("设置投射快捷键为\"F11\"失败,\n请在设置中换用其它快捷键."));
    QCOMPARE(c->value(Config::CastShortcut).toString(), QString("F11"));
    other.ungrab(XK_F11);
}

void TestConfig::headlessProgramsLeaveTheSessionAlone()
{
    XKeyHelper other;
    QVERIFY(other.grab(XK_F11)); // nothing of ours holds it
    Config* c = open(false);
    QVERIFY(!QFile::exists(entryPath()));
    QVERIFY(c->setValue(Config::StartUp, true));
    QVERIFY(!QFile::exists(entryPath()));
    QVERIFY(c->setValue(Config::CastShortcut, "F11"));
    QVERIFY(m_interaction.warnings.isEmpty());
    other.ungrab(XK_F11);
}

// Writer mode: stores settings and ends at once, without destructors or event loop.
static int writerMain(const QString& folder)
{
    Config c(folder);
    const bool ok = c.setValue(Config::ClientName, QString::fromUtf8("会议室 PC"))
        && c.setValue(Config::SecureMode, true) && c.setValue(Config::DownloadPath, "/tmp/dl/")
        && c.setCastPassword(Uuid, QString::fromUtf8("p@ss 密码=;"));
    fflush(stdout);
    _exit(ok ? 0 : 1);
}

int main(int argc, char** argv)
{
    if (argc == 3 && qstrcmp(argv[1], "--writer") == 0) {
        QCoreApplication app(argc, argv);
        return writerMain(QString::fromLocal8Bit(argv[2]));
    }
    QGuiApplication app(argc, argv);
    TestConfig test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_config.moc"
