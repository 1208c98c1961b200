#!/usr/bin/env python3
"""Writes the definition and settings files that ship beside the program
(data/). Run from the repository root: python3 tools/sample-data/make_sample_data.py

The files are plain text with CR LF line ends; every definition file except
Password.txt starts with five header lines that the program skips.

This script is the only source of those files: edit it, run it, commit both.
With --check it writes into a scratch folder instead and fails when a
committed file differs from what it would write (the test suite runs that)."""
import filecmp
import math
import os
import shutil
import struct
import sys
import tempfile

DATA = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "data"))
CHECK = "--check" in sys.argv[1:]
OUT = tempfile.mkdtemp(prefix="sample-data-") if CHECK else DATA
CRLF = "\r\n"


def write(name, lines):
    with open(os.path.join(OUT, name), "w", newline="") as f:
        f.write(CRLF.join(lines) + CRLF)


def header(*lines):
    lines = list(lines)
    assert len(lines) <= 5
    return lines + [";"] * (5 - len(lines))


def rng(a, b, step=1):
    return list(range(a, b + 1, step))


# ---------------------------------------------------------------- models ---
MODELS = [
    # id, name, private-label name, type caption, group
    ("TW", "QX-16T", "KT9-16T", "1/16 DIN Temperature Controller (Modbus RTU)", 0),
    ("R7", "QX-8R", "KT9-8R", "1/8 DIN Process Controller (Modbus RTU)", 0),
    # the configuration screen opens group 0 over "Zarn Link" on the fourth model
    ("RS", "Ramp/Soak Only", "Ramp/Soak Only", "Ramp/Soak Programme Set-up", 0),
    ("Q4", "QX-4Z", "KT9-4Z", "1/4 DIN 4-Stage Ramp/Soak Controller", 0),
    ("XG", "QX-G48", "KT9-G48", "1/16 DIN PID Controller with 3 Alarms", 1),
    ("TQ", "QX-TQ32", "KT9-TQ32", "1/32 DIN Thermocouple Controller", 1),
    ("XH", "QX-H96", "KT9-H96", "1/4 DIN PID Controller", 2),
]

for fname, col in (("ModelID.txt", 1), ("ModelID-1.txt", 2)):
    write(fname, header("; Instrument models",
                        "; model ID, model name, type caption, controller group",
                        "; at most 15 models per controller group",
                        "; each model of a group has a register file <model ID>.TXT")
          + [f"{m[0]},{m[col]},{m[3]},{m[4]}" for m in MODELS])

# ------------------------------------------------- group 0 register sets ---
G0_GENERAL_TEXT = [258, 262, 263, 264, 265, 266, 323, 326, 327, 328, 329]
G0_GENERAL_LIST = [794, 798, 800]
G0_GENERAL_BITS = [793, 805, 813, 1035, 1036]
G0_RAMP_TEXT = rng(289, 320)
G0_RAMP_LIST = [8, 790]
G0_RAMP_BITS = [350, 351, 786, 787, 788, 789]
G0_TUNE_TEXT = [269, 273, 274, 278, 282, 283, 284, 285, 321, 322, 324, 325, 344, 345, 779, 791]
G0_TUNE_LIST = [775, 810]
G0_TUNE_BITS = [783, 784, 1067]
G0_OUT_TEXT = [267, 268, 334, 335, 336, 337, 770, 771, 773, 774]
G0_OUT_LIST = [769, 772, 802, 811, 812]
G0_OUT_BITS = [785, 807]
G0_SPC_TEXT = [330, 331, 332, 333, 340, 341]
G0_SPC_LIST = [809]
G0_SPC_BITS = [3, 796, 797]
G0_ALARM_TEXT = [346, 347, 348, 349]
G0_ALARM_BITS = [799, 801, 1028, 1029, 1031, 1032]
G0_STAGE_TEXT = [259, 260, 261, 270, 271, 272, 275, 276, 277, 279, 280, 281, 780, 781, 782]
G0_STAGE_LIST = [776, 777, 778, 803, 804]
G0_STAGE_BITS = [1069, 1071, 1073]
# process value, status word, error word, set point, input type, decimal
# point, versions and model register
G0_STATUS = [2, 3, 4, 257, 792, 795, 1793, 1794, 1795]

