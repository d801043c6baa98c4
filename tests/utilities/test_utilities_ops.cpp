// The helper class's conversions, checksums, file operations and system requests. The
// requests that would change the machine (starting processes, the clock, logind, the
// end of the application) go to a recording stand-in.
#include "utilities/Exceptions.h"
#include "utilities/SystemCalls.h"
#include "utilities/Utilities1.h"

#include <QtTest>

#include <climits>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Records every request as one text and answers with `accept`.
class RecordingCalls : public ISystemCalls {
public:
    RecordingCalls() : previous_(SystemCalls::Install(this)) {}
    ~RecordingCalls() override { SystemCalls::Install(previous_); }

    bool StartDetached(const QString &program, const QStringList &arguments, const QString &folder) override
    {
        calls << QStringLiteral("start:%1|%2|%3").arg(program, arguments.join(QLatin1Char(',')), folder);
        return accept;
    }
    bool OpenWithDesktop(const QString &target, const QString &folder) override
    {
        calls << QStringLiteral("open:%1|%2").arg(target, folder);
        return accept;
    }
    bool SetClock(const QDateTime &instant) override
    {
        calls << QStringLiteral("clock:") + instant.toUTC().toString(Qt::ISODateWithMs);
        return accept;
    }
    bool CallLogind(const QString &path, const QString &interface, const QString &method,
                    const QVariantList &arguments) override
    {
        QStringList args;
        for (const QVariant &a : arguments)
            args << a.toString();
        calls << QStringLiteral("logind:%1|%2.%3(%4)").arg(path, interface, method, args.join(QLatin1Char(',')));
        return accept;
    }
    void QuitApplication() override { calls << QStringLiteral("quit"); }

    QStringList calls;
    bool accept = true;

private:
    ISystemCalls *previous_;
};

// Sets an environment variable until the returned guard ends, also when a check fails.
[[nodiscard]] auto ScopedEnv(const char *name, const QByteArray &value)
{
    const bool wasSet = qEnvironmentVariableIsSet(name);
    const QByteArray old = qgetenv(name);
    qputenv(name, value);
    tzset();
    return qScopeGuard([=] {
        if (wasSet)
            qputenv(name, old);
        else
            qunsetenv(name);
        tzset();
    });
}

void WriteFile(const QString &path, const QByteArray &content)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    QVERIFY2(file.open(QIODevice::WriteOnly), qPrintable(path));
    file.write(content);
}

QByteArray ReadFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

QStringList Entries(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                                  QDir::Name);
}

} // namespace

class TestUtilitiesOps : public QObject {
    Q_OBJECT
private slots:
    void limit_data();
    void limit();
    void rightPad_data();
    void rightPad();
    void bcd_data();
    void bcd();
    void smallConversions();
    void crc16_data();
    void crc16();
    void md5_data();
    void md5();
    void md5Failures();
    void versionInfo();
    void keysWithoutGuiApplication();
    void executeFile_data();
    void executeFile();
    void copyStuffCollisionNames_data();
    void copyStuffCollisionNames();
    void copyStuff();
    void deleteStuff();
    void deleteStuffOtherFileSystem();
    void setDateTime_data();
    void setDateTime();
    void setDateTimeClockChange();
    void myExitWindows_data();
    void myExitWindows();
    void simpleRestart();
    void simpleRestartFailures();
};

void TestUtilitiesOps::limit_data()
{
    QTest::addColumn<int>("low");
    QTest::addColumn<int>("high");
    QTest::addColumn<int>("input");
    QTest::addColumn<int>("def");
    QTest::addColumn<int>("expected");
    QTest::newRow("above") << 0 << 10 << 15 << -1 << 10;
    QTest::newRow("below") << 0 << 10 << -3 << -1 << 0;
    QTest::newRow("at high") << 0 << 10 << 10 << -1 << 10;
    QTest::newRow("at low") << 0 << 10 << 0 << -1 << 0;
    QTest::newRow("inside") << 0 << 10 << 7 << -1 << 7;
    QTest::newRow("inverted limits") << 10 << 0 << 5 << -1 << -1;
    QTest::newRow("one value") << 4 << 4 << 9 << -1 << 4;
    QTest::newRow("whole range") << INT_MIN << INT_MAX << INT_MIN << 0 << INT_MIN;
}

