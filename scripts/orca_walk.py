#!/usr/bin/env python3
"""Walks the running Quillon window from the keyboard with GNOME's screen reader Orca listening,
and writes down what Orca says after each key.

Run by `scripts/accessibility-check --orca` inside the check's private session (its own X
display, session bus, accessibility bus and stand-in backend). This script starts a
speech-dispatcher that speaks through its silent "dummy" module, then Orca with preferences of
its own, waits until Orca says it is on, then starts the app, brings its window to the front and
presses keys with xdotool (real key events, as a user's keyboard sends them). What Orca says is
read from its debug log ("SPEECH OUTPUT" lines, written as Orca hands the text to speech), and
where the focus is from the same log (Orca's "locus of focus"). After each key the walk waits
until Orca has seen the key and gone quiet, so no step depends on a fixed pause.

The transcript (Markdown) opens with the checks the screen reader must pass, each PASS or FAIL
(printed too; the exit status is 1 when one fails), then lists each key with what Orca said and
where the focus went.
"""
import argparse
import ctypes
import datetime
import os
import re
import shutil
import signal
import subprocess
import sys
import time
import unicodedata

# What the stand-in backend answers a post with in this walk (accessibility-check passes it on).
POST_FAILURE = "LinkedIn is down right now."
DRAFT_SAVED = "Draft saved"
FEEDBACK_EMPTY = "Feedback message is empty."
FEEDBACK_SENT = "Sent. Confirmation was emailed to you."
BOLD_LINE = "Keyboard first"
PLAIN_LINE = "Names for every control"
FEEDBACK_BUTTON = "[push button | Send feedback]"

RECORD = re.compile(r"^(\d\d:\d\d:\d\d\.\d{6}) - (.*)$")
SPEECH = re.compile(r"^SPEECH OUTPUT: '(.*?)'(?: voice=\w+)? ?(\{.*\})?$", re.S)
FOCUS = re.compile(r"^ORCA: Changing locusOfFocus from (\[[^\]]*\]|None) to (.*)\. Notify: \w+$",
                   re.S)
FOCUSED = re.compile(r"^OBJECT EVENT: (object:state-changed:focused|focus:) ")
# Orca's record of a focus event lists the object's description: the floating button's is its
# tooltip. Outside Settings and the sheet it is the only "Send feedback" button anyway.
FLOATING_DESCRIPTION = "description='Send feedback'"
KEY = re.compile(r"^vvvvv PROCESS (?:ATSPI_)?KEY_(PRESSED|RELEASED)_EVENT: '([^']*)'")


class WalkError(Exception):
    pass


# Orca names its process "orca", and on a start with --replace kills every process of that name
# its user has, as its single-instance check finds them, across sessions. So this session's
# Orca runs under a name of its own: it neither blocks nor is killed by the user's own Orca (or
# another check's), each on its own accessibility bus.
ORCA_LAUNCHER = """
import sys
path = sys.argv[1]
scope = {"__name__": "quillon_orca", "__file__": path}
with open(path) as source:
    exec(compile(source.read(), path, "exec"), scope)
named = scope["setProcessName"]
scope["setProcessName"] = lambda name: named("quillon-orca")
sys.argv = sys.argv[1:]
sys.exit(scope["main"]())
"""


def die_with_parent():
    """Run in each child before exec: it is killed when this script dies, however it dies."""
    libc = ctypes.CDLL(None, use_errno=True)
    libc.prctl(1, signal.SIGKILL)  # PR_SET_PDEATHSIG


class OrcaLog:
    """Orca's debug log read as it grows, as records (a timestamped line and its continuations)."""

    def __init__(self, path):
        self.path = path
        self.offset = 0
        self.pending = b""
        self.records = []

    def read(self):
        try:
            with open(self.path, "rb") as log:
                log.seek(self.offset)
                chunk = log.read()
                self.offset = log.tell()
        except FileNotFoundError:
            return 0
        lines = (self.pending + chunk).split(b"\n")
        # An unfinished last line (Orca may be writing it, a styled letter's bytes split) waits
        # for the rest.
        self.pending = lines.pop()
        added = 0
        for line in (raw.decode("utf-8", errors="replace") for raw in lines):
            match = RECORD.match(line)
            if match:
                self.records.append([match.group(2)])
                added += 1
            elif line.startswith("vvvvv PROCESS"):
                self.records.append([line])
                added += 1
            elif line.startswith(" " * 18) and self.records:
                # Orca indents the further lines of a record by its timestamp's width.
                self.records[-1].append(line[18:])
            elif line:
                self.records.append([line])
                added += 1
        return added

    def since(self, mark):
        return ["\n".join(record) for record in self.records[mark:]]


