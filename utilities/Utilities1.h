#pragma once
// General helpers. The class holds no data: every operation is class-level and works
// only on its arguments (and, for the folder query, on the environment), so the window
// may call them before it has created its shared instance.
//
// The operations that change the machine (starting a process, setting the clock,
// ending the session or the system, ending the application) go through the
// replaceable calls of utilities/SystemCalls.h.
#include <QDateTime>
#include <QString>
#include <QtGui/qwindowdefs.h>
#include <cstdint>

// The buffer of CRC16: unsigned 8-bit values.
using DataP = const uint8_t *;

// Result codes of ExecuteFile, with the shell's numbers: above 32 means the file was
// opened or the program started; 32 or below names the failure.
namespace ExecuteResult {
// Refused before anything was tried: a text longer than ExecuteFile's limit or
// holding a zero character (either would name another file than the one given).
constexpr uintptr_t Refused = 1;
constexpr uintptr_t FileNotFound = 2;   // no such file, and no program of that name
constexpr uintptr_t PathNotFound = 3;   // the working folder does not exist
constexpr uintptr_t AccessDenied = 5;   // the file exists but may not be read
constexpr uintptr_t BadFormat = 11;     // an executable file that could not be started
constexpr uintptr_t NoAssociation = 31; // no desktop opener for documents
constexpr uintptr_t Started = 42;       // success
} // namespace ExecuteResult

// Flags of MyExitWindows (the exit flags of the Windows call, same values).
namespace ExitFlags {
constexpr uint32_t Logoff = 0x00;
constexpr uint32_t Shutdown = 0x01;
constexpr uint32_t Reboot = 0x02;
constexpr uint32_t Force = 0x04;
constexpr uint32_t PowerOff = 0x08;
constexpr uint32_t ForceIfHung = 0x10;
} // namespace ExitFlags

class TUtilities {
public:
    // Conversions.
    static QString BooleanToYesNo(bool Input);
    // Low when InputVal is below Low, High when above High (both inclusive), else
    // InputVal; Default when High is below Low.
    static int32_t Limit(int32_t Low, int32_t High, int32_t InputVal, int32_t Default);

    // Bit and byte operations. A bit number counts modulo 32 (bit 32 is bit 0).
    static int32_t LowByte(int32_t Input);
    static int32_t HighByte(int32_t Input);
    static bool IsBitOn(int32_t Input, int32_t Bit);
    static bool IsBitOnByte(uint8_t Input, uint8_t Bit);
    static int32_t PutBitOn(int32_t val, uint8_t TheBit);
    // Clears the bit with the 16-bit complement mask: the result keeps only the low
    // 16 bits of val (and bit TheBit itself when it is 16 or above).
    static int32_t PutBitOff(int32_t val, uint8_t TheBit);
    static int32_t BitToggle(int32_t val, uint8_t TheBit);
    static int32_t SetBit(int32_t val, uint8_t TheBit, bool state);

