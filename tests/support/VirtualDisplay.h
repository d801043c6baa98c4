#pragma once
// A virtual X display (Xvfb) for a test that needs real windows of another program,
// such as a visible office. Xvfb picks a free display number itself and reports it when
// it is ready, so tests running in parallel never compete for one. While it runs,
// DISPLAY names it; the earlier value comes back when it stops.
#include <QByteArray>
#include <QProcess>
#include <QString>

class VirtualDisplay {
public:
    VirtualDisplay() = default;
    ~VirtualDisplay(); // stops Xvfb
    VirtualDisplay(const VirtualDisplay &) = delete;
    VirtualDisplay &operator=(const VirtualDisplay &) = delete;

    // Starts Xvfb with one screen of the size given; false (with a warning) when Xvfb is
    // not installed or does not come up in time.
    bool start(const QString &screen = QStringLiteral("1400x1000x24"), int timeoutMs = 30000);
    void stop();
    // ":N" while running.
    QString display() const { return m_display; }

private:
    QProcess m_process;
    QString m_display;
    QByteArray m_savedDisplay;
    bool m_hadDisplay = false;
};
