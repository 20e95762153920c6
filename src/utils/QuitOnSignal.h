#pragma once

#include <QObject>

class QSocketNotifier;

// Ends the event loop cleanly on SIGTERM or SIGINT: the handler only writes the signal's
// number into a pipe, and the loop reads it and quits, so teardown runs on the main
// thread as after any quit. A second signal ends the process the default way.
class QuitOnSignal : public QObject {
    Q_OBJECT
public:
    explicit QuitOnSignal(QObject* parent = nullptr);
    ~QuitOnSignal() override;

private:
    static void onSignal(int signal);
    void restoreDefaults();

    QSocketNotifier* m_notifier = nullptr;
};
