#include "device/configform.h"
#include "device/applysettings.h"

#include "ui_configform.h"

#include <cstdio>

TConfigForm* ConfigForm = nullptr;

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

TConfigForm::TConfigForm(QWidget* parent) : QDialog(parent), ui(std::make_unique<Ui::TConfigForm>()) {
    ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(size());
    connect(ui->OKBtn, &QPushButton::clicked, this, &QDialog::accept);
    connect(ui->CancelBtn, &QPushButton::clicked, this, &QDialog::reject);
    connect(ui->EventCharCB, &QCheckBox::clicked, this, &TConfigForm::EventCharCBClick);
    connect(ui->ErrorCharCB, &QCheckBox::clicked, this, &TConfigForm::ErrorCharCBClick);
}

TConfigForm::~TConfigForm() = default;

void TConfigForm::EventCharCBClick() {
    ui->EventCharME->setEnabled(ui->EventCharCB->isChecked());
    ui->EventCharLabel->setEnabled(ui->EventCharCB->isChecked());
}

// The box itself stays enabled: disabling it with its own state would lock it once unchecked.
void TConfigForm::ErrorCharCBClick() {
    ui->ErrorCharME->setEnabled(ui->ErrorCharCB->isChecked());
    ui->ErrorCharLabel->setEnabled(ui->ErrorCharCB->isChecked());
}

void TConfigForm::LoadSettings(const TPortSettings& s) {
    ui->BaudRateCB->setCurrentIndex(s.BaudIndex);
    if (ui->BaudRateCB->currentIndex() < 0 && s.TypedBaudRate > 0)
        ui->BaudRateCB->setEditText(QString::number(s.TypedBaudRate));
    ui->DataBitsCB->setCurrentIndex(s.DataBitsIndex);
    ui->StopBitsCB->setCurrentIndex(s.StopBitsIndex);
    ui->ParityCB->setCurrentIndex(s.Parity);
    ui->FlowControlCB->setCurrentIndex(s.FlowControl);
    ui->RtsCB->setChecked(s.Rts != 0);
    ui->DtrCB->setChecked(s.Dtr != 0);
    ui->EventCharCB->setChecked(s.EventCharEnabled != 0);
    EventCharCBClick();
    ui->ErrorCharCB->setChecked(s.ErrorCharEnabled != 0);
    ErrorCharCBClick();
    ui->XonME->setText(HexText(s.XonChar));
    ui->XoffME->setText(HexText(s.XoffChar));
    ui->EventCharME->setText(HexText(s.EventChar));
    ui->ErrorCharME->setText(HexText(s.ErrorChar));
    ui->RxTimeoutME->setText(QString::asprintf("%d", s.RxTimeout));
    ui->TxTimeoutME->setText(QString::asprintf("%d", s.TxTimeout));
    ui->RxCharCB->setChecked(s.EventMask & ZQ_EVENT_RXCHAR);
    ui->ModemStatCB->setChecked(s.EventMask & ZQ_EVENT_MODEM_STAT);
}

void TConfigForm::StoreSettings(TPortSettings& s) const {
    const int baudIndex = MatchedIndex(ui->BaudRateCB);
    bool isNumber = false;
    const int typedRate = ui->BaudRateCB->currentText().trimmed().toInt(&isNumber);
    if (baudIndex >= 0) {
        s.BaudIndex = baudIndex;
        s.TypedBaudRate = 0;
    } else if (isNumber && typedRate >= KMinTypedRate && typedRate <= KMaxTypedRate) {
        s.BaudIndex = -1;
        s.TypedBaudRate = typedRate;
    }
    StoreIndex(ui->DataBitsCB, s.DataBitsIndex);
    StoreIndex(ui->StopBitsCB, s.StopBitsIndex);
    StoreIndex(ui->ParityCB, s.Parity);
    StoreIndex(ui->FlowControlCB, s.FlowControl);
    s.Rts = ui->RtsCB->isChecked() ? 1 : 0;
    s.Dtr = ui->DtrCB->isChecked() ? 1 : 0;
    s.EventCharEnabled = ui->EventCharCB->isChecked() ? 1 : 0;
    s.ErrorCharEnabled = ui->ErrorCharCB->isChecked() ? 1 : 0;
    ScanInto(ui->XonME->text(), "%x", s.XonChar);
    ScanInto(ui->XoffME->text(), "%x", s.XoffChar);
    ScanInto(ui->EventCharME->text(), "%x", s.EventChar);
    ScanInto(ui->ErrorCharME->text(), "%x", s.ErrorChar);
    ScanInto(ui->RxTimeoutME->text(), "%d", s.RxTimeout);
    ScanInto(ui->TxTimeoutME->text(), "%d", s.TxTimeout);
    s.EventMask = (ui->RxCharCB->isChecked() ? ZQ_EVENT_RXCHAR : 0) |
                  (ui->ModemStatCB->isChecked() ? ZQ_EVENT_MODEM_STAT : 0);
}

bool TConfigForm::RtsChecked() const {
    return ui->RtsCB->isChecked();
}
bool TConfigForm::DtrChecked() const {
    return ui->DtrCB->isChecked();
}
