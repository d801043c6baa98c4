#pragma once
// What the tests of the operations on one starter share: the port pages, the password,
// the writes as text and the log since a point.
#include "StartersTestKit.h"

#include <QComboBox>
#include <QtTest>

namespace CommandsTestKit {

inline PortPage &Port(TForm1 &f, int port) { return *f.Ports[static_cast<size_t>(port - 1)]; }

// Shows a port page as the operator does (its page handling runs) and clicks a row of
// its grid: row r selects address r - 1.
inline void ShowAndClickRow(TForm1 &f, int port, int row)
{
    TestUi::ClickTab(f, Port(f, port).Sheet);
    StartersTestKit::ClickRow(f, port, row);
}

// Ticks "Allow Commands" on the communications page and answers the password box.
inline void GivePassword(FormHarness &h, const std::optional<QString> &answer = ConfigConst::CommandPassword)
{
    TForm1 &f = h.form();
    TestUi::ClickTab(f, f.Comms->TabSheet7);
    h.dialogs.inputAnswers.push_back(answer);
    TestUi::Click(f.Comms->AllowCommands);
    FormHarness::ProcessEvents();
}

// One start of a handle as text, with the zero-based address: a write as
// "handle:unit:address=v1,v2", a read as "handle:unit:address read count".
inline QString Describe(const ScriptedMbaxp::Start &start)
{
    const QString target = QStringLiteral("%1:%2:%3").arg(start.handle).arg(start.definition.slave).arg(start.definition.address);
    if (start.definition.kind == ScriptedMbaxp::Kind::Read)
        return target + QStringLiteral(" read %1").arg(start.definition.quantity);
    QStringList words;
    for (int16_t w : start.words)
        words << QString::number(w);
    return target + QLatin1Char('=') + words.join(',');
}

// Every write started since the last Clear(), as Describe() shows it.
inline QStringList Written(const ScriptedMbaxp &control)
{
    QStringList out;
    for (const ScriptedMbaxp::Start &start : control.Writes())
        out << Describe(start);
    return out;
}

// Every start since the last Clear(), reads and writes, as Describe() shows it.
inline QStringList Started(const ScriptedMbaxp &control)
{
    QStringList out;
    for (const ScriptedMbaxp::Start &start : control.starts)
        out << Describe(start);
    return out;
}

// The operator picks an item of a combo box's list.
inline void Pick(TComboBox *box, int item)
{
    auto *combo = static_cast<QComboBox *>(box->Widget());
    combo->setCurrentIndex(item);
    emit combo->activated(item);
}

// The written value list of n zeros, as Written() shows it.
inline QString Zeros(int n) { return QStringList(n, QStringLiteral("0")).join(','); }

// The operator log's texts from line `from` on.
inline QStringList LogSince(const TForm1 &f, qsizetype from) { return TestEnvironment::LogTexts(f).mid(from); }

} // namespace CommandsTestKit
