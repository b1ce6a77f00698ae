#pragma once

#include "drive/drivemodel.h"

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

// The tab "Nastawy Regulatora": the controller settings in engineering units, their read-back and write, the
// register banks and parameter files. The fields show the session's settings and edit them.
class TSettingsPage : public QWidget {
    Q_OBJECT

public:
    explicit TSettingsPage(QWidget* parent = nullptr);
    ~TSettingsPage() override;

    // Binds the page to the device it commands; the device window calls it once, at its start.
    void Attach(TDriveModel& model);

private:
    void BuildRows();
    QFont RowFont() const;
    void ShowSettings();
    void MarkUnconverted();
    void ReadFromDrive();
    void WriteToDrive();
    void SaveParameters();
    void LoadParameters();
    // The path chosen in a file dialog, or empty when the user cancelled or the page went meanwhile.
    QString ChooseParameterFile(QFileDialog::AcceptMode mode);

    std::unique_ptr<Ui::TSettingsPage> ui;
    std::array<QLineEdit*, SettingCount> FFields{};
    QButtonGroup* FBanks = nullptr;
    QPointer<TDriveModel> FModel;
    // Where the last parameter file was chosen, so the next dialog opens there.
    QString FParameterDirectory;
};
