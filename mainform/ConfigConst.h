#pragma once
// Constants of the main window.
#include <QString>
#include <array>
#include <cstdint>

namespace ConfigConst {

// Repetition rates of the cyclic blocks, in ms: fast (general data, run-time message,
// statistics, link statistics), normal (link settings, status, load, fault and command
// words) and slow (starter types).
constexpr std::array<int16_t, 3> UpdateRates{500, 1000, 2500};
constexpr int RateFast = 0, RateNormal = 1, RateSlow = 2;

// Every write is sent once, with this update rate (handles and units: RegisterMap.h).
constexpr int32_t WriteRate = 1000;

// Button7 reads the link settings of links 2 to 4 once with this many words.
constexpr int16_t ShortLinkSettingsCount = 7;

// The identification text is read again, once, with this rate when the overview page is
// shown.
constexpr int32_t IdentRateFromPage = 600000;

// The USB serial port list line "COM5" becomes the COM-port field "5".
constexpr int ComPortPrefixLength = 3;

// Names of the files read beside the program and under the data folder.
inline const QString ModbusErrorsFile = QStringLiteral("ModbusErrors.txt");
inline const QString FaultsQV2File = QStringLiteral("FaultsQV2.txt");
inline const QString HelpFileName = QStringLiteral("VelkarHub.html");
inline const QString SettingsFile = QStringLiteral("/VelkarHubProjects/Settings.ini");
inline const QString DataFolder = QStringLiteral("/VelkarHubData");
inline const QString LogFile = QStringLiteral("/VelkarHubData/Log.txt");
inline const QString FaultLogFile = QStringLiteral("/VelkarHubData/FaultLog.txt");

// The password that shows the command and clearing buttons, compared exactly.
inline const QString CommandPassword = QStringLiteral("VirezaRAR");

constexpr int OperatorLogMaxLines = 10000;
constexpr int OperatorLogSaveEvery = 26;
constexpr int FaultLogMaxLines = 200;
constexpr int PortNameMaxLength = 20;

// The configuration status a link reports in 4x1100, indexed by its code (0 to 8): after
// code 0, the setting the hub refused and what it did instead.
constexpr std::array<const char *, 9> LinkConfigStatusTexts{
    "OK No Errors",
    "Wrong Port number selected, previous setting retained",
    "Quorvane link number out of range, previous setting retained",
    "Baud rate out of range, 9600 selected",
    "First Quorvane address out of range, 0 selected",
    "Last Quorvane address out of range, 99 selected",
    "Last Quorvane address not bigger than first Quorvane address, 99 selected",
    "Config conflict out of range, No master selected",
    "No reply timeout out of range, 10 selected",
};

} // namespace ConfigConst
