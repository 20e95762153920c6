#include "json/QtJson.h"

#include <QLocale>
#include <QStringList>
#include <cmath>
#include <limits>

namespace QtJson {
namespace {

enum Token {
    TokenNone,
    TokenCurlyOpen,
    TokenCurlyClose,
    TokenSquaredOpen,
    TokenSquaredClose,
    TokenColon,
    TokenComma,
    TokenString,
    TokenNumber,
    TokenTrue,
    TokenFalse,
    TokenNull,
};

// A surrogate without its partner is no character; it reads as U+FFFD, as a UTF-8
// decoder reads a broken sequence, so that what is read is written back unchanged
// (UTF-8 cannot carry a lone surrogate) and keys sort the same after a round trip.
void replaceUnpairedSurrogates(QString& text)
{
    const QChar* d = text.constData();
    const int n = text.size();
    for (int i = 0; i < n; ++i) {
        if (d[i].isHighSurrogate() && i + 1 < n && d[i + 1].isLowSurrogate())
            ++i;
        else if (d[i].isSurrogate()) {
            text[i] = QChar(QChar::ReplacementCharacter); // detaches only here
            d = text.constData();
        }
    }
}

class Parser {
public:
    explicit Parser(const QString& text)
        : m_text(text)
        , m_data(text.constData())
        , m_size(text.size())
    {
    }

    QVariant parseValue(bool& success)
    {
        if (++m_depth > MaxNestingDepth) {
            success = false;
            --m_depth;
            return QVariant();
        }
        QVariant result;
        switch (lookAhead()) {
        case TokenCurlyOpen: result = parseObject(success); break;
        case TokenSquaredOpen: result = parseArray(success); break;
        case TokenString: result = parseString(success); break;
        case TokenNumber: result = parseNumber(); break;
        case TokenTrue:
            nextToken();
            result = true;
            break;
        case TokenFalse:
            nextToken();
            result = false;
            break;
        case TokenNull: nextToken(); break;
        default: success = false; break;
        }
        --m_depth;
        return result;
    }

private:
    void skipWhitespace()
    {
        while (m_pos < m_size) {
            const ushort c = m_data[m_pos].unicode();
            if (c != ' ' && c != '\t' && c != '\n' && c != '\r')
                break;
            ++m_pos;
        }
    }

    bool matchesAt(int pos, const char* word) const
    {
        for (int i = 0; word[i]; ++i) {
            if (pos + i >= m_size || m_data[pos + i].unicode() != ushort(word[i]))
                return false;
        }
        return true;
    }

    Token tokenAt(int pos) const
    {
        if (pos >= m_size)
            return TokenNone;
        const ushort c = m_data[pos].unicode();
        switch (c) {
        case '{': return TokenCurlyOpen;
        case '}': return TokenCurlyClose;
        case '[': return TokenSquaredOpen;
        case ']': return TokenSquaredClose;
        case ',': return TokenComma;
        case '"': return TokenString;
        case ':': return TokenColon;
        default: break;
        }
        if (c == '-' || (c >= '0' && c <= '9'))
            return TokenNumber;
        if (matchesAt(pos, "false"))
            return TokenFalse;
        if (matchesAt(pos, "true"))
            return TokenTrue;
        if (matchesAt(pos, "null"))
            return TokenNull;
        return TokenNone;
    }

    Token lookAhead()
    {
        skipWhitespace();
        return tokenAt(m_pos);
    }

    Token nextToken()
    {
        skipWhitespace();
        const Token t = tokenAt(m_pos);
        switch (t) {
        case TokenTrue: m_pos += 4; break;
        case TokenFalse: m_pos += 5; break;
        case TokenNull: m_pos += 4; break;
        case TokenNone: break;
        default: m_pos += 1; break;
        }
        return t;
    }

