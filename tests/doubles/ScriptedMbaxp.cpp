#include "ScriptedMbaxp.h"

#include "utilities/Exceptions.h"

#include <algorithm>

namespace {
void CheckIndex(int16_t index)
{
    if (index < 0 || index >= IMbaxp::BufferWords)
        throw EListError(QStringLiteral("Register index out of range (%1)").arg(index));
}
} // namespace

std::array<int16_t, IMbaxp::BufferWords> &ScriptedMbaxp::Buffer(int16_t handle)
{
    auto it = buffers_.find(handle);
    if (it == buffers_.end())
        it = buffers_.emplace(handle, std::array<int16_t, BufferWords>{}).first;
    return it->second;
}

void ScriptedMbaxp::ReadHoldingRegisters(int16_t Handle, int16_t SlaveID, int32_t Address, int16_t Quantity, int32_t UpdateRate)
{
    definitions[Handle] = {Kind::Read, SlaveID, Address, Quantity, UpdateRate};
    calls << QStringLiteral("Read(%1,%2,%3,%4,%5)").arg(Handle).arg(SlaveID).arg(Address).arg(Quantity).arg(UpdateRate);
}

void ScriptedMbaxp::PresetSingleRegister(int16_t Handle, int16_t SlaveID, int32_t Address, int32_t UpdateRate)
{
    definitions[Handle] = {Kind::WriteSingle, SlaveID, Address, 1, UpdateRate};
    calls << QStringLiteral("Single(%1,%2,%3,%4)").arg(Handle).arg(SlaveID).arg(Address).arg(UpdateRate);
}

void ScriptedMbaxp::PresetMultipleRegisters(int16_t Handle, int16_t SlaveID, int32_t Address, int16_t Quantity, int32_t UpdateRate)
{
    definitions[Handle] = {Kind::WriteMultiple, SlaveID, Address, Quantity, UpdateRate};
    calls << QStringLiteral("Multi(%1,%2,%3,%4,%5)").arg(Handle).arg(SlaveID).arg(Address).arg(Quantity).arg(UpdateRate);
}

int16_t ScriptedMbaxp::Get_Register(int16_t Handle, int16_t Index) const
{
    CheckIndex(Index);
    auto it = buffers_.find(Handle);
    return it == buffers_.end() ? 0 : it->second[static_cast<size_t>(Index)];
}

int16_t ScriptedMbaxp::ResultCount(int16_t Handle) const
{
    auto it = resultCounts_.find(Handle);
    return it == resultCounts_.end() ? int16_t(0) : it->second;
}

void ScriptedMbaxp::Set_Register(int16_t Handle, int16_t Index, int16_t Value)
{
    CheckIndex(Index);
    Buffer(Handle)[static_cast<size_t>(Index)] = Value;
    calls << QStringLiteral("Set(%1,%2,%3)").arg(Handle).arg(Index).arg(Value);
}

void ScriptedMbaxp::UpdateEnable(int16_t Handle)
{
    enabled[Handle] = true;
    calls << QStringLiteral("Enable(%1)").arg(Handle);
    starts.push_back({Handle, true, definitions[Handle], {}});
}

void ScriptedMbaxp::UpdateOnce(int16_t Handle)
{
    calls << QStringLiteral("Once(%1)").arg(Handle);
    StartOnce(Handle, 0);
}

void ScriptedMbaxp::UpdateOncePaced(int16_t Handle, int32_t GapMs)
{
    calls << QStringLiteral("Paced(%1,%2)").arg(Handle).arg(GapMs);
    StartOnce(Handle, GapMs);
}

void ScriptedMbaxp::StartOnce(int16_t Handle, int32_t GapMs)
{
    Start start{Handle, false, definitions[Handle], {}, GapMs};
    if (start.definition.kind != Kind::Read) {
        const auto &buffer = Buffer(Handle);
        start.words.assign(buffer.begin(), buffer.begin() + std::max<int16_t>(0, start.definition.quantity));
    }
    starts.push_back(start);
}

IMbaxp::WriteFlush ScriptedMbaxp::SendWaitingWrites(const std::function<void(int Waiting)> &progress)
{
    calls << QStringLiteral("Flush");
    for (const int waiting : flushProgress) {
        if (progress)
            progress(waiting);
        if (onFlushProgress)
            onFlushProgress();
    }
    return flushResult;
}

void ScriptedMbaxp::UpdateDisable(int16_t Handle)
{
    enabled[Handle] = false;
    calls << QStringLiteral("Disable(%1)").arg(Handle);
}

void ScriptedMbaxp::OpenConnection()
{
    open = true;
    calls << QStringLiteral("Open");
}

void ScriptedMbaxp::CloseConnection()
{
    open = false;
    calls << QStringLiteral("Close");
}

void ScriptedMbaxp::DeliverOk(int16_t handle, const std::vector<int16_t> &words)
{
    auto &buffer = Buffer(handle);
    for (size_t i = 0; i < words.size() && i < buffer.size(); ++i)
        buffer[i] = words[i];
    int16_t count = static_cast<int16_t>(std::min(words.size(), buffer.size()));
    if (words.empty()) {
        const auto it = definitions.find(handle);
        if (it != definitions.end() && it->second.kind == Kind::Read)
            count = std::clamp<int16_t>(it->second.quantity, 0, BufferWords);
    }
    resultCounts_[handle] = count;
    if (OnResultOk)
        OnResultOk(handle);
}

void ScriptedMbaxp::DeliverError(int16_t handle, int16_t code)
{
    if (OnResultError)
        OnResultError(handle, code);
}

std::vector<ScriptedMbaxp::Start> ScriptedMbaxp::Writes() const
{
    std::vector<Start> writes;
    for (const Start &s : starts)
        if (s.definition.kind != Kind::Read)
            writes.push_back(s);
    return writes;
}

QStringList ScriptedMbaxp::WriteTexts() const
{
    QStringList out;
    for (const Start &start : Writes()) {
        QStringList words;
        for (int16_t v : start.words)
            words << QString::number(v);
        out << QStringLiteral("%1 %2:%3=%4")
                   .arg(start.definition.kind == Kind::WriteSingle ? "F6" : "F16")
                   .arg(start.definition.slave)
                   .arg(start.definition.address)
                   .arg(words.join(QLatin1Char(',')));
    }
    return out;
}

void ScriptedMbaxp::Clear()
{
    calls.clear();
    starts.clear();
}
