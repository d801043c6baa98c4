#pragma once

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

#include <memory>

// A connected pair of pseudo-terminals made by socat, for Modbus RTU tests:
// whatever is written to deviceA() can be read from deviceB() and back.
class PtyPair {
public:
    PtyPair();
    ~PtyPair();                            // stops socat
    PtyPair(const PtyPair &) = delete;
    PtyPair &operator=(const PtyPair &) = delete;

    // socat -d -d pty,raw,echo=0,link=<tmp>/a pty,raw,echo=0,link=<tmp>/b;
    // waits until socat runs its transfer loop and both links exist.
    bool start(int timeoutMs = 5000);
    void stop();
    // Ends socat: both pseudo-terminals and their links go away, as a device unplugged.
    void unplug();
    // After unplug(): a new pair under the same two names.
    bool replug(int timeoutMs = 5000);
    QString deviceA() const;
    QString deviceB() const;

private:
    bool launch(int timeoutMs);

    std::unique_ptr<QTemporaryDir> m_dir;
    QProcess m_process;
    QString m_a;
    QString m_b;
};
