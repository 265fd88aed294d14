#!/usr/bin/env python3
"""velmora --help, the manual page and the bash completion name the same options.

usage: options_agree.py VELMORA MANPAGE COMPLETION
"""

import os
import re
import subprocess
import sys
import tempfile
import unittest

VELMORA, MANPAGE, COMPLETION = sys.argv[1], sys.argv[2], sys.argv[3]

OPTION = re.compile(r"(?<![\w-])(--?[A-Za-z][A-Za-z-]*)")


def help_options():
    """The options the help defines: its lines that start with an option."""
    text = subprocess.run([VELMORA, "--help"], capture_output=True, text=True,
                          check=True).stdout
    options = set()
    for line in text.splitlines():
        if re.match(r"^ {2,6}-", line):
            definition = re.split(r"\s{2,}", line.strip())[0]
            options.update(OPTION.findall(definition))
    return options


def manual_options():
    """The options the page's OPTIONS section defines: the bold terms that head its
    indented entries."""
    with open(MANPAGE, encoding="utf-8") as page:
        roff = page.read()
    section = roff.split('.SH OPTIONS', 1)[1].split('.SH ', 1)[0]
    options = set()
    lines = section.splitlines()
    for line, following in zip(lines, lines[1:]):
        if line.startswith("\\fB-") and following.startswith(".RS"):
            terms = re.findall(r"\\fB(-[^\\]*)\\fR", line)
            options.update(term.replace("\\-", "-") for term in terms)
    return options


def complete(words, folder):
    """COMPREPLY of the completion for the words, the last being completed."""
    script = (f"source {COMPLETION!r}; cd {folder!r}; "
              f"COMP_WORDS=({' '.join(repr(w) for w in words)}); "
              f"COMP_CWORD={len(words) - 1}; _velmora; printf '%s\\n' \"${{COMPREPLY[@]}}\"")
    result = subprocess.run(["bash", "-c", script], capture_output=True, text=True, check=True)
    return sorted(line for line in result.stdout.splitlines() if line)


class OptionsAgree(unittest.TestCase):
    def test_help_and_manual_name_the_same_options(self):
        self.assertTrue(help_options())
        self.assertEqual(help_options(), manual_options())

    def test_completion_offers_every_option_of_the_help(self):
        with tempfile.TemporaryDirectory() as folder:
            self.assertEqual(set(complete(["velmora", "-"], folder)), help_options())

    def test_completion_offers_documents_of_any_case_and_folders(self):
        with tempfile.TemporaryDirectory() as folder:
            for name in ["a.hwpx", "B.HML", "c.Hwpx", "notes.txt", "old.hwp"]:
                open(os.path.join(folder, name), "w").close()
            os.mkdir(os.path.join(folder, "archive"))
            self.assertEqual(complete(["velmora", ""], folder),
                             ["B.HML", "a.hwpx", "archive", "c.Hwpx"])
            self.assertEqual(complete(["velmora", "--rule", "p"], folder), ["png", "pngquant"])
            self.assertEqual(complete(["velmora", "--ppi", ""], folder),
                             ["150", "220", "300", "96"])
            self.assertEqual(complete(["velmora", "-O", ""], folder), ["archive"])


if __name__ == "__main__":
    unittest.main(argv=[sys.argv[0], "-v"])