G0_GENERAL = G0_GENERAL_TEXT + G0_GENERAL_LIST + G0_GENERAL_BITS
G0_RAMP = G0_RAMP_TEXT + G0_RAMP_LIST + G0_RAMP_BITS
G0_TUNE = G0_TUNE_TEXT + G0_TUNE_LIST + G0_TUNE_BITS
G0_OUT = G0_OUT_TEXT + G0_OUT_LIST + G0_OUT_BITS
G0_SPC = G0_SPC_TEXT + G0_SPC_LIST + G0_SPC_BITS
G0_ALARM = G0_ALARM_TEXT + G0_ALARM_BITS
G0_STAGE = G0_STAGE_TEXT + G0_STAGE_LIST + G0_STAGE_BITS

# the small controller has no remote set point and no ramp/soak programme
TW_REGS = G0_STATUS + G0_GENERAL + G0_TUNE + [r for r in G0_OUT if r not in (336, 337, 807)] \
    + G0_SPC + G0_ALARM
R7_REGS = G0_STATUS + G0_GENERAL + G0_RAMP + G0_TUNE + G0_OUT + G0_SPC + G0_ALARM
# the 4-stage controller also reports its stage readings (status only)
Q4_REGS = R7_REGS + G0_STAGE + rng(1842, 1845)
RS_REGS = G0_RAMP

# ------------------------------------------------- group 1 register sets ---
G1_GENERAL_TEXT = [0x1001, 0x1002, 0x1003, 0x1016, 0x1024, 0x1025, 0x1026, 0x1027, 0x1028, 0x1029,
                   0x1037, 0x1038]
G1_GENERAL_LIST = [0x810, 0x811, 0x1020, 0x1021, 0x1022, 0x1023, 0x102C, 0x1069, 0x106A, 0x471E,
                   0x4722, 0x4723]
G1_CONTROL_TEXT = [0x1007, 0x1008, 0x1009, 0x100A, 0x100B, 0x100C, 0x100D, 0x100E, 0x100F, 0x1010,
                   0x1011, 0x1012, 0x1013, 0x1014, 0x1015, 0x101D]
G1_CONTROL_LIST = [0x813, 0x1005, 0x1006, 0x101C]
G1_RAMP = [0x1030] + rng(0x1040, 0x1047) + rng(0x1050, 0x1057) + rng(0x1060, 0x1067) \
    + rng(0x2000, 0x203F) + rng(0x2080, 0x20BF)
G1_COMM = rng(0x1071, 0x1076)
# Register 3 (the status word) is left out of the group 1 and 2 models: the
# configuration screen knows it only as group 0's manual-mode bit, and a model
# that listed it would have the screen send that bit to an instrument that
# has no such register.
G1_STATUS = [2, 4, 257, 0x318, 0x31B, 0x702, 0x703]

# status bits read as coils and inputs; they have no field on the configuration screen
G1_STATUS_BITS = [0x812, 0x814, 0x815, 0x816]
XG_REGS = G1_STATUS + G1_STATUS_BITS + G1_GENERAL_TEXT + G1_GENERAL_LIST + G1_CONTROL_TEXT + G1_CONTROL_LIST \
    + G1_RAMP + G1_COMM
# no third alarm, no re-transmission, fixed decimal point, no programmes
TQ_REGS = [r for r in G1_STATUS if r != 0x31B] \
    + [r for r in G1_GENERAL_TEXT + G1_GENERAL_LIST
       if r not in (0x1022, 0x1028, 0x1029, 0x1037, 0x1038, 0x471E)] \
    + G1_CONTROL_TEXT + G1_CONTROL_LIST + G1_COMM

# ------------------------------------------------- group 2 register set ----
G2_TEXT = rng(0x4701, 0x4707) + [0x4714, 0x4708, 0x4709, 0x470A, 0x470B, 0x470C, 0x470D, 0x470E,
                                 0x4712, 0x4713, 0x472A]
G2_LIST = [0x4715, 0x4716, 0x4717, 0x4719, 0x471A, 0x4731, 0x4711, 0x4718, 0x4729]
XH_REGS = [2, 257, 0x318, 0x702, 0x703] + G2_TEXT + G2_LIST


