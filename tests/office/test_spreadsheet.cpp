// The program's side of the spreadsheet application: the framing of its helper protocol,
// and the Calc client against a stand-in helper (fake-calc-helper) that echoes requests,
// records them, and dies, hangs, breaks the framing or refuses where told.
#include "controls/Spreadsheet.h"
#include "office/OfficeProtocol.h"
#include "utilities/Exceptions.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>
#include <csignal>
#include <functional>
#include <sys/types.h>

namespace {

QString FakeHelper() { return QStringLiteral(FAKE_CALC_HELPER); }

CalcAutomationOptions FakeOptions(QStringList arguments, int callMs = 10000)
{
    CalcAutomationOptions options;
    options.helper = FakeHelper();
    options.helperArguments = std::move(arguments);
    options.startMs = 10000;
    options.openMs = callMs;
    options.callMs = callMs;
    return options;
}

// The requests a fake helper logged, decoded.
QList<QStringList> LoggedRequests(const QString &logFile)
{
    QFile file(logFile);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray bytes = file.readAll();
    OfficeProtocol::Decoder decoder;
    decoder.Feed(bytes.constData(), static_cast<size_t>(bytes.size()));
    QList<QStringList> requests;
    while (auto message = decoder.Next()) {
        QStringList texts;
        for (const std::string &text : *message)
            texts << QString::fromStdString(text);
        requests << texts;
    }
    return requests;
}

// An unexpected failure as the test reports it (an exception must not end the program).
QString Described(const std::exception &e) { return ExceptionClassName(e) + QStringLiteral(": ") + ExceptionMessage(e); }

bool ProcessAlive(qint64 pid) { return pid > 0 && ::kill(static_cast<pid_t>(pid), 0) == 0; }

// Texts that a cell may hold: line breaks, framing-like bytes, a zero character, text
// that a spreadsheet would take as a formula, and characters outside Latin-1.
const QList<QPair<const char *, QString>> &OddTexts()
{
    static const QList<QPair<const char *, QString>> texts = {
        {"empty", QString()},
        {"plain", QStringLiteral("VelkarHub")},
        {"LF", QStringLiteral("line 1\nline 2")},
        {"CR LF and CR", QStringLiteral("a\r\nb\rc\n")},
        {"formula", QStringLiteral("=1+1")},
        {"leading zeros and blanks", QStringLiteral("  007 ")},
        {"zero character", QStringLiteral("a") + QChar(0) + QStringLiteral("b")},
        {"looks like a frame", QString::fromLatin1("\x01\x02\x03\x04", 4) + QStringLiteral("\xff")},
        {"unicode", QStringLiteral("Größe °C Ω 温度 \U0001F600")},
        {"tabs and quotes", QStringLiteral("\"a\"\t'b'\\")},
        {"long", QString(300000, QLatin1Char('x')) + QStringLiteral("\nend")},
    };
    return texts;
}

} // namespace

class TestSpreadsheet : public QObject {
    Q_OBJECT
private slots:
    void encodingIsLengthFramed();
    void decoderTakesAnySplit();
    void decoderRejectsBrokenStreams_data();
    void decoderRejectsBrokenStreams();
    void oddTextsRoundTrip_data();
    void oddTextsRoundTrip();
    void operationsSendTheirRequests();
    void creationByName_data();
    void creationByName();
    void creationFailures_data();
    void creationFailures();
    void callFailures_data();
    void callFailures();
    void errorReplyKeepsTheHelper();
    void eachCreationIsItsOwnApplication();
    void droppingTheObjectEndsOnlyTheHelper();
};

void TestSpreadsheet::encodingIsLengthFramed()
{
    const std::string bytes = OfficeProtocol::Encode({"ok", "", "a\nb"});
    QCOMPARE(QByteArray::fromStdString(bytes),
             QByteArray("\0\0\0\3" "\0\0\0\2ok" "\0\0\0\0" "\0\0\0\3a\nb", 4 + 6 + 4 + 7));
}

