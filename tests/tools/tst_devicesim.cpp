#include <QCryptographicHash>
#include <QImage>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtEndian>
#include <QtTest>

#include "DeviceProcess.h"
#include "TestFiles.h"
#include "UdpProbe.h"

// The simulated device against raw datagrams and raw TCP, the way the client's tasks
// will speak to it.
class TestDeviceSim : public QObject {
    Q_OBJECT
private slots:
    void answersTheInformationQuery();
    void listsFoldersInEveryOrder();
    void uploadResumesAtTheHeldCount();
    void secureUploadAndDownload();
    void downloadResumesAfterACut();
    void commandsOpenDeleteThumbWelcome();
    void faultsOnRequest();
    void lyingReplies();
    void badInputNeverEscapesTheFolder();
    void offersAFileToAClient();
    void fetchesAFileAClientOffered();
    void castNegotiation();

private:
    static QVariantMap req(std::initializer_list<std::pair<QString, QVariant>> items)
    {
        QVariantMap m;
        for (const auto& kv : items)
            m.insert(kv.first, kv.second);
        return m;
    }
    static QByteArray pattern(int size)
    {
        QByteArray data(size, Qt::Uninitialized);
        for (int i = 0; i < size; ++i)
            data[i] = char((i * 7 + i / 251) & 0xff);
        return data;
    }
    static QByteArray readAllOf(QTcpSocket& socket, qint64 count, int timeoutMs = 10000)
    {
        QByteArray data;
        QDeadlineTimer deadline(timeoutMs);
        while (data.size() < count && !deadline.hasExpired()) {
            if (socket.bytesAvailable() == 0 && !socket.waitForReadyRead(200)
                && socket.state() != QAbstractSocket::ConnectedState)
                break;
            data += socket.readAll();
        }
        data += socket.readAll();
        return data;
    }
};

static const QHostAddress Dev2("127.0.0.2");

void TestDeviceSim::answersTheInformationQuery()
{
    DeviceProcess device({"--address", "127.0.0.2", "--no-mdns", "--name", "Room 4", "--device-version", "2.1"});
    QVERIFY(device.isReady());
    UdpProbe probe;
    QVERIFY(probe.send(Dev2, 16020, req({{"name", "pc"}, {"type", "client"}, {"uuid", "aa"}, {"version", "v1.0"}})));
    const QNetworkDatagram d = probe.receive();
    QVERIFY(d.isValid());
    QCOMPARE(d.senderAddress(), Dev2);
    QCOMPARE(d.senderPort(), 16020);
    const QVariantMap info = QtJson::parseObject(d.data());
    QCOMPARE(info.value("name").toString(), QString("Room 4"));
    QCOMPARE(info.value("version").toString(), QString("2.1"));
    QCOMPARE(info.value("type").toString(), QString("server"));
    QCOMPARE(info.value("uuid").toString(), QString("02:51:7F:00:00:02"));
    QCOMPARE(info.value("support").toStringList(), (QStringList{"file_upload", "Vantrope : 8000"}));
    // The wire log holds the exact text both ways.
    QVERIFY(!device.waitForLog("dir", "out").isEmpty());
    const QList<QJsonObject> in = device.logWhere("dir", "in");
    QCOMPARE(in.size(), 1);
    QVERIFY(in.first().value("payload").toString().startsWith("{ \"name\" : \"pc\""));
}

