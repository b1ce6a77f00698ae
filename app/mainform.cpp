#include "app/mainform.h"
#include "app/aboutbox.h"
#include "app/deviceslot.h"
#include "app/errorbox.h"
#include "app/errorform.h"
#include "device/applysettings.h"
#include "device/configform.h"
#include "terminal/mdichild.h"
#include "transfer/capture.h"
#include "transfer/filesend.h"

#include "ui_mainform.h"

#include <QAbstractEventDispatcher>
#include <QCloseEvent>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QProgressDialog>
#include <QStatusBar>
#include <QStyle>

TMainForm::TMainForm(QWidget* parent) : QMainWindow(parent), ui(std::make_unique<Ui::TMainForm>()) {
    ui->setupUi(this);
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setFixedSize(782, 584);
    ui->MdiArea->setBackground(palette().brush(QPalette::Dark));
    statusBar()->setSizeGripEnabled(false);

    for (TDeviceSlot& slot : DeviceSlots) {
        slot.Child = nullptr;
        slot.CaptureFile.reset();
    }
    CurrentSlot = nullptr;

    FAboutBox = new TAboutBox(this);
    FConfigForm = new TConfigForm(this);
    ConfigForm = FConfigForm;
    FErrorForm = new TErrorForm(this);
    // One dialog serves sending and capturing; a capture may go to a file that does not exist yet.
    FOpenDialog = new QFileDialog(this);
    FOpenDialog->setOption(QFileDialog::DontUseNativeDialog);
    FOpenDialog->setFileMode(QFileDialog::AnyFile);
    FOpenDialog->setAcceptMode(QFileDialog::AcceptOpen);
    FOpenDialog->setNameFilter(QStringLiteral("All files (*)"));
    Wire();
    UpdateActions();
}

TMainForm::~TMainForm() {
    if (ConfigForm == FConfigForm)
        ConfigForm = nullptr;
}

QMdiArea* TMainForm::MdiArea() const {
    return ui->MdiArea;
}

void TMainForm::Wire() {
    const auto icon = [this](QStyle::StandardPixmap p) { return style()->standardIcon(p); };
    ui->Dev0OpenAction->setIcon(icon(QStyle::SP_DialogOpenButton));
    ui->ConfigureAction->setIcon(icon(QStyle::SP_FileDialogDetailedView));
    ui->WindowClose1->setIcon(icon(QStyle::SP_DialogCloseButton));
    ui->SendFileAction->setIcon(icon(QStyle::SP_ArrowUp));
    ui->ReceiveFileAction->setIcon(icon(QStyle::SP_ArrowDown));
    ui->CloseFileAction->setIcon(icon(QStyle::SP_DialogSaveButton));
    ui->WindowCascade1->setIcon(icon(QStyle::SP_TitleBarNormalButton));
    ui->WindowTileHorizontal1->setIcon(icon(QStyle::SP_ToolBarVerticalExtensionButton));
    ui->WindowTileVertical1->setIcon(icon(QStyle::SP_ToolBarHorizontalExtensionButton));

    // A menu's hint lives on the action that stands for it in its parent menu or the menu bar.
    for (QMenu* menu : {ui->PortMenu, ui->OpenMenu, ui->WindowMenu, ui->HelpMenu}) {
        menu->menuAction()->setStatusTip(menu->statusTip());
        menu->menuAction()->setToolTip(menu->toolTip());
    }

    connect(ui->Dev0OpenAction, &QAction::triggered, this, &TMainForm::DEV0ItemExecute);
    connect(ui->DEV1Item, &QAction::triggered, this, &TMainForm::DEV1ItemClick);
    connect(ui->ConfigureAction, &QAction::triggered, this, &TMainForm::ConfigureItemClick);
    connect(ui->SendFileAction, &QAction::triggered, this, &TMainForm::SendFileItemClick);
    connect(ui->ReceiveFileAction, &QAction::triggered, this, &TMainForm::ReceiveFileItemClick);
    connect(ui->CloseFileAction, &QAction::triggered, this, &TMainForm::CloseFileItemClick);
    connect(ui->HelpAbout1, &QAction::triggered, this, &TMainForm::HelpAbout1Execute);
    connect(ui->FileExit1, &QAction::triggered, this, &TMainForm::PortExit1Execute);
    connect(ui->WindowClose1, &QAction::triggered, ui->MdiArea, &QMdiArea::closeActiveSubWindow);
    connect(ui->WindowCascade1, &QAction::triggered, ui->MdiArea, &QMdiArea::cascadeSubWindows);
    connect(ui->WindowTileHorizontal1, &QAction::triggered, this, [this] { TileSubWindows(Qt::Horizontal); });
    connect(ui->WindowTileVertical1, &QAction::triggered, this, [this] { TileSubWindows(Qt::Vertical); });
    connect(ui->WindowMinimizeAll1, &QAction::triggered, this, &TMainForm::MinimizeAll);
    connect(ui->WindowArrange1, &QAction::triggered, this, &TMainForm::ArrangeIcons);
    connect(ui->WindowMenu, &QMenu::aboutToShow, this, &TMainForm::FillWindowMenu);
    connect(ui->MdiArea, &QMdiArea::subWindowActivated, this, [](QMdiSubWindow* window) {
        if (auto* child = window ? qobject_cast<TMDIChild*>(window->widget()) : nullptr)
            child->FormActivate();
    });
    if (auto* dispatcher = QAbstractEventDispatcher::instance())
        connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, this, &TMainForm::UpdateActions);
}

