// Saving the operator log and the fault log into a data folder that cannot be written:
// each failure is reported once, not at every line or fault that follows, and again only
// after a save has worked; the memo and the fault log keep everything, and the first save
// that works once the folder can be written again writes it all.
#include "FormHarness.h"
#include "utilities/Exceptions.h"
#include "utilities/TextFiles.h"

#include <QDir>
#include <QFile>
#include <QtTest>

namespace {

QString LogPath() { return TestEnvironment::DataFolder() + "/VelkarHubData/Log.txt"; }
QString FaultLogPath() { return TestEnvironment::DataFolder() + "/VelkarHubData/FaultLog.txt"; }

QStringList FileLines(const QString &path)
{
    try {
        return TextFiles::Load(path).lines;
    } catch (const std::exception &) {
        return {};
    }
}

// A regular file where the logs' folder should be: neither log can be written.
void BlockLogFolder()
{
    QDir(TestEnvironment::DataFolder() + "/VelkarHubData").removeRecursively();
    QFile blocker(TestEnvironment::DataFolder() + "/VelkarHubData");
    QVERIFY(blocker.open(QIODevice::WriteOnly));
}

void UnblockLogFolder() { QVERIFY(QFile::remove(TestEnvironment::DataFolder() + "/VelkarHubData")); }

// The fault log's entries that report a failed save of the operator log.
qsizetype LogSaveReports(const TForm1 &f)
{
    return f.FaultLog->filter(QStringLiteral(" - Exception: EInOutError : Cannot create folder")).size();
}

FormHarness::Options Hidden()
{
    FormHarness::Options options;
    options.show = false;
    return options;
}

} // namespace

class TestFormLogSaves : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { TestEnvironment::Init(); }
    void operatorLogSaveFailureReportedOnce();
    void faultLogSaveFailureReportedOnce();
    void closeSavesEveryLine_data();
    void closeSavesEveryLine();
};

void TestFormLogSaves::operatorLogSaveFailureReportedOnce()
{
    FormHarness h(Hidden());
    TForm1 &f = h.form();
    BlockLogFolder();
    h.Show(); // the activation's 26th line tries the first save
    QCOMPARE(LogSaveReports(f), 1);
    QVERIFY2(f.Comms->Label93->Caption().startsWith(QStringLiteral("Exception: EInOutError : Cannot create folder")),
             qPrintable(f.Comms->Label93->Caption()));
    QCOMPARE(f.About->Label130->Caption(), QStringLiteral("Exception in App Events"));

    // Every further line tries the save again, and reports nothing more.
    for (int i = 0; i < 300; ++i)
        f.LogMessage(QStringLiteral("while blocked %1").arg(i));
    QCOMPARE(LogSaveReports(f), 1);
    QCOMPARE(f.FaultLog->size(), 1);
    const QStringList memo = f.Diagnostics->Memo4->Lines();
    QCOMPARE(memo.size(), 36 + 300);

    // Once the folder can be made, the next line writes every line of the memo, and the
    // fault log that could not be written goes with it.
    UnblockLogFolder();
    f.LogMessage(QStringLiteral("writable again"));
    QCOMPARE(FileLines(LogPath()), f.Diagnostics->Memo4->Lines());
    QCOMPARE(FileLines(LogPath()).mid(0, memo.size()), memo);
    QCOMPARE(FileLines(FaultLogPath()), *f.FaultLog);

    // A later failure, after that save worked, is reported again: at the 26th line.
    BlockLogFolder();
    for (int i = 1; i <= 25; ++i)
        f.LogMessage(QStringLiteral("after %1").arg(i));
    QCOMPARE(LogSaveReports(f), 1);
    f.LogMessage(QStringLiteral("after 26"));
    QCOMPARE(LogSaveReports(f), 2);
    for (int i = 0; i < 50; ++i)
        f.LogMessage(QStringLiteral("blocked again %1").arg(i));
    QCOMPARE(LogSaveReports(f), 2);
    QCOMPARE(f.Diagnostics->Memo4->Count(), 36 + 300 + 1 + 26 + 50);
}

