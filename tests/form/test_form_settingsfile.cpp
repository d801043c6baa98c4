// The settings file on a scripted control: "Save" writes the window's hub settings into
// the file byte for byte as the format says, "Load" checks the first line, converts every
// line and only then writes the five blocks and the identification text; a file that
// fails anywhere writes nothing. Both go through the file dialogs.
#include "FormHarness.h"
#include "SettingsFileTestKit.h"
#include "utilities/Exceptions.h"

#include <QDir>
#include <QFile>
#include <QScopeGuard>
#include <QStringEncoder>
#include <QtTest>

#include <csignal>
#include <linux/capability.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

using namespace TestUi;
using namespace SettingsFileKit;

namespace {

// The hub block that loading the golden file writes.
std::vector<int16_t> GoldenHubBlock()
{
    std::vector<int16_t> w{0, 2, 10, 12321, 502, 1500, 2, 1, 192, 168, 1, 50, 192, 168, 1, 254, 255, 255, 255, 0, W(0x8005)};
    for (int k = 1; k <= 80; ++k)
        w.push_back(static_cast<int16_t>(k < 80 ? 1000 + k : -5));
    w.push_back(0); // the LED test
    w.push_back(0x12);
    return w;
}

// The blocks that loading the golden file writes, by handle: the four links', the hub's
// and the identification text on the shared write handle.
std::map<int, std::vector<int16_t>> GoldenWrites()
{
    std::vector<int16_t> ident;
    for (QChar c : QStringLiteral("Pump Hall \u00C4    "))
        ident.push_back(static_cast<int16_t>(c.unicode()));
    return {
        {117, {3, 96, 0, 9, 1, 10, 0, 2}},
        {118, {7, 3, 5, 50, 4, 255, 1, 0}},
        {119, {15, 384, 10, 99, 2, 0, 1, 3}},
        {120, {0, 192, 1, 2, 3, 77, 0, 1}},
        {116, GoldenHubBlock()},
        {0, ident},
    };
}

// One block write as "handle unit:address=v1,v2,...".
QString WriteText(int handle, int unit, int address, const std::vector<int16_t> &words)
{
    QStringList texts;
    for (int16_t w : words)
        texts << QString::number(w);
    return QStringLiteral("%1 %2:%3=%4").arg(handle).arg(unit).arg(address).arg(texts.join(','));
}

// Every write started, in order.
QStringList Written(const ScriptedMbaxp &control)
{
    QStringList out;
    for (const auto &start : control.Writes())
        out << WriteText(start.handle, start.definition.slave, start.definition.address, start.words);
    return out;
}

// The writes of a load for blocks by handle, in the order a load sends them.
QStringList Expected(const std::map<int, std::vector<int16_t>> &blocks)
{
    QStringList out;
    for (int handle : {117, 118, 119, 120, 116, 0}) {
        const int unit = handle == 116 || handle == 0 ? 16 : handle - 100;
        const int address = handle == 116 ? 105 : handle == 0 ? 8999 : 1000;
        out << WriteText(handle, unit, address, blocks.at(handle));
    }
    return out;
}

void WriteFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), bytes.size());
}

QByteArray ReadFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Lines as a file's bytes: each followed by `end`, in an encoding with or without its
// byte-order mark.
QByteArray Encode(const QStringList &lines, const QString &end = QStringLiteral("\r\n"),
                  QStringConverter::Encoding encoding = QStringConverter::Latin1, bool byteOrderMark = false)
{
    QStringEncoder encoder(encoding, byteOrderMark ? QStringConverter::Flag::WriteBom : QStringConverter::Flag::Default);
    return encoder(lines.join(end) + end);
}

// "Load" clicked, its dialog answered with the file.
void Load(FormHarness &h, const QString &path)
{
    h.dialogs.fileAnswers.push_back(path);
    Click(h.form().Comms->Button26);
}

// While it lives, the calling thread is held to the permission bits of files and
// folders, the superuser too: its right to pass over them is dropped from the thread's
// effective capabilities and given back at the end. Without that right it changes nothing.
class PermissionBitsHold {
public:
    PermissionBitsHold()
    {
        if (syscall(SYS_capget, &header_, saved_) != 0)
            return;
        __user_cap_data_struct held[2] = {saved_[0], saved_[1]};
        held[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH));
        held_ = syscall(SYS_capset, &header_, held) == 0;
    }
    ~PermissionBitsHold()
    {
        if (held_)
            syscall(SYS_capset, &header_, saved_);
    }
    PermissionBitsHold(const PermissionBitsHold &) = delete;
    PermissionBitsHold &operator=(const PermissionBitsHold &) = delete;
    bool Held() const { return held_; }

private:
    __user_cap_header_struct header_{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct saved_[2]{};
    bool held_ = false;
};

void Save(FormHarness &h, const QString &path)
{
    h.dialogs.fileAnswers.push_back(path);
    Click(h.form().Comms->Button25);
}

// The golden lines with some replaced: each change is "line=text".
QStringList Changed(const QStringList &changes)
{
    QStringList lines = GoldenLines();
    for (const QString &change : changes) {
        const qsizetype at = change.indexOf(QLatin1Char('='));
        lines[change.left(at).toInt()] = change.mid(at + 1);
    }
    return lines;
}

// What the window shows, control by control: every edit's text, box's state, group's
// item and label's caption.
QMap<QString, QString> Shown(const TForm1 &f)
{
    QMap<QString, QString> shown;
    for (TEdit *e : f.ComponentsOf<TEdit>())
        shown[e->Name()] = e->Text();
    for (TCheckBox *b : f.ComponentsOf<TCheckBox>())
        shown[b->Name()] = b->Checked() ? QStringLiteral("ticked") : QStringLiteral("clear");
    for (TRadioGroup *g : f.ComponentsOf<TRadioGroup>())
        shown[g->Name()] = QString::number(g->ItemIndex());
    for (TLabel *l : f.ComponentsOf<TLabel>())
        shown[l->Name()] = l->Caption() + (l->Visible() ? QString() : QStringLiteral(" (hidden)"));
    return shown;
}

