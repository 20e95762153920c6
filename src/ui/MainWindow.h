#pragma once

#include <QWidget>

class LogDialog;

// The client's window. For now it starts the long-lived subsystems that exist and
// shows the title; the device list, menus and panels come with their own work.
class MainWindow : public QWidget {
    Q_OBJECT
public:
    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

    static MainWindow* instance();

public slots:
    void show();

private:
    LogDialog* m_logDialog = nullptr;
};
