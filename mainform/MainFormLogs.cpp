// The operator log (Diagnostics page and Log.txt) and the fault log (FaultLog.txt).
#include "mainform/MainForm.h"

#include "controls/Controls.h"
#include "mainform/pages/AboutPage.h"
#include "mainform/pages/CommsPage.h"
#include "mainform/pages/DiagnosticsPage.h"
#include "utilities/Convert.h"
#include "utilities/Exceptions.h"
#include "utilities/TextFiles.h"

#include <QDir>
#include <QLocale>

using namespace ConfigConst;

QString TForm1::DataFolder() const { return TUtilities::CommonAppDataPath() + ConfigConst::DataFolder; }

namespace {

// Runs a save. Its failure goes to report only when the save before it worked (or it is
// the first), so a folder that stays unwritable is reported once, not at every try; the
// next failure after a save that worked is reported again.
template <typename Save, typename Report>
void SaveReportingOnce(bool &failing, Save save, Report report)
{
    try {
        save();
        failing = false;
    } catch (const std::exception &e) {
        if (failing)
            return;
        failing = true;
        report(e);
    }
}

} // namespace

void TForm1::MakeDataFolder() const
{
    // Only the last level of the folder is created.
    if (!QDir(DataFolder()).exists() && !QDir().mkdir(DataFolder()))
        throw EInOutError(QStringLiteral("Cannot create folder \"%1\"").arg(DataFolder()));
}

void TForm1::SaveLogFile()
{
    MakeDataFolder();
    TextFiles::Save(TUtilities::CommonAppDataPath() + LogFile, Diagnostics->Memo4->Lines());
}

void TForm1::SaveOperatorLog()
{
    // A log file that cannot be written must not stop the caller (the activation
    // registers the link blocks between its log lines): the failure is reported like any
    // other, once.
    SaveReportingOnce(
        LogSaveFailed,
        [this] {
            SaveLogFile();
            LinesSinceSave = 0;
        },
        [this](const std::exception &e) { ApplicationEvents1Exception(this, e); });
}

void TForm1::SaveLogAtClose()
{
    LogSavedAtClose = true;
    SaveOperatorLog();
}

void TForm1::SaveFaultLog()
{
    // The entries stay in the list when the file cannot be written; the next save that
    // works writes them all.
    SaveReportingOnce(
        FaultLogSaveFailed,
        [this] {
            MakeDataFolder();
            TextFiles::Save(TUtilities::CommonAppDataPath() + FaultLogFile, *FaultLog,
                            FaultLogEncoding.value_or(QStringConverter::Latin1), FaultLogEncoding.has_value());
        },
        [this](const std::exception &) {
            if (About->Label130)
                About->Label130->SetCaption(QStringLiteral("Exception in App Events"));
        });
}

void TForm1::LogMessage(const QString &Text)
{
    const QDateTime now = clock_.Now();
    if (Diagnostics->Memo4->Count() > OperatorLogMaxLines - 1)
        Diagnostics->Memo4->Delete(0);
    Diagnostics->Memo4->Add(QLocale().toString(now.time(), Convert::LongTimeFormat()) + QLatin1Char('.') +
               QString::number(now.time().msec()) + QStringLiteral(" : ") + Text);
    ++LinesSinceSave;
    if (LinesSinceSave > OperatorLogSaveEvery - 1) {
        // Tried again at the next line when it fails.
        SaveOperatorLog();
        // A fault log that could not be saved goes with it once the folder can be written.
        if (FaultLogSaveFailed && FaultLog)
            SaveFaultLog();
    }
}

void TForm1::ApplicationEvents1Exception(TComponent *, const std::exception &E)
{
    QString text;
    try {
        text = QStringLiteral("Exception: ") + ExceptionClassName(E) + QStringLiteral(" : ") + ExceptionMessage(E);
        Comms->Label93->SetVisible(true);
        Comms->Label93->SetCaption(text);
    } catch (...) {
        if (About->Label130)
            About->Label130->SetCaption(QStringLiteral("Exception in App Events"));
        return;
    }
    AddFaultLogLine(text);
}

void TForm1::AddFaultLogLine(const QString &text)
{
    try {
        if (!FaultLog)
            throw EListError(QStringLiteral("The fault log does not exist"));
        FaultLog->append(Convert::DateTimeToStr(clock_.Now()) + QStringLiteral(" - ") + text);
        if (FaultLog->size() > FaultLogMaxLines)
            FaultLog->removeFirst();
    } catch (...) {
        if (About->Label130)
            About->Label130->SetCaption(QStringLiteral("Exception in App Events"));
        return;
    }
    SaveFaultLog();
}
