// The profile file store (letter case, trimming, UTF-7 coded values, immediate CR LF
// writes, missing folders, stored files kept as they are, changes made by others, failed
// writes), the UTF-7 coding itself, and the saving and restoring of control values.
#include "ControlsTestKit.h"
#include "controls/IniFiles.h"

#include <QButtonGroup>
#include <QDir>
#include <QFile>
#include <QStringEncoder>
#include <QTemporaryDir>

#include <csignal>
#include <sys/resource.h>

namespace {

QByteArray ReadBytes(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

void WriteBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

// Every line break of the file is CR LF, and the file ends with one.
bool AllLinesCrLf(const QByteArray &bytes)
{
    for (qsizetype i = 0; i < bytes.size(); ++i)
        if (bytes[i] == '\n' && (i == 0 || bytes[i - 1] != '\r'))
            return false;
    return bytes.endsWith("\r\n");
}

QString U(const char *utf8) { return QString::fromUtf8(utf8); }

// The text in UTF-16 after its byte-order mark.
QByteArray Utf16(const QString &text, QStringConverter::Encoding encoding)
{
    QStringEncoder encoder(encoding, QStringConverter::Flag::WriteBom);
    return encoder(text);
}

// The keys every stored-file case is read at, and what "-" stands for: no such key.
const std::pair<const char *, const char *> kProbes[] = {
    {"TForm1", "Edit1.Text"}, {"TForm1", "RadioButton1.Checked"}, {"Port Descriptions", "Port 1"}, {"Port Descriptions", "Port 3"}};
const QString kMissing = QStringLiteral("-");

// A store of its own on the file, read at every probe.
QStringList ReadProbes(const QString &path)
{
    TIniFileStore store;
    store.SetFileName(path);
    store.Open();
    QStringList values;
    for (const auto &[section, key] : kProbes)
        values << store.ReadString(QString::fromLatin1(section), QString::fromLatin1(key), kMissing);
    return values;
}

// Lowers the largest file this process may write for as long as it lives (root too is
// bound by it); a write beyond it fails instead of raising SIGXFSZ.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &saved_);
        previous_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit lowered = saved_;
        lowered.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &lowered);
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, previous_);
    }

private:
    rlimit saved_{};
    void (*previous_)(int) = nullptr;
};

} // namespace

class TestIniFiles : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup() { Guard::SetExceptionHandler(nullptr); }

    void utf7_data();
    void utf7();
    void namesMatchWithoutLetterCase_data();
    void namesMatchWithoutLetterCase();
    void readValues_data();
    void readValues();
    void writtenValues_data();
    void writtenValues();
    void everyWriteReachesFileAtOnce();
    void missingFolderThrowsAndIsNotCreated();
    void storedFilesReadAndStayAsTheyAre_data();
    void storedFilesReadAndStayAsTheyAre();
    void writeChangesOnlyItsLine_data();
    void writeChangesOnlyItsLine();
    void changesByOthersAreKept();
    void failedWriteKeepsTheFile();

    void restoreTrimsAndRunsHandlers();
    void restoreCheckMarks_data();
    void restoreCheckMarks();
    void restoreGoesOnAfterFailingValue();
    void saveInOrderAdded();
    void saveAndRestoreRoundTrip();
    void saveIntoMissingFolderFails();

private:
    QString Path() const { return dir_->filePath(QStringLiteral("VelkarHub.ini")); }
    std::unique_ptr<QTemporaryDir> dir_;
};

void TestIniFiles::init()
{
    dir_ = std::make_unique<QTemporaryDir>();
    QVERIFY(dir_->isValid());
}

// ------------------------------------------------------------ UTF-7