void TestDeviceSim::listsFoldersInEveryOrder()
{
    DeviceProcess device({"--address", "127.0.0.3", "--no-mdns", "--list-chunk", "2"});
    QVERIFY(device.isReady());
    const QHostAddress dev("127.0.0.3");
    QDir dir(device.folder() + "/Pictures/sorted");
    QVERIFY(dir.mkpath("."));
    for (int i = 0; i < 5; ++i) {
        QFile f(dir.filePath(QString("p%1.txt").arg(i)));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QByteArray((5 - i) * 10, 'x'));
        QVERIFY(f.setFileTime(
            QDateTime::fromMSecsSinceEpoch(1600000000000LL + i * 1000), QFileDevice::FileModificationTime));
        f.close();
    }
    const auto listing = [&](const QString& path, const QString& sort) {
        UdpProbe probe;
        probe.send(dev, 16021, req({{"type", "file_list"}, {"file_path", path}, {"key", "0"}, {"sort", sort}}));
        QStringList names;
        int datagrams = 0;
        for (;;) {
            const QVariantMap reply = probe.receiveObject();
            if (reply.isEmpty())
                return QStringList{"<timeout>"};
            ++datagrams;
            for (const QVariant& e : reply.value("file_list").toList())
                names << e.toMap().value("file_name").toString();
            if (reply.value("finished").toBool())
                break;
        }
        names << QString::number(datagrams);
        return names;
    };
    QCOMPARE(listing("/Pictures/sorted", "file_name_increase"),
        (QStringList{"p0.txt", "p1.txt", "p2.txt", "p3.txt", "p4.txt", "3"}));
    QCOMPARE(listing("Pictures/sorted/", "file_name_decrease"),
        (QStringList{"p4.txt", "p3.txt", "p2.txt", "p1.txt", "p0.txt", "3"}));
    QCOMPARE(listing("/Pictures/sorted", "file_size_increase"),
        (QStringList{"p4.txt", "p3.txt", "p2.txt", "p1.txt", "p0.txt", "3"}));
    QCOMPARE(listing("/Pictures/sorted", "file_size_decrease"),
        (QStringList{"p0.txt", "p1.txt", "p2.txt", "p3.txt", "p4.txt", "3"}));
    QCOMPARE(listing("/Pictures/sorted", "date_modified_increase"),
        (QStringList{"p0.txt", "p1.txt", "p2.txt", "p3.txt", "p4.txt", "3"}));
    QCOMPARE(listing("/Pictures/sorted", "date_modified_decrease"),
        (QStringList{"p4.txt", "p3.txt", "p2.txt", "p1.txt", "p0.txt", "3"}));
    QCOMPARE(listing("", "file_name_increase"), (QStringList{"Pictures", "Quorvel", "Whiteboard", "2"}));

    UdpProbe probe;
    QVariantMap reply = probe.ask(dev, 16021,
        req({{"type", "file_list"}, {"file_path", "/../.."}, {"key", "0"}, {"sort", "file_name_increase"}}));
    QCOMPARE(reply.value("result").toString(), QString("fail"));
    QVERIFY(!reply.value("reason").toString().isEmpty());
    reply = probe.ask(
        dev, 16021, req({{"type", "file_list"}, {"file_path", "/Nope"}, {"key", "0"}, {"sort", "file_name_increase"}}));
    QCOMPARE(reply.value("result").toString(), QString("fail"));
    reply = probe.ask(dev, 16021, req({{"type", "file_list"}, {"file_path", ""}, {"key", "0"}, {"sort", "by_colour"}}));
    QCOMPARE(reply.value("result").toString(), QString("fail"));
}

