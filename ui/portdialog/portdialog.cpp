#include "ui/portdialog/portdialog.h"
#include "device/applysettings.h"

#include "ui_portdialog.h"

#include <cstdio>

namespace {

// The dialog's numbers are scanned as scanf does it; a text that does not scan keeps the value
// that was there before, so a bad entry never reaches the device as garbage.
template <typename T> void ScanInto(const QString& text, const char* format, T& value) {
    unsigned int scanned = 0;
    int signedScanned = 0;
    const QByteArray bytes = text.toLatin1();
    if (format[1] == 'x') {
        if (std::sscanf(bytes.constData(), format, &scanned) == 1)
            value = T(scanned & 0xFF);
    } else if (std::sscanf(bytes.constData(), format, &signedScanned) == 1) {
        value = T(signedScanned);
    }
}

// Two upper-case hexadecimal digits, as "%02.2X" writes them.
QString HexText(std::uint8_t c) {
    return QString::asprintf("%.2X", unsigned(c));
}

// The item whose text the combo box shows, also when the user typed it; -1 when none matches.
int MatchedIndex(const QComboBox* box) {
    return box->findText(box->currentText().trimmed(), Qt::MatchFixedString);
}

void StoreIndex(const QComboBox* box, std::int32_t& field) {
    const int index = MatchedIndex(box);
    if (index >= 0)
        field = index;
}

// Rates a converter may be asked for when typed in place of a list entry.
constexpr int KMinTypedRate = 50;
constexpr int KMaxTypedRate = 12'000'000;

} // namespace

TPortDialog::TPortDialog(QWidget* parent) : QDialog(parent), ui(std::make_unique<Ui::TPortDialog>()) {
    ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(size());
    connect(ui->okButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(ui->cancelButton, &QPushButton::clicked, this, &QDialog::reject);
    connect(ui->eventCharCheck, &QCheckBox::clicked, this, &TPortDialog::EventCharCheckClick);
    connect(ui->errorCharCheck, &QCheckBox::clicked, this, &TPortDialog::ErrorCharCheckClick);
}

TPortDialog::~TPortDialog() = default;

void TPortDialog::EventCharCheckClick() {
    ui->eventCharEdit->setEnabled(ui->eventCharCheck->isChecked());
    ui->eventCharLabel->setEnabled(ui->eventCharCheck->isChecked());
}

// The box itself stays enabled: disabling it with its own state would lock it once unchecked.
void TPortDialog::ErrorCharCheckClick() {
    ui->errorCharEdit->setEnabled(ui->errorCharCheck->isChecked());
    ui->errorCharLabel->setEnabled(ui->errorCharCheck->isChecked());
}

void TPortDialog::LoadSettings(const TPortSettings& s) {
    ui->baudRateBox->setCurrentIndex(s.BaudIndex);
    if (ui->baudRateBox->currentIndex() < 0 && s.TypedBaudRate > 0)
        ui->baudRateBox->setEditText(QString::number(s.TypedBaudRate));
    ui->dataBitsBox->setCurrentIndex(s.DataBitsIndex);
    ui->stopBitsBox->setCurrentIndex(s.StopBitsIndex);
    ui->parityBox->setCurrentIndex(s.Parity);
    ui->flowControlBox->setCurrentIndex(s.FlowControl);
    ui->rtsCheck->setChecked(s.Rts != 0);
    ui->dtrCheck->setChecked(s.Dtr != 0);
    ui->eventCharCheck->setChecked(s.EventCharEnabled != 0);
    EventCharCheckClick();
    ui->errorCharCheck->setChecked(s.ErrorCharEnabled != 0);
    ErrorCharCheckClick();
    ui->xonEdit->setText(HexText(s.XonChar));
    ui->xoffEdit->setText(HexText(s.XoffChar));
    ui->eventCharEdit->setText(HexText(s.EventChar));
    ui->errorCharEdit->setText(HexText(s.ErrorChar));
    ui->rxTimeoutEdit->setText(QString::asprintf("%d", s.RxTimeout));
    ui->txTimeoutEdit->setText(QString::asprintf("%d", s.TxTimeout));
    ui->rxCharEventCheck->setChecked(s.EventMask & ZQ_EVENT_RXCHAR);
    ui->modemStatusEventCheck->setChecked(s.EventMask & ZQ_EVENT_MODEM_STAT);
}

void TPortDialog::StoreSettings(TPortSettings& s) const {
    const int baudIndex = MatchedIndex(ui->baudRateBox);
    bool isNumber = false;
    const int typedRate = ui->baudRateBox->currentText().trimmed().toInt(&isNumber);
    if (baudIndex >= 0) {
        s.BaudIndex = baudIndex;
        s.TypedBaudRate = 0;
    } else if (isNumber && typedRate >= KMinTypedRate && typedRate <= KMaxTypedRate) {
        s.BaudIndex = -1;
        s.TypedBaudRate = typedRate;
    }
    StoreIndex(ui->dataBitsBox, s.DataBitsIndex);
    StoreIndex(ui->stopBitsBox, s.StopBitsIndex);
    StoreIndex(ui->parityBox, s.Parity);
    StoreIndex(ui->flowControlBox, s.FlowControl);
    s.Rts = ui->rtsCheck->isChecked() ? 1 : 0;
    s.Dtr = ui->dtrCheck->isChecked() ? 1 : 0;
    s.EventCharEnabled = ui->eventCharCheck->isChecked() ? 1 : 0;
    s.ErrorCharEnabled = ui->errorCharCheck->isChecked() ? 1 : 0;
    ScanInto(ui->xonEdit->text(), "%x", s.XonChar);
    ScanInto(ui->xoffEdit->text(), "%x", s.XoffChar);
    ScanInto(ui->eventCharEdit->text(), "%x", s.EventChar);
    ScanInto(ui->errorCharEdit->text(), "%x", s.ErrorChar);
    ScanInto(ui->rxTimeoutEdit->text(), "%d", s.RxTimeout);
    ScanInto(ui->txTimeoutEdit->text(), "%d", s.TxTimeout);
    s.EventMask = (ui->rxCharEventCheck->isChecked() ? ZQ_EVENT_RXCHAR : 0) |
                  (ui->modemStatusEventCheck->isChecked() ? ZQ_EVENT_MODEM_STAT : 0);
}
