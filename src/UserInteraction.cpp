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

UserInteraction* UserInteraction::current()
{
    UserInteraction* installed = g_current.loadAcquire();
    return installed ? installed : &g_fallback;
}

void UserInteraction::install(UserInteraction* implementation)
{
    g_current.storeRelease(implementation);
}