void TestDeviceSim::uploadResumesAtTheHeldCount()
{
    DeviceProcess device({"--address", "127.0.0.4", "--no-mdns", "--cut-after", "100000"});
    QVERIFY(device.isReady());
    const QHostAddress dev("127.0.0.4");
    const QByteArray data = pattern(300000);
    UdpProbe probe;
    QVariantMap reply = probe.ask(dev, 16021,
        req({{"type", "file_upload"}, {"file_name", QString::fromUtf8("报告.bin")}, {"file_size", data.size()},
            {"option", "normal"}}));
    QCOMPARE(reply.value("result").toString(), QString("ok"));
    const uint session = reply.value("session_id").toUInt();
    const quint16 port = quint16(reply.value("tcp_port").toUInt());
    QVERIFY(port > 0);

    // First connection: the device breaks it at 100000 bytes.
    QTcpSocket first;
    first.connectToHost(dev, port);
    QVERIFY(first.waitForConnected(3000));
    first.write(data);
    QVERIFY(first.state() == QAbstractSocket::UnconnectedState || first.waitForDisconnected(10000));
    QVERIFY(!device.waitForLog("event", "tcp-cut").isEmpty());

    reply = probe.ask(
        dev, 16021, req({{"type", "query_result"}, {"session_id", session}, {"md5", TestFiles::md5(data)}}));
    QCOMPARE(reply.value("result").toString(), QString("fail"));
    QCOMPARE(reply.value("reason").toString(), QString("not_complete"));
    QCOMPARE(reply.value("session_id").toUInt(), session);

    // Second connection: the device states what it holds, 8 bytes little-endian.
    QTcpSocket second;
    second.connectToHost(dev, port);
    QVERIFY(second.waitForConnected(3000));
    const QByteArray offsetBytes = readAllOf(second, 8, 5000).left(8);
    QCOMPARE(offsetBytes.size(), 8);
    const qint64 held = qFromLittleEndian<qint64>(offsetBytes.constData());
    QCOMPARE(held, qint64(100000));
    second.write(data.mid(int(held)));
    QVERIFY(second.waitForBytesWritten(5000));
    QVERIFY(!device.waitForLog("event", "transfer-complete").isEmpty());

    reply = probe.ask(
        dev, 16021, req({{"type", "query_result"}, {"session_id", session}, {"md5", TestFiles::md5("other")}}));
    QCOMPARE(reply.value("result").toString(), QString("fail"));
    QCOMPARE(reply.value("reason").toString(), QString("md5 mismatch"));
    reply = probe.ask(
        dev, 16021, req({{"type", "query_result"}, {"session_id", session}, {"md5", TestFiles::md5(data)}}));
    QCOMPARE(reply.value("result").toString(), QString("ok"));
    reply = probe.ask(dev, 16021, req({{"type", "query_result"}, {"session_id", 999}, {"md5", TestFiles::md5(data)}}));
    QCOMPARE(reply.value("result").toString(), QString("fail"));

    QFile stored(device.folder() + QString::fromUtf8("/Quorvel/上传/报告.bin"));
    QVERIFY(stored.open(QIODevice::ReadOnly));
    QCOMPARE(stored.readAll(), data);
}

void TestDeviceSim::secureUploadAndDownload()
{
    DeviceProcess device({"--address", "127.0.0.5", "--no-mdns"});
    QVERIFY(device.isReady());
    const QHostAddress dev("127.0.0.5");
    const QByteArray data = pattern(5000);
    UdpProbe probe;
    QVariantMap reply = probe.ask(dev, 16021,
        req({{"type", "file_upload"}, {"file_name", "Plan.pdf"}, {"file_size", data.size()}, {"option", "secure"}}));
    QCOMPARE(reply.value("result").toString(), QString("ok"));
    QTcpSocket up;
    up.connectToHost(dev, quint16(reply.value("tcp_port").toUInt()));
    QVERIFY(up.waitForConnected(3000));
    up.write(data);
    QVERIFY(up.waitForBytesWritten(3000));
    QVERIFY(!device.waitForLog("event", "transfer-complete").isEmpty());
    QVERIFY(QFile::exists(device.secureFolder() + "/Plan.pdf"));
    QVERIFY(!QFile::exists(device.folder() + QString::fromUtf8("/Quorvel/上传/Plan.pdf")));

    reply = probe.ask(dev, 16021, req({{"type", "file_download"}, {"file_path", "secure:/Plan.pdf"}}));
    QCOMPARE(reply.value("result").toString(), QString("ok"));
    QCOMPARE(reply.value("file_size").toLongLong(), qint64(data.size()));
    QTcpSocket down;
    down.connectToHost(dev, quint16(reply.value("tcp_port").toUInt()));
    QVERIFY(down.waitForConnected(3000));
    QCOMPARE(readAllOf(down, data.size()), data);

    // The empty file: nothing on the stream, and the MD5 of no bytes is right.
    QFile empty(device.folder() + "/Quorvel/empty.txt");
    QVERIFY(empty.open(QIODevice::WriteOnly));
    empty.close();
    reply = probe.ask(dev, 16021, req({{"type", "file_download"}, {"file_path", "/Quorvel/empty.txt"}}));
    QCOMPARE(reply.value("file_size").toLongLong(), qint64(0));
    const uint session = reply.value("session_id").toUInt();
    QTcpSocket none;
    none.connectToHost(dev, quint16(reply.value("tcp_port").toUInt()));
    QVERIFY(none.waitForConnected(3000));
    reply = probe.ask(dev, 16021,
        req({{"type", "query_result"}, {"session_id", session}, {"md5", "d41d8cd98f00b204e9800998ecf8427e"}}));
    QCOMPARE(reply.value("result").toString(), QString("ok"));
}

