#!/usr/bin/env python3
"""Signs the release program, or the camera component DLL shipped beside it, with an
Authenticode signature (SHA-256) by osslsigncode,
with the certificate and key of whoever makes the release: a certificate file and a key
file, or one PKCS#12 file; the password of either comes from a file, never from the
command line. An RFC 3161 time-stamp server, when named, dates the signature so that it
stays valid after the certificate expires; without one the signature carries no time
stamp (the build machine needs no network).

  sign_program.py --program fwupgrade.exe --output signed/fwupgrade.exe
                  (--certificate CERT --key KEY | --pkcs12 FILE) [--password-file FILE]
                  [--timestamp-url URL] [--osslsigncode PATH]

The input program is left as it is; the signed one is written beside it under --output."""

import argparse
import os
import subprocess
import sys


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--program", required=True)
    parser.add_argument("--output", required=True)
    parser.add_argument("--certificate")
    parser.add_argument("--key")
    parser.add_argument("--pkcs12")
    parser.add_argument("--password-file")
    parser.add_argument("--timestamp-url", default="")
    parser.add_argument("--osslsigncode", default="osslsigncode")
    args = parser.parse_args()

    if args.pkcs12:
        if args.certificate or args.key:
            sys.exit("sign_program: name a PKCS#12 file or a certificate and a key, not both")
        credentials = ["-pkcs12", args.pkcs12]
    elif args.certificate and args.key:
        credentials = ["-certs", args.certificate, "-key", args.key]
    else:
        sys.exit("sign_program: needs --pkcs12, or --certificate and --key")
    if args.password_file:
        credentials += ["-readpass", args.password_file]

    command = [args.osslsigncode, "sign", "-h", "sha256", *credentials]
    if args.timestamp_url:
        command += ["-ts", args.timestamp_url]

    os.makedirs(os.path.dirname(os.path.abspath(args.output)), exist_ok=True)
    partial = args.output + ".partial"
    if os.path.exists(partial):
        os.remove(partial)
    # osslsigncode refuses to write over a file; a failed run leaves no signed program.
    result = subprocess.run([*command, "-in", args.program, "-out", partial], stdout=subprocess.PIPE,
                            stderr=subprocess.STDOUT, text=True)
    if result.returncode != 0:
        if os.path.exists(partial):
            os.remove(partial)
        sys.exit(f"sign_program: osslsigncode could not sign {args.program}:\n{result.stdout}")
    os.replace(partial, args.output)
    print(f"{args.output}: signed (SHA-256{', time-stamped' if args.timestamp_url else ', no time stamp'})")
    return 0


if __name__ == "__main__":
    sys.exit(main())
