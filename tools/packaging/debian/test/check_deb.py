#!/usr/bin/env python3
"""Checks of the Debian package. Prints one PASS/FAIL line per check and "N passed, M
failed"; exits 77 (skipped) with the reason when a tool or right it needs is missing.

  check_deb.py package --make-deb make_deb.py --work-dir DIR --libdir /usr/lib/<multiarch>
               --registry DIR --catalogue Messages.rc -- MAKE_DEB_ARGUMENTS...
      makes the package twice (other staging folder, umask and time zone): the same bytes;
      lintian reports no error; exactly the expected files; the control fields; the
      program does not link GTK; the desktop entry; the registration names the plugin.
      Leaves the package as DIR/fwupgrade.deb for the next check.

  check_deb.py install --work-dir DIR --devices DIR --data-dir DIR --catalogue Messages.rc
               --simcamera simcamera.so --register register-plugin.sh
      installs DIR/fwupgrade.deb with dpkg -i (root), runs the installed program on a
      pseudo-terminal against the Linux camera component inside umockdev-run with no
      setting at all (the system's registry finds the component), checks that a component
      registered in ~/.posixcom or POSIXCOM_REGISTRY comes first, removes the package
      with dpkg -r and checks that nothing is left behind.
"""

import argparse
import glob
import os
import re
import shutil
import subprocess
import sys
from types import SimpleNamespace

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "..", "..", "..", "tests", "e2e"))
sys.path.insert(0, os.path.join(HERE, "..", "..", "..", "..", "usbcamera", "test"))
import terminal  # noqa: E402
from card import Card  # noqa: E402
from catalogue import Catalogue  # noqa: E402
from player import ENGLISH, PosixPlatform, box_problems  # noqa: E402
from product import Product  # noqa: E402
from rows import CONFIRM, DONE  # noqa: E402
from run_umockdev_e2e import mountinfo_path  # noqa: E402
from simcamera import ComponentLog, scenario_text, scenario_value  # noqa: E402
from tally import Tally  # noqa: E402

SKIPPED = 77
PACKAGE = "fwupgrade"
CLSID = "{FB803D0D-EC2B-11D2-A4B8-00104BCAB4AB}"
# The seven languages of the catalogue, as the desktop entry's keys name them.
LOCALES = ["", "de", "es", "fr", "it", "ja", "pt"]


def missing(tools):
    return [tool for tool in tools if shutil.which(tool) is None]


def make(args, name, umask, zone):
    folder = os.path.join(args.work_dir, name)
    result = subprocess.run([sys.executable, args.make_deb] + args.rest
                            + ["--staging", os.path.join(folder, "staging"), "--output", folder],
                            capture_output=True, text=True, env=dict(os.environ, TZ=zone),
                            preexec_fn=lambda: os.umask(umask))
    if result.returncode != 0:
        raise RuntimeError(f"make_deb.py failed:\n{result.stdout}{result.stderr}")
    return result.stdout.strip().splitlines()[-1]


