#pragma once
// A stand-in for the communications control: it records every definition, buffer word
// and start, and lets a test deliver the result of any handle with given words, or an
// error code, as the real control would.
#include "comms/IMbaxp.h"

#include <QString>
#include <QStringList>
#include <array>
#include <functional>
#include <map>
#include <vector>

class ScriptedMbaxp : public IMbaxp {
public:
    enum class Kind { Read, WriteSingle, WriteMultiple };
    struct Definition {
        Kind kind = Kind::Read;
        int16_t slave = 0;
        int32_t address = 0;
        int16_t quantity = 0;
        int32_t rate = 0;
    };
    // One start of a handle (UpdateOnce, UpdateOncePaced or UpdateEnable) with what it
    // would send.
    struct Start {
        int16_t handle;
        bool repeated;
        Definition definition;
        std::vector<int16_t> words; // the words a write sends
        int gapMs = 0;              // UpdateOncePaced: its gap
    };

    void ReadHoldingRegisters(int16_t Handle, int16_t SlaveID, int32_t Address, int16_t Quantity, int32_t UpdateRate) override;
    void PresetSingleRegister(int16_t Handle, int16_t SlaveID, int32_t Address, int32_t UpdateRate) override;
    void PresetMultipleRegisters(int16_t Handle, int16_t SlaveID, int32_t Address, int16_t Quantity, int32_t UpdateRate) override;
    int16_t Get_Register(int16_t Handle, int16_t Index) const override;
    void Set_Register(int16_t Handle, int16_t Index, int16_t Value) override;
    int16_t ResultCount(int16_t Handle) const override;
    void UpdateEnable(int16_t Handle) override;
    void UpdateOnce(int16_t Handle) override;
    void UpdateOncePaced(int16_t Handle, int32_t GapMs) override;
    void UpdateDisable(int16_t Handle) override;
    // Calls progress with each of flushProgress in turn (running onFlushProgress after
    // each) and returns flushResult.
    WriteFlush SendWaitingWrites(const std::function<void(int Waiting)> &progress) override;
    void OpenConnection() override;
    void CloseConnection() override;

    // Delivers a completed run: words 0.. go into the handle's buffer, then OnResultOk.
    // The result carried exactly the words given (ResultCount is their number, at most
    // BufferWords). Without words it is a run of the handle's definition whose words are
    // those the buffer already holds: a read's result carried its defined quantity, a
    // write's none.
    void DeliverOk(int16_t handle, const std::vector<int16_t> &words = {});
    void DeliverError(int16_t handle, int16_t code);

    // Every call in order, as text: "Read(2,16,499,31,500)", "Enable(2)", "Once(10)",
    // "Paced(0,50)", "Disable(2)", "Single(0,16,599,1000)", "Multi(0,16,599,8,1000)",
    // "Set(0,0,5)", "Open", "Close", "Flush".
    QStringList calls;
    std::vector<Start> starts;
    std::map<int16_t, Definition> definitions;
    std::map<int16_t, bool> enabled;
    bool open = false;
    // What SendWaitingWrites reports, and the waiting counts it gives its progress.
    WriteFlush flushResult;
    std::vector<int> flushProgress;
    std::function<void()> onFlushProgress;

    // The writes that were started, in order.
    std::vector<Start> Writes() const;
    // The same as texts: function, unit, zero-based address and words ("F6 16:116=195",
    // "F16 16:8999=65,66").
    QStringList WriteTexts() const;
    void Clear();

private:
    std::array<int16_t, BufferWords> &Buffer(int16_t handle);
    void StartOnce(int16_t handle, int32_t gapMs);
    std::map<int16_t, std::array<int16_t, BufferWords>> buffers_;
    std::map<int16_t, int16_t> resultCounts_;
};