void TestDeviceSim::downloadResumesAfterACut()
{
    DeviceProcess device({"--address", "127.0.0.6", "--no-mdns", "--cut-after", "300000"});
    QVERIFY(device.isReady());
    const QHostAddress dev("127.0.0.6");
    const QByteArray data = pattern(1000000);
    QFile f(device.folder() + "/Pictures/big.bin");
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(data);
    f.close();

    UdpProbe probe;
    QVariantMap reply = probe.ask(dev, 16021, req({{"type", "file_download"}, {"file_path", "/Pictures/big.bin"}}));
    QCOMPARE(reply.value("result").toString(), QString("ok"));
    const quint16 port = quint16(reply.value("tcp_port").toUInt());
    const uint session = reply.value("session_id").toUInt();
    QTcpSocket first;
    first.connectToHost(dev, port);
    QVERIFY(first.waitForConnected(3000));
    const QByteArray head = readAllOf(first, data.size());
    QCOMPARE(head.size(), 300000); // every byte written before the cut arrives

    reply = probe.ask(
        dev, 16021, req({{"type", "query_result"}, {"session_id", session}, {"md5", TestFiles::md5(head)}}));
    QCOMPARE(reply.value("reason").toString(), QString("not_complete"));

    QTcpSocket second;
    second.connectToHost(dev, port);
    QVERIFY(second.waitForConnected(3000));
    char offset[8];
    qToLittleEndian<qint64>(head.size(), offset);
    second.write(offset, 8);
    const QByteArray tail = readAllOf(second, data.size() - head.size());
    QCOMPARE(head + tail, data);
    QCOMPARE(device.waitForLog("event", "resume-offset-received").value("value").toInt(), 300000);

    reply = probe.ask(
        dev, 16021, req({{"type", "query_result"}, {"session_id", session}, {"md5", TestFiles::md5(data)}}));
    QCOMPARE(reply.value("result").toString(), QString("ok"));
}

