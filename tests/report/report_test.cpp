// The commissioning report as a PDF: what its text says of each section, how its pages break, and
// that its plots are drawn, not pictured.

#include "drive/stepfiles.h"
#include "harness/reportdata.h"
#include "tests/support/pdftext.h"

#include <QRegularExpression>
#include <QTemporaryDir>
#include <functional>
#include <gtest/gtest.h>

namespace {

// The settings known: the drive's defaults but for KD, which a line since may have changed.
TKnownSettings KnownButKd() {
    TKnownSettings known = TKnownSettings::All({213, 1024, 768, 0, 102, 384, 294, 12820, 64});
    known.Registers[std::size_t(RegisterTable[KD].Register)].reset();
    known.At = QDateTime(QDate(2026, 12, 8), QTime(11, 0));
    return known;
}

} // namespace

TEST(Report, SaysWhatKelmorKnowsAndNothingElse) {
    const struct {
        const char* Name;
        std::function<void(TReport&)> Change;
        int Pages;
        QStringList Says;
        QStringList DoesNotSay;
    } cases[] = {
        {"twenty tests and a search of twelve rounds",
         {},
         4,
         // The figures' table goes on to the next page under its header again.
         {"nie odczytano", "Kelmor nie odczytał ani nie wpisał", "P2 = nieznana", "40.50", "35.67",
          "★ najlepszy", "Poszukiwanie: KP w granicach 1 … 8", "Zalecenie: KP 5.75",
          "„Zastosuj” ich nie wpisał", "strona 4"},
         {"połączenie utracone", "Uwagi", "Bank nastaw"}},
        {"a lost device, read and noted",
         [](TReport& r) {
             r.Lost = true;
             r.Identification = QStringLiteral("SERWO 12V firmware 2.1");
             r.Note = QStringLiteral("Oś X frezarki");
             r.Bank = 2;
             r.Known = KnownButKd();
             r.Run->Applied = true;
         },
         4,
         {"DEV1 (port /dev/ttyUSB0) — połączenie utracone", "SERWO 12V firmware 2.1", "Oś X frezarki",
          "Bank nastaw wskazany przez uruchamiającego: 2.", "P1 = 1024", "P3 = nieznana", "3195.00",
          "„Zastosuj” wpisał te nastawy"},
         {"nie odczytano"}},
        {"no tests, no run",
         [](TReport& r) {
             r.Tests.clear();
             r.Run.reset();
         },
         1,
         {"Raport nie obejmuje żadnego testu skokowego.", "Raport nie obejmuje strojenia."},
         {"Wykonany", "Zalecenie"}},
    };
    for (const auto& c : cases) {
        TReport report = SyntheticReport(20, 12);
        if (c.Change)
            c.Change(report);
        int pages = 0;
        const QString text = PdfText(ReportPdf(report, &pages));
        ASSERT_FALSE(text.isEmpty()) << c.Name << ": pdftotext (poppler-utils) read nothing";
        EXPECT_EQ(pages, c.Pages) << c.Name;
        EXPECT_EQ(text.count(QLatin1Char('\f')), c.Pages) << c.Name;
        for (const QString& said : c.Says)
            EXPECT_TRUE(text.contains(said)) << c.Name << ": " << said.toStdString();
        for (const QString& unsaid : c.DoesNotSay)
            EXPECT_FALSE(text.contains(unsaid)) << c.Name << ": " << unsaid.toStdString();
    }
}

// A table continued on the next page repeats its header there, and no row is split between pages.
TEST(Report, TablesBreakBetweenRows) {
    const QStringList pages = PdfText(ReportPdf(SyntheticReport(40, 0))).split(QLatin1Char('\f'));
    int headed = 0;
    for (const QString& page : pages)
        headed += page.contains(QStringLiteral("Wykonany")) ? 1 : 0;
    EXPECT_GE(headed, 2);
    // Every test's row keeps its date and time together.
    const QRegularExpression row(QStringLiteral(R"(^\s*(\d+)\s+08\.12\.2026 10:00:\d\d\s+200\s)"),
                                 QRegularExpression::MultilineOption);
    EXPECT_EQ(pages.join(QString()).count(row), 40);
}

// The plots are paths and text: no image in the file, and the step plot's 500 dots of each test are
// curves.
TEST(Report, PlotsAreVectors) {
    const QByteArray pdf = ReportPdf(SyntheticReport(3, 12));
    EXPECT_FALSE(pdf.contains("/Subtype /Image"));
    const QByteArray content = PdfContent(pdf);
    EXPECT_GE(content.count(" c\n"), 3 * 500 * 4);
    EXPECT_GE(content.count(" re\n"), 28 * 28 / 2) << "the map's cells";
}

// A session file is reported without its drive: the device, settings and run as the file keeps them
// and the tests its plot showed; a file of an earlier Kelmor, without them, says what it lacks.
TEST(Report, OfASessionFile) {
    QTemporaryDir dir;
    const QString path = dir.filePath("oś-x.kses");
    const TReport made = SyntheticReport(3, 12);
    const TSessionDrive drive{made.Device, made.Port,  QStringLiteral("DRIVE 24V"),
                              made.Motor,  made.Known, made.Run};
    const auto shown = [](int number) { return number != 2; };
    for (const bool withDrive : {true, false}) {
        if (withDrive)
            SaveSessionFile(path, made.Tests, shown, drive);
        else
            SaveSessionFile(path, made.Tests, shown, made.Motor);
        const TReport report = SessionReport(LoadWholeSession(path), path, TReportChoice{});
        EXPECT_EQ(report.Tests.size(), 2u);
        const QString text = PdfText(ReportPdf(report));
        EXPECT_TRUE(text.contains(QStringLiteral("oś-x.kses"))) << withDrive;
        EXPECT_EQ(text.contains(QStringLiteral("oś-x.kses, zapisanego")), withDrive);
        EXPECT_EQ(text.contains(QStringLiteral("DRIVE 24V")), withDrive);
        EXPECT_EQ(text.contains(QStringLiteral("Zalecenie: KP 5.75")), withDrive);
        EXPECT_EQ(text.contains(QStringLiteral("Plik sesji nie zawiera danych serwosilnika")), !withDrive);
    }
}
