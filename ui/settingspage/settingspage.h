#pragma once

#include "drive/registertable.h"
#include "link/deviceslot.h"

#include <QFileDialog>
#include <QPointer>
#include <QWidget>
#include <array>
#include <memory>

namespace Ui {
class TSettingsPage;
}
class QButtonGroup;
class QLineEdit;
class TMotorDataPage;

// The tab "Nastawy Regulatora": the controller settings in engineering units, their read-back and write, the
// register banks and parameter files.
class TSettingsPage : public QWidget {
    Q_OBJECT

public:
    explicit TSettingsPage(QWidget* parent = nullptr);
    ~TSettingsPage() override;

    // Binds the page to the device it commands; the device window calls it once, at its start.
    void Attach(TDeviceSlot& slot, TMotorDataPage& motorData);

private:
    void BuildRows();
    QFont RowFont() const;
    TSettingTexts FieldTexts() const;
    void ReadBack();
    void WriteToDrive();
    void SendBankLine(bool store);
    void SaveParameters();
    void LoadParameters();
    // The path chosen in a file dialog, or empty when the user cancelled or the page went meanwhile.
    QString ChooseParameterFile(QFileDialog::AcceptMode mode);

    std::unique_ptr<Ui::TSettingsPage> ui;
    std::array<QLineEdit*, SettingCount> FFields{};
    QButtonGroup* FBanks = nullptr;
    QPointer<TDeviceSlot> FSlot;
    QPointer<TMotorDataPage> FMotorData;
    // Where the last parameter file was chosen, so the next dialog opens there.
    QString FParameterDirectory;
};