void TestDeviceSim::commandsOpenDeleteThumbWelcome()
{
    DeviceProcess device({"--address", "127.0.0.7", "--no-mdns"});
    QVERIFY(device.isReady());
    const QHostAddress dev("127.0.0.7");
    QImage image(300, 200, QImage::Format_RGB32);
    image.fill(Qt::red);
    QVERIFY(image.save(device.folder() + "/Pictures/red.png"));
    QFile secret(device.secureFolder() + "/a.txt");
    QVERIFY(secret.open(QIODevice::WriteOnly));
    secret.close();

    UdpProbe probe;
    QVariantMap reply
        = probe.ask(dev, 16021, req({{"type", "file_open"}, {"file_path", "/Pictures/red.png"}, {"option", "normal"}}));
    QCOMPARE(reply.value("result").toString(), QString("ok"));
    QCOMPARE(device.waitForLog("event", "shown").value("device_path").toString(), QString("/Pictures/red.png"));
    reply = probe.ask(dev, 16021, req({{"type", "file_open"}, {"file_path", "a.txt"}, {"option", "secure"}}));
    QCOMPARE(reply.value("result").toString(), QString("ok"));
    reply = probe.ask(dev, 16021, req({{"type", "file_open"}, {"file_path", "/nothing.png"}, {"option", "normal"}}));
    QCOMPARE(reply.value("result").toString(), QString("fail"));

    reply = probe.ask(dev, 16021, req({{"type", "get_thumb"}, {"file_path", "/Pictures/red.png"}}));
    QCOMPARE(reply.value("result").toString(), QString("ok"));
    QImage thumb;
    QVERIFY(thumb.loadFromData(QByteArray::fromBase64(reply.value("thumb").toByteArray())));
    QCOMPARE(thumb.size(), QSize(160, 106)); // fits 160 x 160, keeps the aspect
    QCOMPARE(thumb.pixelColor(10, 10), QColor(Qt::red));
    reply = probe.ask(dev, 16021, req({{"type", "get_thumb"}, {"file_path", "/Quorvel/readme.txt"}}));
    QCOMPARE(reply.value("result").toString(), QString("fail"));

    reply = probe.ask(dev, 16021, req({{"type", "file_delete"}, {"file_path", "secure:/a.txt"}}));
    QCOMPARE(reply.value("result").toString(), QString("ok"));
    QVERIFY(!secret.exists());
    reply = probe.ask(dev, 16021, req({{"type", "file_delete"}, {"file_path", "secure:/a.txt"}}));
    QCOMPARE(reply.value("result").toString(), QString("fail"));

    reply = probe.ask(dev, 16021, req({{"type", "salutatory"}, {"salutatory", QString::fromUtf8("欢迎光临")}}));
    QCOMPARE(reply.value("result").toString(), QString("ok"));
    QCOMPARE(device.waitForLog("event", "salutatory").value("text").toString(), QString::fromUtf8("欢迎光临"));

    reply = probe.ask(dev, 16021, req({{"type", "file_dance"}}));
    QCOMPARE(reply.value("result").toString(), QString("fail"));
}

void TestDeviceSim::faultsOnRequest()
{
    DeviceProcess device({"--address", "127.0.0.8", "--no-mdns", "--not-complete", "3", "--ignore", "get_thumb",
        "--wrong-port", "file_open", "--delay", "300"});
    QVERIFY(device.isReady());
    const QHostAddress dev("127.0.0.8");
    UdpProbe probe;
    QVariantMap reply = probe.ask(
        dev, 16021, req({{"type", "file_upload"}, {"file_name", "e"}, {"file_size", 0}, {"option", "normal"}}));
    const uint session = reply.value("session_id").toUInt();
    for (int i = 0; i < 3; ++i) {
        reply = probe.ask(dev, 16021,
            req({{"type", "query_result"}, {"session_id", session}, {"md5", "d41d8cd98f00b204e9800998ecf8427e"}}));
        QCOMPARE(reply.value("reason").toString(), QString("not_complete"));
    }
    reply = probe.ask(dev, 16021,
        req({{"type", "query_result"}, {"session_id", session}, {"md5", "d41d8cd98f00b204e9800998ecf8427e"}}));
    QCOMPARE(reply.value("result").toString(), QString("ok"));

    probe.send(dev, 16021, req({{"type", "get_thumb"}, {"file_path", "/Pictures/sunrise.png"}}));
    QVERIFY(!probe.receive(1500).isValid());
    QVERIFY(!device.waitForLog("event", "ignored").isEmpty());

    probe.send(dev, 16021, req({{"type", "file_open"}, {"file_path", "/Quorvel/readme.txt"}, {"option", "normal"}}));
    const QNetworkDatagram d = probe.receive();
    QVERIFY(d.isValid());
    QCOMPARE(d.senderAddress(), dev);
    QVERIFY(d.senderPort() != 16021);
}

