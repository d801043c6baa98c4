#!/usr/bin/python3
"""VelkarHub simulator: a Modbus slave that behaves like a small VelkarHub plant.

Used by the tests and by the run command as a stand-in for the gateway. It serves
unit 16 (the hub) and units 17 to 20 (links 1 to 4) over Modbus TCP and/or Modbus
RTU from one asyncio loop, on top of pymodbus 3.0.

Command line:
  /usr/bin/python3 tools/hubsim.py [--host 127.0.0.1] [--tcp-port N]
        [--rtu DEVICE [--baud 9600]] [--info-v2 N] [--info-v4 N]
        [--freeze-watchdog] [--time-needed] [--exit-on-eof]
        [--silent UNIT[,UNIT...]] [--reply-delay MS] [--corrupt-every N]
        [--wrong-unit-every N] [--busy-reads UNIT:REG:N ...] [--reuse-port]

  --tcp-port 0 picks a free port. Without --tcp-port and without --rtu the
  simulator serves TCP on 1502. Once every server listens it prints one line
  "READY tcp=<port or -> rtu=<device or ->".
  --silent: units that start silent (see "silence"). --reply-delay: every unit
  starts with this reply delay (see "delay"). --corrupt-every: every Nth reply
  is malformed from the start (see "corrupt"). --wrong-unit-every: every Nth
  reply comes from another unit from the start (see "wrongunit").
  --busy-reads UNIT:REG:N: the first N read requests (function 3) of UNIT that
  start at register REG are answered with exception 6 (slave device busy), as a
  hub that is busy when asked; they are counted ("reads") like any other. The
  option may be given once for each block. --reuse-port: the TCP socket is
  opened with SO_REUSEPORT, so that a test can keep the port bound (not
  listening) between two runs of the simulator and no one else takes it.

Commands on stdin, one per line, each answered by exactly one line on stdout
("OK ..." or "ERR <reason>"). REG is always the one-based register number
(606 is 4x606, zero-based protocol address 605).
  freeze | unfreeze          stop / restart the watchdog counter 4x606
  set UNIT REG V1 [V2 ...]   store values (signed or unsigned 16-bit); this is the
                             hub's own firmware changing them: no write-log entry
                             and no request side effects, except that a value set
                             in the clock 4x100..4x105 makes the clock run from it
  get UNIT REG [COUNT]       -> OK v1 v2 ...   (unsigned decimal)
  log                        -> OK UNIT:REG:V1,V2 ...  every write request received
                             (accepted or refused) since start or clearlog
  logtimes                   -> OK MS:UNIT:REG:V1,V2 ...  the same entries, each
                             led by the time it was received on the system's
                             monotonic clock (CLOCK_MONOTONIC), in milliseconds
                             with three decimals
  clearlog                   -> OK
  reads UNIT REG             -> OK <n>  read requests that started at REG
  runtime COUNT LINE NAME    set the run-time message (NAME: rest of the line,
                             cut or padded with spaces to 16 characters)
  asktime keep|once|off      the hub asks for the date and time (bit 0 of 4x511):
                             keep = asks on after every clock write (a hub that
                             never keeps its time), once = until the next clock
                             write (as --time-needed), off = stops asking
  silence [UNIT ...]         -> OK <silent units>  make these units drop every
                             request from now on (a unit that has stopped
                             answering); without units only lists them
  unsilence [UNIT ...]       -> OK <silent units>  these units (all without
                             units) answer again
  delay MS [UNIT ...]        -> OK  send every reply of these units (all units
                             without any) MS milliseconds after the request came;
                             the reply holds the values as they were when it came.
                             0 answers at once
  corrupt [N]                -> OK <N> <malformed so far>  from now on every Nth
                             reply (counted over all units and connections) is
                             malformed: over TCP a read reply lacks its last
                             register (byte count and frame length agree with
                             that), any other reply echoes a wrong address; over
                             RTU the reply's CRC is wrong. 0 stops it; without N
                             only reports
  wrongunit [N]              -> OK <N> <sent so far>  from now on every Nth reply
                             (counted over all units and connections) comes from
                             another unit, as a gateway that mixes up its answers:
                             the request is carried out as usual, but the reply
                             carries the next unit's id (16 -> 17 -> ... -> 20 -> 16)
                             and, for a read, that unit's registers at the
                             addresses asked (its unit number where it has no such
                             register); otherwise it is a valid reply (the right
                             transaction id, function and byte count over TCP, a
                             correct CRC over RTU). 0 stops it; without N only
                             reports
  quit                       exit
  With --exit-on-eof the end of stdin ends the simulator; otherwise it runs until
  SIGTERM/SIGINT, also with stdin closed or /dev/null.

Requests to other unit ids are dropped without an answer (the master times out).
A silent unit's requests are dropped the same way, but they are still counted
("reads", 4x601) and its write requests logged ("log") as received; they are
not carried out.
Addresses outside the register ranges below answer exception 2 (illegal data
address); so do coils, discrete inputs and input registers.

Register map and initial data (one-based register numbers)
----------------------------------------------------------
Unit 16, the hub:
  4x100..4x105  clock: day, month, year-2000, hour, minute, second. Runs from the
                local time at start-up and from whatever is written there. Writing
                the six words 82,69,66,79,79,84 ("REBOOT") to 4x100 is a reboot
                request: it clears bit 3 of 4x511 and leaves the clock running.
                A written value that is no valid date or time stops the clock at
                the written values until a valid one is written.
  4x106..4x109  link control modes 2, 2, 10, 0
  4x110 502 (Modbus TCP port)     4x111 1000 (controlling-device time-out, ms)
  4x112 0 (time-out action)       4x113 1 (use fixed address)
  4x114..4x117  192.168.1.50      4x118..4x121 192.168.1.1 (router)
  4x122..4x125  255.255.255.0     4x126 0x0007 (client ranges 1 to 3 in use)
  4x127..4x206  client ranges, five words each (first address, last part of the
                last address): 1 = 192.168.1.10 to .99, 2 = 192.168.1.200 to .210,
                3 = 10.20.0.1 to .30, ranges 4..16 all 0
  4x207 0 (LED test)              4x208 0x0005 (ranges 1 and 3 are controlling
                                  devices)
  4x500..4x503  firmware version 4, 60, 2, 6 (4x501 from --info-v2, 4x503 from
                --info-v4)
  4x504, 4x505  checksum low word 0xBEEF, high word 0x1234
  4x506, 4x507  0
  4x508..4x510  MAC 00:1A:2B:3C:4D:5E, low byte first: 0x1A00, 0x3C2B, 0x5E4D
  4x511         status: bit 0 "date and time needed" (set with --time-needed,
                cleared by a write to the clock), bit 3 "reboot required" (clear)
  4x512         0x000F: links 1..4 have data
  4x513..4x524  address in use 127.0.0.1, router 127.0.0.254, mask 255.0.0.0
  4x525..4x530  lamps (low byte colour 1 green/2 yellow/3 red/4 cycle, high byte
                blink mode 0 steady, 2 double flash, 11 slow blink, 2..5 network
                flashes): power 0x0001, network 0x0301, link1 0x0B01,
                link2 0x0201, link3 0x0002, link4 0x0003
  4x600 transmissions and 4x601 receptions: count the requests served
  4x602 Tx errors 0   4x603 Rx errors 2   4x604 time-outs 1   4x605 power-ons 17
  4x606 watchdog: +1 every 200 ms (wraps at 65535) unless frozen
  4x607 run-time messages 0       4x608..4x617 0
  4x618 blocked connections 0     4x619..4x623 last blocked client 0.0.0.0:0
  4x624 active connections 1      4x625 receiving while transmitting 0
  4x626 total connections 42      4x627 Modbus TCP Tx 1500   4x628 ReTx 3
  4x629 acks 1490   4x630 Modbus TCP Rx 1510   4x631 TCP time-outs 0
  4x632 closures 40 4x633 aborts 1 4x634 address allocations 1
  4x635 flash writes 12           4x636 flash read CRC errors 0
  4x7000..4x7009 run-time message: count, line, 16-character file name (low
                byte first in each word); all 0 at start
  4x9000..4x9014 identification text "VelkarHub Sim", space padded, one
                character per register

Units 17..20, links n = unit - 16 = 1..4:
  4x1000..4x1008 port n, link n, baud code 96, first address 0, last address 9,
                conflict action 0, no-reply limit 10, fast broadcast 0, input data
                content 2
  4x1100..4x1111 link status 0, 0, transmissions (32 bits: 4x1102 low,
                4x1103 high; +5 every 200 ms), CRC errors, last CRC error address,
                time-outs, last time-out address, responding starters 9, last,
                average and longest scan time (ms) - see LINK_STATISTICS
  4x1303..4x1319 group data of one starter. Writing 4x1303/4x1304 (starter
                address, item) sets the status 4x1305 to 1 (busy) and clears the
                reply words; the next two reads of the status still see 1, the
                third and later see 2 (ready) with 4x1308..4x1318 =
                address*100 + item*10 + word index (0..10) and length 4x1319 = 11.
                An item above 10 or an address above 99 gives status 3 (stopped).
  4x2000..4x2099 command words, 0
  4x3800..4x3899 status words, 4x3900..4x3999 load words, 4x4000..4x4099 fault
                words (low byte code, high byte severity 0 warn/1 alarm/2 trip/
                3 latched trip), 4x6000..4x6099 starter types: the ten starters of
                STARTERS repeat over addresses 0..99, the list rotated by n - 1
                places per link (address i of link n is STARTERS[(i + n - 1) % 10]);
                a running starter's load grows by 1 with each ten addresses (i // 10)
  4x5000..4x5218 configuration windows: address a's window is 4x5000+a ..
                4x5119+a (windows overlap); register 4x(5000 + k) holds
                n*1000 + k, so word j of address a's window is n*1000 + a + j
"""

