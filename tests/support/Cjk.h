#pragma once

#include <QRegularExpression>
#include <QString>

// Whether a text holds Chinese (CJK) characters: how the tests tell the window's two
// languages apart.
inline bool hasCjk(const QString& text)
{
    static const QRegularExpression cjk(QStringLiteral("[\\x{3000}-\\x{303f}\\x{3400}-\\x{4dbf}\\x{4e00}-\\x{9fff}"
                                                       "\\x{f900}-\\x{faff}\\x{ff00}-\\x{ffef}]"));
    return text.contains(cjk);
}
