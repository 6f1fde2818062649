#!/usr/bin/env python3
"""Host-side check of BrellowSetup.exe's Windows 11 part, which no test here
can run (the installer is a 32-bit program, and nothing of the package runs
under Wine): the installer must carry the package, its certificate and
Brellcmd.dll of this build byte for byte, the thumbprint of that very
certificate, and the identity and tools the package's setup names.

    check_setup_package.py SETUP.exe PACKAGE_DIR X64_BIN IDENTITY.ini

The installer is NSIS's solid LZMA: after the first header (flags, signature,
"NullsoftInst", header size, data size) one raw LZMA stream holds the
script's header (its size first) and then every file, each after its size.
The script's strings are UTF-16; variables are codes (characters below
U+0020) between the literal runs, so a check looks for literal runs only, and
a PowerShell command whose text holds no such code has nothing spliced in."""
import hashlib
import lzma
import os
import struct
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', '..', 'package'))
import identity  # noqa: E402


def unpack(setup):
    """(script header, everything that follows it) of the installer."""
    if not os.path.isfile(setup):
        sys.exit(f'{setup} is missing (the x86 build comes first, then the installer)')
    data = open(setup, 'rb').read()
    at = data.find(b'\xef\xbe\xad\xdeNullsoftInst') - 4
    if at < 0:
        sys.exit(f'{setup}: no NSIS header')
    header_size, = struct.unpack('<I', data[at + 20:at + 24])
    stream = data[at + 28:]
    props, dict_size = stream[0], struct.unpack('<I', stream[1:5])[0]
    lzma1 = {'id': lzma.FILTER_LZMA1, 'dict_size': dict_size, 'lc': props % 9, 'lp': props // 9 % 5,
             'pb': props // 45}
    try:
        out = lzma.LZMADecompressor(lzma.FORMAT_RAW, filters=[lzma1]).decompress(stream[5:])
    except lzma.LZMAError as err:
        sys.exit(f'{setup}: not solid LZMA as expected ({err})')
    if struct.unpack('<I', out[:4])[0] != header_size:
        sys.exit(f'{setup}: the script header is not where NSIS puts it')
    return out[4:4 + header_size], out[4 + header_size:]


# What each PowerShell command must hold, beside a text of its own only.
OPTIONS = '-NoProfile -NonInteractive -InputFormat None -Command "'


def check_commands(text, ident):
    """The PowerShell commands in the script: each a constant text (no
    variable code between its quotes), the folder read from the environment
    only, and the names each step needs."""
    failures, commands = [], []
    at = text.find(OPTIONS)
    while at >= 0:
        start = at + len(OPTIONS)
        commands.append(text[start:text.find('"', start)])
        at = text.find(OPTIONS, start)
    for command in commands:
        if any(ord(c) < 0x20 for c in command):
            failures.append(f'a PowerShell command has a variable spliced into its code: {command[:80]!r}...')
    steps = {
        'staging': ('StagePackageByUriAsync', '$env:BRELL_PACKAGE_FOLDER', 'ExternalLocationUri'),
        'provisioning': ('ProvisionPackageForAllUsersAsync', f"'{identity.family_name(ident)}'",
                         'if(!(Get-AppxProvisionedPackage'),
        'removal': ('Remove-AppxProvisionedPackage -Online -AllUsers', 'Remove-AppxPackage -AllUsers',
                    f"'{ident['Name']}'"),
        'surrogate\'s end': ('Win32_Process', f"'*/Processid:{{{ident['CommandClassId']}}}*'", 'Stop-Process'),
    }
    for step, parts in steps.items():
        if not any(all(part in command for part in parts) for command in commands):
            failures.append(f'no PowerShell command for the {step} with {parts}')
    return failures


def main(argv):
    if len(argv) != 5:
        sys.exit(__doc__.split('\n\n')[1])
    setup, package, x64_bin, identity_file = argv[1:]
    script, files = unpack(setup)
    ident = identity.read(identity_file)
    cert = open(os.path.join(package, 'brellow-package.cer'), 'rb').read()
    failures = []
    for name, folder in [('Brellow.msix', package), ('brellow-package.cer', package), ('BrellowLogo.png', package), ('BrellowLogo44.png', package),
                         ('Brellcmd.dll', x64_bin)]:
        body = open(os.path.join(folder, name), 'rb').read()
        if struct.pack('<I', len(body)) + body not in files:
            failures.append(f'{name} of this build is not packed (a stale installer?)')
    texts = {
        'the certificate\'s thumbprint': hashlib.sha1(cert).hexdigest().upper(),
        'the version recorded beside it': 'PackageVersion',
        'the 64-bit certutil': '\\Sysnative\\certutil.exe',
        'the 64-bit PowerShell': '\\Sysnative\\WindowsPowerShell\\v1.0\\powershell.exe',
        'the store': ' -addstore TrustedPeople ',
        'the folder handed over as data': 'BRELL_PACKAGE_FOLDER',
        'the upgrade\'s removal of the earlier Active Setup entry':
            'Software\\Microsoft\\Active Setup\\Installed Components\\' + ident['Name'],
    }
    for what, text in texts.items():
        if text.encode('utf-16-le') not in script:
            failures.append(f'{what} ({text!r}) is not in the script')
    failures += check_commands(script.decode('utf-16-le', 'replace'), ident)
    for failure in failures:
        print(f'check_setup_package: {setup}: {failure}', file=sys.stderr)
    if failures:
        sys.exit(1)
    print(f'check_setup_package: {os.path.basename(setup)}: OK')


if __name__ == '__main__':
    main(sys.argv)