import argparse
import asyncio
import datetime
import logging
import os
import signal
import struct
import sys
import threading
import time

from pymodbus.datastore import ModbusServerContext, ModbusSlaveContext
from pymodbus.datastore.store import ModbusSparseDataBlock
from pymodbus.framer.rtu_framer import ModbusRtuFramer
from pymodbus.framer.socket_framer import ModbusSocketFramer
from pymodbus.server.async_io import (
    ModbusConnectedRequestHandler,
    ModbusSerialServer,
    ModbusSingleRequestHandler,
    ModbusTcpServer,
)

HUB_UNIT = 16
LINK_UNITS = (17, 18, 19, 20)
ALL_UNITS = (HUB_UNIT,) + LINK_UNITS

WATCHDOG_PERIOD_S = 0.2
LINK_TX_PER_TICK = 5

FC_READ_HOLDING = 3
FC_WRITE_SINGLE = 6
FC_WRITE_MULTIPLE = 16
FC_MASK_WRITE = 22
FC_READ_WRITE_MULTIPLE = 23

EXCEPTION_SLAVE_BUSY = 6

REBOOT_WORDS = [82, 69, 66, 79, 79, 84]  # "REBOOT", one character per register

# Zero-based register addresses (register 4xN is address N - 1).
A_CLOCK = 99            # 4x100..4x105
A_FIRMWARE = 499        # 4x500
A_STATUS1 = 510         # 4x511
A_STATS = 599           # 4x600
A_TX_COUNT = 599        # 4x600
A_RX_COUNT = 600        # 4x601
A_WATCHDOG = 605        # 4x606
A_RUNTIME = 6999        # 4x7000
A_IDENT = 8999          # 4x9000
A_LINK_TX_LOW = 1101    # 4x1102
A_GROUP = 1302          # 4x1303: starter address
A_GROUP_ITEM = 1303     # 4x1304: item
A_GROUP_STATUS = 1304   # 4x1305: status
A_GROUP_DATA = 1307     # 4x1308..4x1318
A_GROUP_LENGTH = 1318   # 4x1319
A_GROUP_END = 1318

