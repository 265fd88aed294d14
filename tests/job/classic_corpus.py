#!/usr/bin/env python3
"""The classic rules over every document of the shared corpus, against a record.

    classic_corpus.py VELMORA SOURCE_DIR            compare with the record
    classic_corpus.py VELMORA SOURCE_DIR --record   write the record (VELMORA may be a
                                                    build from before --classic existed:
                                                    it is then run without the switch)

For each document the record holds the run's exit status, the package entries whose
content the target changed (added, removed or rewritten, folder entries aside; HWPML
documents have none),
and a digest of the process log with its time stamps, temporary names and paths taken
out. With --classic the program must rewrite exactly those entries and log exactly
those lines: users and tests that rely on the classic behaviour keep it. The optimisers
stay off, so that the record does not depend on the tools installed, and one worker
keeps the run's temporary names in one order. Exit 77 (skipped) without the corpus.
"""

import hashlib
import os
import re
import subprocess
import sys
import tempfile
import zipfile

RECORD = os.path.join(os.path.dirname(os.path.abspath(__file__)), "classic_corpus.record")
STAMP = re.compile(r"^\* \[[0-9. :]+\] ")
TEMP_NAME = re.compile(r"[^`\s]*/VL_[A-Za-z0-9]+_[0-9]+(-[0-9]+)?(\.[A-Za-z.]+)?")


def corpus_documents(source_dir):
    corpus = os.environ.get("VELMORA_CORPUS") or os.path.join(source_dir, "..", "shared", "corpus")
    documents = []
    for folder, extension in (("hwpx", ".hwpx"), ("hml", ".hml")):
        path = os.path.join(corpus, folder)
        if os.path.isdir(path):
            documents += [os.path.join(path, name) for name in sorted(os.listdir(path))
                          if name.lower().endswith(extension)]
    return documents


def normalised_log(path, source, target):
    with open(path, "rb") as handle:
        text = handle.read().decode("utf-16-le").lstrip("\ufeff")
    lines = []
    for line in text.splitlines():
        line = STAMP.sub("* ", line)
        line = line.replace(source, "SOURCE").replace(target, "TARGET")
        lines.append(TEMP_NAME.sub(lambda m: "TEMP" + (m.group(2) or ""), line))
    return "\n".join(lines)


def entry_contents(path):
    try:
        with zipfile.ZipFile(path) as archive:
            return {info.filename: archive.read(info) for info in archive.infolist()}
    except (zipfile.BadZipFile, OSError, KeyError, NotImplementedError, RuntimeError):
        return None


def changed_entries(source, target):
    before, after = entry_contents(source), entry_contents(target)
    if before is None or after is None:
        return "-"
    # Folder entries carry no content; the classic writer added them to packages it
    # wrote again even when it replaced nothing, which it no longer does.
    names = sorted(name for name in set(before) | set(after) if not name.endswith("/"))
    changed = [name for name in names if before.get(name) != after.get(name)]
    return ",".join(changed) if changed else "none"


def run(velmora, document, scratch, classic):
    target = os.path.join(scratch, "target" + os.path.splitext(document)[1])
    temp = os.path.join(scratch, "tmp")
    os.makedirs(temp, exist_ok=True)
    environment = dict(os.environ, TMPDIR=temp, SOURCE_DATE_EPOCH="1767225600")
    arguments = [velmora] + (["--classic"] if classic else []) + \
        ["--no-optimisers", "-j", "1", "-k", "--quiet", "-o", target, document]
    done = subprocess.run(arguments, env=environment, capture_output=True, text=True)
    match = re.search(r"^log: (.*)$", done.stdout, re.M)
    digest = "-"
    if match and os.path.exists(match.group(1)):
        log = normalised_log(match.group(1), document, target)
        # A document refused before its log began has no lines to compare.
        if log:
            digest = hashlib.sha256(log.encode()).hexdigest()[:20]
    entries = "-"
    if document.endswith(".hwpx") and os.path.exists(target):
        entries = changed_entries(document, target)
    for name in os.listdir(temp):
        os.remove(os.path.join(temp, name))
    if os.path.exists(target):
        os.remove(target)
    return f"{os.path.basename(document)}\t{done.returncode}\t{digest}\t{entries}"


def main():
    velmora, source_dir = sys.argv[1], sys.argv[2]
    record = len(sys.argv) > 3 and sys.argv[3] == "--record"
    documents = corpus_documents(source_dir)
    if not documents:
        print("no corpus: skipped")
        return 77
    with tempfile.TemporaryDirectory() as scratch:
        rows = [run(velmora, document, scratch, not record) for document in documents]
    if record:
        with open(RECORD, "w", encoding="utf-8") as handle:
            handle.write("\n".join(rows) + "\n")
        return 0
    with open(RECORD, encoding="utf-8") as handle:
        expected = {line.split("\t")[0]: line for line in handle.read().splitlines() if line}
    failures = 0
    for row in rows:
        name = row.split("\t")[0]
        if expected.get(name, row) != row:
            print(f"differs: {row}\n expected {expected[name]}")
            failures += 1
    missing = set(expected) - {row.split("\t")[0] for row in rows}
    print(f"{len(rows)} documents, {failures} differ, {len(missing)} of the record not run")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
