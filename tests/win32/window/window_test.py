#!/usr/bin/env python3
"""The status window and the program's entry under Wine on the virtual display.

Runs the real CVLauncher.exe, and WindowProbe.exe (the same window with scripted hooks)
for the looks that later start-up steps reach. WindowInspector.exe reads windows from
outside; screenshots of the root window are sampled at fixed points of the client area;
xdotool moves and presses the mouse. Uses DISPLAY from the environment.

    window_test.py SCENARIO --run WINE-RUNNER --bin BIN-DIR --shots SHOT-DIR
"""
import argparse
import collections
import os
import shutil
import subprocess
import sys
import tempfile
import threading
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "support"))
import cvlsource  # noqa: E402
import cvltest  # noqa: E402
from cvltest import Failure, wait_for  # noqa: E402

MAIN_CLASS = "DuzudoZavizude0.9.DNC"
CLIENT_CLASS = "VezezuRovedazez0.9.DNC"
CAPTION = "Duzudo Zavizude"
INITIAL_TEXT = cvlsource.launcher_text("kChecking")
PROMPT_TEXT = "Do you want to launch Vardune?"
FATAL_TEXT = "Server not available! Closing the launcher..."

COLOUR = cvlsource.window_colours()

# Component rectangles at 96 DPI: left, top, width, height.
LBL_MESSAGE = (16, 56, 362, 39)
IMG_LOADING = (177, 107, 32, 32)
LBL_YES = (109, 118, 21, 17)
LBL_NO = (249, 118, 17, 17)
YES_TOP_EDGE = (122, 108)   # middle of the Yes frame's top outline
NO_TOP_EDGE = (259, 108)
BARE_BACKGROUND = (150, 30)  # on the shape only: the drag surface

DEADLINE = 30.0


def check(condition, message):
    if not condition:
        raise Failure(message)


class Program:
    """A Windows program started under Wine, its output lines collected as they come."""

    def __init__(self, env, exe, *args, cwd=None):
        self.lines = []
        self.process = subprocess.Popen([env.run, exe, *args], stdout=subprocess.PIPE,
                                        stderr=subprocess.DEVNULL, stdin=subprocess.DEVNULL,
                                        cwd=cwd, text=True)
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        for line in self.process.stdout:
            self.lines.append(line.rstrip("\n"))

    def said(self, line):
        return line in self.lines

    def wait_exit(self, deadline=DEADLINE):
        try:
            return self.process.wait(timeout=deadline)
        except subprocess.TimeoutExpired:
            self.process.kill()
            raise Failure("program did not end: " + " ".join(self.process.args))

    def stop(self):
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait()


class Shot:
    """A screenshot of the root window, read as RGB pixels."""

    def __init__(self, path):
        data = subprocess.run(["convert", path, "ppm:-"], check=True, capture_output=True).stdout
        fields, pos = [], 0
        while len(fields) < 4:
            while data[pos:pos + 1].isspace():
                pos += 1
            start = pos
            while not data[pos:pos + 1].isspace():
                pos += 1
            fields.append(data[start:pos])
        self.width, self.height = int(fields[1]), int(fields[2])
        self.pixels = data[pos + 1:]

    def pixel(self, x, y):
        i = (y * self.width + x) * 3
        return tuple(self.pixels[i:i + 3])

    def histogram(self, left, top, width, height):
        return collections.Counter(self.pixel(x, y) for y in range(top, top + height)
                                   for x in range(left, left + width))