void TestIniFiles::utf7_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("coded");
    QTest::addColumn<bool>("encodes"); // false: a valid coding, but not the one the encoder picks
    QTest::newRow("RFC example: smiley") << U("Hi Mom -\u263A-!") << "Hi Mom -+Jjo--!" << true;
    QTest::newRow("RFC example: Japanese") << U("\u65E5\u672C\u8A9E") << "+ZeVnLIqe-" << true;
    QTest::newRow("RFC example: pound sign") << U("Item 3 is \u00A31.") << "Item 3 is +AKM-1." << true;
    QTest::newRow("RFC example: run ended by a period") << U("A\u2262\u0391.") << "A+ImIDkQ." << false;
    QTest::newRow("plus sign") << "1 + 1 = 2" << "1 +- 1 = 2" << true;
    QTest::newRow("plain text") << "Port 1 (COM3), 19200/8/N/1" << "Port 1 (COM3), 19200/8/N/1" << true;
    QTest::newRow("empty") << "" << "" << true;
    QTest::newRow("run followed by a base64 letter") << U("\u65E5a") << "+ZeU-a" << true;
    QTest::newRow("euro sign") << U("\u20AC") << "+IKw-" << true;
    QTest::newRow("letter whose low byte is a direct character") << U("\u0128") << "+ASg-" << true;
    QTest::newRow("backslash and tilde are coded") << "\\~" << "+AFwAfg-" << true;
    QTest::newRow("outside the basic plane") << U("\U0001D11E") << "+2DTdHg-" << true;
}

void TestIniFiles::utf7()
{
    QFETCH(QString, text);
    QFETCH(QString, coded);
    QFETCH(bool, encodes);
    QCOMPARE(Utf7::Decode(coded), text);
    if (encodes)
        QCOMPARE(Utf7::Encode(text), coded);
    QCOMPARE(Utf7::Decode(Utf7::Encode(text)), text);
}

// ------------------------------------------------------------ the store

void TestIniFiles::namesMatchWithoutLetterCase_data()
{
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");
    QTest::newRow("as written") << "Hub" << "UnitId";
    QTest::newRow("upper case") << "HUB" << "UNITID";
    QTest::newRow("lower case") << "hub" << "unitid";
    QTest::newRow("mixed") << "hUb" << "uNiTiD";
}

void TestIniFiles::namesMatchWithoutLetterCase()
{
    QFETCH(QString, section);
    QFETCH(QString, key);
    WriteBytes(Path(), "[Other]\r\nUnitId=1\r\n\r\n[Hub]\r\nUnitId=17\r\nPort=502\r\n");
    TIniFileStore store;
    store.SetFileName(Path());
    QCOMPARE(store.ReadString(section, key, QStringLiteral("none")), QStringLiteral("17"));
    store.WriteString(section, key, QStringLiteral("18"));
    QCOMPARE(store.ReadString(QStringLiteral("Hub"), QStringLiteral("UnitId"), QStringLiteral("none")), QStringLiteral("18"));
    // The existing line was replaced: one section, one key, the other section untouched.
    const QString text = QString::fromLatin1(ReadBytes(Path()));
    QCOMPARE(text.count(QStringLiteral("[hub]"), Qt::CaseInsensitive), 1);
    QCOMPARE(text.count(QStringLiteral("unitid="), Qt::CaseInsensitive), 2);
    QVERIFY(text.startsWith(QStringLiteral("[Other]\r\nUnitId=1\r\n")));
    QVERIFY(text.contains(QStringLiteral("=18\r\nPort=502\r\n")));
}

void TestIniFiles::readValues_data()
{
    QTest::addColumn<QByteArray>("line"); // in section [Main]
    QTest::addColumn<QString>("value");
    QTest::newRow("plain") << QByteArray("Name=abc") << "abc";
    QTest::newRow("blanks around the value") << QByteArray("Name=   abc   ") << "abc";
    QTest::newRow("tabs around the value") << QByteArray("Name=\tabc\t") << "abc";
    QTest::newRow("blanks around the key") << QByteArray("  Name  = abc") << "abc";
    QTest::newRow("inner blanks kept") << QByteArray("Name=  a b  c ") << "a b  c";
    QTest::newRow("equals sign in the value") << QByteArray("Name=a=b") << "a=b";
    QTest::newRow("empty value") << QByteArray("Name=") << "";
    QTest::newRow("Latin-1 value") << QByteArray("Name=Gr\xF6\xDF" "e") << U("Gr\u00F6\u00DFe");
    QTest::newRow("UTF-7 coded") << QByteArray("Name=UTF7-coded:+ZeVnLIqe-") << U("\u65E5\u672C\u8A9E");
    QTest::newRow("UTF-7 coded, blanks around") << QByteArray("Name=  UTF7-coded:Hi Mom -+Jjo--!  ")
                                                << U("Hi Mom -\u263A-!");
    QTest::newRow("missing key gives the default") << QByteArray("Other=abc") << "default";
}