    // Opens FileName like the desktop does, without a shell:
    // - an executable file is started as a program, detached, with Params split into
    //   arguments at blanks (double quotes group), in the working folder DefaultDir;
    // - any other file or folder, or a web address, is opened with the desktop's
    //   default application (xdg-open), with DefaultDir as its working folder; Params
    //   do not apply to documents;
    // - a relative FileName is taken in DefaultDir (the current folder when empty);
    //   a bare name that names no file there is looked up as a program on PATH.
    // ShowCmd is accepted and not used: a started program chooses its own window
    // state on this desktop. The owner window has no counterpart either.
    // Each text may hold at most 200 characters; a longer one is refused, never cut.
    // Returns one of ExecuteResult's codes.
    static uintptr_t ExecuteFile(const QString &FileName, const QString &Params, const QString &DefaultDir,
                                 int32_t ShowCmd);
    // Copies the files or folders Source (several separated by zero characters) to
    // Dest: into Dest when it is a folder (created when several sources are given),
    // else to the name Dest. A name already taken gets " - Copy" (then " - Copy (2)",
    // ...) before its extension instead of being overwritten. Folders are copied
    // whole; symbolic links are copied as links. No wildcards, no shell, no dialog
    // (Input, the owner window, has no use). True when everything was copied.
    static bool CopyStuff(WId Input, const QString &Source, const QString &Dest);
    // Moves the files or folders Source (locale's 8-bit file-name encoding, several
    // separated by zero characters) to the desktop's trash, the freedesktop home
    // trash "Trash" under the data folder ($XDG_DATA_HOME, else ~/.local/share).
    // False when a source does not exist, or the trash cannot take it (it cannot be
    // created, or lies on another file system): nothing is ever deleted for good.
    // No wildcards, no shell; Input has no use.
    static bool DeleteStuff(WId Input, const QByteArray &Source);
    // CRC-16/ARC of the first Number - 1 bytes at Data; 0 when Number is 0 or 1 (or
    // Data is null). Data must hold at least Number - 1 bytes.
    static uint16_t CRC16(uint16_t Number, DataP Data);
    // Sets the local date and time where the process has the privilege (no prompt);
    // invalid values (30 February, 24:00, a local time skipped by a clock change) are
    // refused. Reports nothing.
    static void SetDateTime(uint16_t Year, uint16_t Month, uint16_t Day, uint16_t Hour, uint16_t Minu,
                            uint16_t Sec, uint16_t MSec);
    // How many of bits 0 to 15 are 1.
    static int16_t BitsOn(int32_t InputBits);
    // The number of the most significant 1 bit, -1 for 0.
    static int16_t HighestBitOn(int32_t InputBits);
    // The modifier keys of the GUI application as of the last keyboard event it has
    // processed; false without a GUI application.
    static bool CtrlDown();
    static bool AltDown();
    static bool ShiftDown();
    // MD5 of the whole file as 32 lower-case hexadecimal digits. Throws EFOpenError
    // when the file cannot be opened, EInOutError when it cannot be read to its end.
    static QString MD5(const QString &FileName);
    // Asks logind (D-Bus, system bus, never interactive) to end the own session
    // (Logoff), halt (Shutdown), restart (Reboot) or power off (PowerOff, also with
    // Shutdown). Force and ForceIfHung are accepted and change nothing. True when
    // logind accepted the request; false for any other flag or combination.
    static bool MyExitWindows(uint32_t RebootParam);
    // S followed by Ch up to Len UTF-16 code units; a longer S is never cut.
    static QString RightPad(const QString &S, QChar Ch, int32_t Len);
    // Digit 0 to 3 (bits 0-3 ... 12-15) of InputNumber in decimal, unchecked ("10" to
    // "15" possible); " " for any other digit number.
    static QString ExtractBCDElement(int16_t InputNumber, int16_t DigitToExtract);
    // The seconds (0 to 59) of the time of day; 0 for an invalid value.
    static int16_t SecondsOfTime(const QDateTime &InTime);
    // The program's version from the build, "major.minor.release.build".
    static QString VersionInfo();
    // Writes the POSIX shell script FileName + ".sh" (LF line ends, atomically):
    //   sleep 5                 -- wait for this program to end
    //   '<this program>' &      -- start it again by its absolute path, not waiting
    //   exit
    // starts it as /bin/sh <script> (no shell command text), and asks the application
    // to end. The application is asked to end also when writing or starting fails;
    // the failure (EFCreateError, EOSError) then passes on to the caller.
    static void SimpleRestart(const QString &FileName);

    // The folder for application data: $XDG_DATA_HOME when it is an absolute path,
    // else $HOME/.local/share. Never ends in a separator; decided once per run.
    static QString CommonAppDataPath();
    // The high 4-bit group times 10 plus the low one, unchecked (0xFF gives "165").
    static QString BCDToString(uint8_t BCDVal);

private:
    static void GetVersionWords(uint16_t &Major, uint16_t &Minor, uint16_t &Release, uint16_t &Build);
};
