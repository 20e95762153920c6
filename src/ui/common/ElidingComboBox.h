#pragma once

#include <QComboBox>

// A combo box that shows a long current entry shortened with "…" rather than cut at its
// edge; the list it opens and the tooltip give the whole text.
class ElidingComboBox : public QComboBox {
    Q_OBJECT
public:
    explicit ElidingComboBox(QWidget* parent = nullptr);

    // The text as drawn in the box now.
    QString shownText() const;

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    int textWidth() const;
};
