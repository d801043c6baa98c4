#pragma once
// The units that stop answering, as the Modbus control keeps them: how many of their
// requests timed out in a row, which are set aside (demoted), and when the next probe may
// go and to which unit. Times are the control's clock in ms, passed in by the caller.
//
// A unit is demoted after DemoteAfterTimeouts consecutive time-outs, for DemotionFirstMs;
// each probe of it that times out demotes it again with the period doubled, up to
// DemotionMaxMs. Any reply restores it at once. The probes of all demoted units share one
// schedule: one probe at a time; after a probe the next one waits ProbeGapFactor times as
// long as that probe was on the wire; and when several units are due for a probe, the one
// that has been due longest goes first (round robin), so that none is starved.
#include <QtGlobal>

#include <cstdint>
#include <functional>
#include <map>

class SilentUnits {
public:
    static constexpr int DemoteAfterTimeouts = 3;
    static constexpr int DemotionFirstMs = 2000;
    static constexpr int DemotionMaxMs = 30000;
    static constexpr int ProbeGapFactor = 4;

    // Whether the unit's last request timed out (it has not answered since).
    bool hasTimedOut(int16_t unit) const;
    bool isDemoted(int16_t unit) const;
    // The unit's demotion period, 0 while it is not demoted.
    int periodMs(int16_t unit) const;

    // Whether a run of the unit that comes due at nowMs may go out as the probe: the unit
    // is demoted, no probe waits or is on the wire, its period and the gap after the last
    // probe are over, and no other unit whose runs keep coming due (willComeDue) has been
    // due for a probe longer.
    bool mayProbe(int16_t unit, qint64 nowMs, const std::function<bool(int16_t)> &willComeDue) const;
    // A probe of the unit now waits or is on the wire.
    void probeStarted(int16_t unit);
    // The probe went without an outcome (it was not sent, or the connection went).
    void probeDropped();
    // The probe ended at nowMs after lengthMs on the wire, answered or not.
    void probeEnded(qint64 nowMs, qint64 lengthMs);
    bool probing() const { return probing_; }
    int16_t probeUnit() const { return probeUnit_; }

    // The unit answered (any reply): it is restored, and a probe still waiting for it is an
    // ordinary read now.
    void answered(int16_t unit);
    // A request to the unit timed out at nowMs (probe: it was the unit's probe). True when
    // this demotes the unit, for the first time or again.
    bool timedOut(int16_t unit, bool probe, qint64 nowMs);

    // Forgets everything (a connection loss or reconnect).
    void clear();

private:
    struct Unit {
        int timeouts = 0;   // consecutive time-outs
        bool demoted = false;
        int periodMs = 0;   // the demotion period
        qint64 probeAt = 0; // a probe may be sent from then on
    };

    void demote(Unit &u, int periodMs, qint64 nowMs);

    std::map<int16_t, Unit> units_;
    bool probing_ = false;
    int16_t probeUnit_ = 0;
    qint64 nextProbeAt_ = 0; // no probe before this
};
