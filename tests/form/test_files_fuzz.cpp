// The files the program reads are untrusted too: the settings file, the INI file and the
// fault log are fed random, mutated and truncated contents. Run under AddressSanitizer
// and UBSan: the test passes when nothing faults, every failure reaches the window's
// exception handling as one of the failures the window reports, and a settings file is
// either sent whole (six blocks) or not at all.
//
//   test_files_fuzz [--seed S] [--files N] [--seconds T]   (per kind of file)
#include "FormHarness.h"
#include "controls/Guard.h"
#include "utilities/TextFiles.h"

#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QtTest>

#include <cstdio>

namespace {

struct Options {
    quint32 seed = 20261211;
    int files = 3000;
    int seconds = 60;
};
Options gOptions;

QByteArray ReadBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void WriteBytes(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

// A file made from a good one: cut short, bytes flipped, lines dropped or repeated,
// line ends changed, a byte-order mark put in front, or plain noise.
QByteArray Mutated(const QByteArray &good, QRandomGenerator &random)
{
    static const QByteArray marks[] = {QByteArray("\xEF\xBB\xBF"), QByteArray("\xFF\xFE"), QByteArray("\xFE\xFF")};
    QByteArray bytes = good;
    switch (random.bounded(8u)) {
    case 0: // cut short
        bytes.truncate(static_cast<qsizetype>(random.bounded(static_cast<quint32>(bytes.size() + 1))));
        break;
    case 1: // bytes flipped
        for (int k = random.bounded(1u, 20u); k > 0 && !bytes.isEmpty(); --k)
            bytes[static_cast<qsizetype>(random.bounded(static_cast<quint32>(bytes.size())))] = char(random.bounded(256u));
        break;
    case 2: { // lines dropped or repeated
        QList<QByteArray> lines = bytes.split('\n');
        for (int k = random.bounded(1u, 6u); k > 0 && !lines.isEmpty(); --k) {
            const auto at = static_cast<qsizetype>(random.bounded(static_cast<quint32>(lines.size())));
            if (random.bounded(2u))
                lines.removeAt(at);
            else
                lines.insert(at, lines.at(at));
        }
        bytes = lines.join('\n');
        break;
    }
    case 3: // line ends changed
        bytes.replace("\r\n", random.bounded(2u) ? QByteArray("\n") : QByteArray("\r"));
        break;
    case 4: // a byte-order mark in front, and the text in that encoding or not
        bytes.prepend(marks[random.bounded(3u)]);
        break;
    case 5: { // UTF-16 text
        const QString text = QString::fromLatin1(good);
        const bool little = random.bounded(2u);
        QStringEncoder encode(little ? QStringConverter::Utf16LE : QStringConverter::Utf16BE);
        bytes = marks[little ? 1 : 2] + QByteArray(encode(text));
        if (random.bounded(2u))
            bytes.chop(static_cast<qsizetype>(random.bounded(1u, 9u)));
        break;
    }
    case 6: { // numbers replaced by others
        QList<QByteArray> lines = bytes.split('\n');
        static const char *numbers[] = {"-1", "32768", "-32769", "99999999999999999999", " 1", "1 ", "+7", "0x10", "",
                                        "true", "false", "1", "0", "11", "5", "-32768", "\t", "\xFF"};
        for (int k = random.bounded(1u, 10u); k > 0 && !lines.isEmpty(); --k)
            lines[static_cast<qsizetype>(random.bounded(static_cast<quint32>(lines.size())))] =
                QByteArray(numbers[random.bounded(static_cast<quint32>(std::size(numbers)))]) + "\r";
        bytes = lines.join('\n');
        break;
    }
    default: // noise
        bytes.resize(static_cast<qsizetype>(random.bounded(4096u)));
        for (char &c : bytes)
            c = char(random.bounded(256u));
        break;
    }
    return bytes;
}

bool Reported(const QString &caption)
{
    static const QStringList classes{"ERangeError", "EListError", "EConvertError", "EFOpenError", "EInOutError"};
    return caption.isEmpty() || classes.contains(caption.section(QLatin1Char(' '), 1, 1));
}

// Runs `one` for each file until the count or the time is reached.
template <typename One>
void Budget(const char *what, One one)
{
    QRandomGenerator random(gOptions.seed);
    QElapsedTimer clock;
    clock.start();
    int files = 0;
    for (; files < gOptions.files && clock.elapsed() < gOptions.seconds * 1000; ++files) {
        one(random, files);
        if (QTest::currentTestFailed()) {
            std::printf("%s: failed at file %d (replay with --seed %u)\n", what, files, gOptions.seed);
            return;
        }
    }
    std::printf("%s: %d files in %lld ms, seed %u\n", what, files, static_cast<long long>(clock.elapsed()), gOptions.seed);
}

} // namespace

class TestFilesFuzz : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { TestEnvironment::Init(); }
    void settingsFile();
    void iniFile();
    void faultLog();
};

