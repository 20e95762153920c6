#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QThreadPool>
#include <QtTest>

#include "AppContext.h"
#include "Config.h"
#include "DeviceProcess.h"
#include "ProtocolDefinedJsonObject.h"
#include "RecordingReceiver.h"
#include "Timing.h"
#include "UdpProbe.h"

using Getter = DiscoveryServer::ServerInfoGetter;

// One information query of one address, against the simulator and hand-made peers.
class TestServerInfoGetter : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup();
    void unicastFillsTheRecord();
    void requestBytes();
    void replyFromAnotherAddress();
    void replyThatIsNotJson();
    void noReplyEndsAfterTheWait();
    void parsesSupportAndDefaults();

private:
    QTemporaryDir m_dir;
    std::unique_ptr<AppContext> m_context;
};

void TestServerInfoGetter::initTestCase()
{
    QDir::setCurrent(m_dir.path());
    m_context = std::make_unique<AppContext>(m_dir.path());
    Config::instance()->setValue(Config::ClientName, "Tester PC");
}

void TestServerInfoGetter::cleanup()
{
    // A query still running must not report to a receiver that has gone.
    QThreadPool::globalInstance()->waitForDone();
}

void TestServerInfoGetter::unicastFillsTheRecord()
{
    DeviceProcess device(
        {"--address", "127.0.0.2", "--no-mdns", "--name", "Room 2", "--device-version", "3.1", "--os", "Android 9"});
    QVERIFY(device.isReady());
    RecordingReceiver receiver;
    const qint64 before = QDateTime::currentMSecsSinceEpoch();
    QThreadPool::globalInstance()->start(new Getter(&receiver, QHostAddress("127.0.0.2"), 16020));
    const QList<RecordingReceiver::Report> reports = receiver.waitFor(1);
    QCOMPARE(reports.size(), 1);
    const RecordingReceiver::Report& r = reports.first();
    QVERIFY(r.found);
    QVERIFY(!r.isBroadcast);
    QCOMPARE(r.content.address, QHostAddress("127.0.0.2"));
    QCOMPARE(r.content.port, 16020);
    QCOMPARE(r.content.name, QString("Room 2"));
    QCOMPARE(r.content.version, QString("3.1"));
    QCOMPARE(r.content.os, QString("Android 9"));
    QCOMPARE(r.content.uuid, QString("02:51:7F:00:00:02"));
    QCOMPARE(r.content.type, QString("server"));
    QVERIFY(r.content.valid);
    QVERIFY(r.content.lastSeen >= before);
    QCOMPARE(r.content.supportList, QStringList{"file_upload"});
    QCOMPARE(r.content.supportPort("Vantrope").port, 8000);
}

void TestServerInfoGetter::requestBytes()
{
    DeviceProcess device({"--address", "127.0.0.3", "--no-mdns"});
    QVERIFY(device.isReady());
    RecordingReceiver receiver;
    QThreadPool::globalInstance()->start(new Getter(&receiver, QHostAddress("127.0.0.3"), 16020));
    QVERIFY(receiver.waitFor(1).first().found);
    const QString payload = device.waitForLog("dir", "in").value("payload").toString();
    QCOMPARE(payload,
        QString("{ \"name\" : \"Tester PC\", \"os\" : \"%1\", \"type\" : \"client\", \"uuid\" : \"%2\", "
                "\"version\" : \"v1.0\" }")
            .arg(ProtocolDefinedJsonObject::osName(), ProtocolDefinedJsonObject::clientUuid()));
}

void TestServerInfoGetter::replyFromAnotherAddress()
{
    UdpProbe asked(QHostAddress("127.0.0.4"), 16020);
    UdpProbe other(QHostAddress("127.0.0.5"));
    RecordingReceiver receiver;
    QThreadPool::globalInstance()->start(new Getter(&receiver, QHostAddress("127.0.0.4"), 16020));
    const QNetworkDatagram question = asked.receive(5000);
    QVERIFY(question.isValid());
    QTest::ignoreMessage(QtWarningMsg,
        QRegularExpression("^\\[W\\]\\[DiscoveryServer\\] The host in mDns is 127.0.0.4:16020, but "
                           "received packet from host 127.0.0.5:\\d+\\.$"));
    other.send(question.senderAddress(), quint16(question.senderPort()), QByteArray("{\"name\":\"impostor\"}"));
    const QList<RecordingReceiver::Report> reports = receiver.waitFor(1);
    QCOMPARE(reports.size(), 1);
    QVERIFY(!reports.first().found);
    QCOMPARE(reports.first().content.name, QString("impostor"));
    QCOMPARE(reports.first().content.address, QHostAddress("127.0.0.4")); // still the asked address
}

void TestServerInfoGetter::replyThatIsNotJson()
{
    DeviceProcess device({"--address", "127.0.0.6", "--no-mdns", "--lie", "not-json:info"});
    QVERIFY(device.isReady());
    RecordingReceiver receiver;
    QTest::ignoreMessage(QtCriticalMsg, "[E][DiscoveryServer] Parse json error.");
    QThreadPool::globalInstance()->start(new Getter(&receiver, QHostAddress("127.0.0.6"), 16020));
    const QList<RecordingReceiver::Report> reports = receiver.waitFor(1);
    QCOMPARE(reports.size(), 1);
    QVERIFY(!reports.first().found);
    QVERIFY(reports.first().content.address.isNull()); // the empty record
    QVERIFY(!reports.first().content.valid);
}

void TestServerInfoGetter::noReplyEndsAfterTheWait()
{
    Timing shorter;
    shorter.infoReplyWaitMs = 300;
    Timing::setForTests(shorter);
    RecordingReceiver receiver;
    QThreadPool::globalInstance()->start(new Getter(&receiver, QHostAddress("127.0.0.7"), 16020));
    const QList<RecordingReceiver::Report> reports = receiver.waitFor(1, 5000);
    Timing::setForTests(Timing());
    QCOMPARE(reports.size(), 1);
    QVERIFY(!reports.first().found);
    QCOMPARE(reports.first().content.address, QHostAddress("127.0.0.7")); // the start record
    QVERIFY(!reports.first().content.valid);
}

void TestServerInfoGetter::parsesSupportAndDefaults()
{
    Getter getter(nullptr, QHostAddress("127.0.0.8"), 17000);
    bool ok = false;
    const QByteArray reply = "{\"support\":[\"file_upload\",\"Vantrope : 5000\",\"Cast: 6000\"],\"name\":\"n\"}";
    const ServerContent c = getter.getServerContent(reply.constData(), quint64(reply.size()), ok);
    QVERIFY(ok);
    QCOMPARE(c.type, QString("server")); // no "type": a device
    QCOMPARE(c.port, 17000);
    QCOMPARE(c.supportList, (QStringList{"file_upload", "Cast: 6000"}));
    QCOMPARE(c.supportPort("Vantrope").port, 5000);
    const QByteArray array = "[1,2]";
    const ServerContent fromArray = getter.getServerContent(array.constData(), quint64(array.size()), ok);
    QVERIFY(ok);
    QVERIFY(fromArray.valid);
    QVERIFY(fromArray.name.isEmpty());
}

QTEST_GUILESS_MAIN(TestServerInfoGetter)
#include "tst_serverinfogetter.moc"
