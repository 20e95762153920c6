#include <QDir>
#include <QRandomGenerator>
#include <QtTest>
#include <cmath>

#include "QtJsonRoundTrip.h"
#include "json/QtJson.h"

using QtJson::JsonArray;
using QtJson::JsonObject;

class TestQtJson : public QObject {
    Q_OBJECT
private slots:
    void parse_data();
    void parse();
    void serialize_data();
    void serialize();
    void roundTrip_data();
    void roundTrip();
    void roundTripGenerated();
    void deepNestingIsAnErrorNotACrash();
    void truncatedMessageNeverHalfParses();
};

void TestQtJson::parse_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<bool>("success");
    QTest::addColumn<QVariant>("value"); // its type counts too; invalid: no value

    const auto row = [](const char* name, const QByteArray& text, bool success, const QVariant& value) {
        QTest::newRow(name) << text << success << value;
    };
    const QVariant none;
    row("null text", QByteArray(), true, none);
    row("empty text fails", "", false, none);
    row("only spaces fail", " \t\r\n", false, none);
    row("int", "-5", true, -5);
    row("uint", "4294967295", true, 4294967295u);
    row("u64", "4294967296", true, Q_UINT64_C(4294967296));
    row("i64", "-2147483649", true, Q_INT64_C(-2147483649));
    row("double", "1.5", true, 1.5);
    row("bad double is zero", "1.2.3", true, 0.0);
    row("exponent stays text", "2E3", true, "2E3");
    row("1e5 stays text", "1e5", true, "1e5");
    row("1-2 stays text", "1-2", true, "1-2");
    row("dotless double output stays text", "-8e+22", true, "-8e+22");
    row("huge negative stays text", "-99999999999999999999", true, "-99999999999999999999");
    row("huge positive stays text", "99999999999999999999", true, "99999999999999999999");
    row("plus cannot start", "+1", false, none);
    row("dot cannot start", ".5", false, none);
    row("true", " true", true, true);
    row("false", "false", true, false);
    row("True is no literal", "True", false, none);
    row("null literal", "null", true, none);
    row("unicode escape", "\"\\u00e9\"", true, QString(QChar(0xe9)));
    row("surrogate pair", "\"\\ud83d\\ude00\"", true, QString::fromUtf8("\xF0\x9F\x98\x80"));
    row("non-hex escape is U+0000", "\"\\uzz12\"", true, QString(QChar(0)));
    row("short unicode escape fails", "\"\\u12", false, none);
    row("unknown escape dropped", "\"\\x\"", true, QString(""));
    row("simple escapes", "\"\\\"\\\\\\/\\b\\f\\n\\r\\t\"", true, QString("\"\\/\b\f\n\r\t"));
    row("raw control kept", "\"a\x01z\"", true, QString("a\x01z"));
    row("raw NUL kept", QByteArray("\"x\0y\"", 5), true, QString::fromLatin1("x\0y", 3));
    row("NUL outside a string is no token", QByteArray("{\"a\":\0}", 7), false, JsonObject());
    row("invalid UTF-8 is replaced", "\"\xff\xfe\xc3\"", true, QString(3, QChar(0xfffd)));
    row("unterminated string", "\"abc", false, none);
    row("backslash at end", "\"abc\\", false, none);
    row("garbage", "hello", false, none);
    row("empty object", "{}", true, JsonObject());
    row("commas optional", "{\"a\":1 \"b\":2}", true, JsonObject{{"a", 1u}, {"b", 2u}});
    row("commas repeat", "[1,,2,]", true, JsonArray{1u, 2u});
    row("trailing text ignored", "{\"a\":1}trailing", true, JsonObject{{"a", 1u}});
    row("later duplicate wins", "{,\"a\":1,,\"a\":2,}", true, JsonObject{{"a", 2u}});
    row("value expected", "{\"a\":}", false, JsonObject());
    row("colon expected", "{\"a\" 1}", false, JsonObject());
    row("unclosed list is empty", "[1, 2", false, JsonArray());
    row("nested error empties all", "{\"a\":[1,{\"b\":x}]}", false, JsonObject());
    // The member-name reader skips one character as the quote, whatever it is; a
    // character that starts no token at all is an error.
    row("any opening quote", "{1key\":1}", true, JsonObject{{"key", 1u}});
    row("no token for a name", "{xkey\":1}", false, JsonObject());
}

