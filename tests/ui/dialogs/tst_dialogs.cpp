#include <QApplication>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QtTest>

#include "AppFolder.h"
#include "Cjk.h"
#include "TabStops.h"
#include "UdpProbe.h"
#include "WithoutFileOverride.h"
#include "quorvel/protocol/ProtocolWords.h"
#include "quorvel/services/DeviceActions.h"
#include "quorvel/storage/QuorvelClientDatabase.h"
#include "settings/Config.h"
#include "ui/dialogs/ManualDevicesManageDialog.h"
#include "ui/dialogs/SalutatorySetting.h"
#include "ui/dialogs/SendTargetsDialog.h"
#include "ui/dialogs/SettingDialog.h"
#include "ui/mainwindow/ServerContentWidget.h"

// Last: the X11 headers define macros (ProtocolVersion, None) that the others' names meet.
#include "XKeyHelper.h"
#include "platform/x11/X11DesktopSession.h"

namespace {
// Answers every message box that opens while it lives with Return, keeping
// "text|reason" of each.
class BoxCatcher : public QObject {
public:
    BoxCatcher()
    {
        connect(&m_timer, &QTimer::timeout, this, [this] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                texts.append(box->text() + "|" + box->informativeText());
                QTest::keyClick(box, Qt::Key_Return);
            }
        });
        m_timer.start(10);
    }
    QStringList texts;

private:
    QTimer m_timer;
};

void type(QWidget* dialog, const char* field, const QString& text)
{
    auto* edit = dialog->findChild<QLineEdit*>(field);
    QVERIFY(edit);
    QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(edit, Qt::Key_Backspace);
    QTest::keyClicks(edit, text);
}

void click(QWidget* dialog, const char* button)
{
    auto* b = dialog->findChild<QAbstractButton*>(button);
    QVERIFY(b);
    QTest::mouseClick(b, Qt::LeftButton);
}

// Shows the dialog; every control a person can tab to has a name for screen readers.
void open(QWidget* dialog)
{
    dialog->show();
    QVERIFY(QTest::qWaitForWindowExposed(dialog));
    QCOMPARE(unnamedTabStops(dialog), QStringList());
}
} // namespace

class TestDialogs : public QObject {
    Q_OBJECT
private slots:
    void init()
    {
        m_folder = std::make_unique<AppFolder>();
        QVERIFY(m_folder->isValid());
    }
    void settingsValidateInOrder_data();
    void settingsValidateInOrder();
    void sendTargets();
    void manualDevices_data();
    void manualDevices();
    void welcomeText_data();
    void welcomeText();
    void deviceCard_data();
    void deviceCard();

private:
    std::unique_ptr<AppFolder> m_folder;
};

void TestDialogs::settingsValidateInOrder_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("path");
    QTest::addColumn<int>("shortcutKey"); // pressed with Ctrl+Shift, except F9 alone
    QTest::addColumn<bool>("readOnly");
    QTest::addColumn<QString>("box"); // "" when the dialog closes
    QTest::addColumn<QStringList>("stored"); // name, path, shortcut afterwards; none: unchanged
    const struct {
        const char *row, *name, *path;
        int key;
        bool readOnly;
        const char *box, *shortcut;
    } rows[] = {{"empty name", "", "/tmp", Qt::Key_F, false, "客户端名字不能为空！|", nullptr},
        {"empty path", "Room", "", Qt::Key_F, false, "下载路径不能为空！|", nullptr},
        {"read-only", "Room", "/tmp", Qt::Key_F, true, "设置用户名错误|无法写入", nullptr},
        {"held key", "Room", "/tmp", Qt::Key_F9, false, "设置投射快捷键错误|无法注册", "F11"},
        {"accepted", "Room", "/tmp", Qt::Key_F, false, "", "Ctrl+Shift+F"}};
    for (const auto& r : rows)
        QTest::newRow(r.row) << QString::fromUtf8(r.name) << QString(r.path) << r.key << r.readOnly
                             << QString::fromUtf8(r.box)
                             << (r.shortcut ? QStringList{r.name, r.path, r.shortcut} : QStringList{});
    // The name is stored before the folder is refused ("=": as it was).
    QTest::newRow("path is a file") << "Room"
                                    << "/etc/passwd" << int(Qt::Key_F) << false
                                    << QString::fromUtf8("设置下载地址错误|下载目录\"/etc/passwd\"是一个文件")
                                    << QStringList{"Room", "=", "F11"};
}