void TMainForm::UpdateActions() {
    const bool current = CurrentSlot != nullptr;
    ui->ConfigureAction->setEnabled(current);
    ui->SendFileAction->setEnabled(current);
    ui->ReceiveFileAction->setEnabled(current);
    ui->CloseFileAction->setEnabled(current && CurrentSlot->CaptureFile != nullptr);
    ui->WindowClose1->setEnabled(!DeviceWindows().isEmpty());
}

QList<QMdiSubWindow*> TMainForm::DeviceWindows() const {
    return ui->MdiArea->subWindowList();
}

void TMainForm::DEV0ItemExecute() {
    OpenFromItem(ui->Dev0OpenAction);
}

void TMainForm::DEV1ItemClick() {
    OpenFromItem(ui->DEV1Item);
}

void TMainForm::OpenFromItem(const QAction* item) {
    const QString caption = item->text();
    if (OpenDevice(caption))
        CreateDeviceWindow(caption);
    else
        FErrorForm->ShowError(QStringLiteral("Can't open ") + caption);
}

bool TMainForm::OpenDevice(const QString& caption) {
    TDeviceSlot* slot = SlotForName(caption);
    if (!slot || slot->Child)
        return false;
    ZQ_HANDLE handle = 0;
    if (ZQ_Open(DeviceIndexFromName(caption), &handle) != ZQ_OK)
        return false;
    slot->Settings = TPortSettings{};
    if (!ApplySettings(handle, slot->Settings)) {
        ZQ_Close(handle);
        return false;
    }
    std::uint32_t lines = 0;
    if (ZQ_GetModemStatus(handle, &lines) != ZQ_OK) {
        ZQ_Close(handle);
        return false;
    }
    slot->Settings.Cts = (lines & ZQ_MODEM_STATUS_CTS) ? 1 : 0;
    slot->Settings.Dsr = (lines & ZQ_MODEM_STATUS_DSR) ? 1 : 0;
    slot->Handle = handle;
    return true;
}

void TMainForm::CreateDeviceWindow(const QString& caption) {
    auto* child = new TMDIChild(caption);
    // Queued, so that the box opens after the poll that found the fault has finished.
    connect(
        child, &TMDIChild::CaptureFailed, this, [](const QString& error) { ShowErrorBox(error); },
        Qt::QueuedConnection);
    TDeviceSlot* slot = SlotForName(caption);
    CurrentSlot = slot;
    slot->Child = child;
    QMdiSubWindow* window = ui->MdiArea->addSubWindow(child);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->showMaximized();
    UpdateActions();
}

void TMainForm::ConfigureItemClick() {
    if (!CurrentSlot)
        return;
    FConfigForm->LoadSettings(CurrentSlot->Settings);
    if (FConfigForm->exec() != QDialog::Accepted || !CurrentSlot)
        return;
    FConfigForm->StoreSettings(CurrentSlot->Settings);
    // A setting the device refused must not look applied: the port would run on other settings
    // than the dialog shows.
    if (!ApplySettings(CurrentSlot->Handle, CurrentSlot->Settings))
        ShowErrorBox(
            QStringLiteral("The device did not accept the port settings; the settings from the refused one "
                           "on were not applied"));
}

void TMainForm::HelpAbout1Execute() {
    FAboutBox->exec();
}

void TMainForm::PortExit1Execute() {
    close();
}

void TMainForm::closeEvent(QCloseEvent* event) {
    // Nothing buffered may be lost at exit: every device is closed through its window, and every
    // capture file is flushed and closed.
    ui->MdiArea->closeAllSubWindows();
    const QString captureError = StopAllCaptures();
    CurrentSlot = nullptr;
    if (!captureError.isEmpty())
        ShowErrorBox(captureError);
    event->accept();
}

void TMainForm::FillWindowMenu() {
    for (QAction* action : FWindowListActions)
        ui->WindowMenu->removeAction(action);
    qDeleteAll(FWindowListActions);
    FWindowListActions.clear();
    const QList<QMdiSubWindow*> windows = DeviceWindows();
    if (windows.isEmpty())
        return;
    FWindowListActions << ui->WindowMenu->addSeparator();
    int number = 1;
    for (QMdiSubWindow* window : windows) {
        QAction* action =
            ui->WindowMenu->addAction(QStringLiteral("&%1 %2").arg(number++).arg(window->windowTitle()));
        action->setCheckable(true);
        action->setChecked(window == ui->MdiArea->activeSubWindow());
        connect(action, &QAction::triggered, this,
                [this, window] { ui->MdiArea->setActiveSubWindow(window); });
        FWindowListActions << action;
    }
}