void TestUtilitiesOps::limit()
{
    QFETCH(int, low);
    QFETCH(int, high);
    QFETCH(int, input);
    QFETCH(int, def);
    QFETCH(int, expected);
    QCOMPARE(TUtilities::Limit(low, high, input, def), expected);
}

void TestUtilitiesOps::rightPad_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QChar>("ch");
    QTest::addColumn<int>("len");
    QTest::addColumn<QString>("expected");
    QTest::newRow("padded") << "ab" << QChar('*') << 5 << "ab***";
    QTest::newRow("longer, not cut") << "abcdef" << QChar('*') << 3 << "abcdef";
    QTest::newRow("exact") << "abc" << QChar('*') << 3 << "abc";
    QTest::newRow("empty to 0") << "" << QChar('*') << 0 << "";
    QTest::newRow("negative length") << "ab" << QChar('*') << -4 << "ab";
    QTest::newRow("blank padding") << "x" << QChar(' ') << 3 << "x  ";
    // A character outside the basic plane counts as its two UTF-16 units.
    QTest::newRow("surrogate pair") << QString::fromUtf8("\xF0\x9F\x98\x80") << QChar('.') << 3
                                    << QString::fromUtf8("\xF0\x9F\x98\x80.");
}

void TestUtilitiesOps::rightPad()
{
    QFETCH(QString, text);
    QFETCH(QChar, ch);
    QFETCH(int, len);
    QFETCH(QString, expected);
    QCOMPARE(TUtilities::RightPad(text, ch, len), expected);
}

// digit -1 with "BCDToString": the byte conversion; otherwise ExtractBCDElement.
void TestUtilitiesOps::bcd_data()
{
    QTest::addColumn<bool>("byte");
    QTest::addColumn<int>("input");
    QTest::addColumn<int>("digit");
    QTest::addColumn<QString>("expected");
    QTest::newRow("digit 0 of 0x1234") << false << 0x1234 << 0 << "4";
    QTest::newRow("digit 1 of 0x1234") << false << 0x1234 << 1 << "3";
    QTest::newRow("digit 3 of 0x1234") << false << 0x1234 << 3 << "1";
    QTest::newRow("digit 4") << false << 0x1234 << 4 << " ";
    QTest::newRow("digit -1") << false << 0x1234 << -1 << " ";
    QTest::newRow("digit 3 of -1, unchecked") << false << -1 << 3 << "15";
    QTest::newRow("digit 3 of -32768") << false << -32768 << 3 << "8";
    QTest::newRow("digit 1 of 0x00A0") << false << 0x00A0 << 1 << "10";
    QTest::newRow("digit 32767") << false << 0x1234 << 32767 << " ";
    QTest::newRow("byte 0x09") << true << 0x09 << 0 << "9";
    QTest::newRow("byte 0x12") << true << 0x12 << 0 << "12";
    QTest::newRow("byte 0x99") << true << 0x99 << 0 << "99";
    QTest::newRow("byte 0xA0, unchecked") << true << 0xA0 << 0 << "100";
    QTest::newRow("byte 0xFF, unchecked") << true << 0xFF << 0 << "165";
    QTest::newRow("byte 0") << true << 0 << 0 << "0";
}

void TestUtilitiesOps::bcd()
{
    QFETCH(bool, byte);
    QFETCH(int, input);
    QFETCH(int, digit);
    QFETCH(QString, expected);
    const QString got = byte ? TUtilities::BCDToString(static_cast<uint8_t>(input))
                             : TUtilities::ExtractBCDElement(static_cast<int16_t>(input), static_cast<int16_t>(digit));
    QCOMPARE(got, expected);
}

void TestUtilitiesOps::smallConversions()
{
    QCOMPARE(TUtilities::BooleanToYesNo(false), QStringLiteral("No"));
    QCOMPARE(TUtilities::BooleanToYesNo(true), QStringLiteral("Yes"));
    QCOMPARE(TUtilities::SecondsOfTime(QDateTime(QDate(2024, 5, 6), QTime(12, 34, 56, 789))), int16_t(56));
    QCOMPARE(TUtilities::SecondsOfTime(QDateTime(QDate(2024, 5, 6), QTime(0, 0))), int16_t(0));
    QCOMPARE(TUtilities::SecondsOfTime(QDateTime(QDate(2024, 5, 6), QTime(23, 59, 59, 999))), int16_t(59));
    QCOMPARE(TUtilities::SecondsOfTime(QDateTime()), int16_t(0));
}