// A load that failed at a line (numbered from 0): nothing was written, and the failure
// reached the exception handling with the line (counted from 1, as an editor shows it).
void VerifyFailedAt(FormHarness &h, const QString &exceptionClass, int line)
{
    QVERIFY2(h.control.Writes().empty(), qPrintable(Written(h.control).join('\n')));
    const QString shown = h.form().Comms->Label93->Caption();
    QVERIFY(h.form().Comms->Label93->Visible());
    QVERIFY2(shown.startsWith(QStringLiteral("Exception: ") + exceptionClass + QStringLiteral(" : ")), qPrintable(shown));
    QVERIFY2(shown.contains(QStringLiteral("line %1 of the settings file").arg(line + 1)) ||
                 shown.contains(QStringLiteral("ends before line %1:").arg(line + 1)),
             qPrintable(shown));
    QVERIFY(h.dialogs.shown.back().what == ScriptedDialogs::Shown::What::OpenFile); // no box
}

} // namespace

class TestFormSettingsFile : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { TestEnvironment::Init(); }
    void init()
    {
        folder_ = std::make_unique<QTemporaryDir>();
        QVERIFY(folder_->isValid());
    }
    void buttonsAndDialogs();
    void desktopFilter_data();
    void desktopFilter();
    void goldenSave();
    void loadWritesFiveBlocksThenTheIdentification();
    void loadChangesNoControlButTheIdentification();
    void saveThenLoadWritesWhatTheWindowShowed();
    void identificationOfZeroRegistersComesBack();
    void fileSavedBeforeTheFirstResultLoadsNothing();
    void lineEndsAndEncodings_data();
    void lineEndsAndEncodings();
    void firstLine_data();
    void firstLine();
    void unreadableFiles_data();
    void unreadableFiles();
    void fileSize_data();
    void fileSize();
    void baudRatesTheGroupCannotShow_data();
    void baudRatesTheGroupCannotShow();
    void saveRefusesABaudCodeOfNoRate_data();
    void saveRefusesABaudCodeOfNoRate();
    void valueLines_data();
    void valueLines();
    void labelLinesAreNotRead();
    void linesAfterTheLastAreIgnored();
    void shortFiles_data();
    void shortFiles();
    void identification_data();
    void identification();
    void saveRefusesTextsTheFileCannotHold_data();
    void saveRefusesTextsTheFileCannotHold();
    void failedWriteKeepsTheOldFile();
    void unwritableFolderKeepsTheOldFile();
    void resultsOfTheFileHandlesDecodeNothing();

private:
    // A file in the test's own empty folder.
    QString Path(const QString &name) const { return folder_->filePath(name); }
    QString Folder() const { return folder_->path(); }
    std::unique_ptr<QTemporaryDir> folder_;
};

void TestFormSettingsFile::buttonsAndDialogs()
{
    FormHarness h;
    TForm1 &f = h.form();
    QCOMPARE(f.Comms->Button25->Caption(), QStringLiteral("Save"));
    QCOMPARE(f.Comms->Button26->Caption(), QStringLiteral("Load"));
    for (TButton *b : {f.Comms->Button25, f.Comms->Button26}) {
        QCOMPARE(b->HelpContext, 5000);
        QCOMPARE(b->HelpKeyword, QStringLiteral("Modbus_Related"));
    }
    const QString filter = QStringLiteral("Text file|*.txt|All Files|*.*");
    using What = ScriptedDialogs::Shown::What;
    const auto lastBox = [&] { return h.dialogs.shown.back(); };

    // Cancelled dialogs: nothing happens.
    Click(f.Comms->Button25);
    QCOMPARE(lastBox().what, What::SaveFile);
    QCOMPARE(lastBox().caption, filter);
    QCOMPARE(lastBox().defaultExt, QStringLiteral("txt"));
    QCOMPARE(lastBox().initial, QString());
    Click(f.Comms->Button26);
    QCOMPARE(lastBox().what, What::OpenFile);
    QCOMPARE(lastBox().caption, filter);
    QCOMPARE(lastBox().defaultExt, QStringLiteral(".txt"));
    QCOMPARE(lastBox().initial, QString());
    QCOMPARE(h.dialogs.shown.size(), size_t(2));
    QVERIFY(h.control.Writes().empty());
    QVERIFY(QDir(Folder()).isEmpty());

    // A save leaves its file in the open dialog, where the next load and save start.
    Save(h, Path("first.txt"));
    QVERIFY(QFile::exists(Path("first.txt")));
    QCOMPARE(f.OpenDialog1FileName, Path("first.txt"));
    Click(f.Comms->Button26);
    QCOMPARE(lastBox().initial, Path("first.txt"));
    Click(f.Comms->Button25);
    QCOMPARE(lastBox().initial, Path("first.txt"));
    // A load does not move it; a save that fails keeps it.
    WriteFile(Path("other.txt"), Golden());
    Load(h, Path("other.txt"));
    QCOMPARE(f.OpenDialog1FileName, Path("first.txt"));
    Save(h, Path("no-such-folder/second.txt"));
    QVERIFY(f.Comms->Label93->Caption().startsWith(QStringLiteral("Exception: EFCreateError : ")));
    QCOMPARE(f.OpenDialog1FileName, Path("first.txt"));
    Save(h, Path("second.txt"));
    QCOMPARE(f.OpenDialog1FileName, Path("second.txt"));
    Click(f.Comms->Button26);
    QCOMPARE(lastBox().initial, Path("second.txt"));
    // Neither logs anything.
    QVERIFY(!TestEnvironment::LogTexts(f).filter(QStringLiteral("ettings file")).size());
}