void TestDialogs::settingsValidateInOrder()
{
    QFETCH(QString, name);
    QFETCH(QString, path);
    QFETCH(int, shortcutKey);
    QFETCH(bool, readOnly);
    QFETCH(QString, box);
    QFETCH(QStringList, stored);
    X11DesktopSession session;
    XKeyHelper other;
    QVERIFY(other.isValid() && other.grab(XK_F9));
    Config config(m_folder->path(), &session);
    const QStringList unchanged{config.value(Config::ClientName).toString(),
        config.value(Config::DownloadPath).toString(), config.value(Config::CastShortcut).toString()};
    SettingDialog dialog(&config);
    open(&dialog);
    auto* shortcut = dialog.findChild<QLineEdit*>("lineEditCastShortcut");
    QCOMPARE(shortcut->text(), QString("F11"));
    QTest::keyClick(shortcut, Qt::Key_F2, Qt::AltModifier | Qt::ControlModifier);
    QCOMPARE(shortcut->text(), QString("Ctrl+Alt+F2"));
    click(&dialog, "buttonResetCastShortcut");
    QCOMPARE(shortcut->text(), QString("F11"));

    type(&dialog, "ClientName", name);
    type(&dialog, "downloadPath", path);
    QTest::keyClick(shortcut, Qt::Key(shortcutKey),
        shortcutKey == Qt::Key_F9 ? Qt::NoModifier : Qt::ControlModifier | Qt::ShiftModifier);
    QTest::keyClick(dialog.findChild<QAbstractButton*>("checkBoxConfirmCast"), Qt::Key_Space);
    const bool confirm = config.value(Config::ConfirmCast).toBool();
    BoxCatcher boxes;
    if (readOnly)
        QVERIFY(m_folder->makeReadOnly());
    {
        WithoutFileOverride asAUser;
        click(&dialog, "btnOk");
    }
    QCOMPARE(boxes.texts.size(), box.isEmpty() ? 0 : 1);
    if (!box.isEmpty()) {
        QVERIFY2(boxes.texts.at(0).startsWith(box), qPrintable(boxes.texts.at(0)));
        // The core's reason in the window's language too.
        const QString reason = boxes.texts.at(0).section('|', 1);
        QVERIFY2(reason.isEmpty() || hasCjk(reason), qPrintable(reason));
    }
    QCOMPARE(dialog.isVisible(), !box.isEmpty());
    if (stored.isEmpty())
        stored = unchanged;
    for (int i = 0; i < stored.size(); ++i) {
        if (stored[i] == "=")
            stored[i] = unchanged[i];
    }
    QCOMPARE(QStringList({config.value(Config::ClientName).toString(), config.value(Config::DownloadPath).toString(),
                 config.value(Config::CastShortcut).toString()}),
        stored);
    QCOMPARE(config.value(Config::ConfirmCast).toBool(), box.isEmpty() ? !confirm : confirm);
    other.ungrab(XK_F9);
}

void TestDialogs::manualDevices_data()
{
    QTest::addColumn<QString>("ip");
    QTest::addColumn<QString>("port");
    QTest::addColumn<QString>("box");
    QTest::addColumn<QStringList>("list"); // after adding; 10.0.0.5 : 16020 was there
    const QStringList only{"10.0.0.5 : 16020"};
    const struct {
        const char *name, *ip, *port, *box, *added;
    } rows[]
        = {{"default port", "10.0.0.6", "", "", "10.0.0.6 : 16020"}, {"own port", "10.0.0.7", "0", "", "10.0.0.7 : 0"},
            {"duplicate", "10.0.0.5", "17000", "添加失败, 这个ip地址已经存在.|", nullptr},
            {"port 70000", "10.0.0.8", "70000", "无效的端口.|", nullptr},
            {"port abc", "10.0.0.8", "abc", "无效的端口.|", nullptr},
            {"bad ip", "10.0.0.256", "16020", "无效的ip地址.|", nullptr},
            {"a range", "198.51.100.9/24", "", "", "198.51.100.0/24"},
            {"a host name", "Room-1.example", "17000", "", "room-1.example : 17000"},
            {"address and port in one", "10.0.0.9:16020", "", "无效的ip地址.|", nullptr}};
    for (const auto& r : rows)
        QTest::newRow(r.name) << QString(r.ip) << QString(r.port) << QString::fromUtf8(r.box)
                              << (r.added ? only + QStringList{r.added} : only);
}

void TestDialogs::manualDevices()
{
    QFETCH(QString, ip);
    QFETCH(QString, port);
    QFETCH(QString, box);
    QFETCH(QStringList, list);
    QuorvelClientDatabase database(m_folder->path());
    ServerContent known;
    known.address = QHostAddress("10.0.0.5");
    QVERIFY(database.addManualDevice(known));
    ManualDevicesManageDialog dialog(&database);
    open(&dialog);
    auto* view = dialog.findChild<QListWidget*>("listWidgetDevices");
    type(&dialog, "lineEditIPAddress", ip);
    type(&dialog, "lineEditPort", port);
    BoxCatcher boxes;
    click(&dialog, "pushButtonAdd");
    QCOMPARE(boxes.texts.join("").left(box.size()), box); // the store's reason follows
    QCOMPARE(boxes.texts.size(), box.isEmpty() ? 0 : 1);
    const auto entries = [&] {
        QStringList shown, stored;
        for (int i = 0; i < view->count(); ++i)
            shown.append(view->item(i)->text());
        for (const ManualTarget& t : database.getManualTargets())
            stored.append(t.kind() == ManualTarget::Range ? t.text() : t.text() + " : " + QString::number(t.port()));
        return shown == stored ? shown : QStringList{"list and store differ"} + shown + stored;
    };
    QCOMPARE(entries(), list);

    // A double click on the first entry removes it from both.
    const QPoint at = view->visualItemRect(view->item(0)).center();
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, at);
    QCOMPARE(entries(), list.mid(1));
}

