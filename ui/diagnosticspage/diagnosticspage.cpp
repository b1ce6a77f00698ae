#include "ui/diagnosticspage/diagnosticspage.h"

#include "ui/deviceview/drivecommands.h"
#include "ui/errorbox/errorbox.h"
#include "ui_diagnosticspage.h"

#include <QSignalBlocker>
#include <utility>

namespace {

// The drive's set-point is five times the slider's percentage: -100 % .. 100 % is -500 .. 500.
constexpr int SetPointPerPercent = 5;

} // namespace

TDiagnosticsPage::TDiagnosticsPage(QWidget* parent)
    : QWidget(parent), ui(std::make_unique<Ui::TDiagnosticsPage>()) {
    ui->setupUi(this);
    for (QLabel* label : {ui->setPointLabel, ui->percentLabel}) {
        QPalette palette = label->palette();
        palette.setColor(QPalette::WindowText, QColor(0, 0, 128));
        label->setPalette(palette);
    }
    // The ids are the digits of the mode line.
    FModes.addButton(ui->voltageModeButton, 0);
    FModes.addButton(ui->torqueModeButton, 1);
    FModes.addButton(ui->speedModeButton, 2);
    FModes.addButton(ui->positionModeButton, 3);
    // A change of mode is sent; so is a click on the mode shown while the drive's is not known to be it,
    // as at the start, when "Droga" shows and nothing was sent.
    connect(&FModes, &QButtonGroup::idToggled, this, [this](int mode, bool checked) {
        if (checked) {
            FToggled = true;
            ChangeMode(mode);
        }
    });
    connect(&FModes, &QButtonGroup::idClicked, this, [this](int mode) {
        if (!std::exchange(FToggled, false) && FModel && FModel->Mode() != mode)
            ChangeMode(mode);
    });
    // Every change of the slider, by mouse, wheel, keyboard or program, sends its set-point.
    connect(ui->setPointSlider, &QScrollBar::valueChanged, this, &TDiagnosticsPage::SendSetPoint);
    connect(ui->identifyButton, &QPushButton::clicked, this, [this] {
        if (FModel)
            RunGuarded([this] { FModel->Motion().Identify(); });
    });
    connect(ui->positionButton, &QPushButton::clicked, this, [this] {
        if (FModel)
            RunGuarded([this] { FModel->Motion().ShowPosition(); });
    });
}

TDiagnosticsPage::~TDiagnosticsPage() = default;

void TDiagnosticsPage::Attach(TDriveModel& model) {
    FModel = &model;
    EnableWhileIdle(model, {ui->modeGroup, ui->setPointSlider, ui->identifyButton, ui->positionButton});
    connect(&model, &TDriveModel::ModeChanged, this, &TDiagnosticsPage::ShowMode);
    ShowMode();
}

void TDiagnosticsPage::ShowMode() {
    if (!FModel || !FModel->Mode())
        return;
    if (QAbstractButton* button = FModes.button(*FModel->Mode()); button && !button->isChecked()) {
        const QSignalBlocker quiet(FModes);
        button->setChecked(true);
    }
}

QString TDiagnosticsPage::ReturnToZero() {
    const int slider = ui->setPointSlider->value();
    // A set-point sent, a step's sample count or one not known: the drive may not hold 0.
    const bool mayMove = FModel && FModel->SetPointMayMove();
    if (slider == 0 && !mayMove)
        return {};
    const QSignalBlocker quiet(ui->setPointSlider);
    ui->setPointSlider->setValue(0);
    ui->setPointLabel->setText(QStringLiteral("0"));
    // The window is closing: no box holds the close up, but a set-point that stays is said.
    QString why = FModel ? FModel->Refusal() : TDeviceSlot::ClosedText();
    if (why.isEmpty())
        try {
            FModel->Motion().SetSetPoint(0);
        } catch (const EKelmorError& error) {
            why = error.Message();
        }
    return why.isEmpty() ? QString() : QStringLiteral("The set-point was not brought back to 0: %1").arg(why);
}

void TDiagnosticsPage::ChangeMode(int mode) {
    if (!FModel)
        return;
    RunGuarded([&] {
        // The slider stays where it is when the mode cannot go out.
        if (const QString refusal = FModel->Refusal(); !refusal.isEmpty())
            throw EKelmorError(refusal);
        // The new mode must not start with the old mode's set-point.
        ui->setPointSlider->setValue(0);
        FModel->Motion().SetMode(mode);
    });
}

void TDiagnosticsPage::SendSetPoint(int position) {
    ui->setPointLabel->setText(QString::number(position));
    if (FModel)
        RunGuarded([&] { FModel->Motion().SetSetPoint(SetPointPerPercent * position); });
}
