#!/usr/bin/env python3
"""The Windows suite: the cross-built tool and platform contract tests under Wine.

One throw-away WINEPREFIX is booted per run. In it the suite
  1. runs the platform contract tests (the same source as on Linux) against
     the Win32 backend, with tests/fixtures/platform/contract.reg imported;
  2. runs the tool's scenarios against tests/fixtures/e2e/catalogue.reg, the
     machine of the Linux end-to-end suite, with the fake uninstall programs
     and a fake MsiExec.exe built for Windows (tests/windows/*.cpp);
  3. installs a real Windows Installer package (built with wixl from
     tests/fixtures/windows/halvane-test-product.wxs) and has the tool remove
     it through the real msiexec.

Registry fixtures are imported with `reg import`, converted to UTF-16LE with a
byte-order mark first: Wine's reg widens hex(2)/hex(7) data byte by byte when
the file is not UTF-16, which would corrupt REG_EXPAND_SZ and REG_MULTI_SZ
values.

Every check that fails is reported with its scenario; the last line of output
is "N passed, N failed" (contract tests count one each, scenarios one each).
The exit code is 0 only when nothing failed. Wine that cannot start is a
failure, never a skip.
"""

import argparse
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time
from pathlib import Path

REPO = Path(__file__).resolve().parents[2]
E2E_FIXTURES = REPO / "tests" / "fixtures" / "e2e"
WINDOWS_FIXTURES = REPO / "tests" / "fixtures" / "windows"
CONTRACT_REG = REPO / "tests" / "fixtures" / "platform" / "contract.reg"

UNINSTALL_KEY = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\"
SYSTEM_DIR = "C:\\windows\\system32"
TOOL_TIMEOUT = 240  # seconds; a hung run fails instead of stalling the suite

HELP_TEXT = ("/?,/help - for help.\r\n"
             "-p       - Process name of the application.\r\n"
             "-sw      - Silent switch.\r\n"
             "-fn      - Executable filename.\r\n")

# Product codes of catalogue.reg (see tests/fixtures/e2e/README.md).
CONTOSO = "{11111111-1111-4111-8111-111111111111}"
LITWARE = "{33333333-3333-4333-8333-333333333333}"
TAILSPIN = "{44444444-4444-4444-8444-444444444444}"
ADATUM = "{55555555-5555-4555-8555-555555555555}"
ADVENTURE = "{66666666-6666-4666-8666-666666666666}"
COHO = "{77777777-7777-4777-8777-777777777777}"
WIDE_WORLD = "{AAAAAAAA-AAAA-4AAA-8AAA-AAAAAAAAAAAA}"
NO_NAME = "{CCCCCCCC-CCCC-4CCC-8CCC-CCCCCCCCCCCC}"
MULTI_NAME = "{DDDDDDDD-DDDD-4DDD-8DDD-DDDDDDDDDDDD}"

# The programs the catalogue's commands name; ProsewareRemove.exe is left out
# on purpose (a command whose program does not exist).
CATALOGUE_FAKES = [
    "ContosoUninstall.exe", "FabrikamSetup.exe", "LitwareUninstall.exe", "TailspinQuiet.exe",
    "NorthwindUninstall.exe", "WideWorldUninstall.exe", "EmptyNameUninstall.exe",
    "OrphanUninstall.exe", "MultiUninstall.exe", "TreyUninstall.exe",
    "Fourth Coffee Uninstall.exe", "MsiExec.exe"
]

# The product of the real Windows Installer round trip.
MSI_PRODUCT = "Halvane Test Product"
MSI_CODE = "{6F1C2A43-5B7D-4E8A-9C01-2D3E4F5A6B7C}"
MSI_FILE = Path("Program Files") / "HalvaneTest" / "payload.txt"


def info(message):
    return "[INFO] " + message + "\n"


def error(message):
    return "[ERROR] " + message + "\n"


def subkey_line(product):
    return info("SubKey: " + UNINSTALL_KEY + product)


EXECUTED = info("Uninstallation executed: 0")
FOUND = "[INFO] Found "
NOT_STARTUP = info("Not a startup event, hence not killing the product's exe")
STARTUP = info("This is a startup event, hence killing the product's exe")
ALREADY_RUNNING = info("Application is already being run by another process")
KILLED_DONE = info("Process killed successfully")


def wide_world_quiet_command():
    command = "WideWorldUninstall.exe /S /LOG="
    return command + "x" * (254 - len(command))


def agent_values(values):
    return "[HKEY_LOCAL_MACHINE\\SOFTWARE\\WOW6432Node\\Velnor\\Halvane\\HVAgent]\n" + values + "\n"


ALWAYS_KILL_APPS = ("[HKEY_LOCAL_MACHINE\\SOFTWARE\\WOW6432Node\\Velnor\\Halvane\\HVAgent\\Patch]\n"
                    "\"alwaysKillApps\"=dword:00000001\n")