// The check list of the devices a file goes to: the chosen one checked, all at a click,
// nothing to send with none checked.
void TestDialogs::sendTargets()
{
    QList<ServerContent> rooms;
    for (const char* at : {"198.51.100.21", "198.51.100.22", "198.51.100.23"}) {
        ServerContent d;
        d.address = QHostAddress(at);
        d.uuid = QString("uuid-") + at;
        d.name = QString("Room ") + at;
        rooms.append(d);
    }
    SendTargetsDialog dialog(rooms, rooms.at(1));
    open(&dialog);
    QCOMPARE(dialog.checked().size(), 1);
    QCOMPARE(dialog.checked().first().uuid, rooms.at(1).uuid);
    click(&dialog, "pushButtonAll");
    QCOMPARE(dialog.checked().size(), 3);
    auto* ok = dialog.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok);
    QVERIFY(ok->isEnabled());
    dialog.setAllChecked(false);
    QVERIFY(!ok->isEnabled());
}

void TestDialogs::welcomeText_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("empty") << "";
    QTest::newRow("text") << "欢迎 Room 1";
}

void TestDialogs::welcomeText()
{
    QFETCH(QString, text);
    UdpProbe device(QHostAddress::LocalHost, ProtocolPort::Operation);
    QVERIFY(device.socket().state() == QAbstractSocket::BoundState);
    ServerContent server;
    server.address = QHostAddress::LocalHost;
    server.name = "会议室 B";
    QThreadPool pool;
    DeviceActions actions(pool);
    SalutatorySetting dialog(server, actions);
    open(&dialog);
    // It names the device that will show the text.
    QVERIFY(dialog.findChild<QLabel*>("labelText")->text().contains("会议室 B"));
    auto* edit = dialog.findChild<QLineEdit*>("textEdit");
    QVERIFY(edit);
    edit->setText(text); // typed input of CJK text needs an input method
    QSignalSpy results(&actions, &DeviceActions::finished);
    BoxCatcher boxes;
    click(&dialog, "btnOk");
    if (text.isEmpty()) {
        QCOMPARE(boxes.texts, QStringList{"欢迎辞内容不能为空!            |"});
        QVERIFY(dialog.isVisible());
        return;
    }
    QVERIFY(boxes.texts.isEmpty());
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QVERIFY(!dialog.isVisible());
    const QNetworkDatagram request = device.receive();
    QCOMPARE(QtJson::parseObject(request.data()).value(ProtocolKey::Salutatory).toString(), text);
    // Answered, so that the action ends within the test.
    device.socket().writeDatagram(request.makeReply(QtJson::serialize(QVariantMap{{ProtocolKey::Result, "ok"}})));
    QVERIFY(results.count() || results.wait(5000));
}

void TestDialogs::deviceCard_data()
{
    QTest::addColumn<QString>("type");
    QTest::addColumn<QStringList>("urls");
    QTest::addColumn<int>("dropped"); // local paths emitted
    const QStringList mixed{"file:///tmp/folder", "file:///tmp/a.txt", "file:///tmp/b c.pdf", "http://x.org/d"};
    QTest::newRow("device") << "quorvel" << mixed << 3;
    QTest::newRow("client") << "client" << QStringList{"http://x.org/d"} << 0;
}

void TestDialogs::deviceCard()
{
    QFETCH(QString, type);
    QFETCH(QStringList, urls);
    QFETCH(int, dropped);
    ServerContent server;
    server.address = QHostAddress("10.0.0.5");
    server.name = "Room";
    server.uuid = "u1";
    server.type = type;
    ServerContentWidget card;
    card.setServer(server);
    open(&card);
    QSignalSpy files(&card, &ServerContentWidget::filePathDroped);
    QSignalSpy browse(&card, &ServerContentWidget::fileList);
    QMimeData data;
    QList<QUrl> list;
    for (const QString& url : urls)
        list.append(QUrl(url));
    data.setUrls(list);
    QDragEnterEvent enter(card.rect().center(), Qt::CopyAction, &data, Qt::LeftButton, {});
    QApplication::sendEvent(&card, &enter);
    QCOMPARE(enter.isAccepted(), dropped > 0);
    QCOMPARE(card.backgroundRole(), dropped ? QPalette::Highlight : QPalette::Window);
    QDropEvent drop(card.rect().center(), Qt::CopyAction, &data, Qt::LeftButton, {});
    QApplication::sendEvent(&card, &drop);
    QCOMPARE(card.backgroundRole(), QPalette::Window);
    QCOMPARE(files.count(), dropped ? 1 : 0);
    if (dropped)
        QCOMPARE(files.at(0).at(0).toStringList(), (QStringList{"/tmp/folder", "/tmp/a.txt", "/tmp/b c.pdf"}));

    // A double click browses a device, not a client PC.
    QTest::mouseDClick(&card, Qt::LeftButton);
    QCOMPARE(browse.count(), type == "client" ? 0 : 1);
}

QTEST_MAIN(TestDialogs)
#include "tst_dialogs.moc"