STATUS1_TIME_NEEDED = 0x0001
STATUS1_REBOOT_REQUIRED = 0x0008

GROUP_BUSY, GROUP_READY, GROUP_STOPPED = 1, 2, 3
GROUP_BUSY_READS = 2    # reads that still see "busy" after a request
GROUP_DATA_WORDS = 11
GROUP_MAX_ITEM = 10

# The ten starters found at addresses 0..9 of each link:
# (type, status word, load word, fault word).
# Newer starters (types 41, 42, 43, 50) use a flag per status bit: 0 not
# communicating, 1 trip, 2 alarm, 3 warn, 4 fault active, 7 open required,
# 8/9 contactor A/B closed, 10 stopped, 15 available. Older ones (below 30, and
# 30/31 for the fault code) keep the fault code in bits 0..5 and flags in
# 8/9 contactor A/B, 12 input 1, 14 local control, 15 available.
STARTERS = [
    (41, 0x8100, 78, 0x0000),   # Quorvane 4.2: running on contactor A
    (42, 0x8400, 0, 0x0000),    # Quorvane 4.2E: available, stopped
    (30, 0x8200, 65, 0x0000),   # Quorvane 3: running on contactor B
    (20, 0x9100, 92, 0x0000),   # Quorvane 2: contactor A closed, input 1 closed
    (50, 0x8492, 0, 0x020C),    # Quorvane 5: tripped (trip, fault 12), open required
    (10, 0x8005, 0, 0x0000),    # Quorvane 1: stopped with fault code 5
    (23, 0xC100, 45, 0x0000),   # QV3 emulated: local control, contactor A closed
    (31, 0x8103, 103, 0x0000),  # Quorvane 3 Enhanced: running, fault code 3
    (43, 0x8114, 88, 0x0105),   # Quorvane 4.3: running with an alarm (fault 5)
    (0, 0x0000, 0, 0x0000),     # nothing answers here
]

# Link statistics 4x1100..4x1111 for links 1..4; the transmission count
# (4x1102 low, 4x1103 high) is given as one 32-bit start value.
LINK_STATISTICS = {
    # status, transmissions, CRC errors, last CRC address, time-outs,
    # last time-out address, responding, last/average/longest scan (ms)
    17: (0, 71234, 3, 4, 2, 9, 9, 38, 40, 55),
    18: (0, 140500, 0, 0, 5, 8, 9, 41, 42, 60),
    19: (0, 65530, 1, 2, 0, 0, 9, 35, 37, 49),
    20: (0, 12, 0, 0, 12, 9, 9, 44, 45, 71),
}


def _words_of_ip(text):
    return [int(part) for part in text.split(".")]


def initial_hub_registers(info_v2, info_v4, time_needed):
    """Return {zero-based address: value} for unit 16 (the clock is filled later)."""
    regs = {}

    def put(register, values):
        for i, value in enumerate(values):
            regs[register - 1 + i] = value & 0xFFFF

    settings = [0] * 109  # 4x100..4x208
    settings[6:10] = [2, 2, 10, 0]
    settings[10] = 502
    settings[11] = 1000
    settings[12] = 0
    settings[13] = 1
    settings[14:18] = _words_of_ip("192.168.1.50")
    settings[18:22] = _words_of_ip("192.168.1.1")
    settings[22:26] = _words_of_ip("255.255.255.0")
    settings[26] = 0x0007
    settings[27:42] = [192, 168, 1, 10, 99, 192, 168, 1, 200, 210, 10, 20, 0, 1, 30]
    settings[107] = 0
    settings[108] = 0x0005
    put(100, settings)

    general = [0] * 31  # 4x500..4x530
    general[0:4] = [4, info_v2, 2, info_v4]
    general[4:6] = [0xBEEF, 0x1234]
    mac = [0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E]
    general[8:11] = [mac[0] | mac[1] << 8, mac[2] | mac[3] << 8, mac[4] | mac[5] << 8]
    general[11] = STATUS1_TIME_NEEDED if time_needed else 0
    general[12] = 0x000F
    general[13:17] = _words_of_ip("127.0.0.1")
    general[17:21] = _words_of_ip("127.0.0.254")
    general[21:25] = _words_of_ip("255.0.0.0")
    general[25:31] = [0x0001, 0x0301, 0x0B01, 0x0201, 0x0002, 0x0003]
    put(500, general)

    stats = [0] * 37  # 4x600..4x636
    stats[0:8] = [0, 0, 0, 2, 1, 17, 0, 0]
    stats[18:24] = [0, 0, 0, 0, 0, 0]
    stats[24:37] = [1, 0, 42, 1500, 3, 1490, 1510, 0, 40, 1, 1, 12, 0]
    put(600, stats)

    put(7000, [0] * 10)
    put(9000, [ord(c) for c in "VelkarHub Sim".ljust(15)])
    return regs


