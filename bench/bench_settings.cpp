// bench_settings: what the stored settings (Settings.ini) cost the window's start and
// close: the creation and the destruction of the main window on a scripted control,
// with the settings file the window writes itself and with the same keys inside a
// settings file of about 10 MB (other programs' sections before and after them). Prints
// the median and the slowest of several runs, in milliseconds. Not a test: it asserts
// nothing.
//   bench_settings [--runs N] [--megabytes M]   (default 5 and 10)
#include "FormHarness.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

namespace {
QString IniPath() { return TestEnvironment::DataFolder() + QStringLiteral("/VelkarHubProjects/Settings.ini"); }

// The settings the window saves at its close, as a file of its own would hold them.
QByteArray OwnSettings()
{
    return "[TForm1]\r\nEdit1.Text=192\r\nEdit2.Text=168\r\nEdit3.Text=1\r\nEdit4.Text=10\r\nEdit5.Text=1000\r\n"
           "Edit6.Text=3\r\nRadioButton1.Checked=False\r\nRadioButton2.Checked=True\r\nEdit7.Text=192\r\n"
           "Edit8.Text=168\r\nEdit9.Text=1\r\nEdit10.Text=10\r\nCheckBox3.Checked=False\r\n"
           "PriorityCommandL1.Checked=False\r\nCheckBox4.Checked=False\r\nEdit16.Text=502\r\nEdit25.Text=502\r\n"
           "RadioButton3.Checked=False\r\nCheckBox2.Checked=False\r\n\r\n"
           "[Port Descriptions]\r\nPort 1=Pumps\r\nPort 2=Conveyors\r\nPort 3=Port 3\r\nPort 4=Port 4\r\n";
}

// Sections of another program, about `bytes` long.
QByteArray OtherSections(qsizetype bytes, int first)
{
    QByteArray text;
    text.reserve(bytes + 4096);
    for (int section = first; text.size() < bytes; ++section) {
        text += "\r\n[Project " + QByteArray::number(section) + "]\r\n";
        for (int key = 0; key < 100; ++key)
            text += "Channel" + QByteArray::number(key) + ".Description=Conveyor drive " + QByteArray::number(section) +
                    ", motor " + QByteArray::number(key) + "\r\n";
    }
    return text;
}

struct Figures {
    double median, slowest;
};

Figures Summary(std::vector<double> ms)
{
    std::sort(ms.begin(), ms.end());
    return {ms[ms.size() / 2], ms.back()};
}

// Creates and destroys the window `runs` times on the settings file given, which is
// written afresh before each run; returns the creation and the destruction times.
std::pair<Figures, Figures> StartAndClose(const QByteArray &settings, int runs)
{
    std::vector<double> start, close;
    for (int run = 0; run < runs; ++run) {
        TestEnvironment::ResetDataFolder();
        QFile file(IniPath());
        if (!file.open(QIODevice::WriteOnly) || file.write(settings) != settings.size())
            std::fprintf(stderr, "cannot write %s\n", qPrintable(IniPath()));
        file.close();
        FormHarness::Options options;
        options.show = false;
        options.resetDataFolder = false;
        QElapsedTimer timer;
        timer.start();
        auto h = std::make_unique<FormHarness>(options);
        start.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6);
        h->form().Frame->Timer2->SetEnabled(false);
        timer.start();
        h->Destroy();
        close.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6);
    }
    return {Summary(start), Summary(close)};
}
} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    int runs = 5;
    int megabytes = 10;
    for (int i = 1; i + 1 < argc; ++i) {
        if (QByteArray(argv[i]) == "--runs")
            runs = std::max(1, QByteArray(argv[i + 1]).toInt());
        if (QByteArray(argv[i]) == "--megabytes")
            megabytes = std::max(1, QByteArray(argv[i + 1]).toInt());
    }
    if (qEnvironmentVariableIsEmpty("VELKARHUB_SOURCE_DIR"))
        qputenv("VELKARHUB_SOURCE_DIR", VELKARHUB_SOURCE_DIR_DEFAULT);
    TestEnvironment::Init();

    const qsizetype half = qsizetype(megabytes) * 1024 * 1024 / 2;
    const QByteArray own = OwnSettings();
    const QByteArray large = OtherSections(half, 1) + "\r\n" + own + OtherSections(half, 100000);
    const auto [smallStart, smallClose] = StartAndClose(own, runs);
    const auto [largeStart, largeClose] = StartAndClose(large, runs);

    std::printf("bench_settings: %d runs each, offscreen, scripted control\n", runs);
    std::printf("%-36s %12s %12s %12s %12s\n", "Settings.ini", "start ms", "slowest", "close ms", "slowest");
    std::printf("%-36s %12.1f %12.1f %12.1f %12.1f\n", qPrintable(QStringLiteral("own keys only (%1 bytes)").arg(own.size())),
                smallStart.median, smallStart.slowest, smallClose.median, smallClose.slowest);
    std::printf("%-36s %12.1f %12.1f %12.1f %12.1f\n",
                qPrintable(QStringLiteral("inside %1 MB (%2 bytes)").arg(megabytes).arg(large.size())), largeStart.median,
                largeStart.slowest, largeClose.median, largeClose.slowest);
    std::printf("added by the large file: start %.1f ms, close %.1f ms\n", largeStart.median - smallStart.median,
                largeClose.median - smallClose.median);
    return 0;
}
