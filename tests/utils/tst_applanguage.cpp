#include <QDomDocument>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include "Cjk.h"
#include "ClientFolder.h"
#include "TestFiles.h"
#include "quorvel/protocol/ServerContent.h"
#include "quorvel/server/DownloadServer.h"
#include "quorvel/server/ServingSessions.h"
#include "quorvel/tasks/Timing.h"
#include "utils/AppLanguage.h"

namespace {
// context + '\x1f' + source -> translation (null when unfinished), and the problems seen.
struct Catalogue {
    QMap<QString, QString> messages;
    QStringList unfinished;
};

Catalogue read(const QString& path)
{
    Catalogue c;
    QFile file(path);
    QDomDocument doc;
    if (!file.open(QIODevice::ReadOnly) || !doc.setContent(&file)) {
        c.unfinished << "cannot read " + path;
        return c;
    }
    const QDomNodeList contexts = doc.elementsByTagName("context");
    for (int i = 0; i < contexts.count(); ++i) {
        const QDomElement context = contexts.at(i).toElement();
        const QString name = context.firstChildElement("name").text();
        for (QDomElement m = context.firstChildElement("message"); !m.isNull(); m = m.nextSiblingElement("message")) {
            const QString source = m.firstChildElement("source").text();
            const QDomElement translation = m.firstChildElement("translation");
            const QString key = name + '\x1f' + source;
            c.messages.insert(key, translation.text());
            if (translation.hasAttribute("type") || translation.text().isEmpty() || hasCjk(translation.text()))
                c.unfinished << name + ": " + source;
        }
    }
    return c;
}

// The settings command of a copy of the client under the environment's language: the
// reason it refuses a download folder that is a file.
QString refusedFolderReason(const QHash<QString, QString>& env, const QString& file)
{
    ClientFolder app;
    if (!app.isValid())
        return "no client folder";
    app.setEnvironment("LC_ALL", "");
    app.setEnvironment("LC_MESSAGES", "");
    app.setEnvironment("LANGUAGE", "");
    for (auto it = env.begin(); it != env.end(); ++it)
        app.setEnvironment(it.key(), it.value());
    QByteArray out, err;
    if (app.ctl({"config", "set", "DownloadPath", file}, &out, &err) == 0)
        return "did not fail: " + QString::fromUtf8(out + err);
    return QString::fromUtf8(err).trimmed();
}

// The reason a serving of path to a party that never fetches it ends with.
QString servingReason(const QString& path)
{
    ServerContent party;
    party.address = QHostAddress::LocalHost;
    party.name = "Room 7";
    ServingSessions sessions;
    DownloadServer server(path, 0, 0, party, party.address, sessions);
    QString reason;
    QObject::connect(&server, &Task::ended, [&](const TaskOutcome& outcome) { reason = outcome.text(); });
    server.run();
    return reason;
}
} // namespace

// The English translation is whole, and each program speaks its user's language: Chinese
// (the sources' own) for a Chinese locale, English for any other.
class TestAppLanguage : public QObject {
    Q_OBJECT
private slots:
    void everyTextHasItsEnglish();
    void languageFollowsTheLocale();
};

