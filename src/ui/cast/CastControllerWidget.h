#pragma once

#include <QWidget>
#include <memory>
#include <optional>

#include "quorvel/protocol/ServerContent.h"
#include "quorvel/tasks/TaskOutcome.h"

namespace Ui {
class CastControllerWidget;
}
class Config;
class CastSession;
class TaskbarProgress;

// The main window's cast panel: whether the selected device takes a cast, and the start,
// pause, resume, aspect-ratio and stop buttons of the application's cast session, whose
// state its pages and the launcher entry's progress indicator mirror. The negotiation,
// its questions and the casting program are the session's; the panel only shows them.
class CastControllerWidget : public QWidget {
    Q_OBJECT
public:
    explicit CastControllerWidget(QWidget* parent = nullptr);
    ~CastControllerWidget() override;

    // The cast it steers and the settings whose shortcut starts one; both outlive the
    // panel. Until then the panel shows its pages and starts nothing.
    void attach(CastSession* session, Config* config);

    // The selected device, or none. During a cast it is only remembered: the pages follow
    // it again when the cast has ended.
    void setServerContent(ServerContent* device);

private slots:
    void onStartButtonClicked();
    void onStopButtonClicked();
    void onPauseButtonClicked();
    void onResumeButtonClicked();
    void onChangeAspectRatioButtonClicked();
    void onVantropeTaskBegin();
    void onVantropeTaskEnd(const TaskOutcome& outcome);
    void onCastServerConnected();
    void onCastConnected();
    void onCastDisconnected();
    void onCastPaused();
    void onCastResumed();
    void onCastShortcutActivated();

private:
    void showIdlePage();

    std::unique_ptr<Ui::CastControllerWidget> ui;
    CastSession* m_session = nullptr;
    // Copies: the window's device list may be rebuilt while a cast runs.
    std::optional<ServerContent> m_currentDevice;
    // The device of the running cast, from the start button's press to the cast's end:
    // the panel is idle exactly when it is empty.
    std::optional<ServerContent> m_castingDevice;
    TaskbarProgress* m_taskbarProgress;
};
