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
    row("dotless double output stays text", "-8e+22", true, "-8e+22");
    row("double that is written without a dot", "[-8.E22, 0.5]", true, JsonArray{-8e22, 0.5});
    row("huge positive stays text", "99999999999999999999", true, "99999999999999999999");
    row("plus cannot start", "+1", false, none);
    row("dot cannot start", ".5", false, none);
    row("true", " true", true, true);
    row("false", "false", true, false);
    row("True is no literal", "True", false, none);
    row("null literal", "null", true, none);
    row("unicode escape", "\"\\u00e9\"", true, QString(QChar(0xe9)));
    row("surrogate pair", "\"\\ud83d\\ude00\"", true, QString::fromUtf8("\xF0\x9F\x98\x80"));
    // A surrogate escape without its partner reads as U+FFFD, in a value or in a key, so
    // it writes back as it was read and keys keep their order.
    const QChar bad(QChar::ReplacementCharacter);
    row("lone high surrogate", "\"a\\ud83dz\"", true, QString("a") + bad + "z");
    row("lone high surrogate at end", "\"\\ud83d\"", true, QString(bad));
    row("lone low surrogate", "\"\\ude00b\"", true, bad + QString("b"));
    row("high before a non-surrogate", "\"\\ud83d\\u0041\"", true, bad + QString("A"));
    row("reversed pair", "\"\\ude00\\ud83d\"", true, QString(2, bad));
    row("high, then a pair", "\"\\ud83d\\ud83d\\ude00\"", true, bad + QString::fromUtf8("\xF0\x9F\x98\x80"));
    row("lone surrogates in keys", "{\"\\ud83d\":1,\"a\":2,\"\\udc00x\":[\"\\udbff\"]}", true,
        JsonObject{{QString(bad), 1u}, {"a", 2u}, {bad + QString("x"), JsonArray{QString(bad)}}});
    row("non-hex escape is U+0000", "\"\\uzz12\"", true, QString(QChar(0)));
    row("short unicode escape fails", "\"\\u12", false, none);
    row("unknown escape dropped", "\"\\x\"", true, QString(""));
    row("simple escapes", "\"\\\"\\\\\\/\\b\\f\\n\\r\\t\"", true, QString("\"\\/\b\f\n\r\t"));
    row("raw control kept", "\"a\x01z\"", true, QString("a\x01z"));
    row("raw NUL kept", QByteArray("\"x\0y\"", 5), true, QString::fromLatin1("x\0y", 3));
    row("escaped NUL", "[\"a\\u0000b\", \"c\"]", true, JsonArray{QString::fromLatin1("a\0b", 3), "c"});
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
    // The parser is recursive and runs on pool threads: deep nesting is refused.
    QVariant nested = JsonArray();
    for (int depth = 1; depth < QtJson::MaxNestingDepth; ++depth)
        nested = JsonArray{nested};
    const QByteArray limit = QByteArray(QtJson::MaxNestingDepth, '[') + QByteArray(QtJson::MaxNestingDepth, ']');
    row("nesting to the limit", limit, true, nested);
    row("nesting past the limit", "[" + limit + "]", false, JsonArray());
    row("60000 lists", QByteArray(60000, '['), false, JsonArray());
    row("20000 objects", QByteArray("{\"a\":").repeated(20000), false, JsonObject());
    // A message cut anywhere never half-parses.
    const QByteArray message = "{ \"file_list\" : [ { \"file_name\" : \"a\\u00e9\", \"file_size\" : 10 } ], "
                               "\"finished\" : true, \"result\" : \"ok\" }";
    for (int n = 1; n < message.size(); ++n)
        row(qPrintable(QStringLiteral("cut after %1 bytes").arg(n)), message.left(n), false, JsonObject());
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
    const QByteArray why = QtJsonRoundTrip::violation(text);
    QVERIFY2(why.isEmpty(), why.toPercentEncoding(" :\"{}[],").constData());
}

void TestQtJson::serialize_data()
{
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<QByteArray>("text"); // null: fails
    const auto row
        = [](const char* name, const QVariant& value, const QByteArray& text) { QTest::newRow(name) << value << text; };
    row("invalid", QVariant(), "null");
    row("empty map", JsonObject(), "{  }");
    row("empty list", JsonArray(), "[  ]");
    row("map and list", JsonObject{{"b", true}, {"a", JsonArray{1, "x"}}}, "{ \"a\" : [ 1, \"x\" ], \"b\" : true }");
    row("keys sorted", JsonObject{{"type", "get_auth"}, {"port", 8000}},
        "{ \"port\" : 8000, \"type\" : \"get_auth\" }");
    row("string list", QStringList{"file_upload", "Vantrope : 8000"}, "[ \"file_upload\", \"Vantrope : 8000\" ]");
    row("escapes", QString("a\\b\"c\b\f\n\r\t/\x01"), "\"a\\\\b\\\"c\\b\\f\\n\\r\\t/\x01\"");
    row("NUL raw", QString::fromLatin1("a\0b", 3), QByteArray("\"a\0b\"", 5));
    row("utf8 raw", QString::fromUtf8("密码错误"), "\"\xE5\xAF\x86\xE7\xA0\x81\xE9\x94\x99\xE8\xAF\xAF\"");
    row("lone surrogate written as U+FFFD", JsonObject{{QString(QChar(0xdc00)), QString(QChar(0xd83d))}},
        "{ \"\xEF\xBF\xBD\" : \"\xEF\xBF\xBD\" }");
    row("double 3", 3.0, "3.0");
    row("double half", 0.5, "0.5");
    row("double 1e25, 20 digits", 1e25, "1.0000000000000000906e+25");
    row("double without dot", -8e22, "-8e+22");
    row("nan fails", std::nan(""), QByteArray());
    row("inf fails", HUGE_VAL, QByteArray());
    row("nan inside map fails", JsonObject{{"a", std::nan("")}}, QByteArray());
    row("nan inside list fails", JsonArray{1, std::nan("")}, QByteArray());
    row("bool", false, "false");
    row("u64", Q_UINT64_C(18446744073709551615), "18446744073709551615");
    row("i64", Q_INT64_C(-9223372036854775807), "-9223372036854775807");
    row("uint", 4294967295u, "4294967295");
    row("byte array as string", QByteArray("ab"), "\"ab\"");
    row("hash", QVariantHash{{"k", 1}}, "{ \"k\" : 1 }");
    row("unconvertible fails", QPoint(1, 2), QByteArray());
}

void TestQtJson::serialize()
{
    QFETCH(QVariant, value);
    QFETCH(QByteArray, text);
    bool ok = text.isNull();
    QCOMPARE(QtJson::serialize(value, ok), text);
    QCOMPARE(ok, !text.isNull());
    // What is written reads back as the same value (a dotless double as its text).
    if (ok)
        QCOMPARE(QtJson::serialize(QtJson::parseUtf8(text, ok)), QtJson::serialize(QtJsonRoundTrip::asReadBack(value)));
}

QTEST_GUILESS_MAIN(TestQtJson)
#include "tst_qtjson.moc"
