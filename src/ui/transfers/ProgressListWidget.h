#pragma once

#include <QListWidget>
#include <QPointer>
#include <QVector>

// The transfer panel's list of rows, each row a widget. Only the rows in view are placed
// and shown: Qt places every row's widget on each layout, seen or not, and a panel that
// holds a thousand transfers then spent tens of milliseconds per new row.
class ProgressListWidget : public QListWidget {
    Q_OBJECT
public:
    using QListWidget::QListWidget;

    // Puts a row's widget on its item; it shows once its row comes into view.
    void setRowWidget(QListWidgetItem* item, QWidget* widget);

protected:
    void rowsInserted(const QModelIndex& parent, int start, int end) override;
    void updateEditorGeometries() override;
    void scrollContentsBy(int dx, int dy) override;

private:
    bool m_inserting = false;
    QVector<QPointer<QWidget>> m_shown;
};
