#include <QTemporaryDir>
#include <QThreadPool>
#include <QtTest>

#include "AppContext.h"
#include "Config.h"
#include "DeviceProcess.h"
#include "LogCapture.h"
#include "ProtocolDefinedJsonObject.h"
#include "UdpProbe.h"
#include "cast/VantropeTask.h"

// Cast negotiation against the simulated device: the datagrams in order, the prompts and
// the stored password. A stand-in casting program records its command line.
class TestVantropeTask : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void digestByHand();
    void confirmedCastWithPassword();
    void declinedCastEndsSilently();
    void withoutConfirmation();
    void noPasswordNoPasswdKey();
    void storedPasswordThenWrongPassword();
    void failWithoutErrorCode();
    void lateReply();
    void nulAndTrailingBytes();
    void emptyIpLeavesOutTheAddress();

private:
    struct Outcome {
        bool finished = false;
        bool error = false;
        QString errText;
        QStringList prompts;
        QString serverName;
    };
    Outcome runTask(quint16 castPort, const QString& address, const QStringList& passwords, bool confirm);
    QStringList castTypes(const DeviceProcess& d, quint16 port) const;
    QString programArgs() const;
    QList<QVariantMap> castRequests(const DeviceProcess& d, quint16 port) const;

    QTemporaryDir m_dir;
    std::unique_ptr<AppContext> m_context;
    QString m_argsFile;
};

void TestVantropeTask::initTestCase()
{
    QDir::setCurrent(m_dir.path());
    m_context = std::make_unique<AppContext>(m_dir.path());
    LogCapture::install();
    // The stand-in casting program: writes its arguments and ends.
    m_argsFile = m_dir.path() + "/args.txt";
    const QString program = m_dir.path() + "/fake-vantrope";
    QFile script(program);
    QVERIFY(script.open(QIODevice::WriteOnly));
    script.write("#!/bin/sh\necho \"$@\" > '" + m_argsFile.toUtf8() + "'\n");
    script.close();
    QVERIFY(script.setPermissions(script.permissions() | QFileDevice::ExeOwner));
    VantropeTask::setProgramNameForTests(program);
    Config::instance()->setValue(Config::ClientName, "Caster PC");
}

void TestVantropeTask::init()
{
    QFile::remove(m_argsFile);
    Config::instance()->setValue(Config::ConfirmCast, true);
    LogCapture::clear();
}

QString TestVantropeTask::programArgs() const
{
    QFile f(m_argsFile);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()).trimmed() : QString("<not run>");
}

QList<QVariantMap> TestVantropeTask::castRequests(const DeviceProcess& d, quint16 port) const
{
    QList<QVariantMap> out;
    for (const QJsonObject& line : d.logWhere("dir", "in")) {
        if (line.value("local_port").toInt() == port)
            out.append(QtJson::parseObject(line.value("payload").toString().toUtf8()));
    }
    return out;
}

QStringList TestVantropeTask::castTypes(const DeviceProcess& d, quint16 port) const
{
    QStringList types;
    for (const QVariantMap& m : castRequests(d, port))
        types << m.value("type").toString();
    return types;
}

TestVantropeTask::Outcome TestVantropeTask::runTask(
    quint16 castPort, const QString& address, const QStringList& passwords, bool confirm)
{
    Outcome outcome;
    auto* task = new VantropeTask(QHostAddress(address), castPort, "Room X", "Caster PC", 1920, 1080);
    task->setAutoDelete(false);
    QStringList answers = passwords;
    // The prompts are answered here, on the test's thread, as the panel would.
    connect(
        task, &VantropeTask::waitForUserInputPassword, this,
        [&, task](const QString& def, const QString& title, const QString& content) {
            outcome.prompts << title + "|" + def + "|" + content;
            QString answer = answers.isEmpty() ? QString() : answers.takeFirst();
            task->setPassword(answer);
        },
        Qt::BlockingQueuedConnection);
    connect(
        task, &VantropeTask::waitForUserConfirmCast, this,
        [&, task](const QString& name) {
            outcome.prompts << "confirm|" + name;
            task->setConfirmCastResult(confirm);
        },
        Qt::BlockingQueuedConnection);
    connect(
        task, &VantropeTask::onFinished, this, [&] { outcome.finished = true; }, Qt::QueuedConnection);
    connect(
        task, &VantropeTask::errMsg, this,
        [&](const QString& t) {
            outcome.error = true;
            outcome.errText = t;
        },
        Qt::QueuedConnection);
    connect(
        task, &VantropeTask::castServerName, this, [&](const QString& n) { outcome.serverName = n; },
        Qt::QueuedConnection);
    QThreadPool::globalInstance()->start(task);
    QDeadlineTimer deadline(30000);
    while (!outcome.finished && !outcome.error && !deadline.hasExpired())
        QTest::qWait(10);
    QThreadPool::globalInstance()->waitForDone(5000);
    delete task;
    return outcome;
}

