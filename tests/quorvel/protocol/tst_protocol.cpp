#include <QNetworkInterface>
#include <QtTest>

#include "quorvel/protocol/FileContent.h"
#include "quorvel/protocol/ProtocolDefinedJsonObject.h"
#include "quorvel/protocol/ServerContent.h"
#include "json/QtJson.h"

// What the end-to-end tests against the simulator cannot tell apart: the secure-path
// split, the client's identity, and the records' parsing and equality rules. Requests and
// replies themselves are checked where they go over the wire (file commands, transfers,
// discovery, inbound).
class TestProtocol : public QObject {
    Q_OBJECT
private slots:
    void fileOpenSplitsOnlyExactSecurePaths_data();
    void fileOpenSplitsOnlyExactSecurePaths();
    void clientUuidSkipsLoopback();
    void fileEntryTakes64BitNumbers();
    void serverContentSupportAndEquality();
};

void TestProtocol::fileOpenSplitsOnlyExactSecurePaths_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("option");
    QTest::addColumn<QString>("sent");
    QTest::newRow("secure") << QString("secure:/Docs/a.pdf") << QString("secure") << QString("Docs/a.pdf");
    QTest::newRow("case matters") << QString("Secure:/a.txt") << QString("normal") << QString("Secure:/a.txt");
    QTest::newRow("plain") << QString("plain.txt") << QString("normal") << QString("plain.txt");
    QTest::newRow("last :/ part") << QString("secure:/x:/y.txt") << QString("secure") << QString("y.txt");
}

void TestProtocol::fileOpenSplitsOnlyExactSecurePaths()
{
    QFETCH(QString, path);
    QFETCH(QString, option);
    QFETCH(QString, sent);
    const QtJson::JsonObject request = ProtocolDefinedJsonObject::fileOpen(path);
    QCOMPARE(request.value("option").toString(), option);
    QCOMPARE(request.value("file_path").toString(), sent);
}

void TestProtocol::clientUuidSkipsLoopback()
{
    const QString uuid = ProtocolDefinedJsonObject::clientUuid();
    QVERIFY(uuid != QLatin1String("00:00:00:00:00:00"));
    if (qEnvironmentVariableIsSet("QUORVEL_REQUIRE_NETNS"))
        QVERIFY2(!uuid.isEmpty(), "the suite's namespace has a veth link with a hardware address");
    for (const QNetworkInterface& iface : QNetworkInterface::allInterfaces()) {
        if (iface.hardwareAddress() == uuid)
            QVERIFY(!iface.flags().testFlag(QNetworkInterface::IsLoopBack));
    }
}

void TestProtocol::fileEntryTakes64BitNumbers()
{
    const FileContent file = FileContent::fromJson(QtJson::parseObject(
        "{ \"date_modified\" : 1480000000000, \"file_name\" : \"a.png\", \"file_size\" : 5000000000 }"));
    QCOMPARE(file.size, Q_INT64_C(5000000000));
    QCOMPARE(file.dateModified, Q_INT64_C(1480000000000));
}

void TestProtocol::serverContentSupportAndEquality()
{
    ServerContent a;
    a.address = QHostAddress("127.0.0.2");
    a.uuid = "u1";
    a.name = "Room";
    for (const char* s : {"file_upload", "Vantrope : 8000", "Broken : port", "A : 1 : 2", "Tight:9000"})
        a.addSupport(s);
    // Only "NAME : NUMBER" names a port; anything else is a plain feature.
    QCOMPARE(a.supportList, (QStringList{"file_upload", "Broken : port", "A : 1 : 2", "Tight:9000"}));
    bool found = false;
    QCOMPARE(a.supportPort("Nothing", &found).port, 0);
    QVERIFY(!found);
    a.addSupport("Vantrope : 8001"); // replaces
    QCOMPARE(a.supportPort("Vantrope", &found).port, 8001);
    QVERIFY(found);

    // A device is the same device whatever its version, port or support words; its name,
    // address and feature ports tell it apart.
    ServerContent b = a;
    b.port = 1;
    b.version = "9";
    b.os = "other";
    b.valid = true;
    b.supportList.clear();
    QVERIFY(a == b);
    b.supportPorts["Vantrope"].port = 8002;
    QVERIFY(a != b);
    b = a;
    b.address = QHostAddress("127.0.0.3");
    QVERIFY(a != b);
}

QTEST_GUILESS_MAIN(TestProtocol)
#include "tst_protocol.moc"