def initial_link_registers(unit):
    """Return {zero-based address: value} for one link unit (17..20)."""
    link = unit - 16
    regs = {}

    def put(register, values):
        for i, value in enumerate(values):
            regs[register - 1 + i] = value & 0xFFFF

    put(1000, [link, link, 96, 0, 9, 0, 10, 0, 2])
    (status, tx, crc, crc_addr, timeouts, timeout_addr, responding,
     last_scan, avg_scan, max_scan) = LINK_STATISTICS[unit]
    put(1100, [status, 0, tx & 0xFFFF, tx >> 16, crc, crc_addr, timeouts,
               timeout_addr, responding, last_scan, avg_scan, max_scan])
    put(1303, [0] * 17)
    put(2000, [0] * 100)
    types, status_words, loads, faults = ([0] * 100 for _ in range(4))
    for address in range(100):
        starter_type, status_word, load, fault = STARTERS[(address + link - 1) % len(STARTERS)]
        types[address], status_words[address], faults[address] = starter_type, status_word, fault
        loads[address] = load + address // len(STARTERS) if load else 0
    put(3800, status_words)
    put(3900, loads)
    put(4000, faults)
    put(5000, [link * 1000 + k for k in range(219)])
    put(6000, types)
    return regs


class RegisterBlock(ModbusSparseDataBlock):
    """The holding registers of one unit: only the hub's real ranges exist.

    The stock sparse block rebuilds a set of every key on each validate() and
    lets writes add new addresses; this one checks against a fixed set and
    never grows."""

    def __init__(self, values):
        super().__init__(values, mutable=False)
        self._valid = frozenset(self.values)

    def validate(self, address, count=1):
        if count < 1:
            return False
        valid = self._valid
        return all(a in valid for a in range(address, address + count))

    def get_raw(self, address, count):
        return [self.values[a] for a in range(address, address + count)]

    def set_raw(self, address, values):
        for i, value in enumerate(values):
            self.values[address + i] = value & 0xFFFF


class UnitContext(ModbusSlaveContext):
    """One unit's register set, with the hub's behaviour hooked into reads and
    writes of holding registers. The function code tells a real read (3, 23)
    from the read-back that pymodbus does after a single-register write."""

    def __init__(self, hub, unit, block):
        empty = ModbusSparseDataBlock({})
        super().__init__(di=empty, co=empty, ir=empty, hr=block, zero_mode=True)
        self.hub = hub
        self.unit = unit
        self.block = block

    def getValues(self, fc_as_hex, address, count=1):
        if fc_as_hex in (FC_READ_HOLDING, FC_READ_WRITE_MULTIPLE):
            self.hub.before_read(self.unit, address, count)
        return super().getValues(fc_as_hex, address, count)

    def setValues(self, fc_as_hex, address, values):
        values = [v & 0xFFFF for v in values]
        holding = self.decode(fc_as_hex) == "h"
        if holding:
            self.hub.before_write(self.unit, address, len(values))
        super().setValues(fc_as_hex, address, values)
        if holding:
            self.hub.after_write(self.unit, address, values)


class HubClock:
    """The hub's real-time clock: runs from a base date-time set at start-up
    or by a write, or stands still at written values that are no valid date."""

    def __init__(self):
        self.base = datetime.datetime.now().replace(microsecond=0)
        self.base_mono = time.monotonic()
        self.held = None  # the six words while the clock stands still

    def words(self):
        if self.held is not None:
            return list(self.held)
        now = self.base + datetime.timedelta(seconds=int(time.monotonic() - self.base_mono))
        return [now.day, now.month, (now.year - 2000) & 0xFFFF, now.hour, now.minute, now.second]

    def set_words(self, words):
        day, month, year, hour, minute, second = words
        try:
            base = datetime.datetime(2000 + year, month, day, hour, minute, second)
        except (ValueError, OverflowError):
            self.held = list(words)
            return
        self.base = base
        self.base_mono = time.monotonic()
        self.held = None


