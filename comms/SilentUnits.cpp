#include "comms/SilentUnits.h"

#include <algorithm>

bool SilentUnits::hasTimedOut(int16_t unit) const
{
    const auto it = units_.find(unit);
    return it != units_.end() && it->second.timeouts > 0;
}

bool SilentUnits::isDemoted(int16_t unit) const
{
    const auto it = units_.find(unit);
    return it != units_.end() && it->second.demoted;
}

int SilentUnits::periodMs(int16_t unit) const
{
    const auto it = units_.find(unit);
    return it != units_.end() && it->second.demoted ? it->second.periodMs : 0;
}

bool SilentUnits::mayProbe(int16_t unit, qint64 nowMs, const std::function<bool(int16_t)> &willComeDue) const
{
    const auto it = units_.find(unit);
    if (it == units_.end() || !it->second.demoted || probing_ || nowMs < it->second.probeAt || nowMs < nextProbeAt_)
        return false;
    // Round robin: a unit due for a probe before this one goes first, unless none of its
    // runs will come due to take it.
    for (const auto &[other, u] : units_) {
        if (other == unit || !u.demoted || nowMs < u.probeAt)
            continue;
        const bool before = u.probeAt != it->second.probeAt ? u.probeAt < it->second.probeAt : other < unit;
        if (before && willComeDue(other))
            return false;
    }
    return true;
}

void SilentUnits::probeStarted(int16_t unit)
{
    probing_ = true;
    probeUnit_ = unit;
}

void SilentUnits::probeDropped() { probing_ = false; }

void SilentUnits::probeEnded(qint64 nowMs, qint64 lengthMs)
{
    probing_ = false;
    nextProbeAt_ = nowMs + ProbeGapFactor * std::max<qint64>(lengthMs, 0);
}

void SilentUnits::answered(int16_t unit)
{
    units_.erase(unit);
    if (probing_ && probeUnit_ == unit)
        probing_ = false;
}

bool SilentUnits::timedOut(int16_t unit, bool probe, qint64 nowMs)
{
    Unit &u = units_[unit];
    ++u.timeouts;
    if (u.demoted) {
        // Only its probe tells more of a demoted unit (a write that times out does not).
        if (!probe)
            return false;
        demote(u, std::min(u.periodMs * 2, DemotionMaxMs), nowMs);
        return true;
    }
    if (u.timeouts < DemoteAfterTimeouts)
        return false;
    demote(u, DemotionFirstMs, nowMs);
    return true;
}

void SilentUnits::demote(Unit &u, int periodMs, qint64 nowMs)
{
    u.demoted = true;
    u.periodMs = periodMs;
    u.probeAt = nowMs + periodMs;
}

void SilentUnits::clear()
{
    units_.clear();
    probing_ = false;
    nextProbeAt_ = 0;
}