void TestDeviceSim::lyingReplies()
{
    const QHostAddress dev("127.0.0.9");
    const QVariantMap upload
        = req({{"type", "file_upload"}, {"file_name", "x"}, {"file_size", 3}, {"option", "normal"}});
    const QVariantMap download = req({{"type", "file_download"}, {"file_path", "/Quorvel/readme.txt"}});
    struct Case {
        const char* lie;
        QVariantMap request;
        const char* key;
        QVariant value;
    };
    const QList<Case> cases{{"tcp-port-0", upload, "tcp_port", 0}, {"tcp-port-70000", download, "tcp_port", 70000},
        {"file-size-larger", download, "file_size", 1041}};
    for (const Case& c : cases) {
        DeviceProcess device({"--address", "127.0.0.9", "--no-mdns", "--lie", c.lie});
        QVERIFY2(device.isReady(), c.lie);
        QFile readme(device.folder() + "/Quorvel/readme.txt");
        QVERIFY(readme.open(QIODevice::WriteOnly));
        readme.write(QByteArray(41, 'r'));
        readme.close();
        UdpProbe probe;
        QCOMPARE(probe.ask(dev, 16021, c.request).value(c.key), c.value);
    }
    {
        DeviceProcess device({"--address", "127.0.0.9", "--no-mdns", "--lie", "not-json:file_list"});
        QVERIFY(device.isReady());
        UdpProbe probe;
        probe.send(
            dev, 16021, req({{"type", "file_list"}, {"file_path", ""}, {"key", "0"}, {"sort", "file_name_increase"}}));
        QCOMPARE(probe.receive().data(), QByteArray("this is not json"));
        // Only the named type lies.
        QCOMPARE(probe.ask(dev, 16021, upload).value("result").toString(), QString("ok"));
    }
    {
        DeviceProcess device({"--address", "127.0.0.9", "--no-mdns", "--lie", "json-array", "--lie", "x"});
        QVERIFY(!device.isReady()); // a second --lie with an unknown mode is refused
    }
    {
        DeviceProcess device({"--address", "127.0.0.9", "--no-mdns", "--lie", "json-array"});
        QVERIFY(device.isReady());
        UdpProbe probe;
        probe.send(dev, 16021, upload);
        const QByteArray bytes = probe.receive().data();
        QVERIFY(bytes.startsWith("[ { "));
        QVERIFY(QtJson::parseObject(bytes).isEmpty());
    }
    {
        DeviceProcess device({"--address", "127.0.0.9", "--no-mdns", "--lie", "wrong-session"});
        QVERIFY(device.isReady());
        UdpProbe probe;
        const uint session = probe.ask(dev, 16021, upload).value("session_id").toUInt();
        QCOMPARE(session, 1001u);
    }
}

void TestDeviceSim::badInputNeverEscapesTheFolder()
{
    DeviceProcess device({"--address", "127.0.0.10", "--no-mdns"});
    QVERIFY(device.isReady());
    const QHostAddress dev("127.0.0.10");
    QTemporaryDir outside;
    QFile secret(outside.path() + "/secret.txt");
    QVERIFY(secret.open(QIODevice::WriteOnly));
    secret.write("secret");
    secret.close();
    QVERIFY(QFile::link(outside.path(), device.folder() + "/Pictures/escape"));

    UdpProbe probe;
    probe.send(dev, 16021, QByteArray("not json at all"));
    probe.send(dev, 16021, QByteArray("[1,2,3]"));
    probe.send(dev, 16021, QByteArray(60000, '['));
    QVERIFY(!probe.receive(500).isValid()); // dropped, with a log line each
    QTRY_COMPARE(device.logWhere("event", "dropped-malformed").size(), 3);

    const QStringList paths{"../secret.txt", "/../../../../etc/passwd", "/Pictures/escape/secret.txt",
        "secure:/../served/Quorvel/readme.txt", "C:\\Windows\\x", QString::fromLatin1("a\0b", 3), "/etc/passwd"};
    for (const QString& path : paths) {
        QVariantMap reply = probe.ask(dev, 16021, req({{"type", "file_download"}, {"file_path", path}}));
        QVERIFY2(reply.value("result").toString() == "fail", qPrintable(path));
        reply = probe.ask(dev, 16021, req({{"type", "file_delete"}, {"file_path", path}}));
        QVERIFY2(reply.value("result").toString() == "fail", qPrintable(path));
    }
    for (const QString& name :
        {QString("../evil"), QString(".."), QString(""), QString("a/b"), QString("a\\b"), QString(300, 'n')}) {
        const QVariantMap reply = probe.ask(
            dev, 16021, req({{"type", "file_upload"}, {"file_name", name}, {"file_size", 1}, {"option", "normal"}}));
        QVERIFY2(reply.value("result").toString() == "fail", qPrintable(name));
    }
    QVERIFY(secret.exists());
    QCOMPARE(QDir(outside.path()).entryList(QDir::Files), QStringList{"secret.txt"});
    QVERIFY(device.process().state() == QProcess::Running);
}

