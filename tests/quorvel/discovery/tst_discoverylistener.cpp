#include <QTemporaryDir>
#include <QtTest>

#include "UdpProbe.h"
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
    QVERIFY(Config::instance()->setValue(Config::ClientName, QString::fromUtf8("会议室 PC")));
    DiscoveryListener::instance()->start();
    // Ready once it answers.
    UdpProbe probe;
    QDeadlineTimer deadline(5000);
    bool answered = false;
    while (!answered && !deadline.hasExpired()) {
        probe.send(QHostAddress::LocalHost, 16020, question("v1.0", "warm-up"));
        answered = probe.receive(200).isValid();
    }
    QVERIFY(answered);
}

void TestDiscoveryListener::answered_data()
{
    QTest::addColumn<QByteArray>("asked");
    QTest::addColumn<bool>("answered");
    const auto q
        = [](const QString& version, const QString& uuid) { return QtJson::serialize(question(version, uuid)); };
    QTest::newRow("v1.0") << q("v1.0", "foreign") << true;
    QTest::newRow("v2") << q("v2", "foreign") << true;
    QTest::newRow("no version") << q("", "foreign") << true;
    QTest::newRow("version not a number") << q("beta", "foreign") << true;
    QTest::newRow("v0.9") << q("v0.9", "foreign") << false;
    QTest::newRow("V0.9") << q("V0.9", "foreign") << false;
    QTest::newRow("0.5") << q("0.5", "foreign") << false;
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
    QCOMPARE(
        answer.data(), QtJson::serialize(ProtocolDefinedJsonObject::clientInfo(m_context->config()->clientName())));
    const QVariantMap info = QtJson::parseObject(answer.data());
    QCOMPARE(info.value("type").toString(), QString("client"));
    QCOMPARE(info.value("support").toStringList(), QStringList{"file_upload"});
    QCOMPARE(info.value("name").toString(), QString::fromUtf8("会议室 PC"));
    // The host is remembered by its latest question, once answered.
    QTRY_COMPARE(DiscoveryListener::instance()->knownHost("127.0.0.3").uuid,
        answered ? QtJson::parseObject(asked).value("uuid").toString() : QString("marker"));
    const ServerContent k = DiscoveryListener::instance()->knownHost("127.0.0.3");
    if (answered)
        QCOMPARE((QStringList{k.version, k.os, k.type, k.address.toString()}),
            (QStringList{QtJson::parseObject(asked).value("version").toString(), "X", "server", "127.0.0.3"}));
    QVERIFY(DiscoveryListener::instance()->knownHost("127.0.0.99").address.isNull());
}

QTEST_GUILESS_MAIN(TestDiscoveryListener)
#include "tst_discoverylistener.moc"