def register_file(model, regs, hexadecimal):
    regs = sorted(set(regs))
    items = [format(r, "X") if hexadecimal else str(r) for r in regs]
    lines = [",".join(items[i:i + 10]) for i in range(0, len(items), 10)]
    numbering = "hexadecimal" if hexadecimal else "decimal"
    write(f"{model}.TXT", header(f"; Registers of model {model}",
                                 f"; program register numbers, {numbering}",
                                 "; one register per item") + lines)


register_file("TW", TW_REGS, False)
register_file("R7", R7_REGS, False)
register_file("Q4", Q4_REGS, False)
register_file("RS", RS_REGS, False)
register_file("XG", XG_REGS, True)
register_file("TQ", TQ_REGS, True)
register_file("XH", XH_REGS, True)

# ---------------------------------------------------------- field table ----
# kind 1 text (minimum, maximum in raw instrument units), 2 list (first and
# last list position), 3 bit field (first and last bit)
fields = {}


def text(regs, lo, hi):
    for r in regs:
        fields[r] = (1, lo, hi)


def lst(regs, n):
    for r in regs:
        fields[r] = (2, 0, n - 1)


def bits(regs, first=0, last=0):
    for r in regs:
        fields[r] = (3, first, last)


# group 0
text([258, 259, 260, 261, 262, 263, 264, 265, 266], -1999, 9999)
text([323], 0, 5)
text([326, 327, 328, 329, 334, 335, 336, 337], -1999, 9999)
text(rng(290, 320, 2), -1999, 9999)
text(rng(289, 319, 2), 0, 9999)
text([267, 268], 1, 9999)
text([269, 270, 271, 272, 273], 0, 9999)
text([274, 275, 276, 277], 0, 9999)
text([278, 279, 280, 281, 282, 285], 0, 999)
text([283], 0, 100)
text([284, 322, 325, 346, 347, 348, 349], 0, 9999)
text([321], -999, 999)
text([324], 0, 999)
text([330, 331, 332, 333, 344, 345], 0, 100)
text([340, 341], 0, 1000)
text([770, 773], 1, 199)
text([771, 774], 0, 3)
text([779, 780, 781, 782], 0, 7)
text([791], 0, 16)
lst([794], 3)
lst([798, 800], 5)
lst([790, 769, 772, 803], 4)
lst([8, 802, 804, 809, 811, 812], 2)
lst([775, 776, 777, 778], 5)
lst([810], 3)
bits([3], 15, 15)
bits([793, 805, 813, 1035, 1036, 786, 787, 788, 789, 783, 784, 785, 807, 1028, 1029, 1031, 1032,
      1067, 1069, 1071, 1073])
bits([350, 351], 0, 15)
bits([796], 1, 5)
bits([797], 0, 5)
bits([799, 801], 0, 6)
# group 1
text([0x1001, 0x1002, 0x1003, 0x101D, 0x1024, 0x1025, 0x1026, 0x1027, 0x1028, 0x1029, 0x1037,
      0x1038], -1999, 9999)
text([0x1016, 0x100F], -999, 999)
text([0x1007, 0x1008], 1, 99)
text([0x1009, 0x100E], 1, 9999)
text([0x100A, 0x100B, 0x1010, 0x1011], 0, 9999)
text([0x100C, 0x100D, 0x1012, 0x1013, 0x1014, 0x1015], 0, 1000)
text(rng(0x1040, 0x1047), 0, 7)
text(rng(0x1050, 0x1057), 0, 99)
text(rng(0x2000, 0x203F), -1999, 9999)
text(rng(0x2080, 0x20BF), 0, 959)  # step times: at most 15:59 as hours and minutes
lst([0x810, 0x811, 0x813, 0x1072, 0x1074, 0x1076, 0x471E, 0x4722], 2)
lst([0x4723, 0x1005, 0x1006, 0x1023, 0x1069], 4)
lst([0x101C, 0x1073], 5)
lst([0x1020, 0x1021, 0x1022], 14)
lst([0x102C, 0x106A, 0x1075], 3)
lst([0x1030], 8)
lst(rng(0x1060, 0x1067), 9)
lst([0x1071], 247)
# group 2
text(rng(0x4701, 0x4707) + [0x4714], -1999, 9999)
text([0x4708], 1, 9999)
text([0x4709, 0x470A, 0x470B], 0, 9999)
text([0x470C, 0x470D, 0x470E, 0x4713, 0x472A], 0, 1000)
text([0x4712], 1, 99)
lst([0x4711, 0x4731], 3)
lst([0x4715, 0x4716], 13)
lst([0x4717, 0x4718, 0x4719, 0x471A, 0x4729], 2)

