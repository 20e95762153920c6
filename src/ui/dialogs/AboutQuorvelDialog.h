#pragma once

#include <QDialog>

namespace Ui {
class AboutQuorvelDialog;
}

// The about box: logo, name with version and when this copy was built. The window keeps
// one and shows it again.
class AboutQuorvelDialog : public QDialog {
    Q_OBJECT
public:
    explicit AboutQuorvelDialog(QWidget* parent = nullptr);
    ~AboutQuorvelDialog() override;

    // "yyyy.MM.dd" of the compiler's date text ("Dec  7 2026"); an unknown month is 00.
    static QString buildDate(const char* compilerDate);

protected:
    void changeEvent(QEvent* event) override;

private:
    void setTexts();

    Ui::AboutQuorvelDialog* ui;
};
