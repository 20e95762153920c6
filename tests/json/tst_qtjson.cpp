#include <QDir>
#include <QRandomGenerator>
#include <QtTest>
#include <cmath>

#include "json/QtJson.h"

using QtJson::JsonArray;
using QtJson::JsonObject;

class TestQtJson : public QObject {
    Q_OBJECT
private slots:
    void parse_data();
    void parse();
    void parseStructure();
    void serialize_data();
    void serialize();
    void roundTripGenerated();
    void deepNestingIsAnErrorNotACrash();
    void hostileBytes();
    void replaysFuzzCorpus();
};

void TestQtJson::parse_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("success");
    QTest::addColumn<int>("type");
    QTest::addColumn<QVariant>("value");

    QTest::newRow("null string") << QString() << true << int(QMetaType::UnknownType) << QVariant();
    QTest::newRow("empty string fails") << QString("") << false << int(QMetaType::UnknownType) << QVariant();
    QTest::newRow("only spaces fail") << QString(" \t\r\n") << false << int(QMetaType::UnknownType) << QVariant();
    QTest::newRow("int") << QString("-5") << true << int(QMetaType::Int) << QVariant(-5);
    QTest::newRow("uint") << QString("4294967295") << true << int(QMetaType::UInt) << QVariant(4294967295u);
    QTest::newRow("u64") << QString("4294967296") << true << int(QMetaType::ULongLong)
                         << QVariant(Q_UINT64_C(4294967296));
    QTest::newRow("i64") << QString("-2147483649") << true << int(QMetaType::LongLong)
                         << QVariant(Q_INT64_C(-2147483649));
    QTest::newRow("double") << QString("1.5") << true << int(QMetaType::Double) << QVariant(1.5);
    QTest::newRow("bad double is zero") << QString("1.2.3") << true << int(QMetaType::Double) << QVariant(0.0);
    QTest::newRow("exponent stays text") << QString("2E3") << true << int(QMetaType::QString) << QVariant("2E3");
    QTest::newRow("1e5 stays text") << QString("1e5") << true << int(QMetaType::QString) << QVariant("1e5");
    QTest::newRow("1-2 stays text") << QString("1-2") << true << int(QMetaType::QString) << QVariant("1-2");
    QTest::newRow("huge negative stays text")
        << QString("-99999999999999999999") << true << int(QMetaType::QString) << QVariant("-99999999999999999999");
    QTest::newRow("huge positive stays text")
        << QString("99999999999999999999") << true << int(QMetaType::QString) << QVariant("99999999999999999999");
    QTest::newRow("plus cannot start") << QString("+1") << false << int(QMetaType::UnknownType) << QVariant();
    QTest::newRow("dot cannot start") << QString(".5") << false << int(QMetaType::UnknownType) << QVariant();
    QTest::newRow("true") << QString(" true") << true << int(QMetaType::Bool) << QVariant(true);
    QTest::newRow("false") << QString("false") << true << int(QMetaType::Bool) << QVariant(false);
    QTest::newRow("True is no literal") << QString("True") << false << int(QMetaType::UnknownType) << QVariant();
    QTest::newRow("null literal") << QString("null") << true << int(QMetaType::UnknownType) << QVariant();
    QTest::newRow("unicode escape") << QString("\"\\u00e9\"") << true << int(QMetaType::QString)
                                    << QVariant(QString(QChar(0xe9)));
    QTest::newRow("surrogate pair") << QString("\"\\ud83d\\ude00\"") << true << int(QMetaType::QString)
                                    << QVariant(QString::fromUtf8("\xF0\x9F\x98\x80"));
    QTest::newRow("non-hex escape is U+0000")
        << QString("\"\\uzz12\"") << true << int(QMetaType::QString) << QVariant(QString(QChar(0)));
    QTest::newRow("short unicode escape fails")
        << QString("\"\\u12") << false << int(QMetaType::UnknownType) << QVariant();
    QTest::newRow("unknown escape dropped")
        << QString("\"\\x\"") << true << int(QMetaType::QString) << QVariant(QString(""));
    QTest::newRow("simple escapes") << QString("\"\\\"\\\\\\/\\b\\f\\n\\r\\t\"") << true << int(QMetaType::QString)
                                    << QVariant(QString("\"\\/\b\f\n\r\t"));
    QTest::newRow("raw control kept") << QString("\"a\x01"
                                                 "b\"")
                                      << true << int(QMetaType::QString)
                                      << QVariant(QString("a\x01"
                                                          "b"));
    QTest::newRow("unterminated string") << QString("\"abc") << false << int(QMetaType::UnknownType) << QVariant();
    QTest::newRow("backslash at end") << QString("\"abc\\") << false << int(QMetaType::UnknownType) << QVariant();
    QTest::newRow("garbage") << QString("hello") << false << int(QMetaType::UnknownType) << QVariant();
}