void TestFilesFuzz::settingsFile()
{
    const QByteArray golden = ReadBytes(qEnvironmentVariable("VELKARHUB_SOURCE_DIR") + "/tests/form/data/settings-golden.txt");
    QVERIFY(!golden.isEmpty());
    FormHarness h;
    TForm1 &f = h.form();
    const QString path = h.programFolder.path() + "/fuzz.txt";
    Budget("settings file", [&](QRandomGenerator &random, int) {
        WriteBytes(path, Mutated(golden, random));
        h.control.Clear();
        h.dialogs.shown.clear();
        f.Comms->Label93->SetCaption(QString());
        h.dialogs.fileAnswers.push_back(path);
        // As the operator's click: a failure goes to the window's exception handling.
        Guard::Guarded([&] { f.Button26Click(f.Comms->Button26); });
        FormHarness::ProcessEvents();
        const QString caught = f.Comms->Label93->Caption();
        QVERIFY2(Reported(caught), qPrintable(caught));
        // Whole or nothing: five link blocks and the hub block, then the identification
        // text; or no write at all.
        const auto writes = h.control.Writes();
        QVERIFY2(writes.empty() || writes.size() == 6 || writes.size() == 7, qPrintable(QString::number(writes.size())));
        if (!writes.empty())
            QVERIFY(caught.isEmpty());
    });
}

void TestFilesFuzz::iniFile()
{
    const QByteArray good = "[TForm1]\r\nEdit1.Text=127\r\nEdit2.Text=0\r\nEdit3.Text=0\r\nEdit4.Text=1\r\nEdit16.Text=1502\r\n"
                            "Edit5.Text=1000\r\nRadioButton1.Checked=True\r\nRadioButton2.Checked=False\r\nCheckBox4.Checked=True\r\n"
                            "Edit6.Text=UTF7-coded:+ZeVnLIqe-\r\n[Port Descriptions]\r\nPort 1=Conveyors\r\nPort 2=UTF7-coded:+AOk-\r\n";
    Budget("INI file", [&](QRandomGenerator &random, int files) {
        FormHarness::Options options;
        options.show = false;
        // Written directly (the harness writes Latin-1 text), so every byte is tried.
        FormHarness h(options);
        WriteBytes(TestEnvironment::DataFolder() + "/VelkarHubProjects/Settings.ini", Mutated(good, random));
        // Restore, port names and a save on one store.
        TIniFileStore store;
        store.SetFileName(TestEnvironment::DataFolder() + "/VelkarHubProjects/Settings.ini");
        store.Open();
        h.form().OvcComponentState1.RestoreState(store, QStringLiteral("TForm1"));
        for (int n = 1; n <= 4; ++n)
            (void)store.ReadString(QStringLiteral("Port Descriptions"), QStringLiteral("Port %1").arg(n), QString());
        if (files % 10 == 0)
            h.form().OvcComponentState1.SaveState(store, QStringLiteral("TForm1"));
        QVERIFY(Reported(h.form().Comms->Label93->Caption()));
    });
}

void TestFilesFuzz::faultLog()
{
    QStringList entries;
    for (int k = 0; k < 199; ++k)
        entries << QStringLiteral("11/12/2026 02:%1:00 - Exception: ERangeError : Value out of range").arg(k % 60, 2, 10, QLatin1Char('0'));
    const QByteArray good = entries.join(QStringLiteral("\r\n")).toLatin1() + "\r\n";
    Budget("fault log", [&](QRandomGenerator &random, int) {
        TestEnvironment::ResetDataFolder();
        QDir(TestEnvironment::DataFolder()).mkdir(QStringLiteral("VelkarHubData"));
        WriteBytes(TestEnvironment::DataFolder() + "/VelkarHubData/FaultLog.txt", Mutated(good, random));
        FormHarness::Options options;
        options.show = false;
        options.resetDataFolder = false;
        FormHarness h(options);
        QVERIFY(h.form().FaultLog);
        const qsizetype loaded = h.form().FaultLog->size();
        // A new entry is added and the log written back; beyond 200 lines the first one
        // goes, so the log never grows past what it started with or 200.
        h.control.DeliverError(9, 99);
        QVERIFY(h.form().FaultLog->size() <= std::max<qsizetype>(200, loaded));
        (void)TextFiles::Load(TestEnvironment::DataFolder() + "/VelkarHubData/FaultLog.txt");
    });
}

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QStringList rest{QString::fromLocal8Bit(argv[0])};
    for (int i = 1; i < argc; ++i) {
        const QByteArray a = argv[i];
        if (i + 1 < argc && a == "--seed")
            gOptions.seed = QByteArray(argv[++i]).toUInt();
        else if (i + 1 < argc && a == "--files")
            gOptions.files = QByteArray(argv[++i]).toInt();
        else if (i + 1 < argc && a == "--seconds")
            gOptions.seconds = QByteArray(argv[++i]).toInt();
        else
            rest << QString::fromLocal8Bit(a);
    }
    TestFilesFuzz test;
    return QTest::qExec(&test, rest);
}

#include "test_files_fuzz.moc"