def package_checks(args):
    absent = missing(["dpkg-deb", "dpkg-shlibdeps", "lintian", "desktop-file-validate", "readelf", "strip"])
    if absent:
        print(f"skipped: the package checks need {', '.join(absent)} (scripts/install-deps.sh installs them)")
        return SKIPPED
    if os.path.exists(args.work_dir):
        shutil.rmtree(args.work_dir)
    os.makedirs(args.work_dir)
    checks = Tally()
    first = make(args, "first", 0o022, "UTC")
    second = make(args, "second", 0o077, "Asia/Tokyo")
    expected_name = re.compile(r"fwupgrade_[0-9][0-9A-Za-z.+~-]*_[a-z0-9]+\.deb$")
    checks.record("named fwupgrade_<version>_<arch>.deb",
                 [] if expected_name.match(os.path.basename(first)) else [f"named {os.path.basename(first)}"])
    with open(first, "rb") as a, open(second, "rb") as b:
        same = a.read() == b.read()
    checks.record("the same bytes from a second making (other staging folder, umask, time zone)",
                 [] if same else [f"{first} and {second} differ"])
    shutil.copy(first, os.path.join(args.work_dir, PACKAGE + ".deb"))

    lintian = subprocess.run(["lintian", "--tag-display-limit", "0", first], capture_output=True, text=True)
    errors = [line for line in lintian.stdout.splitlines() if line.startswith("E:")]
    for line in lintian.stdout.splitlines():
        print("     lintian: " + line)
    checks.record("lintian reports no error", errors + ([] if lintian.returncode in (0, 2) or errors else
                                                       [f"lintian failed: {lintian.stderr.strip()}"]))

    listing = subprocess.run(["dpkg-deb", "--contents", first], capture_output=True, text=True, check=True).stdout
    files = sorted(line.split()[-1][1:] for line in listing.splitlines() if not line.startswith("d"))
    lib = args.libdir
    expected = sorted(
        ["/usr/bin/fwupgrade", f"{lib}/fwupgrade/usbcamera.so", f"{lib}/fwupgrade/usb-models.txt",
         f"{args.registry}/CLSID/{CLSID}/InprocServer32", "/usr/share/applications/fwupgrade.desktop",
         "/usr/share/man/man1/fwupgrade.1.gz", "/usr/share/doc/fwupgrade/copyright",
         "/usr/share/doc/fwupgrade/changelog.gz"]
        + [f"/usr/share/icons/hicolor/{n}x{n}/apps/fwupgrade.png" for n in (16, 32, 48, 64, 128, 256)])
    checks.record("exactly the program, the component, its registration, the menu entry, icons, manual, docs",
                 [f"unexpected {f}" for f in files if f not in expected]
                 + [f"missing {f}" for f in expected if f not in files])

    unpacked = os.path.join(args.work_dir, "unpacked")
    subprocess.run(["dpkg-deb", "--raw-extract", first, unpacked], check=True)
    with open(os.path.join(unpacked, "DEBIAN", "control"), encoding="utf-8") as f:
        control = dict(re.findall(r"^([A-Za-z-]+): (.*)$", f.read(), re.M))
    problems = []
    if control.get("Recommends") != "libgtk-3-0":
        problems.append(f"Recommends: {control.get('Recommends')!r}, expected libgtk-3-0")
    if "gtk" in control.get("Depends", "") or "libc6" not in control.get("Depends", ""):
        problems.append(f"Depends: {control.get('Depends')!r}: the C library's, never GTK's")
    checks.record("control: shared-library dependencies, GTK only recommended", problems)

    dynamic = subprocess.run(["readelf", "-d", os.path.join(unpacked, "usr/bin/fwupgrade")], capture_output=True,
                             text=True, check=True).stdout
    needed = re.findall(r"\(NEEDED\).*\[(.*)\]", dynamic)
    checks.record("the program does not link GTK (it loads it when there is a display)",
                 [f"needs {n}" for n in needed if "gtk" in n or "gdk" in n or "glib" in n] or
                 ([] if needed else ["no NEEDED entries read"]))

    entry = os.path.join(unpacked, "usr/share/applications/fwupgrade.desktop")
    problems = []
    validate = subprocess.run(["desktop-file-validate", entry], capture_output=True, text=True)
    if validate.returncode != 0 or validate.stdout.strip():
        problems.append("desktop-file-validate: " + (validate.stdout + validate.stderr).strip())
    with open(entry, encoding="utf-8") as f:
        keys = dict(re.findall(r"^([^=\n]+)=(.*)$", f.read(), re.M))
    for name in ("Name", "Comment"):
        for locale in LOCALES:
            key = f"{name}[{locale}]" if locale else name
            if not keys.get(key):
                problems.append(f"no {key}")
    catalogue = Catalogue(args.catalogue)
    if keys.get("Comment[ja]") != catalogue.caption(0x0411):
        problems.append(f"Comment[ja] {keys.get('Comment[ja]')!r} is not the catalogue's caption")
    for key, value in (("Terminal", "false"), ("Exec", "fwupgrade"), ("Icon", "fwupgrade"), ("Type", "Application")):
        if keys.get(key) != value:
            problems.append(f"{key}={keys.get(key)!r}, expected {value}")
    checks.record("desktop entry: valid, named and described in the seven languages, no terminal", problems)

    with open(os.path.join(unpacked, args.registry.lstrip("/"), "CLSID", CLSID, "InprocServer32")) as f:
        registered = f.read()
    checks.record("the registration names the installed plugin",
                 [] if registered == f"{lib}/fwupgrade/usbcamera.so\n" else [f"it holds {registered!r}"])
    return checks.exit_code()


