#include <QApplication>
#include <QDBusConnection>
#include <QLocalServer>
#include <QLocalSocket>
#include <QMessageBox>
#include <QPushButton>
#include <QStackedWidget>
#include <QtTest>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "Cjk.h"
#include "DeviceProcess.h"
#include "TestFiles.h"
#include "XKeyHelper.h"
#include "app/AppContext.h"
#include "cast/CastSession.h"
#include "cast/VantropeTask.h"
#include "platform/x11/X11DesktopSession.h"
#include "settings/Config.h"
#include "ui/cast/CastControllerWidget.h"
#include "ui/common/GuiUserInteraction.h"
#include "ui/common/TaskbarProgress.h"
#include "utils/AppLanguage.h"

namespace {
ServerContent device(const QString& address, bool casts = true)
{
    ServerContent s = DeviceProcess::serverAt(address);
    s.name = "Room " + address;
    s.addSupport(casts ? QStringLiteral("Vantrope : 8000") : QStringLiteral("file_upload"));
    return s;
}
} // namespace

// The panel against the simulated device and the real casting program, driven by mouse
// clicks and the global key; the launcher entry's signals seen by another bus client.
class TestCastControllerWidget : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup()
    {
        endStandIn(); // even when the test failed half-way
        delete m_panel;
        AppLanguage::install(qApp, QLocale(QLocale::Chinese, QLocale::China));
    }
    void idlePages();
    void castSteeredFromThePanel();
    void stopBeforeTheProgramCasts();
    void declinedIsSilent();
    void errorsInTheWindowsLanguage_data();
    void errorsInTheWindowsLanguage();
    void disconnectedPageIgnoresTheShortcut();
    void onUpdate(const QString& app, const QVariantMap& p)
    {
        m_updates << QString("%1 %2 %3 %4")
                         .arg(app, p["progress-visible"].toBool() ? "on" : "off")
                         .arg(p["progress"].toDouble())
                         .arg(p["urgent"].toBool() ? "urgent" : "");
    }

private:
    // The page shown, with the casting page's inner page: "castingWidget/...Pending...".
    QString page() const
    {
        QString name = m_panel->findChild<QStackedWidget*>("stackedWidget")->currentWidget()->objectName();
        if (name == "castingWidget")
            name += "/" + m_panel->findChild<QStackedWidget*>("castingStatusWidget")->currentWidget()->objectName();
        return name;
    }
    void click(const char* name) { QTest::mouseClick(m_panel->findChild<QPushButton*>(name), Qt::LeftButton); }
    void endStandIn()
    {
        const int fd = ::open(qPrintable(m_dir.path() + "/end"), O_WRONLY | O_NONBLOCK);
        if (fd >= 0) {
            QVERIFY(::write(fd, "x\n", 2) == 2);
            ::close(fd);
        }
    }
    // Presses the global key; the panel has acted on it when this returns.
    void shortcut()
    {
        QSignalSpy spy(m_context->config(), &Config::castShortcutActivated);
        m_keys.press(XK_F11);
        QVERIFY(spy.wait(5000));
    }
    // Runs handler on each message box (inside its own event loop), keeps
    // "title|text" and closes it with Escape.
    void onBoxes(std::function<void()> handler = {})
    {
        m_boxes.clear();
        m_boxTimer.disconnect();
        connect(&m_boxTimer, &QTimer::timeout, this, [this, handler] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box || box->property("seen").toBool())
                return;
            box->setProperty("seen", true);
            m_boxes << box->windowTitle() + "|" + box->text();
            if (handler)
                handler();
            QTest::keyClick(box, Qt::Key_Escape);
        });
        m_boxTimer.start(10);
    }

    QTemporaryDir m_dir;
    X11DesktopSession m_desktop;
    XKeyHelper m_keys;
    GuiUserInteraction m_interaction;
    std::unique_ptr<AppContext> m_context;
    CastControllerWidget* m_panel = nullptr;
    QStringList m_updates;
    QStringList m_boxes;
    QTimer m_boxTimer;
};

void TestCastControllerWidget::initTestCase()
{
    QVERIFY(m_keys.isValid());
    m_context = std::make_unique<AppContext>(m_dir.path(), &m_desktop, &m_interaction);
    QVERIFY(m_context->config()->isCastShortcutRegistered());
    QDBusConnection observer = QDBusConnection::connectToBus(QDBusConnection::SessionBus, "observer");
    QVERIFY(observer.connect(QString(), TaskbarProgress::ObjectPath, "com.canonical.Unity.LauncherEntry", "Update",
        this, SLOT(onUpdate(QString, QVariantMap))));
}

