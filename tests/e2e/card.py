"""Memory cards as folders: what a camera's drive holds, prepared for one run and compared
after it."""

import fcntl
import hashlib
import os
import shutil
import stat
import subprocess

PACKAGE_FOLDER = ("Current", "Firmware")


class CardError(Exception):
    """The card a row needs cannot be prepared on this machine."""


class CardUnavailable(CardError):
    """The card a row needs is a file system of its own, which only root can mount here."""


# Layouts whose card is a file system of its own, mounted for the row (root only): the
# layout -> what that file system is for.
VOLUMES = {
    "small": "a card too small for the package",
    "leftover": "a card with room for the package only once a leftover staging file is gone",
    "tight": "a card whose free space holds the package's bytes but not its allocation units",
    "tight-ext2": "a card with 1 KiB blocks whose free space holds the package's bytes but not its blocks",
    "overhead-ext2": "a card with 1 KiB blocks whose free space holds the package's blocks and one more, but not "
                     "the file system's own blocks that point to them",
}


class Card:
    """A card folder under `root`.

    layout: "folders" (Current/Firmware, empty), "none" (an empty card), "existing" (an
    older, longer package already there), "blocked" (a folder in the package's place),
    "small" (the folders on a 1 MiB tmpfs, too small for the payload; mounting needs root),
    "stale" (the staging file of an interrupted run, garbage longer than the payload, beside
    an older package), "link" (a symbolic link in the package's place, to a file beside the
    card), "fifo" (a FIFO in the package's place; POSIX only), "current-link" and
    "firmware-link" (Current, or Current/Firmware, a symbolic link to a folder beside the
    card that holds what the card would), "held" (an older package, and a
    staging file that another run is writing: this process holds it as that run would, with
    an exclusive lock, until the card is released; POSIX only); and the cards of VOLUMES,
    each a file system of its own: "leftover" (a 3 MiB tmpfs holding the staging file of an
    interrupted run, as long as the payload, which leaves too little room for a second
    copy), "tight" (a tmpfs with exactly the payload rounded up to whole 4 KiB pages free),
    "tight-ext2" (an ext2 file system with 1 KiB blocks and exactly the payload rounded up to
    whole blocks free, where the file's indirect blocks would not fit), "overhead-ext2" (the
    same with one block more free: the program's count lets the write go, and the write runs
    out of room for the indirect blocks).

    The staging file (the package's name followed by "~") never outlives a run, except the
    one another run holds.
    """

    def __init__(self, root, product, layout="folders"):
        if layout not in ("folders", "none", "existing", "blocked", "stale", "link", "fifo", "held", "current-link",
                          "firmware-link") + tuple(VOLUMES):
            raise ValueError("unknown card layout " + layout)
        self.path = root
        self.product = product
        self.mounted = False
        self.image = root + ".img"
        self.layout = layout
        self.holder = None
        self.outside = root + "-outside"  # a file that is not on the card
        self.outside_folder = root + "-outside-folder"  # a folder that is not on the card
        os.makedirs(os.path.dirname(root), exist_ok=True)  # a card may be mounted folders deep
        with open(self.outside, "wb") as f:
            f.write(b"a file beside the card")
        os.makedirs(root)
        payload = len(product.payload)
        if layout == "small":
            self._mount("tmpfs", "size=1m")
            free = os.statvfs(self.path).f_bavail * os.statvfs(self.path).f_frsize
            if free >= payload:
                raise CardError(f"the small card has {free} bytes free, not less than the payload's {payload}")
        elif layout == "leftover":
            self._mount("tmpfs", "size=3m")
        elif layout == "tight":
            self._mount("tmpfs", "size=4m")
        elif layout in ("tight-ext2", "overhead-ext2"):
            self._mount_ext2(4096)
        if layout != "none":
            os.makedirs(self.package_folder())
        if layout == "leftover":
            with open(self.staging_path(), "wb") as f:
                f.write(b"\xee" * payload)
            if self.free() >= payload:
                raise CardError(f"the card with the leftover has {self.free()} bytes free, enough for the payload")
        elif layout in ("tight", "tight-ext2"):
            unit = os.statvfs(self.path).f_frsize
            self._leave_free((payload + unit - 1) // unit * unit)
        elif layout == "overhead-ext2":
            unit = os.statvfs(self.path).f_frsize
            self._leave_free(((payload + unit - 1) // unit + 1) * unit)
        if layout in ("existing", "stale", "held"):
            with open(self.package_path(), "wb") as f:
                f.write(b"an older package " * (len(product.payload) // 16 + 1000))
        if layout == "stale":
            with open(self.staging_path(), "wb") as f:
                f.write(b"\xee" * (len(product.payload) + 4096))
        elif layout == "held":
            with open(self.staging_path(), "wb") as f:
                f.write(b"\x77" * len(product.payload))
            self.holder = os.open(self.staging_path(), os.O_RDWR)
            fcntl.flock(self.holder, fcntl.LOCK_EX)
        elif layout == "blocked":
            os.makedirs(self.package_path())
        elif layout == "link":
            os.symlink(self.outside, self.package_path())
        elif layout == "fifo":
            os.mkfifo(self.package_path())
        elif layout in ("current-link", "firmware-link"):
            linked = self.package_folder() if layout == "firmware-link" else os.path.dirname(self.package_folder())
            shutil.move(linked, self.outside_folder)
            os.symlink(self.outside_folder, linked)
        self.before = self.snapshot()

    def _mount(self, kind, options, source=None):
        if os.geteuid() != 0:
            raise CardUnavailable(f"mounting a {kind} card needs root")
        result = subprocess.run(["mount", "-t", kind, "-o", options, source or kind, self.path],
                                capture_output=True, text=True)
        if result.returncode != 0:
            raise CardError(f"mounting a {kind} card ({options}) failed: {result.stderr.strip() or result.returncode}")
        self.mounted = True

    def _mount_ext2(self, kilobytes):
        if os.geteuid() != 0:
            raise CardUnavailable("mounting an ext2 card needs root")
        with open(self.image, "wb") as f:
            f.truncate(kilobytes * 1024)
        result = subprocess.run(["mkfs.ext2", "-q", "-F", "-b", "1024", "-m", "0", self.image],
                                capture_output=True, text=True)
        if result.returncode != 0:
            raise CardError(f"mkfs.ext2 failed: {result.stderr.strip() or result.returncode}")
        self._mount("ext2", "loop", self.image)

    def free(self):
        volume = os.statvfs(self.path)
        return volume.f_bavail * volume.f_frsize

    def _leave_free(self, wanted):
        """Fills the card with a file beside the package folder until exactly `wanted`
        bytes are free; the file's own bookkeeping blocks make this take a few steps."""
        filler = os.path.join(self.path, "filler")
        size = 0
        for _ in range(20):
            size += self.free() - wanted
            if size < 0:
                break
            with open(filler, "ab") as f:
                f.truncate(size)
            with open(filler, "r+b") as f:  # blocks allocated, not a sparse file
                f.write(b"\x55" * size)
            os.sync()
            if self.free() == wanted:
                return
        raise CardError(f"could not leave exactly {wanted} bytes free on the card: {self.free()} free")

    def release(self):
        if self.holder is not None:
            os.close(self.holder)
            self.holder = None
        if self.mounted:
            subprocess.run(["umount", self.path], check=False)
            self.mounted = False
        if os.path.exists(self.image):
            os.remove(self.image)

    def package_folder(self):
        return os.path.join(self.path, *PACKAGE_FOLDER)

    def package_path(self):
        return os.path.join(self.package_folder(), self.product.package_name)

    def staging_path(self):
        return self.package_path() + "~"

    def snapshot(self):
        """Every folder and file on the card, files by their content's digest, links by
        their target, other special files by their kind; and the file beside the card."""
        entries = {}
        walks = [(self.path, "")]
        if os.path.isdir(self.outside_folder):
            walks.append((self.outside_folder, os.path.join("..", os.path.basename(self.outside_folder))))
        for top, prefix in walks:
            self._snapshot_folder(top, prefix, entries)
        entries[os.path.join("..", os.path.basename(self.outside))] = _digest(self.outside)
        return entries

    @staticmethod
    def _snapshot_folder(top, prefix, entries):
        for folder, folders, files in os.walk(top):
            relative = os.path.join(prefix, os.path.relpath(folder, top))
            entries[relative] = "folder"
            links = [name for name in folders if os.path.islink(os.path.join(folder, name))]
            for name in links + files:
                path = os.path.join(folder, name)
                mode = os.lstat(path).st_mode
                if stat.S_ISLNK(mode):
                    entries[os.path.join(relative, name)] = "link to " + os.readlink(path)
                elif not stat.S_ISREG(mode):
                    entries[os.path.join(relative, name)] = "special"
                else:
                    entries[os.path.join(relative, name)] = _digest(path)

    def changes(self, package_written):
        """What differs from the expected card: nothing changed, or the package written
        byte for byte as the payload and nothing else changed. Empty when as expected."""
        problems = []
        after = self.snapshot()
        package = os.path.relpath(self.package_path(), self.path)
        expected = dict(self.before)
        if self.layout != "held":
            expected.pop(os.path.relpath(self.staging_path(), self.path), None)
        if package_written:
            expected[package] = hashlib.sha256(self.product.payload).hexdigest()
            if after.get(package) not in (None, "folder", expected[package]):
                with open(self.package_path(), "rb") as f:
                    written = f.read()
                problems.append(f"the package ({len(written)} bytes) differs from the payload "
                                f"({len(self.product.payload)} bytes) from byte "
                                f"{_first_difference(written, self.product.payload)} on")
        for name in sorted(set(expected) | set(after)):
            if name == package and problems:
                continue
            if name not in after:
                problems.append(f"{name} is missing")
            elif name not in expected:
                problems.append(f"{name} appeared ({after[name]})")
            elif after[name] != expected[name]:
                problems.append(f"{name} changed")
        return problems


def _digest(path):
    with open(path, "rb") as f:
        return hashlib.sha256(f.read()).hexdigest()


def _first_difference(a, b):
    for i, (x, y) in enumerate(zip(a, b)):
        if x != y:
            return i
    return min(len(a), len(b))
