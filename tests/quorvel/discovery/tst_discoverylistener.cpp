#include <QtTest>
#include <arpa/inet.h>
#include <atomic>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

#include "UdpProbe.h"
#include "Watchdog.h"
#include "app/AppContext.h"
#include "quorvel/discovery/DiscoveryListener.h"
#include "quorvel/protocol/ProtocolDefinedJsonObject.h"
#include "settings/Config.h"

// The responder on UDP 16020: whom it answers, with which bytes, and what it remembers.
class TestDiscoveryListener : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void answered_data();
    void answered();
    void knownHostsStayBounded();
    void endsWhileQuestionsKeepComing();

private:
    static QVariantMap question(const QString& version, const QString& uuid)
    {
        return QVariantMap{{"name", "dev"}, {"version", version}, {"uuid", uuid}, {"os", "X"}, {"type", "server"}};
    }
    QTemporaryDir m_dir;
    std::unique_ptr<AppContext> m_context;
};

void TestDiscoveryListener::initTestCase()
{
    QDir::setCurrent(m_dir.path());
    m_context = std::make_unique<AppContext>(m_dir.path());
    QVERIFY(m_context->config()->setValue(Config::ClientName, QString::fromUtf8("会议室 PC")));
    m_context->discoveryListener()->start();
    // Ready once it answers.
    UdpProbe probe;
    QDeadlineTimer deadline(5000);
    while (probe.ask(QHostAddress::LocalHost, 16020, question("v1.0", "warm-up"), 200).isEmpty())
        QVERIFY(!deadline.hasExpired());
}

void TestDiscoveryListener::answered_data()
{
    QTest::addColumn<QByteArray>("asked");
    QTest::addColumn<bool>("answered");
    const auto q
        = [](const QString& version, const QString& uuid) { return QtJson::serialize(question(version, uuid)); };
    QTest::newRow("v1.0") << q("v1.0", "foreign") << true;
    QTest::newRow("no version") << q("", "foreign") << true;
    QTest::newRow("v0.9") << q("v0.9", "foreign") << false;
    QTest::newRow("V0.9") << q("V0.9", "foreign") << false;
    QTest::newRow("vv0.1") << q("vv0.1", "foreign") << false;
    QTest::newRow("own question") << q("v1.0", ProtocolDefinedJsonObject::clientUuid()) << false;
    QTest::newRow("no uuid") << q("v1.0", "") << false;
    QTest::newRow("not JSON") << QByteArray("{broken") << false;
    QVariantMap untyped = question("v1.1", "untyped");
    untyped.remove("type");
    QTest::newRow("no type: a device") << QtJson::serialize(untyped) << true;
}

void TestDiscoveryListener::answered()
{
    QFETCH(QByteArray, asked);
    QFETCH(bool, answered);
    UdpProbe probe(QHostAddress("127.0.0.3"));
    if (asked == "{broken")
        QTest::ignoreMessage(QtCriticalMsg, "[E][DiscoverListener] ReplyDiscovery: pase json fail.");
    probe.send(QHostAddress::LocalHost, 16020, asked);
    if (!answered) // a marker question afterwards: its answer is the only one that comes
        probe.send(QHostAddress::LocalHost, 16020, question("v1.0", "marker"));
    const QNetworkDatagram answer = probe.receive();
    QVERIFY(answer.isValid());
    QVERIFY(!probe.receive(answered ? 100 : 300).isValid());
    QVERIFY(answer.senderPort() != 16020); // from a fresh socket
    const QVariantMap info = QtJson::parseObject(answer.data());
    QCOMPARE(info.value("type").toString(), QString("client"));
    QCOMPARE(info.value("support").toStringList(), QStringList{"file_upload"});
    QCOMPARE(info.value("name").toString(), QString::fromUtf8("会议室 PC"));
    // The host is remembered by its latest question, once answered.
    QTRY_COMPARE(m_context->discoveryListener()->knownHost("127.0.0.3").uuid,
        answered ? QtJson::parseObject(asked).value("uuid").toString() : QString("marker"));
    const ServerContent k = m_context->discoveryListener()->knownHost("127.0.0.3");
    if (answered)
        QCOMPARE((QStringList{k.version, k.os, k.type, k.address.toString()}),
            (QStringList{QtJson::parseObject(asked).value("version").toString(), "X", "server", "127.0.0.3"}));
    QVERIFY(m_context->discoveryListener()->knownHost("127.0.0.99").address.isNull());
}

// Any host may ask from ever new addresses with long texts: what is kept stays bounded.
void TestDiscoveryListener::knownHostsStayBounded()
{
    DiscoveryListener* listener = m_context->discoveryListener();
    ServerContent claim;
    claim.uuid = QString(60000, QLatin1Char('u'));
    for (int i = 0; i <= DiscoveryListener::MaxKnownHosts; ++i)
        listener->setKnownHost(QStringLiteral("198.51.101.%1/%2").arg(i % 256).arg(i), claim);
    QVERIFY(listener->knownHost("198.51.101.0/0").uuid.isEmpty()); // the oldest went
    QCOMPARE(listener->knownHost("198.51.101.1/1").uuid.size(), DiscoveryListener::MaxKnownText);
}

// The program ends while questions keep arriving: the answers already queued and those
// that come during the end never run against a listener or settings that are gone (the
// sanitizer build runs this test), and the end is quick.
void TestDiscoveryListener::endsWhileQuestionsKeepComing()
{
    std::atomic<bool> flooding{true};
    const QByteArray asked = QtJson::serialize(question("v1.0", "flood"));
    std::thread flood([&flooding, asked] {
        const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(16020);
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        while (flooding)
            ::sendto(fd, asked.constData(), size_t(asked.size()), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
        ::close(fd);
    });
    const auto stopFlood = qScopeGuard([&] {
        flooding = false;
        flood.join();
    });
    for (int round = 0; round < 5; ++round) {
        if (!m_context) {
            m_context = std::make_unique<AppContext>(m_dir.path());
            m_context->discoveryListener()->start();
        }
        // Answers are being made when the end comes.
        QTRY_COMPARE(m_context->discoveryListener()->knownHost("127.0.0.1").uuid, QString("flood"));
        const qint64 ms = millisecondsOf([&] {
            // A listener that still queues answers keeps the pool from ever draining.
            Watchdog watchdog(10000, "ending the context while questions keep coming");
            m_context.reset();
        });
        qInfo("context ended under a flood in %lld ms", ms);
        QVERIFY2(ms < 2000, qPrintable(QString("ending took %1 ms").arg(ms)));
    }
}

QTEST_GUILESS_MAIN(TestDiscoveryListener)
#include "tst_discoverylistener.moc"
