#pragma once
// The spreadsheet application as the window drives it by automation, behind interfaces
// so that window tests run on a scripted stand-in: an application object created by its
// programmatic name, made visible, opening a workbook by its full path and setting cells
// of its active sheet to texts.
//
// The desktop implementation is LibreOffice Calc, reached through velkarhub-calc-helper
// (office/CalcHelper.cpp), one helper process per application object; the program
// itself never links to the office, so it starts and runs where no office is installed.
#include <QString>
#include <QStringList>
#include <memory>

class QProcess;

// One application object. Every failure is an exception: EOleException (utilities/
// Exceptions.h). Dropping the object leaves the application and its workbooks open.
class ISpreadsheetApplication {
public:
    virtual ~ISpreadsheetApplication() = default;
    // Visible: shows (true) or hides the application's windows.
    virtual void SetVisible(bool visible) = 0;
    // WorkBooks.Open: opens the workbook at a full path.
    virtual void OpenWorkbook(const QString &fileName) = 0;
    // ActiveSheet.Cells[row, column] := text: the cell of the sheet that is active at this
    // moment, row and column counted from 1 (column 1 is A). The value stays a text: never
    // parsed as a number, a date or a formula.
    virtual void SetActiveSheetCell(int row, int column, const QString &text) = 0;
};

class ISpreadsheetAutomation {
public:
    virtual ~ISpreadsheetAutomation() = default;
    // Creates and starts a new application object by its programmatic name
    // ("Excel.Application"). Each call gives an object of its own, in an application of
    // its own. EOleSysError when nothing answers to that name or it cannot be started.
    virtual std::unique_ptr<ISpreadsheetApplication> CreateApplication(const QString &programmaticName) = 0;
};

// ---- the desktop implementation: LibreOffice Calc ---------------------------------

struct CalcAutomationOptions {
    // The helper executable; empty: velkarhub-calc-helper beside the running program.
    QString helper;
    // Passed to the helper (its --soffice, --pipe, --profile, --headless, --connect-ms).
    QStringList helperArguments;
    // Deadlines in milliseconds: reaching or launching the office (the helper gives up
    // on its own after its --connect-ms, 45 s unless given), opening a workbook, and every
    // other call. A call that misses its deadline ends the helper and fails.
    int startMs = 60000;
    int openMs = 60000;
    int callMs = 10000;
};

class CalcApplication : public ISpreadsheetApplication {
public:
    // Starts a helper and waits until it has reached the office. EOleSysError on failure.
    explicit CalcApplication(const CalcAutomationOptions &options);
    ~CalcApplication() override;
    CalcApplication(const CalcApplication &) = delete;
    CalcApplication &operator=(const CalcApplication &) = delete;

    void SetVisible(bool visible) override;
    void OpenWorkbook(const QString &fileName) override;
    void SetActiveSheetCell(int row, int column, const QString &text) override;

    // For tests: the text of a cell of the active sheet and what it holds ("empty",
    // "value", "text" or "formula").
    struct CellContent {
        QString text;
        QString kind;
    };
    CellContent ReadActiveSheetCell(int row, int column);
    // For tests: the location of the open workbook (empty while it is untitled),
    // whether it has unsaved changes and whether its window is visible.
    struct DocumentState {
        QString location;
        bool modified = false;
        bool visible = false;
    };
    DocumentState Document();
    // The process group of the office the helper launched; 0 when it found one running.
    qint64 OfficeProcessGroup() const { return officeGroup_; }

    // One request to the helper and its reply's values; EOleException on an error reply,
    // a broken reply, the helper's end, or no reply within the deadline. After any
    // failure but an error reply, the helper is gone and every later request fails.
    QStringList Request(const QStringList &request, int deadlineMs);

private:
    // Waits for the helper's next message until the deadline.
    QStringList Receive(int deadlineMs);
    // Ends the helper (killed) and fails this and every later request with the reason.
    [[noreturn]] void Lose(const QString &reason);
    void End();
    QString HelperOutputTail();

    CalcAutomationOptions options_;
    std::unique_ptr<QProcess> process_;
    struct Framing;
    std::unique_ptr<Framing> framing_;
    QString lost_; // why the helper is gone; empty while it serves
    QByteArray stderrTail_;
    qint64 officeGroup_ = 0;
};

class CalcAutomation : public ISpreadsheetAutomation {
public:
    explicit CalcAutomation(CalcAutomationOptions options = {});
    std::unique_ptr<ISpreadsheetApplication> CreateApplication(const QString &programmaticName) override;

private:
    CalcAutomationOptions options_;
};