def snapshot(roots):
    """Every path below the folders the package touches, and dpkg's own records of it."""
    paths = set(glob.glob(f"/var/lib/dpkg/info/{PACKAGE}.*"))
    for root in roots:
        for folder, _, names in os.walk(root):
            paths.add(folder)
            paths.update(os.path.join(folder, name) for name in names)
    return paths


def run_installed(work, env, catalogue, product, argv, expect_component):
    """One run of the installed program on a pseudo-terminal, answering OK; the problems."""
    os.makedirs(os.path.join(work, "media E"))
    card = Card(os.path.join(work, "media E", "MY CARD"), product, "folders")
    try:
        outcome = terminal.run_in_terminal(argv(card), env)
        platform = PosixPlatform("/usr/bin/fwupgrade", None, None, work)
        problems = [outcome.problem] if outcome.problem else []
        if outcome.exit_code != 0:
            problems.append(f"exit code {outcome.exit_code}, expected 0")
        values = dict(product.inserts(platform.drive_letter("E", card)), empty="")
        problems += box_problems(SimpleNamespace(boxes=[CONFIRM, DONE]), outcome.boxes, platform, catalogue, ENGLISH, values)
        problems += [f"card: {p}" for p in card.changes(True)]
        for name, log in (("usbcamera", env.get("USBCAMERA_LOG")), ("simcamera", env.get("SIMCAMERA_LOG"))):
            answered = ComponentLog(log).leftovers() if log else None
            if name == expect_component and answered != "exit live=0":
                problems.append(f"the {name} component's account at unload: {answered}, expected exit live=0")
            if name != expect_component and answered is not None:
                problems.append(f"the {name} component was loaded")
        if problems and outcome.output:
            problems.append("output:\n" + outcome.output.rstrip())
        return problems
    finally:
        card.release()


def install_checks(args):
    if os.geteuid() != 0:
        print("skipped: installing a package with dpkg needs root")
        return SKIPPED
    absent = missing(["dpkg", "umockdev-run"])
    if absent:
        print(f"skipped: the install check needs {', '.join(absent)} (scripts/install-deps.sh installs them)")
        return SKIPPED
    if subprocess.run(["dpkg-query", "-W", PACKAGE], capture_output=True).returncode == 0:
        print(f"skipped: {PACKAGE} is installed on this machine already; the check installs and removes its own")
        return SKIPPED
    args.work_dir = os.path.abspath(args.work_dir)
    deb = os.path.join(args.work_dir, PACKAGE + ".deb")
    work = os.path.join(args.work_dir, "install")
    if os.path.exists(work):
        shutil.rmtree(work)
    os.makedirs(work)
    listing = subprocess.run(["dpkg-deb", "--contents", deb], capture_output=True, text=True, check=True).stdout
    roots = set()  # the deepest folders the package's paths lie in that are there without it
    for line in listing.splitlines()[1:]:
        path = line.split()[-1][1:].rstrip("/") or "/"
        while not os.path.exists(path):
            path = os.path.dirname(path)
        roots.add(path)
    before = snapshot(roots)
    checks = Tally()
    product = Product(args.data_dir)
    catalogue = Catalogue(args.catalogue)
    result = subprocess.run(["dpkg", "-i", deb], capture_output=True, text=True)
    checks.record("dpkg -i installs it", [] if result.returncode == 0 else [result.stdout + result.stderr])
    try:
        if result.returncode == 0:
            install_runs(args, work, checks, catalogue, product)
    finally:
        removal = subprocess.run(["dpkg", "-r", PACKAGE], capture_output=True, text=True)
        checks.record("dpkg -r removes it", [] if removal.returncode == 0 else [removal.stdout + removal.stderr])
    after = snapshot(roots)
    known = subprocess.run(["dpkg-query", "-W", PACKAGE], capture_output=True, text=True)
    checks.record("nothing left behind",
                 [f"left: {path}" for path in sorted(after - before)] + [f"gone: {path}" for path in sorted(before - after)]
                 + ([f"dpkg still knows it: {known.stdout.strip()}"] if known.returncode == 0 else []))
    return checks.exit_code()


