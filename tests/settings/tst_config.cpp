#include <QGuiApplication>
#include <QtTest>

#include "AppFolder.h"
#include "WithoutFileOverride.h"
#include "XKeyHelper.h"
#include "platform/Autostart.h"
#include "platform/UserInteraction.h"
#include "platform/x11/QxtGlobalShortcut.h"
#include "platform/x11/X11DesktopSession.h"
#include "settings/Config.h"

namespace {
class RecordingInteraction : public UserInteraction {
public:
    void warning(const QString& title, const QString& text) override { warnings.append(title + "|" + text); }
    QStringList warnings;
};

const char* const Uuid = "00:11:22:33:44:55";
} // namespace

// Config of an application folder that is not the current directory.
class TestConfig : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void filesLiveInTheApplicationFolder();
    void settingsAreOnDiskBeforeTheWriterEndsForItsOwnerOnly();
    void refusedWritesChangeNothingAndSayWhy_data();
    void refusedWritesChangeNothingAndSayWhy();
    void autostartEntryFollowsStartUp();
    void castShortcut();

private:
    Config* open(bool withSession = true)
    {
        m_config.reset();
        m_config = std::make_unique<Config>(app(), withSession ? m_session.get() : nullptr, &m_interaction);
        return m_config.get();
    }
    QString app() const { return m_folder->path(); }
    QString entryPath() const { return Autostart::entryPath(Config::RunEntryName); }

    std::unique_ptr<AppFolder> m_folder;
    std::unique_ptr<X11DesktopSession> m_session;
    std::unique_ptr<Config> m_config;
    RecordingInteraction m_interaction;
};

void TestConfig::initTestCase()
{
    QVERIFY2(QGuiApplication::platformName() == QLatin1String("xcb"), "these tests need an X server");
    m_session = std::make_unique<X11DesktopSession>();
}

void TestConfig::init()
{
    m_config.reset();
    m_folder = std::make_unique<AppFolder>();
    QVERIFY(m_folder->isValid());
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_folder->root() + "/xdg"));
    m_interaction.warnings.clear();
}

void TestConfig::filesLiveInTheApplicationFolder()
{
    Config* c = open();
    QCOMPARE(c->filePath(), app() + "/config.ini");
    QCOMPARE(c->value(Config::DownloadPath).toString(), app() + "/Download/");
    QCOMPARE(c->defaultFor(Config::DownloadPath).toString(), app() + "/Download/");
    QVERIFY(c->isCastShortcutRegistered());
    QVERIFY(m_interaction.warnings.isEmpty());

    // Only a change is announced; storing the default explicitly changes nothing.
    QSignalSpy spy(c, &Config::valueChanged);
    QVERIFY(c->setValue(Config::ConfirmCast, false));
    QVERIFY(c->setValue(Config::ConfirmCast, false));
    QVERIFY(c->setValue(Config::CastShortcut, "F11"));
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0), (QVariantList{int(Config::ConfirmCast), false, true}));
    QVERIFY(!QFile::exists("config.ini")); // not in the current directory
}

void TestConfig::settingsAreOnDiskBeforeTheWriterEndsForItsOwnerOnly()
{
    // The writer ends without any teardown, as a process that is killed would.
    QProcess writer;
    writer.setProcessChannelMode(QProcess::ForwardedChannels);
    writer.start(QCoreApplication::applicationFilePath(), {"--writer", app()});
    QVERIFY(writer.waitForFinished(30000));
    QCOMPARE(writer.exitCode(), 0);
    // The file holds cast passwords.
    QCOMPARE(AppFolder::modeOf(app() + "/config.ini"), 0600);
    Config* c = open(false);
    QCOMPARE(c->value(Config::ClientName).toString(), QString::fromUtf8("会议室 PC"));
    QCOMPARE(c->value(Config::SecureMode).userType(), int(QMetaType::Bool));
    QCOMPARE(c->value(Config::SecureMode), QVariant(true));
    QCOMPARE(c->castPassword(Uuid), QString::fromUtf8("p@ss 密码=;"));

    // A file an older copy left readable to all is narrowed when it is opened.
    m_config.reset();
    QVERIFY(QFile::setPermissions(app() + "/config.ini", QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther));
    open(false);
    QCOMPARE(AppFolder::modeOf(app() + "/config.ini"), 0600);
}

void TestConfig::refusedWritesChangeNothingAndSayWhy_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("folder"); // 0 writable, 1 read-only and empty, 2 read-only with the file
    QTest::addColumn<QString>("reason"); // %1: the application folder
    QTest::newRow("empty name") << int(Config::ClientName) << 0 << "ClientName may not be empty";
    QTest::newRow("unknown type") << 42 << 0 << "there is no setting number 42";
    QTest::newRow("no file yet") << int(Config::ClientName) << 1 << "cannot write %1/config.ini: permission denied";
    QTest::newRow("file present") << int(Config::ClientName) << 2 << "cannot write %1: permission denied";
}

