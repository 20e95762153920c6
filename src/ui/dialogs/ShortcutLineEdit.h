#pragma once

#include <QLineEdit>

// A field that records a key combination: its text is the last combination pressed in
// it, in the portable form the settings store ("Ctrl+Shift+F", "F11").
class ShortcutLineEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit ShortcutLineEdit(QWidget* parent = nullptr);

    static QString textFor(Qt::KeyboardModifiers modifiers, int key);

protected:
    void keyPressEvent(QKeyEvent* event) override;
};