void TestFormSettingsFile::desktopFilter_data()
{
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QString>("desktop");
    QTest::newRow("settings file") << "Text file|*.txt|All Files|*.*" << "Text file (*.txt);;All Files (*)";
    QTest::newRow("several patterns") << "Pictures|*.png;*.jpg" << "Pictures (*.png *.jpg)";
    QTest::newRow("every file among others") << "Logs|*.log;*.*" << "Logs (*.log *)";
    QTest::newRow("none") << "" << "";
}

void TestFormSettingsFile::desktopFilter()
{
    // On this desktop "*.*" would offer only names with a dot: it is given as "*".
    QFETCH(QString, filter);
    QFETCH(QString, desktop);
    QCOMPARE(QtFileFilter(filter), desktop);
}

void TestFormSettingsFile::goldenSave()
{
    FormHarness h;
    ShowKnownState(h);
    QCOMPARE(h.form().Overview->Edit15->Text(), QStringLiteral("Pump Hall \u00C4    "));
    Save(h, Path("golden.txt"));
    QVERIFY(!h.form().Comms->Label93->Visible());
    const QByteArray saved = ReadFile(Path("golden.txt"));
    const QByteArray golden = Golden();
    QCOMPARE(golden.count("\r\n"), 218);
    QVERIFY(golden.endsWith("Pump Hall \xC4    \r\n")); // Latin-1, no byte-order mark
    QCOMPARE(saved, golden);
    // Saving needs no hub and writes nothing.
    QVERIFY(h.control.calls.isEmpty());
}

void TestFormSettingsFile::loadWritesFiveBlocksThenTheIdentification()
{
    FormHarness h;
    WriteFile(Path("golden.txt"), Golden());
    h.form().Overview->Button38->SetVisible(true);
    const qsizetype logged = TestEnvironment::LogTexts(h.form()).size();
    h.control.Clear();
    Load(h, Path("golden.txt"));
    QCOMPARE(Written(h.control), Expected(GoldenWrites()));
    // Each block is defined whole on its own handle and sent once.
    const QStringList definitions = h.control.calls.filter(QRegularExpression(QStringLiteral("^(Multi|Single|Once|Enable)")));
    QCOMPARE(definitions, (QStringList{"Multi(117,17,1000,8,1000)", "Once(117)", "Multi(118,18,1000,8,1000)", "Once(118)",
                                       "Multi(119,19,1000,8,1000)", "Once(119)", "Multi(120,20,1000,8,1000)", "Once(120)",
                                       "Multi(116,16,105,103,1000)", "Once(116)", "Multi(0,16,8999,15,1000)", "Once(0)"}));
    // The identification text went through "Apply".
    QCOMPARE(h.form().Overview->Edit15->Text(), QStringLiteral("Pump Hall \u00C4    "));
    QVERIFY(!h.form().Overview->Button38->Visible());
    QCOMPARE(TestEnvironment::LogTexts(h.form()).size(), logged);
    QVERIFY(!h.form().Comms->Label93->Visible());
}

void TestFormSettingsFile::loadChangesNoControlButTheIdentification()
{
    // On every page: the controls show the loaded values only once the hub sends them.
    FormHarness h;
    TForm1 &f = h.form();
    WriteFile(Path("golden.txt"), Golden());
    for (TTabSheet *page : {f.Overview->TabSheet8, f.HubSettings->TabSheet1, f.Ports[2]->Sheet, f.Comms->TabSheet7}) {
        ClickTab(f, page);
        FormHarness::ProcessEvents();
        f.Overview->Edit15->SetText(QStringLiteral("before"));
        QMap<QString, QString> before = Shown(f);
        h.control.Clear();
        Load(h, Path("golden.txt"));
        QCOMPARE(Written(h.control), Expected(GoldenWrites()));
        QMap<QString, QString> after = Shown(f);
        QCOMPARE(after.take(QStringLiteral("Edit15")), QStringLiteral("Pump Hall \u00C4    "));
        before.remove(QStringLiteral("Edit15"));
        for (auto it = before.cbegin(); it != before.cend(); ++it)
            QVERIFY2(after.value(it.key()) == it.value(), qPrintable(it.key() + ": " + it.value() + " -> " + after.value(it.key())));
        FormHarness::ProcessEvents(); // the activation after the dialog
    }
}

void TestFormSettingsFile::saveThenLoadWritesWhatTheWindowShowed()
{
    FormHarness h;
    ShowKnownState(h);
    Save(h, Path("shown.txt"));
    h.form().Overview->Edit15->SetText(QStringLiteral("changed since"));
    Load(h, Path("shown.txt"));
    QCOMPARE(Written(h.control), Expected(GoldenWrites()));
}

void TestFormSettingsFile::identificationOfZeroRegistersComesBack()
{
    // A hub whose identification registers hold 0: the characters of code 0 are kept in
    // the file and written back as 0.
    FormHarness h;
    ShowKnownState(h);
    h.control.DeliverOk(RegisterMap::Handle::IdentText, {'A', 'B', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 'Z'});
    Save(h, Path("zeros.txt"));
    QVERIFY(ReadFile(Path("zeros.txt")).endsWith(QByteArray("AB\0\0\0\0\0\0\0\0\0\0\0\0Z\r\n", 17)));
    h.control.Clear();
    Load(h, Path("zeros.txt"));
    auto expected = GoldenWrites();
    expected[0] = {'A', 'B', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 'Z'};
    QCOMPARE(Written(h.control), Expected(expected));
}

