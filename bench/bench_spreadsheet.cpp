// bench_spreadsheet: the time of an export's spreadsheet work on the real LibreOffice
// Calc: creating the application (launching the office the first time, finding it
// running afterwards), making it visible, opening the template as a copy and writing 166
// cells, in milliseconds. The office runs on a private profile, visible on a virtual
// display (headless without Xvfb), and is killed at the end. Not a test: it asserts
// nothing.
//   bench_spreadsheet [--runs N]   (default 5 exports after the first)
#include "PrivateOffice.h"
#include "VirtualDisplay.h"
#include "controls/Spreadsheet.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <algorithm>
#include <cstdio>
#include <exception>
#include <vector>

namespace {

struct Export {
    double create, visible, open, cells;
    double Total() const { return create + visible + open + cells; }
};

double Ms(QElapsedTimer &timer)
{
    const double ms = static_cast<double>(timer.nsecsElapsed()) / 1e6;
    timer.restart();
    return ms;
}

// One export's work: 166 texts with a line break and a formula-like part, over the rows
// the export fills (a hub table, four port blocks, three passes over 16 ranges).
Export RunExport(CalcAutomation &automation, const QString &workbook, PrivateOffice &office,
                 std::vector<std::unique_ptr<ISpreadsheetApplication>> &kept)
{
    Export e{};
    QElapsedTimer timer;
    timer.start();
    auto application = automation.CreateApplication(QStringLiteral("Excel.Application"));
    office.Adopt(dynamic_cast<CalcApplication &>(*application).OfficeProcessGroup());
    e.create = Ms(timer);
    application->SetVisible(true);
    e.visible = Ms(timer);
    application->OpenWorkbook(workbook);
    e.open = Ms(timer);
    int written = 0;
    auto cell = [&](int row, int column) {
        application->SetActiveSheetCell(row, column, QStringLiteral("%1 %2\n=1+1").arg(row).arg(column));
        ++written;
    };
    for (int k = 0; k < 22; ++k)
        cell(13 + k / 8, 8 + 2 * (k % 8));
    for (int port = 0; port < 4; ++port)
        for (int k = 0; k < 8; ++k)
            cell(28 + 10 * port + k, k == 2 ? 23 : 12);
    for (int n = 0; n < 16; ++n)
        cell(68 + n, 7);
    for (int n = 0; n < 16; ++n)
        cell(68 + n, 35);
    for (int n = 0; n < 16; ++n)
        for (int k = 1; k <= 5; ++k)
            cell(68 + n, 14 + 3 * k);
    e.cells = Ms(timer);
    if (written != 166)
        std::fprintf(stderr, "wrote %d cells\n", written);
    kept.push_back(std::move(application));
    return e;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    int runs = 5;
    for (int i = 1; i + 1 < argc; ++i)
        if (QByteArray(argv[i]) == "--runs")
            runs = std::max(1, QByteArray(argv[i + 1]).toInt());
    if (!PrivateOffice::Installed()) {
        std::printf("LibreOffice is not installed: nothing to measure\n");
        return 0;
    }
    CalcAutomationOptions options;
    options.helper = QCoreApplication::applicationDirPath() + QStringLiteral("/velkarhub-calc-helper");
    if (!QFileInfo(options.helper).isExecutable()) {
        std::printf("velkarhub-calc-helper was not built: nothing to measure\n");
        return 0;
    }
    VirtualDisplay display;
    const bool headless = !display.start();
    PrivateOffice office;
    if (!office.MakeTemplate({"VelkarHub settings,,", "IP address,,"}))
        return 1;
    options.helperArguments = office.HelperArguments(headless);
    options.startMs = 180000;
    CalcAutomation automation(options);
    std::vector<std::unique_ptr<ISpreadsheetApplication>> kept;
    try {
        std::printf("Calc export work, ms (%s office; create / visible / open / 166 cells = total)\n",
                    headless ? "headless" : "visible");
        std::fflush(stdout);
        const Export first = RunExport(automation, office.TemplatePath(), office, kept);
        std::printf("first (launches the office): %8.1f / %6.1f / %7.1f / %7.1f = %8.1f\n", first.create,
                    first.visible, first.open, first.cells, first.Total());
        std::vector<Export> later;
        for (int i = 0; i < runs; ++i)
            later.push_back(RunExport(automation, office.TemplatePath(), office, kept));
        std::sort(later.begin(), later.end(), [](const Export &a, const Export &b) { return a.Total() < b.Total(); });
        const Export &median = later[later.size() / 2];
        std::printf("later, median of %d (office running): %6.1f / %6.1f / %7.1f / %7.1f = %8.1f\n", runs,
                    median.create, median.visible, median.open, median.cells, median.Total());
        std::printf("per cell, median export: %.3f ms\n", median.cells / 166.0);
    } catch (const std::exception &e) {
        std::fprintf(stderr, "failed: %s\n", e.what());
        return 1;
    }
    kept.clear();
    office.KillAll();
    return 0;
}