class Step:
    def __init__(self, walk, key, note=""):
        self.part = walk.part
        self.section = walk.section  # the section shown when the key was pressed
        self.sheet = walk.sheet  # the feedback sheet was open
        self.key = key
        self.note = note
        self.speech = []
        self.focus = []  # each new locus of focus, in order
        self.floating_button = False  # the focus fell on the floating "Send feedback" button
        self.entered_sidebar = False
        self.seen_key = False

    def add_note(self, note):
        self.note = " ".join(filter(None, [self.note, note]))


class Walk:
    def __init__(self, log, backend_log, quiet, timeout):
        self.log = log
        self.backend_log = backend_log
        self.quiet = quiet
        self.timeout = timeout
        self.steps = []
        self.part = ""
        self.focus = "None"
        self.window = None
        self.section = "Editor"
        self.sheet = False
        self.orca = None  # its process, watched while waiting

    # Reading Orca.
    def settle(self, step, mark, until=None, timeout=None, needs_key=True):
        """Waits until Orca has seen the key (if one was sent), `until` holds (if given) and no
        new record has come for `quiet` seconds; then takes what was said and focused."""
        deadline = time.monotonic() + (timeout or self.timeout)
        last = time.monotonic()
        while True:
            if self.orca is not None and self.orca.poll() is not None:
                code = self.orca.returncode
                raise WalkError("Orca ended during the walk (" + (
                    f"killed by signal {-code}" if code < 0 else f"exit status {code}") + ")")
            if self.log.read():
                last = time.monotonic()
            records = self.log.since(mark)
            seen = not needs_key or any(KEY.match(r) for r in records)
            done = until is None or until(records)
            now = time.monotonic()
            if seen and done and now - last >= self.quiet:
                break
            if now >= deadline:
                if not done and until is not None:
                    step.add_note(f"(waited {timeout or self.timeout:.0f} s for the outcome)")
                break
            time.sleep(0.05)
        focused = ""
        for record in self.log.since(mark):
            if KEY.match(record):
                step.seen_key = True
            if FOCUSED.match(record):
                focused = record
            speech = SPEECH.match(record)
            if speech:
                step.speech.append(speech.group(1))
            focus = FOCUS.match(record)
            if focus:
                if re.search(SIDEBAR, focus.group(2)) and not re.search(SIDEBAR, self.focus):
                    step.entered_sidebar = True
                step.focus.append(focus.group(2))
                self.focus = focus.group(2)
                if focus.group(2) == FEEDBACK_BUTTON and not step.sheet and (
                        step.section != "Settings" or FLOATING_DESCRIPTION in focused):
                    step.floating_button = True
        if needs_key and not step.seen_key:
            step.add_note("(Orca did not see this key)")
        self.steps.append(step)
        return step

    def mark(self):
        self.log.read()
        return len(self.log.records)

    def answers(self, path):
        """The stand-in backend's answers to `path` so far (it prints each request)."""
        try:
            with open(self.backend_log, encoding="utf-8", errors="replace") as log:
                return [line.split(": ", 1)[-1].strip() for line in log if f" {path} -> " in line]
        except FileNotFoundError:
            return []

    def outcome(self, text, path=None, grace=3.0):
        """A step's end: `text` said, or `grace` seconds gone with nothing said since the backend
        answered `path` (or since the key, without one)."""
        before = len(self.answers(path)) if path else 0
        answered = [None if path else time.monotonic()]

        def until(records):
            if spoke(text)(records):
                return True
            if answered[0] is None and len(self.answers(path)) > before:
                answered[0] = time.monotonic()
            return answered[0] is not None and time.monotonic() - answered[0] >= grace

        def note():
            """What the backend answered meanwhile, for the transcript."""
            return "; ".join(self.answers(path)[before:]) if path else ""
        until.note = note
        return until

    # Keys.
    def xdotool(self, *args):
        subprocess.run(["xdotool", *args], check=True)

    def activate(self, timeout=10):
        """Brings the app's window to the front, as a click on it would; the window manager may
        not answer at once after its start."""
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            active = subprocess.run(["xdotool", "getactivewindow"], capture_output=True,
                                    text=True).stdout.strip()
            if active == self.window:
                return
            subprocess.run(["xdotool", "windowactivate", self.window], capture_output=True)
            time.sleep(0.2)
        raise WalkError(f"the window manager did not bring the app's window to the front in "
                        f"{timeout} s")

    def press(self, keys, label=None, until=None, timeout=None, note=""):
        """Presses one key (or chord) as a user would: a real key event to the focused window."""
        mark = self.mark()
        step = Step(self, label or keys, note)
        self.xdotool("key", "--clearmodifiers", keys)
        self.settle(step, mark, until, timeout)
        if until is not None and getattr(until, "note", None) and until.note():
            step.add_note(f"(the backend: {until.note()})")
        return step

    def type(self, text):
        mark = self.mark()
        step = Step(self, f"type {text!r}")
        self.xdotool("type", "--delay", "40", text)
        return self.settle(step, mark)

    def press_until(self, keys, target, limit=12):
        """Presses `keys` until Orca's focus matches `target` (a pattern)."""
        if re.search(target, self.focus):
            return
        for _ in range(limit):
            self.press(keys)
            if re.search(target, self.focus):
                return
        raise WalkError(f"{keys} did not reach {target!r} in {limit} presses "
                        f"(the focus is {self.focus})")

    def event(self, label, action, until=None, timeout=None, mark=None):
        """Something other than a key (the window coming up), with what Orca said about it since
        `mark` (or from now)."""
        mark = self.mark() if mark is None else mark
        step = Step(self, label)
        action()
        return self.settle(step, mark, until, timeout, needs_key=False)