void TestIniFiles::readValues()
{
    QFETCH(QByteArray, line);
    QFETCH(QString, value);
    WriteBytes(Path(), "[Main]\r\n" + line + "\r\n");
    TIniFileStore store;
    store.SetFileName(Path());
    QCOMPARE(store.ReadString(QStringLiteral("Main"), QStringLiteral("Name"), QStringLiteral("default")), value);
}

void TestIniFiles::writtenValues_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<QByteArray>("line"); // as stored in the file
    QTest::newRow("ASCII") << "192.168.0.10" << QByteArray("Name=192.168.0.10");
    QTest::newRow("Latin-1 stays 8-bit") << U("Gr\u00F6\u00DFe 5\u00B0C") << QByteArray("Name=Gr\xF6\xDF" "e 5\xB0" "C");
    QTest::newRow("Japanese coded") << U("\u65E5\u672C\u8A9E") << QByteArray("Name=UTF7-coded:+ZeVnLIqe-");
    QTest::newRow("euro sign coded") << U("5 \u20AC") << QByteArray("Name=UTF7-coded:5 +IKw-");
    QTest::newRow("mixed text coded") << U("Hi Mom -\u263A-!") << QByteArray("Name=UTF7-coded:Hi Mom -+Jjo--!");
}

void TestIniFiles::writtenValues()
{
    QFETCH(QString, value);
    QFETCH(QByteArray, line);
    TIniFileStore store;
    store.SetFileName(Path());
    store.WriteString(QStringLiteral("Main"), QStringLiteral("Name"), value);
    QCOMPARE(ReadBytes(Path()), "[Main]\r\n" + line + "\r\n");
    QCOMPARE(store.ReadString(QStringLiteral("Main"), QStringLiteral("Name"), QString()), value);
}

void TestIniFiles::everyWriteReachesFileAtOnce()
{
    TIniFileStore writer;
    writer.SetFileName(Path());
    writer.Open();
    TIniFileStore reader;
    reader.SetFileName(Path());
    writer.WriteString(QStringLiteral("Main"), QStringLiteral("A"), QStringLiteral("1"));
    QCOMPARE(reader.ReadString(QStringLiteral("Main"), QStringLiteral("A"), QString()), QStringLiteral("1"));
    writer.WriteString(QStringLiteral("Ports"), QStringLiteral("P1"), QStringLiteral("COM1"));
    writer.WriteString(QStringLiteral("Main"), QStringLiteral("B"), QStringLiteral("2"));
    writer.WriteString(QStringLiteral("main"), QStringLiteral("a"), QStringLiteral("3"));
    QCOMPARE(reader.ReadString(QStringLiteral("Main"), QStringLiteral("A"), QString()), QStringLiteral("3"));
    const QByteArray bytes = ReadBytes(Path());
    // A new key goes into its own section; nothing waits for Close().
    QCOMPARE(bytes, QByteArray("[Main]\r\nA=3\r\nB=2\r\n\r\n[Ports]\r\nP1=COM1\r\n"));
    QVERIFY(AllLinesCrLf(bytes));
    writer.Close();
}

void TestIniFiles::missingFolderThrowsAndIsNotCreated()
{
    const QString folder = dir_->filePath(QStringLiteral("missing"));
    TIniFileStore store;
    store.SetFileName(folder + QStringLiteral("/VelkarHub.ini"));
    QVERIFY_THROWS_EXCEPTION(EFCreateError, store.WriteString(QStringLiteral("Main"), QStringLiteral("A"), QStringLiteral("1")));
    QVERIFY(!QDir(folder).exists());
    QCOMPARE(store.ReadString(QStringLiteral("Main"), QStringLiteral("A"), QStringLiteral("default")), QStringLiteral("default"));
}

