#!/usr/bin/env python3
"""Checks the demo work folder: encoding, line ends and the structure of
Sprav.txt, Error.txt and kvarnik.ini, read the way the program reads them.

Usage: python3 scripts/check-demo-data.py [folder]   (default: data/demo)
Exit status 0 when every check passes, 1 otherwise.
"""
import os
import sys

MODELS = 4
MAX_SECTION_LINES = 256
MAX_HEADERS = 11
MAX_NAME = 35
FORMAT_LEN = [2, 2, 4, 2, 128, 2, 8, 4, 4, 4, 128]
REAL_FORMATS = {8, 9}

# Daily, monthly and interval archive counts each model keeps; None = not set by the model.
MODEL_ARCHIVES = {0: (64, 64, None), 1: (32, 32, None), 2: (64, 63, 13), 3: (64, 63, 12)}

# Parameters the program reads or writes by code: (class, code) -> (least largest index, allowed formats).
REQUIRED = {
    (0x40, 0x00): (0, None),              # status
    (0x40, 0x02): (3, {0, 3, 5}),         # reporting hour/day, interval length, flags
    (0x40, 0x06): (0, {0, 3, 5}),         # line speed, BCD
    (0x40, 0x08): (0, {0, 3, 5}),         # access password
    (0x40, 0x14): (1, {0, 3, 5}),         # failure stack and archive ring pointers
    (0x40, 0x15): (0, {1}),               # time hh:mm
    (0x40, 0x16): (0, {0}),               # day, month
    (0x40, 0x17): (0, {0}),               # year
    (0x40, 0x1C): (1, REAL_FORMATS),      # power-off durations
    (0x40, 0x1D): (31, {7}),              # key parameter changes
    (0x40, 0x1E): (1, {0, 3, 5}),         # version and model
    (0x40, 0x32): (0, {4}),               # current failure record
    (0x40, 0x3D): (3, REAL_FORMATS),      # controller run times
    (0x40, 0x46): (7, {4}),               # failure history
    (0x40, 0x47): (3, {6}),               # input signal buffers
    (0x40, 0x49): (3, {6}),               # output signal buffers
    (0x40, 0x4A): (3, {6}),               # indication signal buffers
    (0x40, 0x50): (6, {4, 10}),           # group descriptor write
    (0x40, 0x51): (6, None),              # group read
    (0x00, 0x00): (0, {7}),               # sensor descriptor
    (0x00, 0x0F): (0, REAL_FORMATS),      # entered sensor value
    (0x00, 0x11): (0, REAL_FORMATS),      # sensor value
    (0x00, 0x20): (63, {0, 3, 5}),        # extreme descriptor
    (0x00, 0x21): (63, REAL_FORMATS),
    (0x00, 0x22): (63, REAL_FORMATS),
    (0x00, 0x23): (63, {7}),
    (0x00, 0x24): (63, {7}),
    (0x00, 0x25): (63, {0, 3, 5}),        # extreme reset
    (0x00, 0x27): (0, {7, 9}),            # interval archive quantity, 4 bytes
    (0x80, 0x00): (0, {0, 3, 5}),         # pipeline state
    (0x80, 0x1E): (0, {2}),               # integer archive channels
    (0x80, 0x32): (0, {2}),
    (0x80, 0x33): (0, REAL_FORMATS),      # pipeline run times
    (0x80, 0x34): (0, REAL_FORMATS),
    (0x80, 0x35): (0, REAL_FORMATS),
    (0x80, 0x36): (0, REAL_FORMATS),
}

INI_PARAMETR_KEYS = [
    "Port", "ChannelType", "Speed", "SetNumber", "Channel", "Modem", "Simbol", "Pulse", "Phone",
    "Inimod", "Prot", "Crc", "MultNumb", "TimTc", "Timotk", "Voice1", "Voice2", "Voice3",
    "avarYes", "Report", "Name1", "Name2", "Blok1", "NameArhInt", "Avto", "CodePC", "SpeedPC",
    "ModemMin", "Print",
]
CHANNEL_TYPES = [
    "Rs 232", "ИРПС (4-х проводной)", "ИРПС (2-х проводной)", "Rs 485",
    "ИСМ-1200 (выделенная линия)", "ИСМ-1200 (коммутир. линия)", "Hayes-модем ",
    "Мультиплексор токовой петли(2-х проводной)", "GSM-модем",
    "Мультиплексор токовой петли(4-х проводной)", "RS 485+", "Can-Bus", "Hayes-модем - Can-Bus",
]
SPEEDS = ["   300 бод", "   600 бод", "  1200 бод", "  2400 бод", "  4800 бод", "  9600 бод",
          " 19200 бод", " 57600 бод", "115200 бод"]