def spoke(text):
    return lambda records: any((m := SPEECH.match(r)) and text in m.group(1) for r in records)


SIDEBAR = r"^\[list \| Sections\]$|^\[list item \| (Editor|Drafts|Insights|Settings)\]$"


def road(walk, started):
    """The keyboard road through the app: each part names what it shows. `started` marks Orca's
    log where the app was started: the window manager may have activated the window already."""
    walk.part = "The window"
    walk.event("(the app starts, its window comes to the front)", walk.activate,
               until=lambda rs: any(FOCUS.match(r) for r in rs), mark=started)

    def choose(key, section):
        walk.press(key, f"{key} ({section})")
        walk.section = section

    def to_sidebar():
        walk.press_until("shift+Tab", SIDEBAR, limit=25)

    walk.part = "The sidebar"
    to_sidebar()
    for key, section in (("Up", "Drafts"), ("Up", "Insights"), ("Down", "Drafts"),
                         ("Down", "Editor"), ("Down", "Settings"), ("Up", "Editor")):
        choose(key, section)

    walk.part = "The toolbar"
    walk.press_until("Tab", r"Bold")
    walk.press("Tab")
    walk.press("Tab")

    walk.part = "Typing and Bold"
    walk.press_until("Tab", r"Post text")
    # The editor starts with a text of its own; typing replaces it once it is selected.
    walk.press("ctrl+a", "Ctrl+A (select all)")
    walk.type(BOLD_LINE)
    walk.press("shift+Home", "Shift+Home (select the line)")
    walk.press("ctrl+b", "Ctrl+B (Bold)")
    walk.press("End")
    walk.press("Return")
    walk.type(PLAIN_LINE)
    walk.press("Up", "Up (read the bold line)")
    walk.press("Down", "Down (read the plain line)")
    walk.press("Up", "Up (read the bold line again)")

    walk.part = "Save draft"
    walk.press_until("Tab", r"Save draft")
    walk.press("space", "Space (Save draft)", until=walk.outcome(DRAFT_SAVED))

    walk.part = "Drafts and a delete"
    to_sidebar()
    choose("Up", "Drafts")
    walk.press_until("Tab", r"Delete draft")
    walk.press("space", "Space (delete the draft)")

    walk.part = "Post with a failing backend"
    to_sidebar()
    choose("Down", "Editor")
    walk.press_until("Tab", r"Post text")
    walk.press("ctrl+a", "Ctrl+A (select all)")
    walk.type("Posting from the keyboard")
    walk.press_until("Tab", r"Post to LinkedIn")

    walk.press("space", "Space (Post to LinkedIn)",
                until=walk.outcome(POST_FAILURE, "/api/linkedin/post"), timeout=15)

    walk.part = "Settings"
    to_sidebar()
    choose("Down", "Settings")
    walk.press_until("Tab", r"Community")
    walk.press_until("Tab", r"Send feedback")

    walk.part = "The feedback form"
    walk.sheet = True
    walk.press("space", "Space (open the form)")
    walk.press_until("Tab", r"\[push button \| Send feedback\]")
    walk.press("space", "Space (send it empty)", until=walk.outcome(FEEDBACK_EMPTY))
    walk.press_until("Tab", r"Title")
    walk.type("Preview")
    walk.press_until("Tab", r"Message")
    walk.type("The preview cuts my last line.")
    walk.press_until("Tab", r"\[push button \| Send feedback\]")
    walk.press("space", "Space (send it)", until=walk.outcome(FEEDBACK_SENT, "/api/feedback"),
               timeout=15)
    walk.sheet = False
    walk.press("Escape", "Escape (close the form)")


