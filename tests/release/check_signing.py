#!/usr/bin/env python3
"""The release signing step, with a throwaway certificate authority and code-signing
certificate made here by openssl (in --work-dir, never anywhere else): the program signed
from a certificate and key file and from a PKCS#12 file with a password file verifies
against that authority; it does not against another authority, nor once one byte of it is
changed; with its signature removed it is the unsigned program byte for byte, which the
signing left unchanged; the signed program stays within the size budget (the payload and
200 KiB); the camera component signed by the same step verifies too; and the release zip
made from the signed program and component holds them and their checksums. Leaves the
PKCS#12-signed program at <work-dir>/fwupgrade.exe for the whole-program rows. Prints what
it checked; exit 1 on a fault.

  check_signing.py --program fwupgrade.exe --component usbcamera.dll --work-dir DIR
                   --sign-script tools/packaging/release/sign_program.py --zip-script tools/packaging/release/release_zip.py
                   --openssl PATH --osslsigncode PATH
                   -- <release_zip.py arguments but --program, --component and --output>"""

import hashlib
import os
import re
import shutil
import subprocess
import sys
import zipfile


def read(path):
    with open(path, "rb") as f:
        return f.read()


class Check:
    def __init__(self, options):
        self.work = options["--work-dir"]
        self.openssl = options["--openssl"]
        self.osslsigncode = options["--osslsigncode"]
        self.problems = []

    def path(self, name):
        return os.path.join(self.work, name)

    def openssl_run(self, *args):
        subprocess.run([self.openssl, *args], check=True, cwd=self.work, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)

    def authority(self, name):
        """A self-signed certificate authority: <name>.pem and <name>.key."""
        self.openssl_run("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
                         "-subj", f"/CN=fwupgrade throwaway {name}", "-keyout", f"{name}.key", "-out", f"{name}.pem",
                         "-addext", "basicConstraints=critical,CA:TRUE",
                         "-addext", "keyUsage=critical,keyCertSign,cRLSign")

    def signer(self):
        """A code-signing certificate issued by the authority "ca", as signer.pem and
        signer.key, and both with the authority's certificate in signer.p12, whose password
        is in password.txt."""
        with open(self.path("signer.ext"), "w") as f:
            f.write("basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=codeSigning\n")
        with open(self.path("password.txt"), "w") as f:
            f.write("throwaway password")
        self.openssl_run("req", "-new", "-newkey", "rsa:2048", "-nodes", "-subj", "/CN=fwupgrade throwaway signer",
                         "-keyout", "signer.key", "-out", "signer.csr")
        self.openssl_run("x509", "-req", "-in", "signer.csr", "-CA", "ca.pem", "-CAkey", "ca.key", "-set_serial", "1",
                         "-days", "2", "-extfile", "signer.ext", "-out", "signer.pem")
        self.openssl_run("pkcs12", "-export", "-inkey", "signer.key", "-in", "signer.pem", "-certfile", "ca.pem",
                         "-out", "signer.p12", "-passout", "file:password.txt")

    def verifies(self, program, authority):
        result = subprocess.run([self.osslsigncode, "verify", "-CAfile", self.path(authority + ".pem"), "-in", program],
                                stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
        return result.returncode == 0, result.stdout

    def expect(self, condition, problem):
        if not condition:
            self.problems.append(problem)


def main():
    args = sys.argv[1:]
    split = args.index("--")
    options = dict(zip(args[:split:2], args[1:split:2]))
    zip_args = args[split + 1:]
    check = Check(options)
    program = options["--program"]
    shutil.rmtree(check.work, ignore_errors=True)
    os.makedirs(check.work)

    check.authority("ca")
    check.authority("other-ca")
    check.signer()
    unsigned = read(program)
    sign = [sys.executable, options["--sign-script"], "--program", program, "--osslsigncode", check.osslsigncode]
    from_files = check.path("from-files/fwupgrade.exe")
    signed = check.path("fwupgrade.exe")
    subprocess.run([*sign, "--certificate", check.path("signer.pem"), "--key", check.path("signer.key"),
                    "--output", from_files], check=True, stdout=subprocess.DEVNULL)
    subprocess.run([*sign, "--pkcs12", check.path("signer.p12"), "--password-file", check.path("password.txt"),
                    "--output", signed], check=True, stdout=subprocess.DEVNULL)

    check.expect(read(program) == unsigned, "signing changed the unsigned program")
    for name, path in (("certificate and key files", from_files), ("PKCS#12 file", signed)):
        ok, output = check.verifies(path, "ca")
        check.expect(ok and re.search(r"Message digest algorithm\s*:\s*SHA256", output) is not None,
                     f"the program signed from the {name} does not verify as SHA-256 against the authority:\n{output}")
        check.expect(read(path) != unsigned, f"the program signed from the {name} is the unsigned program")
    check.expect(not check.verifies(signed, "other-ca")[0], "the signed program verifies against another authority")

    changed = bytearray(read(signed))
    changed[len(changed) // 2] ^= 0xFF  # in the payload, inside what the signature covers
    with open(check.path("changed.exe"), "wb") as f:
        f.write(changed)
    check.expect(not check.verifies(check.path("changed.exe"), "ca")[0], "a changed signed program still verifies")

    subprocess.run([check.osslsigncode, "remove-signature", "-in", signed, "-out", check.path("removed.exe")],
                   check=True, stdout=subprocess.DEVNULL)
    check.expect(read(check.path("removed.exe")) == unsigned,
                 "without its signature the signed program is not the unsigned program")

    payload = os.path.getsize(os.path.join(zip_args[zip_args.index("--data-dir") + 1], "Payload.bin"))
    check.expect(os.path.getsize(signed) <= payload + 200 * 1024,
                 f"the signed program has {os.path.getsize(signed)} bytes, over the payload + 200 KiB")

    component = options["--component"]
    signed_component = check.path("usbcamera.dll")
    subprocess.run([sys.executable, options["--sign-script"], "--program", component, "--osslsigncode",
                    check.osslsigncode, "--pkcs12", check.path("signer.p12"), "--password-file",
                    check.path("password.txt"), "--output", signed_component], check=True, stdout=subprocess.DEVNULL)
    ok, output = check.verifies(signed_component, "ca")
    check.expect(ok and read(signed_component) != read(component),
                 f"the signed component does not verify against the authority:\n{output}")

    release = check.path("release/fwupgrade.zip")
    subprocess.run([sys.executable, options["--zip-script"], "--program", signed, "--component", signed_component,
                    *zip_args, "--output", release], check=True, stdout=subprocess.DEVNULL)
    with zipfile.ZipFile(release) as archive:
        check.expect(archive.read("fwupgrade.exe") == read(signed), "the release zip does not hold the signed program")
        check.expect(archive.read("usbcamera/usbcamera.dll") == read(signed_component),
                     "the release zip does not hold the signed component in its folder")
        sums = archive.read("SHA256SUMS").decode("ascii")
    for name, path in (("fwupgrade.exe", signed), ("usbcamera/usbcamera.dll", signed_component)):
        check.expect(f"{hashlib.sha256(read(path)).hexdigest()}  {name}\n" in sums,
                     f"SHA256SUMS does not hold the checksum of the signed {name}: {sums!r}")

    for problem in check.problems:
        print("FAIL " + problem)
    if check.problems:
        return 1
    print(f"PASS signed from files and from PKCS#12 (SHA-256), verified against the throwaway authority only; "
          f"a changed byte breaks it; unsigned program unchanged and recovered by removing the signature; within the size budget; "
          f"the component signed and verified too; the release zip holds both ({signed})")
    return 0


if __name__ == "__main__":
    sys.exit(main())
