#include <QtTest>

#include "DeviceProcess.h"
#include "TestFiles.h"
#include "UdpProbe.h"

// The simulated device's own safety: it serves a folder to whoever asks, so nothing a
// peer sends may reach outside it. What it does for an honest client is checked from the
// client's side (transfers, file commands, casting, quorvelctl).
class TestDeviceSim : public QObject {
    Q_OBJECT
private slots:
    void badInputNeverEscapesTheFolder();
};

void TestDeviceSim::badInputNeverEscapesTheFolder()
{
    QUORVEL_DEVICE(device, {"--address", "127.0.0.10", "--no-mdns"});
    const QHostAddress dev("127.0.0.10");
    QTemporaryDir outside;
    QVERIFY(TestFiles::write(outside.path() + "/secret.txt", "secret"));
    QVERIFY(QFile::link(outside.path(), device.folder() + "/Pictures/escape"));

    UdpProbe probe;
    probe.send(dev, 16021, QByteArray("not json at all"));
    probe.send(dev, 16021, QByteArray("[1,2,3]"));
    probe.send(dev, 16021, QByteArray(60000, '['));
    QVERIFY(!probe.receive(500).isValid()); // dropped, with a log line each
    QTRY_COMPARE(device.logWhere("event", "dropped-malformed").size(), 3);

    const QStringList paths{"../secret.txt", "/../../../../etc/passwd", "/../..", "/Pictures/escape/secret.txt",
        "/Pictures/escape", "secure:/../served/Quorvel/readme.txt", "C:\\Windows\\x", QString::fromLatin1("a\0b", 3),
        "/etc/passwd"};
    for (const QString& path : paths) {
        for (const char* type : {"file_download", "file_delete", "file_list"}) {
            const QVariantMap reply = probe.ask(
                dev, 16021, {{"type", type}, {"file_path", path}, {"key", "0"}, {"sort", "file_name_increase"}});
            QVERIFY2(reply.value("result").toString() == "fail", qPrintable(type + (" " + path)));
        }
    }
    for (const QString& name :
        {QString("../evil"), QString(".."), QString(""), QString("a/b"), QString("a\\b"), QString(300, 'n')}) {
        const QVariantMap reply = probe.ask(
            dev, 16021, {{"type", "file_upload"}, {"file_name", name}, {"file_size", 1}, {"option", "normal"}});
        QVERIFY2(reply.value("result").toString() == "fail", qPrintable(name));
    }
    QCOMPARE(QDir(outside.path()).entryList(QDir::Files), QStringList{"secret.txt"});
    QCOMPARE(TestFiles::read(outside.path() + "/secret.txt"), QByteArray("secret"));
    QVERIFY(device.process().state() == QProcess::Running);
}

QTEST_GUILESS_MAIN(TestDeviceSim)
#include "tst_devicesim.moc"