def checks(walk):
    """The screen reader's checks, each (name, passed, why)."""
    results = []
    said = [u for s in walk.steps for u in s.speech]

    def first(step_filter, text):
        return next((s for s in walk.steps if step_filter(s) and any(text in u for u in s.speech)),
                    None)

    window = next((u for u in said if re.search(r"\bQuillon\b.*\bframe\b", u)), None)
    results.append(("the window is named \"Quillon\"", window is not None,
                    f"said {window!r}" if window else "no \"Quillon ... frame\" was said; the "
                    "window reads as " + repr(next((u for u in said if "frame" in u), "nothing"))))

    entering = [s for s in walk.steps if s.entered_sidebar]
    unnamed = [s for s in entering if not any(s.section in u for u in s.speech)]
    results.append(("the sidebar names the current section", bool(entering) and not unnamed,
                    "the walk never reached the sidebar" if not entering else
                    f"on entering it with {unnamed[0].key} in {unnamed[0].section} Orca said "
                    f"{unnamed[0].speech!r}" if unnamed else
                    f"named on each of {len(entering)} entries"))

    saved = first(lambda s: s.part == "Save draft", DRAFT_SAVED)
    results.append(("the draft status is spoken (\"Draft saved\")", saved is not None,
                    "said after " + saved.key if saved else "\"Draft saved\" was never said"))

    post = first(lambda s: s.part.startswith("Post"), POST_FAILURE)
    results.append(("the post outcome is spoken", post is not None,
                    f"said {POST_FAILURE!r}" if post else f"{POST_FAILURE!r} was never said"))

    sent = first(lambda s: s.part == "The feedback form", FEEDBACK_SENT)
    empty = first(lambda s: s.part == "The feedback form", FEEDBACK_EMPTY)
    results.append(("the feedback result is spoken", sent is not None and empty is not None,
                    f"{FEEDBACK_EMPTY!r} {'said' if empty else 'never said'}; "
                    f"{FEEDBACK_SENT!r} {'said' if sent else 'never said'}"))

    reads = [s for s in walk.steps if "read the bold line" in s.key]
    whole = [u for s in reads for u in s.speech
             if unicodedata.normalize("NFKC", u).strip() == BOLD_LINE and not u.isascii()]
    results.append(("a bold line is read whole", bool(whole),
                    f"said {whole[0]!r}" if whole else "on the bold line Orca said " +
                    repr([u for s in reads for u in s.speech])))

    # Tab and Shift+Tab put it there on purpose; any other key must not.
    jumps = [s for s in walk.steps if s.floating_button
             and s.key.split(" ")[0].lower() not in ("tab", "shift+tab")]
    results.append(("no focus jump to the \"Send feedback\" button", not jumps,
                    "it took the focus after " + ", ".join(f"{s.key} ({s.part})" for s in jumps)
                    if jumps else "only Tab put the focus there"))
    return results