# Exit code, commands run and log lines, by scenario: the catalogue cases of
# the Linux suite that Windows semantics allow.
RUN_CASES = [
    dict(name="QuietCommandRunsUnchanged", args=["-dis", "Contoso Widget"], exit=0,
         commands=["ContosoUninstall.exe /S"],
         has=[info("Given Display Name : Contoso Widget"), info("Found Contoso Widget"), EXECUTED,
              "[INFO] Reading 32-bit keys", "[INFO] Reading 64-bit keys", subkey_line(CONTOSO)],
         lacks=["[DEBUG]", "[TRACE]", "UninstallString:"]),
    dict(name="DisplayNameComparedWithoutCase", args=["-dis", "cONTOSO wIDGET"], exit=0,
         commands=["ContosoUninstall.exe /S"], has=[info("Found cONTOSO wIDGET")]),
    dict(name="DisplayNameMustMatchWhole", args=["-dis", "Contoso"], exit=1,
         has=[info("Given Display Name : Contoso")], lacks=[FOUND, "Uninstallation"]),
    dict(name="UninstallStringRunsUnchangedInFirstPass", args=["-dis", "Fabrikam Tool"], exit=0,
         commands=["FabrikamSetup.exe /uninstall"], has=[info("Found Fabrikam Tool"), EXECUTED]),
    dict(name="BothViewsBothPasses", args=["-dis", "Litware Viewer"], exit=0,
         commands=["LitwareUninstall.exe /quiet", "MsiExec.exe /x" + LITWARE + " /qn /norestart"],
         has=[info("UninstallString: MsiExec.exe /I" + LITWARE)], lacks=["Uninstallation failed"],
         counts=[(EXECUTED, 2), (info("Found Litware Viewer"), 2)]),
    dict(name="SecondPassSuccessIsEnough", args=["-dis", "Litware Viewer"], exit=0,
         commands=["LitwareUninstall.exe /quiet", "MsiExec.exe /x" + LITWARE + " /qn /norestart"],
         has=[error("Uninstallation failed with error code: 1603"), EXECUTED],
         codes={"LitwareUninstall.exe": 1603}),
    dict(name="BothPassesFail", args=["-dis", "Litware Viewer"], exit=1,
         commands=["LitwareUninstall.exe /quiet", "MsiExec.exe /x" + LITWARE + " /qn /norestart"],
         has=[error("Uninstallation failed with error code: 1603"),
              error("Uninstallation failed with error code: 1605")],
         lacks=["Uninstallation executed"], codes={"LitwareUninstall.exe": 1603, LITWARE: 1605}),
    dict(name="MsiProductOfThe64BitView", args=["-dis", "Tailspin Studio"], exit=0,
         commands=["MsiExec.exe /x" + TAILSPIN + " /qn /norestart"],
         has=[info("UninstallString: MsiExec.exe /I" + TAILSPIN), EXECUTED],
         lacks=["TailspinQuiet"]),
    dict(name="MissingUninstallStringBuiltFromProductCode", args=["-dis", "Adatum Suite"], exit=0,
         commands=["MsiExec.exe /X" + ADATUM + " /qn /norestart"],
         has=[error("Error while getting the value of UninstallString for the key : " +
                    UNINSTALL_KEY + ADATUM),
              info("Manually creating an UninstallString"), EXECUTED]),
    dict(name="RemovalSwitchKept", args=["-dis", "Adventure Works"], exit=0,
         commands=["msiexec.exe /X" + ADVENTURE + " /qn /norestart"],
         has=[info("UninstallString: msiexec.exe /X" + ADVENTURE)]),
    dict(name="SecondListingTakenAfterFirstPass", args=["-dis", "Coho Vineyard"], exit=0,
         commands=["MsiExec.exe /X" + COHO + " /qn"], has=[EXECUTED],
         lacks=["Error while opening the registry key"], counts=[(subkey_line(COHO), 2)]),
    dict(name="InstallerRebootRequiredIsSuccess", args=["-dis", "Adatum Suite"], exit=0,
         commands=["MsiExec.exe /X" + ADATUM + " /qn /norestart"], has=[EXECUTED],
         lacks=["Uninstallation failed"], codes={ADATUM: 3010}),
    dict(name="InstallerRebootInitiatedIsSuccess", args=["-dis", "Adatum Suite"], exit=0,
         commands=["MsiExec.exe /X" + ADATUM + " /qn /norestart"], has=[EXECUTED],
         lacks=["Uninstallation failed"], codes={ADATUM: 1641}),
    dict(name="InstallerRestartPendingIsSuccess", args=["-dis", "Adatum Suite"], exit=0,
         commands=["MsiExec.exe /X" + ADATUM + " /qn /norestart"], has=[EXECUTED],
         lacks=["Uninstallation failed"], codes={ADATUM: 1508}),
    dict(name="UnknownProductFails", args=["-dis", "Adatum Suite"], exit=1,
         commands=["MsiExec.exe /X" + ADATUM + " /qn /norestart"],
         has=[error("Uninstallation failed with error code: 1605")],
         lacks=["Uninstallation executed"], codes={ADATUM: 1605}),
    dict(name="QuietCommandFailureFails", args=["-dis", "Contoso Widget"], exit=1,
         commands=["ContosoUninstall.exe /S"],
         has=[error("Uninstallation failed with error code: 1")],
         lacks=["Uninstallation executed"], codes={"ContosoUninstall.exe": 1}),
    # The exit code arrives whole (no 8-bit truncation on Windows).
    dict(name="LargeExitCodeArrivesWhole", args=["-dis", "Contoso Widget"], exit=1,
         commands=["ContosoUninstall.exe /S"],
         has=[error("Uninstallation failed with error code: 70000")],
         codes={"ContosoUninstall.exe": 70000}),
    dict(name="MissingProgramFailsWithFileNotFound", args=["-dis", "Proseware Editor"], exit=1,
         has=[info("Found Proseware Editor"), error("Uninstallation failed with error code: 2")]),
    dict(name="QuotedProgramPathWithBlanks", args=["-dis", "Fourth Coffee"], exit=0,
         commands=["\"@BIN_DIR@Fourth Coffee Uninstall.exe\" /S"], has=[EXECUTED]),
    dict(name="EntryWithoutBracesSkipped", args=["-dis", "Northwind Agent"], exit=1,
         lacks=[FOUND, "Uninstallation"]),
    dict(name="UnreadableDisplayNamesLoggedAndSkipped", args=["-dis", "Multi Name"], exit=1,
         has=[error("Error while reading the DisplayName from " + UNINSTALL_KEY + NO_NAME +
                    " with error code : 2"),
              error("Error while reading the DisplayName from " + UNINSTALL_KEY + MULTI_NAME +
                    " with error code : 13")],
         lacks=[FOUND]),
    dict(name="ValueBufferBound", args=["-dis", "Wide World Importers"], exit=0,
         commands=[wide_world_quiet_command(), "MsiExec.exe /X" + WIDE_WORLD + " /qn /norestart"],
         has=[error("Error while getting the value of UninstallString for the key : " +
                    UNINSTALL_KEY + WIDE_WORLD),
              info("Manually creating an UninstallString")]),
    dict(name="OverlongFirstPassCommandNotRun", args=["-dis", "Trey Research"], exit=1,
         has=[info("Found Trey Research"),
              error("Uninstallation failed with UninstallString is empty")],
         lacks=["Error while getting the value of UninstallString"]),
    dict(name="NoDisplayNameMatchesEmptyName", args=[], exit=0,
         commands=["EmptyNameUninstall.exe"], has=[EXECUTED]),
    dict(name="AbbreviatedOption", args=["-d", "Contoso Widget"], exit=0,
         commands=["ContosoUninstall.exe /S"], has=[info("Given Display Name : Contoso Widget")]),
    dict(name="OptionInUpperCase", args=["-DIS", "Contoso Widget"], exit=0,
         commands=["ContosoUninstall.exe /S"], has=[info("Given Display Name : Contoso Widget")]),
    dict(name="UnknownOptionSkipped", args=["-display", "Contoso Widget"], exit=0,
         commands=["EmptyNameUninstall.exe"], lacks=["Given Display Name", "Found Contoso"]),
    dict(name="ValueThatLooksLikeHelpIsAValue", args=["-dis", "/?"], exit=1,
         has=[info("Given Display Name : /?")]),
    dict(name="OtherOptionsLogged",
         args=["-fn", "setup.exe", "-sw", "/S /norestart", "-Ireq", "-p", "NotRunning.exe", "-dis",
               "Contoso Widget"], exit=0,
         commands=["ContosoUninstall.exe /S"],
         has=[info("Executable file name: setup.exe"),
              info("Given command line args : /S /norestart"), info("Installation required"),
              info("Process name : NotRunning.exe"), info("Given Display Name : Contoso Widget")],
         lacks=["The tick count"]),
    dict(name="LevelOneWritesInfoOnly", args=["-dis", "Proseware Editor"], exit=1,
         has=[info("Found Proseware Editor")], lacks=["[ERROR]", "[DEBUG]"],
         registry=agent_values("\"HVAgentLogLevel\"=dword:00000001")),
    dict(name="LevelThreeAddsDebug", args=["-dis", "Contoso Widget"], exit=0,
         commands=["ContosoUninstall.exe /S"],
         has=["[DEBUG] @@@@@@@@ Inside execute Method @@@@@@@@ \n", EXECUTED], lacks=["[TRACE]"],
         registry=agent_values("\"HVAgentLogLevel\"=dword:00000003")),
    dict(name="LevelZeroWritesBannersOnly", args=["-dis", "Contoso Widget"], exit=0,
         commands=["ContosoUninstall.exe /S"],
         lacks=["Given Display Name", "Reading", "Uninstallation"],
         registry=agent_values("\"HVAgentLogLevel\"=dword:00000000")),
]