    QVariant parseObject(bool& success)
    {
        JsonObject map;
        nextToken(); // '{'
        for (;;) {
            const Token t = lookAhead();
            if (t == TokenNone) {
                success = false;
                return JsonObject();
            }
            if (t == TokenComma) {
                nextToken();
                continue;
            }
            if (t == TokenCurlyClose) {
                nextToken();
                return map;
            }
            const QString name = parseString(success).toString();
            if (!success)
                return JsonObject();
            if (nextToken() != TokenColon) {
                success = false;
                return JsonObject();
            }
            const QVariant value = parseValue(success);
            if (!success)
                return JsonObject();
            map.insert(name, value);
        }
    }

    QVariant parseArray(bool& success)
    {
        JsonArray list;
        nextToken(); // '['
        for (;;) {
            const Token t = lookAhead();
            if (t == TokenNone) {
                success = false;
                return JsonArray();
            }
            if (t == TokenComma) {
                nextToken();
                continue;
            }
            if (t == TokenSquaredClose) {
                nextToken();
                return list;
            }
            const QVariant value = parseValue(success);
            if (!success)
                return JsonArray();
            list.append(value);
        }
    }

    static int hexValue(ushort c)
    {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        if (c >= 'A' && c <= 'F')
            return c - 'A' + 10;
        return -1;
    }

    QVariant parseString(bool& success)
    {
        skipWhitespace();
        ++m_pos; // the opening quote, whatever character stands there
        QString out;
        bool sawSurrogate = false;
        for (;;) {
            if (m_pos >= m_size) {
                success = false;
                return QVariant();
            }
            const QChar c = m_data[m_pos++];
            if (c == QLatin1Char('"')) {
                if (sawSurrogate)
                    replaceUnpairedSurrogates(out);
                return out;
            }
            if (c.isSurrogate())
                sawSurrogate = true;
            if (c != QLatin1Char('\\')) {
                out.append(c);
                continue;
            }
            if (m_pos >= m_size) {
                success = false;
                return QVariant();
            }
            const ushort e = m_data[m_pos++].unicode();
            switch (e) {
            case '"': out.append(QLatin1Char('"')); break;
            case '\\': out.append(QLatin1Char('\\')); break;
            case '/': out.append(QLatin1Char('/')); break;
            case 'b': out.append(QChar(0x08)); break;
            case 'f': out.append(QChar(0x0c)); break;
            case 'n': out.append(QLatin1Char('\n')); break;
            case 'r': out.append(QLatin1Char('\r')); break;
            case 't': out.append(QLatin1Char('\t')); break;
            case 'u': {
                if (m_size - m_pos < 4) {
                    success = false;
                    return QVariant();
                }
                // Any non-hexadecimal digit turns the whole unit into U+0000.
                ushort unit = 0;
                for (int i = 0; i < 4; ++i) {
                    const int h = hexValue(m_data[m_pos + i].unicode());
                    if (h < 0) {
                        unit = 0;
                        break;
                    }
                    unit = ushort((unit << 4) | h);
                }
                m_pos += 4;
                if (QChar::isSurrogate(unit))
                    sawSurrogate = true;
                out.append(QChar(unit));
                break;
            }
            default: break; // unknown escape: both characters are dropped
            }
        }
    }

