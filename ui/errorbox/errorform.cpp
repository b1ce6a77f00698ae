#include "ui/errorbox/errorform.h"

#include "ui_errorform.h"

#include <QStyle>

TErrorForm::TErrorForm(QWidget* parent) : QDialog(parent), ui(std::make_unique<Ui::TErrorForm>()) {
    ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setFixedSize(size());
    ui->iconLabel->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxCritical).pixmap(32, 32));
    connect(ui->okButton, &QPushButton::clicked, this, &QDialog::accept);
}

TErrorForm::~TErrorForm() = default;

void TErrorForm::ShowError(const QString& text) {
    ui->textLabel->setText(text);
    ui->textLabel->adjustSize();
    exec();
}
