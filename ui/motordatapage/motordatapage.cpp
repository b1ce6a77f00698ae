#include "ui/motordatapage/motordatapage.h"

#include "ui_motordatapage.h"

#include <QLineEdit>

TMotorDataPage::TMotorDataPage(QWidget* parent)
    : QWidget(parent), ui(std::make_unique<Ui::TMotorDataPage>()) {
    ui->setupUi(this);
    // Each edit is named after its field's key: RatedVoltage has ratedVoltageEdit.
    for (int i = 0; i < MotorFieldCount; ++i) {
        const QString key = QString::fromLatin1(MotorFieldTable[std::size_t(i)].Key);
        FFields[std::size_t(i)] =
            findChild<QLineEdit*>(key.left(1).toLower() + key.mid(1) + QStringLiteral("Edit"));
        Q_ASSERT(FFields[std::size_t(i)]);
    }
}

TMotorDataPage::~TMotorDataPage() = default;

void TMotorDataPage::Attach(TDriveModel& model) {
    FModel = &model;
    ShowMotorData();
    connect(&model, &TDriveModel::MotorDataChanged, this, &TMotorDataPage::ShowMotorData);
    for (int i = 0; i < MotorFieldCount; ++i)
        connect(FFields[std::size_t(i)], &QLineEdit::textChanged, this, [this, i](const QString& text) {
            if (FModel)
                FModel->SetMotorNumber(MotorFieldTable[std::size_t(i)], TFigure(text));
        });
}

void TMotorDataPage::ShowMotorData() {
    if (!FModel)
        return;
    for (int i = 0; i < MotorFieldCount; ++i) {
        QLineEdit* field = FFields[std::size_t(i)];
        // Setting the same text again would move the cursor of a field being typed in.
        if (const QString& text = (FModel->MotorData().*MotorFieldTable[std::size_t(i)].Number).Text();
            field->text() != text)
            field->setText(text);
    }
}