void TestFormSettingsFile::fileSavedBeforeTheFirstResultLoadsNothing()
{
    // Before the first results no radio group has an item: their lines hold "-1", and
    // such a file fails at its first group line, port 1's baud rate.
    FormHarness h;
    Save(h, Path("early.txt"));
    const QStringList lines = QString::fromLatin1(ReadFile(Path("early.txt"))).split(QStringLiteral("\r\n"));
    QCOMPARE(lines.size(), 219);
    for (int line : {5, 11, 17, 56, 62, 68, 71, 73, 75, 77, 83})
        QCOMPARE(lines[line], QStringLiteral("-1"));
    QCOMPARE(lines[3], QStringLiteral("1"));
    QCOMPARE(lines[15], QStringLiteral("0"));
    QCOMPARE(lines[85], QStringLiteral("false"));
    QCOMPARE(lines[217], QString());
    Load(h, Path("early.txt"));
    VerifyFailedAt(h, QStringLiteral("ERangeError"), 5);
}

void TestFormSettingsFile::lineEndsAndEncodings_data()
{
    QTest::addColumn<QByteArray>("bytes");
    const QStringList lines = GoldenLines();
    QTest::newRow("CR LF, Latin-1") << Encode(lines);
    QTest::newRow("LF") << Encode(lines, QStringLiteral("\n"));
    QTest::newRow("CR") << Encode(lines, QStringLiteral("\r"));
    QTest::newRow("no final line break") << Encode(lines).chopped(2);
    QByteArray mixed = Encode(lines);
    mixed.replace(QByteArrayLiteral("\r\nBaud\r\n"), QByteArrayLiteral("\nBaud\r"));
    QTest::newRow("mixed") << mixed;
    QTest::newRow("UTF-8 with byte-order mark") << Encode(lines, QStringLiteral("\r\n"), QStringConverter::Utf8, true);
    QTest::newRow("UTF-8, LF") << Encode(lines, QStringLiteral("\n"), QStringConverter::Utf8, true);
    QTest::newRow("UTF-16 LE") << Encode(lines, QStringLiteral("\r\n"), QStringConverter::Utf16LE, true);
    QTest::newRow("UTF-16 BE") << Encode(lines, QStringLiteral("\r\n"), QStringConverter::Utf16BE, true);
    QTest::newRow("UTF-16 LE, CR") << Encode(lines, QStringLiteral("\r"), QStringConverter::Utf16LE, true);
}

void TestFormSettingsFile::lineEndsAndEncodings()
{
    QFETCH(QByteArray, bytes);
    FormHarness h;
    WriteFile(Path("file.txt"), bytes);
    Load(h, Path("file.txt"));
    QCOMPARE(Written(h.control), Expected(GoldenWrites()));
}

void TestFormSettingsFile::firstLine_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QStringList lines = GoldenLines();
    const auto with = [&](const QString &first) {
        lines[0] = first;
        return Encode(lines);
    };
    QTest::newRow("lower case") << with(QStringLiteral("velkarhub from halvern"));
    QTest::newRow("another word in capitals") << with(QStringLiteral("VelkarHub From Halvern"));
    QTest::newRow("trailing blank") << with(QStringLiteral("VelkarHub from Halvern "));
    QTest::newRow("leading blank") << with(QStringLiteral(" VelkarHub from Halvern"));
    QTest::newRow("trailing tab") << with(QStringLiteral("VelkarHub from Halvern\t"));
    QTest::newRow("empty") << with(QString());
    QTest::newRow("another file") << with(QStringLiteral("[TForm1]"));
    lines[0] = QStringLiteral("\uFEFFVelkarHub from Halvern");
    QTest::newRow("a second byte-order mark") << Encode(lines, QStringLiteral("\r\n"), QStringConverter::Utf8, true);
    lines[0] = QStringLiteral("VelkarHub from Halvern");
    QTest::newRow("UTF-8 mark in a UTF-16 file")
        << QByteArray("\xFF\xFE") + QStringEncoder(QStringConverter::Utf16LE)(QStringLiteral("\uFEFF") + lines.join("\r\n"));
}

void TestFormSettingsFile::firstLine()
{
    QFETCH(QByteArray, bytes);
    FormHarness h;
    WriteFile(Path("file.txt"), bytes);
    h.form().Overview->Edit15->SetText(QStringLiteral("kept"));
    Load(h, Path("file.txt"));
    const auto &box = h.dialogs.shown.back();
    QCOMPARE(box.what, ScriptedDialogs::Shown::What::Message);
    QCOMPARE(box.text, QStringLiteral("This file is not as I expected it to be, I will not use it."));
    QCOMPARE(box.type, TMsgDlgType::mtError);
    QCOMPARE(box.buttons, TMsgDlgBtn::mbOK);
    QVERIFY(h.control.Writes().empty());
    QCOMPARE(h.form().Overview->Edit15->Text(), QStringLiteral("kept"));
    QVERIFY(!h.form().Comms->Label93->Visible());
}

void TestFormSettingsFile::unreadableFiles_data()
{
    // To the exception handling, with nothing written and no box.
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("bytes"); // none: the file does not exist
    QTest::addColumn<QString>("failure");
    QTest::newRow("missing") << "missing.txt" << QByteArray() << "EFOpenError : Cannot open file";
    QTest::newRow("empty") << "empty.txt" << QByteArray("") << "EListError : The settings file ends before line 1: it has 0 lines";
    QTest::newRow("only the first line") << "one.txt" << QByteArray("VelkarHub from Halvern\r\n")
                                         << "EListError : The settings file ends before line 4: it has 1 lines";
    QTest::newRow("a folder") << "folder" << QByteArray() << "EFOpenError : Cannot open file";
    // Special files (an absolute name): one that opens but fails to be read (its offset 0
    // is no mapped address: EIO, for the superuser too), and one without end.
    QTest::newRow("read fails after the opening") << "/proc/self/mem" << QByteArray()
                                                  << "EInOutError : Cannot read file \"/proc/self/mem\".";
    QTest::newRow("data without end") << "/dev/zero" << QByteArray()
                                      << "EInOutError : The file \"/dev/zero\" is larger than 65536 bytes";
}