def install_runs(args, work, checks, catalogue, product):
    home = os.path.join(work, "home")
    os.makedirs(home)
    base = {"PATH": "/usr/sbin:/usr/bin:/sbin:/bin", "HOME": home, "LC_ALL": "C.UTF-8"}

    def in_umockdev(log):
        def argv(card):
            table = os.path.join(work, "mountinfo")
            with open(table, "w") as f:
                f.write("22 1 0:21 / / rw,relatime shared:1 - ext4 /dev/vda1 rw\n"
                        f"40 22 8:17 / {mountinfo_path(card.path)} rw,relatime shared:9 - vfat /dev/sdx rw\n")
            inner = 'mkdir -p "$UMOCKDEV_DIR/proc/self" && cp "$1" "$UMOCKDEV_DIR/proc/self/mountinfo" && exec "$2"'
            return ["umockdev-run", "--device", os.path.join(args.devices, "partitioned.umockdev"), "--",
                    "/bin/sh", "-c", inner, "sh", table, "/usr/bin/fwupgrade"]
        return argv

    row = os.path.join(work, "system")
    os.makedirs(row)
    log = os.path.join(row, "usbcamera.log")
    checks.record("the installed program finds the installed component with no setting (umockdev camera)",
                 run_installed(row, dict(base, USBCAMERA_LOG=log), catalogue, product, in_umockdev(log), "usbcamera"))

    # A component registered by the user comes before the system's, from either place.
    for name, in_environment in (("~/.posixcom", False), ("POSIXCOM_REGISTRY", True)):
        row = os.path.join(work, name.strip("~/."))
        os.makedirs(row)
        user_home = os.path.join(row, "home")
        registry = os.path.join(row, "registry") if in_environment else os.path.join(user_home, ".posixcom")
        subprocess.run(["sh", args.register, args.simcamera, registry], check=True)
        scenario = os.path.join(row, "scenario.ini")
        env = dict(base, HOME=user_home, SIMCAMERA_SCENARIO=scenario, SIMCAMERA_LOG=os.path.join(row, "simcamera.log"),
                   USBCAMERA_LOG=os.path.join(row, "usbcamera.log"))
        if in_environment:
            env["POSIXCOM_REGISTRY"] = registry

        def argv(card, scenario=scenario):
            with open(scenario, "w", encoding="utf-8") as f:
                f.write(scenario_text([(product.model, scenario_value(os.path.abspath(card.path) + "/"), "camera",
                                        None)]))
            return ["/usr/bin/fwupgrade"]

        checks.record(f"a component registered in {name} comes before the system's",
                     run_installed(row, env, catalogue, product, argv, "simcamera"))


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("check", choices=["package", "install"])
    for option in ("--work-dir", "--catalogue", "--make-deb", "--libdir", "--registry", "--devices", "--data-dir",
                   "--simcamera", "--register"):
        parser.add_argument(option)
    argv = sys.argv[1:]
    split = argv.index("--") if "--" in argv else len(argv)
    args = parser.parse_args(argv[:split])
    args.rest = argv[split + 1:]
    return package_checks(args) if args.check == "package" else install_checks(args)


if __name__ == "__main__":
    sys.exit(main())