void TestSpreadsheet::decoderTakesAnySplit()
{
    const OfficeProtocol::Message first = {"cell", "17", "8", std::string("x\0y\n", 4)};
    const OfficeProtocol::Message second = {};
    const OfficeProtocol::Message third = {"open", std::string(70000, 'p')};
    const std::string stream = OfficeProtocol::Encode(first) + OfficeProtocol::Encode(second) + OfficeProtocol::Encode(third);
    for (size_t chunk : {size_t(1), size_t(3), size_t(7), size_t(4096), stream.size()}) {
        OfficeProtocol::Decoder decoder;
        std::vector<OfficeProtocol::Message> got;
        for (size_t pos = 0; pos < stream.size(); pos += chunk) {
            decoder.Feed(stream.substr(pos, chunk));
            while (auto message = decoder.Next())
                got.push_back(*message);
        }
        QCOMPARE(got.size(), size_t(3));
        QVERIFY(got[0] == first);
        QVERIFY(got[1] == second);
        QVERIFY(got[2] == third);
        QCOMPARE(decoder.Pending(), size_t(0));
    }
}

void TestSpreadsheet::decoderRejectsBrokenStreams_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("too many texts") << QByteArray("\0\0\0\x11", 4);
    QTest::newRow("a text too long") << QByteArray("\0\0\0\1\x04\0\0\1", 8);
    QTest::newRow("all ones") << QByteArray("\xff\xff\xff\xff", 4);
}

void TestSpreadsheet::decoderRejectsBrokenStreams()
{
    QFETCH(QByteArray, bytes);
    OfficeProtocol::Decoder decoder;
    decoder.Feed(bytes.constData(), static_cast<size_t>(bytes.size()));
    QVERIFY_THROWS_EXCEPTION(OfficeProtocol::FramingError, decoder.Next());
    QVERIFY_THROWS_EXCEPTION(OfficeProtocol::FramingError,
                             OfficeProtocol::Encode(OfficeProtocol::Message(OfficeProtocol::MaxTexts + 1)));
}

void TestSpreadsheet::oddTextsRoundTrip_data()
{
    QTest::addColumn<QString>("text");
    for (const auto &[name, text] : OddTexts())
        QTest::newRow(name) << text;
}

void TestSpreadsheet::oddTextsRoundTrip()
try {
    QFETCH(QString, text);
    CalcApplication application(FakeOptions({}));
    // The fake echoes the request: what comes back is what went over the pipe both ways.
    const QStringList request = {QStringLiteral("cell"), QStringLiteral("1"), QStringLiteral("2"), text};
    QCOMPARE(application.Request(request, 10000), request);
    // The next request is framed from where the last one ended.
    QCOMPARE(application.Request({text, text}, 10000), (QStringList{text, text}));
} catch (const std::exception &e) {
    QFAIL(qPrintable(Described(e)));
}

void TestSpreadsheet::operationsSendTheirRequests()
try {
    QTemporaryDir dir;
    const QString log = dir.filePath(QStringLiteral("requests"));
    {
        CalcApplication application(FakeOptions({QStringLiteral("--log"), log}));
        application.SetVisible(true);
        application.SetVisible(false);
        application.OpenWorkbook(QStringLiteral("/data/VelkarHubProjects/VelkarHub.xlsx"));
        application.SetActiveSheetCell(13, 31, QStringLiteral("07/03/2026 14:05:09"));
        application.SetActiveSheetCell(83, 29, QStringLiteral("a\nb"));
        application.ReadActiveSheetCell(1, 2);
        application.Document();
    }
    QCOMPARE(LoggedRequests(log), (QList<QStringList>{
                                      {"visible", "1"},
                                      {"visible", "0"},
                                      {"open", "/data/VelkarHubProjects/VelkarHub.xlsx"},
                                      {"cell", "13", "31", "07/03/2026 14:05:09"},
                                      {"cell", "83", "29", "a\nb"},
                                      {"read", "1", "2"},
                                      {"document"},
                                      {"eof"},
                                  }));
} catch (const std::exception &e) {
    QFAIL(qPrintable(Described(e)));
}

