"""The data the build embedded in the program: model name, package file name, version
label and payload, read from the files the build wrote (resources/data in the build)."""

import os


class Product:
    def __init__(self, data_dir):
        def read(name):
            with open(os.path.join(data_dir, name), "rb") as f:
                return f.read()

        self.model = read("ModelName.txt").decode("ascii")
        self.package_name = read("PackageFileName.txt").decode("ascii")
        self.version = read("VersionLabel.txt").decode("ascii")
        self.payload = read("Payload.bin")

    @property
    def kilobytes(self):
        """The size the confirmation asks for: bytes / 1000, rounded down."""
        return len(self.payload) // 1000

    def inserts(self, drive_letter=""):
        """The values the messages insert, by name."""
        return {
            "model": self.model,
            "version": self.version,
            "kb": self.kilobytes,
            "drive": drive_letter,
        }