void TestQtJson::parse()
{
    QFETCH(QByteArray, text);
    QFETCH(bool, success);
    QFETCH(QVariant, value);
    bool ok = !success;
    const QVariant result = QtJson::parseUtf8(text, ok);
    QCOMPARE(ok, success);
    QCOMPARE(result.userType(), value.userType());
    if (value.isValid())
        QCOMPARE(result, value);
    // The datagram view: only an object is a message.
    const JsonObject message = QtJson::parseObject(text, &ok);
    QCOMPARE(ok, success);
    QCOMPARE(message, result.userType() == QMetaType::QVariantMap ? result.toMap() : JsonObject());
}

void TestQtJson::serialize_data()
{
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<QByteArray>("text"); // null: fails

    QTest::newRow("invalid") << QVariant() << QByteArray("null");
    QTest::newRow("empty map") << QVariant(JsonObject()) << QByteArray("{  }");
    QTest::newRow("empty list") << QVariant(JsonArray()) << QByteArray("[  ]");
    QTest::newRow("map and list") << QVariant(JsonObject{{"b", true}, {"a", JsonArray{1, "x"}}})
                                  << QByteArray("{ \"a\" : [ 1, \"x\" ], \"b\" : true }");
    QTest::newRow("keys sorted") << QVariant(JsonObject{{"type", "get_auth"}, {"port", 8000}})
                                 << QByteArray("{ \"port\" : 8000, \"type\" : \"get_auth\" }");
    QTest::newRow("string list") << QVariant(QStringList{"file_upload", "Vantrope : 8000"})
                                 << QByteArray("[ \"file_upload\", \"Vantrope : 8000\" ]");
    QTest::newRow("escapes") << QVariant(QString("a\\b\"c\b\f\n\r\t/\x01"))
                             << QByteArray("\"a\\\\b\\\"c\\b\\f\\n\\r\\t/\x01\"");
    QTest::newRow("NUL raw") << QVariant(QString::fromLatin1("a\0b", 3)) << QByteArray("\"a\0b\"", 5);
    QTest::newRow("utf8 raw") << QVariant(QString::fromUtf8("密码错误"))
                              << QByteArray("\"\xE5\xAF\x86\xE7\xA0\x81\xE9\x94\x99\xE8\xAF\xAF\"");
    QTest::newRow("double 3") << QVariant(3.0) << QByteArray("3.0");
    QTest::newRow("double 100") << QVariant(100.0) << QByteArray("100.0");
    QTest::newRow("double half") << QVariant(0.5) << QByteArray("0.5");
    QTest::newRow("double 1e25, 20 digits") << QVariant(1e25) << QByteArray("1.0000000000000000906e+25");
    QTest::newRow("double without dot") << QVariant(-8e22) << QByteArray("-8e+22");
    QTest::newRow("nan fails") << QVariant(std::nan("")) << QByteArray();
    QTest::newRow("inf fails") << QVariant(HUGE_VAL) << QByteArray();
    QTest::newRow("nan inside map fails") << QVariant(JsonObject{{"a", std::nan("")}}) << QByteArray();
    QTest::newRow("nan inside list fails") << QVariant(JsonArray{1, std::nan("")}) << QByteArray();
    QTest::newRow("bool") << QVariant(false) << QByteArray("false");
    QTest::newRow("u64") << QVariant(Q_UINT64_C(18446744073709551615)) << QByteArray("18446744073709551615");
    QTest::newRow("i64") << QVariant(Q_INT64_C(-9223372036854775807)) << QByteArray("-9223372036854775807");
    QTest::newRow("uint") << QVariant(4294967295u) << QByteArray("4294967295");
    QTest::newRow("byte array as string") << QVariant(QByteArray("ab")) << QByteArray("\"ab\"");
    QTest::newRow("hash") << QVariant(QVariantHash{{"k", 1}}) << QByteArray("{ \"k\" : 1 }");
    QTest::newRow("unconvertible fails") << QVariant(QPoint(1, 2)) << QByteArray();
}

void TestQtJson::serialize()
{
    QFETCH(QVariant, value);
    QFETCH(QByteArray, text);
    bool ok = text.isNull();
    QCOMPARE(QtJson::serialize(value, ok), text);
    QCOMPARE(ok, !text.isNull());
}