cfg_lines = []
for r in sorted(fields):
    kind, a, b = fields[r]
    reg = str(r) if r < 0x810 else format(r, "X") + "H"
    cfg_lines.append(f"{reg},{kind},{a},{b}")
write("CfgField.TXT", header("; Configuration field table",
                             "; register (decimal, or hexadecimal ending in H), field kind,",
                             ";   kind 1 text field: minimum, maximum in raw instrument units",
                             ";   kind 2 list: first and last list position; kind 3 bit field: first and last bit")
      + cfg_lines)

# ------------------------------------------------ "Zarn Link" commands -----
zarn = {}  # register -> (read, write), None = no command
zarn[2] = (0x00, None)
zarn[3] = (0x00, None)
zarn[4] = (0x05, None)
zarn[8] = (0x08, None)
# value registers 101H..15DH: read 1xxH, write 2xxH
for r in [257] + rng(258, 285) + rng(289, 337) + [340, 341] + rng(344, 349):
    zarn[r] = (r, r + 0x100 if r != 257 else None)
# the programme's alarm output words are gathered from eight reads each
zarn[350] = (0x160, 0x25E)
zarn[351] = (0x170, 0x25F)
# configuration registers 301H..32DH: read by their own number; writes in
# 440H upward, two commands (off/on) where the value chooses the command and
# four for the set-point stage
write_cmd = 0x440
two_commands = {783, 784, 785, 786, 787, 788, 789, 793, 802, 804, 805, 807, 809, 811, 812, 813}
for r in [3, 8] + rng(769, 813):
    read_cmd = zarn.get(r, (r, None))[0]
    zarn[r] = (read_cmd, write_cmd)
    write_cmd += 2 if r in two_commands else 4 if r == 803 else 1
assert write_cmd <= 0x4FF
# write-only commands; manual mode off/on (1033/1034), time base seconds or
# minutes (1055/1056) and each learning switch's "off" (1068-1074 even) are
# the registers a configuration send writes in place of others
for r in [1028, 1029, 1031, 1032, 1033, 1034, 1035, 1036, 1055, 1056] + rng(1067, 1074):
    zarn[r] = (None, r)
# versions and model
zarn[1793] = (0x700, None)
zarn[1794] = (0x701, None)
zarn[1795] = (0x702, None)
for r in rng(1842, 1845):
    zarn[r] = (r - 1842 + 0x732, None)


def cmd_text(c):
    return "??" if c is None else format(c, "02X")


write("ZarnXref.TXT", header("; Zarn Link command table (controller group 0)",
                             "; register (decimal), read command (hex), write command (hex)",
                             "; ?? = no such command")
      + [f"{r},{cmd_text(z[0])},{cmd_text(z[1])}" for r, z in sorted(zarn.items())])

# --------------------------------------------- Modbus register tables ------
# Program registers from 810H (group 1) and 4700H (group 2) up are the
# instrument's own registers; only the lower ones are listed.
xref_g = [
    ("2", "1000"),      # process value
    ("3", "102A"),      # status word
    ("4", "102B"),      # error word
    ("257", "1001"),    # set point
    ("258", "1001"),
    ("263", "1025"),    # alarm 1 low
    ("264", "1024"),    # alarm 1 high
    ("265", "1027"),    # alarm 2 low
    ("266", "1026"),    # alarm 2 high
    ("786", "??"),      # no ramp/soak run flag
    ("789", "??"),
    ("799", "??"),      # alarm modes are fixed
    ("801", "??"),
    ("318H", "1004"),   # input type
    ("31BH", "1018"),   # decimal point
    ("702H", "12"),     # product type (model)
    ("703H", "102F"),   # software version
]
xref_h = [
    ("2", "4700"),
    ("3", "472B"),
    ("4", "472C"),      # error word
    ("257", "4701"),
    ("258", "4701"),
    ("263", "4703"),
    ("264", "4702"),
    ("265", "4705"),
    ("266", "4704"),
    ("786", "??"),
    ("789", "??"),
    ("318H", "4710"),
    ("31BH", "??"),
    ("702H", "4730"),   # model: the instrument answers XH whatever it holds
    ("703H", "472F"),
]
for fname, rows, group in (("xxGXref.TXT", xref_g, 1), ("xxHXref.TXT", xref_h, 2)):
    write(fname, header(f"; Modbus register table of controller group {group}",
                        "; program register (decimal, or hexadecimal ending in H),",
                        "; instrument Modbus register (hex); ?? = none")
          + [f"{a},{b}" for a, b in rows])

