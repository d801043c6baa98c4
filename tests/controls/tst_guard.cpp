// The guard around every entry from the event loop: a failure escaping a handler reaches
// the installed exception handler with a readable class name, the rest of the handler is
// skipped, and the program goes on (the next event runs the handler again).
#include "ControlsTestKit.h"
#include "controls/Grid.h"
#include "controls/PageControl.h"

#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTableView>
#include <QTextBlock>
#include <stdexcept>

namespace probe {
// A failure type of no family of ours: its C++ name is what the handler gets.
class Failure : public std::exception {
public:
    const char *what() const noexcept override { return "probe failure"; }
};
} // namespace probe

namespace {

const QString kMessage = QStringLiteral("probe failure");

[[noreturn]] void Fail(const QString &kind)
{
    const std::string text = kMessage.toStdString();
    if (kind == QLatin1String("EConvertError"))
        throw EConvertError(kMessage);
    if (kind == QLatin1String("ERangeError"))
        throw ERangeError(kMessage);
    if (kind == QLatin1String("EListError"))
        throw EListError(kMessage);
    if (kind == QLatin1String("EInOutError"))
        throw EInOutError(kMessage);
    if (kind == QLatin1String("EFOpenError"))
        throw EFOpenError(kMessage);
    if (kind == QLatin1String("EFCreateError"))
        throw EFCreateError(kMessage);
    if (kind == QLatin1String("Exception"))
        throw Exception(kMessage);
    if (kind == QLatin1String("std::runtime_error"))
        throw std::runtime_error(text);
    if (kind == QLatin1String("std::out_of_range"))
        throw std::out_of_range(text);
    if (kind == QLatin1String("std::invalid_argument"))
        throw std::invalid_argument(text);
    if (kind == QLatin1String("std::logic_error"))
        throw std::logic_error(text);
    if (kind == QLatin1String("std::length_error"))
        throw std::length_error(text);
    throw probe::Failure();
}

} // namespace

class TestGuard : public QObject {
    Q_OBJECT
private slots:
    void cleanup() { Guard::SetExceptionHandler(nullptr); }

    void escapedFailureReachesHandler_data();
    void escapedFailureReachesHandler();
    void failureWithoutHandlerIsReportedAndSkipped();
};

void TestGuard::escapedFailureReachesHandler_data()
{
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QString>("failure");
    QTest::addColumn<QString>("className");
    auto row = [](const char *entry, const char *failure, const char *name) {
        QTest::newRow(qPrintable(QStringLiteral("%1, %2").arg(QLatin1String(entry), QLatin1String(failure))))
            << QString::fromLatin1(entry) << QString::fromLatin1(failure) << QString::fromLatin1(name);
    };
    row("button click", "EConvertError", "EConvertError");
    row("typing in an edit", "std::runtime_error", "std::runtime_error");
    row("key press", "probe", "probe::Failure");
    row("timer", "EListError", "EListError");
    row("form activation", "std::out_of_range", "std::out_of_range");
    row("page tab click", "EFCreateError", "EFCreateError");
    row("grid row click", "std::invalid_argument", "std::invalid_argument");
    row("check box click", "Exception", "Exception");
    row("check box mouse-up", "ERangeError", "ERangeError");
    row("memo double click", "std::logic_error", "std::logic_error");
    row("help key", "EInOutError", "EInOutError");
    row("label click", "EFOpenError", "EFOpenError");
    row("image click", "EConvertError", "EConvertError");
    row("combo box typing", "std::length_error", "std::length_error");
    row("exit handler", "ERangeError", "ERangeError");
    row("enter handler", "std::runtime_error", "std::runtime_error");
    row("radio group click", "EListError", "EListError");
    row("wrapped handler", "EFCreateError", "EFCreateError");
}

