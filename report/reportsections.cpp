#include "report/reportsections.h"

#include "common/numtext.h"
#include "drive/figuretexts.h"
#include "drive/registertable.h"
#include "plot/vectorcanvas.h"
#include "report/drawings.h"
#include "report/reportflow.h"

#include <QLocale>

namespace {

using TRows = std::vector<std::vector<QString>>;

const QString Unknown = QStringLiteral("nieznana");
// The plot's surface in its own pixels, scaled to the page's width.
constexpr int KPlotWidth = 1000;
constexpr int KPlotHeight = 620;

// What the caption says of a setting, without its unit's bracket and the page's spacing.
QString Description(TSettingRow row) {
    const QString caption = QString::fromUtf8(RegisterTable[std::size_t(row)].Caption);
    QString text = caption.mid(caption.indexOf(QLatin1Char(']')) + 1).simplified();
    if (text.endsWith(QLatin1Char('.')))
        text.chop(1);
    return text;
}

// A setting as the drive holds it: its figure, or "nieznana" where Kelmor does not know the register.
QString Figure(const TKnownSettings& settings, TSettingRow row, const TMotorData& motor) {
    return settings.IsKnown(row) ? SettingText(settings, row, motor) : Unknown;
}

QString MotorLabel(int field) {
    static const char* const labels[MotorFieldCount] = {
        "Napięcie znamionowe [V]",   "Rezystancja uzwojenia [ohm]",
        "Obroty znamionowe [1/min]", "Prąd znamionowy [A]",
        "Napięcie zasilania [V]",    "Rozdzielczość przetwornika położenia [imp/obrót]"};
    return QString::fromUtf8(labels[field]);
}

void DrawPlot(QPainter& painter, double width, const std::vector<const TTestRecord*>& tests) {
    const double scale = width / KPlotWidth;
    painter.scale(scale, scale);
    QFont font(QStringLiteral("DejaVu Sans"));
    // The legend reads at 7 points on the page.
    font.setPointSizeF(7 / scale);
    font.setStyleStrategy(QFont::PreferNoShaping);
    const TColor white = ColorFromRgb(255, 255, 255);
    TVectorCanvas canvas(painter, white, font);
    WipeStepPlot(canvas, KPlotWidth, KPlotHeight, white);
    DrawStepTests(canvas, KPlotWidth, KPlotHeight, PlottedTests(tests));
}

} // namespace

QString ReportTime(const QDateTime& at) {
    return QLocale().toString(at, QStringLiteral("dd.MM.yyyy HH:mm:ss"));
}

void ReportHead(TReportFlow& flow, const TReport& report) {
    flow.Title(QStringLiteral("Raport z uruchomienia napędu"));
    QString device = report.Device.isEmpty() ? QStringLiteral("nieznane") : report.Device;
    if (!report.Port.isEmpty())
        device += QStringLiteral(" (port %1)").arg(report.Port);
    if (report.Lost)
        device += QStringLiteral(" — połączenie utracone");
    TRows rows = {{QStringLiteral("Sporządzony"), ReportTime(report.MadeAt)},
                  {QStringLiteral("Program"), QStringLiteral("Kelmor v." KELMOR_VERSION)},
                  {QStringLiteral("Urządzenie"), device}};
    if (!report.SessionFile.isEmpty())
        rows.push_back(
            {QStringLiteral("Z pliku sesji"),
             report.SavedAt.isValid()
                 ? QStringLiteral("%1, zapisanego %2").arg(report.SessionFile, ReportTime(report.SavedAt))
                 : report.SessionFile});
    rows.push_back({QStringLiteral("Identyfikacja napędu"), report.Identification.isEmpty()
                                                                ? QStringLiteral("nie odczytano")
                                                                : report.Identification});
    if (!report.Note.trimmed().isEmpty())
        rows.push_back({QStringLiteral("Uwagi"), report.Note.trimmed()});
    flow.Table({{{}, 0.25}, {{}, 0.75}}, rows);
    if (report.Lost)
        flow.Paragraph(
            QStringLiteral("Połączenie z urządzeniem zostało utracone przed sporządzeniem raportu: "
                           "nastawy podano takie, jakie Kelmor znał przed utratą, jeśli je znał."));
}

