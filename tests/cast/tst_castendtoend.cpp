#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QRasterWindow>
#include <QScreen>
#include <QtTest>
#include <csignal>
#include <cstdio>

#include "ClientFolder.h"
#include "DeviceProcess.h"
#include "TestFiles.h"

namespace {
// Something unmistakable on the X screen, for the device's frames to show.
class ColourWindow : public QRasterWindow {
public:
    explicit ColourWindow(const QColor& colour)
        : m_colour(colour)
    {
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.fillRect(QRect(QPoint(), size()), m_colour);
    }

private:
    QColor m_colour;
};
} // namespace

// The command line negotiates (password and confirmation on the terminal), runs the real
// casting program, and the device shows the X screen; pause, resume and stop steer it.
class TestCastEndToEnd : public QObject {
    Q_OBJECT
private slots:
    void castFromTheCommandLine();
    void castingProgramFailureIsTheOutcome();
    void interruptedWhileTheProgramIgnoresStop();

private:
    static int lastFrames(const DeviceProcess& d)
    {
        const QList<QJsonObject> events = d.logWhere("event", "cast-frames");
        return events.isEmpty() ? 0 : events.last().value("frames").toInt();
    }
};

void TestCastEndToEnd::castFromTheCommandLine()
{
    QVERIFY2(QGuiApplication::platformName() == QLatin1String("xcb"), "this test needs an X server");
    const QColor colour(200, 30, 160);
    ColourWindow window(colour);
    window.setGeometry(QGuiApplication::primaryScreen()->geometry());
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QUORVEL_DEVICE(device, {"--address", "127.0.0.21", "--no-mdns", "--cast-password", "pw"});
    ClientFolder app;
    QVERIFY(app.isValid());
    QProcess cast;
    cast.setProcessEnvironment(app.environment());
    cast.start(app.ctlProgram(), {"cast", "127.0.0.21"});
    TestFiles::Output seen(&cast);
    QVERIFY2(seen.waitFor("Password: ", true), seen.err.constData()); // asked on the terminal
    cast.write("pw\n");
    QVERIFY2(seen.waitFor("[y/N]", true), seen.err.constData());
    cast.write("y\n");
    QVERIFY2(seen.waitFor("casting"), seen.both().constData());
    QTRY_VERIFY_WITH_TIMEOUT(lastFrames(device) >= 5, 15000);
    // The latest frame shows the X screen.
    QImage latest(device.folder() + "/.cast/latest.jpg");
    QVERIFY(!latest.isNull());
    const QColor centre = latest.pixelColor(latest.width() / 2, latest.height() / 2);
    QVERIFY2(qAbs(centre.red() - colour.red()) < 24 && qAbs(centre.green() - colour.green()) < 24
            && qAbs(centre.blue() - colour.blue()) < 24,
        qPrintable(centre.name()));
    fprintf(stderr, "frames per second at the device: %.1f\n",
        device.logWhere("event", "cast-frames").last().value("fps_overall").toDouble());

    // Pause: the frames stop.
    cast.write("p");
    QVERIFY2(seen.waitFor("paused"), seen.both().constData());
    const int atPause = lastFrames(device);
    QTest::qWait(1500); // frames would arrive at 15 a second: none must
    QVERIFY2(lastFrames(device) <= atPause + 2, qPrintable(QString("%1 -> %2").arg(atPause).arg(lastFrames(device))));
    const int beforeResume = lastFrames(device);
    cast.write("r");
    QVERIFY2(seen.waitFor("resumed"), seen.both().constData());
    QTRY_VERIFY_WITH_TIMEOUT(lastFrames(device) > beforeResume + 5, 10000);
    cast.write("a");

    // Stop: the program ends, and only then does the cast report its end.
    cast.write("s");
    QVERIFY2(seen.waitFor("ended", false, 20000) && cast.waitForFinished(20000), seen.both().constData());
    QCOMPARE(cast.exitCode(), 0);
    QVERIFY(!device.waitForLog("event", "cast-stream-closed").isEmpty());
}

// What fails on this side is the cast's outcome: a casting program that cannot open the
// display ends the command with its reason, not with "ended" (a missing one, found out
// before the device is asked: tst_cast's negotiation).
void TestCastEndToEnd::castingProgramFailureIsTheOutcome()
{
    QUORVEL_DEVICE(device, {"--address", "127.0.0.22", "--no-mdns"});
    ClientFolder app;
    QVERIFY(app.isValid());
    QCOMPARE(app.ctl({"config", "set", "ConfirmCast", "false"}), 0);
    QByteArray out, err;
    app.setEnvironment("DISPLAY", ":9999"); // no X server there
    QCOMPARE(app.ctl({"cast", "127.0.0.22"}, &out, &err), 1);
    QVERIFY2(err.contains("casting program") && !out.contains("ended"), (out + err).constData());
    QTRY_VERIFY(!device.requests("cast").isEmpty());
}

// Ctrl-C while the casting program ignores "stop" and SIGTERM alike: the command still
// ends within about 2 s (the program is ended after a moment), with status 130.
void TestCastEndToEnd::interruptedWhileTheProgramIgnoresStop()
{
    QUORVEL_DEVICE(device, {"--address", "127.0.0.23", "--no-mdns"});
    ClientFolder app;
    QVERIFY(app.isValid());
    QCOMPARE(app.ctl({"config", "set", "ConfirmCast", "false"}), 0);
    QVERIFY(QFile::remove(app.path() + "/Vantrope"));
    QVERIFY(TestFiles::script(app.path() + "/Vantrope",
        "trap '' TERM INT\necho up > \"$(dirname \"$0\")/vantrope-up\"\nwhile :; do sleep 0.1; done\n"));

    QProcess cast;
    cast.setProcessEnvironment(app.environment());
    cast.start(app.ctlProgram(), {"cast", "127.0.0.23"});
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(app.path() + "/vantrope-up"), 15000);
    QElapsedTimer timer;
    timer.start();
    ::kill(pid_t(cast.processId()), SIGINT);
    QVERIFY(cast.waitForFinished(20000));
    const qint64 took = timer.elapsed();
    fprintf(stderr, "interrupted cast ended in %lld ms\n", took);
    QVERIFY2(took < 3000, qPrintable(QString("%1 ms").arg(took)));
    QCOMPARE(cast.exitCode(), 130);
}

QTEST_MAIN(TestCastEndToEnd)
#include "tst_castendtoend.moc"