void TestVantropeTask::digestByHand()
{
    // md5(md5("s3cret") in hex + "abc"), worked out independently.
    QCOMPARE(VantropeTask::passwordDigest("s3cret", "abc"), QString("eeb9b27a85bb6c66e50ffb0f5688c8b1"));
}

void TestVantropeTask::confirmedCastWithPassword()
{
    DeviceProcess d({"--address", "127.0.0.2", "--no-mdns", "--cast-password", "s3cret"});
    QVERIFY(d.isReady());
    const Outcome o = runTask(8000, "127.0.0.2", {"s3cret"}, true);
    QVERIFY2(o.finished, qPrintable(o.errText));
    QCOMPARE(castTypes(d, 8000), (QStringList{"get_auth", "confirm", "get_auth", "cast"}));
    QCOMPARE(o.prompts.size(), 2);
    QCOMPARE(o.prompts.at(0), QString::fromUtf8("Vantrope||请输入\"Room X\"的投射密码"));
    QCOMPARE(o.prompts.at(1), QString("confirm|Room X"));
    QCOMPARE(o.serverName, QString("cast"));
    QCOMPARE(programArgs(), QString("-s 1 -i 127.0.0.2 -cs cast"));
    const QVariantMap cast = castRequests(d, 8000).last();
    QCOMPARE(cast.value("port").toInt(), 7236);
    QCOMPARE(cast.value("quor_touch_port").toInt(), 6000);
    QCOMPARE(cast.value("source_width").toInt(), 1920);
    QCOMPARE(cast.value("source_height").toInt(), 1080);
    QCOMPARE(cast.value("uuid").toString(), ProtocolDefinedJsonObject::clientUuid());
    QCOMPARE(castRequests(d, 8000).at(1).value("name").toString(), QString("Caster PC"));
    QCOMPARE(Config::instance()->castPassword("02:51:7F:00:00:02"), QString("s3cret"));
}

void TestVantropeTask::declinedCastEndsSilently()
{
    DeviceProcess d({"--address", "127.0.0.3", "--no-mdns"});
    QVERIFY(d.isReady());
    const Outcome o = runTask(8000, "127.0.0.3", {}, false);
    QVERIFY(o.error);
    QVERIFY(o.errText.isEmpty()); // a silent end
    QTRY_COMPARE(castTypes(d, 8000), (QStringList{"get_auth", "confirm", "get_auth", "cancel_confirm"}));
    QCOMPARE(programArgs(), QString("<not run>"));
}

void TestVantropeTask::withoutConfirmation()
{
    Config::instance()->setValue(Config::ConfirmCast, false);
    DeviceProcess d({"--address", "127.0.0.4", "--no-mdns"});
    QVERIFY(d.isReady());
    const Outcome o = runTask(8000, "127.0.0.4", {}, true);
    QVERIFY(o.finished);
    QVERIFY(o.prompts.isEmpty());
    QCOMPARE(castTypes(d, 8000), (QStringList{"get_auth", "cast"}));
}

void TestVantropeTask::noPasswordNoPasswdKey()
{
    DeviceProcess d({"--address", "127.0.0.5", "--no-mdns"});
    QVERIFY(d.isReady());
    QVERIFY(runTask(8000, "127.0.0.5", {}, true).finished);
    for (const QVariantMap& request : castRequests(d, 8000))
        QVERIFY(!request.contains("passwd"));
}