void TestCastControllerWidget::init()
{
    VantropeTask::setProgramNameForTests(QUORVEL_BIN_DIR "/Vantrope");
    QVERIFY(m_context->config()->setValue(Config::ConfirmCast, false));
    m_updates.clear();
    onBoxes();
    m_panel = new CastControllerWidget;
    m_panel->attach(m_context->cast(), m_context->config());
    m_panel->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_panel));
    for (QWidget* w : m_panel->findChildren<QAbstractButton*>())
        QVERIFY2(!w->accessibleName().isEmpty(), qPrintable(w->objectName()));
}

void TestCastControllerWidget::idlePages()
{
    ServerContent files = device("127.0.0.40", false);
    ServerContent casts = device("127.0.0.40");
    for (ServerContent* d : {&files, static_cast<ServerContent*>(nullptr), &casts, &files}) {
        m_panel->setServerContent(d);
        QCOMPARE(page(), QString(d == &casts ? "notCastWidget" : "notSurrpotWidget"));
        QVERIFY(m_panel->findChild<QPushButton*>("startButton")->isVisible() == (d == &casts));
    }
    shortcut();
    QVERIFY(!m_context->cast()->isActive() && m_boxes.isEmpty());
    QCOMPARE(page(), QString("notSurrpotWidget"));
}

void TestCastControllerWidget::castSteeredFromThePanel()
{
    QUORVEL_DEVICE(d, {"--address", "127.0.0.41", "--no-mdns"});
    ServerContent target = device("127.0.0.41");
    m_panel->setServerContent(&target);
    click("startButton");
    QVERIFY(!m_panel->findChild<QPushButton*>("startButton")->isEnabled());
    QTRY_COMPARE_WITH_TIMEOUT(page(), QString("castingWidget/castingStatusPlayingWidget"), 15000);
    click("pauseButton");
    QTRY_COMPARE(page(), QString("castingWidget/castingStatusPausingWidget"));
    click("resumeButton");
    QTRY_COMPARE(page(), QString("castingWidget/castingStatusPlayingWidget"));
    click("changeAspectRatioButton");
    // Another device selected during the cast changes nothing until the cast ends, and
    // then its page shows.
    ServerContent other = device("127.0.0.42", false);
    m_panel->setServerContent(&other);
    QVERIFY(page().startsWith("castingWidget/"));
    shortcut();
    QTRY_COMPARE_WITH_TIMEOUT(page(), QString("notSurrpotWidget"), 15000);
    QVERIFY(!d.waitForLog("event", "cast-stream-closed").isEmpty());
    QVERIFY2(m_boxes.isEmpty(), qPrintable(m_boxes.join('\n')));
    const QString app = TaskbarProgress::AppUri;
    QTRY_COMPARE(m_updates.value(m_updates.size() - 1), app + " off 0 ");
    QCOMPARE(
        m_updates.mid(0, 4), QStringList({app + " on 0 urgent", app + " on 1 ", app + " on 0.5 ", app + " on 1 "}));
}

void TestCastControllerWidget::stopBeforeTheProgramCasts()
{
    // Without an address the program never reaches the device: "stop" must still end it.
    QUORVEL_DEVICE(d, {"--address", "127.0.0.43", "--no-mdns", "--cast-ip", ""});
    ServerContent target = device("127.0.0.43");
    m_panel->setServerContent(&target);
    // A stop asked for while the program starts reaches it once the program listens.
    CastSession* session = m_context->cast();
    auto early = connect(session, &CastSession::started, session, &CastSession::stop);
    click("startButton");
    QTRY_VERIFY_WITH_TIMEOUT(!session->isActive(), 15000);
    disconnect(early);
    QCOMPARE(page(), QString("notCastWidget"));
    click("startButton");
    QTRY_COMPARE_WITH_TIMEOUT(page(), QString("castingWidget/castingStatusPendingWidget"), 15000);
    click("stopButton");
    QTRY_COMPARE_WITH_TIMEOUT(page(), QString("notCastWidget"), 15000);
    QVERIFY(m_panel->findChild<QPushButton*>("startButton")->isEnabled());
    QVERIFY2(m_boxes.isEmpty(), qPrintable(m_boxes.join('\n')));
}

