#include <QTcpSocket>
#include <QtTest>
#include <arpa/inet.h>
#include <csignal>
#include <memory>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "ClientFolder.h"
#include "DeviceProcess.h"
#include "HelperMode.h"
#include "TestFiles.h"
#include "TestNetwork.h"
#include "UdpProbe.h"
#include "quorvel/server/FileDistribution.h"
#include "quorvel/server/ServingSessions.h"
#include "json/QtJson.h"

// Serving offered files, each party on a host of its own: hosts 0 (offers), 1 (the
// party the file is offered to) and, where there is one, 2 (a stranger that tries to get
// it). Both sides are the shipped command-line client, a simulated device, or this program
// in a helper mode where a peer must misbehave. How long an offer stands: tst_inbound.
class TestServingTrust : public QObject {
    Q_OBJECT
private slots:
    void clientOffersClientFetchesAndASecondServeWaits();
    void onlyThePartyIsServed();
    void tooLargeToOfferFailsAtOnce();
    void interruptEndsOfferAndServe_data();
    void interruptEndsOfferAndServe();
};

using HelperMode::say;
using HelperMode::stopOnInput;

namespace {
QString self()
{
    return QCoreApplication::applicationFilePath();
}
} // namespace

// Two files offered in one command are fetched whole (resuming in both offset forms:
// tst_inbound's fetches); a second serve on the fetching host names the port the first one
// holds and says "serving" only once both are its own.
void TestServingTrust::clientOffersClientFetchesAndASecondServeWaits()
{
    QUORVEL_TEST_NETWORK(net, 2);
    ClientFolder a(ClientFolder::CommandLineOnly), b(ClientFolder::CommandLineOnly), c(ClientFolder::CommandLineOnly);
    QVERIFY(a.isValid() && b.isValid() && c.isValid() && b.makeInbox());
    TestFiles::Output served(net.start(1, b.ctlProgram(), {"serve", "--accept"}));
    QVERIFY2(served.waitFor("serving"), served.both().constData());

    const QStringList files{TestFiles::patterned(a.path() + "/deck.pdf", 3 * 1024 * 1024 + 5),
        TestFiles::patterned(a.path() + "/two.bin", 1024 * 1024)};
    QProcess* offer = net.start(0, a.ctlProgram(),
        QStringList{"--json", "offer", net.address(1).toString()} + files + QStringList{"--wait", "60"});
    QVERIFY(offer->waitForFinished(90000));
    const QByteArray offerOut = offer->readAllStandardOutput();
    QVERIFY2(offer->exitCode() == 0, (offerOut + offer->readAllStandardError()).constData());
    QVERIFY(offerOut.contains("\"command\":\"offer\"") && offerOut.contains("\"ok\":true"));
    for (const QString& file : files) {
        QVERIFY2(served.waitFor("received " + file.toUtf8()), served.both().constData());
        QCOMPARE(TestFiles::md5Of(b.inbox() + "/" + QFileInfo(file).fileName()), TestFiles::md5Of(file));
    }

    TestFiles::Output waiting(net.start(1, c.ctlProgram(), {"serve", "--ask"}));
    waiting.process->closeWriteChannel();
    QVERIFY2(waiting.waitFor("is not free", true) && waiting.err.contains("trying again"), waiting.err.constData());
    QVERIFY(!waiting.out.contains("serving"));
    served.process->terminate();
    QVERIFY(served.process->waitForFinished(10000));
    QCOMPARE(served.process->exitCode(), 130);
    QVERIFY2(waiting.waitFor("serving"), waiting.both().constData());
}

// A stranger keeps connecting to the serving ports, forges a fetch in the party's name
// and asks how the sessions went: it gets no byte and no digest, while the party gets
// the whole file and the offer ends as fetched.
void TestServingTrust::onlyThePartyIsServed()
{
    QUORVEL_TEST_NETWORK(net, 3);
    ClientFolder offering(ClientFolder::CommandLineOnly), fetching(ClientFolder::CommandLineOnly);
    QVERIFY(offering.isValid() && fetching.isValid() && fetching.makeInbox());
    TestFiles::Output served(net.start(1, fetching.ctlProgram(), {"serve", "--ask"}));
    QVERIFY2(served.waitFor("serving"), served.both().constData());
    const QString file = TestFiles::patterned(offering.path() + "/minutes.txt", 280000);

    TestFiles::Output stranger(
        net.start(2, self(), {"--steal", net.address(0).toString(), net.address(1).toString(), file}));
    QVERIFY2(stranger.waitFor("READY"), stranger.both().constData());
    QProcess* offer = net.start(0, offering.ctlProgram(), {"offer", net.address(1).toString(), file, "--wait", "60"});
    // The party says yes only once the stranger reached a serving port.
    QVERIFY2(served.waitFor("Accept?", true), served.both().constData());
    QVERIFY2(stranger.waitFor("CONNECTED"), stranger.both().constData());
    QVERIFY(served.send("y"));
    QVERIFY(offer->waitForFinished(90000));
    served.waitFor("received", false, 1000);
    QVERIFY2(offer->exitCode() == 0,
        (offer->readAllStandardOutput() + offer->readAllStandardError() + served.both()).constData());
    QVERIFY2(served.waitFor("received " + file.toUtf8()), served.both().constData());
    QCOMPARE(TestFiles::md5Of(fetching.inbox() + "/minutes.txt"), TestFiles::md5Of(file));

    QVERIFY(stranger.send("stop"));
    QVERIFY2(stranger.waitFor("DONE"), stranger.both().constData());
    QVERIFY2(stranger.out.contains("STOLEN 0\n"), stranger.out.constData());
    QVERIFY2(!stranger.out.contains("LEAK"), stranger.out.constData());
}

