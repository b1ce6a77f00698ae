#include "ui/historypage/historypage.h"

#include "drive/stepfiles.h"
#include "ui/errorbox/errorbox.h"
#include "ui/filedialog/choosefile.h"
#include "ui/historypage/historymodel.h"
#include "ui_historypage.h"

#include <QHeaderView>
#include <algorithm>

namespace {

const QString CsvFilter = QStringLiteral("CSV (*.csv)");
const QString SessionFilter = QStringLiteral("Kelmor session (*.kses)");

} // namespace

THistoryPage::THistoryPage(QWidget* parent) : QWidget(parent), ui(std::make_unique<Ui::THistoryPage>()) {
    ui->setupUi(this);
    ui->table->verticalHeader()->hide();
    ui->table->verticalHeader()->setDefaultSectionSize(ui->table->fontMetrics().height() + 6);
    ui->table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    connect(ui->showButton, &QPushButton::clicked, this, &THistoryPage::ShowChosen);
    connect(ui->removeButton, &QPushButton::clicked, this, &THistoryPage::RemoveChosen);
    connect(ui->saveCsvButton, &QPushButton::clicked, this, &THistoryPage::SaveCsv);
    connect(ui->saveSessionButton, &QPushButton::clicked, this, &THistoryPage::SaveSession);
    connect(ui->loadSessionButton, &QPushButton::clicked, this, &THistoryPage::LoadSession);
    connect(ui->reportButton, &QPushButton::clicked, this, &THistoryPage::ReportAsked);
}

THistoryPage::~THistoryPage() = default;

void THistoryPage::Attach(TDriveModel& model, TShownTests& shown) {
    FModel = &model;
    FShown = &shown;
    FTable = new THistoryModel(model, shown, this);
    ui->table->setModel(FTable);
    // A new test comes into view.
    connect(&model.Tests(), &TStepTests::Changed, ui->table, &QTableView::scrollToBottom);
}

std::vector<int> THistoryPage::Chosen() const {
    std::vector<int> numbers;
    if (!FTable)
        return numbers;
    for (const QModelIndex& index : ui->table->selectionModel()->selectedRows())
        numbers.push_back(FTable->Test(index.row()).Number);
    std::sort(numbers.begin(), numbers.end());
    return numbers;
}

void THistoryPage::ShowChosen() {
    if (FShown)
        FShown->ShowOnly(Chosen());
}

void THistoryPage::RemoveChosen() {
    if (FModel)
        FModel->Tests().Remove(Chosen());
}

QString THistoryPage::Choose(const QString& caption, bool save, const QString& filter,
                             const QString& suffix) {
    const QString path = ChooseFile(this, caption, save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen,
                                    filter, suffix, &FFolder);
    // The device may have closed while the dialog was open.
    return FModel && FShown ? path : QString();
}

void THistoryPage::SaveCsv() {
    if (!FModel || FModel->Tests().All().empty())
        return;
    // The chosen rows, or every test when none is chosen.
    const std::vector<int> chosen = Chosen();
    std::vector<const TTestRecord*> tests;
    for (const TTestRecord& test : FModel->Tests().All())
        if (chosen.empty() || std::binary_search(chosen.begin(), chosen.end(), test.Number))
            tests.push_back(&test);
    const QString path = Choose(QStringLiteral("Zapisz CSV"), true, CsvFilter, QStringLiteral("csv"));
    if (!path.isEmpty())
        RunGuarded([&] { WriteTestsCsv(path, tests); });
}

void THistoryPage::SaveSession() {
    const QString path = Choose(QStringLiteral("Zapisz sesję"), true, SessionFilter, QStringLiteral("kses"));
    if (!path.isEmpty())
        RunGuarded([&] {
            SaveSessionFile(
                path, FModel->Tests().All(), [this](int number) { return FShown->IsShown(number); },
                FModel->SessionDrive());
        });
}

void THistoryPage::LoadSession() {
    const QString path =
        Choose(QStringLiteral("Wczytaj sesję"), false, SessionFilter, QStringLiteral("kses"));
    if (!path.isEmpty())
        RunGuarded([&] {
            std::vector<TSessionTest> loaded = LoadSessionFile(path);
            std::vector<TTestRecord> tests;
            for (TSessionTest& t : loaded)
                tests.push_back(std::move(t.Test));
            const std::vector<int> numbers = FModel->Tests().Add(std::move(tests));
            // The plot shows them as the file says, under the numbers they got here.
            for (std::size_t i = 0; i < numbers.size(); ++i)
                FShown->SetShown(numbers[i], loaded[i].Shown);
        });
}
