#include "controls/Spreadsheet.h"

#include "office/OfficeProtocol.h"
#include "utilities/Exceptions.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFileInfo>
#include <QProcess>

namespace {

const QString ProgrammaticName = QStringLiteral("Excel.Application");
const QString HelperName = QStringLiteral("velkarhub-calc-helper");
// How much of the helper's diagnostics is kept for a failure message.
constexpr qsizetype StderrTailBytes = 2048;
// How long a helper that has been told to end may take before it is killed.
constexpr int HelperEndMs = 2000;

// A message of the office as one line, for the exception handling's label and log.
QString OneLine(QString text)
{
    text.replace(QLatin1String("\r\n"), QLatin1String(" "));
    text.replace(QLatin1Char('\n'), QLatin1Char(' '));
    text.replace(QLatin1Char('\r'), QLatin1Char(' '));
    return text.trimmed();
}

} // namespace

struct CalcApplication::Framing {
    OfficeProtocol::Decoder decoder;
};

CalcApplication::CalcApplication(const CalcAutomationOptions &options)
    : options_(options), process_(std::make_unique<QProcess>()), framing_(std::make_unique<Framing>())
{
    const QString helper = options_.helper.isEmpty()
                               ? QCoreApplication::applicationDirPath() + QLatin1Char('/') + HelperName
                               : options_.helper;
    const QString cannot = QStringLiteral("The spreadsheet application cannot be started: ");
    if (!QFileInfo(helper).isExecutable())
        throw EOleSysError(cannot + QStringLiteral("LibreOffice Calc: %1 is not installed").arg(helper));
    process_->setProcessChannelMode(QProcess::SeparateChannels);
    process_->start(helper, options_.helperArguments);
    if (!process_->waitForStarted(options_.callMs)) {
        End();
        throw EOleSysError(cannot + QStringLiteral("LibreOffice Calc: %1: %2").arg(helper, process_->errorString()));
    }
    try {
        officeGroup_ = Receive(options_.startMs).value(0).toLongLong();
    } catch (const EOleException &e) {
        End();
        throw EOleSysError(cannot + e.Message());
    }
}

CalcApplication::~CalcApplication()
{
    if (process_->state() == QProcess::NotRunning)
        return;
    // The end of its input tells the helper to end; the office keeps its documents.
    process_->closeWriteChannel();
    if (!process_->waitForFinished(HelperEndMs)) {
        process_->kill();
        process_->waitForFinished(HelperEndMs);
    }
}

void CalcApplication::SetVisible(bool visible)
{
    Request({QStringLiteral("visible"), visible ? QStringLiteral("1") : QStringLiteral("0")}, options_.callMs);
}

void CalcApplication::OpenWorkbook(const QString &fileName)
{
    Request({QStringLiteral("open"), fileName}, options_.openMs);
}

void CalcApplication::SetActiveSheetCell(int row, int column, const QString &text)
{
    Request({QStringLiteral("cell"), QString::number(row), QString::number(column), text}, options_.callMs);
}

CalcApplication::CellContent CalcApplication::ReadActiveSheetCell(int row, int column)
{
    const QStringList values =
        Request({QStringLiteral("read"), QString::number(row), QString::number(column)}, options_.callMs);
    return {values.value(0), values.value(1)};
}

CalcApplication::DocumentState CalcApplication::Document()
{
    const QStringList values = Request({QStringLiteral("document")}, options_.callMs);
    return {values.value(0), values.value(1) == QLatin1String("1"), values.value(2) == QLatin1String("1")};
}

QStringList CalcApplication::Request(const QStringList &request, int deadlineMs)
{
    if (!lost_.isEmpty())
        throw EOleException(lost_);
    OfficeProtocol::Message message;
    for (const QString &text : request)
        message.push_back(text.toStdString());
    std::string bytes;
    try {
        bytes = OfficeProtocol::Encode(message);
    } catch (const OfficeProtocol::FramingError &e) {
        throw EOleException(QStringLiteral("LibreOffice Calc: a value too large to send (%1)").arg(e.what()));
    }
    process_->write(bytes.data(), static_cast<qint64>(bytes.size()));
    return Receive(deadlineMs);
}

QStringList CalcApplication::Receive(int deadlineMs)
{
    const QDeadlineTimer deadline(deadlineMs);
    for (;;) {
        const bool ended = process_->state() == QProcess::NotRunning;
        // Whatever arrived, also what a helper wrote before it ended.
        const QByteArray got = process_->readAllStandardOutput();
        framing_->decoder.Feed(got.constData(), static_cast<size_t>(got.size()));
        stderrTail_ += process_->readAllStandardError();
        if (stderrTail_.size() > StderrTailBytes)
            stderrTail_ = stderrTail_.right(StderrTailBytes);
        std::optional<OfficeProtocol::Message> reply;
        try {
            reply = framing_->decoder.Next();
        } catch (const OfficeProtocol::FramingError &e) {
            Lose(QStringLiteral("LibreOffice Calc: the helper sent a broken reply (%1)").arg(e.what()));
        }
        if (reply) {
            QStringList values;
            for (const std::string &text : *reply)
                values << QString::fromStdString(text);
            const QString status = values.isEmpty() ? QString() : values.takeFirst();
            if (status == QLatin1String("ok"))
                return values;
            if (status == QLatin1String("error"))
                throw EOleException(QStringLiteral("LibreOffice Calc: ") + OneLine(values.value(0)));
            Lose(QStringLiteral("LibreOffice Calc: the helper sent a broken reply"));
        }
        if (ended) {
            const QString how = process_->exitStatus() == QProcess::CrashExit
                                    ? QStringLiteral("crashed")
                                    : QStringLiteral("ended with exit code %1").arg(process_->exitCode());
            Lose(QStringLiteral("LibreOffice Calc: the helper %1%2").arg(how, HelperOutputTail()));
        }
        if (deadline.hasExpired())
            Lose(QStringLiteral("LibreOffice Calc: no answer within %1 s%2").arg(deadlineMs / 1000.0).arg(HelperOutputTail()));
        process_->waitForReadyRead(static_cast<int>(std::max<qint64>(1, deadline.remainingTime())));
    }
}

void CalcApplication::End()
{
    if (process_->state() != QProcess::NotRunning) {
        process_->kill();
        process_->waitForFinished(HelperEndMs);
    }
}

void CalcApplication::Lose(const QString &reason)
{
    End();
    lost_ = OneLine(reason);
    throw EOleException(lost_);
}

QString CalcApplication::HelperOutputTail()
{
    const QStringList lines = QString::fromUtf8(stderrTail_).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    return lines.isEmpty() ? QString() : QStringLiteral(": ") + lines.last().trimmed();
}

CalcAutomation::CalcAutomation(CalcAutomationOptions options) : options_(std::move(options)) {}

std::unique_ptr<ISpreadsheetApplication> CalcAutomation::CreateApplication(const QString &programmaticName)
{
    if (programmaticName.compare(ProgrammaticName, Qt::CaseInsensitive) != 0)
        throw EOleSysError(QStringLiteral("Invalid class string: no application is registered as \"%1\"")
                               .arg(programmaticName));
    return std::make_unique<CalcApplication>(options_);
}
