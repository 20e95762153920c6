#include "quorvel/tasks/UserNotices.h"

UserNotices* UserNotices::instance()
{
    static UserNotices notices; // thread-safe initialisation; lives until exit
    return &notices;
}