void TestIniFiles::storedFilesReadAndStayAsTheyAre_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QStringList>("values"); // at kProbes
    const QString japanese = U("\u65E5\u672C\u8A9E");
    const QString plain = QStringLiteral("[TForm1]\r\nEdit1.Text=10\r\nRadioButton1.Checked=True\r\n\r\n"
                                         "[Port Descriptions]\r\nPort 1=Pumps\r\nPort 3=Fans\r\n");
    QTest::newRow("plain") << plain.toLatin1() << QStringList{"10", "True", "Pumps", "Fans"};
    QTest::newRow("LF line ends, no end after the last line")
        << QByteArray("[TForm1]\nEdit1.Text=10\nRadioButton1.Checked=True\n[Port Descriptions]\nPort 1=Pumps\nPort 3=Fans")
        << QStringList{"10", "True", "Pumps", "Fans"};
    QTest::newRow("Latin-1 text, blanks, quotes and comments")
        << QByteArray("; settings\r\n  [ tform1 ]  \r\n  Edit1.Text =  10  \r\nradiobutton1.checked=\"True\"\r\n"
                      "[Port Descriptions]\r\nPort 1=Gr\xF6\xDF" "e\r\n;Port 3=old\r\nPort 3='Fans'\r\n")
        << QStringList{"10", "True", U("Gr\u00F6\u00DFe"), "Fans"};
    const QString unicode = QStringLiteral("[TForm1]\r\nEdit1.Text=10\r\nRadioButton1.Checked=True\r\n[Port Descriptions]\r\n"
                                           "Port 1=%1\r\nPort 3=Fans\r\n")
                                .arg(japanese);
    QTest::newRow("UTF-8 with byte-order mark")
        << QByteArray("\xEF\xBB\xBF" + unicode.toUtf8()) << QStringList{"10", "True", japanese, "Fans"};
    QTest::newRow("UTF-16 little-endian") << Utf16(unicode, QStringConverter::Utf16LE)
                                          << QStringList{"10", "True", japanese, "Fans"};
    QTest::newRow("UTF-16 big-endian") << Utf16(unicode, QStringConverter::Utf16BE)
                                       << QStringList{"10", "True", japanese, "Fans"};
    QTest::newRow("UTF-7 coded values, one coded otherwise than the coder would")
        << QByteArray("[TForm1]\r\nEdit1.Text=UTF7-coded:10\r\nRadioButton1.Checked=True\r\n[Port Descriptions]\r\n"
                      "Port 1=UTF7-coded:+ZeVnLIqe-\r\nPort 3=UTF7-coded:A+ImIDkQ.\r\n")
        << QStringList{"10", "True", japanese, U("A\u2262\u0391.")};
    QTest::newRow("keys in odd order, other sections between")
        << QByteArray("[Port Descriptions]\r\nPort 3=Fans\r\n[Other]\r\nEdit1.Text=99\r\n[TForm1]\r\n"
                      "RadioButton1.Checked=True\r\nEdit1.Text=10\r\n[Port Descriptions]\r\nPort 1=Pumps\r\n")
        << QStringList{"10", "True", "Pumps", "Fans"};
    QTest::newRow("duplicate keys: the first counts")
        << QByteArray("[TForm1]\r\nEdit1.Text=10\r\nRadioButton1.Checked=True\r\nEDIT1.TEXT=11\r\n[TForm1]\r\nEdit1.Text=12\r\n"
                      "[Port Descriptions]\r\nPort 1=Pumps\r\nPort 3=Fans\r\nPort 1=Drives\r\n")
        << QStringList{"10", "True", "Pumps", "Fans"};
    QTest::newRow("missing sections") << QByteArray("[Other]\r\nPort 1=Pumps\r\n")
                                      << QStringList{kMissing, kMissing, kMissing, kMissing};
    QTest::newRow("missing keys") << QByteArray("[TForm1]\r\nEdit1.Text=10\r\n[Port Descriptions]\r\nPort 3=Fans\r\n")
                                  << QStringList{"10", kMissing, kMissing, "Fans"};
    QTest::newRow("CR alone inside a line, odd last byte of UTF-16")
        << QByteArray(Utf16(QStringLiteral("[TForm1]\r\nEdit1.Text=10\rRadioButton1.Checked=True\r\n"), QStringConverter::Utf16LE) + "x")
        << QStringList{"10\rRadioButton1.Checked=True", kMissing, kMissing, kMissing};
}