class Hub:
    """State and behaviour of the simulated hub."""

    def __init__(self, args):
        self.blocks = {HUB_UNIT: RegisterBlock(
            initial_hub_registers(args.info_v2, args.info_v4, args.time_needed))}
        for unit in LINK_UNITS:
            self.blocks[unit] = RegisterBlock(initial_link_registers(unit))
        self.clock = HubClock()
        self.refresh_clock()
        self.watchdog_frozen = args.freeze_watchdog
        self.time_asked_always = False
        self.write_log = []
        self.write_times = []  # when each write_log entry was received (CLOCK_MONOTONIC, s)
        self.read_counts = {}
        self.group_busy_reads = {unit: None for unit in LINK_UNITS}
        self.silent = set(args.silent)
        self.reply_delay_ms = {unit: args.reply_delay for unit in ALL_UNITS}
        self.corrupt_every = args.corrupt_every
        self.replies_counted = 0
        self.malformed = 0
        self.wrong_unit_every = args.wrong_unit_every
        self.wrong_unit_counted = 0
        self.wrong_unit_sent = 0
        # (unit, one-based register) -> reads starting there still to be refused as busy
        self.busy_reads = dict(args.busy_reads)
        self.context = ModbusServerContext(
            slaves={unit: UnitContext(self, unit, self.blocks[unit]) for unit in ALL_UNITS},
            single=False)

    # -- register access for the hub's own behaviour and the stdin commands --
    def raw(self, unit, address, count=1):
        return self.blocks[unit].get_raw(address, count)

    def store(self, unit, address, values):
        self.blocks[unit].set_raw(address, values)

    def refresh_clock(self):
        self.store(HUB_UNIT, A_CLOCK, self.clock.words())

    # -- wire-level bookkeeping, called for every request of a served unit --
    def note_request(self, request):
        unit = request.unit_id
        self._bump(HUB_UNIT, A_RX_COUNT)
        fc = request.function_code
        if fc == FC_READ_HOLDING:
            key = (unit, request.address + 1)
            self.read_counts[key] = self.read_counts.get(key, 0) + 1
        if fc == FC_WRITE_SINGLE:
            self._log_write(unit, request.address, [request.value])
        elif fc == FC_WRITE_MULTIPLE:
            self._log_write(unit, request.address, request.values)

    def note_reply(self):
        self._bump(HUB_UNIT, A_TX_COUNT)

    def refuses_as_busy(self, request):
        """Whether this request is one of the reads to be answered "busy"."""
        if request.function_code != FC_READ_HOLDING:
            return False
        key = (request.unit_id, request.address + 1)
        remaining = self.busy_reads.get(key, 0)
        if remaining <= 0:
            return False
        self.busy_reads[key] = remaining - 1
        return True

    def malform(self, packet, rtu):
        """The reply's frame as it goes out: every corrupt_every-th one malformed."""
        self.replies_counted += 1
        if self.replies_counted % self.corrupt_every:
            return packet
        self.malformed += 1
        return malformed_frame(packet, rtu)

    def from_another_unit(self, message, request):
        """The reply as it goes out: every wrong_unit_every-th one from another unit."""
        self.wrong_unit_counted += 1
        if self.wrong_unit_counted % self.wrong_unit_every:
            return message
        self.wrong_unit_sent += 1
        other = ALL_UNITS[(ALL_UNITS.index(message.unit_id) + 1) % len(ALL_UNITS)]
        message.unit_id = other
        if request is not None and request.function_code == FC_READ_HOLDING and hasattr(message, "registers"):
            block = self.blocks[other]
            message.registers = [block.values.get(request.address + i, other)
                                 for i in range(len(message.registers))]
        return message

    def _log_write(self, unit, address, values):
        text = ",".join(str(int(v) & 0xFFFF) for v in values)
        self.write_log.append(f"{unit}:{address + 1}:{text}")
        self.write_times.append(time.clock_gettime(time.CLOCK_MONOTONIC))

    def _bump(self, unit, address, step=1):
        value = self.raw(unit, address)[0]
        self.store(unit, address, [(value + step) & 0xFFFF])

    # -- behaviour hooked into the Modbus data path --
    def before_read(self, unit, address, count):
        end = address + count
        if unit == HUB_UNIT:
            if address < A_CLOCK + 6 and end > A_CLOCK:
                self.refresh_clock()
        elif address <= A_GROUP_STATUS < end:
            self._poll_group(unit)

    def before_write(self, unit, address, count):
        # A write of part of the clock changes only those words of the
        # current time.
        if unit == HUB_UNIT and address < A_CLOCK + 6 and address + count > A_CLOCK:
            self.refresh_clock()

    def after_write(self, unit, address, values):
        end = address + len(values)
        if unit == HUB_UNIT:
            if address < A_CLOCK + 6 and end > A_CLOCK:
                self._clock_written(address, values)
        elif address <= A_GROUP_ITEM < end:
            self._start_group_request(unit)

    def _clock_written(self, address, values):
        if address == A_CLOCK and list(values[:6]) == REBOOT_WORDS:
            status = self.raw(HUB_UNIT, A_STATUS1)[0]
            self.store(HUB_UNIT, A_STATUS1, [status & ~STATUS1_REBOOT_REQUIRED])
            self.refresh_clock()
            print("hubsim: reboot requested", file=sys.stderr, flush=True)
            return
        self.clock.set_words(self.raw(HUB_UNIT, A_CLOCK, 6))
        self.refresh_clock()
        if not self.time_asked_always:
            status = self.raw(HUB_UNIT, A_STATUS1)[0]
            self.store(HUB_UNIT, A_STATUS1, [status & ~STATUS1_TIME_NEEDED])

    def _start_group_request(self, unit):
        starter, item = self.raw(unit, A_GROUP, 2)
        self.store(unit, A_GROUP_STATUS, [0] * (A_GROUP_END - A_GROUP_STATUS + 1))
        if item > GROUP_MAX_ITEM or starter > 99:
            self.store(unit, A_GROUP_STATUS, [GROUP_STOPPED])
            self.group_busy_reads[unit] = None
        else:
            self.store(unit, A_GROUP_STATUS, [GROUP_BUSY])
            self.group_busy_reads[unit] = 0

    def _poll_group(self, unit):
        reads = self.group_busy_reads[unit]
        if reads is None:
            return
        if reads < GROUP_BUSY_READS:
            self.group_busy_reads[unit] = reads + 1
            return
        self.group_busy_reads[unit] = None
        starter, item = self.raw(unit, A_GROUP, 2)
        self.store(unit, A_GROUP_DATA,
                   [starter * 100 + item * 10 + w for w in range(GROUP_DATA_WORDS)])
        self.store(unit, A_GROUP_LENGTH, [GROUP_DATA_WORDS])
        self.store(unit, A_GROUP_STATUS, [GROUP_READY])

    # -- time-driven behaviour --
    def tick(self):
        if not self.watchdog_frozen:
            self._bump(HUB_UNIT, A_WATCHDOG)
        for unit in LINK_UNITS:
            low, high = self.raw(unit, A_LINK_TX_LOW, 2)
            count = ((high << 16 | low) + LINK_TX_PER_TICK) & 0xFFFFFFFF
            self.store(unit, A_LINK_TX_LOW, [count & 0xFFFF, count >> 16])

    # -- stdin commands --
    def command(self, line):
        words = line.split()
        if not words:
            return "ERR empty command"
        name, rest = words[0].lower(), words[1:]
        handler = getattr(self, "cmd_" + name, None)
        if handler is None:
            return f"ERR unknown command {words[0]}"
        try:
            return handler(rest, line)
        except Exception as exc:  # pylint: disable=broad-except
            # Every command gets its one answer line, whatever went wrong.
            reason = str(exc).replace("\n", " ") or type(exc).__name__
            return f"ERR {reason}"

    def _unit_and_address(self, words):
        unit, register = int(words[0]), int(words[1])
        if unit not in self.blocks:
            raise ValueError(f"unit {unit} is not served")
        if register < 1:
            raise ValueError(f"register {register} out of range")
        return unit, register - 1

    def _check_range(self, unit, address, count):
        if not self.blocks[unit].validate(address, count):
            raise ValueError(f"registers {address + 1}..{address + count} of unit {unit} do not exist")

    def cmd_quit(self, _words, _line):
        return "OK"

    def cmd_freeze(self, _words, _line):
        self.watchdog_frozen = True
        return "OK"

    def cmd_unfreeze(self, _words, _line):
        self.watchdog_frozen = False
        return "OK"

    def cmd_set(self, words, _line):
        if len(words) < 3:
            raise ValueError("usage: set UNIT REG V1 [V2 ...]")
        unit, address = self._unit_and_address(words)
        values = [int(w) for w in words[2:]]
        for value in values:
            if not -32768 <= value <= 65535:
                raise ValueError(f"value {value} does not fit 16 bits")
        self._check_range(unit, address, len(values))
        self.before_write(unit, address, len(values))
        self.store(unit, address, values)
        if unit == HUB_UNIT and address < A_CLOCK + 6 and address + len(values) > A_CLOCK:
            self.clock.set_words(self.raw(HUB_UNIT, A_CLOCK, 6))
            self.refresh_clock()
        return "OK"

    def cmd_asktime(self, words, _line):
        if len(words) != 1 or words[0] not in ("keep", "once", "off"):
            raise ValueError("usage: asktime keep|once|off")
        status = self.raw(HUB_UNIT, A_STATUS1)[0]
        asking = words[0] != "off"
        self.time_asked_always = words[0] == "keep"
        status = status | STATUS1_TIME_NEEDED if asking else status & ~STATUS1_TIME_NEEDED
        self.store(HUB_UNIT, A_STATUS1, [status])
        return "OK"

    def cmd_get(self, words, _line):
        if len(words) not in (2, 3):
            raise ValueError("usage: get UNIT REG [COUNT]")
        unit, address = self._unit_and_address(words)
        count = int(words[2]) if len(words) == 3 else 1
        if count < 1:
            raise ValueError("COUNT must be 1 or more")
        self._check_range(unit, address, count)
        if unit == HUB_UNIT and address < A_CLOCK + 6 and address + count > A_CLOCK:
            self.refresh_clock()
        return "OK " + " ".join(str(v) for v in self.raw(unit, address, count))

    def cmd_log(self, _words, _line):
        return " ".join(["OK"] + self.write_log)

    def cmd_logtimes(self, _words, _line):
        return " ".join(["OK"] + [f"{at * 1000:.3f}:{entry}"
                                  for at, entry in zip(self.write_times, self.write_log)])

    def cmd_clearlog(self, _words, _line):
        self.write_log.clear()
        self.write_times.clear()
        return "OK"

    def cmd_reads(self, words, _line):
        if len(words) != 2:
            raise ValueError("usage: reads UNIT REG")
        unit, address = self._unit_and_address(words)
        return f"OK {self.read_counts.get((unit, address + 1), 0)}"

    def _units(self, words):
        units = [int(w) for w in words]
        for unit in units:
            if unit not in self.blocks:
                raise ValueError(f"unit {unit} is not served")
        return units

    def _silent_list(self):
        return " ".join(["OK"] + [str(u) for u in sorted(self.silent)])

    def cmd_silence(self, words, _line):
        self.silent.update(self._units(words))
        return self._silent_list()

    def cmd_unsilence(self, words, _line):
        units = self._units(words)
        if units:
            self.silent.difference_update(units)
        else:
            self.silent.clear()
        return self._silent_list()

    def cmd_delay(self, words, _line):
        if not words:
            raise ValueError("usage: delay MS [UNIT ...]")
        delay = int(words[0])
        if delay < 0:
            raise ValueError("MS must be 0 or more")
        for unit in self._units(words[1:]) or ALL_UNITS:
            self.reply_delay_ms[unit] = delay
        return "OK"

    @staticmethod
    def _every(words, name):
        """The N of "NAME [N]" (every Nth reply), or None when only a report is asked."""
        if len(words) > 1:
            raise ValueError(f"usage: {name} [N]")
        if not words:
            return None
        every = int(words[0])
        if every < 0:
            raise ValueError("N must be 0 or more")
        return every

    def cmd_corrupt(self, words, _line):
        every = self._every(words, "corrupt")
        if every is not None:
            self.corrupt_every = every
            self.replies_counted = 0
        return f"OK {self.corrupt_every} {self.malformed}"

    def cmd_wrongunit(self, words, _line):
        every = self._every(words, "wrongunit")
        if every is not None:
            self.wrong_unit_every = every
            self.wrong_unit_counted = 0
        return f"OK {self.wrong_unit_every} {self.wrong_unit_sent}"

    def cmd_runtime(self, words, line):
        if len(words) < 3:
            raise ValueError("usage: runtime COUNT LINE NAME")
        count, line_number = int(words[0]), int(words[1])
        # The name is the rest of the line after COUNT and LINE.
        name = line.strip().split(None, 3)[3]
        name = name[:16].ljust(16)
        if any(ord(c) > 255 for c in name):
            raise ValueError("the file name must be 8-bit characters")
        codes = [ord(c) for c in name]
        words_of_name = [codes[i] | codes[i + 1] << 8 for i in range(0, 16, 2)]
        for value in (count, line_number):
            if not -32768 <= value <= 65535:
                raise ValueError(f"value {value} does not fit 16 bits")
        self.store(HUB_UNIT, A_RUNTIME, [count, line_number] + words_of_name)
        return "OK"