CAN_SPEEDS = ["300", "200", "150", "120", "100", "  75", "  60", "  50", "  40", "  37,5",
              "  30", "  25", "  20", "  15", "  10"]
PROTOCOLS = ["Традиционный", "FT1.2", "FT1.1"]


class Report:
    def __init__(self):
        self.errors = []

    def error(self, where, text):
        self.errors.append(f"{where}: {text}")


def read_lines(path, rep):
    """Decodes a cp1251 file with CR LF line ends; returns its lines or None."""
    name = os.path.basename(path)
    try:
        with open(path, "rb") as f:
            data = f.read()
    except OSError as e:
        rep.error(name, f"cannot read ({e.strerror})")
        return None
    try:
        text = data.decode("cp1251")
    except UnicodeDecodeError as e:
        rep.error(name, f"not cp1251 at byte {e.start}")
        return None
    if data and not data.endswith(b"\r\n"):
        rep.error(name, "last line does not end with CR LF")
    lines = text.split("\r\n")
    for i, line in enumerate(lines, 1):
        if "\r" in line or "\n" in line:
            rep.error(f"{name}:{i}", "bare CR or LF inside a line")
    if lines and lines[-1] == "":
        lines.pop()
    return lines


# ---------------------------------------------------------------- Sprav.txt

def section_bounds(lines):
    """[(first, last)] line ranges, inclusive, of the sections the program finds."""
    start = next((i for i, l in enumerate(lines) if "0=" in l), None)
    if start is None:
        return [(0, len(lines) - 1)]
    bounds = []
    first = start + 1
    for k in range(1, MODELS):
        close = next((i for i in range(first, len(lines)) if f"{k}=" in lines[i]), None)
        if close is None:
            break
        bounds.append((first, close))
        first = close + 1
    bounds.append((first, len(lines) - 1))
    return bounds


def parse_section(lines, first, last, where, rep):
    """Entries as dicts in file order; headers have fmt 0xFF."""
    entries = []
    for i in range(first, last + 1):
        line = lines[i]
        if line == "":
            continue
        at = f"{where}:{i + 1}"
        if ";" not in line:
            if len(line) > MAX_NAME:
                rep.error(at, f"group name longer than {MAX_NAME} characters")
            entries.append(dict(name=line, header=True, line=i + 1))
            continue
        name, rest = line.split(";", 1)
        if len(name) > MAX_NAME:
            rep.error(at, f"name longer than {MAX_NAME} characters")
        if "=" in line:
            rep.error(at, "'=' in an entry line could be taken for a section marker")
        fields = rest.split(";")
        if len(fields) != 4 or any(len(f) != 2 for f in fields):
            rep.error(at, "expected four fields of two hexadecimal digits")
            continue
        try:
            cls, code, big, fmt = (int(f, 16) for f in fields)
        except ValueError:
            rep.error(at, "field is not hexadecimal")
            continue
        if fmt > 10:
            rep.error(at, f"format {fmt} is outside 0..10")
        if cls not in (0x00, 0x40, 0x80, 0xC0):
            rep.error(at, f"class {cls:02X} has bits below the top two and cannot be looked up")
        if (cls + big) & 0xC0 != cls:
            rep.error(at, "largest index runs into the next class")
        entries.append(dict(name=name, header=False, cls=cls, code=code, big=big, fmt=fmt, line=i + 1))
    return entries


def scanned_groups(entries):
    """(header, [entries]) for each group that another header follows."""
    heads = [i for i, e in enumerate(entries) if e["header"]]
    return [(entries[a], entries[a + 1:b]) for a, b in zip(heads, heads[1:])]


def find_format(groups, cls, code):
    for _, members in groups:
        for e in members:
            if e["cls"] == cls and e["code"] == code:
                return e
    return None


