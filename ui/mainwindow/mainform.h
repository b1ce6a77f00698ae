#pragma once

#include "drive/drivemodel.h"
#include "link/deviceslots.h"
#include "transfer/filesend.h"

#include <QMainWindow>
#include <atomic>
#include <memory>

namespace Ui {
class TMainForm;
}
class QLabel;
class TAboutBox;
class TDeviceWindow;
class TErrorForm;
class TFileChoice;
class TPortDialog;
class TSendProgress;

// The frame window: menus, tool bar, status bar and the device windows inside it. It creates the
// parts that arrange the windows, choose files and show a send's progress, wires its actions to
// them and to the commands that open devices, configure them and move files.
class TMainForm : public QMainWindow {
    Q_OBJECT

public:
    // The devices open with the ports of the factory. exitRequested is set when the program is asked
    // to end from outside (a signal); the devices' exchanges then end at their next wait.
    explicit TMainForm(const TPortFactory& ports = MachinePorts(), QWidget* parent = nullptr,
                       const std::atomic<bool>* exitRequested = nullptr);
    ~TMainForm() override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void SetIcons();
    void Wire();
    // Closing, cascading, tiling and listing the device windows.
    void WireWindowCommands();
    // The update rules of the actions; run whenever the application is idle.
    void UpdateActions();
    // The slot of the device window created or activated last, or none.
    TDeviceSlot* CurrentSlot() const;
    // After a modal dialog: the slot it was opened for still has its device, and no exit came.
    bool StillOpen(const TDeviceSlot* slot) const;
    // Opens the device whose index the menu item carries and shows its window.
    void OpenDevice(const QAction* item);
    void CreateDeviceWindow(TDeviceSlot& slot);
    void Configure();
    void SendFile();
    void EndSend(TSendResult result, const QString& device);
    void ReceiveFile();
    void CloseFile();
    // The report of a session file, for which no device need be open.
    void ReportSession();
    void CloseModalDialogs();

    std::unique_ptr<Ui::TMainForm> ui;
    TAboutBox* FAboutBox = nullptr;
    TPortDialog* FPortDialog = nullptr;
    TErrorForm* FErrorForm = nullptr;
    std::unique_ptr<TFileChoice> FFileChoice;
    QLabel* FOpenFailureLabel = nullptr;
    TDeviceSlots* FSlots = nullptr;
    TDriveModels* FModels = nullptr;
    bool FExiting = false;
    TFileSend* FSend = nullptr;
    std::unique_ptr<TSendProgress> FSendProgress;
};