// The buffer holds exactly the Number - 1 bytes the checksum may read (none for Number
// 0 and 1), on the heap, so that a read past them is caught by the address sanitizer.
void TestUtilitiesOps::crc16_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("number");
    QTest::addColumn<int>("expected");
    QTest::newRow("abcd, Number 4: CRC of abc") << QByteArray("abc") << 4 << 0x9738;
    QTest::newRow("check value of 123456789") << QByteArray("123456789") << 10 << 0xBB3D;
    QTest::newRow("one byte 0x01") << QByteArray("\x01", 1) << 2 << 0xC0C1;
    QTest::newRow("Number 1") << QByteArray() << 1 << 0;
    QTest::newRow("Number 0, no wrap") << QByteArray() << 0 << 0;
}

void TestUtilitiesOps::crc16()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, number);
    QFETCH(int, expected);
    QCOMPARE(bytes.size(), qMax(number - 1, 0));
    const auto buffer = std::make_unique<uint8_t[]>(static_cast<size_t>(bytes.size()));
    std::memcpy(buffer.get(), bytes.constData(), static_cast<size_t>(bytes.size()));
    QCOMPARE(int(TUtilities::CRC16(static_cast<uint16_t>(number), buffer.get())), expected);
    QCOMPARE(int(TUtilities::CRC16(static_cast<uint16_t>(number), nullptr)), 0);
}

void TestUtilitiesOps::md5_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("expected");
    QTest::newRow("empty file") << QByteArray() << "d41d8cd98f00b204e9800998ecf8427e";
    QTest::newRow("abc") << QByteArray("abc") << "900150983cd24fb0d6963f7d28e17f72";
    QTest::newRow("fox") << QByteArray("The quick brown fox jumps over the lazy dog")
                         << "9e107d9d372bb6826bd81d3542a419d6";
    QTest::newRow("zero bytes and a long file") << QByteArray(100000, '\0') << "0019d23bef56a136a1891211d7007f6f";
}

void TestUtilitiesOps::md5()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, expected);
    QTemporaryDir dir;
    const QString path = dir.filePath("file.bin");
    WriteFile(path, content);
    QCOMPARE(TUtilities::MD5(path), expected);
    QCOMPARE(TUtilities::MD5(path), expected);
}

void TestUtilitiesOps::md5Failures()
{
    QTemporaryDir dir;
    // A missing file or a folder gives no digest (not the digest of nothing).
    for (const QString &path : {dir.filePath("missing.bin"), dir.path()}) {
        try {
            const QString digest = TUtilities::MD5(path);
            QFAIL(qPrintable("a digest for " + path + ": " + digest));
        } catch (const EInOutError &e) {
            QVERIFY2(e.Message().contains(path), qPrintable(e.Message()));
        }
    }
    QVERIFY_THROWS_EXCEPTION(EFOpenError, TUtilities::MD5(dir.filePath("missing.bin")));
}

void TestUtilitiesOps::versionInfo()
{
    // The version given to the build, each word in decimal without leading zeros.
    QStringList words;
    for (const QString &word : QStringLiteral(VELKARHUB_PROJECT_VERSION).split('.'))
        words << QString::number(word.toUInt());
    QCOMPARE(words.size(), 4);
    QCOMPARE(TUtilities::VersionInfo(), words.join('.'));
    QVERIFY(QRegularExpression("^(0|[1-9]\\d*)(\\.(0|[1-9]\\d*)){3}$").match(TUtilities::VersionInfo()).hasMatch());
}

void TestUtilitiesOps::keysWithoutGuiApplication()
{
    QVERIFY(!TUtilities::CtrlDown());
    QVERIFY(!TUtilities::AltDown());
    QVERIFY(!TUtilities::ShiftDown());
}