def check_sprav(folder, rep):
    lines = read_lines(os.path.join(folder, "Sprav.txt"), rep)
    if lines is None:
        return
    bounds = section_bounds(lines)
    if len(bounds) != MODELS:
        rep.error("Sprav.txt", f"{len(bounds)} sections found, {MODELS} expected")
    for model, (first, last) in enumerate(bounds):
        where = f"Sprav.txt section {model}"
        nonempty = sum(1 for l in lines[first:last + 1] if l != "")
        if nonempty > MAX_SECTION_LINES:
            rep.error(where, f"{nonempty} lines, at most {MAX_SECTION_LINES}")
        entries = parse_section(lines, first, last, "Sprav.txt", rep)
        heads = [e for e in entries if e["header"]]
        if len(heads) > MAX_HEADERS:
            rep.error(where, f"{len(heads)} group headers, at most {MAX_HEADERS}")
        if not entries or not entries[-1]["header"]:
            rep.error(where, "the last group is not closed by a line without ';'")
        if entries and not entries[0]["header"]:
            rep.error(where, "entries before the first group header")
        groups = scanned_groups(entries)
        if len(groups) < 2 or any(e["cls"] != 0x00 for e in groups[0][1]) \
                or any(e["cls"] != 0x80 for e in groups[1][1]):
            rep.error(where, "the first two groups must hold sensor and pipeline parameters")
        for e in groups[0][1] if groups else []:
            if e["code"] >= 25:
                rep.error(f"Sprav.txt:{e['line']}", "sensor codes from 19 on get an index, not a sensor number")
        seen = {}
        for header, members in groups:
            if not members:
                rep.error(f"Sprav.txt:{header['line']}", "group without entries")
            # The group editor hides the group-parameter entries but maps its rows to catalog
            # positions by offset, so they have to close their group.
            hidden = [e["cls"] == 0x40 and e["code"] in (0x50, 0x51) for e in members]
            if any(h and not all(hidden[i:]) for i, h in enumerate(hidden)):
                rep.error(f"Sprav.txt:{header['line']}", "40/50 and 40/51 must be the last entries of their group")
            for e in members:
                key = (e["cls"], e["code"])
                if key in seen:
                    rep.error(f"Sprav.txt:{e['line']}", f"code {key[0]:02X}/{key[1]:02X} already on line {seen[key]}")
                    continue
                seen[key] = e["line"]
                for index in range(e["big"] + 1):
                    hit = find_format(groups, (e["cls"] + index) & 0xC0, e["code"])
                    if hit is not e:
                        rep.error(f"Sprav.txt:{e['line']}", f"index {index} is not found by lookup")
                        break
        for (cls, code), (least, formats) in REQUIRED.items():
            e = find_format(groups, cls, code)
            if e is None:
                rep.error(where, f"parameter {cls:02X}/{code:02X} missing")
            elif e["big"] < least:
                rep.error(f"Sprav.txt:{e['line']}", f"largest index below {least}")
            elif formats is not None and e["fmt"] not in formats:
                rep.error(f"Sprav.txt:{e['line']}", f"format {e['fmt']} not one of {sorted(formats)}")
        check_archive_counts(model, groups, where, rep)


def check_archive_counts(model, groups, where, rep):
    counts = {}
    for _, members in groups:
        if members and members[0]["cls"] == 0x40:
            for e in members:
                if e["cls"] == 0x40 and e["code"] in (10, 11, 12):
                    counts.setdefault(e["code"], e["big"] + 1)
    if sorted(counts) != [10, 11, 12]:
        rep.error(where, "archive counts 40/0A, 40/0B, 40/0C missing from a group led by a special entry")
        return
    if counts[10] > 32:
        rep.error(where, "more than 32 hourly archives")
    daily, monthly, interval = MODEL_ARCHIVES[model]
    if (counts[11], counts[12]) != (daily, monthly):
        rep.error(where, f"daily/monthly archive counts {counts[11]}/{counts[12]}, model keeps {daily}/{monthly}")
    descr = find_format(groups, 0x00, 0x2D)
    if descr is not None and descr["big"] + 1 != (interval or 13):
        rep.error(where, f"interval archive descriptors for {descr['big'] + 1} archives, model keeps {interval or 13}")


# ---------------------------------------------------------------- Error.txt

