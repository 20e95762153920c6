#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QHostInfo>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include "Config.h"
#include "UserInteraction.h"
#include "XKeyHelper.h"
#include "utils/QxtGlobalShortcut.h"
#include "utils/WinUtils.h"

namespace {
class RecordingInteraction : public UserInteraction {
public:
    void warning(const QString& title, const QString& text) override { warnings.append({title, text}); }
    QList<QPair<QString, QString>> warnings;
};
} // namespace

class TestConfig : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void freshDefaults();
    void valuesPersistWithTheirTypes();
    void autostartEntryFollowsStartUp();
    void foreignCopysEntryIsReplaced();
    void refusesEmptyClientNameAndUnknownTypes();
    void valueChangedOnlyOnChange();
    void castPasswords();
    void shortcutHeldElsewhereIsRefused();
    void shortcutFiresWhenPressed();
    void startupWarnsWhenShortcutIsTaken();
    void headlessProgramsLeaveTheSessionAlone();

private:
    QString entryPath() const { return WinUtils::runEntryPath(Config::RunEntryName); }
    QTemporaryDir* m_dir = nullptr;
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
    QDir::setCurrent(m_dir->path());
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_dir->path() + "/xdg"));
    m_interaction.warnings.clear();
    Config::setSessionIntegration(true);
    Config::resetForTests();
}

void TestConfig::cleanup()
{
    Config::resetForTests();
    delete m_dir;
}

void TestConfig::freshDefaults()
{
    QVERIFY(!QFile::exists("config.ini"));
    Config* c = Config::instance();
    QCOMPARE(c->value(Config::ClientName).toString(), QHostInfo::localHostName());
    QCOMPARE(c->value(Config::SecureMode), QVariant(false));
    QCOMPARE(c->value(Config::DownloadPath).toString(), QDir::currentPath() + "/Download/");
    QCOMPARE(c->value(Config::ConfirmCast), QVariant(true));
    QCOMPARE(c->value(Config::LastSelectedServerUUID).toString(), QString());
    QCOMPARE(c->value(Config::StartUp), QVariant(true));
    QCOMPARE(c->value(Config::CastShortcut).toString(), QString("F11"));
    QVERIFY(!c->value(7).isValid());
    QVERIFY(!c->contains(Config::ClientName));
    QVERIFY(!c->contains(7));
    QVERIFY(c->isCastShortcutRegistered());
    QVERIFY(m_interaction.warnings.isEmpty());
}

void TestConfig::valuesPersistWithTheirTypes()
{
    Config* c = Config::instance();
    QVERIFY(c->setValue(Config::SecureMode, true));
    QVERIFY(c->setValue(Config::DownloadPath, "/tmp/dl/"));
    QVERIFY(c->setValue(Config::LastSelectedServerUUID, "00:11:22:33:44:55"));
    QVERIFY(c->contains(Config::SecureMode));
    Config::resetForTests(); // flushes to config.ini
    QVERIFY(QFile::exists("config.ini"));
    QSettings raw("config.ini", QSettings::IniFormat);
    QCOMPARE(raw.value("SecureMode").toString(), QString("true"));
    QCOMPARE(raw.value("LastSelectedServerUUID").toString(), QString("00:11:22:33:44:55"));

    c = Config::instance();
    QCOMPARE(c->value(Config::SecureMode).userType(), int(QMetaType::Bool));
    QCOMPARE(c->value(Config::SecureMode), QVariant(true));
    QCOMPARE(c->value(Config::DownloadPath).toString(), QString("/tmp/dl/"));
}

void TestConfig::autostartEntryFollowsStartUp()
{
    const QString program = QCoreApplication::applicationFilePath();
    QVERIFY(!QFile::exists(entryPath()));
    Config* c = Config::instance();
    QVERIFY(QFile::exists(entryPath()));
    QCOMPARE(WinUtils::runEntryCommand(Config::RunEntryName), program + " -s");
    QVERIFY(WinUtils::hasRunEntry(Config::RunEntryName, program));

    QVERIFY(c->setValue(Config::StartUp, false));
    QVERIFY(!QFile::exists(entryPath()));
    QCOMPARE(c->value(Config::StartUp), QVariant(false));
    QVERIFY(c->setValue(Config::StartUp, true));
    QCOMPARE(WinUtils::runEntryCommand(Config::RunEntryName), program + " -s");

    // The setting is applied at every start, even when changed behind the client's back.
    QVERIFY(QFile::remove(entryPath()));
    Config::resetForTests();
    Config::instance();
    QVERIFY(QFile::exists(entryPath()));
}

void TestConfig::foreignCopysEntryIsReplaced()
{
    QVERIFY(WinUtils::addRunEntry(Config::RunEntryName, "/opt/other copy/quorvel", "-s"));
    QCOMPARE(WinUtils::runEntryCommand(Config::RunEntryName), QString("/opt/other copy/quorvel -s"));
    QVERIFY(WinUtils::hasRunEntry(Config::RunEntryName, "/opt/other copy/quorvel"));
    QVERIFY(!WinUtils::hasRunEntry(Config::RunEntryName, QCoreApplication::applicationFilePath()));

    Config::instance();
    QCOMPARE(WinUtils::runEntryCommand(Config::RunEntryName), QCoreApplication::applicationFilePath() + " -s");
    QVERIFY(!WinUtils::hasRunEntry(Config::RunEntryName, "/opt/other copy/quorvel"));
}

void TestConfig::refusesEmptyClientNameAndUnknownTypes()
{
    Config* c = Config::instance();
    QVERIFY(c->setValue(Config::ClientName, "Room PC"));
    QVERIFY(!c->setValue(Config::ClientName, ""));
    QCOMPARE(c->value(Config::ClientName).toString(), QString("Room PC"));
    QVERIFY(!c->setValue(42, "x"));
    QVERIFY(!c->setValue(-1, "x"));
}

void TestConfig::valueChangedOnlyOnChange()
{
    Config* c = Config::instance();
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

void TestConfig::castPasswords()
{
    Config* c = Config::instance();
    QCOMPARE(c->castPassword("00:11:22:33:44:55"), QString());
    QVERIFY(c->setCastPassword("00:11:22:33:44:55", QString::fromUtf8("p@ss 密码=;")));
    Config::resetForTests();
    QCOMPARE(Config::instance()->castPassword("00:11:22:33:44:55"), QString::fromUtf8("p@ss 密码=;"));
}

void TestConfig::shortcutHeldElsewhereIsRefused()
{
    XKeyHelper other;
    QVERIFY(other.isValid());
    QVERIFY(other.grab(XK_F9));
    Config* c = Config::instance();
    QVERIFY(!c->setValue(Config::CastShortcut, "F9"));
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
    Config* c = Config::instance();
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
    Config* c = Config::instance();
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
    Config::setSessionIntegration(false);
    Config::resetForTests();
    XKeyHelper other;
    QVERIFY(other.grab(XK_F11)); // nothing of ours holds it
    Config* c = Config::instance();
    QVERIFY(!QFile::exists(entryPath()));
    QVERIFY(c->setValue(Config::StartUp, true));
    QVERIFY(!QFile::exists(entryPath()));
    QVERIFY(c->setValue(Config::CastShortcut, "F11"));
    QVERIFY(m_interaction.warnings.isEmpty());
    other.ungrab(XK_F11);
}

QTEST_MAIN(TestConfig)
#include "tst_config.moc"
