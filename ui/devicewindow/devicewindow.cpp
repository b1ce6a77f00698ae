#include "ui/devicewindow/devicewindow.h"

#include "report/report.h"
#include "ui/devicewindow/terminalview.h"
#include "ui/devicewindow/typedkey.h"
#include "ui/errorbox/errorbox.h"
#include "ui/reportdialog/reportdialog.h"
#include "ui_devicewindow.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QKeyEvent>

namespace {

const QColor ActiveColour(0, 128, 0);
const QColor InactiveColour(255, 0, 0);

void SetLineColour(QLabel* label, bool active) {
    const QColor& colour = active ? ActiveColour : InactiveColour;
    if (label->palette().color(QPalette::WindowText) == colour)
        return;
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, colour);
    label->setPalette(palette);
}

} // namespace

TDeviceWindow::TDeviceWindow(TDriveModel& model, QWidget* parent)
    : QWidget(parent), ui(std::make_unique<Ui::TDeviceWindow>()), FSlot(model.Slot()), FModel(&model),
      FShown(new TShownTests(model.Tests(), this)) {
    TDeviceSlot& slot = *FSlot;
    ui->setupUi(this);
    FLine = std::make_unique<TTerminalLine>(*ui->terminal);

    // The terminal is the device's keyboard: what the user sees is only what the device sends back.
    ui->terminal->installEventFilter(this);
    for (QLabel* label : std::initializer_list<QLabel*>{ui->dsrLabel, ui->ctsLabel, ui->dcdLabel,
                                                        ui->ringLabel, ui->recLabel})
        SetLineColour(label, false);
    ShowOutputLines();
    ui->recLabel->hide();

    setWindowTitle(slot.Name());
    FLine->Clear();
    ui->terminal->Clear();
    DisplayModemStatus(slot.Lines());
    ShowReplies();
    ui->settingsPage->Attach(model);
    ui->stepPage->Attach(model, *FShown);
    ui->diagnosticsPage->Attach(model);
    ui->movesPage->Attach(model);
    ui->motorDataPage->Attach(model);
    ui->historyPage->Attach(model, *FShown);
    Wire();
}

TDeviceWindow::~TDeviceWindow() {
    // A window destroyed without being closed (its frame went first) still closes its device.
    CloseDevice();
}

void TDeviceWindow::Wire() {
    connect(FSlot, &TDeviceSlot::Received, this, &TDeviceWindow::ShowReceived);
    connect(FSlot, &TDeviceSlot::LinesChanged, this, &TDeviceWindow::DisplayModemStatus);
    connect(FSlot, &TDeviceSlot::Received, this, &TDeviceWindow::BlinkRec);
    connect(FSlot, &TDeviceSlot::CaptureChanged, this, [this] {
        FRecPolls = 0;
        ui->recLabel->hide();
    });
    connect(FSlot, &TDeviceSlot::CaptureFailed, this, &TDeviceWindow::CaptureFailed);
    connect(FSlot, &TDeviceSlot::DeviceLost, this, [this] { ShowConnection(false); });
    connect(FSlot, &TDeviceSlot::DeviceBack, this, [this] { ShowConnection(true); });
    connect(FSlot, &TDeviceSlot::OutputLinesChanged, this, &TDeviceWindow::ShowOutputLines);
    connect(FSlot, &TDeviceSlot::RepliesCounted, this, &TDeviceWindow::ShowReplies);
    connect(ui->rtsLabel, &TClickLabel::Clicked, this, [this] {
        if (FSlot)
            FSlot->SetRts(!FSlot->RtsRaised());
    });
    connect(ui->dtrLabel, &TClickLabel::Clicked, this, [this] {
        if (FSlot)
            FSlot->SetDtr(!FSlot->DtrRaised());
    });
    connect(ui->recLabel, &TClickLabel::Clicked, this, &TDeviceWindow::StopCapture);
    connect(ui->historyPage, &THistoryPage::ReportAsked, this, &TDeviceWindow::MakeReport);
    connect(ui->stepPage, &TStepPage::ReportAsked, this, &TDeviceWindow::MakeReport);
}

void TDeviceWindow::ShowConnection(bool connected) {
    const QString name = FSlot ? FSlot->Name() : QString();
    setWindowTitle(connected ? name : name + QStringLiteral(" — connection lost"));
}