def malformed_frame(packet, rtu):
    """A reply frame made malformed the way a faulty line or gateway would.

    RTU: the CRC is wrong. TCP: a read reply lacks its last register, with a byte
    count and an MBAP length that agree with what is left; a write reply echoes a
    wrong address; an exception reply carries code 0."""
    data = bytearray(packet)
    if rtu:
        data[-1] ^= 0xFF
        return bytes(data)
    header, pdu = data[:7], data[7:]
    if pdu[0] == FC_READ_HOLDING and len(pdu) >= 4:
        del pdu[-2:]
        pdu[1] -= 2
    elif pdu[0] & 0x80:
        pdu[1:] = b"\x00"
    elif len(pdu) >= 3:
        pdu[2] ^= 0x01
    struct.pack_into(">H", header, 4, len(pdu) + 1)
    return bytes(header + pdu)


class HubSocketFramer(ModbusSocketFramer):
    """Modbus TCP framing that copes with what a real master sends.

    The stock 3.0 framer throws away the whole receive buffer when a frame is
    for a unit it does not serve (losing requests for served units queued
    behind it), drops a frame that arrived in two TCP segments, and closes the
    connection when fewer than eight bytes are buffered. This one waits for
    complete frames and skips exactly the frames of unknown units."""

    MAX_LENGTH = 254  # unit id + the largest PDU

    def processIncomingPacket(self, data, callback, unit, **kwargs):
        if not isinstance(unit, (list, tuple)):
            unit = [unit]
        single = kwargs.get("single", False)
        self.addToFrame(data)
        while len(self._buffer) >= self._hsize:
            tid, pid, length, uid = self._unpack_header()
            if length < 2 or length > self.MAX_LENGTH:
                # No way to find the next frame boundary: start afresh.
                self.resetFrame()
                break
            if len(self._buffer) < self._hsize + length - 1:
                break
            self._header = {"tid": tid, "pid": pid, "len": length, "uid": uid}
            if self._validate_unit_id(unit, single):
                self._process(callback)
            else:
                self.advanceFrame()

    def _unpack_header(self):
        return struct.unpack(">HHHB", self._buffer[0:self._hsize])