void TestFormLogSaves::faultLogSaveFailureReportedOnce()
{
    FormHarness h(Hidden());
    TForm1 &f = h.form();
    BlockLogFolder();

    f.ApplicationEvents1Exception(&f, EConvertError(QStringLiteral("first")));
    QCOMPARE(f.About->Label130->Caption(), QStringLiteral("Exception in App Events"));
    // Shown again only after a save has worked: the label is left as it is meanwhile.
    f.About->Label130->SetCaption(QStringLiteral("seen"));
    f.ApplicationEvents1Exception(&f, EConvertError(QStringLiteral("second")));
    QCOMPARE(f.About->Label130->Caption(), QStringLiteral("seen"));
    // Each failure itself is shown and kept.
    QCOMPARE(f.Comms->Label93->Caption(), QStringLiteral("Exception: EConvertError : second"));
    QCOMPARE(f.FaultLog->size(), 2);
    QVERIFY(!QFile::exists(FaultLogPath()));

    // The next failure once the folder can be written saves every entry.
    UnblockLogFolder();
    f.ApplicationEvents1Exception(&f, ERangeError(QStringLiteral("third")));
    QCOMPARE(f.About->Label130->Caption(), QStringLiteral("seen"));
    const QStringList saved = FileLines(FaultLogPath());
    QCOMPARE(saved, *f.FaultLog);
    QCOMPARE(saved.size(), 3);
    QVERIFY(saved[0].endsWith(QStringLiteral(" - Exception: EConvertError : first")));
    QVERIFY(saved[2].endsWith(QStringLiteral(" - Exception: ERangeError : third")));

    // After that save, a failed one is reported again.
    BlockLogFolder();
    f.ApplicationEvents1Exception(&f, EConvertError(QStringLiteral("fourth")));
    QCOMPARE(f.About->Label130->Caption(), QStringLiteral("Exception in App Events"));

    // With no further fault, the operator log's next save writes the waiting entries.
    UnblockLogFolder();
    for (int i = 0; i < 30 && !QFile::exists(LogPath()); ++i)
        f.LogMessage(QStringLiteral("line"));
    QCOMPARE(f.Diagnostics->Memo4->Count(), 26);
    QCOMPARE(FileLines(FaultLogPath()), *f.FaultLog);
    QCOMPARE(f.FaultLog->size(), 4);
}

void TestFormLogSaves::closeSavesEveryLine_data()
{
    QTest::addColumn<bool>("iniWritable");
    QTest::addColumn<bool>("logWritable");
    // The close's last line is saved with the rest.
    QTest::newRow("close") << true << true;
    // The settings file cannot be written: the destruction steps after it are left out,
    // "Closing Package" among them, but not the save of the log.
    QTest::newRow("settings not written") << false << true;
    // The log file cannot be written: its failure is reported in the fault log, once.
    QTest::newRow("log not written") << true << false;
}

void TestFormLogSaves::closeSavesEveryLine()
{
    QFETCH(bool, iniWritable);
    QFETCH(bool, logWritable);
    FormHarness::Options options;
    options.projectsFolder = iniWritable;
    FormHarness h(options);
    TForm1 &f = h.form();
    // Lines past the last save (every 26 lines), the last of them a write's.
    using namespace TestUi;
    ClickTab(f, f.HubSettings->TabSheet1);
    ClickItem(f.HubSettings->LEDTest, 2);
    QVERIFY(f.Diagnostics->Memo4->Lines().last().endsWith(QStringLiteral(" : LED test setting written to VKH 16:205  Val: 2")));
    QCOMPARE(h.control.Writes().size(), size_t(1));
    QVERIFY(f.LinesSinceSave > 0);
    const QStringList memo = f.Diagnostics->Memo4->Lines();
    if (!logWritable) {
        // A folder where the file should be.
        QVERIFY(QFile::remove(LogPath()));
        QVERIFY(QDir().mkpath(LogPath()));
    }
    h.Destroy();

    const QStringList faults = FileLines(FaultLogPath());
    if (!logWritable) {
        QCOMPARE(faults.size(), 1);
        QVERIFY2(faults[0].contains(QStringLiteral(" - Exception: ")) && faults[0].contains(QStringLiteral("Log.txt")), qPrintable(faults[0]));
        return;
    }
    const QStringList saved = FileLines(LogPath());
    QCOMPARE(saved.mid(0, memo.size()), memo);
    if (iniWritable) {
        QCOMPARE(saved.size(), memo.size() + 1);
        QVERIFY2(saved.last().endsWith(QStringLiteral(" : Closing Package")), qPrintable(saved.last()));
        QCOMPARE(faults, QStringList{});
    } else {
        QCOMPARE(saved.size(), memo.size());
        QCOMPARE(faults.size(), 1);
        QVERIFY2(faults[0].contains(QStringLiteral(" - Exception: EFCreateError : ")), qPrintable(faults[0]));
    }
}

QTEST_MAIN(TestFormLogSaves)
#include "test_form_logsaves.moc"