void TestFormSettingsFile::unreadableFiles()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, failure);
    const QString path = name.startsWith(QLatin1Char('/')) ? name : Path(name);
    if (name == QLatin1String("folder"))
        QVERIFY(QDir(Folder()).mkpath(name));
    else if (!bytes.isNull())
        WriteFile(path, bytes);
    FormHarness h;
    Load(h, path);
    QVERIFY(h.control.Writes().empty());
    QVERIFY2(h.form().Comms->Label93->Caption().startsWith(QStringLiteral("Exception: ") + failure),
             qPrintable(h.form().Comms->Label93->Caption()));
    QCOMPARE(h.dialogs.shown.back().what, ScriptedDialogs::Shown::What::OpenFile);
}

void TestFormSettingsFile::fileSize_data()
{
    // The golden file followed by one line that a load ignores, to a size in bytes.
    QTest::addColumn<int>("size");
    QTest::addColumn<bool>("loads");
    QTest::newRow("64 KiB") << 65536 << true;
    QTest::newRow("one byte more") << 65537 << false;
    QTest::newRow("50 MB") << 50'000'000 << false;
}

void TestFormSettingsFile::fileSize()
{
    // A file far larger than the format can be is refused unread, with nothing sent.
    QFETCH(int, size);
    QFETCH(bool, loads);
    QByteArray bytes = Golden();
    bytes += QByteArray(size - bytes.size() - 2, 'x') + QByteArray("\r\n");
    QCOMPARE(bytes.size(), size);
    WriteFile(Path("file.txt"), bytes);
    bytes.clear();
    FormHarness h;
    h.form().Overview->Edit15->SetText(QStringLiteral("kept"));
    Load(h, Path("file.txt"));
    if (loads) {
        QCOMPARE(Written(h.control), Expected(GoldenWrites()));
        return;
    }
    QVERIFY2(h.control.Writes().empty(), qPrintable(Written(h.control).join('\n')));
    QCOMPARE(h.form().Comms->Label93->Caption(),
             QStringLiteral("Exception: EInOutError : The file \"%1\" is larger than 65536 bytes, far larger than a settings file "
                            "can be: it was not loaded")
                 .arg(Path("file.txt")));
    QCOMPARE(h.form().Overview->Edit15->Text(), QStringLiteral("kept"));
    QCOMPARE(h.dialogs.shown.back().what, ScriptedDialogs::Shown::What::OpenFile); // no box
}

void TestFormSettingsFile::baudRatesTheGroupCannotShow_data()
{
    // Codes of the file's baud table that no item of the "Baud Rate" group shows.
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("index");
    QTest::newRow("57600") << 576 << 8;
    QTest::newRow("115200") << 1152 << 9;
    QTest::newRow("128000") << 1280 << 10;
}

void TestFormSettingsFile::baudRatesTheGroupCannotShow()
{
    // Link 3 runs at a rate the group has no item for: the group shows none and nothing
    // is written back (port page 3 is shown); the file holds the rate's index, and loading
    // it writes the rate back to 4x1002 of unit 19.
    QFETCH(int, code);
    QFETCH(int, index);
    FormHarness h;
    TForm1 &f = h.form();
    ShowKnownState(h);
    ClickTab(f, f.Ports[2]->Sheet);
    QVERIFY(f.PortTab);
    h.control.Clear();
    h.control.DeliverOk(RegisterMap::Handle::LinkSettings + 2, {3, 15, W(code), 10, 99, 2, 0, 1, 3});
    QCOMPARE(f.Ports[2]->LinkSettings.Baud->ItemIndex(), -1);
    QVERIFY2(h.control.Writes().empty(), qPrintable(Written(h.control).join('\n')));

    Save(h, Path("fast.txt"));
    QVERIFY2(!f.Comms->Label93->Visible(), qPrintable(f.Comms->Label93->Caption()));
    QCOMPARE(ReadFile(Path("fast.txt")), Encode(Changed({QStringLiteral("39=%1").arg(index)})));
    h.control.Clear();
    Load(h, Path("fast.txt"));
    auto expected = GoldenWrites();
    expected[119][1] = static_cast<int16_t>(code);
    QCOMPARE(Written(h.control), Expected(expected));
}

void TestFormSettingsFile::saveRefusesABaudCodeOfNoRate_data()
{
    // A port whose hub reports a baud code that is in no row of the file's table.
    QTest::addColumn<int>("port");
    QTest::addColumn<int>("code");
    QTest::newRow("port 1, code 0") << 1 << 0;
    QTest::newRow("port 2, code 95") << 2 << 95;
    QTest::newRow("port 3, code 4800") << 3 << 4800;
    QTest::newRow("port 4, code -1") << 4 << -1;
}

void TestFormSettingsFile::saveRefusesABaudCodeOfNoRate()
{
    // The save is refused with an error box that names the port and the code: no file is
    // written, the old one stays whole, and the open dialog keeps its file.
    QFETCH(int, port);
    QFETCH(int, code);
    FormHarness h;
    TForm1 &f = h.form();
    ShowKnownState(h);
    const auto handle = static_cast<int16_t>(RegisterMap::Handle::LinkSettings + port - 1);
    h.control.DeliverOk(handle, {W(port), 1, W(code), 0, 9, 1, 10, 0, 2});
    f.OpenDialog1FileName = Path("before.txt");
    WriteFile(Path("old.txt"), Golden());
    for (const char *name : {"old.txt", "new.txt"}) {
        Save(h, Path(name));
        const auto &box = h.dialogs.shown.back();
        QCOMPARE(box.what, ScriptedDialogs::Shown::What::Message);
        QCOMPARE(box.text, QStringLiteral("The settings file was not saved.\r\nPort %1 of the hub reports baud code %2, which is "
                                          "none of the baud rates a settings file can hold.")
                               .arg(port)
                               .arg(code));
        QCOMPARE(box.type, TMsgDlgType::mtError);
        QCOMPARE(box.buttons, TMsgDlgBtn::mbOK);
    }
    QCOMPARE(ReadFile(Path("old.txt")), Golden());
    QCOMPARE(QDir(Folder()).entryList(QDir::Files | QDir::Hidden), QStringList{"old.txt"});
    QCOMPARE(f.OpenDialog1FileName, Path("before.txt"));
    QVERIFY(!f.Comms->Label93->Visible());
    QVERIFY(h.control.Writes().empty());

    // Once the hub reports a rate of the table, the save goes ahead.
    h.control.DeliverOk(handle, {W(port), 1, 12, 0, 9, 1, 10, 0, 2});
    Save(h, Path("new.txt"));
    const QStringList saved = QString::fromLatin1(ReadFile(Path("new.txt"))).split(QStringLiteral("\r\n"));
    QCOMPARE(saved.value(17 * (port - 1) + 5), QStringLiteral("2"));
    QCOMPARE(f.OpenDialog1FileName, Path("new.txt"));
}

