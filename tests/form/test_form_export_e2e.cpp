// "To Excel" end to end: the window on the real communications control against the hub
// simulator, exporting through the real Calc client, velkarhub-calc-helper and a real
// LibreOffice, visible on a virtual display (headless where Xvfb is missing). The office
// runs on a private profile and pipe and is killed at the end. The template is a small
// .xlsx the test makes with the office's own converter and puts under the data folder.
#include "ExportTestKit.h"
#include "CalcTestOffice.h"
#include "LiveForm.h"
#include "utilities/Convert.h"
#include "utilities/Exceptions.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtTest>

namespace {

QByteArray FileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString Described(const std::exception &e) { return ExceptionClassName(e) + QStringLiteral(": ") + ExceptionMessage(e); }

// The template: a title in A1, a label in A17 and a placeholder in H17, which the
// export overwrites.
QStringList TemplateLines()
{
    QStringList lines{QStringLiteral("VelkarHub settings export")};
    for (int row = 2; row < 17; ++row)
        lines << QString();
    lines << QStringLiteral("IP Address,,,,,,,placeholder");
    return lines;
}

} // namespace

class TestFormExportE2e : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void exportFillsACopyOfTheTemplate();

private:
    CalcTestOffice test_;
};

void TestFormExportE2e::initTestCase()
{
    TestEnvironment::Init();
    if (!CalcTestOffice::Installed())
        QSKIP("LibreOffice is not installed (no soffice): nothing to export into");
    const QString failed = test_.Prepare(TemplateLines());
    QVERIFY2(failed.isEmpty(), qPrintable(failed));
}

void TestFormExportE2e::cleanupTestCase() { test_.office.KillAll(); }

void TestFormExportE2e::exportFillsACopyOfTheTemplate()
try {
    CalcAutomation automation(test_.options);
    LiveForm live;
    live.spreadsheetAutomation = &automation;
    QVERIFY(live.Start());
    TForm1 &f = *live.form;
    // The window shows the simulated hub: every group has its item, the identification
    // text has come.
    QTRY_VERIFY_WITH_TIMEOUT(ExportKit::EveryGroupSelected(f) && !f.Overview->Edit15->Text().isEmpty(), 120000);

    const QString templatePath = TestEnvironment::DataFolder() + QStringLiteral("/VelkarHubProjects/VelkarHub.xlsx");
    QVERIFY(QFile::copy(test_.office.TemplatePath(), templatePath));
    const QByteArray templateBytes = FileBytes(templatePath);
    QVERIFY(!templateBytes.isEmpty());

    // The texts the export is to write, taken from the window just before the click (the
    // window takes no results while the click runs).
    TestUi::ClickTab(f, f.Comms->TabSheet7);
    std::vector<QString> expected;
    for (const ExportKit::Cell &cell : ExportKit::Cells())
        expected.push_back(ExportKit::TextOf(f, cell, QString()));
    const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
    TestUi::Click(f.Comms->Button41);
    const QDateTime after = QDateTime::currentDateTime().addSecs(1);
    QVERIFY2(!f.Comms->Label93->Visible(), qPrintable(f.Comms->Label93->Caption()));

    auto *calc = dynamic_cast<CalcApplication *>(f.Excel.get());
    QVERIFY(calc);
    test_.office.Adopt(calc->OfficeProcessGroup());
    QVERIFY2(calc->OfficeProcessGroup() > 0, "an office of another test answered on the private pipe");

    const std::vector<ExportKit::Cell> cells = ExportKit::Cells();
    QCOMPARE(cells.size(), size_t(166));
    for (size_t i = 0; i < cells.size(); ++i) {
        const auto [row, column] = ExportKit::RowColumn(cells[i].name);
        const CalcApplication::CellContent content = calc->ReadActiveSheetCell(row, column);
        if (cells[i].kind == ExportKit::Kind::DateAndTime) {
            const QDateTime at =
                QLocale().toDateTime(content.text, Convert::ShortDateFormat() + QLatin1Char(' ') + Convert::LongTimeFormat());
            QVERIFY2(at.isValid() && at >= before && at <= after, qPrintable(content.text));
        } else {
            QVERIFY2(content.text == expected[i],
                     qPrintable(QStringLiteral("%1 (%2): \"%3\", not \"%4\"").arg(cells[i].name, cells[i].control, content.text, expected[i])));
        }
        // Numbers stay texts.
        QCOMPARE(content.kind, content.text.isEmpty() ? QStringLiteral("empty") : QStringLiteral("text"));
    }
    // The template's own cells that the map leaves alone keep their content.
    QCOMPARE(calc->ReadActiveSheetCell(1, 1).text, QStringLiteral("VelkarHub settings export"));
    QCOMPARE(calc->ReadActiveSheetCell(17, 1).text, QStringLiteral("IP Address"));

    // An untitled copy, unsaved and shown; the template file is untouched and unlocked.
    const CalcApplication::DocumentState document = calc->Document();
    QCOMPARE(document.location, QString());
    QVERIFY(document.modified);
    if (!test_.headless)
        QVERIFY(document.visible);
    QCOMPARE(FileBytes(templatePath), templateBytes);
    QVERIFY(QDir(QFileInfo(templatePath).path()).entryList({QStringLiteral(".~lock*")}, QDir::Hidden | QDir::Files).isEmpty());
    live.form.reset();
    QCOMPARE(FileBytes(templatePath), templateBytes);
} catch (const std::exception &e) {
    QFAIL(qPrintable(Described(e)));
}

QTEST_MAIN(TestFormExportE2e)
#include "test_form_export_e2e.moc"