class Env:
    def __init__(self, args):
        self.run = os.path.abspath(args.run)
        self.bin = os.path.abspath(args.bin)
        self.shots = os.path.abspath(args.shots)
        os.makedirs(self.shots, exist_ok=True)
        self.launcher = os.path.join(self.bin, "CVLauncher.exe")
        self.probe_exe = os.path.join(self.bin, "WindowProbe.exe")
        self.inspector_exe = os.path.join(self.bin, "WindowInspector.exe")
        self.inspector = cvltest.Inspector([self.run], self.inspector_exe)
        self.started = []

    def start(self, exe, *args, cwd=None):
        program = Program(self, exe, *args, cwd=cwd)
        self.started.append(program)
        return program

    def probe(self, *args):
        return self.start(self.probe_exe, *args)

    def main_window(self):
        """The visible status window: its title and rectangle, or None."""
        visible = [w for w in self.inspector.windows(MAIN_CLASS) if w["visible"]]
        return visible[0] if visible else None

    def names(self):
        """Accessible names of the status window's children: id -> (visible, name)."""
        return self.inspector.children(MAIN_CLASS)

    def dialogs(self):
        """Visible dialog boxes: title -> list of (child class, text)."""
        return self.inspector.dialogs()

    def shot(self, name, window=None):
        path = os.path.join(self.shots, name + ".png")
        cvltest.screenshot(path)
        if window is not None:
            cvltest.crop(path, window["rect"], os.path.join(self.shots, name + "-window.png"))
        return Shot(path)

    def cleanup(self):
        for program in self.started:
            program.stop()


def xdotool(*args):
    subprocess.run(["xdotool", *[str(a) for a in args]], check=True)


def mouse_to(window, x, y):
    xdotool("mousemove", window["rect"][0] + x, window["rect"][1] + y)


def in_window(window, left, top, width, height):
    return (window["rect"][0] + left, window["rect"][1] + top, width, height)


def top_ink(shot, window, rect):
    """The most frequent colour in the rectangle other than the background beneath."""
    counts = shot.histogram(*in_window(window, *rect))
    counts.pop(COLOUR.Background, None)
    counts.pop(COLOUR.FrameFill, None)  # the Yes/No labels lie on their frames
    return counts.most_common(1)[0][0] if counts else None


def ink_count(shot, window, rect):
    counts = shot.histogram(*in_window(window, *rect))
    return sum(n for colour, n in counts.items() if colour != COLOUR.Background)


def at(shot, window, x, y):
    return shot.pixel(window["rect"][0] + x, window["rect"][1] + y)


def wait_window(env, text=None):
    def ready():
        window = env.main_window()
        if window is None:
            return None
        shown = env.names().get(111, (False, ""))[1]  # LblMessage
        if text is not None and shown != text:
            return None
        return window
    return wait_for(ready, "the status window" + (" showing " + repr(text) if text else ""))


def close_window(env, program):
    env.inspector.close(MAIN_CLASS)
    check(program.wait_exit() == 0, "exit code 0 after closing")


# --- scenarios ----------------------------------------------------------------------------