void TestIniFiles::storedFilesReadAndStayAsTheyAre()
{
    QFETCH(QByteArray, file);
    QFETCH(QStringList, values);
    WriteBytes(Path(), file);
    QCOMPARE(ReadProbes(Path()), values);
    // Saved unchanged: every key written back with the value it reads, a section at a time.
    TIniFileStore store;
    store.SetFileName(Path());
    store.Open();
    for (const char *section : {"TForm1", "Port Descriptions"}) {
        TIniFileStore::Values same;
        for (size_t k = 0; k < std::size(kProbes); ++k)
            if (QLatin1String(kProbes[k].first) == QLatin1String(section) && values[static_cast<int>(k)] != kMissing)
                same.emplace_back(QString::fromLatin1(kProbes[k].second), values[static_cast<int>(k)]);
        store.WriteStrings(QString::fromLatin1(section), same);
    }
    QCOMPARE(ReadBytes(Path()), file);
    QCOMPARE(ReadProbes(Path()), values);
}

void TestIniFiles::writeChangesOnlyItsLine_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QByteArray>("expected");
    const QString fans = U("[Port Descriptions]\r\nPort 1=\u65E5\r\nPort 2=Fans\r\n");
    QTest::newRow("LF ends stay, the key keeps its spelling")
        << QByteArray("[A]\n x = 1\nY=2\n\n[B]\nZ=3\n") << "a" << "X" << "5" << QByteArray("[A]\nx=5\nY=2\n\n[B]\nZ=3\n");
    QTest::newRow("a new key takes the file's line end")
        << QByteArray("[A]\nX=1\n; end of A\n[B]\nZ=3\n") << "A" << "W" << "4"
        << QByteArray("[A]\nX=1\nW=4\n; end of A\n[B]\nZ=3\n");
    QTest::newRow("a new section after a last line without end")
        << QByteArray("[A]\r\nX=1") << "B" << "W" << "4" << QByteArray("[A]\r\nX=1\r\n\r\n[B]\r\nW=4\r\n");
    QTest::newRow("the key in the second section of its name")
        << QByteArray("[A]\r\nX=1\r\n[B]\r\n[a]\r\nY=2\r\n") << "A" << "Y" << "3" << QByteArray("[A]\r\nX=1\r\n[B]\r\n[a]\r\nY=3\r\n");
    QTest::newRow("UTF-8: bytes that are no UTF-8 stay on the other lines")
        << QByteArray("\xEF\xBB\xBF[A]\r\nX=1\r\nY=Gr\xF6\xDF" "e\r\n") << "A" << "X" << U("\u00E9")
        << QByteArray("\xEF\xBB\xBF[A]\r\nX=\xC3\xA9\r\nY=Gr\xF6\xDF" "e\r\n");
    QTest::newRow("UTF-16 little-endian stays UTF-16; outside Latin-1 UTF-7 coded")
        << Utf16(fans, QStringConverter::Utf16LE) << "Port Descriptions" << "Port 2" << U("\u20AC")
        << Utf16(U("[Port Descriptions]\r\nPort 1=\u65E5\r\nPort 2=UTF7-coded:+IKw-\r\n"), QStringConverter::Utf16LE);
    QTest::newRow("UTF-16 big-endian, a new key")
        << Utf16(fans, QStringConverter::Utf16BE) << "Port Descriptions" << "Port 3" << "Drives"
        << Utf16(fans + QStringLiteral("Port 3=Drives\r\n"), QStringConverter::Utf16BE);
}

void TestIniFiles::writeChangesOnlyItsLine()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, section);
    QFETCH(QString, key);
    QFETCH(QString, value);
    QFETCH(QByteArray, expected);
    WriteBytes(Path(), file);
    TIniFileStore store;
    store.SetFileName(Path());
    store.WriteString(section, key, value);
    QCOMPARE(ReadBytes(Path()), expected);
    TIniFileStore reader;
    reader.SetFileName(Path());
    QCOMPARE(reader.ReadString(section, key, QString()), value);
}