    QVariant parseNumber()
    {
        skipWhitespace();
        const int start = m_pos;
        while (m_pos < m_size) {
            const ushort c = m_data[m_pos].unicode();
            if (!((c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.' || c == 'e' || c == 'E'))
                break;
            ++m_pos;
        }
        const QString run = m_text.mid(start, m_pos - start);
        bool ok = false;
        if (run.contains(QLatin1Char('.'))) {
            const double d = run.toDouble(&ok);
            return ok ? d : 0.0;
        }
        if (run.startsWith(QLatin1Char('-'))) {
            const int i = run.toInt(&ok);
            if (ok)
                return i;
            const qlonglong ll = run.toLongLong(&ok);
            if (ok)
                return ll;
            return run;
        }
        const uint u = run.toUInt(&ok);
        if (ok)
            return u;
        const qulonglong ull = run.toULongLong(&ok);
        if (ok)
            return ull;
        return run;
    }

    const QString& m_text;
    const QChar* m_data;
    int m_size;
    int m_pos = 0;
    int m_depth = 0;
};

QByteArray escapedString(const QString& text)
{
    QString s = text;
    replaceUnpairedSurrogates(s); // written as U+FFFD, as it would read back
    s.replace(QLatin1String("\\"), QLatin1String("\\\\"));
    s.replace(QLatin1String("\""), QLatin1String("\\\""));
    s.replace(QChar(0x08), QLatin1String("\\b"));
    s.replace(QChar(0x0c), QLatin1String("\\f"));
    s.replace(QLatin1String("\n"), QLatin1String("\\n"));
    s.replace(QLatin1String("\r"), QLatin1String("\\r"));
    s.replace(QLatin1String("\t"), QLatin1String("\\t"));
    QByteArray out;
    out.reserve(s.size() + 2);
    out.append('"');
    out.append(s.toUtf8());
    out.append('"');
    return out;
}

template <typename Map> QByteArray serializeMap(const Map& map, bool& success)
{
    QByteArray out("{ ");
    bool first = true;
    for (auto it = map.constBegin(); it != map.constEnd(); ++it) {
        const QByteArray value = serialize(it.value(), success);
        if (!success || value.isNull()) {
            success = false;
            return QByteArray();
        }
        if (!first)
            out.append(", ");
        first = false;
        out.append(escapedString(it.key()));
        out.append(" : ");
        out.append(value);
    }
    out.append(" }");
    return out;
}

} // namespace

QVariant parse(const QString& json, bool& success)
{
    success = true;
    if (json.isNull())
        return QVariant();
    Parser parser(json);
    return parser.parseValue(success);
}

QByteArray serialize(const QVariant& data)
{
    bool success = true;
    return serialize(data, success);
}

QByteArray serialize(const QVariant& data, bool& success)
{
    success = true;
    if (!data.isValid())
        return QByteArrayLiteral("null");

    const int type = data.userType();
    if (type == QMetaType::QVariantList || type == QMetaType::QStringList) {
        const QVariantList list = data.toList();
        QByteArray out("[ ");
        bool first = true;
        for (const QVariant& v : list) {
            const QByteArray element = serialize(v);
            if (element.isNull()) {
                success = false;
                return QByteArray();
            }
            if (!first)
                out.append(", ");
            first = false;
            out.append(element);
        }
        out.append(" ]");
        return out;
    }
    if (type == QMetaType::QVariantHash)
        return serializeMap(data.toHash(), success);
    if (type == QMetaType::QVariantMap)
        return serializeMap(data.toMap(), success);
    if (type == QMetaType::QString || type == QMetaType::QByteArray)
        return escapedString(data.toString());
    if (type == QMetaType::Double || type == QMetaType::Float) {
        const double d = data.toDouble();
        if (!std::isfinite(d)) {
            success = false;
            return QByteArray();
        }
        QByteArray out = QByteArray::number(d, 'g', 20);
        if (!out.contains('.') && !out.contains('e'))
            out.append(".0");
        return out;
    }
    if (type == QMetaType::Bool)
        return data.toBool() ? QByteArrayLiteral("true") : QByteArrayLiteral("false");
    if (type == QMetaType::ULongLong)
        return QByteArray::number(data.toULongLong());
    if (data.canConvert(QMetaType::LongLong))
        return QByteArray::number(data.toLongLong());
    if (data.canConvert(QMetaType::Long))
        return QByteArray::number(qlonglong(data.value<long>()));
    if (data.canConvert(QMetaType::QString))
        return escapedString(data.toString());

    success = false;
    return QByteArray();
}

QVariant parseUtf8(const QByteArray& utf8, bool& success)
{
    // Not QString::fromUtf8(QByteArray): that one stops at the first NUL byte.
    return parse(utf8.isNull() ? QString() : QString::fromUtf8(utf8.constData(), utf8.size()), success);
}

JsonObject parseObject(const QByteArray& utf8, bool* success)
{
    bool ok = true;
    const QVariant value = parseUtf8(utf8, ok);
    if (success)
        *success = ok;
    return value.toMap();
}

} // namespace QtJson
