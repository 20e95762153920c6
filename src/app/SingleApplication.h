#pragma once

#include <QApplication>

class QLockFile;
class LocalServer;

// The application object with the single-instance guard: the first start of an installed
// program by a user holds a lock file and listens; a later start of the same program by
// the same user asks it to show its window and ends. Another user's start is that user's
// own first instance.
class SingleApplication : public QApplication {
    Q_OBJECT
public:
    SingleApplication(int& argc, char** argv);
    ~SingleApplication() override;

    bool isPrimary() const { return m_isPrimary; }

    // The program's canonical path (however it was started: relative, absolute, through a
    // link) with every "/", ":", "\" and "." removed, and the user's id after it.
    static QString instanceKey(const QString& canonicalProgramPath, uint userId);

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