def cell(text):
    return text.replace("|", "\\|").replace("\n", " ")


def write_transcript(path, walk, results, error, about):
    out = ["# What Orca says: a keyboard walk through Quillon", "",
           f"Written by `scripts/accessibility-check --orca` on {datetime.date.today()} ({about}).",
           "Keys are real key events sent with xdotool to the app's window, signed in, against a",
           f"stand-in backend that refuses posts with \"{POST_FAILURE}\". \"Orca said\" lists every",
           "text Orca handed to speech after the key, in order (spoken aloud, a later one cuts an",
           "earlier one short); \"Focus\" is where Orca's focus went (role | name). Orca runs with",
           "its default settings, so it echoes keys.", "", "## Checks", ""]
    out += [f"- {'PASS' if ok else 'FAIL'}: {name}: {cell(why)}" for name, ok, why in results]
    if error:
        out += ["", f"**The walk stopped: {cell(error)}**"]
    part = None
    for number, step in enumerate(walk.steps, 1):
        if step.part != part:
            part = step.part
            out += ["", f"## {part}", "", "| # | Key | Orca said | Focus |", "|---|---|---|---|"]
        said = " · ".join(f"\"{cell(u)}\"" for u in step.speech) or "(nothing)"
        if step.note:
            said += f" {cell(step.note)}"
        focus = " → ".join(cell(f) for f in step.focus) or "(unchanged)"
        out.append(f"| {number} | {cell(step.key)} | {said} | {focus} |")
    with open(path, "w", encoding="utf-8") as transcript:
        transcript.write("\n".join(out) + "\n")


def last_words(path, lines=5):
    try:
        with open(path, encoding="utf-8", errors="replace") as said:
            tail = said.read().strip().splitlines()[-lines:]
    except FileNotFoundError:
        tail = []
    return " / ".join(tail) or "(none)"


def start_orca(work, timeout, processes):
    """speech-dispatcher with its silent module, then Orca, each added to `processes` as it
    starts; returns Orca's log."""
    speechd = os.path.join(work, "speechd")
    os.makedirs(os.path.join(speechd, "modules"), exist_ok=True)
    with open(os.path.join(speechd, "speechd.conf"), "w") as conf:
        conf.write('CommunicationMethod "unix_socket"\nLogLevel 3\nAudioOutputMethod "libao"\n'
                   'AddModule "dummy" "sd_dummy" ""\nDefaultModule dummy\n')
    # The module's sound goes to libao's null device (HOME is the check's own).
    with open(os.path.expanduser("~/.libao"), "w") as libao:
        libao.write("default_driver=null\n")
    socket = os.path.join(work, "speechd.sock")
    os.environ["SPEECHD_ADDRESS"] = f"unix_socket:{socket}"
    server = subprocess.Popen(
        ["speech-dispatcher", "--run-single", "--timeout", "0", "--config-dir", speechd,
         "--log-dir", speechd, "--socket-path", socket, "--communication-method", "unix_socket"],
        stdout=open(os.path.join(work, "speechd.out"), "w"), stderr=subprocess.STDOUT,
        preexec_fn=die_with_parent)
    server_output = os.path.join(work, "speechd.out")
    processes.append(server)
    deadline = time.monotonic() + 10
    while not os.path.exists(socket):
        if server.poll() is not None or time.monotonic() > deadline:
            raise WalkError("speech-dispatcher did not start; its last words: " +
                            last_words(server_output))
        time.sleep(0.05)

    prefs = os.path.join(work, "orca")
    os.makedirs(prefs, exist_ok=True)
    # Orca's own hook for its user: its debug log is written line by line, so it can be read
    # while Orca runs, and holds what it speaks and focuses rather than every event's detail.
    with open(os.path.join(prefs, "orca-customizations.py"), "w") as hook:
        hook.write("from orca import debug\n"
                   "if debug.debugFile:\n"
                   "    debug.debugFile.reconfigure(line_buffering=True)\n"
                   "debug.debugLevel = debug.LEVEL_INFO\n")
    log_path = os.path.join(work, "orca.log")
    output = os.path.join(work, "orca.out")
    orca = subprocess.Popen([sys.executable, "-c", ORCA_LAUNCHER, shutil.which("orca"),
                             "--user-prefs", prefs, f"--debug-file={log_path}"],
                            stdout=open(output, "w"), stderr=subprocess.STDOUT,
                            preexec_fn=die_with_parent)
    processes.append(orca)
    log = OrcaLog(log_path)
    deadline = time.monotonic() + timeout
    while True:
        log.read()
        if any("SPEECH OUTPUT: 'Screen reader on.'" in r for r in log.since(0)):
            break
        if orca.poll() is not None or time.monotonic() > deadline:
            why = "exited" if orca.poll() is not None else f"did not say it was on in {timeout} s"
            raise WalkError(f"Orca {why}; its last words: " + last_words(output))
        time.sleep(0.1)
    if any("SPEECH: Not available" in r for r in log.since(0)):
        raise WalkError("Orca started without a speech server (speech-dispatcher unreachable)")
    return log


