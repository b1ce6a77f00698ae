#include "ui/settingspage/settingspage.h"

#include "common/numtext.h"
#include "drive/parameterfile.h"
#include "drive/registertable.h"
#include "ui/deviceview/drivecommands.h"
#include "ui/errorbox/errorbox.h"
#include "ui/filedialog/choosefile.h"
#include "ui_settingspage.h"

#include <QButtonGroup>
#include <QColor>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>

namespace {

constexpr int LabelLeft = 16;
constexpr int FieldLeft = 58;
constexpr int CaptionLeft = 203;
constexpr int FieldWidth = 121;
constexpr int RowHeight = 21;
constexpr std::array<int, SettingCount> FieldTops = {35, 63, 91, 119, 148, 177, 206, 235, 265};
// Room kept before a field and before the Bank group, and the smallest type the rows are shrunk to.
constexpr int Gap = 4;
constexpr qreal SmallestPoints = 6;

// A field whose figure does not convert is tinted, its tooltip saying why.
const QColor UnconvertedTint(255, 214, 214);

const QString ParameterFilter = QStringLiteral("Kelmor parameters (*.kpar)");
const QString ParameterSuffix = QStringLiteral("kpar");

// The object name stem of a row from its table key: "KV" gives kv, "LimitV" limitV, "aj" aj.
QString NameStem(const char* key) {
    const QString k = QString::fromLatin1(key);
    return k == k.toUpper() ? k.toLower() : k.left(1).toLower() + k.mid(1);
}

} // namespace

TSettingsPage::TSettingsPage(QWidget* parent) : QWidget(parent), ui(std::make_unique<Ui::TSettingsPage>()) {
    ui->setupUi(this);
    BuildRows();

    // No bank is chosen until the user picks one; the choice stays after a click.
    FBanks = new QButtonGroup(this);
    const std::array<QAbstractButton*, 4> banks = {ui->bank0Radio, ui->bank1Radio, ui->bank2Radio,
                                                   ui->bank3Radio};
    for (int i = 0; i < int(banks.size()); ++i)
        FBanks->addButton(banks[std::size_t(i)], i);

    connect(ui->readSettingsButton, &QPushButton::clicked, this, &TSettingsPage::ReadFromDrive);
    connect(ui->writeSettingsButton, &QPushButton::clicked, this, &TSettingsPage::WriteToDrive);
    connect(ui->bankStoreButton, &QPushButton::clicked, this, [this] {
        if (FModel)
            RunGuarded([this] { FModel->Parameters().StoreBank(FBanks->checkedId()); });
    });
    connect(ui->bankLoadButton, &QPushButton::clicked, this, [this] {
        if (FModel)
            RunGuarded([this] { FModel->Parameters().LoadBank(FBanks->checkedId()); });
    });
    connect(ui->saveParametersButton, &QPushButton::clicked, this, &TSettingsPage::SaveParameters);
    connect(ui->loadParametersButton, &QPushButton::clicked, this, &TSettingsPage::LoadParameters);
}

TSettingsPage::~TSettingsPage() = default;

void TSettingsPage::Attach(TDriveModel& model) {
    FModel = &model;
    ShowSettings();
    connect(&model.Parameters(), &TParameters::WantedChanged, this, &TSettingsPage::ShowSettings);
    connect(&model, &TDriveModel::MotorDataChanged, this, &TSettingsPage::MarkUnconverted);
    EnableWhileIdle(
        model, {ui->readSettingsButton, ui->writeSettingsButton, ui->bankStoreButton, ui->bankLoadButton});
    // Only what the user types goes into the model: the fields it fills itself do not come back.
    for (int row = 0; row < SettingCount; ++row)
        connect(FFields[std::size_t(row)], &QLineEdit::textEdited, this, [this, row](const QString& text) {
            if (!FModel)
                return;
            FModel->Parameters().Want(TSettingRow(row), TFigure(text));
            // Limit V converts with KV's figure.
            MarkUnconverted();
        });
}

void TSettingsPage::MarkUnconverted() {
    if (!FModel)
        return;
    for (int row = 0; row < SettingCount; ++row) {
        QLineEdit* field = FFields[std::size_t(row)];
        const QString problem = FModel->Parameters().Problem(TSettingRow(row));
        QPalette palette = field->parentWidget()->palette();
        if (!problem.isEmpty())
            palette.setColor(QPalette::Base, UnconvertedTint);
        field->setPalette(palette);
        field->setToolTip(problem);
    }
}