void TestQtJson::parse()
{
    QFETCH(QString, text);
    QFETCH(bool, success);
    QFETCH(int, type);
    QFETCH(QVariant, value);
    bool ok = !success;
    const QVariant result = QtJson::parse(text, ok);
    QCOMPARE(ok, success);
    QCOMPARE(result.userType(), type);
    if (value.isValid())
        QCOMPARE(result, value);
}

void TestQtJson::parseStructure()
{
    bool ok = false;
    QVariant v = QtJson::parse("{}", ok);
    QVERIFY(ok);
    QCOMPARE(v.userType(), int(QMetaType::QVariantMap));
    QVERIFY(v.toMap().isEmpty());

    // Commas are optional and may repeat; text after the first value is ignored.
    v = QtJson::parse("{\"a\":1 \"b\":2}", ok);
    QVERIFY(ok);
    QCOMPARE(v.toMap(), (JsonObject{{"a", 1u}, {"b", 2u}}));
    v = QtJson::parse("[1,,2,]", ok);
    QVERIFY(ok);
    QCOMPARE(v.toList(), (JsonArray{1u, 2u}));
    v = QtJson::parse("{\"a\":1}trailing", ok);
    QVERIFY(ok);
    QCOMPARE(v.toMap(), (JsonObject{{"a", 1u}}));
    v = QtJson::parse("{,\"a\":1,,\"a\":2,}", ok);
    QVERIFY(ok);
    QCOMPARE(v.toMap(), (JsonObject{{"a", 2u}})); // later duplicate wins

    // Errors inside containers give empty containers.
    v = QtJson::parse("{\"a\":}", ok);
    QVERIFY(!ok);
    QCOMPARE(v.userType(), int(QMetaType::QVariantMap));
    QVERIFY(v.toMap().isEmpty());
    v = QtJson::parse("{\"a\" 1}", ok);
    QVERIFY(!ok);
    v = QtJson::parse("[1, 2", ok);
    QVERIFY(!ok);
    QCOMPARE(v.userType(), int(QMetaType::QVariantList));
    QVERIFY(v.toList().isEmpty());
    v = QtJson::parse("{\"a\":[1,{\"b\":x}]}", ok);
    QVERIFY(!ok);

    // The member-name reader skips one character as the quote, whatever it is; a
    // character that starts no token at all is an error.
    v = QtJson::parse("{1key\":1}", ok);
    QVERIFY(ok);
    QCOMPARE(v.toMap().value("key"), QVariant(1u));
    QtJson::parse("{xkey\":1}", ok);
    QVERIFY(!ok);

    // A reply that is an array is no object: the message view of it is empty.
    QVERIFY(QtJson::parseObject("[1,2]").isEmpty());
    QVERIFY(QtJson::parseObject("not json").isEmpty());
    QCOMPARE(QtJson::parseObject("{\"result\":\"ok\"}").value("result").toString(), QString("ok"));
}

