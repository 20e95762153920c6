#include <QDir>
#include <QNetworkInterface>
#include <QTemporaryDir>
#include <QtTest>

#include "AppContext.h"
#include "Config.h"
#include "FileContent.h"
#include "ProgressContent.h"
#include "ProtocolDefinedJsonObject.h"
#include "ServerContent.h"
#include "json/QtJson.h"

class TestProtocol : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void builderBytes_data();
    void builderBytes();
    void fileOpenSplitsOnlyExactSecurePaths();
    void downloadReplyWrapsAt32Bits();
    void clientInfoDescribesThisClient();
    void clientUuidSkipsLoopback();
    void fileEntryDefaults();
    void serverContentSupportAndEquality();
    void metaTypesRegistered();

private:
    QTemporaryDir m_dir;
    std::unique_ptr<AppContext> m_context;
};

void TestProtocol::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QDir::setCurrent(m_dir.path());
    m_context = std::make_unique<AppContext>(m_dir.path());
    QVERIFY(Config::instance()->setValue(Config::ClientName, QStringLiteral("会议室PC")));
}

void TestProtocol::builderBytes_data()
{
    QTest::addColumn<QtJson::JsonObject>("object");
    QTest::addColumn<QByteArray>("bytes");
    using P = ProtocolDefinedJsonObject;
    QTest::newRow("fileList") << P::fileList("Pictures", "file_name_increase")
                              << QByteArray("{ \"file_path\" : \"Pictures\", \"key\" : \"0\", \"sort\" : "
                                            "\"file_name_increase\", \"type\" : \"file_list\" }");
    QTest::newRow("fileList root") << P::fileList("", "date_modified_decrease")
                                   << QByteArray("{ \"file_path\" : \"\", \"key\" : \"0\", \"sort\" : "
                                                 "\"date_modified_decrease\", \"type\" : \"file_list\" }");
    QTest::newRow("fileDownload") << P::fileDownload(
        "/Pictures/a b.png") << QByteArray("{ \"file_path\" : \"/Pictures/a b.png\", \"type\" : \"file_download\" }");
    QTest::newRow("fileOpen secure") << P::fileOpen("secure:/Docs/a.pdf")
                                     << QByteArray("{ \"file_path\" : \"Docs/a.pdf\", \"option\" : \"secure\", "
                                                   "\"type\" : \"file_open\" }");
    QTest::newRow("fileOpen normal") << P::fileOpen("/Quorvel/a.txt")
                                     << QByteArray("{ \"file_path\" : \"/Quorvel/a.txt\", \"option\" : \"normal\", "
                                                   "\"type\" : \"file_open\" }");
    QTest::newRow("fileDelete keeps secure path") << P::fileDelete("secure:/a.txt")
                                                  << QByteArray("{ \"file_path\" : \"secure:/a.txt\", \"type\" : "
                                                                "\"file_delete\" }");
    QTest::newRow("getThumb") << P::getThumb("/Pictures/\"q\".jpg")
                              << QByteArray(
                                     "{ \"file_path\" : \"/Pictures/\\\"q\\\".jpg\", \"type\" : \"get_thumb\" }");
    QTest::newRow("salutatory") << P::salutatory(QString::fromUtf8("欢迎\n光临"))
                                << QByteArray(
                                       "{ \"salutatory\" : \"\xE6\xAC\xA2\xE8\xBF\x8E\\n\xE5\x85\x89\xE4\xB8\xB4\", "
                                       "\"type\" : \"salutatory\" }");
    QTest::newRow("okReply") << P::okReply() << QByteArray("{ \"result\" : \"ok\" }");
    QTest::newRow("failReply") << P::failReply("File not exists.")
                               << QByteArray("{ \"reason\" : \"File not exists.\", \"result\" : \"fail\" }");
    QTest::newRow("downloadReply") << P::downloadReply(1717986918u, 20000u, 4096u)
                                   << QByteArray("{ \"file_size\" : 4096, \"result\" : \"ok\", \"session_id\" : "
                                                 "1717986918, \"tcp_port\" : 20000 }");
}

void TestProtocol::builderBytes()
{
    QFETCH(QtJson::JsonObject, object);
    QFETCH(QByteArray, bytes);
    bool ok = false;
    QCOMPARE(QtJson::serialize(object, ok), bytes);
    QVERIFY(ok);
}

void TestProtocol::fileOpenSplitsOnlyExactSecurePaths()
{
    using P = ProtocolDefinedJsonObject;
    QtJson::JsonObject o = P::fileOpen("secure:/a.txt");
    QCOMPARE(o.value("option").toString(), QString("secure"));
    QCOMPARE(o.value("file_path").toString(), QString("a.txt"));
    o = P::fileOpen("Secure:/a.txt");
    QCOMPARE(o.value("option").toString(), QString("normal"));
    QCOMPARE(o.value("file_path").toString(), QString("Secure:/a.txt"));
    o = P::fileOpen("plain.txt");
    QCOMPARE(o.value("option").toString(), QString("normal"));
    QCOMPARE(o.value("file_path").toString(), QString("plain.txt"));
    // The last ":/" part is taken.
    o = P::fileOpen("secure:/x:/y.txt");
    QCOMPARE(o.value("file_path").toString(), QString("y.txt"));
}

void TestProtocol::downloadReplyWrapsAt32Bits()
{
    const quint64 fourGiB = Q_UINT64_C(4294967296);
    const QtJson::JsonObject reply = ProtocolDefinedJsonObject::downloadReply(1, 2, uint(fourGiB));
    QCOMPARE(QtJson::serialize(reply),
        QByteArray("{ \"file_size\" : 0, \"result\" : \"ok\", \"session_id\" : 1, "
                   "\"tcp_port\" : 2 }"));
}