// The wire states a served file's size in 32 bits: a larger file is refused before
// anything is offered, with the reason.
void TestServingTrust::tooLargeToOfferFailsAtOnce()
{
    QUORVEL_TEST_NETWORK(net, 2);
    ClientFolder offering(ClientFolder::CommandLineOnly);
    const QString big = offering.path() + "/huge.iso";
    {
        QFile f(big);
        QVERIFY(f.open(QIODevice::WriteOnly) && f.resize((qint64(4) << 30) + (1 << 20))); // sparse
    }
    QString why;
    QVERIFY(!FileDistribution::offerable(big, &why) && why.contains("32 bits"));
    QUORVEL_DEVICE(device, {"--no-mdns"}, net.prefix(1));
    QProcess* offer = net.start(0, offering.ctlProgram(), {"offer", net.address(1).toString(), big});
    QVERIFY(offer->waitForFinished(10000));
    const QByteArray err = offer->readAllStandardError();
    QCOMPARE(offer->exitCode(), 1);
    QVERIFY2(err.contains("32 bits") && err.contains("huge.iso"), err.constData());
    QVERIFY(device.requests("file_distribution").isEmpty()); // nothing was offered
}

void TestServingTrust::interruptEndsOfferAndServe_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<int>("signal");
    QTest::newRow("offer, Ctrl-C") << "offer" << int(SIGINT);
    QTest::newRow("offer, SIGTERM") << "offer" << int(SIGTERM);
    QTest::newRow("serve, Ctrl-C") << "serve" << int(SIGINT);
    QTest::newRow("serve, SIGTERM") << "serve" << int(SIGTERM);
}

// The peer asks for the file and never connects (offer), or offers one and stalls before
// its first byte (serve): an interruption still ends the command at once, with status 130.
void TestServingTrust::interruptEndsOfferAndServe()
{
    QFETCH(QString, command);
    QFETCH(int, signal);
    QUORVEL_TEST_NETWORK(net, 2);
    ClientFolder ctl(ClientFolder::CommandLineOnly);
    const QString file = TestFiles::patterned(ctl.path() + "/notes.txt", 100000);
    TestFiles::Output peer(nullptr);
    TestFiles::Output client(nullptr);
    std::unique_ptr<DeviceProcess> device;
    if (command == "offer") {
        peer.process = net.start(1, self(), {"--fetch-and-vanish"});
        QVERIFY2(peer.waitFor("READY"), peer.both().constData());
        client.process = net.start(0, ctl.ctlProgram(), {"offer", net.address(1).toString(), file, "--wait", "120"});
        QVERIFY2(peer.waitFor("STALLED"), (peer.both() + client.both()).constData());
    } else {
        client.process = net.start(0, ctl.ctlProgram(), {"serve", "--accept"});
        QVERIFY2(client.waitFor("serving"), client.both().constData());
        device = std::make_unique<DeviceProcess>(QStringList{"--no-mdns", "--stall-after", "0"}, net.prefix(1));
        QVERIFY2(device->isReady(), qPrintable(device->output()));
        device->command("offer " + net.address(0).toString().toUtf8() + " /Quorvel/readme.txt");
        QVERIFY2(!device->waitForLog("event", "tcp-stalled").isEmpty(), client.both().constData());
    }
    // The serving (or receiving) task now waits for a peer that never comes.
    QElapsedTimer stopping;
    stopping.start();
    ::kill(pid_t(client.process->processId()), signal);
    QVERIFY(client.process->waitForFinished(10000));
    const qint64 ms = stopping.elapsed();
    QVERIFY2(ms < 3000, qPrintable(QString("%1 ended %2 ms after the signal").arg(command).arg(ms)));
    QCOMPARE(client.process->exitStatus(), QProcess::NormalExit);
    QCOMPARE(client.process->exitCode(), 130);
}

