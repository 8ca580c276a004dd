"""Names and values that scripts and tests take from the program's C++ headers rather
than write again: the window's colours (src/app/WindowColours.h) and the texts the
launcher shows (src/core/LauncherTexts.h)."""
import os
import re
import types

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
COLOURS_HEADER = os.path.join(ROOT, "src", "app", "WindowColours.h")
TEXTS_HEADER = os.path.join(ROOT, "src", "core", "LauncherTexts.h")


def _read(path):
    with open(path, encoding="utf-8") as f:
        return f.read()


def window_colours():
    """The window's colours by their names: window_colours().Background == (red, green, blue)."""
    entry = re.compile(r"^inline constexpr COLORREF (\w+) = RGB\(0x([0-9A-Fa-f]{2}), 0x([0-9A-Fa-f]{2}), "
                       r"0x([0-9A-Fa-f]{2})\);$", re.M)
    colours = {m[1]: (int(m[2], 16), int(m[3], 16), int(m[4], 16)) for m in entry.finditer(_read(COLOURS_HEADER))}
    if not colours:
        raise ValueError("no colours found in " + COLOURS_HEADER)
    return types.SimpleNamespace(**colours)


def launcher_text(name):
    """The text of the constant `name` (such as "kChecking") of the launcher's texts."""
    found = re.search(r"inline constexpr char16_t %s\[\] =\s*u\"((?:[^\"\\]|\\.)*)\";" % re.escape(name),
                      _read(TEXTS_HEADER))
    if not found:
        raise KeyError("%s is not among the texts of %s" % (name, TEXTS_HEADER))
    escapes = {"r": "\r", "n": "\n", "t": "\t"}
    return re.sub(r"\\(.)", lambda m: escapes.get(m[1], m[1]), found[1])