void TestCastControllerWidget::declinedIsSilent()
{
    QUORVEL_DEVICE(d, {"--address", "127.0.0.44", "--no-mdns", "--cast-unknown", "cast"});
    QVERIFY(m_context->config()->setValue(Config::ConfirmCast, true));
    ServerContent target = device("127.0.0.44");
    m_panel->setServerContent(&target);
    // While the question waits, the panel waits for the connection and the key starts
    // nothing more.
    QString pageAtQuestion;
    onBoxes([&] {
        shortcut();
        pageAtQuestion = page();
    });
    QSignalSpy ended(m_context->cast(), &CastSession::ended);
    click("startButton");
    QTRY_COMPARE_WITH_TIMEOUT(m_boxes.size(), 1, 10000);
    QCOMPARE(pageAtQuestion, QString("pendingCastWidget"));
    QTRY_COMPARE(page(), QString("notCastWidget"));
    QVERIFY(ended.count() || ended.wait(5000));
    QVERIFY(ended.first().first().value<TaskOutcome>().stopped); // ended by the user
    QCOMPARE(d.requests("confirm").size(), 1);
}

void TestCastControllerWidget::errorsInTheWindowsLanguage_data()
{
    QTest::addColumn<bool>("chinese");
    QTest::addColumn<QString>("box");
    // Every failed outcome takes this way to the box; each reason in both languages is
    // pinned by tst_cast and tst_applanguage.
    QTest::newRow("Chinese") << true << "错误|服务器回复错误:Unknow type: cast";
    QTest::newRow("English") << false << "Error|The device answered with an error: Unknow type: cast";
}

void TestCastControllerWidget::errorsInTheWindowsLanguage()
{
    QFETCH(bool, chinese);
    QFETCH(QString, box);
    QVERIFY(AppLanguage::install(
        qApp, chinese ? QLocale(QLocale::Chinese, QLocale::China) : QLocale(QLocale::English, QLocale::UnitedStates)));
    QUORVEL_DEVICE(d, {"--address", "127.0.0.44", "--no-mdns", "--cast-unknown", "cast"});
    ServerContent target = device("127.0.0.44");
    m_panel->setServerContent(&target);
    click("startButton");
    QTRY_COMPARE_WITH_TIMEOUT(m_boxes.size(), 1, 10000);
    QCOMPARE(m_boxes.first(), box);
    QCOMPARE(hasCjk(m_boxes.first()), chinese);
    QCOMPARE(page(), QString("notCastWidget"));
}

void TestCastControllerWidget::disconnectedPageIgnoresTheShortcut()
{
    // A stand-in program that ends when told; the test is its local server.
    const QString fifo = m_dir.path() + "/end";
    QVERIFY(::mkfifo(qPrintable(fifo), 0600) == 0);
    QVERIFY(TestFiles::script(m_dir.path() + "/standin", "read line < " + fifo.toUtf8() + "\n"));
    VantropeTask::setProgramNameForTests(m_dir.path() + "/standin");
    QLocalServer::removeServer("cast");
    QLocalServer server;
    QVERIFY(server.listen("cast"));
    QUORVEL_DEVICE(d, {"--address", "127.0.0.45", "--no-mdns"});
    ServerContent target = device("127.0.0.45");
    m_panel->setServerContent(&target);
    click("startButton");
    QTRY_VERIFY_WITH_TIMEOUT(server.hasPendingConnections(), 15000);
    QLocalSocket* link = server.nextPendingConnection();
    link->write("castConnected\r\ncastDisconnected\r\n");
    QTRY_COMPARE(page(), QString("castDisconnectedWidget"));
    QTRY_COMPARE(m_updates.value(m_updates.size() - 1), QString(TaskbarProgress::AppUri) + " on 0 urgent");
    shortcut();
    QCOMPARE(page(), QString("castDisconnectedWidget"));
    endStandIn();
    QTRY_COMPARE_WITH_TIMEOUT(page(), QString("notCastWidget"), 10000);
    QTRY_VERIFY(link->state() == QLocalSocket::UnconnectedState);
    QCOMPARE(link->readAll(), QByteArray()); // no "stop"
}

QTEST_MAIN(TestCastControllerWidget)
#include "tst_castcontrollerwidget.moc"