void TestAppLanguage::everyTextHasItsEnglish()
{
    const QString committed = QStringLiteral(QUORVEL_SOURCE_DIR "/translations/quorvel_en.ts");
    const Catalogue ours = read(committed);
    QVERIFY2(ours.messages.size() > 100, "the catalogue is nearly empty");
    QVERIFY2(ours.unfinished.isEmpty(), qPrintable("without English: " + ours.unfinished.join("\n")));

    // The sources as they are now, gathered into a scratch copy: a text the catalogue does
    // not know arrives there unfinished, one it knows no longer leaves.
    QTemporaryDir scratch;
    const QString copy = scratch.filePath("quorvel_en.ts");
    QVERIFY(QFile::copy(committed, copy));
    QProcess lupdate;
    lupdate.setWorkingDirectory(QUORVEL_SOURCE_DIR);
    lupdate.start(QUORVEL_LUPDATE,
        {"-no-obsolete", "-locations", "none", "-source-language", "zh_CN", "-target-language", "en_US", "src",
            "tools/quorvelctl", "-ts", copy});
    QVERIFY(lupdate.waitForFinished(60000));
    QCOMPARE(lupdate.exitCode(), 0);
    const Catalogue now = read(copy);
    QVERIFY2(now.unfinished.isEmpty(),
        qPrintable(
            "texts without English (scripts/update-translations.sh, then translate):\n" + now.unfinished.join("\n")));
    QStringList gone;
    for (const QString& key : ours.messages.keys()) {
        if (!now.messages.contains(key))
            gone << QString(key).replace('\x1f', ": ");
    }
    QVERIFY2(gone.isEmpty(), qPrintable("texts the sources no longer have:\n" + gone.join("\n")));
}

void TestAppLanguage::languageFollowsTheLocale()
{
    // In this process: each language replaces the one before.
    const char* source = "%1 在 %2 秒内没有回复";
    QVERIFY(AppLanguage::install(qApp, QLocale(QLocale::English, QLocale::UnitedStates)));
    QCOMPARE(QCoreApplication::translate("TaskOutcome", source), QString("%1 did not answer within %2 s"));
    QVERIFY(AppLanguage::install(qApp, QLocale(QLocale::Chinese, QLocale::China)));
    QCOMPARE(QCoreApplication::translate("TaskOutcome", source), QString::fromUtf8(source));
    QCOMPARE(QCoreApplication::translate("QPlatformTheme", "Cancel"), QString("取消"));
    QVERIFY(AppLanguage::install(qApp, QLocale(QLocale::German, QLocale::Germany)));
    QCOMPARE(QCoreApplication::translate("TaskOutcome", source), QString("%1 did not answer within %2 s"));
    QCOMPARE(QCoreApplication::translate("QPlatformTheme", "Cancel"), QString("Cancel"));

    // The serving side's reasons, not its log lines: a file nobody fetches, one gone.
    Timing timing;
    timing.servingAcceptWaitMs = 50;
    timing.maxConnections = 1;
    Timing::setForTests(timing);
    QTemporaryDir files;
    const QString offered = files.filePath("offered.txt");
    QVERIFY(TestFiles::write(offered, "x"));
    for (const bool chinese : {true, false}) {
        QVERIFY(AppLanguage::install(qApp,
            chinese ? QLocale(QLocale::Chinese, QLocale::China) : QLocale(QLocale::English, QLocale::UnitedStates)));
        for (const QString& path : {offered, files.filePath("gone.txt")}) {
            const QString reason = servingReason(path);
            QVERIFY2(reason.contains(path) && hasCjk(reason) == chinese, qPrintable(reason));
        }
    }
    Timing::setForTests(Timing());

    // quorvelctl, by the environment a person has.
    QTemporaryDir dir;
    const QString file = dir.filePath("notafolder");
    QVERIFY(TestFiles::write(file, "x"));
    const QString english = QString("the download folder \"%1\" is a file, not a folder").arg(file);
    const QString chinese = QString("下载目录\"%1\"是一个文件, 不是文件夹").arg(file);
    // LANG alone: tst_quorvelctl's help in Chinese and in English; here what overrides it.
    const struct {
        QHash<QString, QString> env;
        bool chinese;
    } people[] = {{{{"LANG", "en_US.UTF-8"}, {"LANGUAGE", "zh_CN:en"}}, true},
        {{{"LANG", "zh_CN.UTF-8"}, {"LC_MESSAGES", "en_GB.UTF-8"}}, false}};
    for (const auto& person : people) {
        const QString said = refusedFolderReason(person.env, file);
        QVERIFY2(said.contains(person.chinese ? chinese : english), qPrintable(said));
    }
}

QTEST_GUILESS_MAIN(TestAppLanguage)
#include "tst_applanguage.moc"