# ------------------------------------------------------ small text files ---
write("Password.txt", ["QX3admin"])
write("Apptitle.txt", ["Quinrex3 Instrument Supervisor"])
write("Apptitle-1.txt", ["KT9-P Instrument Supervisor"])


def num(v):
    """A number as the file print statement lays it out."""
    s = repr(float(v))
    if float(v) == int(v):
        s = str(int(v))
    elif s.startswith("0."):
        s = s[1:]
    return (" " if v >= 0 else "") + s + " "


def system_config(fname, instruments):
    lines = [num(1), num(9600), "None", num(8), num(1), num(500), num(0), "Z", num(1), num(5),
             "/usr/bin/xdg-open", "logs/"]
    for addr, name, proto, group, dunits, dur, runits, rate in instruments:
        lines += [addr, name, proto, num(group), num(dunits), num(dur), num(runits), num(rate)]
    write(fname, lines)


system_config("Quinrex3.cfg", [
    ("32", "Oven Zone 1", "Z", 0, 1, 60, 1, 5),
    ("001", "Dryer Inlet", "R", 1, 0, 120, 1, 10),
    ("002", "Kiln Exhaust", "A", 2, 0, 480, 0, 60),
])
system_config("KT9-P.cfg", [
    ("32", "Furnace Left", "Z", 0, 1, 30, 1, 2),
    ("001", "Furnace Right", "R", 1, 0, 60, 1, .5),
    ("002", "Quench Tank", "A", 2, 0, 240, 0, 120),
])

# ------------------------------------------------------------- logos -------


def bmp(fname, accent):
    w, h = 240, 60
    rows = []
    for y in range(h):
        yy = h - 1 - y  # bottom-up
        row = bytearray()
        for x in range(w):
            r, g, b = 255, 255, 255
            if yy < 4 or yy >= h - 4:
                r, g, b = accent
            # a trend line across a light panel
            elif 12 <= x < 228 and 10 <= yy < 50:
                r, g, b = 236, 242, 250
                curve = 30 + 12 * math.sin((x - 12) / 22.0) * math.exp(-(x - 12) / 260.0)
                if abs(yy - curve) < 1.6:
                    r, g, b = accent
                elif (x - 12) % 36 == 0 or (yy - 10) % 10 == 0:
                    r, g, b = 205, 214, 228
            row += bytes((b, g, r))
        row += b"\0" * ((4 - len(row) % 4) % 4)
        rows.append(bytes(row))
    pixels = b"".join(rows)
    head = struct.pack("<2sIHHI", b"BM", 54 + len(pixels), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, w, h, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    with open(os.path.join(OUT, fname), "wb") as f:
        f.write(head + info + pixels)


bmp("Company.bmp", (0, 70, 150))
bmp("Company-1.bmp", (150, 60, 0))


# ------------------------------------------------------------- check -------
if CHECK:
    written = sorted(os.listdir(OUT))
    differing = [n for n in written
                 if not os.path.exists(os.path.join(DATA, n))
                 or not filecmp.cmp(os.path.join(OUT, n), os.path.join(DATA, n), shallow=False)]
    shutil.rmtree(OUT)
    if differing:
        print("data/ differs from the generator in: " + ", ".join(differing))
        print("run python3 tools/sample-data/make_sample_data.py and commit the result")
        sys.exit(1)
    print(f"data/ matches the generator ({len(written)} files)")
