#include "ui/movespage/movespage.h"

#include "common/errors.h"
#include "drive/commandlines.h"
#include "drive/registertable.h"
#include "ui/devicewindow/typedkey.h"
#include "ui/errorbox/errorbox.h"
#include "ui/motordatapage/motordatapage.h"
#include "ui_movespage.h"

#include <QLineEdit>

namespace {

// A target goes to the drive as typed, unchecked, in the drive's code page. Only what would break
// the command line is refused: a line break would end it early and send the rest as a second
// command, and a character the code page lacks has no byte to send.
QByteArray TargetBytes(const QString& target) {
    QByteArray bytes;
    bytes.reserve(target.size());
    for (const char32_t ch : target.toUcs4()) {
        if (ch == U'\r' || ch == U'\n')
            throw EKelmorError(QStringLiteral("A line break in the target would send a second command"));
        const std::optional<std::uint8_t> byte = ch <= 0xFFFF ? Cp1250Byte(char16_t(ch)) : std::nullopt;
        if (!byte)
            throw EKelmorError(QStringLiteral("'%1' is not in the drive's code page (Windows-1250)")
                                   .arg(QString::fromUcs4(&ch, 1)));
        bytes += char(*byte);
    }
    return bytes;
}

} // namespace

TMovesPage::TMovesPage(QWidget* parent) : QWidget(parent), ui(std::make_unique<Ui::TMovesPage>()) {
    ui->setupUi(this);
    connect(ui->rapidMoveButton, &QPushButton::clicked, this, &TMovesPage::RapidMove);
    connect(ui->feedMoveButton, &QPushButton::clicked, this, &TMovesPage::FeedMove);
}

TMovesPage::~TMovesPage() = default;

void TMovesPage::Attach(TDeviceSlot& slot, TMotorDataPage& motorData) {
    FSlot = &slot;
    FMotorData = &motorData;
}

void TMovesPage::RapidMove() {
    RunGuarded([this] {
        const QByteArray line = RapidMoveLine(TargetBytes(ui->rapidTargetEdit->text()));
        if (FSlot)
            FSlot->WriteLine(line);
    });
}

void TMovesPage::FeedMove() {
    if (!FMotorData)
        return;
    RunGuarded([this] {
        const std::int32_t speed = FeedSpeed(ui->feedSpeedEdit->text(), FMotorData->EncoderPulses()->text());
        const QByteArray line = FeedMoveLine(TargetBytes(ui->feedTargetEdit->text()), speed);
        if (FSlot)
            FSlot->WriteLine(line);
    });
}