# The product's own process (-p) running when the tool starts. Wine's tick
# count is the host's uptime and cannot be set, so a case either sets
# alwaysKillApps (the kill path, whatever the uptime) or takes the uptime the
# tool logged and expects the outcome for it ("uptime": True).
PROCESS_CASES = [
    dict(name="RunningProductAndTheUptime", running=["MyProduct.exe"], p="MyProduct.exe",
         uptime=True),
    dict(name="AlwaysKillAppsStopsTheProduct", running=["MyProduct.exe"], p="MyProduct.exe",
         registry=ALWAYS_KILL_APPS, exit=0, survive=False,
         has=[info("alwaysKillApps is set, so we are setting the uptime as 1"),
              info("The final tick count is 1"), STARTUP,
              info("Process name to kill : MyProduct.exe"), info("MyProduct.exe was Killed......"),
              KILLED_DONE, EXECUTED],
         lacks=[NOT_STARTUP, "not killed"]),
    dict(name="ProcessNameComparedWithoutCase", running=["MyProduct.exe"], p="myproduct.EXE",
         registry=ALWAYS_KILL_APPS, exit=0, survive=False,
         has=[info("myproduct.EXE was Killed......"), EXECUTED]),
    dict(name="EveryProcessOfTheNameStopped", running=["MyProduct.exe", "MyProduct.exe"],
         p="MyProduct.exe", registry=ALWAYS_KILL_APPS, exit=0, survive=False,
         has=[KILLED_DONE, EXECUTED], counts=[(info("MyProduct.exe was Killed......"), 2)]),
    dict(name="LongNameStoppedByWholeName", running=["ContosoWidgetSvA.exe"],
         p="ContosoWidgetSvA.exe", registry=ALWAYS_KILL_APPS, exit=0, survive=False,
         has=[info("ContosoWidgetSvA.exe was Killed......"), EXECUTED]),
    dict(name="LongNamePrefixCountsAsRunning", running=["ContosoWidgetSvA.exe"],
         p="ContosoWidgetSvB.exe", uptime=True),
    dict(name="LongNamePrefixIsNotStopped", running=["ContosoWidgetSvA.exe"],
         p="ContosoWidgetSvB.exe", registry=ALWAYS_KILL_APPS, exit=0, survive=True,
         has=[STARTUP, KILLED_DONE, EXECUTED], lacks=["was Killed", "not killed"]),
    dict(name="FifteenthCharacterCounts", running=["ContosoWidgetSvA.exe"],
         p="ContosoWidgetSwA.exe", exit=0, survive=True, has=[EXECUTED],
         lacks=["The tick count", "already being run"]),
    dict(name="NotRunningNeedsNoUptime", running=[], p="MyProduct.exe", exit=0, survive=True,
         has=[info("Process name : MyProduct.exe"), EXECUTED],
         lacks=["The tick count", "already being run"]),
]

HELP_CASES = [
    ("QuestionMark", ["/?"]),
    ("HelpWord", ["/help"]),
    ("HelpWordUpperCase", ["/HELP"]),
    ("AfterOtherOptions", ["-p", "MyProduct.exe", "-dis", "Contoso Widget", "/?"]),
]

OLD_LIVE = "<old live log>"

# Rotation of the live log at start-up (CopyFileA, truncation in place,
# FindFirstFileA over the log folder).
ROTATION_CASES = [
    dict(name="BelowLimitKept", size=1999999, before=[], after=[]),
    dict(name="AtLimitRotated", size=2000000, before=[], after=[OLD_LIVE]),
    dict(name="NumberedFilesMoveUp", size=2000000, before=["one\n", "two\n"],
         after=[OLD_LIVE, "one\n", "two\n"]),
    dict(name="OldestDropped", size=2000000, before=["one\n", "two\n", "three\n", "four\n"],
         after=[OLD_LIVE, "one\n", "two\n", "three\n"]),
]

LOG_PREFIX = re.compile(rb"\[ \d+-\d\d-\d\d \d\d:\d\d:\d\d:\d\d\d \] \[ \d+ \] ")
BANNER = re.compile(r"\[INFO\] Log (open|close) time: \d+-\d\d-\d\d \d\d:\d\d:\d\d:\d\d\d\n")


class SuiteError(Exception):
    """Wine or the build cannot be used at all: the suite fails loudly."""


def reg_escape(text):
    return text.replace("\\", "\\\\").replace("\"", "\\\"")