void TestIniFiles::changesByOthersAreKept()
{
    WriteBytes(Path(), "[TForm1]\r\nEdit1.Text=10\r\n");
    TIniFileStore store;
    store.SetFileName(Path());
    store.Open();
    QCOMPARE(store.ReadString(QStringLiteral("TForm1"), QStringLiteral("Edit1.Text"), QString()), QStringLiteral("10"));
    // Another program (another copy of this one) writes the file meanwhile, twice within
    // the same second and at the same length.
    TIniFileStore other;
    other.SetFileName(Path());
    other.WriteString(QStringLiteral("Port Descriptions"), QStringLiteral("Port 1"), QStringLiteral("Pumps"));
    other.WriteString(QStringLiteral("TForm1"), QStringLiteral("Edit1.Text"), QStringLiteral("11"));
    QCOMPARE(store.ReadString(QStringLiteral("TForm1"), QStringLiteral("Edit1.Text"), QString()), QStringLiteral("11"));
    // A write of this store keeps what the other wrote.
    store.WriteStrings(QStringLiteral("TForm1"), {{QStringLiteral("Edit2.Text"), QStringLiteral("2")}});
    QCOMPARE(ReadBytes(Path()), QByteArray("[TForm1]\r\nEdit1.Text=11\r\nEdit2.Text=2\r\n\r\n[Port Descriptions]\r\nPort 1=Pumps\r\n"));
}

void TestIniFiles::failedWriteKeepsTheFile()
{
    QByteArray file = "[TForm1]\r\nEdit1.Text=10\r\n[Other]\r\n";
    for (int k = 0; k < 200; ++k)
        file += "Key" + QByteArray::number(k) + "=" + QByteArray(40, 'v') + "\r\n";
    WriteBytes(Path(), file);
    TIniFileStore store;
    store.SetFileName(Path());
    store.Open();
    {
        // The new file cannot be written whole (as on a full disk).
        FileSizeLimit limit(static_cast<rlim_t>(file.size() / 2));
        QVERIFY_THROWS_EXCEPTION(EFCreateError, store.WriteStrings(QStringLiteral("TForm1"), {{QStringLiteral("Edit1.Text"), QStringLiteral("11")},
                                                                                             {QStringLiteral("Edit2.Text"), QStringLiteral("2")}}));
    }
    QCOMPARE(ReadBytes(Path()), file);
    QCOMPARE(QDir(dir_->path()).entryList(QDir::Files), QStringList{QStringLiteral("VelkarHub.ini")});
    // The store reads what the file holds, and a later write goes through.
    QCOMPARE(store.ReadString(QStringLiteral("TForm1"), QStringLiteral("Edit1.Text"), QString()), QStringLiteral("10"));
    store.WriteString(QStringLiteral("TForm1"), QStringLiteral("Edit1.Text"), QStringLiteral("12"));
    QVERIFY(ReadBytes(Path()).startsWith("[TForm1]\r\nEdit1.Text=12\r\n[Other]\r\n"));
}

// ------------------------------------------------------------ component state

void TestIniFiles::restoreTrimsAndRunsHandlers()
{
    WriteBytes(Path(), "[TForm1]\r\nEdit1.Text=   192.168.0.10   \r\nEdit2.Text= UTF7-coded:+ZeVnLIqe- \r\n");
    TestWindow w;
    auto *edit1 = new TEdit(&w.form, QStringLiteral("Edit1"), w.Client(), QStringLiteral("127.0.0.1"));
    auto *edit2 = new TEdit(&w.form, QStringLiteral("Edit2"), w.Client());
    auto *edit3 = new TEdit(&w.form, QStringLiteral("Edit3"), w.Client(), QStringLiteral("kept"));
    QStringList changes;
    for (TEdit *e : {edit1, edit2, edit3})
        e->OnChange = [&changes, e](TComponent *) { changes << e->Name() + QLatin1Char('=') + e->Text(); };
    TComponentState state;
    state.AddText(edit1);
    state.AddText(edit2);
    state.AddText(edit3); // no key: keeps its value, runs nothing
    TIniFileStore store;
    store.SetFileName(Path());
    state.RestoreState(store, QStringLiteral("tform1"));
    QCOMPARE(edit1->Text(), QStringLiteral("192.168.0.10"));
    QCOMPARE(edit2->Text(), U("\u65E5\u672C\u8A9E"));
    QCOMPARE(edit3->Text(), QStringLiteral("kept"));
    QCOMPARE(changes, (QStringList{QStringLiteral("Edit1=192.168.0.10"), U("Edit2=\u65E5\u672C\u8A9E")}));
}

