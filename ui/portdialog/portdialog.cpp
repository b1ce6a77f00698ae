#include "ui/portdialog/portdialog.h"

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

// The rates the rate box offers; a rate that is not among them can be typed.
constexpr std::uint32_t KBaudRates[] = {300,   600,   1200,  2400,   4800,   9600,   14400,
                                        19200, 38400, 57600, 115200, 230400, 460800, 921600};

// The typed rates a converter may be asked for; another typed text keeps the rate that was chosen.
constexpr int KMinTypedRate = 50;
constexpr int KMaxTypedRate = 12'000'000;

template <typename T> struct TChoice {
    T Value;
    const char* Text;
};

constexpr TChoice<std::uint8_t> KDataBitsChoices[] = {{7, "7 bits"}, {8, "8 bits"}};
constexpr TChoice<std::uint8_t> KStopBitsChoices[] = {{1, "1 bit"}, {2, "2 bits"}};
constexpr TChoice<TParity> KParityChoices[] = {{TParity::None, "None"},
                                               {TParity::Odd, "Odd"},
                                               {TParity::Even, "Even"},
                                               {TParity::Mark, "Mark"},
                                               {TParity::Space, "Space"}};
constexpr TChoice<TFlowControl> KFlowControlChoices[] = {{TFlowControl::None, "None"},
                                                         {TFlowControl::RtsCts, "RTS/CTS"},
                                                         {TFlowControl::DtrDsr, "DTR/DSR"},
                                                         {TFlowControl::XonXoff, "XON/XOFF"}};

// Each item carries its value, so that the settings map to and from the boxes by value.
template <typename T, std::size_t N> void AddChoices(QComboBox* box, const TChoice<T> (&choices)[N]) {
    for (const TChoice<T>& choice : choices)
        box->addItem(QString::fromLatin1(choice.Text), static_cast<int>(choice.Value));
}

template <typename T> void ShowChoice(QComboBox* box, T value) {
    box->setCurrentIndex(box->findData(static_cast<int>(value)));
}

// The item whose text the combo box shows, also when the user typed it; -1 when none matches.
int MatchedIndex(const QComboBox* box) {
    return box->findText(box->currentText().trimmed(), Qt::MatchFixedString);
}

template <typename T> void StoreChoice(const QComboBox* box, T& value) {
    const int index = MatchedIndex(box);
    if (index >= 0)
        value = static_cast<T>(box->itemData(index).toInt());
}

// The rate box's items are rates written as numbers, so a typed number serves for an item too.
void StoreRate(const QComboBox* box, std::uint32_t& rate) {
    bool isNumber = false;
    const int typed = box->currentText().trimmed().toInt(&isNumber);
    if (isNumber && typed >= KMinTypedRate && typed <= KMaxTypedRate)
        rate = std::uint32_t(typed);
}

} // namespace

TPortDialog::TPortDialog(QWidget* parent) : QDialog(parent), ui(std::make_unique<Ui::TPortDialog>()) {
    ui->setupUi(this);
    for (const std::uint32_t rate : KBaudRates)
        ui->baudRateBox->addItem(QString::number(rate), static_cast<int>(rate));
    AddChoices(ui->dataBitsBox, KDataBitsChoices);
    AddChoices(ui->stopBitsBox, KStopBitsChoices);
    AddChoices(ui->parityBox, KParityChoices);
    AddChoices(ui->flowControlBox, KFlowControlChoices);
    // Until the first LoadSettings the dialog shows what every open starts from.
    LoadSettings(TPortSettings{});
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(size());
    connect(ui->okButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(ui->cancelButton, &QPushButton::clicked, this, &QDialog::reject);
    connect(ui->eventCharCheck, &QCheckBox::clicked, this, &TPortDialog::EnableEventChar);
    connect(ui->errorCharCheck, &QCheckBox::clicked, this, &TPortDialog::EnableErrorChar);
}

TPortDialog::~TPortDialog() = default;

void TPortDialog::EnableEventChar() {
    ui->eventCharEdit->setEnabled(ui->eventCharCheck->isChecked());
    ui->eventCharLabel->setEnabled(ui->eventCharCheck->isChecked());
}

// The box itself stays enabled: disabling it with its own state would lock it once unchecked.
void TPortDialog::EnableErrorChar() {
    ui->errorCharEdit->setEnabled(ui->errorCharCheck->isChecked());
    ui->errorCharLabel->setEnabled(ui->errorCharCheck->isChecked());
}

void TPortDialog::LoadSettings(const TPortSettings& s) {
    ShowChoice(ui->baudRateBox, s.BaudRate);
    if (ui->baudRateBox->currentIndex() < 0)
        ui->baudRateBox->setEditText(QString::number(s.BaudRate));
    ShowChoice(ui->dataBitsBox, s.DataBits);
    ShowChoice(ui->stopBitsBox, s.StopBits);
    ShowChoice(ui->parityBox, s.Parity);
    ShowChoice(ui->flowControlBox, s.FlowControl);
    ui->rtsCheck->setChecked(s.Rts != 0);
    ui->dtrCheck->setChecked(s.Dtr != 0);
    ui->eventCharCheck->setChecked(s.EventCharEnabled != 0);
    EnableEventChar();
    ui->errorCharCheck->setChecked(s.ErrorCharEnabled != 0);
    EnableErrorChar();
    ui->xonEdit->setText(HexText(s.XonChar));
    ui->xoffEdit->setText(HexText(s.XoffChar));
    ui->eventCharEdit->setText(HexText(s.EventChar));
    ui->errorCharEdit->setText(HexText(s.ErrorChar));
    ui->rxTimeoutEdit->setText(QString::asprintf("%d", s.RxTimeout));
    ui->txTimeoutEdit->setText(QString::asprintf("%d", s.TxTimeout));
    ui->rxCharEventCheck->setChecked(s.EventMask & PortEventReceived);
    ui->modemStatusEventCheck->setChecked(s.EventMask & PortEventLinesChanged);
}

void TPortDialog::StoreSettings(TPortSettings& s) const {
    StoreRate(ui->baudRateBox, s.BaudRate);
    StoreChoice(ui->dataBitsBox, s.DataBits);
    StoreChoice(ui->stopBitsBox, s.StopBits);
    StoreChoice(ui->parityBox, s.Parity);
    StoreChoice(ui->flowControlBox, s.FlowControl);
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
    s.EventMask = (ui->rxCharEventCheck->isChecked() ? PortEventReceived : 0) |
                  (ui->modemStatusEventCheck->isChecked() ? PortEventLinesChanged : 0);
}