void TestGuard::escapedFailureReachesHandler()
{
    QFETCH(QString, entry);
    QFETCH(QString, failure);
    QFETCH(QString, className);
    FailureRecorder recorder;
    TestWindow w;
    int runs = 0;
    bool reachedEnd = false;
    auto failing = [&] {
        ++runs;
        Fail(failure);
        reachedEnd = true;
    };
    auto notify = [&](TComponent *) { failing(); };
    std::function<void()> trigger; // one event; the test sends it twice
    int enters = 0;

    if (entry == QLatin1String("button click")) {
        auto *button = w.Place(new TButton(&w.form, QStringLiteral("Button1"), w.Client(), QStringLiteral("Go")));
        button->OnClick = notify;
        trigger = [button] { QTest::mouseClick(button->Widget(), Qt::LeftButton); };
    } else if (entry == QLatin1String("typing in an edit")) {
        auto *edit = w.Place(new TEdit(&w.form, QStringLiteral("Edit1"), w.Client()));
        edit->OnChange = notify;
        trigger = [edit] { QTest::keyClicks(edit->Widget(), QStringLiteral("4")); };
    } else if (entry == QLatin1String("key press")) {
        auto *edit = w.Place(new TEdit(&w.form, QStringLiteral("Edit1"), w.Client()));
        edit->OnKeyPress = [&](TComponent *, QChar &) { failing(); };
        trigger = [edit] { QTest::keyClicks(edit->Widget(), QStringLiteral("k")); };
    } else if (entry == QLatin1String("timer")) {
        auto *timer = new TTimer(&w.form, QStringLiteral("Timer1"), 15, false);
        timer->OnTimer = [&, timer](TComponent *) {
            timer->SetEnabled(false);
            failing();
        };
        trigger = [&, timer] {
            const int before = runs;
            timer->SetEnabled(true);
            QTRY_COMPARE(runs, before + 1);
        };
    } else if (entry == QLatin1String("form activation")) {
        w.form.OnActivate = notify;
        trigger = [&] {
            const int before = runs;
            if (before == 0)
                QVERIFY(w.ShowActive());
            else
                w.form.MessageDlg(QStringLiteral("Done"), TMsgDlgType::mtInformation, TMsgDlgBtn::mbOK);
            QTRY_COMPARE(runs, before + 1);
        };
    } else if (entry == QLatin1String("page tab click")) {
        auto *pages = new TPageControl(&w.form, QStringLiteral("PageControl1"), w.Client());
        w.layout->addWidget(pages->Widget());
        new TTabSheet(&w.form, QStringLiteral("TabSheet1"), pages, QStringLiteral("One"));
        new TTabSheet(&w.form, QStringLiteral("TabSheet2"), pages, QStringLiteral("Two"));
        pages->OnChange = notify;
        trigger = [pages] {
            QTabBar *bar = pages->Tabs()->tabBar();
            QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(1 - bar->currentIndex()).center());
        };
    } else if (entry == QLatin1String("grid row click")) {
        auto *grid = new TStringGrid(&w.form, QStringLiteral("StringGrid1"), w.Client(), 3, 4);
        w.layout->addWidget(grid->Widget());
        grid->OnClick = notify;
        trigger = [grid] {
            const int row = grid->Row() == 1 ? 2 : 1;
            QTableView *view = grid->View();
            QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(view->model()->index(row, 1)).center());
        };
    } else if (entry == QLatin1String("check box click") || entry == QLatin1String("check box mouse-up")) {
        auto *box = w.Place(new TCheckBox(&w.form, QStringLiteral("CheckBox1"), w.Client(), QStringLiteral("Box")));
        if (entry == QLatin1String("check box click"))
            box->OnClick = notify;
        else
            box->OnMouseUp = [&](TComponent *, Qt::MouseButton, Qt::KeyboardModifiers, int, int) { failing(); };
        trigger = [box] { ClickButton(static_cast<QAbstractButton *>(box->Widget())); };
    } else if (entry == QLatin1String("memo double click")) {
        auto *memo = w.Place(new TMemo(&w.form, QStringLiteral("Memo1"), w.Client()), {});
        memo->Add(QStringLiteral("first line"));
        memo->Add(QStringLiteral("second line"));
        memo->OnDblClick = notify;
        trigger = [&, memo] {
            const int before = runs;
            QPlainTextEdit *text = memo->TextEdit();
            DoubleClick(text->viewport(), text->cursorRect(QTextCursor(text->document()->findBlockByNumber(1))).center());
            QTRY_COMPARE(runs, before + 1);
        };
    } else if (entry == QLatin1String("help key")) {
        auto *edit = w.Place(new TEdit(&w.form, QStringLiteral("Edit1"), w.Client()));
        edit->HelpContext = 3000;
        w.form.OnHelp = [&](int context, const QString &) {
            QCOMPARE(context, 3000);
            failing();
        };
        trigger = [edit] {
            edit->Widget()->setFocus();
            QTest::keyClick(edit->Widget(), Qt::Key_F1);
        };
    } else if (entry == QLatin1String("label click")) {
        auto *label = w.Place(new TLabel(&w.form, QStringLiteral("Label1"), w.Client(), QStringLiteral("www.example.com")));
        label->OnClick = notify;
        trigger = [label] { QTest::mouseClick(label->Widget(), Qt::LeftButton); };
    } else if (entry == QLatin1String("image click")) {
        auto *image = w.Place(new TImage(&w.form, QStringLiteral("Image1"), w.Client()));
        image->Widget()->setMinimumSize(40, 40);
        image->OnClick = notify;
        trigger = [image] { QTest::mouseClick(image->Widget(), Qt::LeftButton); };
    } else if (entry == QLatin1String("combo box typing")) {
        auto *combo = w.Place(new TComboBox(&w.form, QStringLiteral("ComboBox1"), w.Client(),
                                            {QStringLiteral("COM1"), QStringLiteral("COM2")}, QString()));
        combo->OnChange = notify;
        trigger = [combo] { QTest::keyClicks(static_cast<QComboBox *>(combo->Widget())->lineEdit(), QStringLiteral("3")); };
    } else if (entry == QLatin1String("exit handler") || entry == QLatin1String("enter handler")) {
        auto *edit1 = w.Place(new TEdit(&w.form, QStringLiteral("Edit1"), w.Client()));
        auto *edit2 = w.Place(new TEdit(&w.form, QStringLiteral("Edit2"), w.Client()));
        if (entry == QLatin1String("exit handler")) {
            edit1->OnExit = notify;
            edit2->OnEnter = [&](TComponent *) { ++enters; };
        } else {
            edit2->OnEnter = notify;
        }
        trigger = [edit1] {
            edit1->Widget()->setFocus();
            QTest::keyClick(edit1->Widget(), Qt::Key_Tab);
        };
    } else if (entry == QLatin1String("radio group click")) {
        auto *group = w.Place(new TRadioGroup(&w.form, QStringLiteral("RadioGroup1"), w.Client(), QStringLiteral("Mode"),
                                              {QStringLiteral("RTU"), QStringLiteral("TCP")}),
                              {});
        group->OnClick = notify;
        trigger = [group] {
            const QList<QRadioButton *> items = group->Widget()->findChildren<QRadioButton *>(Qt::FindDirectChildrenOnly);
            ClickButton(items.at(group->ItemIndex() == 1 ? 0 : 1));
        };
    } else if (entry == QLatin1String("wrapped handler")) {
        auto wrapped = Guard::Wrap<int, const QString &>([&](int unit, const QString &) {
            QCOMPARE(unit, 17);
            failing();
        });
        trigger = [wrapped] { wrapped(17, QStringLiteral("reply")); };
    }
    QVERIFY(trigger);
    if (entry != QLatin1String("form activation"))
        QVERIFY(w.ShowActive());

    trigger();
    trigger();
    QCOMPARE(runs, 2);
    QVERIFY(!reachedEnd);
    const QString expected = className + QStringLiteral(": ") + kMessage;
    QCOMPARE(recorder.failures, (QStringList{expected, expected}));
    if (entry == QLatin1String("exit handler"))
        QCOMPARE(enters, 2); // the move of the focus goes on after the failing exit
}

void TestGuard::failureWithoutHandlerIsReportedAndSkipped()
{
    Guard::SetExceptionHandler(nullptr);
    TestWindow w;
    auto *button = w.Place(new TButton(&w.form, QStringLiteral("Button1"), w.Client(), QStringLiteral("Go")));
    int runs = 0;
    button->OnClick = [&](TComponent *) {
        ++runs;
        throw EConvertError(QStringLiteral("'abc' is not a valid integer value"));
    };
    QVERIFY(w.ShowActive());
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("EConvertError.*'abc' is not a valid integer value")));
    QTest::mouseClick(button->Widget(), Qt::LeftButton);
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("EConvertError")));
    QTest::mouseClick(button->Widget(), Qt::LeftButton);
    QCOMPARE(runs, 2);
}

int RunGuardTests(int argc, char **argv)
{
    TestGuard tests;
    return QTest::qExec(&tests, argc, argv);
}

#include "tst_guard.moc"