void ReportMotor(TReportFlow& flow, const TReport& report) {
    flow.Heading(QStringLiteral("Dane serwosilnika"));
    TRows rows;
    for (int field = 0; field < MotorFieldCount; ++field)
        rows.push_back(
            {MotorLabel(field), (report.Motor.*MotorFieldTable[std::size_t(field)].Number).Text()});
    flow.Table({{QStringLiteral("Wielkość"), 0.6}, {QStringLiteral("Wartość"), 0.4}}, rows);
    if (!report.MotorKnown)
        flow.Paragraph(QStringLiteral("Plik sesji nie zawiera danych serwosilnika: podano dane domyślne, "
                                      "z którymi przeliczono też nastawy testów."));
}

void ReportSettings(TReportFlow& flow, const TReport& report) {
    flow.Heading(QStringLiteral("Nastawy regulatora w napędzie"));
    TRows rows;
    for (int r = 0; r < SettingCount; ++r) {
        const auto row = TSettingRow(r);
        const std::optional<std::int32_t> value = report.Known.Register(row);
        rows.push_back({SettingLabel(row), Description(row), Figure(report.Known, row, report.Motor),
                        QString::fromLatin1(RegisterTable[std::size_t(r)].Unit),
                        QStringLiteral("P%1 = %2")
                            .arg(RegisterTable[std::size_t(r)].Register)
                            .arg(value ? QString::number(*value) : Unknown)});
    }
    flow.Table({{QStringLiteral("Nastawa"), 0.1},
                {QStringLiteral("Opis"), 0.45},
                {QStringLiteral("Wartość"), 0.15},
                {QStringLiteral("Jednostka"), 0.12},
                {QStringLiteral("Rejestr"), 0.18}},
               rows);
    flow.Paragraph(
        report.Known.At.isValid()
            ? QStringLiteral("Wartości odczytane z napędu lub do niego wpisane: %1; „nieznana” tam, "
                             "gdzie po nich coś innego mogło zmienić rejestr.")
                  .arg(ReportTime(report.Known.At))
            : QStringLiteral("Kelmor nie odczytał ani nie wpisał nastaw tego napędu."));
    if (report.Bank)
        flow.Paragraph(QStringLiteral("Bank nastaw wskazany przez uruchamiającego: %1.").arg(*report.Bank));
}

void ReportTests(TReportFlow& flow, const TReport& report) {
    flow.Heading(QStringLiteral("Testy skokowe"));
    if (report.Tests.empty()) {
        flow.Paragraph(QStringLiteral("Raport nie obejmuje żadnego testu skokowego."));
        return;
    }
    std::vector<const TTestRecord*> tests;
    for (const TTestRecord& test : report.Tests)
        tests.push_back(&test);
    flow.Drawing(flow.Width() * KPlotHeight / KPlotWidth,
                 [&](QPainter& painter, double width) { DrawPlot(painter, width, tests); });
    TRows figures, settings;
    for (const TTestRecord& test : report.Tests) {
        const TStepTexts texts = StepTexts(test.Figures);
        const bool any = test.Figures.Received > 0;
        figures.push_back(
            {QString::number(test.Number), ReportTime(test.RanAt), QString::number(test.Step.Amplitude),
             QStringLiteral("%1/%2").arg(test.Figures.Received).arg(test.Step.SampleCount), texts.Overshoot,
             any ? FloatToText(float(NormalisedIntegral(test))) : QStringLiteral("-"), texts.RiseTime,
             texts.SettlingTime});
        std::vector<QString> row = {QString::number(test.Number)};
        for (int r = 0; r < SettingCount; ++r)
            row.push_back(Figure(*test.Settings, TSettingRow(r), report.Motor));
        settings.push_back(row);
    }
    flow.Table({{QStringLiteral("Test"), 0.06},
                {QStringLiteral("Wykonany"), 0.23},
                {QStringLiteral("Amplituda [imp]"), 0.12},
                {QStringLiteral("Próbki"), 0.09},
                {QStringLiteral("Przeregulowanie [%]"), 0.16},
                {QStringLiteral("Całka/A [ms]"), 0.11},
                {QStringLiteral("t 10–90 % [ms]"), 0.115},
                {QStringLiteral("t ±5 % [ms]"), 0.115}},
               figures);
    std::vector<TReportFlow::TColumn> columns = {{QStringLiteral("Test"), 0.073}};
    for (int r = 0; r < SettingCount; ++r)
        columns.push_back({SettingLabel(TSettingRow(r)), 0.103});
    flow.Paragraph(QStringLiteral("Nastawy, przy których przebiegły testy:"));
    flow.Table(columns, settings);
}