// In a folder holding an executable "prog", a document "doc.txt" and a folder "sub";
// {dir} in the texts stands for that folder. expected call: the request made, if any.
void TestUtilitiesOps::executeFile_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("params");
    QTest::addColumn<QString>("folder");
    QTest::addColumn<bool>("accept");
    QTest::addColumn<qulonglong>("expected");
    QTest::addColumn<QString>("call");
    using namespace ExecuteResult;
    const QString none;
    QTest::newRow("document in the working folder")
        << "doc.txt" << "-x" << "{dir}" << true << qulonglong(Started) << "open:{dir}/doc.txt|{dir}";
    QTest::newRow("document by absolute path") << "{dir}/doc.txt" << "" << "" << true << qulonglong(Started)
                                               << "open:{dir}/doc.txt|";
    QTest::newRow("folder") << "sub" << "" << "{dir}" << true << qulonglong(Started) << "open:{dir}/sub|{dir}";
    QTest::newRow("program with quoted parameters")
        << "prog" << "-a \"b c\" d" << "{dir}" << true << qulonglong(Started) << "start:{dir}/prog|-a,b c,d|{dir}";
    QTest::newRow("web address") << "https://example.org/a?b=1" << "" << "" << true << qulonglong(Started)
                                 << "open:https://example.org/a?b=1|";
    QTest::newRow("program on PATH") << "sh" << "-c true" << "{dir}" << true << qulonglong(Started)
                                     << "start:{sh}|-c,true|{dir}";
    QTest::newRow("no desktop opener") << "doc.txt" << "" << "{dir}" << false << qulonglong(NoAssociation)
                                       << "open:{dir}/doc.txt|{dir}";
    QTest::newRow("program that does not start") << "prog" << "" << "{dir}" << false << qulonglong(BadFormat)
                                                 << "start:{dir}/prog||{dir}";
    QTest::newRow("missing file") << "nothing.txt" << "" << "{dir}" << true << qulonglong(FileNotFound) << none;
    QTest::newRow("missing path, no PATH look-up") << "sub/sh" << "" << "{dir}" << true
                                                   << qulonglong(FileNotFound) << none;
    QTest::newRow("empty file name") << "" << "" << "" << true << qulonglong(FileNotFound) << none;
    QTest::newRow("missing working folder") << "doc.txt" << "" << "{dir}/gone" << true
                                            << qulonglong(PathNotFound) << none;
    // 200 characters are taken (and name no file); 201 are refused, never shortened.
    QTest::newRow("file name of 200") << QString(200, 'f') << "" << "{dir}" << true << qulonglong(FileNotFound)
                                      << none;
    QTest::newRow("file name of 201") << "doc.txt" + QString(194, ' ') << "" << "{dir}" << true
                                      << qulonglong(Refused) << none;
    QTest::newRow("parameters of 201") << "prog" << QString(201, 'p') << "{dir}" << true << qulonglong(Refused)
                                       << none;
    QTest::newRow("folder of 201") << "doc.txt" << "" << "/" + QString(200, 'd') << true << qulonglong(Refused)
                                   << none;
    QTest::newRow("zero character in the name")
        << QStringLiteral("doc.txt") + QChar(0) + "x" << "" << "{dir}" << true << qulonglong(Refused) << none;
    if (geteuid() != 0) // the superuser reads every file
        QTest::newRow("unreadable document") << "secret.txt" << "" << "{dir}" << true << qulonglong(AccessDenied)
                                             << none;
}