void TestQtJson::serialize_data()
{
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<bool>("success");
    QTest::addColumn<QByteArray>("text");

    QTest::newRow("invalid") << QVariant() << true << QByteArray("null");
    QTest::newRow("empty map") << QVariant(JsonObject()) << true << QByteArray("{  }");
    QTest::newRow("empty list") << QVariant(JsonArray()) << true << QByteArray("[  ]");
    QTest::newRow("map and list") << QVariant(JsonObject{{"b", true}, {"a", JsonArray{1, "x"}}}) << true
                                  << QByteArray("{ \"a\" : [ 1, \"x\" ], \"b\" : true }");
    QTest::newRow("keys sorted") << QVariant(JsonObject{{"type", "get_auth"}, {"port", 8000}}) << true
                                 << QByteArray("{ \"port\" : 8000, \"type\" : \"get_auth\" }");
    QTest::newRow("string list") << QVariant(QStringList{"file_upload", "Vantrope : 8000"}) << true
                                 << QByteArray("[ \"file_upload\", \"Vantrope : 8000\" ]");
    QTest::newRow("escapes") << QVariant(QString("a\\b\"c\b\f\n\r\t/\x01")) << true
                             << QByteArray("\"a\\\\b\\\"c\\b\\f\\n\\r\\t/\x01\"");
    QTest::newRow("utf8 raw") << QVariant(QString::fromUtf8("密码错误")) << true
                              << QByteArray("\"\xE5\xAF\x86\xE7\xA0\x81\xE9\x94\x99\xE8\xAF\xAF\"");
    QTest::newRow("double 3") << QVariant(3.0) << true << QByteArray("3.0");
    QTest::newRow("double 100") << QVariant(100.0) << true << QByteArray("100.0");
    QTest::newRow("double half") << QVariant(0.5) << true << QByteArray("0.5");
    QTest::newRow("double 1e25, 20 digits") << QVariant(1e25) << true << QByteArray("1.0000000000000000906e+25");
    QTest::newRow("nan fails") << QVariant(std::nan("")) << false << QByteArray();
    QTest::newRow("inf fails") << QVariant(HUGE_VAL) << false << QByteArray();
    QTest::newRow("nan inside map fails") << QVariant(JsonObject{{"a", std::nan("")}}) << false << QByteArray();
    QTest::newRow("nan inside list fails") << QVariant(JsonArray{1, std::nan("")}) << false << QByteArray();
    QTest::newRow("bool") << QVariant(false) << true << QByteArray("false");
    QTest::newRow("u64") << QVariant(Q_UINT64_C(18446744073709551615)) << true << QByteArray("18446744073709551615");
    QTest::newRow("i64") << QVariant(Q_INT64_C(-9223372036854775807)) << true << QByteArray("-9223372036854775807");
    QTest::newRow("uint") << QVariant(4294967295u) << true << QByteArray("4294967295");
    QTest::newRow("byte array as string") << QVariant(QByteArray("ab")) << true << QByteArray("\"ab\"");
    QTest::newRow("hash") << QVariant(QVariantHash{{"k", 1}}) << true << QByteArray("{ \"k\" : 1 }");
    QTest::newRow("unconvertible fails") << QVariant(QPoint(1, 2)) << false << QByteArray();
}

void TestQtJson::serialize()
{
    QFETCH(QVariant, value);
    QFETCH(bool, success);
    QFETCH(QByteArray, text);
    bool ok = !success;
    const QByteArray out = QtJson::serialize(value, ok);
    QCOMPARE(ok, success);
    QCOMPARE(out, text);
    QCOMPARE(out.isNull(), !success);
}

namespace {
QVariant randomValue(QRandomGenerator& rng, int depth)
{
    const int kind = rng.bounded(depth > 3 ? 6 : 8);
    switch (kind) {
    case 0: return QVariant();
    case 1: return rng.bounded(2) == 1;
    case 2: return int(rng.bounded(-100000, 0));
    case 3: return uint(rng.generate());
    case 4: {
        QString s;
        const int len = rng.bounded(12);
        for (int i = 0; i < len; ++i) {
            // Printable ASCII, escapes, CJK and a few controls.
            static const QString alphabet = QString::fromUtf8("az09 \"\\/\b\f\n\r\t\x01密码é{}[]:,");
            s += alphabet.at(rng.bounded(alphabet.size()));
        }
        return s;
    }
    case 5: return qulonglong(rng.generate64() | Q_UINT64_C(0x100000000));
    case 6: {
        JsonArray list;
        const int n = rng.bounded(5);
        for (int i = 0; i < n; ++i)
            list.append(randomValue(rng, depth + 1));
        return list;
    }
    default: {
        JsonObject map;
        const int n = rng.bounded(5);
        for (int i = 0; i < n; ++i)
            map.insert(randomValue(rng, 10).toString() + QString::number(i), randomValue(rng, depth + 1));
        return map;
    }
    }
}
} // namespace

