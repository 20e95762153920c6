#include <QTemporaryDir>
#include <QThreadPool>
#include <QtTest>

#include "DeviceProcess.h"
#include "RecordingReceiver.h"
#include "UdpProbe.h"
#include "app/AppContext.h"
#include "quorvel/protocol/ProtocolDefinedJsonObject.h"
#include "quorvel/tasks/Timing.h"
#include "settings/Config.h"

using Getter = DiscoveryServer::ServerInfoGetter;

// One information query of one address, against the simulator and hand-made peers.
class TestServerInfoGetter : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup() { QThreadPool::globalInstance()->waitForDone(); } // no report to a receiver gone
    void askedDeviceFillsTheRecord();
    void unansweredQuery_data();
    void unansweredQuery();
    void answerDefaults();

private:
    QTemporaryDir m_dir;
    std::unique_ptr<AppContext> m_context;
};

void TestServerInfoGetter::initTestCase()
{
    QDir::setCurrent(m_dir.path());
    m_context = std::make_unique<AppContext>(m_dir.path());
    m_context->config()->setValue(Config::ClientName, "Tester PC");
    Timing t;
    t.infoReplyWaitMs = 300;
    Timing::setForTests(t);
}

void TestServerInfoGetter::askedDeviceFillsTheRecord()
{
    DeviceProcess device(
        {"--address", "127.0.0.2", "--no-mdns", "--name", "Room 2", "--device-version", "3.1", "--os", "Android 9"});
    QVERIFY(device.isReady());
    RecordingReceiver receiver;
    const qint64 before = QDateTime::currentMSecsSinceEpoch();
    QThreadPool::globalInstance()->start(new Getter(&receiver, QHostAddress("127.0.0.2"), 16020, "Tester PC"));
    const QList<RecordingReceiver::Report> reports = receiver.waitFor(1);
    QCOMPARE(reports.size(), 1);
    const RecordingReceiver::Report& r = reports.first();
    QVERIFY(r.found && !r.isBroadcast);
    const ServerContent& c = r.content;
    QCOMPARE((QStringList{c.address.toString(), QString::number(c.port), c.name, c.version, c.os, c.uuid, c.type}),
        (QStringList{"127.0.0.2", "16020", "Room 2", "3.1", "Android 9", "02:51:7F:00:00:02", "server"}));
    QVERIFY(c.valid && c.lastSeen >= before);
    QCOMPARE(c.supportList, QStringList{"file_upload"});
    QCOMPARE(c.supportPort("Vantrope").port, 8000);
    // The question, byte for byte.
    QCOMPARE(device.waitForLog("dir", "in").value("payload").toString(),
        QString("{ \"name\" : \"Tester PC\", \"os\" : \"%1\", \"type\" : \"client\", \"uuid\" : \"%2\", "
                "\"version\" : \"v1.0\" }")
            .arg(ProtocolDefinedJsonObject::osName(), ProtocolDefinedJsonObject::clientUuid()));
}

void TestServerInfoGetter::unansweredQuery_data()
{
    QTest::addColumn<QByteArray>("reply"); // empty: none
    QTest::addColumn<bool>("fromElsewhere");
    QTest::addColumn<QString>("logged"); // a pattern
    QTest::addColumn<QString>("name"); // of the record reported
    QTest::addColumn<bool>("askedAddress"); // the record keeps it (or is the empty one)
    QTest::newRow("silence") << QByteArray() << false << ""
                             << "" << true;
    QTest::newRow("another host answers")
        << QByteArray("{\"name\":\"impostor\"}") << true
        << "^\\[W\\]\\[DiscoveryServer\\] The host in mDns is 127.0.0.4:16020, but received packet from host "
           "127.0.0.5:\\d+\\.$"
        << "impostor" << true;
    QTest::newRow("not JSON") << QByteArray("{broken") << false << "^\\[E\\]\\[DiscoveryServer\\] Parse json error.$"
                              << "" << false;
}

void TestServerInfoGetter::unansweredQuery()
{
    QFETCH(QByteArray, reply);
    QFETCH(bool, fromElsewhere);
    QFETCH(QString, logged);
    QFETCH(QString, name);
    QFETCH(bool, askedAddress);
    UdpProbe asked(QHostAddress("127.0.0.4"), 16020);
    UdpProbe elsewhere(QHostAddress("127.0.0.5"));
    RecordingReceiver receiver;
    QThreadPool::globalInstance()->start(new Getter(&receiver, QHostAddress("127.0.0.4"), 16020, "Tester PC"));
    const QNetworkDatagram question = asked.receive(5000);
    QVERIFY(question.isValid());
    if (!logged.isEmpty())
        QTest::ignoreMessage(QtMsgType(logged.at(3) == 'W' ? QtWarningMsg : QtCriticalMsg), QRegularExpression(logged));
    if (!reply.isEmpty())
        (fromElsewhere ? elsewhere : asked).send(question.senderAddress(), quint16(question.senderPort()), reply);
    const QList<RecordingReceiver::Report> reports = receiver.waitFor(1, 5000);
    QCOMPARE(reports.size(), 1);
    QVERIFY(!reports.first().found);
    QCOMPARE(reports.first().content.name, name);
    QCOMPARE(reports.first().content.valid, !name.isEmpty()); // an answer, just not the asked host's
    QCOMPARE(reports.first().content.address, askedAddress ? QHostAddress("127.0.0.4") : QHostAddress());
}

// What an answer leaves out (feature parsing itself: tst_protocol).
void TestServerInfoGetter::answerDefaults()
{
    Getter getter(nullptr, QHostAddress("127.0.0.8"), 17000, "Tester PC");
    bool ok = false;
    const ServerContent c = getter.getServerContent("{\"name\":\"n\"}", 12, ok);
    QVERIFY(ok && c.valid);
    QCOMPARE(c.type, QString("server")); // no "type": a device
    QCOMPARE(c.port, 17000);
    QVERIFY(getter.getServerContent("[1,2]", 5, ok).name.isEmpty() && ok); // not an object: no fields
}

QTEST_GUILESS_MAIN(TestServerInfoGetter)
#include "tst_serverinfogetter.moc"
