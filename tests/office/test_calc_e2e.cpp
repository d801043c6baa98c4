// The spreadsheet application end to end: the Calc client, velkarhub-calc-helper and a
// real LibreOffice, visible on a virtual display (headless where Xvfb is missing). The
// office runs on a private profile and pipe, so it never meets another office, and every
// office process this test started is killed at its end. The template is a small .xlsx
// that the test makes itself with the office's own converter.
#include "CalcTestOffice.h"
#include "utilities/Exceptions.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtTest>
#include <memory>

namespace {

QByteArray FileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// An unexpected failure as the test reports it (an exception must not end the program).
QString Described(const std::exception &e) { return ExceptionClassName(e) + QStringLiteral(": ") + ExceptionMessage(e); }

} // namespace

class TestCalcE2e : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void officeThatNeverAnswersFailsAtTheDeadline();
    void writesTextsIntoAnUntitledCopy();
    void secondApplicationIsItsOwn();
    void missingWorkbookFailsWithoutADialog();
    void officeGoneFailsTheNextCall();

private:
    std::unique_ptr<CalcApplication> Start();

    CalcTestOffice test_;
    QString template_;
    QByteArray templateBytes_;
    std::unique_ptr<CalcApplication> first_;
};

void TestCalcE2e::initTestCase()
{
    if (!CalcTestOffice::Installed())
        QSKIP("LibreOffice is not installed (no soffice): nothing to drive");
    const QString failed = test_.Prepare({"VelkarHub settings,,", "IP address,,", "Port 1,,"});
    QVERIFY2(failed.isEmpty(), qPrintable(failed));
    template_ = test_.office.TemplatePath();
    templateBytes_ = FileBytes(template_);
}

void TestCalcE2e::cleanupTestCase()
{
    first_.reset();
    test_.office.KillAll();
}

std::unique_ptr<CalcApplication> TestCalcE2e::Start()
{
    auto application = std::make_unique<CalcApplication>(test_.options);
    test_.office.Adopt(application->OfficeProcessGroup());
    return application;
}

// The real helper with an "office" that starts and never opens its pipe: the helper
// gives up at its own deadline and creation fails, as where no office can be had.
void TestCalcE2e::officeThatNeverAnswersFailsAtTheDeadline()
{
    const QString silent = test_.office.Folder() + QStringLiteral("/silent-soffice");
    QFile script(silent);
    QVERIFY(script.open(QIODevice::WriteOnly));
    script.write("#!/bin/sh\nsleep 3\n");
    script.close();
    QVERIFY(script.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner));
    CalcAutomationOptions options = test_.options;
    options.helperArguments = {QStringLiteral("--soffice"), silent, QStringLiteral("--pipe"),
                               QStringLiteral("velkarhub_silent_%1").arg(QCoreApplication::applicationPid()),
                               QStringLiteral("--connect-ms"), QStringLiteral("1000")};
    CalcAutomation automation(options);
    try {
        automation.CreateApplication(QStringLiteral("Excel.Application"));
        QFAIL("created");
    } catch (const EOleSysError &e) {
        QVERIFY2(e.Message().contains(QStringLiteral("LibreOffice did not answer within 1000 ms")), qPrintable(e.Message()));
    }
}

void TestCalcE2e::writesTextsIntoAnUntitledCopy()
try {
    first_ = Start();
    QVERIFY2(first_->OfficeProcessGroup() > 0, "an office of another test answered on the private pipe");
    first_->SetVisible(true);
    first_->OpenWorkbook(template_);
    struct Cell {
        int row, column;
        QString text;
        QString kind;
    };
    const QList<Cell> cells = {
        {13, 31, QStringLiteral("07/03/2026 14:05:09"), QStringLiteral("text")},
        {17, 8, QStringLiteral("192"), QStringLiteral("text")},
        {17, 10, QStringLiteral("007"), QStringLiteral("text")},
        {19, 26, QStringLiteral("=1+1"), QStringLiteral("text")},
        {20, 11, QStringLiteral("Hold\nLast Value"), QStringLiteral("text")},
        {22, 8, QStringLiteral("  Größe °C 温度"), QStringLiteral("text")},
        {83, 29, QString(), QStringLiteral("empty")},
        {1, 1, QStringLiteral("replaced"), QStringLiteral("text")},
    };
    for (const Cell &cell : cells)
        first_->SetActiveSheetCell(cell.row, cell.column, cell.text);
    for (const Cell &cell : cells) {
        const CalcApplication::CellContent content = first_->ReadActiveSheetCell(cell.row, cell.column);
        QCOMPARE(content.text, cell.text);
        QCOMPARE(content.kind, cell.kind);
    }
    // A cell of the template that was not written keeps its content.
    QCOMPARE(first_->ReadActiveSheetCell(2, 1).text, QStringLiteral("IP address"));

    const CalcApplication::DocumentState document = first_->Document();
    QCOMPARE(document.location, QString()); // untitled: nothing to overwrite the template with
    QVERIFY(document.modified);
    if (!test_.headless)
        QVERIFY(document.visible);
    QCOMPARE(FileBytes(template_), templateBytes_);
    QVERIFY(QDir(test_.office.Folder()).entryList({QStringLiteral(".~lock*")}, QDir::Hidden | QDir::Files).isEmpty());
} catch (const std::exception &e) {
    QFAIL(qPrintable(Described(e)));
}

void TestCalcE2e::secondApplicationIsItsOwn()
try {
    QVERIFY(first_);
    auto second = Start();
    second->SetVisible(true);
    second->OpenWorkbook(template_);
    QCOMPARE(second->ReadActiveSheetCell(1, 1).text, QStringLiteral("VelkarHub settings"));
    second->SetActiveSheetCell(1, 1, QStringLiteral("second"));
    second.reset();
    // Dropping the second object left the first application and its workbook as they were.
    QCOMPARE(first_->ReadActiveSheetCell(1, 1).text, QStringLiteral("replaced"));
    QCOMPARE(FileBytes(template_), templateBytes_);
} catch (const std::exception &e) {
    QFAIL(qPrintable(Described(e)));
}

void TestCalcE2e::missingWorkbookFailsWithoutADialog()
try {
    QVERIFY(first_);
    try {
        first_->OpenWorkbook(test_.office.Folder() + QStringLiteral("/VelkarHubProjects/VelkarHub.xlsx"));
        QFAIL("a missing workbook opened");
    } catch (const EOleException &e) {
        QVERIFY2(e.Message().contains(QStringLiteral("could not be opened")), qPrintable(e.Message()));
    }
    // The office did not wait on a dialog: the application still serves its workbook.
    QCOMPARE(first_->ReadActiveSheetCell(1, 1).text, QStringLiteral("replaced"));
} catch (const std::exception &e) {
    QFAIL(qPrintable(Described(e)));
}

void TestCalcE2e::officeGoneFailsTheNextCall()
try {
    QVERIFY(first_);
    test_.office.KillAll();
    QVERIFY_THROWS_EXCEPTION(EOleException, first_->SetActiveSheetCell(17, 8, QStringLiteral("192")));
    QVERIFY_THROWS_EXCEPTION(EOleException, first_->SetActiveSheetCell(17, 10, QStringLiteral("168")));
    QCOMPARE(FileBytes(template_), templateBytes_);
} catch (const std::exception &e) {
    QFAIL(qPrintable(Described(e)));
}

QTEST_GUILESS_MAIN(TestCalcE2e)
#include "test_calc_e2e.moc"
