#include <QUdpSocket>
#include <QtTest>
#include <memory>

#include "ClientFolder.h"
#include "DeviceProcess.h"
#include "TestFiles.h"

// `quorvelctl doctor` as a user runs it when a device does not show up.
class TestDoctor : public QObject {
    Q_OBJECT
private slots:
    void findings_data();
    void findings();
};

void TestDoctor::findings_data()
{
    QTest::addColumn<QString>("device"); // hand-added; a simulator answers at 127.0.0.2:17020 only
    QTest::addColumn<bool>("holdPort"); // this test process holds UDP 16021
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QStringList>("problems");
    // A firewall tool on the PATH ("name" prints "output"), what the firewall finding says
    // and the one command it gives.
    QTest::addColumn<QStringList>("firewall");
    QTest::addColumn<QString>("firewallDetail");
    QTest::addColumn<QString>("firewallAdvice");
    QTest::newRow("held port, silent device")
        << "127.0.0.77" << true << 1 << QStringList{"port 16021", "device 127.0.0.77:16020"} << QStringList{}
        << QString() << QString();
    // (Off the client's ports: a device on 127.0.0.2:16020 keeps the client from binding 16020.)
    QTest::newRow("nothing wrong") << "127.0.0.2" << false << 0 << QStringList{} << QStringList{} << QString()
                                   << QString();
    QTest::newRow("ufw keeps the ports closed")
        << "127.0.0.2" << false << 1 << QStringList{"firewall"}
        << QStringList{"ufw",
               "Status: active\nLogging: on (low)\nDefault: deny (incoming), allow (outgoing), disabled (routed)\n\n"
               "To                         Action      From\n--                         ------      ----\n"
               "22/tcp                     ALLOW IN    Anywhere\n16020/udp                  ALLOW IN    Anywhere\n"}
        << "ufw is active and does not let UDP 16020 and 16021 in"
        << "sudo ufw allow Quorvel";
    QTest::newRow("ufw with the profile")
        << "127.0.0.2" << false << 0 << QStringList{}
        << QStringList{"ufw",
               "Status: active\nDefault: deny (incoming), allow (outgoing), disabled (routed)\n\n"
               "To                         Action      From\n--                         ------      ----\n"
               "Quorvel                    ALLOW IN    Anywhere\nQuorvel (v6)               ALLOW IN    Anywhere "
               "(v6)\n"}
        << "ufw is active and lets UDP 16020 and 16021 in" << QString();
    QTest::newRow("firewalld without the service")
        << "127.0.0.2" << false << 1 << QStringList{"firewall"}
        << QStringList{"firewall-cmd", "public (active)\n  target: default\n  services: dhcpv6-client ssh\n  ports: \n"}
        << "firewalld is running and does not let UDP 16020 and 16021 in"
        << "sudo firewall-cmd --permanent --add-service=quorvel && sudo firewall-cmd --reload";
}

void TestDoctor::findings()
{
    QFETCH(QString, device);
    QFETCH(bool, holdPort);
    QFETCH(int, exitCode);
    QFETCH(QStringList, problems);
    QFETCH(QStringList, firewall);
    QFETCH(QString, firewallDetail);
    QFETCH(QString, firewallAdvice);
    std::unique_ptr<DeviceProcess> sim;
    if (device == "127.0.0.2") {
        sim.reset(new DeviceProcess({"--address", device, "--no-mdns", "--name", "Board Room", "--info-port", "17020",
            "--operation-port", "17021"}));
        QVERIFY(sim->isReady());
    }
    QUdpSocket holder;
    QVERIFY(!holdPort || holder.bind(QHostAddress::AnyIPv4, 16021, QUdpSocket::DontShareAddress));
    ClientFolder app;
    QTemporaryDir tools;
    if (!firewall.isEmpty()) {
        QVERIFY(
            TestFiles::script(tools.path() + "/" + firewall.at(0), "printf '%s' '" + firewall.at(1).toUtf8() + "'\n"));
        app.setEnvironment("PATH", tools.path() + ":" + qEnvironmentVariable("PATH"));
    }
    const QString port = sim ? "17020" : "16020";
    QCOMPARE(app.ctl({"devices", "add", device + ":" + port}), 0);
    QByteArray out, err;
    QVERIFY2(app.ctl({"--json", "doctor", "--wait", "1"}, &out, &err) == exitCode, (out + err).constData());
    QHash<QString, QString> detail;
    QHash<QString, QString> advice;
    QStringList failed;
    for (const QByteArray& line : out.trimmed().split('\n')) {
        const QJsonObject o = QJsonDocument::fromJson(line).object();
        detail.insert(o["check"].toString(), o["detail"].toString());
        advice.insert(o["check"].toString(), o["advice"].toString());
        if (!o["ok"].toBool())
            failed << o["check"].toString();
    }
    for (const QString& check : problems)
        QVERIFY2(failed.contains(check), out.constData());
    QVERIFY2(!problems.isEmpty() || failed.isEmpty(), out.constData());
    QCOMPARE(detail.size(), 7); // interfaces, two ports, firewall, mdns, the device, discovery
    if (!firewallDetail.isEmpty()) {
        QCOMPARE(detail["firewall"], firewallDetail);
        QCOMPARE(advice["firewall"], firewallAdvice);
    }
    const QString answer = detail.value("device " + device + ":" + port);
    if (holdPort) {
        QVERIFY2(detail["port 16021"].contains(QString("pid %1 (tst_doctor)").arg(QCoreApplication::applicationPid())),
            out.constData());
        QVERIFY2(answer.contains("did not answer"), out.constData());
    } else {
        QVERIFY2(QRegularExpression("^\"Board Room\" answered in \\d+ ms$").match(answer).hasMatch(), out.constData());
        QVERIFY2(detail["discovery"].contains("\"Board Room\" 127.0.0.2 by manual"), out.constData());
    }
    // Without --json: one line per finding, with what to do about each problem.
    QCOMPARE(app.ctl({"doctor", "--wait", "1"}, &out, &err), exitCode);
    QCOMPARE(out.count('\n'), 7);
    for (const QByteArray& line : out.split('\n'))
        QVERIFY2(!line.startsWith("PROBLEM") || line.contains(" -- "), line.constData());
}

QTEST_GUILESS_MAIN(TestDoctor)
#include "tst_doctor.moc"