void TestIniFiles::restoreCheckMarks_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<QByteArray>("stored"); // null: no key
    QTest::addColumn<bool>("start");
    QTest::addColumn<bool>("checked");
    const struct {
        const char *name;
        const char *stored;
        bool start, checked;
    } cases[] = {
        {"True", "True", false, true},
        {"true", "true", false, true},
        {"TRUE", "TRUE", false, true},
        {"blanks around True", "  True  ", false, true},
        {"False", "False", true, false},
        {"fAlSe", "fAlSe", true, false},
        {"1 is skipped", "1", false, false},
        {"0 is skipped", "0", true, true},
        {"Yes is skipped", "Yes", false, false},
        {"Tru is skipped", "Tru", true, true},
        {"empty is skipped", "", true, true},
        {"missing key keeps the mark", nullptr, true, true},
    };
    for (const char *control : {"check box", "radio button"})
        for (const auto &c : cases)
            QTest::addRow("%s, %s", control, c.name)
                << QString::fromLatin1(control) << (c.stored ? QByteArray(c.stored) : QByteArray()) << c.start << c.checked;
}

void TestIniFiles::restoreCheckMarks()
{
    QFETCH(QString, control);
    QFETCH(QByteArray, stored);
    QFETCH(bool, start);
    QFETCH(bool, checked);
    const QByteArray key = control == QLatin1String("check box") ? "CheckBox1" : "RadioButton1";
    QByteArray file = "[TForm1]\r\nOther=1\r\n";
    if (!stored.isNull())
        file += key + ".Checked=" + stored + "\r\n";
    WriteBytes(Path(), file);
    TestWindow w;
    QButtonGroup group;
    TComponentState state;
    std::function<bool()> isChecked;
    int clicks = 0;
    if (control == QLatin1String("check box")) {
        auto *box = new TCheckBox(&w.form, QStringLiteral("CheckBox1"), w.Client(), QStringLiteral("Box"));
        box->SetChecked(start);
        box->OnClick = [&](TComponent *) { ++clicks; };
        state.AddChecked(box);
        isChecked = [box] { return box->Checked(); };
    } else {
        auto *radio = new TRadioButton(&w.form, QStringLiteral("RadioButton1"), w.Client(), QStringLiteral("One"), &group);
        radio->SetChecked(start);
        state.AddChecked(radio);
        isChecked = [radio] { return radio->Checked(); };
    }
    TIniFileStore store;
    store.SetFileName(Path());
    state.RestoreState(store, QStringLiteral("TForm1"));
    QCOMPARE(isChecked(), checked);
    if (control == QLatin1String("check box"))
        QCOMPARE(clicks, start != checked ? 1 : 0);
}

void TestIniFiles::restoreGoesOnAfterFailingValue()
{
    WriteBytes(Path(), "[TForm1]\r\nEdit1.Text=abc\r\nCheckBox1.Checked=True\r\nEdit2.Text=def\r\n");
    TestWindow w;
    auto *edit1 = new TEdit(&w.form, QStringLiteral("Edit1"), w.Client());
    auto *box = new TCheckBox(&w.form, QStringLiteral("CheckBox1"), w.Client(), QStringLiteral("Box"));
    auto *edit2 = new TEdit(&w.form, QStringLiteral("Edit2"), w.Client());
    edit1->OnChange = [](TComponent *) { throw EConvertError(QStringLiteral("'abc' is not a valid integer value")); };
    box->OnClick = [](TComponent *) { throw std::runtime_error("no port"); };
    TComponentState state;
    state.AddText(edit1);
    state.AddChecked(box);
    state.AddText(edit2);
    TIniFileStore store;
    store.SetFileName(Path());
    state.RestoreState(store, QStringLiteral("TForm1"));
    QCOMPARE(edit2->Text(), QStringLiteral("def"));
    QVERIFY(box->Checked());
}