class _HubRequestMixin:
    """Request handler hook: counts every request and logs the writes before
    pymodbus executes them, and counts the reply afterwards. Requests to a
    silent unit go no further; the reply of a unit with a reply delay is
    built at once and sent later; a read that --busy-reads refuses is answered
    with exception 6 instead of being carried out; while "wrongunit" is on,
    every Nth reply comes from another unit, and while "corrupt" is on, every
    Nth reply goes out malformed."""

    hub = None
    _reply_delay_s = 0.0
    _request = None

    def execute(self, request, *addr):
        hub = self.hub
        hub.note_request(request)
        if request.unit_id in hub.silent:
            return
        self._reply_delay_s = hub.reply_delay_ms.get(request.unit_id, 0) / 1000.0
        self._request = request
        if hub.refuses_as_busy(request):
            # Built and addressed as pymodbus' own execute does with a response.
            response = request.doException(EXCEPTION_SLAVE_BUSY)
            response.transaction_id = request.transaction_id
            response.unit_id = request.unit_id
            self.send(response, *addr, skip_encoding=False)
        else:
            super().execute(request, *addr)
        self._request = None
        hub.note_reply()

    def send(self, message, *addr, **kwargs):
        hub = self.hub
        if hub.wrong_unit_every > 0 and not kwargs.get("skip_encoding", False) and message.should_respond:
            message = hub.from_another_unit(message, self._request)
        if hub.corrupt_every > 0 and not kwargs.get("skip_encoding", False) and message.should_respond:
            message = hub.malform(self.framer.buildPacket(message), isinstance(self.framer, ModbusRtuFramer))
            kwargs = dict(kwargs, skip_encoding=True)
        delay = self._reply_delay_s
        if delay <= 0:
            super().send(message, *addr, **kwargs)
            return
        parent = super()

        def send_later():
            try:
                parent.send(message, *addr, **kwargs)
            except Exception:  # pylint: disable=broad-except
                pass  # the master went away meanwhile

        asyncio.get_running_loop().call_later(delay, send_later)


class HubTcpHandler(_HubRequestMixin, ModbusConnectedRequestHandler):
    pass


class HubRtuHandler(_HubRequestMixin, ModbusSingleRequestHandler):
    pass


class _QuietCancelFilter(logging.Filter):
    """pymodbus 3.0 logs an ERROR each time a master disconnects normally and
    for every exception reply; both are ordinary hub behaviour here."""

    NOISE = ("has been canceled", "has been cancelled", "aborting active session",
             "Exception Response(")

    def filter(self, record):
        message = record.getMessage()
        return not any(noise in message for noise in self.NOISE)