// ----------------------------------------------------------------- helper modes

namespace {
// One UDP datagram from an address that is not ours (the raw socket writes the header).
bool sendForged(
    const QHostAddress& from, quint16 fromPort, const QHostAddress& to, quint16 toPort, const QByteArray& payload)
{
    const int fd = ::socket(AF_INET, SOCK_RAW, IPPROTO_RAW);
    if (fd < 0)
        return false;
    unsigned char p[1500] = {};
    const int size = 20 + 8 + payload.size();
    if (size > int(sizeof p)) {
        ::close(fd);
        return false;
    }
    p[0] = 0x45;
    p[8] = 64; // time to live
    p[9] = IPPROTO_UDP;
    const quint32 src = htonl(from.toIPv4Address()), dst = htonl(to.toIPv4Address());
    memcpy(p + 12, &src, 4);
    memcpy(p + 16, &dst, 4);
    const quint16 sport = htons(fromPort), dport = htons(toPort), length = htons(quint16(8 + payload.size()));
    memcpy(p + 20, &sport, 2);
    memcpy(p + 22, &dport, 2);
    memcpy(p + 24, &length, 2); // no UDP checksum: allowed over IPv4
    memcpy(p + 28, payload.constData(), size_t(payload.size()));
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = dst;
    const bool sent = ::sendto(fd, p, size_t(size), 0, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == size;
    ::close(fd);
    return sent;
}

// The stranger: connects to the first serving ports over and over and reads what comes,
// forges a fetch in the party's name (every turn for the first second) and asks how the first sessions went.
int steal(const QHostAddress& offerer, const QHostAddress& party, const QString& path)
{
    qint64 stolen = 0;
    bool connected = false;
    QList<QTcpSocket*> sockets;
    UdpProbe asker;
    const QByteArray fetch = QtJson::serialize(QVariantMap{{"type", "file_download"}, {"file_path", path}});
    int rounds = 0;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&] {
        if (rounds < 20) { // until the offer is there
            ++rounds;
            sendForged(party, 40000, offerer, 16021, fetch);
        }
        asker.send(offerer, 16021, fetch); // in its own name too
        for (uint s = ServingSessions::FirstSession; s < ServingSessions::FirstSession + 4; ++s)
            asker.send(offerer, 16021, QVariantMap{{"type", "query_result"}, {"session_id", s}, {"md5", "0"}});
        while (asker.socket().hasPendingDatagrams()) {
            const QVariantMap reply = QtJson::parseObject(asker.socket().receiveDatagram().data());
            const QString reason = reply.value("reason").toString();
            if (reply.value("result") == "ok" || reason.size() == 32 || reason == "not_complete")
                say("LEAK " + QtJson::serialize(reply));
        }
        for (quint16 port = ServingSessions::FirstPort; port < ServingSessions::FirstPort + 6; ++port) {
            auto* s = new QTcpSocket;
            QObject::connect(s, &QTcpSocket::connected, [&connected] {
                if (!connected)
                    say("CONNECTED");
                connected = true;
            });
            QObject::connect(s, &QTcpSocket::readyRead, [s, &stolen] { stolen += s->readAll().size(); });
            s->connectToHost(offerer, port);
            sockets.append(s);
        }
        while (sockets.size() > 60)
            sockets.takeFirst()->deleteLater();
    });
    tick.start(50);
    stopOnInput();
    say("READY");
    QCoreApplication::exec();
    for (QTcpSocket* s : qAsConst(sockets))
        stolen += s->readAll().size();
    say("STOLEN " + QByteArray::number(stolen));
    say("DONE");
    return 0;
}

// Takes an offer and fetches, then never connects.
int fetchAndVanish()
{
    UdpProbe port(QHostAddress::AnyIPv4, 16021);
    say("READY");
    const QNetworkDatagram offered = port.receive(60000);
    const QVariantMap o = QtJson::parseObject(offered.data());
    if (o.value("type") != "file_distribution")
        return 1;
    const QVariantMap reply = port.ask(offered.senderAddress(), 16021,
        QVariantMap{{"type", "file_download"}, {"file_path", o.value("file_path")}}, 10000);
    if (reply.value("result") != "ok")
        return 1;
    say("STALLED");
    stopOnInput();
    return QCoreApplication::exec();
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    const QString mode = args.value(1);
    if (mode == "--steal" && args.size() == 5)
        return steal(QHostAddress(args[2]), QHostAddress(args[3]), args[4]);
    if (mode == "--fetch-and-vanish")
        return fetchAndVanish();
    TestServingTrust test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_servingtrust.moc"