def to_utf16_reg(text):
    """A .reg text as regedit writes it: UTF-16LE, byte-order mark, CRLF."""
    text = text.replace("\r\n", "\n").replace("\n", "\r\n")
    return b"\xff\xfe" + text.encode("utf-16-le")


HEX_VALUE = re.compile(r'^\s*(@|"(?:[^"\\]|\\.)*")=hex(\([0-9a-fA-F]+\))?:')


def reg_lines(text):
    """The logical lines of a .reg text (continuations joined)."""
    pending = ""
    for line in text.replace("\r\n", "\n").split("\n"):
        if pending:
            line = pending + line.lstrip()
            pending = ""
        # Only hex data continues on the next line.
        if line.endswith("\\") and HEX_VALUE.search(line):
            pending = line[:-1]
            continue
        yield line


VALUE_LINE = re.compile(r'^(@|"((?:[^"\\]|\\.)*)")=hex\(([127])\):(.*)$')


def unterminated_strings(text):
    """(key, name, type, hex) of string values written as hex data that does
    not end in a UTF-16 terminator."""
    key = None
    for line in reg_lines(text):
        stripped = line.strip()
        if stripped.startswith("["):
            name = stripped[1:-1]
            key = None if name.startswith("-") else name.split("\\", 1)[1]
            continue
        m = VALUE_LINE.match(stripped)
        if not m or key is None:
            continue
        name = "" if m.group(1) == "@" else re.sub(r"\\(.)", r"\1", m.group(2))
        data = m.group(4).replace(" ", "").strip(",")
        values = [int(b, 16) for b in data.split(",") if b]
        if len(values) % 2 == 1 or values[-2:] != [0, 0]:
            yield key, name, int(m.group(3)), data


def parse_log(raw):
    """(preamble, entries) of a log; entries keep their line ends as \\n."""
    starts = [m for m in LOG_PREFIX.finditer(raw)]
    preamble = raw[:starts[0].start()] if starts else raw
    entries = []
    for i, m in enumerate(starts):
        end = starts[i + 1].start() if i + 1 < len(starts) else len(raw)
        entries.append(raw[m.end():end].decode("utf-8", "replace").replace("\r\n", "\n"))
    return preamble, entries


def pe_facts(path):
    """Machine, optional-header magic, subsystem and the RT_MANIFEST resource
    with ID 1 (its bytes, or None) of a PE file."""
    data = Path(path).read_bytes()

    def u16(at):
        return int.from_bytes(data[at:at + 2], "little")

    def u32(at):
        return int.from_bytes(data[at:at + 4], "little")

    pe = u32(0x3C)
    if data[:2] != b"MZ" or data[pe:pe + 4] != b"PE\0\0":
        raise ValueError("not a PE file")
    machine, sections, optional_size = u16(pe + 4), u16(pe + 6), u16(pe + 20)
    optional = pe + 24
    magic = u16(optional)
    subsystem = u16(optional + 68)
    directories = optional + (96 if magic == 0x10B else 112)
    resource_rva = u32(directories + 2 * 8)
    table = optional + optional_size
    spans = [(u32(table + 40 * i + 12), u32(table + 40 * i + 16), u32(table + 40 * i + 20))
             for i in range(sections)]

    def offset(rva):
        for address, size, raw in spans:
            if address <= rva < address + size:
                return raw + rva - address
        raise ValueError(f"RVA {rva:#x} is in no section")

    def entries(directory):
        count = u16(directory + 12) + u16(directory + 14)
        return [(u32(directory + 16 + 8 * i), u32(directory + 20 + 8 * i)) for i in range(count)]

    manifest = None
    if resource_rva:
        base = offset(resource_rva)
        for type_id, type_at in entries(base):
            if type_id != 24 or not type_at & 0x80000000:
                continue
            for name_id, name_at in entries(base + (type_at & 0x7FFFFFFF)):
                if name_id != 1 or not name_at & 0x80000000:
                    continue
                for _, leaf in entries(base + (name_at & 0x7FFFFFFF)):
                    rva, size = u32(base + leaf), u32(base + leaf + 4)
                    manifest = data[offset(rva):offset(rva) + size]
    return machine, magic, subsystem, manifest


class Wine:
    """A throw-away 64-bit WINEPREFIX with a persistent wineserver."""

    def __init__(self, prefix, loader, server):
        self.regset = None  # the Windows program that sets exact registry values
        self.prefix = Path(prefix)
        self.loader = loader
        self.server = server
        self.env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
        self.env.update(WINEPREFIX=str(self.prefix), WINEDEBUG="-all",
                        WINEDLLOVERRIDES="mscoree,mshtml=")
        self.drive_c = self.prefix / "drive_c"

    def boot(self, log_path):
        # One server for the whole suite, started first and persistent, so
        # that every later program starts quickly and no Wine service inherits
        # an output pipe of the suite.
        self.prefix.mkdir(parents=True, exist_ok=True)
        try:
            subprocess.run([self.server, "-p"], env=self.env, stdin=subprocess.DEVNULL,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=60)
        except (OSError, subprocess.TimeoutExpired) as e:
            raise SuiteError(f"wineserver cannot start: {e}")
        with open(log_path, "wb") as log:
            try:
                result = subprocess.run([self.loader, "wineboot", "-i"], env=self.env,
                                        stdin=subprocess.DEVNULL, stdout=log, stderr=log,
                                        timeout=300)
            except (OSError, subprocess.TimeoutExpired) as e:
                raise SuiteError(f"wineboot did not finish: {e}")
        system32 = self.drive_c / "windows" / "system32"
        if result.returncode != 0 or not (system32 / "kernel32.dll").exists():
            raise SuiteError(f"wineboot failed with exit code {result.returncode}; "
                             f"see {log_path}")
        # A program of the booted prefix must run and report its exit code.
        code, out, err = self.run("cmd", ["/c", "exit 3"], timeout=120)
        if code != 3:
            raise SuiteError(f"cmd.exe under Wine ended with {code}: {out!r} {err!r}")

    def shutdown(self):
        subprocess.run([self.server, "-k"], env=self.env, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)

    def win_path(self, path):
        """The Windows path of a file: on the C: drive when it lies in the
        prefix's drive_c, else on Z:, which Wine maps to the Unix root."""
        path = Path(path).resolve()
        try:
            return "C:\\" + str(path.relative_to(self.drive_c.resolve())).replace("/", "\\")
        except ValueError:
            return "Z:" + str(path).replace("/", "\\")

    def run(self, program, args, extra_env=None, timeout=TOOL_TIMEOUT, workdir=None):
        """Runs a Windows program; returns (exit code or None on timeout, out, err)."""
        env = dict(self.env)
        env.update(extra_env or {})
        with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
            process = subprocess.Popen([self.loader, program] + list(args), env=env,
                                       stdin=subprocess.DEVNULL, stdout=out, stderr=err,
                                       cwd=workdir, start_new_session=True)
            try:
                code = process.wait(timeout=timeout)
            except subprocess.TimeoutExpired:
                os.killpg(process.pid, signal.SIGKILL)
                process.wait()
                code = None
            out.seek(0)
            err.seek(0)
            return code, out.read(), err.read()

    def start(self, program, args, extra_env=None):
        env = dict(self.env)
        env.update(extra_env or {})
        return subprocess.Popen([self.loader, program] + list(args), env=env,
                                stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL, start_new_session=True)

    def reg_import(self, text, scratch):
        scratch.write_bytes(to_utf16_reg(text))
        code, out, err = self.run("reg", ["import", self.win_path(scratch)], timeout=120)
        if code != 0:
            raise SuiteError(f"reg import of {scratch} failed ({code}): {out!r} {err!r}")
        # Wine's reg adds a terminator to string data that has none; such
        # values are set again with their exact bytes.
        for key, name, kind, data in unterminated_strings(text):
            code, out, err = self.run(self.regset, [key, name, str(kind), data], timeout=120)
            if code != 0:
                raise SuiteError(f"setting {key}\\{name} failed ({code}): {out!r} {err!r}")

    def reg_query(self, key, view):
        code, out, _ = self.run("reg", ["query", key, "/s", "/reg:" + view], timeout=120)
        return code, out.decode("utf-8", "replace")


