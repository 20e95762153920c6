#include "ui/dialogs/AboutQuorvelDialog.h"

#include <QEvent>
#include <QPixmap>

#include "ui_AboutQuorvelDialog.h"

AboutQuorvelDialog::AboutQuorvelDialog(QWidget* parent)
    : QDialog(parent)
    , ui(new Ui::AboutQuorvelDialog)
{
    ui->setupUi(this);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    ui->labelLogo->setPixmap(QPixmap(QStringLiteral(":/drawable/logo128.png")));
    setTexts();
    connect(ui->pushButton, &QPushButton::clicked, this, &AboutQuorvelDialog::accept);
}

void AboutQuorvelDialog::setTexts()
{
    ui->labelAppName->setText(tr("Quorvel客户端  ") + QStringLiteral(QUORVEL_VERSION));
    ui->labelBuildTime->setText(tr("编译日期: ") + buildDate(__DATE__) + QLatin1Char(' ') + QLatin1String(__TIME__));
}

void AboutQuorvelDialog::changeEvent(QEvent* event)
{
    // The dialog outlives a change of the language.
    if (event->type() == QEvent::LanguageChange) {
        ui->retranslateUi(this);
        setTexts();
    }
    QDialog::changeEvent(event);
}

AboutQuorvelDialog::~AboutQuorvelDialog()
{
    delete ui;
}

QString AboutQuorvelDialog::buildDate(const char* compilerDate)
{
    static const char* const Months[]
        = {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const QString text = QString::fromLatin1(compilerDate).simplified();
    const QStringList parts = text.split(QLatin1Char(' '));
    int month = 0;
    for (int i = 0; i < 12; ++i) {
        if (parts.value(0) == QLatin1String(Months[i]))
            month = i + 1;
    }
    const int day = parts.value(1).toInt();
    const int year = parts.value(2).toInt();
    return QStringLiteral("%1.%2.%3")
        .arg(year, 4, 10, QLatin1Char('0'))
        .arg(month, 2, 10, QLatin1Char('0'))
        .arg(day, 2, 10, QLatin1Char('0'));
}
