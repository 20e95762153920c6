#include "ui/dialogs/ShortcutLineEdit.h"

#include <QKeyEvent>
#include <QKeySequence>

ShortcutLineEdit::ShortcutLineEdit(QWidget* parent)
    : QLineEdit(parent)
{
}

QString ShortcutLineEdit::textFor(Qt::KeyboardModifiers modifiers, int key)
{
    // Each modifier is an entry of its own ("Ctrl+, Shift+, F"); dropping the entry
    // separators joins them into one combination.
    int entries[4] = {0, 0, 0, 0};
    int n = 0;
    if (modifiers & Qt::ControlModifier)
        entries[n++] = Qt::CTRL;
    if (modifiers & Qt::ShiftModifier)
        entries[n++] = Qt::SHIFT;
    if (modifiers & Qt::AltModifier)
        entries[n++] = Qt::ALT;
    entries[n] = key;
    const QKeySequence sequence(entries[0], entries[1], entries[2], entries[3]);
    return sequence.toString(QKeySequence::PortableText).remove(QStringLiteral(", "));
}

void ShortcutLineEdit::keyPressEvent(QKeyEvent* event)
{
    setText(textFor(event->modifiers(), event->key()));
    event->accept();
}