void TestSpreadsheet::creationByName_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("created");
    QTest::newRow("Excel.Application") << QStringLiteral("Excel.Application") << true;
    QTest::newRow("any case") << QStringLiteral("excel.APPLICATION") << true;
    QTest::newRow("another application") << QStringLiteral("Word.Application") << false;
    QTest::newRow("empty") << QString() << false;
}

void TestSpreadsheet::creationByName()
try {
    QFETCH(QString, name);
    QFETCH(bool, created);
    CalcAutomation automation(FakeOptions({}));
    if (created) {
        QVERIFY(automation.CreateApplication(name) != nullptr);
        return;
    }
    try {
        automation.CreateApplication(name);
        QFAIL("created");
    } catch (const EOleSysError &e) {
        QVERIFY2(e.Message().contains(QStringLiteral("Invalid class string")), qPrintable(e.Message()));
    }
} catch (const std::exception &e) {
    QFAIL(qPrintable(Described(e)));
}

void TestSpreadsheet::creationFailures_data()
{
    QTest::addColumn<QString>("helper");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QStringList>("messageHolds");
    QTest::newRow("no helper installed") << QStringLiteral("/nonexistent/velkarhub-calc-helper") << QStringList()
                                         << QStringList{"/nonexistent/velkarhub-calc-helper", "not installed"};
    QTest::newRow("helper not executable") << QStringLiteral(FAKE_CALC_HELPER_SOURCE) << QStringList()
                                           << QStringList{"not installed"};
    QTest::newRow("no office") << FakeHelper() << QStringList{"--ready-error", "LibreOffice could not be started"}
                               << QStringList{"LibreOffice could not be started"};
    QTest::newRow("helper cannot load its libraries")
        << FakeHelper() << QStringList{"--exit-at-start", "127"}
        << QStringList{"exit code 127", "fake-calc-helper: cannot open libuno_sal.so.3"};
    QTest::newRow("helper ends at once") << FakeHelper() << QStringList{"--exit-at-start", "0"}
                                         << QStringList{"exit code 0"};
    QTest::newRow("office never answers") << FakeHelper() << QStringList{"--hang-at-start"}
                                          << QStringList{"no answer within 0.5 s"};
}

void TestSpreadsheet::creationFailures()
{
    QFETCH(QString, helper);
    QFETCH(QStringList, arguments);
    QFETCH(QStringList, messageHolds);
    CalcAutomationOptions options = FakeOptions(arguments);
    options.helper = helper;
    options.startMs = 500;
    CalcAutomation automation(options);
    try {
        automation.CreateApplication(QStringLiteral("Excel.Application"));
        QFAIL("created");
    } catch (const EOleSysError &e) {
        QCOMPARE(e.ClassName(), QStringLiteral("EOleSysError"));
        QVERIFY2(!e.Message().contains(QLatin1Char('\n')), qPrintable(e.Message()));
        for (const QString &part : messageHolds)
            QVERIFY2(e.Message().contains(part), qPrintable(e.Message()));
    }
}

void TestSpreadsheet::callFailures_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("failingCall"); // 1: visible, 2: open, 3 on: cells
    QTest::addColumn<QString>("messageHolds");
    QTest::newRow("helper ends") << QStringList{"--exit-at", "3"} << 3 << "ended with exit code 3";
    QTest::newRow("helper crashes") << QStringList{"--crash-at", "2"} << 2 << "crashed";
    QTest::newRow("office hangs") << QStringList{"--hang-at", "4"} << 4 << "no answer within 0.5 s";
    QTest::newRow("broken framing") << QStringList{"--garbage-at", "1"} << 1 << "broken reply";
    QTest::newRow("unknown status") << QStringList{"--status-at", "3"} << 3 << "broken reply";
}