void TestProtocol::clientInfoDescribesThisClient()
{
    const QtJson::JsonObject info = ProtocolDefinedJsonObject::clientInfo();
    QCOMPARE(info.value("name").toString(), QString::fromUtf8("会议室PC"));
    QCOMPARE(info.value("version").toString(), QString("v1.0"));
    QCOMPARE(info.value("type").toString(), QString("client"));
    QCOMPARE(info.value("uuid").toString(), ProtocolDefinedJsonObject::clientUuid());
    QCOMPARE(info.value("os").toString(), QSysInfo::prettyProductName());
    const QByteArray bytes = QtJson::serialize(info);
    QVERIFY(bytes.contains("\"support\" : [ \"file_upload\" ]"));
    QVERIFY(bytes.startsWith("{ \"name\" : "));

    const QtJson::JsonObject offer = ProtocolDefinedJsonObject::fileDistribution("/home/u/a.txt");
    QCOMPARE(offer.value("name").toString(), QString::fromUtf8("会议室PC"));
    QCOMPARE(offer.value("uuid").toString(), ProtocolDefinedJsonObject::clientUuid());
    QCOMPARE(offer.value("type").toString(), QString("file_distribution"));
}

void TestProtocol::clientUuidSkipsLoopback()
{
    QString expected;
    for (const QNetworkInterface& iface : QNetworkInterface::allInterfaces()) {
        QString digits = iface.hardwareAddress();
        digits.remove(':');
        if (!iface.flags().testFlag(QNetworkInterface::IsLoopBack) && !digits.isEmpty()
            && digits.count('0') != digits.size()) {
            expected = iface.hardwareAddress();
            break;
        }
    }
    const QString uuid = ProtocolDefinedJsonObject::clientUuid();
    QCOMPARE(uuid, expected);
    QVERIFY(uuid != QLatin1String("00:00:00:00:00:00"));
    if (qEnvironmentVariableIsSet("QUORVEL_REQUIRE_NETNS"))
        QVERIFY2(!uuid.isEmpty(), "the suite's namespace has a veth link with a hardware address");
    QCOMPARE(ProtocolDefinedJsonObject::clientUuid(), uuid); // cached
}

void TestProtocol::fileEntryDefaults()
{
    FileContent empty = FileContent::fromJson(QVariantMap());
    QCOMPARE(empty.name, QString("AAA"));
    QCOMPARE(empty.type, QString("type"));
    QCOMPARE(empty.size, qint64(10));
    QCOMPARE(empty.dateModified, qint64(10));
    QVERIFY(empty.thumb.isNull());
    QVERIFY(!empty.thumbRequested);

    const QtJson::JsonObject reply = QtJson::parseObject(
        "{ \"file_list\" : [ { \"date_modified\" : 1480000000000, \"file_name\" : \"a.png\", \"file_size\" : "
        "5000000000, \"file_type\" : \"file\" }, { \"file_name\" : \"Pictures\", \"file_type\" : \"dir\" } ] }");
    const QVariantList list = reply.value("file_list").toList();
    QCOMPARE(list.size(), 2);
    const FileContent file = FileContent::fromJson(list.at(0).toMap());
    QCOMPARE(file.name, QString("a.png"));
    QCOMPARE(file.size, Q_INT64_C(5000000000));
    QCOMPARE(file.dateModified, Q_INT64_C(1480000000000));
    QVERIFY(!file.isDir());
    QVERIFY(FileContent::fromJson(list.at(1).toMap()).isDir());
}

void TestProtocol::serverContentSupportAndEquality()
{
    ServerContent a;
    QCOMPARE(a.port, 16020);
    QVERIFY(!a.valid);
    a.address = QHostAddress("127.0.0.2");
    a.uuid = "u1";
    a.name = "Room";
    a.addSupport("file_upload");
    a.addSupport("Vantrope : 8000");
    a.addSupport("Broken : port");
    a.addSupport("A : 1 : 2");
    a.addSupport("Tight:9000");
    QCOMPARE(a.supportList, (QStringList{"file_upload", "Broken : port", "A : 1 : 2", "Tight:9000"}));
    bool found = false;
    QCOMPARE(a.supportPort("Vantrope", &found).port, 8000);
    QVERIFY(found);
    const SupportEntry none = a.supportPort("Nothing", &found);
    QVERIFY(!found);
    QCOMPARE(none.port, 0);
    QVERIFY(none.name.isEmpty());
    QCOMPARE(a.supportPort("Vantrope").name, QString("Vantrope")); // null found pointer is fine
    a.addSupport("Vantrope : 8001"); // replaces
    QCOMPARE(a.supportPort("Vantrope").port, 8001);

    ServerContent b = a;
    b.port = 1;
    b.version = "9";
    b.lastSeen = 12345;
    b.os = "other";
    b.valid = true;
    b.type = "client";
    b.supportList.clear();
    QVERIFY(a == b);
    b.supportPorts["Vantrope"].port = 8002;
    QVERIFY(a != b);
    b = a;
    b.name = "Other";
    QVERIFY(a != b);
    b = a;
    b.address = QHostAddress("127.0.0.3");
    QVERIFY(a != b);
}

void TestProtocol::metaTypesRegistered()
{
    QVERIFY(QMetaType::type("ServerContent") != QMetaType::UnknownType);
    QVERIFY(QMetaType::type("ProgressContent") != QMetaType::UnknownType);
    QVERIFY(QMetaType::type("QList<FileContent>") != QMetaType::UnknownType);
    ProgressContent p;
    QCOMPARE(p.progress, 0);
    QCOMPARE(int(ProgressContent::Done), 101);
}

QTEST_GUILESS_MAIN(TestProtocol)
#include "tst_protocol.moc"