void TestFormSettingsFile::valueLines_data()
{
    // Lines of the golden file replaced (each "line=text"); then either one word of one
    // block differs from the golden writes, or the load fails at a line and writes nothing.
    QTest::addColumn<QStringList>("changes");
    QTest::addColumn<int>("handle");
    QTest::addColumn<int>("word");
    QTest::addColumn<int>("value");
    QTest::addColumn<QString>("failure"); // the exception class, when the load fails
    QTest::addColumn<int>("failedLine");
    const auto writes = [](const char *name, QStringList changes, int handle, int word, int value) {
        QTest::newRow(name) << changes << handle << word << value << QString() << -1;
    };
    const auto fails = [](const char *name, QStringList changes, const char *failure, int line) {
        QTest::newRow(name) << changes << 0 << 0 << 0 << QString::fromLatin1(failure) << line;
    };
    // Numbers: a register's signed value, written without a range check of its own.
    writes("number 32767", {"79=32767"}, 116, 4, 32767);
    writes("number -32768", {"79=-32768"}, 116, 4, -32768);
    writes("number with plus sign", {"79=+7"}, 116, 4, 7);
    writes("number 0", {"81=0"}, 116, 5, 0);
    writes("address above 99", {"7=150"}, 117, 2, 150);
    writes("no-reply limit above 255", {"64=1000"}, 120, 5, 1000);
    writes("link number above 15", {"3=99"}, 117, 0, 99);
    writes("address part 300", {"87=300"}, 116, 8, 300);
    writes("mask part", {"100=128"}, 116, 19, 128);
    writes("first range value", {"102=0"}, 116, 21, 0);
    writes("last range value", {"181=-32768"}, 116, 100, -32768);
    fails("number 32768", {"79=32768"}, "ERangeError", 79);
    fails("number -32769", {"79=-32769"}, "ERangeError", 79);
    fails("number beyond 32 bits", {"79=99999999999"}, "EConvertError", 79);
    fails("leading blank", {"79= 1"}, "EConvertError", 79);
    fails("trailing blank", {"79=1 "}, "EConvertError", 79);
    fails("hexadecimal", {"79=0x10"}, "EConvertError", 79);
    fails("decimal point", {"79=1.5"}, "EConvertError", 79);
    fails("empty number", {"79="}, "EConvertError", 79);
    fails("range value not a number", {"150=abc"}, "EConvertError", 150);
    // Fast command broadcast: a number, not a Boolean text.
    writes("fast broadcast 2", {"15=2"}, 117, 6, 2);
    fails("fast broadcast true", {"15=true"}, "EConvertError", 15);
    // Baud: an index 0 to 10, written as its code.
    const int codes[] = {3, 6, 12, 24, 48, 96, 192, 384, 576, 1152, 1280};
    for (int item = 0; item <= 10; ++item)
        QTest::newRow(qPrintable(QStringLiteral("baud %1").arg(item)))
            << QStringList{QStringLiteral("39=%1").arg(item)} << 119 << 1 << codes[item] << QString() << -1;
    fails("baud 11", {"5=11"}, "ERangeError", 5);
    fails("baud -1", {"22=-1"}, "ERangeError", 22);
    // Link control: the hub's link modes; an index outside the group's five items fails.
    const int modes[] = {0, 1, 2, 10, 12321};
    for (int item = 0; item <= 4; ++item)
        QTest::newRow(qPrintable(QStringLiteral("link control %1").arg(item)))
            << QStringList{QStringLiteral("73=%1").arg(item)} << 116 << 1 << modes[item] << QString() << -1;
    fails("link control 5", {"71=5"}, "ERangeError", 71);
    fails("link control -1", {"77=-1"}, "ERangeError", 77);
    fails("link control text", {"75=Simulate Link"}, "EConvertError", 75);
    // The other groups: an index as it is, only within the group's items.
    writes("conflict 4", {"28=4"}, 118, 4, 4);
    writes("conflict 0", {"11=0"}, 117, 4, 0);
    fails("conflict 5", {"11=5"}, "ERangeError", 11);
    fails("conflict -1", {"62=-1"}, "ERangeError", 62);
    writes("input data 3", {"17=3"}, 117, 7, 3);
    fails("input data 4", {"17=4"}, "ERangeError", 17);
    fails("input data -1", {"68=-1"}, "ERangeError", 68);
    writes("time-out action 3", {"83=3"}, 116, 6, 3);
    fails("time-out action 4", {"83=4"}, "ERangeError", 83);
    fails("time-out action -1", {"83=-1"}, "ERangeError", 83);
    // "Use Fixed IP": 0 only for exactly "false".
    writes("fixed address false", {"85=false"}, 116, 7, 0);
    writes("fixed address true", {"85=true"}, 116, 7, 1);
    writes("fixed address False", {"85=False"}, 116, 7, 1);
    writes("fixed address 0", {"85=0"}, 116, 7, 1);
    writes("fixed address empty", {"85="}, 116, 7, 1);
    // Range bits: set only by exactly "1" (the golden access mask is ranges 1, 3, 16).
    writes("range use blank and 1", {"183= 1"}, 116, 20, W(0x8004));
    writes("range use yes", {"183=yes"}, 116, 20, W(0x8004));
    writes("range use 01", {"183=01"}, 116, 20, W(0x8004));
    writes("range use 2 ticked", {"184=1"}, 116, 20, W(0x8007));
    QStringList onlyRange16;
    for (int line = 183; line <= 197; ++line)
        onlyRange16 << QStringLiteral("%1=0").arg(line);
    writes("only range 16", onlyRange16 << "198=1", 116, 20, -32768);
    writes("control range 1", {"200=1"}, 116, 102, 0x13);
    writes("control range 16", {"215=1"}, 116, 102, W(0x8012));
    writes("control range 2 cleared", {"201=true"}, 116, 102, 0x10);
    // The first line that fails is the one reported, in the order of the file.
    fails("first failure wins", {"100=abc", "17=9", "217=\u9000"}, "ERangeError", 17);
    fails("a port before the hub", {"71=-1", "56=-1"}, "ERangeError", 56);
}

