#!/usr/bin/env python3
"""The Windows program's version values and manifest from the build's options: which
version labels give which numbers, which stop the build and why, and a manifest that is
well-formed XML for any label that gives a version."""

import os
import sys
import unittest
import xml.dom.minidom

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))

import program_info  # noqa: E402


class VersionLabelTest(unittest.TestCase):
    def test_labels_that_give_a_version(self):
        rows = [
            ("Version 1.02", "1.02", (1, 2, 0, 0)),
            ("v2.1", "2.1", (2, 1, 0, 0)),
            ("RQ5600 firmware V3.0.7", "3.0.7", (3, 0, 7, 0)),
            ("Version 5", "5", (5, 0, 0, 0)),
            ("Ver 65535.0.0.65535", "65535.0.0.65535", (65535, 0, 0, 65535)),
        ]
        for label, text, numbers in rows:
            with self.subTest(label=label):
                self.assertEqual(program_info.version_of(label), (text, numbers))

    def test_labels_that_stop_the_build(self):
        rows = [
            ("Version", "exactly one version number"),
            ("", "exactly one version number"),
            ("Version 1.02 build 7", "it holds 2"),
            ("Version 1.2.3.4.5", "it holds 0"),
            ("Version 1..2", "it holds 0"),
            ("Ver.1.02", "it holds 0"),
            ("Version 65536.0", "at most 65535"),
        ]
        for label, reason in rows:
            with self.subTest(label=label):
                with self.assertRaises(program_info.ProgramInfoError) as raised:
                    program_info.version_of(label)
                self.assertIn(repr(label), str(raised.exception))
                self.assertIn(reason, str(raised.exception))


class VersionHeaderTest(unittest.TestCase):
    def test_another_model_gets_its_own_values(self):
        header = program_info.version_header('RX 7 "Pro"', "v4.10", "Société").decode("utf-8")
        self.assertIn("#define FWUPGRADE_VERSION_NUMBERS 4,10,0,0\n", header)
        self.assertIn('#define FWUPGRADE_VERSION_TEXT "4.10"\n', header)
        self.assertIn('#define FWUPGRADE_DESCRIPTION "RX 7 ""Pro"" firmware upgrade"\n', header)
        self.assertIn('#define FWUPGRADE_COMPANY "Société"\n', header)

    def test_a_text_of_more_than_one_line_stops_the_build(self):
        with self.assertRaises(program_info.ProgramInfoError):
            program_info.version_header("RQ5600", "Version 1.02", "Line one\nline two")


class ManifestTest(unittest.TestCase):
    def test_well_formed_with_the_version_as_the_assembly_version(self):
        document = xml.dom.minidom.parseString(program_info.manifest((4, 10, 0, 0)))
        identity = document.documentElement.getElementsByTagName("assemblyIdentity")[0]
        self.assertEqual(identity.getAttribute("version"), "4.10.0.0")
        self.assertEqual(document.getElementsByTagName("activeCodePage"), [])


if __name__ == "__main__":
    unittest.main()