void TestDeviceSim::offersAFileToAClient()
{
    DeviceProcess device({"--address", "127.0.0.11", "--no-mdns"});
    QVERIFY(device.isReady());
    UdpProbe client(QHostAddress("127.0.0.1"), 16021);
    device.command("offer 127.0.0.1 /Quorvel/agenda.txt");
    const QNetworkDatagram d = client.receive();
    QVERIFY(d.isValid());
    QCOMPARE(d.senderAddress(), QHostAddress("127.0.0.11"));
    QCOMPARE(d.senderPort(), 16021);
    const QVariantMap offer = QtJson::parseObject(d.data());
    QCOMPARE(offer.value("type").toString(), QString("file_distribution"));
    QCOMPARE(offer.value("file_path").toString(), QString("/Quorvel/agenda.txt"));
    QCOMPARE(offer.value("name").toString(), QString("Quorvel Simulator"));
    QCOMPARE(offer.value("uuid").toString(), QString("02:51:7F:00:00:0B"));
    device.command("offer 127.0.0.1 /Quorvel/none.txt");
    QVERIFY(device.waitForOutput("offer failed"));
}

void TestDeviceSim::fetchesAFileAClientOffered()
{
    // The test plays the offering client: the device asks it with "file_download",
    // fetches over TCP (the device breaks the first connection at 30000 bytes and
    // states its held count in decimal), then asks "query_result".
    DeviceProcess device({"--address", "127.0.0.12", "--no-mdns", "--cut-after", "30000"});
    QVERIFY(device.isReady());
    const QHostAddress dev("127.0.0.12");
    const QByteArray data = pattern(100000);
    UdpProbe client(QHostAddress("127.0.0.1"), 16021);
    QVERIFY(client.send(dev, 16021,
        req({{"type", "file_distribution"}, {"file_path", "/home/u/deck.pdf"}, {"name", "pc"}, {"uuid", "aa"}})));

    QNetworkDatagram d = client.receive();
    QVERIFY(d.isValid());
    const QVariantMap ask = QtJson::parseObject(d.data());
    QCOMPARE(ask.value("type").toString(), QString("file_download"));
    QCOMPARE(ask.value("file_path").toString(), QString("/home/u/deck.pdf"));
    QTcpServer server;
    QVERIFY(server.listen(QHostAddress("127.0.0.1")));
    client.socket().writeDatagram(QtJson::serialize(req({{"result", "ok"}, {"session_id", 1717986918u},
                                      {"tcp_port", server.serverPort()}, {"file_size", data.size()}})),
        d.senderAddress(), quint16(d.senderPort()));

    QVERIFY(server.waitForNewConnection(5000));
    QTcpSocket* first = server.nextPendingConnection();
    first->write(data);
    first->waitForBytesWritten(2000);
    QVERIFY(server.waitForNewConnection(5000));
    QTcpSocket* second = server.nextPendingConnection();
    const QByteArray offsetText = readAllOf(*second, 5, 5000);
    QCOMPARE(offsetText, QByteArray("30000"));
    second->write(data.mid(30000));
    second->waitForBytesWritten(2000);

    d = client.receive(5000);
    const QVariantMap query = QtJson::parseObject(d.data());
    QCOMPARE(query.value("type").toString(), QString("query_result"));
    QCOMPARE(query.value("session_id").toUInt(), 1717986918u);
    QCOMPARE(query.value("md5").toString(), TestFiles::md5(data));
    client.socket().writeDatagram(QtJson::serialize(req({{"result", "ok"}, {"session_id", 1717986918u}})),
        d.senderAddress(), quint16(d.senderPort()));
    const QJsonObject finished = device.waitForLog("event", "fetch-finished");
    QVERIFY(finished.value("ok").toBool());
    QFile received(device.folder() + QString::fromUtf8("/Quorvel/接收/deck.pdf"));
    QVERIFY(received.open(QIODevice::ReadOnly));
    QCOMPARE(received.readAll(), data);
}