void TestFormSettingsFile::valueLines()
{
    QFETCH(QStringList, changes);
    QFETCH(int, handle);
    QFETCH(int, word);
    QFETCH(int, value);
    QFETCH(QString, failure);
    QFETCH(int, failedLine);
    FormHarness h;
    h.form().Overview->Edit15->SetText(QStringLiteral("kept"));
    WriteFile(Path("file.txt"), Encode(Changed(changes), QStringLiteral("\r\n"), QStringConverter::Utf8, true));
    Load(h, Path("file.txt"));
    if (!failure.isEmpty()) {
        VerifyFailedAt(h, failure, failedLine);
        QCOMPARE(h.form().Overview->Edit15->Text(), QStringLiteral("kept"));
        return;
    }
    auto expected = GoldenWrites();
    expected[handle][static_cast<size_t>(word)] = static_cast<int16_t>(value);
    QCOMPARE(Written(h.control), Expected(expected));
}

void TestFormSettingsFile::labelLinesAreNotRead()
{
    // Only line 0 is checked: altered, emptied or swapped labels load the same.
    QStringList lines = GoldenLines();
    lines[53] = QStringLiteral("Link Number");
    lines[70] = QString();
    lines[96] = QStringLiteral("Sub Net Mask");
    lines[216] = QStringLiteral("***** Quorvane Port 1 *****");
    for (int line : {1, 2, 4, 6, 8, 10, 12, 14, 16, 69, 72, 78, 80, 82, 84, 86, 91, 101, 182, 199})
        lines[line] = QStringLiteral("anything %1").arg(line);
    FormHarness h;
    WriteFile(Path("file.txt"), Encode(lines));
    Load(h, Path("file.txt"));
    QCOMPARE(Written(h.control), Expected(GoldenWrites()));
}

void TestFormSettingsFile::linesAfterTheLastAreIgnored()
{
    FormHarness h;
    WriteFile(Path("file.txt"), Encode(GoldenLines() << QStringLiteral("-1") << QString() << QStringLiteral("not a number")));
    Load(h, Path("file.txt"));
    QCOMPARE(Written(h.control), Expected(GoldenWrites()));
}

void TestFormSettingsFile::shortFiles_data()
{
    QTest::addColumn<int>("lines");
    QTest::addColumn<int>("failedLine");
    QTest::newRow("100 lines") << 100 << 100;
    QTest::newRow("ends after the ranges") << 190 << 190;
    QTest::newRow("ends before a label line") << 101 << 102;
    QTest::newRow("without the identification") << 217 << 217;
    QTest::newRow("without port 4") << 52 << 54;
}

void TestFormSettingsFile::shortFiles()
{
    QFETCH(int, lines);
    QFETCH(int, failedLine);
    FormHarness h;
    WriteFile(Path("file.txt"), Encode(GoldenLines().mid(0, lines)));
    Load(h, Path("file.txt"));
    VerifyFailedAt(h, QStringLiteral("EListError"), failedLine);
    QVERIFY(h.form().Comms->Label93->Caption().endsWith(QStringLiteral(": it has %1 lines").arg(lines)));
}

void TestFormSettingsFile::identification_data()
{
    QTest::addColumn<QByteArray>("ending"); // the bytes after line 216
    QTest::addColumn<QString>("sent");      // the 15 characters sent; none: the load fails
    QTest::newRow("empty line") << QByteArray("\r\n") << QStringLiteral("               ");
    QTest::newRow("empty line, LF") << QByteArray("\n") << QStringLiteral("               ");
    QTest::newRow("empty line, then an empty line") << QByteArray("\r\n\r\n") << QStringLiteral("               ");
    QTest::newRow("longer than 15") << QByteArray("A name of more than fifteen\r\n") << QStringLiteral("A name of more ");
    QTest::newRow("blanks kept") << QByteArray("  x  \r\n") << QStringLiteral("  x            ");
    QTest::newRow("no line") << QByteArray() << QString();
}

void TestFormSettingsFile::identification()
{
    QFETCH(QByteArray, ending);
    QFETCH(QString, sent);
    QByteArray bytes = Encode(GoldenLines().mid(0, 217));
    bytes += ending;
    FormHarness h;
    WriteFile(Path("file.txt"), bytes);
    Load(h, Path("file.txt"));
    if (sent.isNull()) {
        VerifyFailedAt(h, QStringLiteral("EListError"), 217);
        return;
    }
    auto expected = GoldenWrites();
    expected[0].clear();
    for (QChar c : sent)
        expected[0].push_back(static_cast<int16_t>(c.unicode()));
    QCOMPARE(Written(h.control), Expected(expected));
}