def scenario_looks(env):
    """The initial look (the window with no start-up work), then the prompt look."""
    program = env.probe("idle")
    window = wait_window(env, INITIAL_TEXT)
    screen_w, screen_h = (int(v) for v in subprocess.run(["xdotool", "getdisplaygeometry"], check=True,
                                                          capture_output=True, text=True).stdout.split())
    left, top, right, bottom = window["rect"]
    check(window["title"] == CAPTION, "caption " + window["title"])
    check((right - left, bottom - top) == (386, 166), "client size %dx%d" % (right - left, bottom - top))
    check((left, top) == ((screen_w - 386) // 2, (screen_h - 166) // 2), "centred, at %d,%d" % (left, top))
    names = env.names()
    check(names[111] == (True, INITIAL_TEXT), "status text %r" % (names[111],))
    for hidden in (112, 113, 101, 102, 103, 104):  # Yes, No, developer edits and buttons
        check(not names[hidden][0], "control %d hidden at start" % hidden)

    shot = env.shot("initial", window)
    for x, y in (BARE_BACKGROUND, (5, 150), (100, 108), (300, 125)):
        check(at(shot, window, x, y) == COLOUR.Background, "background at %d,%d: %s" % (x, y, at(shot, window, x, y)))
    for x, y in ((0, 0), (385, 0), (0, 165), (385, 165), (200, 0), (0, 80), (385, 80), (200, 165)):
        check(at(shot, window, x, y) == COLOUR.Outline, "outline at %d,%d: %s" % (x, y, at(shot, window, x, y)))
    check(top_ink(shot, window, LBL_MESSAGE) == COLOUR.MessageText,
          "message colour %s" % (top_ink(shot, window, LBL_MESSAGE),))
    check(ink_count(shot, window, (11, 11, 25, 12)) > 100, "logo drawn")

    # The indicator turns: its pixels change between screenshots.
    first = shot.histogram(*in_window(window, *IMG_LOADING))
    check(len(first) > 1, "loading indicator drawn")
    def indicator(picture):
        return [at(picture, window, x, y) for y in range(107, 139) for x in range(177, 209)]
    first_pixels = indicator(shot)
    wait_for(lambda: indicator(env.shot("loading")) != first_pixels, "the loading indicator to change")
    close_window(env, program)

    probe = env.probe("prompt", PROMPT_TEXT)
    window = wait_window(env, PROMPT_TEXT)
    wait_for(lambda: env.names()[112][0], "the Yes label to show")
    names = env.names()
    check(names[112] == (True, "Yes") and names[113] == (True, "No"), "Yes/No readable: %r" % (names,))
    shot = env.shot("prompt", window)
    check(at(shot, window, *YES_TOP_EDGE) == COLOUR.FrameOutline, "Yes frame outline")
    check(at(shot, window, *NO_TOP_EDGE) == COLOUR.FrameOutline, "No frame outline")
    check(at(shot, window, 70, 125) == COLOUR.FrameFill, "Yes frame fill")
    check(at(shot, window, 190, 115) == COLOUR.Background, "indicator hidden")
    check(top_ink(shot, window, LBL_MESSAGE) == COLOUR.MessageText, "prompt keeps the message colour")
    check(top_ink(shot, window, LBL_YES) == COLOUR.ButtonText, "Yes label colour")
    check(top_ink(shot, window, LBL_NO) == COLOUR.ButtonText, "No label colour")
    close_window(env, probe)


def scenario_hover(env):
    """Hover highlights frame and label together; Yes reaches its handler; No closes."""
    probe = env.probe("prompt", PROMPT_TEXT)
    window = wait_window(env, PROMPT_TEXT)
    wait_for(lambda: env.names()[112][0], "the Yes label to show")

    def yes_look():
        shot = env.shot("hover")
        return at(shot, window, *YES_TOP_EDGE), top_ink(shot, window, LBL_YES), at(shot, window, *NO_TOP_EDGE)

    hovered = (COLOUR.FrameOutlineHighlight, COLOUR.ButtonTextHighlight, COLOUR.FrameOutline)
    normal = (COLOUR.FrameOutline, COLOUR.ButtonText, COLOUR.FrameOutline)
    mouse_to(window, 70, 125)  # the frame, beside the label
    wait_for(lambda: yes_look() == hovered, "Yes frame and label highlighted")
    env.shot("hover-yes", window)
    mouse_to(window, 119, 126)  # onto the label lying on the frame: leave, then enter
    wait_for(lambda: env.inspector.call("list")[0] == 0, "a round trip")
    check(yes_look() == hovered, "still highlighted over the label")
    mouse_to(window, *BARE_BACKGROUND)
    wait_for(lambda: yes_look() == normal, "Yes frame and label restored")

    mouse_to(window, 119, 126)
    xdotool("click", 1)
    wait_for(lambda: probe.said("yes"), "the Yes click to reach its handler")
    check(env.main_window() is not None, "Yes leaves the window open")
    mouse_to(window, 259, 126)
    xdotool("click", 1)
    check(probe.wait_exit() == 0 and probe.said("closed"), "No closes the window")
    xdotool("mousemove", 0, 0)


def scenario_drag(env):
    """The left button on the background drags; the right button and the label do not."""
    xdotool("mousemove", 0, 0)
    program = env.probe("idle")
    window = wait_window(env, INITIAL_TEXT)

    def drag(button, x, y, dx, dy):
        mouse_to(window, x, y)
        xdotool("mousedown", button)
        for step in range(1, 6):
            mouse_to(window, x + dx * step // 5, y + dy * step // 5)
            time.sleep(0.05)  # pointer motion events, not a wait for a result
        xdotool("mouseup", button)

    original = window["rect"]
    drag(3, *BARE_BACKGROUND, 60, 40)
    drag(1, 100, 70, 60, 40)  # on the status label: it keeps its own mouse input
    wait_for(lambda: env.inspector.call("list")[0] == 0, "a round trip")
    check(env.main_window()["rect"] == original, "right button or label press moved the window")
    drag(1, *BARE_BACKGROUND, 60, 40)
    moved = tuple(v + d for v, d in zip(original, (60, 40, 60, 40)))
    wait_for(lambda: env.main_window()["rect"] == moved, "the window to follow the left-button drag")
    xdotool("mousemove", 0, 0)
    close_window(env, program)


def scenario_gate(env):
    """Another launcher window refuses a new copy unless it is told to auto-launch."""
    folder = tempfile.mkdtemp(prefix="cvl-gate-")
    try:
        exe = os.path.join(folder, "CVLauncher.exe")
        shutil.copy(env.launcher, exe)
        config = os.path.join(folder, "CVLauncher.cfg")
        with open(config, "wb") as f:
            f.write(b"[Options]\r\nPatchVersion=7\r\n")
        refused = [["-AUTOLAUNCH"], ["AUTOLAUNCH"], ["/AUTOLAUNCHX"], []]
        passed = [["/autolaunch"], ["x", "/AutoLaunch"]]
        for window_class in (MAIN_CLASS, CLIENT_CLASS):
            # A copy that passes runs its start-up, which may rewrite the file.
            before = (open(config, "rb").read(), os.stat(config).st_mtime_ns)
            blocker = env.start(env.inspector_exe, "block", window_class, "any title")
            wait_for(lambda: blocker.said("ready"), "the blocking window")
            for args in refused:
                started = time.monotonic()
                program = env.start(exe, *args, cwd=folder)
                check(program.wait_exit() == 0, "refused copy ends with exit code 0 (%s)" % args)
                print("refused %s beside %s in %.2f s" % (args, window_class, time.monotonic() - started))
                check(env.main_window() is None, "no window shown (%s)" % args)
                check((open(config, "rb").read(), os.stat(config).st_mtime_ns) == before,
                      "CVLauncher.cfg untouched (%s)" % args)
            for args in passed:
                program = env.start(exe, *args, cwd=folder)
                wait_window(env)
                env.inspector.close(MAIN_CLASS)  # it may also close itself once its start-up fails
                check(program.wait_exit() == 0, "exit code 0 (%s)" % args)
            env.inspector.close(window_class)  # the blocker is hidden: ask it directly
            blocker.stop()
    finally:
        shutil.rmtree(folder, ignore_errors=True)


def scenario_fatal(env):
    """Red bold fatal message, indicator gone, the window closes by itself about 5 s later."""
    probe = env.probe("status", FATAL_TEXT)
    window = wait_window(env, FATAL_TEXT)
    normal_ink = ink_count(env.shot("status"), window, LBL_MESSAGE)
    close_window(env, probe)

    probe = env.probe("fatal", FATAL_TEXT)
    window = wait_window(env, FATAL_TEXT)
    shown = time.monotonic()
    shot = env.shot("fatal", window)
    check(top_ink(shot, window, LBL_MESSAGE) == COLOUR.FatalText,
          "fatal colour %s" % (top_ink(shot, window, LBL_MESSAGE),))
    bold_ink = ink_count(shot, window, LBL_MESSAGE)
    # Wine's Tahoma (standing in for Segoe UI here) has no distinct bold at this size, so
    # the pixels can only show it where the font set does; the window says so itself.
    check(bold_ink >= normal_ink, "fatal text thinner than normal (%d vs %d)" % (bold_ink, normal_ink))
    check(probe.said("bold"), "fatal text bold: %r" % probe.lines)
    print("inked pixels of the message: %d regular, %d bold" % (normal_ink, bold_ink))
    check(len(shot.histogram(*in_window(window, *IMG_LOADING))) == 1, "indicator hidden")
    wait_for(lambda: env.main_window() is None, "the window to close itself", deadline=60)
    elapsed = time.monotonic() - shown
    print("fatal message closed the window after %.1f s" % elapsed)
    check(elapsed > 3.5, "closed too early: %.1f s" % elapsed)
    check(probe.wait_exit() == 0 and probe.said("closed"), "program ended with exit code 0")

    # A message with a line break shows as two centred lines.
    probe = env.probe("status", "First line\\nthe second, longer line")
    window = wait_window(env, "First line\nthe second, longer line")
    shot = env.shot("two-lines", window)
    rows = [y for y in range(56, 95) if any(at(shot, window, x, y) != COLOUR.Background for x in range(16, 378))]
    bands = []
    for y in rows:
        if bands and y == bands[-1][-1] + 1:
            bands[-1].append(y)
        else:
            bands.append([y])
    check(len(bands) == 2, "two lines of text, found %d" % len(bands))
    for band in bands:
        inked = [x for x in range(16, 378) for y in band if at(shot, window, x, y) != COLOUR.Background]
        centre = (min(inked) + max(inked)) / 2
        check(abs(centre - 197) <= 8, "line at rows %d-%d centred on %.1f" % (band[0], band[-1], centre))
    close_window(env, probe)


def press_box(env, title, button):
    box = wait_for(lambda: env.dialogs().get(title), "a box titled " + title)
    check(env.inspector.press(title, button) == 0, "pressing %s in %r" % (button, box))
    wait_for(lambda: title not in env.dialogs(), "the box to close")
    return box


def scenario_errors(env):
    """The style lookup, an error in the creation handler, errors of the developer controls."""
    probe = env.probe("style", "cARBON")
    check(probe.wait_exit() == 0 and probe.said("style done") and not env.dialogs(), "style found in any case")

    probe = env.probe("style", "Slate")
    box = press_box(env, "WindowProbe", "Close")
    check(("static", "Style 'Slate' not found") in box, "style box text: %r" % box)
    check([text for kind, text in box if kind == "button"] == ["&Close"], "one Close button: %r" % box)
    check(probe.wait_exit() == 0 and probe.said("style done"), "the program goes on")

    probe = env.probe("create-error")
    box = press_box(env, "WindowProbe", "OK")
    check(("static", "Invalid protected value.") in box, "creation error box: %r" % box)
    wait_window(env, INITIAL_TEXT)
    close_window(env, probe)

    plain = "launcher value 42"
    probe = env.probe("developer", plain)
    box = press_box(env, "WindowProbe", "OK")
    check(any(kind == "static" and text for kind, text in box), "decrypt error shown: %r" % box)
    wait_window(env, "still running")
    check(probe.said("encrypted " + cvltest.protect(plain)), "encrypt matches openssl: %r" % probe.lines)
    check(probe.said("decrypted " + plain), "decrypt gives the text back: %r" % probe.lines)
    close_window(env, probe)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("scenario")
    parser.add_argument("--run", required=True)
    parser.add_argument("--bin", required=True)
    parser.add_argument("--shots", required=True)
    args = parser.parse_args()
    if not os.environ.get("DISPLAY"):
        print("window tests need DISPLAY (a virtual display)")
        return 1
    env = Env(args)
    xdotool("mousemove", 0, 0)  # the pointer starts in the screen's centre, inside the window
    try:
        globals()["scenario_" + args.scenario](env)
    except Failure as failure:
        print("FAILED: %s" % failure)
        return 1
    finally:
        env.cleanup()
    print("passed: " + args.scenario)
    return 0


if __name__ == "__main__":
    sys.exit(main())