// Parse, serialise, parse, serialise gives the same bytes: for the cases below and for
// every file of the fuzz target's seed corpus.
void TestQtJson::roundTrip_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::newRow("escaped NUL") << QByteArray("[\"a\\u0000b\", \"c\"]");
    QTest::newRow("raw NUL") << QByteArray("{\"k\":\"a\0b\",\"l\":1}", 18);
    QTest::newRow("non-hex escape") << QByteArray("{\"k\\uzzzzk\":\"\\u00g1x\"}");
    QTest::newRow("double without dot") << QByteArray("[-8.E22, 1.e22, 0.5]");
    const QDir corpus(QStringLiteral(QUORVEL_FUZZ_CORPUS));
    const QStringList files = corpus.entryList(QDir::Files);
    QVERIFY2(files.size() >= 5, "the seed corpus is missing");
    for (const QString& name : files) {
        QFile file(corpus.filePath(name));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QTest::newRow(qPrintable("corpus " + name)) << file.readAll();
    }
}

void TestQtJson::roundTrip()
{
    QFETCH(QByteArray, text);
    const QByteArray why = QtJsonRoundTrip::violation(text);
    QVERIFY2(why.isEmpty(), why.toPercentEncoding(" :\"{}[],").constData());
}

namespace {
QVariant randomValue(QRandomGenerator& rng, int depth)
{
    switch (rng.bounded(depth > 3 ? 6 : 8)) {
    case 0: return QVariant();
    case 1: return rng.bounded(2) == 1;
    case 2: return int(rng.bounded(-100000, 0));
    case 3: return uint(rng.generate());
    case 4: {
        // Printable ASCII, escapes, CJK, a few controls and NUL.
        static const QString alphabet = QString::fromUtf8("az09 \"\\/\b\f\n\r\t\x01密码é{}[]:,") + QChar(0);
        QString s;
        const int len = rng.bounded(12);
        for (int i = 0; i < len; ++i)
            s += alphabet.at(rng.bounded(alphabet.size()));
        return s;
    }
    case 5: return qulonglong(rng.generate64() | Q_UINT64_C(0x100000000));
    case 6: {
        JsonArray list;
        for (int i = rng.bounded(5); i > 0; --i)
            list.append(randomValue(rng, depth + 1));
        return list;
    }
    default: {
        JsonObject map;
        for (int i = rng.bounded(5); i > 0; --i)
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
        bool ok = false;
        const QByteArray text = QtJson::serialize(randomValue(rng, 0), ok);
        QVERIFY(ok);
        QVERIFY2(!text.contains('\n'), text.constData()); // one message, one line
        const QVariant back = QtJson::parseUtf8(text, ok);
        QVERIFY2(ok, text.toPercentEncoding(" :\"{}[],").constData());
        QCOMPARE(QtJson::serialize(back), text);
    }
}

void TestQtJson::deepNestingIsAnErrorNotACrash()
{
    bool ok = true;
    QtJson::parse(QString(60000, QLatin1Char('[')), ok);
    QVERIFY(!ok);
    QString objects;
    for (int i = 0; i < 20000; ++i)
        objects += QStringLiteral("{\"a\":");
    QtJson::parse(objects, ok);
    QVERIFY(!ok);

    // Nesting up to the limit still parses.
    const int depth = QtJson::MaxNestingDepth;
    QtJson::parse(QString(depth, QLatin1Char('[')) + QString(depth, QLatin1Char(']')), ok);
    QVERIFY(ok);
    QtJson::parse(QString(depth + 1, QLatin1Char('[')) + QString(depth + 1, QLatin1Char(']')), ok);
    QVERIFY(!ok);
}

void TestQtJson::truncatedMessageNeverHalfParses()
{
    const QByteArray message = "{ \"file_list\" : [ { \"file_name\" : \"a\\u00e9\", \"file_size\" : 10 } ], "
                               "\"finished\" : true, \"result\" : \"ok\" }";
    bool ok = true;
    for (int n = 0; n < message.size(); ++n) {
        const JsonObject partial = QtJson::parseObject(message.left(n), &ok);
        QVERIFY2(!ok, message.left(n).constData());
        QVERIFY(partial.isEmpty());
    }
    QCOMPARE(QtJson::parseObject(message, &ok).value("finished"), QVariant(true));
    QVERIFY(ok);
}

QTEST_GUILESS_MAIN(TestQtJson)
#include "tst_qtjson.moc"