void TestIniFiles::saveInOrderAdded()
{
    WriteBytes(Path(), "[TForm1]\r\nLeft=10\r\n\r\n[Other]\r\nX=1\r\n");
    TestWindow w;
    QButtonGroup group;
    auto *edit1 = new TEdit(&w.form, QStringLiteral("Edit1"), w.Client(), QStringLiteral("a"));
    auto *edit2 = new TEdit(&w.form, QStringLiteral("Edit2"), w.Client(), QStringLiteral("  b  "));
    auto *box = new TCheckBox(&w.form, QStringLiteral("CheckBox1"), w.Client(), QStringLiteral("Box"));
    auto *radio = new TRadioButton(&w.form, QStringLiteral("RadioButton1"), w.Client(), QStringLiteral("One"), &group);
    box->SetChecked(true);
    TComponentState state;
    state.AddText(edit2);
    state.AddChecked(box);
    state.AddText(edit1);
    state.AddChecked(radio);
    TIniFileStore store;
    store.SetFileName(Path());
    const QByteArray expected = "[TForm1]\r\nLeft=10\r\nEdit2.Text=b\r\nCheckBox1.Checked=True\r\n"
                                "Edit1.Text=a\r\nRadioButton1.Checked=False\r\n\r\n[Other]\r\nX=1\r\n";
    state.SaveState(store, QStringLiteral("TForm1"));
    QCOMPARE(ReadBytes(Path()), expected);
    state.SaveState(store, QStringLiteral("TForm1")); // saving again keeps the lines where they are
    QCOMPARE(ReadBytes(Path()), expected);
}

void TestIniFiles::saveAndRestoreRoundTrip()
{
    QButtonGroup groupA, groupB;
    TIniFileStore store;
    store.SetFileName(Path());
    {
        TestWindow w;
        auto *edit = new TEdit(&w.form, QStringLiteral("Edit1"), w.Client(), U("Sensor \u65E5 \u20AC"));
        auto *box = new TCheckBox(&w.form, QStringLiteral("CheckBox1"), w.Client(), QStringLiteral("Box"));
        auto *radio = new TRadioButton(&w.form, QStringLiteral("RadioButton1"), w.Client(), QStringLiteral("One"), &groupA);
        box->SetChecked(true);
        radio->SetChecked(true);
        TComponentState state;
        state.AddText(edit);
        state.AddChecked(box);
        state.AddChecked(radio);
        state.SaveState(store, QStringLiteral("TForm1"));
    }
    QVERIFY(AllLinesCrLf(ReadBytes(Path())));
    TestWindow w;
    auto *edit = new TEdit(&w.form, QStringLiteral("Edit1"), w.Client());
    auto *box = new TCheckBox(&w.form, QStringLiteral("CheckBox1"), w.Client(), QStringLiteral("Box"));
    auto *radio = new TRadioButton(&w.form, QStringLiteral("RadioButton1"), w.Client(), QStringLiteral("One"), &groupB);
    TComponentState state;
    state.AddText(edit);
    state.AddChecked(box);
    state.AddChecked(radio);
    state.RestoreState(store, QStringLiteral("TForm1"));
    QCOMPARE(edit->Text(), U("Sensor \u65E5 \u20AC"));
    QVERIFY(box->Checked());
    QVERIFY(radio->Checked());
}

void TestIniFiles::saveIntoMissingFolderFails()
{
    TestWindow w;
    auto *edit = new TEdit(&w.form, QStringLiteral("Edit1"), w.Client(), QStringLiteral("x"));
    TComponentState state;
    state.AddText(edit);
    TIniFileStore store;
    const QString folder = dir_->filePath(QStringLiteral("gone"));
    store.SetFileName(folder + QStringLiteral("/VelkarHub.ini"));
    QVERIFY_THROWS_EXCEPTION(EFCreateError, state.SaveState(store, QStringLiteral("TForm1")));
    QVERIFY(!QDir(folder).exists());
}

int RunIniFileTests(int argc, char **argv)
{
    TestIniFiles tests;
    return QTest::qExec(&tests, argc, argv);
}

#include "tst_inifiles.moc"
