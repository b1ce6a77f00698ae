#include "ui/mainwindow/mainform.h"
#include "transfer/filesend.h"
#include "ui/aboutbox/aboutbox.h"
#include "ui/devicewindow/devicewindow.h"
#include "ui/errorbox/errorbox.h"
#include "ui/errorbox/errorform.h"
#include "ui/portdialog/portdialog.h"

#include "ui_mainform.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QCloseEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QProgressDialog>
#include <QStatusBar>
#include <QStyle>

TMainForm::TMainForm(const TPortFactory& ports, QWidget* parent, const std::atomic<bool>* exitRequested)
    : QMainWindow(parent), ui(std::make_unique<Ui::TMainForm>()) {
    ui->setupUi(this);
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    // The client area below the menu bar is 782 x 584; the device window's pages need all of it.
    setFixedSize(782, 584 + menuBar()->sizeHint().height());
    ui->mdiArea->setBackground(palette().brush(QPalette::Dark));
    statusBar()->setSizeGripEnabled(false);
    // Why the last open failed stays in a label of its own: a message shown with showMessage would
    // be wiped by the first hint of a menu item or tool button the mouse passes over.
    FOpenFailureLabel = new QLabel(this);
    FOpenFailureLabel->setObjectName(QStringLiteral("openFailureLabel"));
    statusBar()->addWidget(FOpenFailureLabel, 1);

    FSlots = new TDeviceSlots(ports, this, exitRequested);
    // Each device's model lives beside its slot, whatever windows come and go.
    FModels = new TDriveModels(*FSlots, this);
    FAboutBox = new TAboutBox(this);
    FPortDialog = new TPortDialog(this);
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
    // The device windows go before the slots they serve.
    qDeleteAll(ui->mdiArea->subWindowList());
}

void TMainForm::Wire() {
    const auto icon = [this](QStyle::StandardPixmap p) { return style()->standardIcon(p); };
    ui->openDev0Action->setIcon(icon(QStyle::SP_DialogOpenButton));
    ui->configureAction->setIcon(icon(QStyle::SP_FileDialogDetailedView));
    ui->closeWindowAction->setIcon(icon(QStyle::SP_DialogCloseButton));
    ui->sendFileAction->setIcon(icon(QStyle::SP_ArrowUp));
    ui->receiveFileAction->setIcon(icon(QStyle::SP_ArrowDown));
    ui->closeFileAction->setIcon(icon(QStyle::SP_DialogSaveButton));
    ui->cascadeAction->setIcon(icon(QStyle::SP_TitleBarNormalButton));
    ui->tileHorizontallyAction->setIcon(icon(QStyle::SP_ToolBarVerticalExtensionButton));
    ui->tileVerticallyAction->setIcon(icon(QStyle::SP_ToolBarHorizontalExtensionButton));

    // A menu's hint lives on the action that stands for it in its parent menu or the menu bar.
    for (QMenu* menu : {ui->portMenu, ui->openMenu, ui->windowMenu, ui->helpMenu}) {
        menu->menuAction()->setStatusTip(menu->statusTip());
        menu->menuAction()->setToolTip(menu->toolTip());
    }

    // Each item carries the index of the device it opens.
    ui->openDev0Action->setData(0);
    ui->openDev1Action->setData(1);
    connect(ui->openDev0Action, &QAction::triggered, this, &TMainForm::OpenDevice0);
    connect(ui->openDev1Action, &QAction::triggered, this, &TMainForm::OpenDevice1);
    connect(ui->configureAction, &QAction::triggered, this, &TMainForm::Configure);
    connect(ui->sendFileAction, &QAction::triggered, this, &TMainForm::SendFile);
    connect(ui->receiveFileAction, &QAction::triggered, this, &TMainForm::ReceiveFile);
    connect(ui->closeFileAction, &QAction::triggered, this, &TMainForm::CloseFile);
    connect(ui->aboutAction, &QAction::triggered, this, &TMainForm::ShowAbout);
    connect(ui->exitAction, &QAction::triggered, this, &TMainForm::Exit);
    connect(ui->closeWindowAction, &QAction::triggered, ui->mdiArea, &QMdiArea::closeActiveSubWindow);
    connect(ui->cascadeAction, &QAction::triggered, ui->mdiArea, &QMdiArea::cascadeSubWindows);
    connect(ui->tileHorizontallyAction, &QAction::triggered, this,
            [this] { TileSubWindows(Qt::Horizontal); });
    connect(ui->tileVerticallyAction, &QAction::triggered, this, [this] { TileSubWindows(Qt::Vertical); });
    connect(ui->minimizeAllAction, &QAction::triggered, this, &TMainForm::MinimizeAll);
    connect(ui->arrangeAction, &QAction::triggered, this, &TMainForm::ArrangeIcons);
    connect(ui->windowMenu, &QMenu::aboutToShow, this, &TMainForm::FillWindowMenu);
    for (std::int32_t i = 0; i < TDeviceSlots::KCount; ++i) {
        TDeviceSlot* slot = FSlots->At(i);
        connect(slot, &TDeviceSlot::DeviceLost, this, [this, slot] {
            statusBar()->showMessage(slot->Name() + QStringLiteral(" — connection lost"));
        });
        connect(slot, &TDeviceSlot::DeviceBack, this, [this, slot] {
            statusBar()->showMessage(slot->Name() + QStringLiteral(" — connection restored"), 5000);
        });
    }
    if (auto* dispatcher = QAbstractEventDispatcher::instance())
        connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, this, &TMainForm::UpdateActions);
}

