"""Reads package/identity.ini, the one file that names the packaged command:
NAME=VALUE lines, ';' starts a comment line. The packer, the checker and the
build's CMake reader (cmake/Identity.cmake) all read this file, so the
manifest, the installer and Brellcmd.dll cannot disagree."""
import hashlib
import re

# What each value must look like, as the package manifest accepts it.
RULES = {
    'Name': re.compile(r'[A-Za-z0-9.-]{3,50}'),
    'Publisher': re.compile(r'\S.{0,8190}'),
    'Version': re.compile(r'(0|[1-9][0-9]{0,4})(\.(0|[1-9][0-9]{0,4})){3}'),
    'CommandClassId': re.compile(r'[0-9A-Fa-f]{8}-([0-9A-Fa-f]{4}-){3}[0-9A-Fa-f]{12}'),
}


def parse(text):
    """The identity as a dict; ValueError names the line or key at fault."""
    values = {}
    for number, line in enumerate(text.splitlines(), 1):
        line = line.strip()
        if not line or line.startswith(';'):
            continue
        name, sep, value = line.partition('=')
        name, value = name.strip(), value.strip()
        if not sep or name not in RULES:
            raise ValueError(f'line {number}: expected one of {", ".join(RULES)} as NAME=VALUE')
        if name in values:
            raise ValueError(f'line {number}: {name} given twice')
        values[name] = value
    for name, rule in RULES.items():
        if name not in values:
            raise ValueError(f'{name} is missing')
        if not rule.fullmatch(values[name]):
            raise ValueError(f'{name}={values[name]!r} is not valid')
    if any(int(part) > 65535 for part in values['Version'].split('.')):
        raise ValueError(f'Version={values["Version"]!r}: each part is at most 65535')
    values['CommandClassId'] = values['CommandClassId'].upper()
    return values


def read(path):
    with open(path, encoding='utf-8') as f:
        return parse(f.read())


def common_name(publisher):
    """The name in a Publisher that is a common name only, the subject a
    certificate made for one build carries; ValueError for any other."""
    match = re.fullmatch(r'CN=([^,+="<>#;\\/\n]+)', publisher)
    if not match or match.group(1) != match.group(1).strip():
        raise ValueError(f'Publisher={publisher!r}: a certificate made by the build needs "CN=<name>" '
                         f'(a release with another subject signs with its own certificate)')
    return match.group(1)


# The 32 symbols of a publisher id, five bits each: digits and lower-case
# letters without i, l, o and u.
PUBLISHER_ID_SYMBOLS = '0123456789abcdefghjkmnpqrstvwxyz'


def publisher_id(publisher):
    """The 13 characters Windows derives from a Publisher for the package
    family name: the first 64 bits of the SHA-256 of its UTF-16LE text, one
    zero bit added, read as 13 groups of 5 bits."""
    bits = int.from_bytes(hashlib.sha256(publisher.encode('utf-16-le')).digest()[:8], 'big') << 1
    return ''.join(PUBLISHER_ID_SYMBOLS[(bits >> (5 * (12 - i))) & 31] for i in range(13))


def family_name(values):
    """<Name>_<publisher id>: what Windows registers, provisions and lists
    the package by, whatever its version."""
    return f'{values["Name"]}_{publisher_id(values["Publisher"])}'


def full_name(values, architecture='x64'):
    """<Name>_<Version>_<architecture>__<publisher id> (no resource id)."""
    return f'{values["Name"]}_{values["Version"]}_{architecture}__{publisher_id(values["Publisher"])}'


if __name__ == '__main__':
    # identity.py IDENTITY.ini common-name|family-name: prints the Publisher's
    # common name, or the package family name.
    import sys
    queries = {'common-name': lambda v: common_name(v['Publisher']), 'family-name': family_name}
    if len(sys.argv) != 3 or sys.argv[2] not in queries:
        sys.exit('usage: identity.py IDENTITY.ini common-name|family-name')
    try:
        print(queries[sys.argv[2]](read(sys.argv[1])))
    except ValueError as err:
        sys.exit(f'{sys.argv[1]}: {err}')