void TestDeviceSim::castNegotiation()
{
    DeviceProcess device({"--address", "127.0.0.13", "--no-mdns", "--cast-port", "8100", "--cast-password", "s3cret"});
    QVERIFY(device.isReady());
    const QHostAddress dev("127.0.0.13");
    UdpProbe probe;
    const auto digest = [](const QString& password, const QString& random) {
        const QByteArray inner = QCryptographicHash::hash(password.toUtf8(), QCryptographicHash::Md5).toHex();
        return TestFiles::md5(inner + random.toUtf8());
    };
    QVariantMap auth = probe.ask(dev, 8100, req({{"type", "get_auth"}, {"uuid", "aa"}}));
    QCOMPARE(auth.value("result").toString(), QString("ok"));
    QVERIFY(auth.value("need_passwd").toBool());
    const QString random = auth.value("random_data").toString();
    QVERIFY(!random.isEmpty());
    QVariantMap reply = probe.ask(
        dev, 8100, req({{"type", "confirm"}, {"uuid", "aa"}, {"name", "pc"}, {"passwd", digest("wrong", random)}}));
    QCOMPARE(reply.value("result").toString(), QString("fail"));
    QCOMPARE(reply.value("error_code").toInt(), -1002);

    auth = probe.ask(dev, 8100, req({{"type", "get_auth"}, {"uuid", "aa"}}));
    QVERIFY(auth.value("random_data").toString() != random); // fresh every time
    reply = probe.ask(dev, 8100,
        req({{"type", "confirm"}, {"uuid", "aa"}, {"name", "pc"},
            {"passwd", digest("s3cret", auth.value("random_data").toString())}}));
    QCOMPARE(reply.value("result").toString(), QString("ok"));
    auth = probe.ask(dev, 8100, req({{"type", "get_auth"}, {"uuid", "aa"}}));
    reply = probe.ask(dev, 8100,
        req({{"type", "cast"}, {"uuid", "aa"}, {"port", 7236}, {"source_width", 1920}, {"source_height", 1080},
            {"quor_touch_port", 6000}, {"passwd", digest("s3cret", auth.value("random_data").toString())}}));
    QCOMPARE(reply.value("result").toString(), QString("ok"));
    QCOMPARE(reply.value("ip").toString(), QString("127.0.0.13"));
    QCOMPARE(reply.value("uuid").toString(), QString("02:51:7F:00:00:0D"));

    DeviceProcess old({"--address", "127.0.0.14", "--no-mdns", "--cast-unknown", "get_auth", "--cast-ip", ""});
    QVERIFY(old.isReady());
    reply = probe.ask(QHostAddress("127.0.0.14"), 8000, req({{"type", "get_auth"}, {"uuid", "aa"}}));
    QCOMPARE(reply.value("result").toString(), QString("fail"));
    QCOMPARE(reply.value("reason").toString(), QString("Unknow type: get_auth"));
    reply = probe.ask(QHostAddress("127.0.0.14"), 8000, req({{"type", "cast"}, {"uuid", "aa"}}));
    QCOMPARE(reply.value("result").toString(), QString("ok"));
    QVERIFY(reply.contains("ip"));
    QCOMPARE(reply.value("ip").toString(), QString());
}

QTEST_GUILESS_MAIN(TestDeviceSim)
#include "tst_devicesim.moc"