TDeviceSlot* TMainForm::CurrentSlot() const {
    // The frame's current sub-window stays the last activated one while a dialog has the focus.
    QMdiSubWindow* window = ui->mdiArea->currentSubWindow();
    auto* device = window ? qobject_cast<TDeviceWindow*>(window->widget()) : nullptr;
    return device ? device->Slot() : nullptr;
}

TDeviceWindow* TMainForm::WindowOf(std::int32_t index) const {
    for (QMdiSubWindow* sub : ui->mdiArea->subWindowList())
        if (auto* window = qobject_cast<TDeviceWindow*>(sub->widget());
            window && window->Slot() == FSlots->At(index))
            return window;
    return nullptr;
}

bool TMainForm::StillOpen(const TDeviceSlot* slot) const {
    return !FExiting && slot != nullptr && slot->IsOpen();
}

void TMainForm::UpdateActions() {
    // A send holds the device windows and the file commands until it ends.
    const TDeviceSlot* current = FSend ? nullptr : CurrentSlot();
    // A tuning run holds its drive: a file sent or new line settings would cut into its tests.
    const bool idle = current && !FModels->At(current->Index())->Busy();
    ui->configureAction->setEnabled(idle);
    ui->sendFileAction->setEnabled(idle);
    ui->receiveFileAction->setEnabled(current);
    ui->closeFileAction->setEnabled(current && current->Capturing());

    ui->closeWindowAction->setEnabled(!FSend && !DeviceWindows().isEmpty());
}

QList<QMdiSubWindow*> TMainForm::DeviceWindows() const {
    return ui->mdiArea->subWindowList();
}

void TMainForm::OpenDevice0() {
    OpenFromItem(ui->openDev0Action);
}

void TMainForm::OpenDevice1() {
    OpenFromItem(ui->openDev1Action);
}

void TMainForm::OpenFromItem(const QAction* item) {
    TDeviceSlot* slot = FSlots->At(item->data().toInt());
    if (slot && slot->Open()) {
        FOpenFailureLabel->clear();
        CreateDeviceWindow(*slot);
        return;
    }
    statusBar()->clearMessage();
    FOpenFailureLabel->setText(slot ? slot->OpenFailure() : QString());
    FErrorForm->ShowError(QStringLiteral("Can't open ") + item->text());
}

void TMainForm::CreateDeviceWindow(TDeviceSlot& slot) {
    auto* window = new TDeviceWindow(*FModels->At(slot.Index()));
    // Queued, so that the box opens after the poll that found the fault has finished.
    connect(
        window, &TDeviceWindow::CaptureFailed, this, [](const QString& error) { ShowErrorBox(error); },
        Qt::QueuedConnection);
    QMdiSubWindow* sub = ui->mdiArea->addSubWindow(window);
    sub->setAttribute(Qt::WA_DeleteOnClose);
    sub->showMaximized();
    ui->mdiArea->setActiveSubWindow(sub);
    UpdateActions();
}

void TMainForm::Configure() {
    TDeviceSlot* slot = CurrentSlot();
    if (!slot)
        return;
    FPortDialog->LoadSettings(slot->Settings());
    if (FPortDialog->exec() != QDialog::Accepted || !StillOpen(slot))
        return;
    TPortSettings settings = slot->Settings();
    FPortDialog->StoreSettings(settings);
    // A setting the device refused must not look applied: the port would run on other settings
    // than the dialog shows. A lost device gets them when it comes back.
    if (!slot->ApplyNewSettings(settings) && !slot->IsLost())
        ShowErrorBox(
            QStringLiteral("The device did not accept the port settings; the settings from the refused one "
                           "on were not applied"));
}

void TMainForm::ShowAbout() {
    FAboutBox->exec();
}

void TMainForm::Exit() {
    close();
}

void TMainForm::closeEvent(QCloseEvent* event) {
    // Exit ends the program whatever is open: the dialogs close first, so that their handlers
    // return and find the exit; then nothing buffered is lost, as every device is closed through
    // its window and every capture file is flushed and closed.
    FExiting = true;
    // A send under way ends without a word, its file closed.
    delete FSend;
    FSend = nullptr;
    FSendProgress.reset();
    CloseModalDialogs();
    ui->mdiArea->closeAllSubWindows();
    const QString captureError = FSlots->CloseAll();
    if (!captureError.isEmpty())
        ShowErrorBox(captureError);
    event->accept();
}

void TMainForm::CloseModalDialogs() {
    while (QWidget* modal = QApplication::activeModalWidget()) {
        if (auto* dialog = qobject_cast<QDialog*>(modal))
            dialog->reject();
        else
            modal->close();
        // A dialog that refuses to close must not hold the exit in this loop.
        if (QApplication::activeModalWidget() == modal)
            modal->hide();
        if (QApplication::activeModalWidget() == modal)
            break;
    }
}