void TestVantropeTask::storedPasswordThenWrongPassword()
{
    Config::instance()->setValue(Config::ConfirmCast, false);
    Config::instance()->setCastPassword("02:51:7F:00:00:06", "old-one");
    DeviceProcess d({"--address", "127.0.0.6", "--no-mdns", "--cast-password", "new-one"});
    QVERIFY(d.isReady());
    // The stored password goes first without asking; the device says -1002; the prompt
    // offers the stored one and says it was wrong; the new answer is stored at once.
    const Outcome o = runTask(8000, "127.0.0.6", {"typo", "new-one"}, true);
    QVERIFY2(o.finished, qPrintable(o.errText));
    QCOMPARE(o.prompts.size(), 2);
    QCOMPARE(o.prompts.at(0), QString::fromUtf8("Vantrope|old-one|请输入\"Room X\"的投射密码\n密码错误, 请重新输入"));
    QCOMPARE(o.prompts.at(1), QString::fromUtf8("Vantrope|typo|请输入\"Room X\"的投射密码\n密码错误, 请重新输入"));
    QCOMPARE(castTypes(d, 8000), (QStringList{"get_auth", "cast", "get_auth", "cast", "get_auth", "cast"}));
    QCOMPARE(Config::instance()->castPassword("02:51:7F:00:00:06"), QString("new-one"));
    QVERIFY(LogCapture::lines().contains(QString::fromUtf8("[E][VantropeTask] 密码错误!")));

    // A cancelled prompt ends the retries, and the rejected password stays stored.
    Config::instance()->setCastPassword("02:51:7F:00:00:06", "wrong-again");
    const Outcome cancelled = runTask(8000, "127.0.0.6", {""}, true);
    QVERIFY(cancelled.error);
    QVERIFY(LogCapture::lines().contains("[W][VantropeTask] User not input password."));
}

void TestVantropeTask::failWithoutErrorCode()
{
    Config::instance()->setValue(Config::ConfirmCast, false);
    DeviceProcess d({"--address", "127.0.0.7", "--no-mdns", "--cast-unknown", "cast"});
    QVERIFY(d.isReady());
    const Outcome o = runTask(8000, "127.0.0.7", {}, true);
    QVERIFY(o.error);
    QCOMPARE(o.errText, QString::fromUtf8("服务器回复错误:Unknow type: cast"));

    // A device that knows no "confirm" is cast to without confirmation.
    Config::instance()->setValue(Config::ConfirmCast, true);
    DeviceProcess old({"--address", "127.0.0.8", "--no-mdns", "--cast-unknown", "confirm"});
    QVERIFY(old.isReady());
    const Outcome skipped = runTask(8000, "127.0.0.8", {}, true);
    QVERIFY(skipped.finished);
    QCOMPARE(castTypes(old, 8000), (QStringList{"get_auth", "confirm", "get_auth", "cast"}));
    QVERIFY(!skipped.prompts.contains("confirm|Room X"));
}

void TestVantropeTask::lateReply()
{
    DeviceProcess d({"--address", "127.0.0.9", "--no-mdns", "--delay", "2600"});
    QVERIFY(d.isReady());
    const Outcome o = runTask(8000, "127.0.0.9", {}, true);
    QVERIFY(o.error);
    QCOMPARE(o.errText, QString("socket wait for read timeout."));
}

void TestVantropeTask::nulAndTrailingBytes()
{
    Config::instance()->setValue(Config::ConfirmCast, false);
    UdpProbe fake(QHostAddress("127.0.0.10"), 8100);
    Outcome o;
    auto* task = new VantropeTask(QHostAddress("127.0.0.10"), 8100, "Fake", "Caster PC", 800, 600);
    connect(
        task, &VantropeTask::onFinished, this, [&] { o.finished = true; }, Qt::QueuedConnection);
    connect(
        task, &VantropeTask::errMsg, this,
        [&](const QString& t) {
            o.error = true;
            o.errText = t;
        },
        Qt::QueuedConnection);
    QThreadPool::globalInstance()->start(task);
    for (const QByteArray& reply : {QByteArray("{\"result\":\"ok\",\"need_passwd\":false}\0garbage{", 44),
             QByteArray("{\"result\":\"ok\",\"ip\":\"\"}\0\0\0", 26)}) {
        const QNetworkDatagram request = fake.receive(5000);
        QVERIFY(request.isValid());
        fake.socket().writeDatagram(reply, request.senderAddress(), quint16(request.senderPort()));
    }
    QTRY_VERIFY(o.finished || o.error);
    QVERIFY2(o.finished, qPrintable(o.errText));
    QCOMPARE(programArgs(), QString("-s 1 -cs cast"));
}

void TestVantropeTask::emptyIpLeavesOutTheAddress()
{
    Config::instance()->setValue(Config::ConfirmCast, false);
    DeviceProcess d({"--address", "127.0.0.11", "--no-mdns", "--cast-ip", ""});
    QVERIFY(d.isReady());
    QVERIFY(runTask(8000, "127.0.0.11", {}, true).finished);
    QCOMPARE(programArgs(), QString("-s 1 -cs cast"));
}

QTEST_GUILESS_MAIN(TestVantropeTask)
#include "tst_vantropetask.moc"
