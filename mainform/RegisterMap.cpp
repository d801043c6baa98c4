#include "mainform/RegisterMap.h"

#include "mainform/ConfigConst.h"
#include "mainform/HubSettingsMap.h"
#include "mainform/LinkSettingsMap.h"
#include "mainform/MainForm.h"
#include "utilities/Exceptions.h"

namespace RegisterMap {
namespace {

using ConfigConst::RateFast;
using ConfigConst::RateNormal;
using ConfigConst::RateSlow;
using ConfigConst::UpdateRates;
using ConfigConst::WriteRate;

constexpr int32_t Fast = UpdateRates[RateFast];
constexpr int32_t Normal = UpdateRates[RateNormal];
constexpr int32_t Slow = UpdateRates[RateSlow];

constexpr HubDecoder NoHub = nullptr;
constexpr LinkDecoder NoLink = nullptr;

// The settings blocks as their maps give them: read whole, and written by a settings-file
// load from their first register in the file to their last.
constexpr int32_t HubSettingsAddress = HubSettingsMap::FirstRegister - 1;
constexpr int16_t HubSettingsWords = HubSettingsMap::Words;
constexpr int16_t HubFileFirst = SettingsMap::FirstRegisterInFile(HubSettingsMap::Rows);
constexpr int32_t HubFileAddress = HubFileFirst - 1;
constexpr int16_t HubFileWords = HubSettingsMap::FirstRegister + HubSettingsMap::Words - HubFileFirst;
constexpr int32_t LinkSettingsAddress = LinkSettingsMap::FirstRegister - 1;
constexpr int16_t LinkSettingsWords = LinkSettingsMap::Words;
constexpr int16_t LinkFileFirst = SettingsMap::FirstRegisterInFile(LinkSettingsMap::Rows);
constexpr int32_t LinkFileAddress = LinkFileFirst - 1;
constexpr int16_t LinkFileWords = LinkSettingsMap::FirstRegister + LinkSettingsMap::Words - LinkFileFirst;

// clang-format off
constexpr Block Table[] = {
    // handle                  per link unit                 address count rule                          rate    runs            start               name                  decode
    {Handle::Write,            false, Unit::Any,            0,     1,   Count::Fixed,                 WriteRate, Runs::Write,    Start::Operator,    "",                   Decode::None,    NoHub, NoLink},
    {Handle::HubSettings,      false, Unit::Hub,            HubSettingsAddress, HubSettingsWords, Count::SettingsByFirmware, 2000,    Runs::Repeated, Start::HubTimer,    "development data",   Decode::Hub,     &TForm1::DecodeHubSettings, NoLink},
    {Handle::GeneralData,      false, Unit::Hub,            499,   31,  Count::Fixed,                 Fast,    Runs::Repeated, Start::Activation,  "general info",       Decode::Hub,     &TForm1::DecodeGeneralInfo, NoLink},
    {Handle::HubStatistics,    false, Unit::Hub,            599,   37,  Count::StatisticsByFirmware,  Fast,    Runs::Once,     Start::GeneralData, "",                   Decode::Hub,     &TForm1::DecodeHubStatistics, NoLink},
    {Handle::GroupRequest,     false, Unit::Page,           1302,  2,   Count::Fixed,                 500,     Runs::Write,    Start::Operator,    "",                   Decode::Hub,     &TForm1::StartGroupRead, NoLink},
    {Handle::GroupData,        false, Unit::Page,           1302,  17,  Count::Fixed,                 500,     Runs::Once,     Start::Operator,    "",                   Decode::Hub,     &TForm1::DecodeGroupData, NoLink},
    {Handle::ConfigWindow,     false, Unit::SelectedLink,   4999,  120, Count::Fixed,                 1000,    Runs::Once,     Start::Operator,    "",                   Decode::Hub,     &TForm1::ShowConfigWindow, NoLink},
    {Handle::RuntimeMessage,   false, Unit::Hub,            6999,  10,  Count::Fixed,                 Fast,    Runs::Repeated, Start::Activation,  "development data",   Decode::Hub,     &TForm1::DecodeRuntimeMessage, NoLink},
    {Handle::IdentText,        false, Unit::Hub,            8999,  15,  Count::Fixed,                 60000,   Runs::Once,     Start::Activation,  "scratchpad data",    Decode::Hub,     &TForm1::ShowIdentText, NoLink},
    {Handle::LinkStatistics,   true,  Unit::Link,           1099,  12,  Count::Fixed,                 Fast,    Runs::Repeated, Start::Activation,  "link stats",         Decode::Link,    NoHub, &TForm1::DecodeLinkStatistics},
    {Handle::StatusWords,      true,  Unit::Link,           3799,  100, Count::Fixed,                 Normal,  Runs::Repeated, Start::Activation,  "link status words",  Decode::Link,    NoHub, &TForm1::DecodeStatusWords},
    {Handle::LoadWords,        true,  Unit::Link,           3899,  100, Count::Fixed,                 Normal,  Runs::Repeated, Start::Activation,  "link load words",    Decode::Link,    NoHub, &TForm1::DecodeLoadWords},
    {Handle::FaultWords,       true,  Unit::Link,           3999,  100, Count::Fixed,                 Normal,  Runs::Repeated, Start::Activation,  "link fault words",   Decode::Link,    NoHub, &TForm1::DecodeFaultWords},
    {Handle::StarterTypes,     true,  Unit::Link,           5999,  100, Count::Fixed,                 Slow,    Runs::Repeated, Start::Activation,  "link QV Types",      Decode::Link,    NoHub, &TForm1::DecodeStarterTypes},
    {Handle::CommandWords,     true,  Unit::Link,           1999,  100, Count::Fixed,                 Normal,  Runs::Repeated, Start::Activation,  "link command words", Decode::Link,    NoHub, &TForm1::ShowCommandWords},
    {Handle::LinkSettings,     true,  Unit::Link,           LinkSettingsAddress, LinkSettingsWords, Count::Fixed,    Normal,  Runs::Repeated, Start::Activation,  "link settings",      Decode::Link,    NoHub, &TForm1::DecodeLinkSettings},
    {Handle::FileHubBlock,     false, Unit::Hub,            HubFileAddress, HubFileWords, Count::Fixed,           WriteRate, Runs::Write,  Start::Operator,    "",                   Decode::None,    NoHub, NoLink},
    {Handle::FileLinkBlock,    true,  Unit::Link,           LinkFileAddress, LinkFileWords, Count::Fixed,         WriteRate, Runs::Write,  Start::Operator,    "",                   Decode::None,    NoHub, NoLink},
};
// clang-format on

int16_t CountOf(const Block &block, int16_t infoV4)
{
    switch (block.countRule) {
    // Below the firmware that has the controlling-device ranges, the block lacks its last
    // register.
    case Count::SettingsByFirmware:
        return infoV4 >= HubSettingsMap::ControlRangesFirmware ? block.count : static_cast<int16_t>(block.count - 1);
    case Count::StatisticsByFirmware: return infoV4 < 4 ? 24 : infoV4 == 4 ? 35 : 37;
    case Count::Fixed: break;
    }
    return block.count;
}

} // namespace

std::span<const Block> Blocks() { return Table; }

const Block *Find(int16_t handle, int *link)
{
    for (const Block &block : Table) {
        const int offset = handle - block.handle;
        if (offset == 0 || (block.perLink && offset > 0 && offset < Links)) {
            if (link)
                *link = offset;
            return &block;
        }
    }
    return nullptr;
}

Read ReadOf(int16_t handle, const Context &context)
{
    int link = 0;
    const Block *block = Find(handle, &link);
    if (!block || block->runs == Runs::Write)
        throw EListError(QStringLiteral("No read is defined for handle ") + QString::number(handle));
    Read read{handle, HubUnit, block->address, CountOf(*block, context.infoV4), block->rate};
    switch (block->unit) {
    case Unit::Link: read.unit = LinkUnit(link); break;
    case Unit::SelectedLink:
        read.unit = static_cast<int16_t>(HubUnit + context.whichLink);
        read.address += context.quorvaneInLink;
        break;
    case Unit::Page: read.unit = context.pageUnit; break;
    case Unit::Hub:
    case Unit::Any: break;
    }
    return read;
}

QString RegistrationLogLine(const Read &read)
{
    int link = 0;
    const Block *block = Find(read.handle, &link);
    QString text = QStringLiteral("Starting ") + QString::fromLatin1(block ? block->name : "") + QStringLiteral(" comms ");
    if (block && block->perLink)
        text += QStringLiteral("Port ") + QString::number(link + 1) + QLatin1Char(' ');
    return text + QLatin1Char('(') + QString::number(read.unit) + QLatin1Char(':') + QString::number(read.address + 1) +
           QLatin1Char(' ') + QString::number(read.quantity) + QStringLiteral(" Registers)");
}

} // namespace RegisterMap