def check_error(folder, rep):
    lines = read_lines(os.path.join(folder, "Error.txt"), rep)
    if lines is None:
        return
    texts = {}
    for i, line in enumerate(lines, 1):
        if "=" not in line:
            continue
        key, text = line.split("=", 1)
        if key in texts:
            rep.error(f"Error.txt:{i}", f"key {key} repeated; only the first line counts")
            continue
        texts[key] = (text, i)
    wanted = set()
    for m in range(MODELS):
        for byte in range(8):
            for bit in range(8):
                wanted.add(f"{m}0{byte}{bit}")
        for byte in range(16, 48):
            wanted.add(f"{m}{byte:2d}0")
    for key in sorted(wanted):
        if key not in texts or texts[key][0] == "":
            rep.error("Error.txt", f"no text for key {key}")
        elif key[1] != "0":
            text = texts[key][0]
            if "," in text and not any(c.isdigit() for c in text.split(",", 1)[1]):
                rep.error(f"Error.txt:{texts[key][1]}", "sensor text has a comma but no start number")
    for key, (_, i) in texts.items():
        if key not in wanted:
            rep.error(f"Error.txt:{i}", f"key {key!r} is never looked up")


# ---------------------------------------------------------------- kvarnik.ini

def check_ini(folder, rep):
    lines = read_lines(os.path.join(folder, "kvarnik.ini"), rep)
    if lines is None:
        return
    sections, order = {}, []
    current = None
    for i, line in enumerate(lines, 1):
        if line.strip() == "" or line.startswith(";"):
            continue
        if line.startswith("[") and line.rstrip().endswith("]"):
            current = line.strip()[1:-1]
            sections[current.upper()] = {}
            order.append(current)
            continue
        if current is None or "=" not in line:
            rep.error(f"kvarnik.ini:{i}", "line outside a section or without '='")
            continue
        key, value = line.split("=", 1)
        sections[current.upper()][key] = value
    for name in ("Parametr", "Printer", "CAN-BUS", "Ports"):
        if name.upper() not in sections:
            rep.error("kvarnik.ini", f"section [{name}] missing")
    par = sections.get("PARAMETR", {})
    keys = [k for k in par if k != "Name"]
    if keys != INI_PARAMETR_KEYS:
        rep.error("kvarnik.ini", "keys of [Parametr] differ from the written order")
    checks = [
        ("Port", lambda v: v in [f"Com{n}" for n in range(1, 9)]),
        ("ChannelType", lambda v: v in CHANNEL_TYPES),
        ("Speed", lambda v: v in SPEEDS),
        ("Prot", lambda v: v in PROTOCOLS),
        ("SpeedPC", lambda v: v in CAN_SPEEDS),
        ("Blok1", lambda v: v.isdigit() and int(v) < MODELS),
        ("SetNumber", lambda v: v.isdigit() and int(v) < 128),
        ("CodePC", lambda v: len(v) == 2 and all(c in "0123456789ABCDEF" for c in v)),
        ("Name1", lambda v: v == "Ведущий"),
        ("Name2", lambda v: v == "Ведомый"),
    ]
    for key in ("Modem", "Simbol", "Pulse", "avarYes", "Report", "Avto"):
        checks.append((key, lambda v: v in ("Yes", "No")))
    for key in ("TimTc", "Timotk"):
        checks.append((key, lambda v: v.isdigit() and int(v) < 128))
    for key, ok in checks:
        if key in par and not ok(par[key]):
            rep.error("kvarnik.ini", f"{key}={par[key]!r} is not in the written form")
    ports = sections.get("PORTS", {})
    if sorted(ports) != sorted(f"Com{n}" for n in range(1, 9)):
        rep.error("kvarnik.ini", "[Ports] must name Com1..Com8")


def main():
    folder = sys.argv[1] if len(sys.argv) > 1 else os.path.join(
        os.path.dirname(os.path.abspath(__file__)), "..", "data", "demo")
    rep = Report()
    check_sprav(folder, rep)
    check_error(folder, rep)
    check_ini(folder, rep)
    read_lines(os.path.join(folder, "README.txt"), rep)
    for e in rep.errors:
        print(e)
    print("demo data: " + ("OK" if not rep.errors else f"{len(rep.errors)} problem(s)"))
    return 1 if rep.errors else 0


if __name__ == "__main__":
    sys.exit(main())
