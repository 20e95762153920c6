#include "UserInteraction.h"

#include <QAtomicPointer>
#include <QDebug>

namespace {
class LoggingInteraction : public UserInteraction {
public:
    void warning(const QString& title, const QString& text) override
    {
        qWarning("[W][%s] %s: %s", "UserInteraction", qUtf8Printable(title), qUtf8Printable(text));
    }
};

LoggingInteraction g_fallback;
QAtomicPointer<UserInteraction> g_current;
} // namespace

UserInteraction::~UserInteraction() = default;

void UserInteraction::askAcceptOffer(const ServerContent&, const QString& fileName, std::function<void(bool)> answer)
{
    qWarning("[W][%s] Declined \"%s\": nobody to ask.", "UserInteraction", qUtf8Printable(fileName));
    answer(false);
}

bool UserInteraction::confirmCast(const QString&)
{
    return false;
}

QString UserInteraction::askCastPassword(const QString&, const QString&, const QString&)
{
    return QString();
}

UserInteraction* UserInteraction::current()
{
    UserInteraction* installed = g_current.loadAcquire();
    return installed ? installed : &g_fallback;
}

void UserInteraction::install(UserInteraction* implementation)
{
    g_current.storeRelease(implementation);
}
