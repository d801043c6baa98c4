// Hub data is untrusted: every decoder of the register map is fed random and boundary
// blocks of 125 words through the scripted control, with the window's state (page
// gates, firmware word, focus, check boxes and groups) changed along the way. Run under
// AddressSanitizer and UBSan: the test passes when nothing faults and every failure that
// a block causes reaches the window's exception handling as one of the failures the
// window reports.
//
//   test_form_fuzz --handle N [--seed S] [--blocks B] [--seconds T]
// With no --handle it checks that the build runs a fuzz test for every decoded block.
#include "FormHarness.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QtTest>

#include <cstdio>

using namespace RegisterMap;

namespace {

struct Options {
    int handle = -1;
    quint32 seed = 20261211;
    int blocks = 100000;
    int seconds = 60;
};
Options gOptions;

constexpr int16_t Boundaries[] = {0,   1,   -1,   2,    3,    4,    5,    6,    7,    8,     9,     10,    15,    16,
                                  23,  29,  30,   31,   39,   40,   41,   42,   43,   50,    63,    64,    99,    100,
                                  101, 119, 120,  125,  126,  255,  256,  576,  1152, 1280,  12321, 32767, -32768, -32767,
                                  -2,  -100, 0x0F, 0xFF, 0x100, 0x7F00, -256, 0x1E05, 0x3F, 0x40, 0x41};

std::vector<int16_t> RandomWords(QRandomGenerator &random)
{
    std::vector<int16_t> words(IMbaxp::BufferWords);
    const quint32 mode = random.bounded(10u);
    for (int16_t &w : words) {
        if (mode < 5)
            w = static_cast<int16_t>(random.bounded(65536u));
        else if (mode < 8)
            w = Boundaries[random.bounded(static_cast<quint32>(std::size(Boundaries)))];
        else
            w = static_cast<int16_t>(random.bounded(21u));
    }
    return words;
}

// Moves the window to another state a decoder behaves differently in.
void Shake(TForm1 &f, QRandomGenerator &random)
{
    f.PortTab = random.bounded(2u) == 1;
    f.VKHSettingsTab = random.bounded(2u) == 1;
    f.SettingRange = random.bounded(4u) == 0;
    f.Info_V4 = Boundaries[random.bounded(static_cast<quint32>(std::size(Boundaries)))];
    f.WhichLink = static_cast<int16_t>(random.bounded(6u)) - 1;
    f.QuorvaneInLink = Boundaries[random.bounded(static_cast<quint32>(std::size(Boundaries)))];
    f.ActiveQuorvane = Boundaries[random.bounded(static_cast<quint32>(std::size(Boundaries)))];
    for (auto &a : f.ActiveQuorvaneinLink)
        a = Boundaries[random.bounded(static_cast<quint32>(std::size(Boundaries)))];
    // Check boxes and radio groups of every page, as an operator might have left them.
    for (TCheckBox *box : f.ComponentsOf<TCheckBox>())
        if (random.bounded(8u) == 0)
            box->SetChecked(random.bounded(2u) == 1);
    for (TRadioGroup *group : f.ComponentsOf<TRadioGroup>())
        if (random.bounded(8u) == 0)
            group->SetItemIndex(static_cast<int>(random.bounded(7u)) - 1);
}

QStringList DecodedFirstHandles()
{
    QStringList handles;
    for (const RegisterMap::Block &block : Blocks())
        if (block.decode == Decode::Hub || block.decode == Decode::Link)
            handles << QString::number(block.handle);
    return handles;
}

} // namespace

class TestFormFuzz : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { TestEnvironment::Init(); }
    void decoder();
};

void TestFormFuzz::decoder()
{
    if (gOptions.handle < 0) {
        // The build registers one fuzz run per decoded block; a decoder added to the map
        // must be added to that list too.
        QCOMPARE(QString::fromLatin1(VELKARHUB_FUZZ_HANDLES).split(' ', Qt::SkipEmptyParts), DecodedFirstHandles());
        return;
    }
    int link = 0;
    const RegisterMap::Block *block = Find(static_cast<int16_t>(gOptions.handle), &link);
    QVERIFY2(block && (block->decode == Decode::Hub || block->decode == Decode::Link), "not a decoded block");
    std::printf("fuzzing handle %d, seed %u (replay with --handle %d --seed %u)\n", gOptions.handle, gOptions.seed,
                gOptions.handle, gOptions.seed);
    std::fflush(stdout);

    QRandomGenerator random(gOptions.seed + static_cast<quint32>(gOptions.handle));
    FormHarness h;
    TForm1 &f = h.form();
    h.dialogs.onShown = [](const ScriptedDialogs::Shown &) {};
    QSet<QString> failures;
    const QStringList reported{"ERangeError", "EListError", "EConvertError"};
    QElapsedTimer clock;
    clock.start();
    int runs = 0;
    for (; runs < gOptions.blocks && clock.elapsed() < gOptions.seconds * 1000; ++runs) {
        if (runs % 500 == 0) {
            Shake(f, random);
            h.control.Clear();
            h.dialogs.shown.clear();
        }
        const auto handle = static_cast<int16_t>(block->handle + (block->perLink ? random.bounded(4u) : 0u));
        f.Comms->Label93->SetCaption(QString());
        if (random.bounded(50u) == 0) {
            h.control.DeliverError(handle, static_cast<int16_t>(static_cast<int>(random.bounded(40u)) - 5));
        } else {
            // Results of any size: shorter than the block (a short read), as long, longer.
            std::vector<int16_t> words = RandomWords(random);
            words.resize(random.bounded(2u) ? random.bounded(126u) : static_cast<size_t>(block->count));
            h.control.DeliverOk(handle, words);
        }
        const QString caught = f.Comms->Label93->Caption();
        if (!caught.isEmpty()) {
            const QString cls = caught.section(QLatin1Char(' '), 1, 1);
            failures.insert(cls);
            QVERIFY2(reported.contains(cls), qPrintable(QStringLiteral("run %1: %2").arg(runs).arg(caught)));
        }
        h.clock.Advance(7);
        if (runs % 100 == 0)
            f.Frame->Timer2->OnTimer(f.Frame->Timer2);
    }
    std::printf("  %d blocks in %lld ms; failures reported: %s\n", runs, static_cast<long long>(clock.elapsed()),
                qPrintable(QStringList(failures.begin(), failures.end()).join(QStringLiteral(", "))));
}

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QStringList rest{QString::fromLocal8Bit(argv[0])};
    for (int i = 1; i < argc; ++i) {
        const QByteArray a = argv[i];
        if (i + 1 < argc && a == "--handle")
            gOptions.handle = QByteArray(argv[++i]).toInt();
        else if (i + 1 < argc && a == "--seed")
            gOptions.seed = QByteArray(argv[++i]).toUInt();
        else if (i + 1 < argc && a == "--blocks")
            gOptions.blocks = QByteArray(argv[++i]).toInt();
        else if (i + 1 < argc && a == "--seconds")
            gOptions.seconds = QByteArray(argv[++i]).toInt();
        else
            rest << QString::fromLocal8Bit(a);
    }
    TestFormFuzz test;
    return QTest::qExec(&test, rest);
}

#include "test_form_fuzz.moc"