def parse_args(argv):
    parser = argparse.ArgumentParser(description="VelkarHub simulator (Modbus TCP/RTU slave)")
    parser.add_argument("--host", default="127.0.0.1")
    parser.add_argument("--tcp-port", type=int, default=None,
                        help="TCP port, 0 picks a free one (default 1502 when --rtu is not given)")
    parser.add_argument("--rtu", metavar="DEVICE", default=None, help="serve Modbus RTU on this serial device")
    parser.add_argument("--baud", type=int, default=9600)
    parser.add_argument("--info-v2", type=int, default=60, help="second firmware word 4x501")
    parser.add_argument("--info-v4", type=int, default=6, help="fourth firmware word 4x503")
    parser.add_argument("--freeze-watchdog", action="store_true", help="start with the watchdog 4x606 stopped")
    parser.add_argument("--time-needed", action="store_true", help="start with bit 0 of 4x511 set")
    parser.add_argument("--exit-on-eof", action="store_true", help="exit when stdin ends")
    parser.add_argument("--silent", default="", metavar="UNIT[,UNIT...]",
                        help="units that drop every request from the start")
    parser.add_argument("--reply-delay", type=int, default=0, metavar="MS",
                        help="send every reply MS milliseconds after its request")
    parser.add_argument("--corrupt-every", type=int, default=0, metavar="N",
                        help="make every Nth reply malformed (see the corrupt command)")
    parser.add_argument("--wrong-unit-every", type=int, default=0, metavar="N",
                        help="make every Nth reply come from another unit (see the wrongunit command)")
    parser.add_argument("--busy-reads", action="append", default=[], metavar="UNIT:REG:N",
                        help="answer the first N reads of UNIT that start at register REG with exception 6")
    parser.add_argument("--reuse-port", action="store_true", help="open the TCP socket with SO_REUSEPORT")
    args = parser.parse_args(argv)
    busy = {}
    for item in args.busy_reads:
        try:
            unit, register, count = (int(part) for part in item.split(":"))
        except ValueError:
            parser.error("--busy-reads takes UNIT:REG:N")
        if unit not in ALL_UNITS or not 1 <= register <= 65536 or count < 0:
            parser.error(f"--busy-reads: UNIT among {', '.join(str(u) for u in ALL_UNITS)}, "
                         "REG 1..65536, N 0 or more")
        busy[(unit, register)] = count
    args.busy_reads = busy
    try:
        args.silent = [int(u) for u in args.silent.split(",") if u.strip()]
    except ValueError:
        parser.error("--silent takes unit numbers separated by commas")
    if any(u not in ALL_UNITS for u in args.silent):
        parser.error(f"--silent units must be among {', '.join(str(u) for u in ALL_UNITS)}")
    if args.corrupt_every < 0:
        parser.error("--corrupt-every must be 0 or more")
    if args.wrong_unit_every < 0:
        parser.error("--wrong-unit-every must be 0 or more")
    if args.reply_delay < 0:
        parser.error("--reply-delay must be 0 or more")
    if args.tcp_port is None and args.rtu is None:
        args.tcp_port = 1502
    if args.tcp_port is not None and not 0 <= args.tcp_port <= 65535:
        parser.error("--tcp-port must be 0..65535")
    return args


def emit(line):
    try:
        sys.stdout.write(line + "\n")
        sys.stdout.flush()
    except (BrokenPipeError, ValueError, OSError):
        pass


def start_stdin_reader(loop, hub, stop, exit_on_eof):
    """Read commands on a thread (works for pipes, terminals, files and
    /dev/null alike) and run each one on the event loop."""

    def run_command(line):
        answer = hub.command(line)
        emit(answer)
        if line.split()[:1] == ["quit"]:
            stop()

    def reader():
        # Plain reads on file descriptor 0: a thread blocked inside sys.stdin
        # would hold its buffer lock while the interpreter shuts down.
        pending = b""
        while True:
            try:
                chunk = os.read(0, 4096)
            except OSError:
                break
            if not chunk:
                break
            pending += chunk
            *lines, pending = pending.split(b"\n")
            for raw in lines:
                line = raw.decode("latin-1").rstrip("\r")
                loop.call_soon_threadsafe(run_command, line)
        if pending.strip():
            loop.call_soon_threadsafe(run_command, pending.decode("latin-1").rstrip("\r"))
        if exit_on_eof:
            loop.call_soon_threadsafe(stop)

    threading.Thread(target=reader, name="stdin", daemon=True).start()


async def main(argv):
    args = parse_args(argv)
    # pymodbus configures the root logger when it is imported: take it over.
    logging.basicConfig(stream=sys.stderr, level=logging.WARNING, force=True,
                        format="hubsim: %(levelname)s %(name)s: %(message)s")
    for handler in logging.getLogger().handlers:
        handler.addFilter(_QuietCancelFilter())

    loop = asyncio.get_running_loop()
    hub = Hub(args)
    _HubRequestMixin.hub = hub
    finished = asyncio.Event()
    servers, tasks = [], []

    tcp_port = "-"
    if args.tcp_port is not None:
        tcp = ModbusTcpServer(hub.context, framer=HubSocketFramer, address=(args.host, args.tcp_port),
                              handler=HubTcpHandler, allow_reuse_address=True,
                              allow_reuse_port=args.reuse_port)
        servers.append(tcp)
        serve = asyncio.create_task(tcp.serve_forever())
        tasks.append(serve)
        # serve_forever() fails (port in use) without resolving "serving".
        await asyncio.wait({serve, tcp.serving}, return_when=asyncio.FIRST_COMPLETED)
        if not tcp.serving.done():
            serve.result()  # raises the bind error
        tcp_port = str(tcp.server.sockets[0].getsockname()[1])

    rtu_device = "-"
    if args.rtu is not None:
        rtu = ModbusSerialServer(hub.context, framer=ModbusRtuFramer, port=args.rtu, baudrate=args.baud,
                                 handler=HubRtuHandler, auto_reconnect=False, reconnect_delay=1)
        servers.append(rtu)
        await rtu.start()  # raises when the device cannot be opened
        if rtu.transport is None:
            raise OSError(f"cannot open serial device {args.rtu}")
        # Once it has been opened, reopen the device should it go away.
        rtu.auto_reconnect = True
        rtu_device = args.rtu

    def stop():
        finished.set()

    for sig in (signal.SIGTERM, signal.SIGINT):
        loop.add_signal_handler(sig, stop)

    start = loop.time()
    ticks = 0

    def tick():
        nonlocal ticks
        hub.tick()
        ticks += 1
        loop.call_at(start + (ticks + 1) * WATCHDOG_PERIOD_S, tick)

    loop.call_at(start + WATCHDOG_PERIOD_S, tick)
    start_stdin_reader(loop, hub, stop, args.exit_on_eof)
    emit(f"READY tcp={tcp_port} rtu={rtu_device}")

    await finished.wait()
    for server in servers:
        try:
            await asyncio.wait_for(server.shutdown(), 2)
        except (asyncio.TimeoutError, OSError):
            pass
    for task in tasks:
        task.cancel()


if __name__ == "__main__":
    try:
        asyncio.run(main(sys.argv[1:]))
    except OSError as exc:
        print(f"hubsim: {exc}", file=sys.stderr, flush=True)
        sys.exit(1)
    except KeyboardInterrupt:
        pass