void TestUtilitiesOps::executeFile()
{
    QFETCH(QString, file);
    QFETCH(QString, params);
    QFETCH(QString, folder);
    QFETCH(bool, accept);
    QFETCH(qulonglong, expected);
    QFETCH(QString, call);
    QTemporaryDir dir;
    WriteFile(dir.filePath("doc.txt"), "text");
    WriteFile(dir.filePath("secret.txt"), "text");
    QFile::setPermissions(dir.filePath("secret.txt"), QFileDevice::Permissions());
    WriteFile(dir.filePath("prog"), "#!/bin/sh\n");
    QFile::setPermissions(dir.filePath("prog"), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    QDir(dir.path()).mkdir("sub");
    auto fill = [&](QString text) {
        return text.replace("{dir}", dir.path()).replace("{sh}", QStandardPaths::findExecutable("sh"));
    };
    RecordingCalls calls;
    calls.accept = accept;
    QCOMPARE(qulonglong(TUtilities::ExecuteFile(fill(file), params, fill(folder), 1)), expected);
    QCOMPARE(calls.calls, call.isEmpty() ? QStringList() : QStringList{fill(call)});
}

// Three copies of one entry into its own folder.
void TestUtilitiesOps::copyStuffCollisionNames_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("folder");
    QTest::addColumn<QStringList>("copies");
    QTest::newRow("file") << "a.txt" << false << QStringList{"a - Copy.txt", "a - Copy (2).txt", "a - Copy (3).txt"};
    QTest::newRow("last extension") << "a.tar.gz" << false
                                    << QStringList{"a.tar - Copy.gz", "a.tar - Copy (2).gz", "a.tar - Copy (3).gz"};
    QTest::newRow("no extension") << "README" << false
                                  << QStringList{"README - Copy", "README - Copy (2)", "README - Copy (3)"};
    QTest::newRow("hidden file") << ".profile" << false
                                 << QStringList{".profile - Copy", ".profile - Copy (2)", ".profile - Copy (3)"};
    QTest::newRow("folder with a dot") << "conf.d" << true
                                       << QStringList{"conf.d - Copy", "conf.d - Copy (2)", "conf.d - Copy (3)"};
}

void TestUtilitiesOps::copyStuffCollisionNames()
{
    QFETCH(QString, name);
    QFETCH(bool, folder);
    QFETCH(QStringList, copies);
    QTemporaryDir dir;
    const QString source = dir.filePath(name);
    if (folder)
        WriteFile(source + "/inner.txt", "inner");
    else
        WriteFile(source, "content");
    for (int i = 0; i < 3; ++i)
        QVERIFY(TUtilities::CopyStuff(0, source, dir.path()));
    QStringList expected = copies;
    expected << name;
    expected.sort();
    QCOMPARE(Entries(dir.path()), expected);
    for (const QString &copy : copies)
        QCOMPARE(ReadFile(dir.filePath(copy) + (folder ? "/inner.txt" : "")), QByteArray(folder ? "inner" : "content"));
}

