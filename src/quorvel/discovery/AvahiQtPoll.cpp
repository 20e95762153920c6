#include "quorvel/discovery/AvahiQtPoll.h"

#include <QObject>
#include <QSocketNotifier>
#include <QTimer>
#include <avahi-common/timeval.h>
#include <avahi-common/watch.h>
#include <sys/time.h>

// avahi's opaque handles; the library only ever passes them back to us.
struct AvahiWatch {
    QSocketNotifier* read = nullptr;
    QSocketNotifier* write = nullptr;
    AvahiWatchCallback callback = nullptr;
    void* userdata = nullptr;
    int fd = -1;
    AvahiWatchEvent lastEvents = AvahiWatchEvent(0);
};

struct AvahiTimeout {
    QTimer* timer = nullptr;
    AvahiTimeoutCallback callback = nullptr;
    void* userdata = nullptr;
};

namespace {

void dispatch(AvahiWatch* w, AvahiWatchEvent event)
{
    w->lastEvents = event;
    w->callback(w, w->fd, event, w->userdata);
    // The callback may have freed the watch; nothing may touch it here.
}

void setNotifiers(AvahiWatch* w, AvahiWatchEvent events)
{
    w->read->setEnabled(events & AVAHI_WATCH_IN);
    w->write->setEnabled(events & AVAHI_WATCH_OUT);
}

AvahiWatch* watchNew(const AvahiPoll*, int fd, AvahiWatchEvent events, AvahiWatchCallback callback, void* userdata)
{
    auto* w = new AvahiWatch;
    w->fd = fd;
    w->callback = callback;
    w->userdata = userdata;
    w->read = new QSocketNotifier(fd, QSocketNotifier::Read);
    w->write = new QSocketNotifier(fd, QSocketNotifier::Write);
    QObject::connect(w->read, &QSocketNotifier::activated, [w] { dispatch(w, AVAHI_WATCH_IN); });
    QObject::connect(w->write, &QSocketNotifier::activated, [w] { dispatch(w, AVAHI_WATCH_OUT); });
    setNotifiers(w, events);
    return w;
}

void watchUpdate(AvahiWatch* w, AvahiWatchEvent events)
{
    setNotifiers(w, events);
}

AvahiWatchEvent watchGetEvents(AvahiWatch* w)
{
    return w->lastEvents;
}

void watchFree(AvahiWatch* w)
{
    // May run inside the notifier's own signal: delete the notifiers later.
    w->read->setEnabled(false);
    w->write->setEnabled(false);
    w->read->deleteLater();
    w->write->deleteLater();
    delete w;
}

void armTimeout(AvahiTimeout* t, const struct timeval* tv)
{
    if (!tv) {
        t->timer->stop();
        return;
    }
    const AvahiUsec usec = avahi_age(tv); // negative while tv is in the future
    const qint64 ms = usec >= 0 ? 0 : (-usec + 999) / 1000;
    t->timer->start(int(qMin<qint64>(ms, 0x7fffffff)));
}

AvahiTimeout* timeoutNew(const AvahiPoll*, const struct timeval* tv, AvahiTimeoutCallback callback, void* userdata)
{
    auto* t = new AvahiTimeout;
    t->callback = callback;
    t->userdata = userdata;
    t->timer = new QTimer;
    t->timer->setSingleShot(true);
    QObject::connect(t->timer, &QTimer::timeout, [t] { t->callback(t, t->userdata); });
    armTimeout(t, tv);
    return t;
}

void timeoutUpdate(AvahiTimeout* t, const struct timeval* tv)
{
    armTimeout(t, tv);
}

void timeoutFree(AvahiTimeout* t)
{
    t->timer->stop();
    t->timer->deleteLater();
    delete t;
}

} // namespace

const AvahiPoll* AvahiQtPoll::forCurrentThread()
{
    static thread_local const AvahiPoll poll{
        nullptr, watchNew, watchUpdate, watchGetEvents, watchFree, timeoutNew, timeoutUpdate, timeoutFree};
    return &poll;
}