// Tiling horizontally stacks the windows one above the other; vertically puts them side by side.
void TMainForm::TileSubWindows(Qt::Orientation orientation) {
    QList<QMdiSubWindow*> windows;
    for (QMdiSubWindow* window : DeviceWindows())
        if (!window->isMinimized())
            windows << window;
    if (windows.isEmpty())
        return;
    const QRect area = ui->MdiArea->viewport()->rect();
    const int count = int(windows.size());
    for (int i = 0; i < count; ++i) {
        QMdiSubWindow* window = windows[i];
        window->showNormal();
        if (orientation == Qt::Horizontal) {
            const int height = area.height() / count;
            window->setGeometry(0, i * height, area.width(), height);
        } else {
            const int width = area.width() / count;
            window->setGeometry(i * width, 0, width, area.height());
        }
    }
}

void TMainForm::MinimizeAll() {
    for (QMdiSubWindow* window : DeviceWindows())
        window->showMinimized();
}

// Lines the minimised windows up along the bottom of the frame.
void TMainForm::ArrangeIcons() {
    const QRect area = ui->MdiArea->viewport()->rect();
    int x = 0;
    for (QMdiSubWindow* window : DeviceWindows()) {
        if (!window->isMinimized())
            continue;
        window->move(x, area.height() - window->height());
        x += window->width();
    }
}

TFilePtr TMainForm::ChooseAndOpenFile(const char* mode, QString* path) {
    if (FOpenDialog->exec() != QDialog::Accepted || FOpenDialog->selectedFiles().isEmpty())
        return nullptr;
    const QString chosen = FOpenDialog->selectedFiles().constFirst();
    if (path)
        *path = chosen;
    return TFilePtr(std::fopen(QFile::encodeName(chosen).constData(), mode));
}

void TMainForm::PollDevices() {
    for (TDeviceSlot& slot : DeviceSlots)
        if (slot.Child)
            TMDIChild::PollSlot(slot);
}

void TMainForm::SendFileItemClick() {
    if (!CurrentSlot)
        return;
    QString path;
    TFilePtr file = ChooseAndOpenFile("rb", &path);
    if (!file)
        return;
    const ZQ_HANDLE handle = CurrentSlot->Handle;
    const auto stallLimit = SendStallLimit(CurrentSlot->Settings.TxTimeout);

    // A long send shows its progress and can be cancelled between chunks; the dialog also lets the
    // device windows' poll timers run, so received bytes keep flowing.
    QElapsedTimer elapsed, sinceEvents;
    elapsed.start();
    sinceEvents.start();
    std::unique_ptr<QProgressDialog> progress;
    TSendHooks hooks;
    hooks.PollDevices = [this] { PollDevices(); };
    hooks.Progress = [&](const TSendProgress& p) {
        if (!progress && elapsed.elapsed() >= 500) {
            progress = std::make_unique<QProgressDialog>(this);
            progress->setWindowTitle(QStringLiteral("Kelmor"));
            progress->setWindowModality(Qt::ApplicationModal);
            progress->setRange(0, 1000);
            progress->setMinimumDuration(0);
            progress->setAutoClose(false);
            progress->setAutoReset(false);
            progress->show();
        }
        if (!progress)
            return true;
        if (sinceEvents.elapsed() >= 30 || p.Sent == p.Total) {
            progress->setLabelText(QStringLiteral("Sent %1 of %2 bytes").arg(p.Sent).arg(p.Total));
            progress->setValue(p.Total ? int(p.Sent * 1000 / p.Total) : 1000);
            QCoreApplication::processEvents();
            sinceEvents.restart();
        }
        return !progress->wasCanceled();
    };
    TSendProgress sent;
    const auto total = std::uint64_t(std::max<qint64>(0, QFileInfo(path).size()));
    const TSendResult result = SendFile(file.get(), handle, total, hooks, stallLimit, &sent);
    file.reset();
    progress.reset();
    if (result == TSendResult::Stalled)
        ShowErrorBox(
            QStringLiteral("The device accepted no data for %1 s; the send was stopped after %2 of %3 bytes")
                .arg(stallLimit.count() / 1000.0)
                .arg(sent.Sent)
                .arg(total));
    else if (result == TSendResult::ReadError)
        ShowErrorBox(
            QStringLiteral("The file could not be read to its end; the send was stopped after %1 bytes")
                .arg(sent.Sent));
}

void TMainForm::ReceiveFileItemClick() {
    if (!CurrentSlot)
        return;
    TFilePtr file = ChooseAndOpenFile("wb");
    if (!file || !CurrentSlot)
        return;
    const QString error = StartCapture(*CurrentSlot, std::move(file));
    if (!error.isEmpty())
        ShowErrorBox(error);
}

void TMainForm::CloseFileItemClick() {
    if (!CurrentSlot)
        return;
    const QString error = StopCapture(*CurrentSlot);
    if (!error.isEmpty())
        ShowErrorBox(error);
}