void TestUtilitiesOps::copyStuff()
{
    QTemporaryDir dir;
    const QString src = dir.filePath("src");
    WriteFile(src + "/a.txt", "A");
    WriteFile(src + "/b.txt", "B");
    WriteFile(src + "/tree/x.txt", "X");
    QVERIFY(QFile::link("x.txt", src + "/tree/link"));
    QFile::setPermissions(src + "/tree", QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    const auto restore = qScopeGuard([&] { QFile::setPermissions(src + "/tree", QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner); });

    // To a new name, creating the folder; then onto that name again: renamed.
    QVERIFY(TUtilities::CopyStuff(0, src + "/a.txt", dir.filePath("out/renamed.txt")));
    QVERIFY(TUtilities::CopyStuff(0, src + "/a.txt", dir.filePath("out/renamed.txt")));
    QCOMPARE(Entries(dir.filePath("out")), (QStringList{"renamed - Copy.txt", "renamed.txt"}));
    QCOMPARE(ReadFile(dir.filePath("out/renamed - Copy.txt")), QByteArray("A"));

    // A folder whole, its link kept as a link, its read-only state too.
    QVERIFY(TUtilities::CopyStuff(0, src + "/tree", dir.filePath("out")));
    QCOMPARE(ReadFile(dir.filePath("out/tree/x.txt")), QByteArray("X"));
    QCOMPARE(QFileInfo(dir.filePath("out/tree/link")).symLinkTarget(), dir.filePath("out/tree/x.txt"));
    QVERIFY(!QFileInfo(dir.filePath("out/tree")).isWritable() || geteuid() == 0);
    QFile::setPermissions(dir.filePath("out/tree"), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);

    // Several sources, separated by zero characters, into a new folder.
    const QString list = src + "/a.txt" + QChar(0) + src + "/b.txt" + QChar(0) + QChar(0);
    QVERIFY(TUtilities::CopyStuff(0, list, dir.filePath("multi")));
    QCOMPARE(Entries(dir.filePath("multi")), (QStringList{"a.txt", "b.txt"}));

    // Failures: nothing to copy, no wildcard expansion, a folder into itself.
    QVERIFY(!TUtilities::CopyStuff(0, src + "/missing.txt", dir.filePath("out")));
    QVERIFY(!TUtilities::CopyStuff(0, src + "/*.txt", dir.filePath("star")));
    QVERIFY(!QFileInfo::exists(dir.filePath("star")) || Entries(dir.filePath("star")).isEmpty());
    QVERIFY(!TUtilities::CopyStuff(0, src, src + "/tree2"));
    QVERIFY(!TUtilities::CopyStuff(0, src, src));
    QVERIFY(!QFileInfo::exists(src + "/src"));
    QVERIFY(!TUtilities::CopyStuff(0, QString(), dir.filePath("out")));
}

void TestUtilitiesOps::deleteStuff()
{
    QTemporaryDir root;
    const QString data = root.filePath("data");
    const auto env = ScopedEnv("XDG_DATA_HOME", data.toUtf8());
    const QString trash = data + "/Trash";
    const QString work = root.filePath("work");
    WriteFile(work + "/a.txt", "first");
    WriteFile(work + "/other/a.txt", "second");
    WriteFile(work + "/my file%.txt", "odd");
    WriteFile(work + "/tree/x.txt", "X");
    QVERIFY(QFile::link("nowhere", work + "/dangling"));

    QVERIFY(TUtilities::DeleteStuff(0, QFile::encodeName(work + "/a.txt")));
    QVERIFY(!QFileInfo::exists(work + "/a.txt"));
    QCOMPARE(ReadFile(trash + "/files/a.txt"), QByteArray("first"));
    const QString info = QString::fromUtf8(ReadFile(trash + "/info/a.txt.trashinfo"));
    QVERIFY2(QRegularExpression("^\\[Trash Info\\]\nPath=" + QRegularExpression::escape(work) +
                                "/a\\.txt\nDeletionDate=\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\n$")
                 .match(info).hasMatch(),
             qPrintable(info));
    for (const QString &folder : {trash, trash + "/files", trash + "/info"})
        QCOMPARE(QFileInfo(folder).permissions() & 0x0077, QFileDevice::Permissions());

    // A second a.txt gets a name of its own; a list, relative to the current folder,
    // with an odd name, a folder and a dangling link.
    const QString cwd = QDir::currentPath();
    const auto back = qScopeGuard([&] { QDir::setCurrent(cwd); });
    QDir::setCurrent(work);
    QByteArray list = "other/a.txt";
    list += '\0';
    list += "my file%.txt";
    list += '\0';
    list += "tree/";
    list += '\0';
    list += "dangling";
    list += '\0';
    QVERIFY(TUtilities::DeleteStuff(0, list));
    QCOMPARE(Entries(work), (QStringList{"other"}));
    QCOMPARE(Entries(trash + "/files"), (QStringList{"a.txt", "a.txt.2", "dangling", "my file%.txt", "tree"}));
    QCOMPARE(ReadFile(trash + "/files/a.txt.2"), QByteArray("second"));
    QCOMPARE(ReadFile(trash + "/files/tree/x.txt"), QByteArray("X"));
    QVERIFY(ReadFile(trash + "/info/my file%.txt.trashinfo").contains("\nPath=" + QFile::encodeName(work) + "/my%20file%25.txt\n"));
    QCOMPARE(Entries(trash + "/info").size(), 5);

    // Refused without moving anything: a missing name in the list, a wildcard, names
    // without a last part, the trash inside the entry.
    WriteFile(work + "/keep.txt", "keep");
    for (const QByteArray &bad : {QByteArray("keep.txt\0missing.txt", 20), QByteArray("*"), QByteArray("."),
                                  QByteArray(".."), QByteArray("/"), QByteArray(), QFile::encodeName(data)}) {
        QVERIFY2(!TUtilities::DeleteStuff(0, bad), bad.constData());
        QCOMPARE(ReadFile(work + "/keep.txt"), QByteArray("keep"));
        QCOMPARE(Entries(trash + "/info").size(), 5);
    }
    QVERIFY(QFileInfo(data).isDir());

    // A trash that cannot be made: false, and the file stays.
    WriteFile(root.filePath("plain"), "not a folder");
    const auto blocked = ScopedEnv("XDG_DATA_HOME", QFile::encodeName(root.filePath("plain/data")));
    QVERIFY(!TUtilities::DeleteStuff(0, QFile::encodeName(work + "/keep.txt")));
    QCOMPARE(ReadFile(work + "/keep.txt"), QByteArray("keep"));
}

void TestUtilitiesOps::deleteStuffOtherFileSystem()
{
    // The trash on another file system cannot take the file by renaming; it is never
    // copied and deleted instead.
    QTemporaryDir root;
    QTemporaryDir other(QStringLiteral("/dev/shm/velkarhub-trash-XXXXXX"));
    struct stat a {}, b {};
    if (!other.isValid() || stat(QFile::encodeName(root.path()), &a) != 0
        || stat(QFile::encodeName(other.path()), &b) != 0 || a.st_dev == b.st_dev)
        QSKIP("no second file system");
    const auto env = ScopedEnv("XDG_DATA_HOME", QFile::encodeName(other.path()));
    WriteFile(root.filePath("a.txt"), "stays");
    QVERIFY(!TUtilities::DeleteStuff(0, QFile::encodeName(root.filePath("a.txt"))));
    QCOMPARE(ReadFile(root.filePath("a.txt")), QByteArray("stays"));
    QCOMPARE(Entries(other.path() + "/Trash/files"), QStringList());
    QCOMPARE(Entries(other.path() + "/Trash/info"), QStringList());
}

// The tests run in UTC: the clock is asked for the same instant.
void TestUtilitiesOps::setDateTime_data()
{
    QTest::addColumn<QList<int>>("v");
    QTest::addColumn<QString>("call");
    QTest::newRow("leap day") << QList<int>{2024, 2, 29, 12, 34, 56, 789} << "clock:2024-02-29T12:34:56.789Z";
    QTest::newRow("last instant of a year") << QList<int>{2023, 12, 31, 23, 59, 59, 999}
                                            << "clock:2023-12-31T23:59:59.999Z";
    QTest::newRow("30 February") << QList<int>{2024, 2, 30, 12, 0, 0, 0} << "";
    QTest::newRow("29 February of a common year") << QList<int>{2023, 2, 29, 12, 0, 0, 0} << "";
    QTest::newRow("month 13") << QList<int>{2024, 13, 1, 12, 0, 0, 0} << "";
    QTest::newRow("month 0") << QList<int>{2024, 0, 1, 12, 0, 0, 0} << "";
    QTest::newRow("day 0") << QList<int>{2024, 1, 0, 12, 0, 0, 0} << "";
    QTest::newRow("year 0") << QList<int>{0, 1, 1, 12, 0, 0, 0} << "";
    QTest::newRow("hour 24") << QList<int>{2024, 1, 1, 24, 0, 0, 0} << "";
    QTest::newRow("minute 60") << QList<int>{2024, 1, 1, 12, 60, 0, 0} << "";
    QTest::newRow("second 60") << QList<int>{2024, 1, 1, 12, 0, 60, 0} << "";
    QTest::newRow("millisecond 1000") << QList<int>{2024, 1, 1, 12, 0, 0, 1000} << "";
    QTest::newRow("all 65535") << QList<int>{65535, 65535, 65535, 65535, 65535, 65535, 65535} << "";
}

void TestUtilitiesOps::setDateTime()
{
    QFETCH(QList<int>, v);
    QFETCH(QString, call);
    RecordingCalls calls;
    auto u = [&](int i) { return static_cast<uint16_t>(v[i]); };
    TUtilities::SetDateTime(u(0), u(1), u(2), u(3), u(4), u(5), u(6));
    QCOMPARE(calls.calls, call.isEmpty() ? QStringList() : QStringList{call});
}

void TestUtilitiesOps::setDateTimeClockChange()
{
    // Central European rules, given in full so that no time-zone data is needed: on
    // 31 March 2024 the clock goes from 02:00 to 03:00.
    const auto env = ScopedEnv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3");
    RecordingCalls calls;
    TUtilities::SetDateTime(2024, 3, 31, 2, 30, 0, 0);
    QCOMPARE(calls.calls, QStringList());
    TUtilities::SetDateTime(2024, 3, 31, 3, 30, 0, 0);
    QCOMPARE(calls.calls, QStringList{"clock:2024-03-31T01:30:00.000Z"});
}

void TestUtilitiesOps::myExitWindows_data()
{
    QTest::addColumn<uint>("flags");
    QTest::addColumn<bool>("accept");
    QTest::addColumn<bool>("expected");
    QTest::addColumn<QString>("call");
    const QString manager = "logind:/org/freedesktop/login1|org.freedesktop.login1.Manager.";
    const QString logoff = "logind:/org/freedesktop/login1/session/auto|org.freedesktop.login1.Session.Terminate()";
    QTest::newRow("log off") << 0u << true << true << logoff;
    QTest::newRow("log off, forced") << 4u << true << true << logoff;
    QTest::newRow("shut down") << 1u << true << true << manager + "Halt(false)";
    QTest::newRow("restart") << 2u << true << true << manager + "Reboot(false)";
    QTest::newRow("restart, forced if hung") << 0x12u << true << true << manager + "Reboot(false)";
    QTest::newRow("power off") << 8u << true << true << manager + "PowerOff(false)";
    QTest::newRow("shut down and power off, forced") << 13u << true << true << manager + "PowerOff(false)";
    QTest::newRow("refused by logind") << 2u << false << false << manager + "Reboot(false)";
    QTest::newRow("shut down and restart") << 3u << true << false << "";
    QTest::newRow("restart and power off") << 10u << true << false << "";
    QTest::newRow("quick resolve") << 0x20u << true << false << "";
    QTest::newRow("restart apps") << 0x42u << true << false << "";
    QTest::newRow("hybrid shutdown") << 0x400001u << true << false << "";
    QTest::newRow("top bit") << 0x80000002u << true << false << "";
}

void TestUtilitiesOps::myExitWindows()
{
    QFETCH(uint, flags);
    QFETCH(bool, accept);
    QFETCH(bool, expected);
    QFETCH(QString, call);
    RecordingCalls calls;
    calls.accept = accept;
    QCOMPARE(TUtilities::MyExitWindows(flags), expected);
    QCOMPARE(calls.calls, call.isEmpty() ? QStringList() : QStringList{call});
}

void TestUtilitiesOps::simpleRestart()
{
    QTemporaryDir dir;
    WriteFile(dir.filePath("restart.sh"), "old content\r\n");
    RecordingCalls calls;
    const QString cwd = QDir::currentPath();
    const auto back = qScopeGuard([&] { QDir::setCurrent(cwd); });
    QDir::setCurrent(dir.path());
    TUtilities::SimpleRestart("restart");

    const QString script = dir.filePath("restart.sh");
    const QByteArray expected = "sleep 5\n'" + QFile::encodeName(QCoreApplication::applicationFilePath()) + "' &\nexit\n";
    QCOMPARE(ReadFile(script), expected);
    QCOMPARE(Entries(dir.path()), QStringList{"restart.sh"});
    // Started by the shell's absolute path with the script as its one argument, then
    // the application is asked to end (recorded, so this run goes on).
    QCOMPARE(calls.calls, (QStringList{"start:/bin/sh|" + script + "|", "quit"}));
    // The script is valid for the shell.
    QProcess check;
    check.start("/bin/sh", {"-n", script});
    QVERIFY(check.waitForFinished(30000));
    QCOMPARE(check.exitCode(), 0);
}

void TestUtilitiesOps::simpleRestartFailures()
{
    QTemporaryDir dir;
    {
        // The script cannot be written: nothing starts, the end is still asked for.
        RecordingCalls calls;
        QVERIFY_THROWS_EXCEPTION(EFCreateError, TUtilities::SimpleRestart(dir.filePath("gone/restart")));
        QCOMPARE(calls.calls, QStringList{"quit"});
    }
    {
        // The shell does not start.
        RecordingCalls calls;
        calls.accept = false;
        QVERIFY_THROWS_EXCEPTION(EOSError, TUtilities::SimpleRestart(dir.filePath("restart")));
        QCOMPARE(calls.calls, (QStringList{"start:/bin/sh|" + dir.filePath("restart.sh") + "|", "quit"}));
        QVERIFY(QFileInfo::exists(dir.filePath("restart.sh")));
    }
}

QTEST_GUILESS_MAIN(TestUtilitiesOps)
#include "test_utilities_ops.moc"