def stop(processes):
    for process in reversed(processes):
        if process.poll() is None:
            process.terminate()
            try:
                process.wait(3)
            except subprocess.TimeoutExpired:
                process.kill()
                process.wait()


def app_window(pid, timeout):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        found = subprocess.run(["xdotool", "search", "--onlyvisible", "--pid", str(pid)],
                               capture_output=True, text=True).stdout.split()
        if found:
            return found[0]
        time.sleep(0.1)
    raise WalkError(f"the app showed no window in {timeout} s")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--work", required=True, help="a folder of this run for Orca's files")
    parser.add_argument("--app", required=True, help="the program to start")
    parser.add_argument("--app-log", required=True)
    parser.add_argument("--backend-log", required=True)
    parser.add_argument("--transcript", required=True)
    parser.add_argument("--revision", default="", help="the app's source revision, for the record")
    parser.add_argument("--orca-log", default="", help="keep a copy of Orca's debug log here")
    parser.add_argument("--quiet", type=float, default=0.8,
                        help="seconds without news from Orca that end a step")
    parser.add_argument("--timeout", type=float, default=6.0)
    args = parser.parse_args()

    for tool in ("orca", "speech-dispatcher", "xdotool"):
        if shutil.which(tool) is None:
            sys.exit(f"orca walk: {tool} is not installed (scripts/setup installs it)")
    processes = []
    walk = None
    error = None
    try:
        log = start_orca(args.work, 30, processes)
        about = "Orca " + subprocess.run(["orca", "--version"], capture_output=True,
                                         text=True).stdout.strip().split()[-1]
        if args.revision:
            about += f", the app at {args.revision}"
        walk = Walk(log, args.backend_log, args.quiet, args.timeout)
        walk.orca = processes[-1]
        started = walk.mark()
        app = subprocess.Popen([args.app], stdout=open(args.app_log, "w"),
                               stderr=subprocess.STDOUT, preexec_fn=die_with_parent)
        processes.append(app)
        walk.window = app_window(app.pid, 40)
        try:
            road(walk, started)
        except (WalkError, subprocess.CalledProcessError) as failure:
            error = str(failure)
        if app.poll() is not None:
            error = (error + "; " if error else "") + f"the app exited with {app.returncode}"
        results = checks(walk)
        write_transcript(args.transcript, walk, results, error, about)
    except WalkError as failure:
        sys.exit(f"orca walk: {failure}")
    finally:
        stop(processes)
        if args.orca_log and os.path.exists(os.path.join(args.work, "orca.log")):
            shutil.copyfile(os.path.join(args.work, "orca.log"), args.orca_log)

    for number, step in enumerate(walk.steps, 1):
        print(f"{number:3} [{step.part}] {step.key}: " + (" · ".join(step.speech) or "(nothing)")
              + (f" {step.note}" if step.note else ""))
    print()
    for name, ok, why in results:
        print(f"{'PASS' if ok else 'FAIL'}: {name}: {why}")
    print(f"\ntranscript: {args.transcript}")
    if error:
        print(f"orca walk: the walk stopped: {error}", file=sys.stderr)
        return 1
    failed = sum(1 for _, ok, _ in results if not ok)
    if failed:
        print(f"orca walk: {failed} of {len(results)} checks failed", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