void TMainForm::FillWindowMenu() {
    for (QAction* action : FWindowListActions)
        ui->windowMenu->removeAction(action);
    qDeleteAll(FWindowListActions);
    FWindowListActions.clear();
    const QList<QMdiSubWindow*> windows = DeviceWindows();
    if (windows.isEmpty())
        return;
    FWindowListActions << ui->windowMenu->addSeparator();
    int number = 1;
    for (QMdiSubWindow* window : windows) {
        QAction* action =
            ui->windowMenu->addAction(QStringLiteral("&%1 %2").arg(number++).arg(window->windowTitle()));
        action->setCheckable(true);
        action->setChecked(window == ui->mdiArea->activeSubWindow());
        connect(action, &QAction::triggered, this,
                [this, window] { ui->mdiArea->setActiveSubWindow(window); });
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
    const QRect area = ui->mdiArea->viewport()->rect();
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
    const QRect area = ui->mdiArea->viewport()->rect();
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

void TMainForm::SendFile() {
    TDeviceSlot* slot = CurrentSlot();
    if (!slot || FSend)
        return;
    QString path;
    TFilePtr file = ChooseAndOpenFile("rb", &path);
    if (!file || !StillOpen(slot))
        return;
    // The file's bytes may hold any command, so what the model knew of the drive's settings is no
    // longer sure.
    FModels->At(slot->Index())->Parameters().ForgetKnown();
    const auto total = std::uint64_t(std::max<qint64>(0, QFileInfo(path).size()));
    FSend = new TFileSend(*slot, std::move(file), total, SendStallLimit(slot->Settings().TxTimeout), this);
    connect(FSend, &TFileSend::Progress, this, &TMainForm::ShowSendProgress);
    connect(FSend, &TFileSend::Finished, this,
            [this, slot = QPointer<TDeviceSlot>(slot)](TSendResult result) {
                EndSend(result, slot ? slot->Name() : QString());
            });
    // No key or click reaches a device window in the middle of a send.
    ui->mdiArea->setEnabled(false);
    FSendClock.start();
    UpdateActions();
    FSend->Start();
}

void TMainForm::ShowSendProgress(std::uint64_t sent, std::uint64_t total) {
    // A long send shows its progress and can be cancelled between chunks.
    if (!FSendProgress && FSendClock.elapsed() >= 500) {
        FSendProgress = std::make_unique<QProgressDialog>(this);
        FSendProgress->setWindowTitle(QStringLiteral("Kelmor"));
        FSendProgress->setWindowModality(Qt::ApplicationModal);
        FSendProgress->setRange(0, 1000);
        FSendProgress->setMinimumDuration(0);
        FSendProgress->setAutoClose(false);
        FSendProgress->setAutoReset(false);
        connect(FSendProgress.get(), &QProgressDialog::canceled, FSend, &TFileSend::Cancel);
        FSendProgress->show();
    }
    // Every chunk would repaint the dialog many times over what the eye can follow.
    if (FSendProgress && (FSendClock.elapsed() - FSendShown >= 30 || sent == total)) {
        FSendShown = FSendClock.elapsed();
        FSendProgress->setLabelText(QStringLiteral("Sent %1 of %2 bytes").arg(sent).arg(total));
        FSendProgress->setValue(total ? int(sent * 1000 / total) : 1000);
    }
}

void TMainForm::EndSend(TSendResult result, const QString& device) {
    const std::uint64_t sent = FSend->Sent();
    const std::uint64_t total = FSend->Total();
    const std::chrono::milliseconds stallLimit = FSend->StallLimit();
    FSend->deleteLater();
    FSend = nullptr;
    FSendProgress.reset();
    ui->mdiArea->setEnabled(true);
    UpdateActions();
    if (result == TSendResult::Stalled)
        ShowErrorBox(
            QStringLiteral("The device accepted no data for %1 s; the send was stopped after %2 of %3 bytes")
                .arg(stallLimit.count() / 1000.0)
                .arg(sent)
                .arg(total));
    else if (result == TSendResult::ReadError)
        ShowErrorBox(
            QStringLiteral("The file could not be read to its end; the send was stopped after %1 bytes")
                .arg(sent));
    else if (result == TSendResult::Lost)
        ShowErrorBox(
            QStringLiteral("The connection to %1 was lost; the send was stopped after %2 of %3 bytes")
                .arg(device)
                .arg(sent)
                .arg(total));
}

void TMainForm::ReceiveFile() {
    TDeviceSlot* slot = CurrentSlot();
    if (!slot)
        return;
    TFilePtr file = ChooseAndOpenFile("wb");
    if (!file || !StillOpen(slot))
        return;
    const QString error = slot->StartCapture(std::move(file));
    if (!error.isEmpty())
        ShowErrorBox(error);
}

void TMainForm::CloseFile() {
    TDeviceSlot* slot = CurrentSlot();
    if (!slot)
        return;
    const QString error = slot->StopCapture();
    if (!error.isEmpty())
        ShowErrorBox(error);
}
