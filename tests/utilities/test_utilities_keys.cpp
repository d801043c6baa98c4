// The key-state tests of the helper class in a GUI application: the modifier keys as
// the application's last keyboard event left them.
#include "utilities/Utilities1.h"

#include <QWindow>
#include <QtTest>

class TestUtilitiesKeys : public QObject {
    Q_OBJECT
private slots:
    void modifiers_data();
    void modifiers();
};

void TestUtilitiesKeys::modifiers_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifier");
    QTest::addColumn<QString>("down");
    QTest::newRow("Ctrl") << int(Qt::Key_Control) << int(Qt::ControlModifier) << "C";
    QTest::newRow("Alt") << int(Qt::Key_Alt) << int(Qt::AltModifier) << "A";
    QTest::newRow("Shift") << int(Qt::Key_Shift) << int(Qt::ShiftModifier) << "S";
    QTest::newRow("Ctrl and Shift") << int(Qt::Key_A) << int(Qt::ControlModifier | Qt::ShiftModifier) << "CS";
    QTest::newRow("Meta is none of them") << int(Qt::Key_Meta) << int(Qt::MetaModifier) << "";
}

void TestUtilitiesKeys::modifiers()
{
    QFETCH(int, key);
    QFETCH(int, modifier);
    QFETCH(QString, down);
    QWindow window;
    window.resize(100, 100);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    auto state = [] {
        return QString(TUtilities::CtrlDown() ? "C" : "") + (TUtilities::AltDown() ? "A" : "")
               + (TUtilities::ShiftDown() ? "S" : "");
    };
    QCOMPARE(state(), QString());
    QTest::keyPress(&window, Qt::Key(key), Qt::KeyboardModifiers(modifier));
    QCOMPARE(state(), down);
    QTest::keyRelease(&window, Qt::Key(key), Qt::NoModifier);
    QCOMPARE(state(), QString());
}

QTEST_MAIN(TestUtilitiesKeys)
#include "test_utilities_keys.moc"
