#!/usr/bin/env python3
"""The JSON report against its schema and against the files it describes.

Runs velmora with --report over a folder holding the sample package and the sample
HWPML document (with a name that is not ASCII), once for real into an output folder
and once as a dry run, and checks that each report validates against
docs/report.schema.json and that its numbers are the files': document sizes, and every
picture's bytes before and after as the source and target store them.

usage: report_check.py VELMORA SOURCE_DIR
"""

import base64
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest
import zipfile
import zlib

import jsonschema

VELMORA, SOURCE_DIR = sys.argv[1], sys.argv[2]
with open(os.path.join(SOURCE_DIR, "docs", "report.schema.json"), encoding="utf-8") as schema:
    SCHEMA = json.load(schema)

# Pictures the sample documents are made of; every decision of the samples without
# the optimisers: photos and screenshots shrink, the animation stays.
HWPX_NAME = "회의록.hwpx"


def run(*arguments, env_tmp):
    env = dict(os.environ, TMPDIR=env_tmp, SOURCE_DATE_EPOCH="1700000000")
    return subprocess.run([VELMORA, "--no-optimisers", *arguments], capture_output=True,
                          env=env, check=False)


def hwpx_entry_sizes(path):
    with zipfile.ZipFile(path) as package:
        return {info.filename: info.file_size for info in package.infolist()}


def hml_data_sizes(path):
    """Decoded bytes of each BINDATA element, by its Id."""
    with open(path, "rb") as document:
        text = document.read().decode("utf-8")
    sizes = {}
    for match in re.finditer(r"<BINDATA ([^>]*)>([^<]*)</BINDATA>", text):
        ident = re.search(r'Id="(\d+)"', match.group(1)).group(1)
        sizes[ident] = len(base64.b64decode("".join(match.group(2).split())))
    return sizes


class ReportTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.dir = tempfile.mkdtemp()
        cls.tmp = os.path.join(cls.dir, "tmp")
        os.mkdir(cls.tmp)
        cls.source = os.path.join(cls.dir, "archive")
        os.makedirs(os.path.join(cls.source, "sub"))
        shutil.copy(os.path.join(SOURCE_DIR, "samples", "sample.hwpx"),
                    os.path.join(cls.source, "sub", HWPX_NAME))
        shutil.copy(os.path.join(SOURCE_DIR, "samples", "sample.hml"),
                    os.path.join(cls.source, "notes.HML"))
        cls.out = os.path.join(cls.dir, "out")
        report = os.path.join(cls.dir, "report.json")
        cls.real = run("-R", "-O", cls.out, "--report", report, cls.source, env_tmp=cls.tmp)
        with open(report, encoding="utf-8") as text:
            cls.report = json.load(text)
        dry = run("-n", "-R", "-O", os.path.join(cls.dir, "dry"), "--report", "-", cls.source,
                  env_tmp=cls.tmp)
        cls.dry = dry
        cls.dry_report = json.loads(dry.stdout.decode("utf-8"))

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.dir)

    def test_both_reports_validate_against_the_schema(self):
        self.assertEqual(self.real.returncode, 0, self.real.stderr)
        self.assertEqual(self.dry.returncode, 0, self.dry.stderr)
        jsonschema.validate(self.report, SCHEMA)
        jsonschema.validate(self.dry_report, SCHEMA)

    def test_the_documented_example_validates_and_adds_up(self):
        with open(os.path.join(SOURCE_DIR, "docs", "report.md"), encoding="utf-8") as text:
            example = json.loads(re.search(r"```json\n(.*?)```", text.read(), re.S).group(1))
        jsonschema.validate(example, SCHEMA)
        written = [d for d in example["documents"] if d["status"] == "written"]
        self.assertEqual(example["totals"]["bytes_after"], sum(d["bytes_after"] for d in written))
        self.assertEqual(example["totals"]["failed"],
                         sum(d["status"] == "failed" for d in example["documents"]))

    def test_document_sizes_are_the_files_sizes(self):
        documents = self.report["documents"]
        self.assertEqual([os.path.relpath(d["target"], self.out) for d in documents],
                         ["notes.HML", os.path.join("sub", HWPX_NAME)])
        for document in documents:
            self.assertEqual(document["status"], "written")
            self.assertEqual(document["bytes_before"], os.path.getsize(document["source"]))
            self.assertEqual(document["bytes_after"], os.path.getsize(document["target"]))
        totals = self.report["totals"]
        self.assertEqual(totals["bytes_after"], sum(d["bytes_after"] for d in documents))

    def test_picture_sizes_are_the_package_entries(self):
        document = next(d for d in self.report["documents"] if d["source"].endswith(".hwpx"))
        before = hwpx_entry_sizes(document["source"])
        after = hwpx_entry_sizes(document["target"])
        pictures = document["pictures"]
        self.assertEqual(len(pictures), 5)
        for picture in pictures:
            self.assertEqual(picture["bytes_before"], before[picture["name"]], picture)
            self.assertEqual(picture["bytes_after"], after[picture["target_name"]], picture)
            self.assertEqual(picture["target_name"] != picture["name"],
                             picture["decision"] == "rewritten" and
                             picture["kind_in"] != picture["kind_out"], picture)

    def test_picture_sizes_are_the_hwpml_data(self):
        document = next(d for d in self.report["documents"] if d["source"].endswith(".HML"))
        before = hml_data_sizes(document["source"])
        after = hml_data_sizes(document["target"])
        pictures = document["pictures"]
        self.assertEqual([p["name"] for p in pictures], ["1", "2", "3", "4", "5"])
        for picture in pictures:
            self.assertEqual(picture["bytes_before"], before[picture["name"]], picture)
            self.assertEqual(picture["bytes_after"], after[picture["name"]], picture)

    def test_decisions_and_kinds_of_the_samples(self):
        for document in self.report["documents"]:
            kinds = [(p["kind_in"], p["kind_out"], p["decision"]) for p in document["pictures"]]
            self.assertEqual(kinds, [
                ("jpeg", "jpeg", "rewritten"),
                ("bmp", "png", "rewritten"),
                ("png", "png", "rewritten"),
                ("gif", "png", "rewritten"),
                ("gif", "gif", "animation_kept"),
            ], document["source"])

    def test_dry_run_promises_the_real_sizes_and_writes_nothing(self):
        self.assertFalse(os.path.exists(os.path.join(self.dir, "dry")))
        self.assertEqual(os.listdir(self.tmp), [])
        self.assertTrue(self.dry_report["dry_run"])
        real = {d["source"]: d for d in self.report["documents"]}
        for document in self.dry_report["documents"]:
            self.assertEqual(document["status"], "dry_run")
            self.assertEqual(document["bytes_after"], real[document["source"]]["bytes_after"])
            self.assertEqual(document["pictures"], real[document["source"]]["pictures"])
        # The summaries went to standard error, beside the report on standard output.
        self.assertIn("dry run, nothing written: 2 document(s)", self.dry.stderr.decode())


if __name__ == "__main__":
    unittest.main(argv=[sys.argv[0], "-v"])
