// The helper class's bit semantics, as one table per operation family, and the
// application-data folder.
#include "utilities/Utilities1.h"

#include <QtTest>
#include <climits>

class TestUtilities : public QObject {
    Q_OBJECT
private slots:
    void bitOperations_data();
    void bitOperations();
    void commonAppDataPath();
};

// op: the operation; a, b: its arguments; expected: its result (Booleans as 0/1).
void TestUtilities::bitOperations_data()
{
    QTest::addColumn<QString>("op");
    QTest::addColumn<qint64>("a");
    QTest::addColumn<qint64>("b");
    QTest::addColumn<qint64>("expected");

    auto row = [](const char *name, const char *op, qint64 a, qint64 b, qint64 expected) {
        QTest::newRow(name) << QString::fromLatin1(op) << a << b << expected;
    };
    row("IsBitOn 0x8000 b15", "IsBitOn", 0x8000, 15, 1);
    row("IsBitOn -32768 b15", "IsBitOn", -32768, 15, 1);
    row("IsBitOn -32768 b31 (sign-extended)", "IsBitOn", -32768, 31, 1);
    row("IsBitOn 1 b32 counts as b0", "IsBitOn", 1, 32, 1);
    row("IsBitOn 0x7FFF b15", "IsBitOn", 0x7FFF, 15, 0);
    row("IsBitOn negative bit number", "IsBitOn", INT32_MIN, -1, 1);
    row("IsBitOnByte 255 b8", "IsBitOnByte", 255, 8, 0);
    row("IsBitOnByte 1 b32", "IsBitOnByte", 1, 32, 1);
    row("PutBitOff 0x12345 b0 drops high bits", "PutBitOff", 0x12345, 0, 0x2344);
    row("PutBitOff -1 b3", "PutBitOff", -1, 3, 0xFFF7);
    row("PutBitOff 0x18000 b15", "PutBitOff", 0x18000, 15, 0);
    row("PutBitOff 0x10000 b16 keeps bit 16", "PutBitOff", 0x10000, 16, 0x10000);
    row("PutBitOff 0x10000 b48 is b16", "PutBitOff", 0x10000, 48, 0x10000);
    row("PutBitOn 0x10000 b0", "PutBitOn", 0x10000, 0, 0x10001);
    row("PutBitOn 0 b31", "PutBitOn", 0, 31, INT32_MIN);
    row("SetBit on 0 b15", "SetBitOn", 0, 15, 32768);
    row("SetBit off 32768 b15", "SetBitOff", 32768, 15, 0);
    row("BitToggle 0 b31", "BitToggle", 0, 31, INT32_MIN);
    row("BitToggle twice", "BitToggleTwice", 0x1234, 7, 0x1234);
    row("BitsOn 0x1FFFF counts 16 bits only", "BitsOn", 0x1FFFF, 0, 16);
    row("BitsOn 0", "BitsOn", 0, 0, 0);
    row("BitsOn -1", "BitsOn", -1, 0, 16);
    row("HighestBitOn 0", "HighestBitOn", 0, 0, -1);
    row("HighestBitOn 1", "HighestBitOn", 1, 0, 0);
    row("HighestBitOn -1", "HighestBitOn", -1, 0, 31);
    row("HighestBitOn 0x8000", "HighestBitOn", 0x8000, 0, 15);
    row("LowByte -1", "LowByte", -1, 0, 255);
    row("HighByte -1", "HighByte", -1, 0, 255);
    row("HighByte 0x1234", "HighByte", 0x1234, 0, 0x12);
    row("HighByte 0x12345", "HighByte", 0x12345, 0, 0x23);
}

void TestUtilities::bitOperations()
{
    QFETCH(QString, op);
    QFETCH(qint64, a);
    QFETCH(qint64, b);
    QFETCH(qint64, expected);
    const auto val = static_cast<int32_t>(a);
    const auto bit = static_cast<uint8_t>(b);
    qint64 got = 0;
    if (op == "IsBitOn") got = TUtilities::IsBitOn(val, static_cast<int32_t>(b));
    else if (op == "IsBitOnByte") got = TUtilities::IsBitOnByte(static_cast<uint8_t>(a), bit);
    else if (op == "PutBitOn") got = TUtilities::PutBitOn(val, bit);
    else if (op == "PutBitOff") got = TUtilities::PutBitOff(val, bit);
    else if (op == "SetBitOn") got = TUtilities::SetBit(val, bit, true);
    else if (op == "SetBitOff") got = TUtilities::SetBit(val, bit, false);
    else if (op == "BitToggle") got = TUtilities::BitToggle(val, bit);
    else if (op == "BitToggleTwice") got = TUtilities::BitToggle(TUtilities::BitToggle(val, bit), bit);
    else if (op == "BitsOn") got = TUtilities::BitsOn(val);
    else if (op == "HighestBitOn") got = TUtilities::HighestBitOn(val);
    else if (op == "LowByte") got = TUtilities::LowByte(val);
    else if (op == "HighByte") got = TUtilities::HighByte(val);
    else QFAIL(qPrintable("unknown operation " + op));
    QCOMPARE(got, expected);
}

void TestUtilities::commonAppDataPath()
{
    // Decided on the first call from XDG_DATA_HOME, given here with trailing separators.
    QTemporaryDir dir;
    qputenv("XDG_DATA_HOME", (dir.path() + "//").toUtf8());
    const QString first = TUtilities::CommonAppDataPath();
    QCOMPARE(first, QDir::cleanPath(dir.path()));
    QVERIFY(!first.endsWith('/'));
    qputenv("XDG_DATA_HOME", "/somewhere/else");
    QCOMPARE(TUtilities::CommonAppDataPath(), first);
}

QTEST_GUILESS_MAIN(TestUtilities)
#include "test_utilities.moc"
