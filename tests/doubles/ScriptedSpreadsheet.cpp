#include "ScriptedSpreadsheet.h"

#include "utilities/Exceptions.h"

// Shared by the automation and its application objects, which the window may hold
// after the automation's test has looked at it.
struct ScriptedSpreadsheets::Log {
    QStringList calls;
    std::vector<CellWrite> cells;
    int created = 0;
    int alive = 0;
    // Where the failures are scripted; null once the automation is gone.
    const ScriptedSpreadsheets *script = nullptr;

    // Records a call; true when it is to fail.
    bool Record(const QString &call)
    {
        calls << call;
        return script && ((script->failAtCall > 0 && calls.size() == script->failAtCall) ||
                          (script->failWhen && script->failWhen(call)));
    }
};

class ScriptedSpreadsheets::Application : public ISpreadsheetApplication {
public:
    Application(std::shared_ptr<Log> log, int number) : log_(std::move(log)), number_(number) { ++log_->alive; }
    ~Application() override
    {
        --log_->alive;
        log_->calls << QStringLiteral("Release(%1)").arg(number_);
    }
    void SetVisible(bool visible) override
    {
        Call(QStringLiteral("Visible(%1,%2)").arg(number_).arg(visible ? QStringLiteral("true") : QStringLiteral("false")));
    }
    void OpenWorkbook(const QString &fileName) override
    {
        Call(QStringLiteral("Open(%1,%2)").arg(number_).arg(fileName));
    }
    void SetActiveSheetCell(int row, int column, const QString &text) override
    {
        log_->cells.push_back({number_, row, column, text});
        Call(QStringLiteral("Cell(%1,%2,%3,%4)").arg(number_).arg(row).arg(column).arg(text));
    }

private:
    void Call(const QString &call)
    {
        if (log_->Record(call))
            throw EOleException(log_->script->failureMessage);
    }

    std::shared_ptr<Log> log_;
    int number_;
};

ScriptedSpreadsheets::ScriptedSpreadsheets() : log_(std::make_shared<Log>()) { log_->script = this; }

ScriptedSpreadsheets::~ScriptedSpreadsheets() { log_->script = nullptr; }

std::unique_ptr<ISpreadsheetApplication> ScriptedSpreadsheets::CreateApplication(const QString &programmaticName)
{
    if (log_->Record(QStringLiteral("Create(%1)").arg(programmaticName)))
        throw EOleSysError(failureMessage);
    return std::make_unique<Application>(log_, ++log_->created);
}

const QStringList &ScriptedSpreadsheets::Calls() const { return log_->calls; }

const std::vector<ScriptedSpreadsheets::CellWrite> &ScriptedSpreadsheets::Cells() const { return log_->cells; }

int ScriptedSpreadsheets::Created() const { return log_->created; }

int ScriptedSpreadsheets::Alive() const { return log_->alive; }

void ScriptedSpreadsheets::Clear()
{
    log_->calls.clear();
    log_->cells.clear();
}
