#pragma once

#include <QApplication>

class QLockFile;
class LocalServer;

// The application object with the single-instance guard: the first start for a launcher
// path holds a lock file and listens; a later start asks it to show its window and ends.
class SingleApplication : public QApplication {
    Q_OBJECT
public:
    SingleApplication(int& argc, char** argv);
    ~SingleApplication() override;

    bool isPrimary() const { return m_isPrimary; }

    // The launcher path with every "/", ":", "\" and "." removed.
    static QString instanceKey(const QString& programPath);

signals:
    void showUp();

public slots:
    void slotShowUp();

private:
    bool m_isPrimary = false;
    QString m_instanceKey;
    QLockFile* m_lockFile = nullptr;
    LocalServer* m_localServer = nullptr;
};