void TSettingsPage::ShowSettings() {
    if (!FModel)
        return;
    for (int row = 0; row < SettingCount; ++row) {
        QLineEdit* field = FFields[std::size_t(row)];
        // Setting the same text again would move the cursor of a field being typed in.
        if (const QString& text = FModel->Parameters().Wanted()[std::size_t(row)].Text();
            field->text() != text)
            field->setText(text);
    }
    MarkUnconverted();
}

QFont TSettingsPage::RowFont() const {
    // The layout was drawn for a narrower font than most platforms' default: the labels and captions
    // get one smaller size at which every label ends before its field and every caption beside the
    // Bank group ends before the group.
    const QRect bank = ui->bankGroup->geometry();
    const auto fits = [&](const QFontMetrics& metrics) {
        for (int row = 0; row < SettingCount; ++row) {
            const TRegisterRow& r = RegisterTable[std::size_t(row)];
            if (metrics.horizontalAdvance(QString::fromUtf8(r.Label)) > FieldLeft - LabelLeft - Gap)
                return false;
            const bool besideBank = FieldTops[std::size_t(row)] <= bank.bottom();
            if (besideBank &&
                metrics.horizontalAdvance(QString::fromUtf8(r.Caption)) > bank.left() - CaptionLeft - Gap)
                return false;
        }
        return true;
    };
    QFont rowFont = font();
    while (rowFont.pointSizeF() > SmallestPoints && !fits(QFontMetrics(rowFont)))
        rowFont.setPointSizeF(rowFont.pointSizeF() - 0.5);
    return rowFont;
}

void TSettingsPage::BuildRows() {
    const QFont rowFont = RowFont();
    for (int row = 0; row < SettingCount; ++row) {
        const TRegisterRow& r = RegisterTable[std::size_t(row)];
        const QString stem = NameStem(r.Key);
        const int top = FieldTops[std::size_t(row)];

        auto* label = new QLabel(QString::fromUtf8(r.Label), this);
        label->setObjectName(stem + QStringLiteral("Label"));
        label->setFont(rowFont);
        label->setGeometry(LabelLeft, top, FieldLeft - LabelLeft, RowHeight);

        auto* field = new QLineEdit(LocalDecimalText(r.DefaultText), this);
        field->setObjectName(stem + QStringLiteral("Edit"));
        field->setGeometry(FieldLeft, top, FieldWidth, RowHeight);
        label->setBuddy(field);
        FFields[std::size_t(row)] = field;

        auto* caption = new QLabel(QString::fromUtf8(r.Caption), this);
        caption->setObjectName(stem + QStringLiteral("Caption"));
        caption->setFont(rowFont);
        caption->setGeometry(CaptionLeft, top, caption->sizeHint().width(), RowHeight);
    }
    // The fields joined the focus chain after the form's controls; moving "Czytaj" behind the last
    // one makes Tab run through the fields top to bottom and then the buttons.
    setTabOrder(FFields.back(), ui->readSettingsButton);
}

void TSettingsPage::ReadFromDrive() {
    if (FModel)
        RunGuarded([this] { FModel->Parameters().Read(); });
}

void TSettingsPage::WriteToDrive() {
    if (FModel)
        RunGuarded([this] { FModel->Parameters().Write(); });
}

QString TSettingsPage::ChooseParameterFile(QFileDialog::AcceptMode mode) {
    return ChooseFile(this,
                      mode == QFileDialog::AcceptSave ? QStringLiteral("Zapisz parametry")
                                                      : QStringLiteral("Wczytaj parametry"),
                      mode, ParameterFilter, ParameterSuffix, &FParameterDirectory);
}

void TSettingsPage::SaveParameters() {
    const QString path = ChooseParameterFile(QFileDialog::AcceptSave);
    if (path.isEmpty() || !FModel)
        return;
    RunGuarded([&] {
        SaveParameterFile(path, TParameterSet{FModel->Parameters().Wanted(), FModel->MotorData()});
    });
}

void TSettingsPage::LoadParameters() {
    const QString path = ChooseParameterFile(QFileDialog::AcceptOpen);
    if (path.isEmpty() || !FModel)
        return;
    RunGuarded([&] {
        // A file that is not one of ours, or is damaged, throws before any field changes.
        const TParameterSet parameters = LoadParameterFile(path);
        FModel->Parameters().WantAll(parameters.Settings);
        FModel->SetMotorData(parameters.Motor);
    });
}
