#pragma once
// A LibreOffice of a test's own: a private user profile and pipe name in a temporary
// folder, so it never meets (or waits on) another office, a small .xlsx template made
// by the office's own converter, and every office process group it was told of killed
// when it ends.
#include <QList>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

class PrivateOffice {
public:
    PrivateOffice() = default;
    ~PrivateOffice(); // kills the offices
    PrivateOffice(const PrivateOffice &) = delete;
    PrivateOffice &operator=(const PrivateOffice &) = delete;

    // soffice of the LibreOffice the helper was built for; Installed() when it is there.
    static QString Soffice();
    static bool Installed();

    // Converts a CSV of the lines given into <folder>/VelkarHub.xlsx with a converter
    // office on the private profile, and waits for it to end. False, with a warning,
    // when no template came out in time.
    bool MakeTemplate(const QStringList &csvLines, int timeoutMs = 180000);
    QString TemplatePath() const;
    QString Folder() const { return dir_.path(); }

    // The helper's arguments for this office: private profile and pipe, headless or not.
    QStringList HelperArguments(bool headless, int connectMs = 150000) const;

    // An office process group to kill at the end (0 is ignored), and the killing: of
    // those groups, then of every process still running on the private profile.
    void Adopt(qint64 group);
    void KillAll();
    static void KillGroup(qint64 group);

private:
    QString ProfileUrl() const;
    // The processes whose command line names the private profile.
    QList<qint64> ProcessesOnProfile() const;

    QTemporaryDir dir_;
    QList<qint64> groups_;
};