void TDeviceWindow::ShowReplies() {
    if (!FSlot)
        return;
    const TReplyCount& count = FSlot->Replies();
    // "3 z 250" wraps as one.
    QString text =
        QStringLiteral("Odpowiedzi zniekształcone: %1\u00a0z\u00a0%2").arg(count.Garbled).arg(count.Replies);
    if (count.Suspect())
        text += QStringLiteral(" — sprawdź kabel lub konwerter");
    ui->replyHealthLabel->setText(text);
}

void TDeviceWindow::closeEvent(QCloseEvent* event) {
    CloseDevice();
    event->accept();
}

void TDeviceWindow::CloseDevice() {
    if (FClosed)
        return;
    FClosed = true;
    setAttribute(Qt::WA_DeleteOnClose);
    if (FSlot) {
        FSlot->disconnect(this);
        if (const QString notice = ui->diagnosticsPage->ReturnToZero(); !notice.isEmpty())
            emit ClosedWithNotice(FSlot->Name() + QStringLiteral(": ") + notice);
        if (FModel)
            FModel->Close();
        FSlot->Close();
    }
}

void TDeviceWindow::ShowReceived(const QByteArray& bytes) {
    FLine->PutStr(reinterpret_cast<const std::uint8_t*>(bytes.constData()), std::int32_t(bytes.size()));
    Flush();
}

void TDeviceWindow::Flush() {
    FLine->Flush();
    ui->terminal->Commit();
}

void TDeviceWindow::DisplayModemStatus(const TLineStates& lines) {
    SetLineColour(ui->ctsLabel, lines.Cts);
    SetLineColour(ui->dsrLabel, lines.Dsr);
    SetLineColour(ui->dcdLabel, lines.Dcd);
    SetLineColour(ui->ringLabel, lines.Ring);
}

bool TDeviceWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == ui->terminal &&
        (event->type() == QEvent::KeyPress || event->type() == QEvent::ShortcutOverride)) {
        auto* key = static_cast<QKeyEvent*>(event);
        // With text selected, Ctrl+C is the terminal's copy; without, the control code for the device.
        if (key->matches(QKeySequence::Copy) && ui->terminal->HasMouseSelection())
            return false;
        const std::optional<std::uint8_t> byte = TypedKeyByte(key->key(), key->modifiers(), key->text());
        if (byte) {
            // Accepting the override keeps shortcuts such as Ctrl+C from taking a control code.
            if (event->type() == QEvent::KeyPress)
                SendTypedByte(*byte);
            event->accept();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void TDeviceWindow::SendTypedByte(std::uint8_t byte) {
    // A tuning run has the drive: a key typed now would land among its command lines.
    if (!FModel || !FModel->SendTyped(byte))
        QApplication::beep();
}

void TDeviceWindow::ShowOutputLines() {
    if (!FSlot)
        return;
    SetLineColour(ui->rtsLabel, FSlot->RtsRaised());
    SetLineColour(ui->dtrLabel, FSlot->DtrRaised());
}

void TDeviceWindow::BlinkRec() {
    if (!FSlot || !FSlot->Capturing())
        return;
    if (++FRecPolls >= KRecBlinkPolls) {
        FRecPolls = 0;
        ui->recLabel->setVisible(ui->recLabel->isHidden());
    }
}

void TDeviceWindow::StopCapture() {
    // The label blinks, so it can be clicked only in its visible phase; the click ends the capture
    // of this window's slot.
    if (ui->recLabel->isHidden())
        return;
    ui->recLabel->hide();
    if (!FSlot)
        return;
    const QString error = FSlot->StopCapture();
    if (!error.isEmpty())
        emit CaptureFailed(error);
}

void TDeviceWindow::MakeReport() {
    if (!FModel || !FSlot)
        return;
    const QString name =
        QStringLiteral("raport-%1-%2.pdf")
            .arg(FSlot->Name(), QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmm")));
    const QPointer<TDeviceWindow> alive(this);
    const std::optional<TReportChoice> choice = AskReport(
        this, QDir::home().filePath(name), int(FShown->Tests().size()), int(FModel->Tests().All().size()));
    // The window may have gone meanwhile.
    if (!choice || !alive || !FModel)
        return;
    const TReport report = DeviceReport(
        *FModel, [this](int number) { return FShown->IsShown(number); }, *choice);
    RunGuarded([&] { WriteReport(choice->Path, report); });
}
