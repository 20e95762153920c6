#pragma once

#include <QObject>

// The progress indicator of the application's launcher entry, as the window's panels
// mirror a long-running state in it. On this desktop it is the Unity launcher entry:
// each change is one "Update" signal of com.canonical.Unity.LauncherEntry on the session
// bus, carrying the whole state. Without a session bus it does nothing.
class TaskbarProgress : public QObject {
    Q_OBJECT
public:
    enum class State { Normal, Paused, Stopped };
    static constexpr const char* AppUri = "application://quorvel.desktop";
    static constexpr const char* ObjectPath = "/com/canonical/unity/launcherentry/quorvel";

    explicit TaskbarProgress(QObject* parent = nullptr);

    bool isVisible() const { return m_visible; }
    State state() const { return m_state; }

    void setVisible(bool visible);
    void show() { setVisible(true); }
    void hide() { setVisible(false); }
    void resume() { setState(State::Normal); }
    void pause() { setState(State::Paused); }
    void stop() { setState(State::Stopped); }

private:
    void setState(State state);
    void publish();

    bool m_visible = false;
    State m_state = State::Normal;
};