void TestFormSettingsFile::saveRefusesTextsTheFileCannotHold_data()
{
    // A text that would not come back as it is: the save fails with what is wrong, and
    // whatever file was there stays as it was.
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("message");
    const QString breakText = QStringLiteral("holds a line break, which a line of the file cannot hold");
    QTest::newRow("line feed") << "Edit15" << QStringLiteral("Hall\n2") << "the identification text " + breakText;
    QTest::newRow("carriage return") << "Edit15" << QStringLiteral("Hall\r") << "the identification text " + breakText;
    QTest::newRow("CR LF") << "Edit15" << QStringLiteral("\r\nHall") << "the identification text " + breakText;
    QTest::newRow("in an edit") << "IP_Port" << QStringLiteral("50\n2") << "the text of IP_Port " + breakText;
    QTest::newRow("outside Latin-1") << "Edit15" << QStringLiteral("Hall \u03A9")
                                     << "the identification text holds the character U+03A9, which the file's code page "
                                        "(Latin-1) cannot hold";
}

void TestFormSettingsFile::saveRefusesTextsTheFileCannotHold()
{
    QFETCH(QString, control);
    QFETCH(QString, text);
    QFETCH(QString, message);
    FormHarness h;
    TForm1 &f = h.form();
    ShowKnownState(h);
    f.Find<TEdit>(control)->SetText(text);
    Save(h, Path("new.txt"));
    QCOMPARE(f.Comms->Label93->Caption(),
             QStringLiteral("Exception: EConvertError : The settings file was not saved: ") + message);
    QVERIFY(!QFile::exists(Path("new.txt")));
    WriteFile(Path("old.txt"), Golden());
    Save(h, Path("old.txt"));
    QCOMPARE(ReadFile(Path("old.txt")), Golden());
    QCOMPARE(f.OpenDialog1FileName, QString());
    QCOMPARE(QDir(Folder()).entryList(QDir::Files), QStringList{"old.txt"});
}

void TestFormSettingsFile::failedWriteKeepsTheOldFile()
{
    // A write that fails half way (here: the process may write no file larger than 300
    // bytes) leaves the old file whole and no temporary file behind.
    WriteFile(Path("settings.txt"), Golden());
    FormHarness h;
    TForm1 &f = h.form();
    f.OpenDialog1FileName = Path("before.txt");
    rlimit previous{};
    QCOMPARE(getrlimit(RLIMIT_FSIZE, &previous), 0);
    void (*previousHandler)(int) = std::signal(SIGXFSZ, SIG_IGN);
    const auto restore = qScopeGuard([&] {
        setrlimit(RLIMIT_FSIZE, &previous);
        std::signal(SIGXFSZ, previousHandler);
    });
    rlimit small = previous;
    small.rlim_cur = 300;
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
    Save(h, Path("settings.txt"));
    setrlimit(RLIMIT_FSIZE, &previous);
    QVERIFY2(f.Comms->Label93->Caption().startsWith(QStringLiteral("Exception: EFCreateError : Cannot create file")),
             qPrintable(f.Comms->Label93->Caption()));
    QCOMPARE(ReadFile(Path("settings.txt")), Golden());
    QCOMPARE(QDir(Folder()).entryList(QDir::Files | QDir::Hidden), QStringList{"settings.txt"});
    QCOMPARE(f.OpenDialog1FileName, Path("before.txt"));
}

void TestFormSettingsFile::unwritableFolderKeepsTheOldFile()
{
    // Where no temporary file can be created beside it, the file is not written in place
    // (which a failure could leave cut short): the save fails. The folder is read-only,
    // the superuser held to that too, while the file in it stays writable: a save that
    // fell back to writing in place would change it.
    QVERIFY(QDir(Folder()).mkpath(QStringLiteral("locked")));
    const QString locked = Path(QStringLiteral("locked"));
    WriteFile(locked + QStringLiteral("/settings.txt"), QByteArray("old"));
    QVERIFY(QFile::setPermissions(locked, QFile::ReadOwner | QFile::ExeOwner));
    const auto restore = qScopeGuard([&] { QFile::setPermissions(locked, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner); });
    FormHarness h;
    {
        PermissionBitsHold hold;
        QVERIFY(hold.Held());
        Save(h, locked + QStringLiteral("/settings.txt"));
    }
    QVERIFY2(h.form().Comms->Label93->Caption().startsWith(QStringLiteral("Exception: EFCreateError : ")),
             qPrintable(h.form().Comms->Label93->Caption()));
    QCOMPARE(ReadFile(locked + QStringLiteral("/settings.txt")), QByteArray("old"));
    QCOMPARE(QDir(locked).entryList(QDir::Files | QDir::Hidden), QStringList{"settings.txt"});
}

void TestFormSettingsFile::resultsOfTheFileHandlesDecodeNothing()
{
    FormHarness h;
    TForm1 &f = h.form();
    WriteFile(Path("golden.txt"), Golden());
    Load(h, Path("golden.txt"));
    FormHarness::ProcessEvents();
    const QMap<QString, QString> before = Shown(f);
    for (int16_t handle = 116; handle <= 120; ++handle) {
        f.Frame->ILLed1->SetValue(false);
        h.control.Clear();
        h.control.DeliverOk(handle, std::vector<int16_t>(103, -1));
        QVERIFY(f.Frame->ILLed1->Value());
        QVERIFY(h.control.calls.isEmpty());
    }
    QCOMPARE(Shown(f), before);
    // An error is shown with its handle.
    h.control.DeliverError(117, 2);
    QVERIFY2(f.Comms->Label4->Caption().endsWith(QStringLiteral(" : 117")), qPrintable(f.Comms->Label4->Caption()));
}

QTEST_MAIN(TestFormSettingsFile)
#include "test_form_settingsfile.moc"