void TestSpreadsheet::callFailures()
try {
    QFETCH(QStringList, arguments);
    QFETCH(int, failingCall);
    QFETCH(QString, messageHolds);
    CalcApplication application(FakeOptions(arguments, 500));
    const std::vector<std::function<void()>> calls = {
        [&] { application.SetVisible(true); },
        [&] { application.OpenWorkbook(QStringLiteral("/tmp/VelkarHub.xlsx")); },
        [&] { application.SetActiveSheetCell(17, 8, QStringLiteral("192")); },
        [&] { application.SetActiveSheetCell(17, 10, QStringLiteral("168")); },
        [&] { application.SetActiveSheetCell(17, 12, QStringLiteral("1")); },
    };
    for (int n = 1; n < failingCall; ++n)
        calls[static_cast<size_t>(n - 1)]();
    QString first;
    try {
        calls[static_cast<size_t>(failingCall - 1)]();
        QFAIL("did not fail");
    } catch (const EOleException &e) {
        first = e.Message();
        QVERIFY2(first.contains(messageHolds), qPrintable(first));
    }
    // The helper is gone: every later call fails at once, with the same reason.
    for (size_t n = static_cast<size_t>(failingCall); n < calls.size(); ++n) {
        try {
            calls[n]();
            QFAIL("a later call did not fail");
        } catch (const EOleException &e) {
            QCOMPARE(e.Message(), first);
        }
    }
} catch (const std::exception &e) {
    QFAIL(qPrintable(Described(e)));
}

void TestSpreadsheet::errorReplyKeepsTheHelper()
try {
    CalcApplication application(
        FakeOptions({"--error-at", "1", "the workbook /x.xlsx was refused\n(the office asked: a lock)"}));
    try {
        application.OpenWorkbook(QStringLiteral("/x.xlsx"));
        QFAIL("opened");
    } catch (const EOleException &e) {
        QCOMPARE(e.Message(), QStringLiteral("LibreOffice Calc: the workbook /x.xlsx was refused (the office asked: a lock)"));
    }
    application.SetActiveSheetCell(1, 1, QStringLiteral("still served"));
} catch (const std::exception &e) {
    QFAIL(qPrintable(Described(e)));
}

void TestSpreadsheet::eachCreationIsItsOwnApplication()
try {
    CalcAutomation automation(FakeOptions({}));
    auto first = automation.CreateApplication(QStringLiteral("Excel.Application"));
    auto second = automation.CreateApplication(QStringLiteral("Excel.Application"));
    // The fake gives its process id as the office's: one helper process each.
    const qint64 firstHelper = dynamic_cast<CalcApplication &>(*first).OfficeProcessGroup();
    const qint64 secondHelper = dynamic_cast<CalcApplication &>(*second).OfficeProcessGroup();
    QVERIFY(ProcessAlive(firstHelper));
    QVERIFY(ProcessAlive(secondHelper));
    QVERIFY(firstHelper != secondHelper);
    second.reset();
    first->SetActiveSheetCell(1, 1, QStringLiteral("the first still serves"));
} catch (const std::exception &e) {
    QFAIL(qPrintable(Described(e)));
}

void TestSpreadsheet::droppingTheObjectEndsOnlyTheHelper()
try {
    QTemporaryDir dir;
    const QString log = dir.filePath(QStringLiteral("requests"));
    qint64 helper = 0;
    {
        CalcApplication application(FakeOptions({QStringLiteral("--log"), log}));
        helper = application.OfficeProcessGroup();
        application.SetVisible(true);
    }
    // The helper was told by the end of its input (it logged "eof"), not killed, and
    // has ended; it never receives a request to close or save anything.
    QCOMPARE(LoggedRequests(log), (QList<QStringList>{{"visible", "1"}, {"eof"}}));
    QVERIFY(!ProcessAlive(helper));
} catch (const std::exception &e) {
    QFAIL(qPrintable(Described(e)));
}

QTEST_GUILESS_MAIN(TestSpreadsheet)
#include "test_spreadsheet.moc"
