// What the operator types into the edits that write to the hub, on every page that has
// them: it stays the operator's while another window is active, a page the program shows
// drops it unfinished (nothing of it reaches the hub or a settings file), and Enter sends
// the finished value as leaving the edit does.
#include "FormHarness.h"
#include "SettingsFileTestKit.h"

#include <QApplication>
#include <QFile>
#include <QLineEdit>
#include <QtTest>

using namespace TestUi;

namespace {

// One edit that writes to the hub, as the window shows it after SettingsFileKit's known
// state: its page, the block that shows its value, and what typing over it writes.
struct EditCase {
    const char *edit;
    int16_t handle;    // the block that shows the edit's value
    size_t word;       // the edit's word in that block
    const char *typed; // what the operator types over it
    const char *write; // what leaving it writes; none for the identification text
};

const EditCase Cases[] = {
    {"IPTimeout", RegisterMap::Handle::HubSettings, 11, "3000", "F6 16:110=3000"},
    {"IP4", RegisterMap::Handle::HubSettings, 17, "60", "F6 16:116=60"},
    {"Range1", RegisterMap::Handle::HubSettings, 27, "55", "F6 16:126=55"},
    {"QVL1Link", RegisterMap::Handle::LinkSettings, 1, "9", "F6 17:1000=9"},
    {"QVL4Noreply", RegisterMap::Handle::LinkSettings + 3, 6, "25", "F6 20:1005=25"},
    {"Edit15", RegisterMap::Handle::IdentText, 0, "Boiler", nullptr},
};

const EditCase &Case(const QString &edit)
{
    for (const EditCase &c : Cases)
        if (QLatin1String(c.edit) == edit)
            return c;
    qFatal("no case %s", qPrintable(edit));
}

void AddEditRows()
{
    QTest::addColumn<QString>("edit");
    for (const EditCase &c : Cases)
        QTest::newRow(c.edit) << QString::fromLatin1(c.edit);
}

// The block of the known state that shows the case's edit.
std::vector<int16_t> KnownBlock(const EditCase &c)
{
    if (c.handle == RegisterMap::Handle::HubSettings)
        return SettingsFileKit::KnownHubBlock();
    if (c.handle == RegisterMap::Handle::IdentText) {
        std::vector<int16_t> ident;
        for (QChar ch : QStringLiteral("Pump Hall \u00C4").leftJustified(15))
            ident.push_back(static_cast<int16_t>(ch.unicode()));
        return ident;
    }
    return SettingsFileKit::KnownLinkBlocks()[static_cast<size_t>(c.handle - RegisterMap::Handle::LinkSettings)];
}


QStringList Expected(const EditCase &c) { return c.write ? QStringList{QString::fromLatin1(c.write)} : QStringList{}; }

// The known state shown, the edit's page shown by its tab, the operator in the edit with
// the typed text over the hub's value; nothing written so far.
TEdit *TypeInto(FormHarness &h, const EditCase &c)
{
    TForm1 &f = h.form();
    SettingsFileKit::ShowKnownState(h);
    auto *edit = f.Find<TEdit>(QString::fromLatin1(c.edit));
    for (int i = 0; i < f.Frame->PageControl1->PageCount(); ++i) {
        TTabSheet *page = f.Frame->PageControl1->Page(i);
        if (page->Widget()->isAncestorOf(edit->Widget()) && f.Frame->PageControl1->ActivePage() != page)
            ClickTab(f, page);
    }
    QTest::mouseClick(edit->Widget(), Qt::LeftButton);
    edit->LineEdit()->selectAll();
    QTest::keyClicks(edit->Widget(), QString::fromLatin1(c.typed));
    Q_ASSERT(edit->Focused());
    return edit;
}

// Another top-level window taking the activation, as another program's window does.
struct OtherWindow {
    QWidget window;
    bool Activate()
    {
        window.resize(200, 100);
        window.show();
        window.activateWindow();
        return QTest::qWaitForWindowActive(&window);
    }
};

bool Reactivate(TForm1 &f)
{
    f.Window()->activateWindow();
    return QTest::qWaitForWindowActive(f.Window());
}

void RuntimeMessage(FormHarness &h)
{
    std::vector<int16_t> message(10, 0);
    message[0] = 1;
    h.control.DeliverOk(RegisterMap::Handle::RuntimeMessage, message);
}

// The settings file that "Save" writes now.
QByteArray Saved(FormHarness &h)
{
    const QString path = h.programFolder.filePath(QStringLiteral("saved.txt"));
    h.dialogs.fileAnswers.push_back(path);
    Click(h.form().Comms->Button25);
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class TestFormTyping : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { TestEnvironment::Init(); }
    void anotherWindowLeavesTheTypingAlone_data() { AddEditRows(); }
    void anotherWindowLeavesTheTypingAlone();
    void programPageJumpDropsTheTyping_data();
    void programPageJumpDropsTheTyping();
    void enterSendsTheFinishedValue_data();
    void enterSendsTheFinishedValue();
};

// The operator activates another program's window while typing; the hub's blocks keep
// coming meanwhile. Back in the window, the typed text is still there, and leaving the
// edit writes it once.
void TestFormTyping::anotherWindowLeavesTheTypingAlone()
{
    QFETCH(QString, edit);
    const EditCase &c = Case(edit);
    FormHarness h;
    TForm1 &f = h.form();
    TEdit *e = TypeInto(h, c);
    OtherWindow other;
    QVERIFY(other.Activate());
    QVERIFY(!e->Widget()->hasFocus());
    QVERIFY(e->Focused());
    for (int poll = 0; poll < 3; ++poll)
        h.control.DeliverOk(c.handle, KnownBlock(c));
    QCOMPARE(e->Text(), QString::fromLatin1(c.typed));
    QCOMPARE(h.control.WriteTexts(), QStringList{});

    QVERIFY(Reactivate(f));
    QCOMPARE(QApplication::focusWidget(), e->Widget());
    QCOMPARE(h.control.WriteTexts(), QStringList{});
    QTest::keyClick(e->Widget(), Qt::Key_Tab);
    QVERIFY(!e->Focused());
    QCOMPARE(h.control.WriteTexts(), Expected(c));
    QCOMPARE(e->Text(), QString::fromLatin1(c.typed));
}

void TestFormTyping::programPageJumpDropsTheTyping_data()
{
    QTest::addColumn<QString>("edit");
    QTest::addColumn<bool>("away"); // the jump comes while another window is active
    for (const EditCase &c : Cases) {
        QTest::addRow("%s", c.edit) << QString::fromLatin1(c.edit) << false;
        QTest::addRow("%s, another window active", c.edit) << QString::fromLatin1(c.edit) << true;
    }
}

// The run-time message jump to the communications page while the operator types: the
// typed text is dropped, the edit shows the hub's value again and follows the hub, and
// nothing of it is written, saved to a settings file or written when the operator comes
// back.
void TestFormTyping::programPageJumpDropsTheTyping()
{
    QFETCH(QString, edit);
    QFETCH(bool, away);
    const EditCase &c = Case(edit);
    FormHarness h;
    TForm1 &f = h.form();
    f.Comms->CheckBox4->SetChecked(true); // "Jump to this page on new runtime message"
    TEdit *e = TypeInto(h, c);
    const bool settingsPage = f.VKHSettingsTab;
    OtherWindow other;
    if (away)
        QVERIFY(other.Activate());
    RuntimeMessage(h);
    QCOMPARE(f.Frame->PageControl1->ActivePage(), f.Comms->TabSheet7);
    if (away)
        QVERIFY(Reactivate(f));
    QVERIFY(!e->Focused());
    QVERIFY(!f.SettingRange);
    // The page gates keep what they were: the jump is not the operator's page change.
    QCOMPARE(f.VKHSettingsTab, settingsPage);
    const QString hubText = e == f.Overview->Edit15 ? QStringLiteral("Pump Hall \u00C4    ")
                                                    : QString::number(KnownBlock(c)[c.word]);
    QCOMPARE(e->Text(), hubText);
    QCOMPARE(Saved(h), SettingsFileKit::Golden());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(h.control.WriteTexts(), QStringList{});
    QCOMPARE(f.Comms->Label93->Caption(), QString());

    // The hub's next value shows (with every range part, for a range edit).
    auto block = KnownBlock(c);
    block[c.word] = static_cast<int16_t>(block[c.word] + 1);
    if (c.handle == RegisterMap::Handle::HubSettings)
        block[28] = 4242; // Range2
    h.control.DeliverOk(c.handle, block);
    QCOMPARE(e->Text(), e == f.Overview->Edit15 ? QStringLiteral("Qump Hall \u00C4    ") : QString::number(block[c.word]));
    if (c.handle == RegisterMap::Handle::HubSettings)
        QCOMPARE(f.Find<TEdit>("Range2")->Text(), QStringLiteral("4242"));
}

void TestFormTyping::enterSendsTheFinishedValue_data()
{
    QTest::addColumn<QString>("edit");
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    for (const EditCase &c : Cases) {
        if (!c.write)
            continue; // the identification text is written by "Apply"
        QTest::addRow("%s, Return", c.edit) << QString::fromLatin1(c.edit) << int(Qt::Key_Return) << int(Qt::NoModifier);
        QTest::addRow("%s, keypad Enter", c.edit) << QString::fromLatin1(c.edit) << int(Qt::Key_Enter) << int(Qt::KeypadModifier);
    }
}

// Enter sends the typed value once and leaves the operator in the edit; leaving then
// sends nothing more, Enter again nothing, and a value typed anew goes out at its Enter.
void TestFormTyping::enterSendsTheFinishedValue()
{
    QFETCH(QString, edit);
    QFETCH(int, key);
    QFETCH(int, modifiers);
    const EditCase &c = Case(edit);
    FormHarness h;
    TForm1 &f = h.form();
    TEdit *e = TypeInto(h, c);
    const auto press = [&] { QTest::keyClick(e->Widget(), Qt::Key(key), Qt::KeyboardModifiers(modifiers)); };
    press();
    QCOMPARE(h.control.WriteTexts(), Expected(c));
    QVERIFY(e->Focused());
    QCOMPARE(QApplication::focusWidget(), e->Widget());
    press();
    QTest::keyClick(e->Widget(), Qt::Key_Tab);
    QCOMPARE(h.control.WriteTexts(), Expected(c));

    QTest::mouseClick(e->Widget(), Qt::LeftButton);
    e->LineEdit()->selectAll();
    QTest::keyClicks(e->Widget(), QStringLiteral("7"));
    press();
    const QString again = QString::fromLatin1(c.write).section(QLatin1Char('='), 0, 0) + QStringLiteral("=7");
    QCOMPARE(h.control.WriteTexts(), Expected(c) << again);
    QCOMPARE(f.Comms->Label93->Caption(), QString());
}

QTEST_MAIN(TestFormTyping)
#include "test_form_typing.moc"