void TestQtJson::roundTripGenerated()
{
    QRandomGenerator rng(20261206);
    for (int i = 0; i < 2000; ++i) {
        const QVariant value = randomValue(rng, 0);
        bool ok = false;
        const QByteArray text = QtJson::serialize(value, ok);
        QVERIFY(ok);
        QVERIFY2(!text.contains('\n'), text.constData()); // one message, one line
        const QVariant back = QtJson::parse(QString::fromUtf8(text), ok);
        QVERIFY2(ok, text.constData());
        // Serialising the parsed value must reproduce the same bytes.
        QCOMPARE(QtJson::serialize(back), text);
    }
}

void TestQtJson::deepNestingIsAnErrorNotACrash()
{
    bool ok = true;
    QtJson::parse(QString(60000, QLatin1Char('[')), ok);
    QVERIFY(!ok);
    ok = true;
    QString objects;
    for (int i = 0; i < 20000; ++i)
        objects += QStringLiteral("{\"a\":");
    QtJson::parse(objects, ok);
    QVERIFY(!ok);

    // Nesting up to the limit still parses.
    const int depth = QtJson::MaxNestingDepth;
    const QString fine = QString(depth, QLatin1Char('[')) + QString(depth, QLatin1Char(']'));
    QtJson::parse(fine, ok);
    QVERIFY(ok);
    const QString tooDeep = QString(depth + 1, QLatin1Char('[')) + QString(depth + 1, QLatin1Char(']'));
    QtJson::parse(tooDeep, ok);
    QVERIFY(!ok);
}

void TestQtJson::hostileBytes()
{
    // Invalid UTF-8 becomes replacement characters: still a clean parse, never a crash.
    bool ok = false;
    JsonObject map = QtJson::parseObject(QByteArray("{\"name\":\"\xff\xfe\xc3\"}"), &ok);
    QVERIFY(ok);
    QVERIFY(map.contains("name"));
    QVERIFY(!map.value("name").toString().isEmpty());

    // NUL bytes inside strings are kept, and a NUL outside a string is no token.
    map = QtJson::parseObject(QByteArray("{\"a\":\"x\0y\"}", 11), &ok);
    QVERIFY(ok);
    QCOMPARE(map.value("a").toString(), QString::fromLatin1("x\0y", 3));
    QtJson::parseObject(QByteArray("{\"a\":\0}", 7), &ok);
    QVERIFY(!ok);

    // Truncations of a real message at every length: no crash, never a half object.
    const QByteArray message = "{ \"file_list\" : [ { \"file_name\" : \"a\\u00e9\", \"file_size\" : 10 } ], "
                               "\"finished\" : true, \"result\" : \"ok\" }";
    for (int n = 0; n < message.size(); ++n) {
        const JsonObject partial = QtJson::parseObject(message.left(n), &ok);
        QVERIFY2(!ok, message.left(n).constData());
        QVERIFY(partial.isEmpty());
    }
    QCOMPARE(QtJson::parseObject(message, &ok).value("finished"), QVariant(true));
    QVERIFY(ok);
}

void TestQtJson::replaysFuzzCorpus()
{
    const QDir corpus(QStringLiteral(QUORVEL_FUZZ_CORPUS));
    const QStringList files = corpus.entryList(QDir::Files);
    QVERIFY2(files.size() >= 5, "the seed corpus is missing");
    for (const QString& name : files) {
        QFile file(corpus.filePath(name));
        QVERIFY(file.open(QIODevice::ReadOnly));
        bool ok = false;
        const QVariant value = QtJson::parse(QString::fromUtf8(file.readAll()), ok);
        if (ok)
            QtJson::serialize(value, ok);
    }
}

QTEST_GUILESS_MAIN(TestQtJson)
#include "tst_qtjson.moc"
