#include "controls/Services.h"

#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QMessageBox>
#include <QUrl>
#include <chrono>
#include <thread>

namespace {

QWidget *DialogParent() { return QApplication::activeWindow(); }

QString WithDefaultExt(QString file, QString defaultExt)
{
    if (file.isEmpty() || defaultExt.isEmpty() || !QFileInfo(file).suffix().isEmpty())
        return file;
    if (!defaultExt.startsWith(QLatin1Char('.')))
        defaultExt.prepend(QLatin1Char('.'));
    return file + defaultExt;
}

} // namespace

QString QtFileFilter(const QString &filter)
{
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList entries;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        QStringList patterns = parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts);
        for (QString &pattern : patterns)
            if (pattern == QLatin1String("*.*"))
                pattern = QStringLiteral("*");
        entries << QStringLiteral("%1 (%2)").arg(parts[i], patterns.join(QLatin1Char(' ')));
    }
    return entries.join(QStringLiteral(";;"));
}

int QtDialogs::MessageDlg(const QString &text, TMsgDlgType type, int buttons)
{
    QMessageBox box(DialogParent());
    box.setText(text);
    switch (type) {
    case TMsgDlgType::mtWarning: box.setIcon(QMessageBox::Warning); box.setWindowTitle(QStringLiteral("Warning")); break;
    case TMsgDlgType::mtError: box.setIcon(QMessageBox::Critical); box.setWindowTitle(QStringLiteral("Error")); break;
    case TMsgDlgType::mtInformation: box.setIcon(QMessageBox::Information); box.setWindowTitle(QStringLiteral("Information")); break;
    case TMsgDlgType::mtConfirmation: box.setIcon(QMessageBox::Question); box.setWindowTitle(QStringLiteral("Confirm")); break;
    }
    QMessageBox::StandardButtons qtButtons;
    if (buttons & TMsgDlgBtn::mbYes) qtButtons |= QMessageBox::Yes;
    if (buttons & TMsgDlgBtn::mbNo) qtButtons |= QMessageBox::No;
    if (buttons & TMsgDlgBtn::mbOK) qtButtons |= QMessageBox::Ok;
    if (buttons & TMsgDlgBtn::mbCancel) qtButtons |= QMessageBox::Cancel;
    box.setStandardButtons(qtButtons);
    switch (box.exec()) {
    case QMessageBox::Yes: return TModalResult::mrYes;
    case QMessageBox::No: return TModalResult::mrNo;
    case QMessageBox::Ok: return TModalResult::mrOk;
    case QMessageBox::Cancel: return TModalResult::mrCancel;
    default: return TModalResult::mrCancel;
    }
}

QString QtDialogs::InputBox(const QString &caption, const QString &prompt, const QString &initial)
{
    bool ok = false;
    const QString text = QInputDialog::getText(DialogParent(), caption, prompt, QLineEdit::Normal, initial, &ok);
    return ok ? text : initial;
}

QString QtDialogs::SaveFileName(const QString &filter, const QString &defaultExt, const QString &initialFile)
{
    return WithDefaultExt(QFileDialog::getSaveFileName(DialogParent(), QString(), initialFile, QtFileFilter(filter)), defaultExt);
}

QString QtDialogs::OpenFileName(const QString &filter, const QString &, const QString &initialFile)
{
    return QFileDialog::getOpenFileName(DialogParent(), QString(), initialFile, QtFileFilter(filter));
}

void QtShell::Open(const QString &target)
{
    const QUrl url = QUrl::fromUserInput(target);
    QDesktopServices::openUrl(url);
}

void QtShell::SetClipboardText(const QString &text) { QApplication::clipboard()->setText(text); }

QDateTime SystemClock::Now() const
{
    // The local time is asked for many times a second (every result, every tick). The
    // conversion to local time consults the time zone each time, so the offset from UTC
    // is taken once a minute and the local time formed from the UTC clock with it.
    const QDateTime utc = QDateTime::currentDateTimeUtc();
    const qint64 minute = utc.toMSecsSinceEpoch() / 60000;
    if (minute != offsetMinute_) {
        offsetMinute_ = minute;
        offsetSeconds_ = utc.toLocalTime().offsetFromUtc();
    }
    return utc.toOffsetFromUtc(offsetSeconds_);
}

void SystemClock::Sleep(int milliseconds)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}