void TestConfig::refusedWritesChangeNothingAndSayWhy()
{
    QFETCH(int, type);
    QFETCH(int, folder);
    QFETCH(QString, reason);
    reason.replace("%1", app());
    Config* c = open(false);
    if (folder != 1)
        QVERIFY(c->setValue(Config::ClientName, "Room PC"));
    const QString before = c->value(Config::ClientName).toString();
    if (folder != 0)
        QVERIFY(m_folder->makeReadOnly());
    {
        WithoutFileOverride asAUser;
        QVERIFY(!c->setValue(type, folder ? "X" : ""));
        QCOMPARE(c->lastError(), reason);
        if (folder != 0) {
            QVERIFY(!c->setCastPassword(Uuid, "secret"));
            QCOMPARE(c->lastError(), reason);
        }
    }
    QCOMPARE(c->value(Config::ClientName).toString(), before);
    QCOMPARE(c->castPassword(Uuid), QString());
    QCOMPARE(QFile::exists(app() + "/config.ini"), folder != 1);
}

void TestConfig::autostartEntryFollowsStartUp()
{
    // Another copy's entry does not count and is replaced by this copy's.
    const QString program = QCoreApplication::applicationFilePath();
    QVERIFY(Autostart::add(Config::RunEntryName, "/opt/other copy/quorvel", "-s"));
    Config* c = open();
    QCOMPARE(Autostart::command(Config::RunEntryName), program + " -s");

    QVERIFY(c->setValue(Config::StartUp, false));
    QVERIFY(!QFile::exists(entryPath()));
    QVERIFY(c->setValue(Config::StartUp, true));
    QCOMPARE(Autostart::command(Config::RunEntryName), program + " -s");

    // The setting is applied at every start, even when changed behind the client's back.
    QVERIFY(QFile::remove(entryPath()));
    open();
    QVERIFY(QFile::exists(entryPath()));
}

void TestConfig::castShortcut()
{
    XKeyHelper other; // another program, and the keyboard
    QVERIFY(other.isValid());
    QVERIFY(other.grab(XK_F11) && other.grab(XK_F9));
    // A headless program neither takes the key nor warns, nor writes the autostart entry.
    Config* c = open(false);
    QVERIFY(c->setValue(Config::StartUp, true));
    QVERIFY(c->setValue(Config::CastShortcut, "F11"));
    QVERIFY(!QFile::exists(entryPath()));
    QVERIFY(m_interaction.warnings.isEmpty());

    // The window warns at its start and keeps the setting.
    c = open();
    QVERIFY(!c->isCastShortcutRegistered());
    QCOMPARE(m_interaction.warnings,
        QStringList{"Error|The cast shortcut \"F11\" could not be set,\nplease choose another one in the settings."});
    // A key held elsewhere is refused with the reason; a free one is taken.
    QVERIFY(!c->setValue(Config::CastShortcut, "F9"));
    QCOMPARE(c->lastError(), QString("cannot register the shortcut \"F9\": another program holds it"));
    QCOMPARE(c->value(Config::CastShortcut).toString(), QString("F11"));
    other.ungrab(XK_F9);
    other.ungrab(XK_F11);
    QVERIFY(c->setValue(Config::CastShortcut, "Ctrl+F9"));

    QSignalSpy spy(c, &Config::castShortcutActivated);
    other.press(XK_F9, XK_Control_L);
    QVERIFY(spy.count() || spy.wait(5000));
    QCOMPARE(spy.count(), 1);
    // Another key, the key alone or with another modifier, or the key while disabled does
    // not fire. X events arrive in order, so a marker shortcut pressed afterwards tells
    // when they have all been seen.
    QxtGlobalShortcut marker;
    QVERIFY(marker.setShortcut(QKeySequence("F7")));
    QSignalSpy markerSpy(&marker, &QxtGlobalShortcut::activated);
    other.press(XK_F8);
    other.press(XK_F9);
    other.press(XK_F9, XK_Shift_L);
    c->setCastShortcutEnabled(false);
    other.press(XK_F9, XK_Control_L);
    other.press(XK_F7);
    QVERIFY(markerSpy.wait(5000));
    QCOMPARE(spy.count(), 1);
    c->setCastShortcutEnabled(true);
    other.press(XK_F9, XK_Control_L);
    QVERIFY(spy.wait(5000));
    QCOMPARE(spy.count(), 2);
    // Only the Ctrl variant is ours: the plain key is free for others again.
    QVERIFY(other.grab(XK_F9));
    other.ungrab(XK_F9);
}

int main(int argc, char** argv)
{
    // Writer mode: stores settings and ends at once, without destructors or event loop.
    if (argc == 3 && qstrcmp(argv[1], "--writer") == 0) {
        QCoreApplication app(argc, argv);
        Config c(QString::fromLocal8Bit(argv[2]));
        const bool ok = c.setValue(Config::ClientName, QString::fromUtf8("会议室 PC"))
            && c.setValue(Config::SecureMode, true) && c.setCastPassword(Uuid, QString::fromUtf8("p@ss 密码=;"));
        _exit(ok ? 0 : 1);
    }
    QGuiApplication app(argc, argv);
    TestConfig test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_config.moc"
