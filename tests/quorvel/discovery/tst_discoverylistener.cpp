#include <QTemporaryDir>
#include <QtTest>

#include "AppContext.h"
#include "Config.h"
#include "ProtocolDefinedJsonObject.h"
#include "UdpProbe.h"
#include "quorvel/discovery/DiscoveryListener.h"

// The responder on UDP 16020: whom it answers, with which bytes, and what it remembers.
class TestDiscoveryListener : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void versionRule_data();
    void versionRule();
    void answersForeignQuestions();
    void ignoresOwnEmptyAndOldQuestions();
    void remembersTheLatestQuestionPerHost();

private:
    QVariantMap question(const QString& version, const QString& uuid) const
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

void TestDiscoveryListener::versionRule_data()
{
    QTest::addColumn<QString>("version");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("v1.0") << "v1.0" << true;
    QTest::newRow("v0.9") << "v0.9" << false;
    QTest::newRow("V0.9") << "V0.9" << false;
    QTest::newRow("0.5") << "0.5" << false;
    QTest::newRow("v2") << "v2" << true;
    QTest::newRow("empty") << "" << true;
    QTest::newRow("not a number") << "beta" << true;
    QTest::newRow("vv0.1") << "vv0.1" << false;
}

void TestDiscoveryListener::versionRule()
{
    QFETCH(QString, version);
    QFETCH(bool, accepted);
    QCOMPARE(ReplyDiscovery::isAcceptedVersion(version), accepted);
}

void TestDiscoveryListener::answersForeignQuestions()
{
    UdpProbe probe(QHostAddress("127.0.0.3"));
    probe.send(QHostAddress::LocalHost, 16020, question("v1.0", "foreign-1"));
    const QNetworkDatagram answer = probe.receive();
    QVERIFY(answer.isValid());
    QVERIFY(answer.senderPort() != 16020); // from a fresh socket
    QCOMPARE(answer.data(), QtJson::serialize(ProtocolDefinedJsonObject::clientInfo()));
    const QVariantMap info = QtJson::parseObject(answer.data());
    QCOMPARE(info.value("type").toString(), QString("client"));
    QCOMPARE(info.value("support").toStringList(), QStringList{"file_upload"});
    QCOMPARE(info.value("name").toString(), QString::fromUtf8("会议室 PC"));

    // A version that is no number is answered too.
    probe.send(QHostAddress::LocalHost, 16020, question("beta", "foreign-1"));
    QVERIFY(probe.receive().isValid());
}

void TestDiscoveryListener::ignoresOwnEmptyAndOldQuestions()
{
    UdpProbe probe(QHostAddress("127.0.0.4"));
    const QList<QVariantMap> ignored{question("v1.0", ""), question("v1.0", ProtocolDefinedJsonObject::clientUuid()),
        question("v0.9", "x"), question("V0.9", "x")};
    for (const QVariantMap& q : ignored)
        probe.send(QHostAddress::LocalHost, 16020, q);
    QTest::ignoreMessage(QtCriticalMsg, "[E][DiscoverListener] ReplyDiscovery: pase json fail.");
    probe.send(QHostAddress::LocalHost, 16020, QByteArray("{broken"));
    // A marker question afterwards: its answer is the only one that comes.
    probe.send(QHostAddress::LocalHost, 16020, question("v1.0", "marker"));
    QVERIFY(probe.receive().isValid());
    QVERIFY(!probe.receive(300).isValid());
    QCOMPARE(DiscoveryListener::instance()->knownHost("127.0.0.4").uuid, QString("marker"));
}

void TestDiscoveryListener::remembersTheLatestQuestionPerHost()
{
    UdpProbe probe(QHostAddress("127.0.0.5"));
    probe.send(QHostAddress::LocalHost, 16020, question("v1.0", "first"));
    QVERIFY(probe.receive().isValid());
    QVariantMap second = question("v1.1", "second");
    second.remove("type");
    probe.send(QHostAddress::LocalHost, 16020, second);
    QVERIFY(probe.receive().isValid());
    QTRY_COMPARE(DiscoveryListener::instance()->knownHost("127.0.0.5").uuid, QString("second"));
    const ServerContent known = DiscoveryListener::instance()->knownHost("127.0.0.5");
    QCOMPARE(known.version, QString("v1.1"));
    QCOMPARE(known.os, QString("X"));
    QCOMPARE(known.type, QString("server"));
    QCOMPARE(known.address, QHostAddress("127.0.0.5"));
    QVERIFY(DiscoveryListener::instance()->knownHost("127.0.0.99").address.isNull());
}

QTEST_GUILESS_MAIN(TestDiscoveryListener)
#include "tst_discoverylistener.moc"