class Results:
    def __init__(self):
        self.passed = 0
        self.failed = 0
        self.failures = []

    def record(self, name, problems):
        if problems:
            self.failed += 1
            self.failures.append(name)
            print(f"FAIL {name}")
            for problem in problems:
                print(f"     {problem}")
        else:
            self.passed += 1
            print(f"ok   {name}")
        sys.stdout.flush()


class Suite:
    def __init__(self, wine, build, work):
        self.wine = wine
        self.build = Path(build)
        self.work = Path(work)
        self.results = Results()
        self.root = wine.drive_c / "hv"
        self.bin = self.root / "bin"
        self.counter = 0

    # ---- Set-up ----------------------------------------------------------

    def exe(self, relative):
        path = self.build / relative
        if not path.is_file():
            raise SuiteError(f"missing build output {path}")
        return path

    def install_programs(self):
        self.bin.mkdir(parents=True)
        shutil.copy(self.exe("uninstall/hvprereqhandler.exe"), self.bin / "hvprereqhandler.exe")
        fake = self.exe("tests/windows/hvfakeuninstaller.exe")
        for name in CATALOGUE_FAKES:
            shutil.copy(fake, self.bin / name)
        sleeper = self.exe("tests/windows/hvsleeper.exe")
        for name in ("MyProduct.exe", "ContosoWidgetSvA.exe"):
            shutil.copy(sleeper, self.bin / name)
        # The tool alone, for the real installer: no fake MsiExec.exe beside it.
        shutil.copy(self.exe("tests/windows/hvregset.exe"), self.root / "hvregset.exe")
        self.wine.regset = str(self.root / "hvregset.exe")
        tool = self.root / "tool"
        tool.mkdir()
        shutil.copy(self.exe("uninstall/hvprereqhandler.exe"), tool / "hvprereqhandler.exe")

    # ---- The shipped 32-bit program ----------------------------------------

    def check_shipped_tool(self, tool32, objdump):
        """The i686 build is what ships: a 32-bit console program that needs
        no DLL outside Windows and carries its manifest as resource 1."""
        problems = []
        try:
            machine, magic, subsystem, manifest = pe_facts(tool32)
        except (OSError, ValueError) as e:
            self.results.record("pe.ShippedToolIs32BitWithManifest", [f"{tool32}: {e}"])
            return
        if (machine, magic) != (0x14C, 0x10B):
            problems.append(f"machine {machine:#x}, magic {magic:#x}: not a PE32 i386 program")
        if subsystem != 3:
            problems.append(f"subsystem {subsystem}, not the console")
        text = (manifest or b"").decode("utf-8", "replace")
        if manifest is None:
            problems.append("no RT_MANIFEST resource with ID 1")
        elif not re.search(r'<requestedExecutionLevel\s+level="requireAdministrator"\s+'
                           r'uiAccess="false"\s*/>', text):
            problems.append(f"the manifest does not require administrator rights: {text!r}")
        imports = subprocess.run([objdump, "-p", str(tool32)], capture_output=True, text=True)
        dlls = sorted(set(re.findall(r"DLL Name: (\S+)", imports.stdout)))
        system = {"kernel32.dll", "advapi32.dll", "msvcrt.dll", "shlwapi.dll", "user32.dll"}
        if imports.returncode != 0 or not dlls:
            problems.append(f"{objdump} -p failed: {imports.stderr.strip()}")
        elif any(dll.lower() not in system for dll in dlls):
            problems.append(f"imports DLLs that Windows does not have: {dlls}")
        self.results.record("pe.ShippedToolIs32BitWithManifest", problems)

    # ---- Contract tests --------------------------------------------------

    def run_contract_tests(self):
        test = self.exe("tests/platform/platform_contract_test.exe")
        helper = self.exe("tests/platform/hvcontracthelper.exe")
        folder = self.root / "contract"
        folder.mkdir()
        shutil.copy(test, folder / test.name)
        shutil.copy(helper, folder / helper.name)
        self.wine.reg_import(CONTRACT_REG.read_text(encoding="utf-8"), self.work / "contract.reg")
        code, out, err = self.wine.run(
            str(folder / test.name), [],
            extra_env={"HV_CONTRACT_HELPER": self.wine.win_path(folder / helper.name)},
            timeout=600)
        text = out.decode("utf-8", "replace").replace("\r\n", "\n")
        (self.work / "contract-test.log").write_text(text + err.decode("utf-8", "replace"))
        passed = re.findall(r"^\[       OK \] (\S+)", text, re.M)
        failed = re.findall(r"^\[  FAILED  \] (\S+) \(", text, re.M)
        for name in passed:
            self.results.record("contract." + name, [])
        for name in failed:
            block = re.search(r"^\[ RUN      \] " + re.escape(name) + r"\n(.*?)^\[  FAILED  \]",
                              text, re.M | re.S)
            detail = block.group(1).strip().splitlines()[:12] if block else []
            detail = detail or ["failed; see " + str(self.work / "contract-test.log")]
            self.results.record("contract." + name, detail)
        finished = re.search(r"^\[==========\] \d+ tests? from .* ran\.", text, re.M)
        if code is None or not finished or (code != 0) != bool(failed):
            self.results.record("contract.run", [
                f"the contract test program ended with {code} without a complete report; "
                f"see {self.work / 'contract-test.log'}"])

    # ---- Scenarios -------------------------------------------------------

    def new_scenario(self, name):
        self.counter += 1
        folder = self.root / "s" / f"{self.counter:02d}-{name}"
        (folder / "agent").mkdir(parents=True)
        (folder / "wrong-view").mkdir()
        return folder

    def render(self, fixture, folder, extra=""):
        text = (E2E_FIXTURES / fixture).read_text(encoding="utf-8")
        placeholders = {
            "@AGENT_DIR@": self.wine.win_path(folder / "agent") + "\\",
            "@BIN_DIR@": self.wine.win_path(self.bin) + "\\",
            "@SCENARIO_DIR@": self.wine.win_path(folder) + "\\",
            "@WRONG_VIEW_DIR@": self.wine.win_path(folder / "wrong-view") + "\\",
        }
        for key, value in placeholders.items():
            text = text.replace(key, reg_escape(value))
        # Every scenario starts from the same machine: the agent keys and the
        # uninstall keys of both views are replaced as a whole.
        reset = "\n".join("[-HKEY_LOCAL_MACHINE\\" + key + "]" for key in (
            "SOFTWARE\\Velnor", "SOFTWARE\\WOW6432Node\\Velnor", UNINSTALL_KEY.rstrip("\\"),
            "SOFTWARE\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall"))
        header, _, body = text.partition("\n")
        self.wine.reg_import(f"{header}\n\n{reset}\n{body}\n{extra}", folder / "machine.reg")

    def expand(self, text):
        return text.replace("@BIN_DIR@", self.wine.win_path(self.bin) + "\\")

    def run_tool(self, folder, args, tool=None):
        tool = tool or self.bin / "hvprereqhandler.exe"
        return self.wine.run(str(tool), args, extra_env={"HV_FAKE_STATE_DIR":
                                                         self.wine.win_path(folder)})

    @staticmethod
    def commands(folder):
        path = folder / "commands"
        if not path.exists():
            return []
        records = []
        for line in path.read_text(encoding="utf-8", errors="replace").splitlines():
            command, _, workdir = line.partition("\t")
            records.append((command, workdir))
        return records

    @staticmethod
    def log_file(folder):
        return folder / "agent" / "logs" / "hvprereqhandler.log"

    def sound_run(self, folder, code, out, err, expected_out=b""):
        """Problems that every run must be free of, as a list of texts."""
        problems = []
        if code is None:
            problems.append(f"the tool did not end within {TOOL_TIMEOUT} s")
        if out != expected_out:
            problems.append(f"standard output {out!r}, expected {expected_out!r}")
        if err.strip():
            problems.append(f"standard error {err[:300]!r}")
        for command, workdir in self.commands(folder):
            if workdir.lower() != SYSTEM_DIR.lower():
                problems.append(f"{command!r} ran in {workdir!r}, not in {SYSTEM_DIR}")
        if (folder / "wrong-view" / "logs").exists():
            problems.append("the agent settings were read from the 64-bit view")
        log = self.log_file(folder)
        if log.is_file():
            raw = log.read_bytes()
            if re.search(rb"(?<!\r)\n", raw):
                problems.append("the log has a line end without carriage return")
            _, entries = parse_log(raw)
            if not entries:
                problems.append("empty log")
            else:
                if not BANNER.fullmatch(entries[0]):
                    problems.append(f"first log entry {entries[0]!r}")
                if not BANNER.fullmatch(entries[-1]):
                    problems.append(f"last log entry {entries[-1]!r}")
                for entry in entries:
                    if not entry.startswith(("[INFO] ", "[ERROR] ", "[DEBUG] ", "[TRACE] ")):
                        problems.append(f"untagged log entry {entry!r}")
        return problems

    def log_checks(self, folder, case):
        problems = []
        log = self.log_file(folder)
        if not log.is_file():
            return [f"no log at {log}"]
        _, entries = parse_log(log.read_bytes())
        for entry in case.get("has", []):
            if entry not in entries:
                problems.append(f"log lacks {entry!r}")
        for text in case.get("lacks", []):
            hits = [e for e in entries if text in e]
            if hits:
                problems.append(f"log mentions {text!r}: {hits[0]!r}")
        for entry, count in case.get("counts", []):
            actual = entries.count(entry)
            if actual != count:
                problems.append(f"log has {entry!r} {actual} times, expected {count}")
        return problems

    def set_exit_codes(self, folder, codes):
        if codes:
            (folder / "exit-codes").write_text(
                "".join(f"{code} {key}\n" for key, code in codes.items()))

    def run_cases(self):
        for case in RUN_CASES:
            folder = self.new_scenario(case["name"])
            self.render("catalogue.reg", folder, case.get("registry", ""))
            self.set_exit_codes(folder, case.get("codes", {}))
            code, out, err = self.run_tool(folder, case["args"])
            problems = self.sound_run(folder, code, out, err)
            if code != case["exit"]:
                problems.append(f"exit code {code}, expected {case['exit']}")
            ran = [command for command, _ in self.commands(folder)]
            expected = [self.expand(c) for c in case.get("commands", [])]
            if ran != expected:
                problems.append(f"commands {ran!r}, expected {expected!r}")
            problems += self.log_checks(folder, case)
            self.results.record("scenario." + case["name"], problems)

    def start_products(self, folder, names):
        started = []
        for i, name in enumerate(names):
            marker = folder / f"started-{i}"
            process = self.wine.start(str(self.bin / name), [self.wine.win_path(marker), "120"])
            started.append((name, process, marker))
        deadline = time.monotonic() + 60
        for name, process, marker in started:
            while not marker.exists() and process.poll() is None and time.monotonic() < deadline:
                time.sleep(0.05)
            if not marker.exists():
                raise SuiteError(f"{name} did not start under Wine")
        return started

    @staticmethod
    def stop_products(started):
        for _, process, _ in started:
            if process.poll() is None:
                os.killpg(process.pid, signal.SIGKILL)
            process.wait()

    @staticmethod
    def logged_uptime(folder):
        log = Suite.log_file(folder)
        if not log.is_file():
            return None
        _, entries = parse_log(log.read_bytes())
        for entry in entries:
            m = re.fullmatch(r"\[INFO\] The tick count is (-?\d+)\n", entry)
            if m:
                return int(m.group(1)) & 0xFFFFFFFF
        return None

    def process_cases(self):
        for case in PROCESS_CASES:
            folder = self.new_scenario(case["name"])
            self.render("catalogue.reg", folder, case.get("registry", ""))
            started = self.start_products(folder, case["running"])
            try:
                code, out, err = self.run_tool(folder,
                                               ["-dis", "Contoso Widget", "-p", case["p"]])
                # A terminated process's Unix side may take a moment to go.
                for _, process, _ in started:
                    try:
                        process.wait(timeout=10 if not case.get("survive", True) else 0.5)
                    except subprocess.TimeoutExpired:
                        pass
                alive = [process.poll() is None for _, process, _ in started]
            finally:
                self.stop_products(started)
            problems = self.sound_run(folder, code, out, err)
            expected = dict(case)
            if case.get("uptime"):
                uptime = self.logged_uptime(folder)
                if uptime is None:
                    problems.append("the log does not show the tick count")
                    uptime = 0
                after_startup = uptime > 900000
                print(f"     (uptime logged by the tool: {uptime} ms, "
                      f"{'after' if after_startup else 'within'} the start-up window)")
                expected.update(
                    exit=32 if after_startup else 0,
                    survive=after_startup or case["p"] != case["running"][0],
                    has=[info(f"The final tick count is {uptime - (1 << 32) if uptime >= 1 << 31 else uptime}"),
                         NOT_STARTUP if after_startup else STARTUP] +
                    ([ALREADY_RUNNING] if after_startup else [KILLED_DONE, EXECUTED]),
                    lacks=(["Reading 32-bit keys", "killed", "Killed"] if after_startup else
                           ["already being run"]))
            if code != expected["exit"]:
                problems.append(f"exit code {code}, expected {expected['exit']}")
            ran = [command for command, _ in self.commands(folder)]
            wanted = [] if expected["exit"] == 32 else ["ContosoUninstall.exe /S"]
            if ran != wanted:
                problems.append(f"commands {ran!r}, expected {wanted!r}")
            for (name, _, _), is_alive in zip(started, alive):
                if is_alive != expected["survive"]:
                    problems.append(f"{name} {'still runs' if is_alive else 'was stopped'}")
            problems += self.log_checks(folder, expected)
            self.results.record("process." + case["name"], problems)

    def help_cases(self):
        for name, args in HELP_CASES:
            folder = self.new_scenario("Help" + name)
            self.render("catalogue.reg", folder)
            started = self.start_products(folder, ["MyProduct.exe"])
            try:
                code, out, err = self.run_tool(folder, args)
                alive = started[0][1].poll() is None
            finally:
                self.stop_products(started)
            problems = self.sound_run(folder, code, out, err, HELP_TEXT.encode())
            if code != 1:
                problems.append(f"exit code {code}, expected 1")
            if self.commands(folder):
                problems.append(f"commands ran: {self.commands(folder)!r}")
            if not alive:
                problems.append("the running product was stopped")
            problems += self.log_checks(folder, dict(
                lacks=["CheckIfAlreadyRunningAndKillOnStartup", "Reading 32-bit keys"]))
            self.results.record("help." + name, problems)

    def rotation_cases(self):
        for case in ROTATION_CASES:
            folder = self.new_scenario("Rotation" + case["name"])
            self.render("catalogue.reg", folder)
            logs = folder / "agent" / "logs"
            logs.mkdir()
            old = bytearray(b"o" * case["size"])
            for i in range(99, len(old), 100):
                old[i] = ord("\n")
            old = bytes(old)
            self.log_file(folder).write_bytes(old)
            for k, text in enumerate(case["before"], 1):
                (logs / f"hvprereqhandler{k}.log").write_bytes(text.encode())
            code, out, err = self.run_tool(folder, ["-dis", "Contoso Widget"])
            problems = []
            if code != 0:
                problems.append(f"exit code {code}, expected 0")
            if [c for c, _ in self.commands(folder)] != ["ContosoUninstall.exe /S"]:
                problems.append(f"commands {self.commands(folder)!r}")
            rotated = bool(case["after"]) and case["after"][0] == OLD_LIVE
            preamble, entries = parse_log(self.log_file(folder).read_bytes())
            if preamble != (b"" if rotated else old):
                problems.append(f"live log starts with {len(preamble)} bytes of older content")
            if entries.count(info("Given Display Name : Contoso Widget")) != 1:
                problems.append("live log lacks this run's lines")
            for k, want in enumerate(case["after"], 1):
                path = logs / f"hvprereqhandler{k}.log"
                have = path.read_bytes() if path.exists() else None
                if have != (old if want == OLD_LIVE else want.encode()):
                    problems.append(f"{path.name} holds {len(have or b'')} bytes, not {want!r}")
            if (logs / f"hvprereqhandler{len(case['after']) + 1}.log").exists():
                problems.append(f"hvprereqhandler{len(case['after']) + 1}.log exists")
            self.results.record("rotation." + case["name"], problems)

    def no_install_dir_case(self):
        folder = self.new_scenario("MissingInstallDir")
        self.render("no-install-dir.reg", folder)
        code, out, err = self.run_tool(folder, ["-dis", "Contoso Widget"])
        problems = self.sound_run(folder, code, out, err)
        if code != 0:
            problems.append(f"exit code {code}, expected 0")
        hcode, hout, herr = self.run_tool(folder, ["/?"])
        problems += self.sound_run(folder, hcode, hout, herr, HELP_TEXT.encode())
        if hcode != 1:
            problems.append(f"help exit code {hcode}, expected 1")
        strays = [p for p in folder.rglob("*") if p.name == "logs" or p.suffix == ".log"]
        strays += [p for p in (self.wine.drive_c / "windows" / "system32").glob("*.log")]
        if strays:
            problems.append(f"log files appeared: {strays!r}")
        self.results.record("log.MissingInstallDirMeansNoLog", problems)

    def removed_product_gone_case(self):
        folder = self.new_scenario("RemovedProductGoneForNextRun")
        self.render("catalogue.reg", folder)
        first = self.run_tool(folder, ["-dis", "Tailspin Studio"])
        second = self.run_tool(folder, ["-dis", "Tailspin Studio"])
        problems = self.sound_run(folder, *first) + self.sound_run(folder, *second)
        if (first[0], second[0]) != (0, 1):
            problems.append(f"exit codes {first[0]}, {second[0]}; expected 0, 1")
        ran = [c for c, _ in self.commands(folder)]
        if ran != ["MsiExec.exe /x" + TAILSPIN + " /qn /norestart"]:
            problems.append(f"commands {ran!r}")
        problems += self.log_checks(folder, dict(counts=[
            (subkey_line(TAILSPIN), 2), (info("Found Tailspin Studio"), 1),
            (info("Given Display Name : Tailspin Studio"), 2)]))
        self.results.record("scenario.RemovedProductGoneForNextRun", problems)

    # ---- The real Windows Installer -----------------------------------------

    def msi_round_trip(self):
        problems = []
        folder = self.new_scenario("WindowsInstaller")
        self.render("catalogue.reg", folder)
        package = self.work / "msi"
        package.mkdir()
        for name in ("halvane-test-product.wxs", "payload.txt"):
            shutil.copy(WINDOWS_FIXTURES / name, package / name)
        built = subprocess.run(["wixl", "-a", "x64", "-o", "product.msi",
                                "halvane-test-product.wxs"], cwd=package, capture_output=True)
        if built.returncode != 0 or not (package / "product.msi").exists():
            raise SuiteError(f"wixl failed: {built.stderr.decode(errors='replace')}")
        msi = self.root / "product.msi"
        shutil.copy(package / "product.msi", msi)

        code, out, err = self.wine.run("msiexec", ["/i", self.wine.win_path(msi), "/qn"])
        installed = self.wine.drive_c / MSI_FILE
        if code != 0 or not installed.is_file():
            raise SuiteError(f"msiexec /i ended with {code}; {installed} "
                             f"{'exists' if installed.exists() else 'is missing'}")
        key = "HKLM\\" + UNINSTALL_KEY + MSI_CODE
        code64, text64 = self.wine.reg_query(key, "64")
        code32, _ = self.wine.reg_query(key, "32")
        if code64 != 0 or MSI_PRODUCT not in text64:
            problems.append(f"no uninstall entry in the 64-bit view after the install: {text64!r}")
        if "MsiExec.exe /I" + MSI_CODE not in text64:
            problems.append(f"unexpected UninstallString: {text64!r}")
        if code32 == 0:
            # Only a copy in the 32-bit view would make the first pass remove
            # it; the round trip is about the second pass.
            self.wine.run("reg", ["delete", key, "/f", "/reg:32"])
            print("     (the 32-bit view also had the entry; removed before the run)")

        tool = self.root / "tool" / "hvprereqhandler.exe"
        first = self.run_tool(folder, ["-dis", MSI_PRODUCT], tool=tool)
        problems += self.sound_run(folder, *first)
        if first[0] != 0:
            problems.append(f"first run exit code {first[0]}, expected 0")
        code64, text64 = self.wine.reg_query(key, "64")
        if code64 == 0:
            problems.append(f"the uninstall entry is still there: {text64!r}")
        if installed.exists():
            problems.append(f"{installed} is still installed")
        second = self.run_tool(folder, ["-dis", MSI_PRODUCT], tool=tool)
        problems += self.sound_run(folder, *second)
        if second[0] != 1:
            problems.append(f"second run exit code {second[0]}, expected 1")
        command = "MsiExec.exe /x" + MSI_CODE + " /qn /norestart"
        problems += self.log_checks(folder, dict(
            has=[info("UninstallString: MsiExec.exe /I" + MSI_CODE),
                 info(f"execute : Process successfully created for application {command} "),
                 info("execute : Exit code for the application : 0 "), EXECUTED],
            lacks=["Waiting for the process", "Uninstallation failed"],
            counts=[(info("Found " + MSI_PRODUCT), 1), (info("Given Display Name : " +
                                                             MSI_PRODUCT), 2)]))
        self.results.record("msi.RealWindowsInstallerRoundTrip", problems)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", required=True, help="the Windows build folder to test")
    parser.add_argument("--wine-loader", default="/usr/lib/wine/wine64")
    parser.add_argument("--wineserver", default="/usr/lib/wine/wineserver64")
    parser.add_argument("--pe32", help="the shipped 32-bit hvprereqhandler.exe to inspect")
    parser.add_argument("--objdump", default="i686-w64-mingw32-objdump")
    parser.add_argument("--keep", action="store_true", help="keep the prefix for inspection")
    parser.add_argument("--only", default="", help="run only groups whose name contains this")
    options = parser.parse_args()

    work = Path(tempfile.mkdtemp(prefix="hv-wine-suite-"))
    wine = Wine(work / "prefix", options.wine_loader, options.wineserver)
    suite = Suite(wine, options.build, work)
    print(f"wine-suite: build {options.build}, prefix {wine.prefix}")
    sys.stdout.flush()
    fatal = None
    if options.pe32 and options.only in "pe":
        suite.check_shipped_tool(options.pe32, options.objdump)
    try:
        wine.boot(work / "wineboot.log")
        suite.install_programs()
        groups = [("contract", suite.run_contract_tests), ("scenario", suite.run_cases),
                  ("process", suite.process_cases), ("help", suite.help_cases),
                  ("rotation", suite.rotation_cases), ("log", suite.no_install_dir_case),
                  ("gone", suite.removed_product_gone_case), ("msi", suite.msi_round_trip)]
        for name, group in groups:
            if options.only in name:
                group()
    except SuiteError as e:
        fatal = str(e)
    except Exception as e:  # a fault of the suite itself still ends in a verdict
        import traceback
        traceback.print_exc(file=sys.stdout)
        fatal = f"{type(e).__name__}: {e}"
    finally:
        wine.shutdown()
        if not options.keep:
            shutil.rmtree(work, ignore_errors=True)
        else:
            print(f"wine-suite: kept {work}")

    results = suite.results
    if fatal:
        print(f"wine-suite: FATAL: {fatal}")
        results.failed += 1
    if results.failures:
        print("wine-suite: failed: " + ", ".join(results.failures))
    print(f"{results.passed} passed, {results.failed} failed")
    return 0 if results.failed == 0 and results.passed > 0 else 1


if __name__ == "__main__":
    sys.exit(main())
