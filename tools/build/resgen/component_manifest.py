"""The embedded manifest of a camera component DLL (RT_MANIFEST, resource 2): what lets a
program that carries the DLL in a folder beside it create the component's class with no
registry entry (registration-free COM).  The program makes an activation context from this
resource; COM then finds the class in it and loads the file it names from that folder.

Written from the identities the code holds, never typed again: the class from the server's
own declaration (cameraserver/ServerInterfaces.h, kClassId), the file name from the
build's target, the version from the build's version label."""

import re
from xml.sax.saxutils import quoteattr

# The Windows names of the widths the components are built for.
ARCHITECTURES = {"x86", "amd64"}

# constexpr CLSID kClassId = {0xFB803D0D, 0xEC2B, 0x11D2, {0xA4, 0xB8, ...}};
_CLASS_ID = re.compile(r"constexpr\s+CLSID\s+kClassId\s*=\s*\{\s*0x([0-9A-Fa-f]{1,8})\s*,\s*0x([0-9A-Fa-f]{1,4})\s*,"
                       r"\s*0x([0-9A-Fa-f]{1,4})\s*,\s*\{((?:\s*0x[0-9A-Fa-f]{1,2}\s*,){7}\s*0x[0-9A-Fa-f]{1,2})\s*\}\s*\}")


class ManifestError(ValueError):
    """Inputs that give no manifest; the message says which and why."""


def class_id(header_text):
    """The registry form "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" of kClassId as the header
    declares it."""
    found = _CLASS_ID.findall(header_text)
    if len(found) != 1:
        raise ManifestError(f"the server's header declares kClassId {len(found)} times in the form "
                            "constexpr CLSID kClassId = {0x..., 0x..., 0x..., {0x.., ...}}; expected once")
    data1, data2, data3, rest = found[0]
    data4 = "".join(f"{int(byte, 16):02X}" for byte in re.findall(r"0x([0-9A-Fa-f]+)", rest))
    return f"{{{int(data1, 16):08X}-{int(data2, 16):04X}-{int(data3, 16):04X}-{data4[:4]}-{data4[4:]}}}"


def manifest(file_name, clsid, numbers, architecture):
    """The manifest of the DLL `file_name` serving `clsid`, at the version `numbers` (four),
    for `architecture` (x86 or amd64).  The file name must be the DLL's own, exactly: COM
    loads the file the manifest names, from the folder the activation context gives."""
    if architecture not in ARCHITECTURES:
        raise ManifestError(f"unknown architecture {architecture!r}: {sorted(ARCHITECTURES)}")
    if not re.fullmatch(r"[^\\/:*?\"<>|]+\.dll", file_name, re.IGNORECASE):
        raise ManifestError(f"{file_name!r} is not the file name of a DLL")
    # The assembly's name in the characters every Windows version takes in one.
    name = "fwupgrade." + re.sub(r"[^A-Za-z0-9]+", ".", file_name[:-len(".dll")]).strip(".")
    version = ".".join(str(n) for n in numbers)
    return (
        '<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'
        '<assembly xmlns="urn:schemas-microsoft-com:asm.v1" manifestVersion="1.0">\n'
        f'  <assemblyIdentity type="win32" name={quoteattr(name)} version="{version}"'
        f' processorArchitecture="{architecture}"/>\n'
        f'  <file name={quoteattr(file_name)}>\n'
        f'    <comClass clsid="{clsid}" threadingModel="Apartment"/>\n'
        '  </file>\n'
        '</assembly>\n'
    ).encode("utf-8")
