#!/usr/bin/env python3
"""Host-side tests of the Windows 11 package the x64 build made.
Usage: test_package.py PACKAGE_DIR CASE, CASE one of reproducible, checker,
signature, timestamp, identity, backports."""
import hashlib
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), '..', '..'))
sys.path.insert(0, os.path.join(ROOT, 'package'))
import check_msix  # noqa: E402
import identity  # noqa: E402
import make_msix  # noqa: E402

IDENTITY = os.path.join(ROOT, 'package', 'identity.ini')
TEMPLATE = os.path.join(ROOT, 'package', 'AppxManifest.xml')
LOGO = 'BrellowLogo.png'
SMALL_LOGO = 'BrellowLogo44.png'
PACKAGE_DIR = None


def built(name):
    with open(os.path.join(PACKAGE_DIR, name), 'rb') as f:
        return f.read()


def rules(faults):
    return {fault[1:fault.index(']')] for fault in faults}


def flip(data, offset):
    return data[:offset] + bytes([data[offset] ^ 0x01]) + data[offset + 1:]


def data_offset(package, name):
    """Where the stored bytes of the named file begin."""
    entry = next(e for e in check_msix.read_directory(package, check_msix.Faults())[0] if e.name == name)
    return entry.offset + 30 + len(name)


class Scratch(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.mkdtemp()
        self.addCleanup(shutil.rmtree, self.tmp)

    def write(self, name, data):
        path = os.path.join(self.tmp, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, 'wb') as f:
            f.write(data)
        return path


class Reproducible(Scratch):
    def test_packing_twice_gives_the_same_bytes_as_the_build(self):
        for run in ('a', 'b'):
            subprocess.run([sys.executable, os.path.join(ROOT, 'package', 'make_msix.py'), IDENTITY, TEMPLATE,
                            os.path.join(self.tmp, run)], check=True)
        for name in (make_msix.UNSIGNED, make_msix.MANIFEST, LOGO, SMALL_LOGO, 'PackageIdentity.nsh'):
            with self.subTest(name):
                a, b = (open(os.path.join(self.tmp, run, name), 'rb').read() for run in 'ab')
                self.assertEqual(a, b)
                self.assertEqual(a, built(name))


def repack(manifest, block_map=lambda x: x, types=lambda x: x, footprint_order=(0, 1), small_logo=None):
    """The package of the build's logos and the given manifest, its block map
    and content types passed through the given edits."""
    parts = [make_msix.payload_part(LOGO, built(LOGO)),
             make_msix.payload_part(SMALL_LOGO, small_logo or built(SMALL_LOGO)),
             make_msix.Part(make_msix.MANIFEST, manifest, True, make_msix.MANIFEST_TYPE)]
    footprint = [make_msix.Part(make_msix.BLOCK_MAP, block_map(make_msix.block_map(parts)), True, None),
                 make_msix.Part(make_msix.CONTENT_TYPES, types(make_msix.content_types(parts)), True, None)]
    return make_msix.write_zip(parts + [footprint[i] for i in footprint_order])


def first_hash(xml):
    start = xml.index(b'Hash="') + 6
    return xml[:start] + b'AAAA' + xml[start + 4:]


def bump_size(xml):
    block = xml.index(b'<Block ', xml.index(b'Name="AppxManifest.xml"'))
    start = xml.index(b' Size="', block) + 7
    end = xml.index(b'"', start)
    return xml[:start] + str(int(xml[start:end]) + 1).encode() + xml[end:]


class Checker(Scratch):
    def setUp(self):
        super().setUp()
        self.cert = os.path.join(PACKAGE_DIR, make_msix.CERTIFICATE)
        self.manifest = built(make_msix.MANIFEST)

    def test_the_build_passes(self):
        for name in (make_msix.PACKAGE, make_msix.UNSIGNED):
            with self.subTest(name):
                self.assertEqual(check_msix.check(os.path.join(PACKAGE_DIR, name), cert=self.cert,
                                                  identity=IDENTITY), [])

    def test_each_fault_is_caught_by_its_rule(self):
        signed = built(make_msix.PACKAGE)
        other_class = self.manifest.replace(b'Clsid="010924C0', b'Clsid="110924C0')
        cases = [  # (fault, package, checked against identity.ini, rules expected to fail)
            ('a wrong block hash', repack(self.manifest, block_map=first_hash), False, {'block hash'}),
            ('a wrong compressed block size', repack(self.manifest, block_map=bump_size), False, {'block size'}),
            ('no content type for .png', repack(self.manifest, types=lambda x: x.replace(
                b'<Default Extension="png" ContentType="image/png"/>', b'')), False, {'content type'}),
            ('a Publisher that is not the certificate\'s subject',
             repack(self.manifest.replace(b'Publisher="CN=Halvorin Brellow"', b'Publisher="CN=Halvorin"')),
             False, {'publisher'}),
            ('a wrong LfhSize', repack(self.manifest, block_map=lambda x: x.replace(
                b'LfhSize="45"', b'LfhSize="46"')), False, {'lfh size'}),
            ('the content types before the block map', repack(self.manifest, footprint_order=(1, 0)),
             False, {'order'}),
            ('a verb class that is not identity.ini\'s', repack(other_class), True, {'identity'}),
            ('the 150 px logo in the 44 px logo\'s place', repack(self.manifest, small_logo=built(LOGO)), False,
             {'logo size'}),
            ('one flipped byte of the signed logo', flip(signed, data_offset(signed, LOGO) + 100),
             False, {'crc', 'block hash'}),
        ]
        for fault, package, with_identity, expected in cases:
            with self.subTest(fault):
                path = self.write('case.msix', package)
                found = check_msix.check(path, cert=self.cert, identity=IDENTITY if with_identity else None)
                self.assertEqual(rules(found), expected, found)


class Signature(Scratch):
    def setUp(self):
        super().setUp()
        cer = built(make_msix.CERTIFICATE)
        self.pem = os.path.join(self.tmp, 'cert.pem')
        subprocess.run(['openssl', 'x509', '-inform', 'DER', '-out', self.pem],
                       input=cer, check=True)
        self.leaf = 'sha256:' + hashlib.sha256(cer).hexdigest()

    def verify(self, data, trusted=None):
        path = self.write('verify.msix', data)
        pinned = [] if trusted else ['-require-leaf-hash', self.leaf]
        return subprocess.run(['osslsigncode', 'verify', '-CAfile', trusted or self.pem, *pinned, '-in', path],
                              capture_output=True, text=True)

    def test_the_shipped_certificate_verifies_the_package(self):
        result = self.verify(built(make_msix.PACKAGE))
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        self.assertIn('Signature verification: ok', result.stdout)

    def test_another_certificate_of_the_same_subject_is_refused(self):
        other = os.path.join(self.tmp, 'other.pem')
        subprocess.run(['openssl', 'req', '-x509', '-newkey', 'rsa:2048', '-noenc', '-days', '1', '-subj',
                        '/CN=Halvorin Brellow', '-keyout', os.path.join(self.tmp, 'other.key'), '-out', other],
                       capture_output=True, check=True)
        result = self.verify(built(make_msix.PACKAGE), trusted=other)
        self.assertNotEqual(result.returncode, 0, result.stdout)

    def test_one_flipped_byte_is_refused(self):
        signed = built(make_msix.PACKAGE)
        directory = check_msix.read_directory(signed, check_msix.Faults())[1]
        places = [('the logo', data_offset(signed, LOGO) + 100),
                  ('the manifest', data_offset(signed, make_msix.MANIFEST) + 10),
                  ('the block map', data_offset(signed, make_msix.BLOCK_MAP) + 10),
                  ('the content types', data_offset(signed, make_msix.CONTENT_TYPES) + 10),
                  ('the signature', data_offset(signed, 'AppxSignature.p7x') + 200),
                  ('the central directory', directory + 16)]
        for place, offset in places:
            with self.subTest(place):
                result = self.verify(flip(signed, offset))
                self.assertNotEqual(result.returncode, 0, result.stdout)

    def test_the_certificate_is_for_code_signing_only(self):
        if os.environ.get('BRELL_PACKAGE_CERT'):
            self.skipTest('a release certificate: its properties are the release\'s')
        text = subprocess.run(['openssl', 'x509', '-in', self.pem, '-noout', '-text'], capture_output=True,
                              text=True, check=True).stdout
        for wanted in ('Public-Key: (3072 bit)', 'Signature Algorithm: sha256WithRSAEncryption',
                       'X509v3 Key Usage: critical\n                Digital Signature\n',
                       'X509v3 Extended Key Usage: \n                Code Signing\n', 'CA:FALSE',
                       'Subject: CN = Halvorin Brellow\n'):
            with self.subTest(wanted):
                self.assertIn(wanted, text)

    def test_no_private_key_is_left_beside_the_package(self):
        for folder in (PACKAGE_DIR, os.path.join(ROOT, 'dist', 'package')):
            for name in os.listdir(folder) if os.path.isdir(folder) else []:
                path = os.path.join(folder, name)
                if os.path.isfile(path):
                    with self.subTest(path), open(path, 'rb') as f:
                        self.assertNotIn(b'PRIVATE KEY', f.read())


class Timestamp(Scratch):
    """The arguments sign_msix.sh gives the signer, recorded by a stand-in
    osslsigncode first on PATH that then signs with the real one, leaving
    the timestamp server out (none is reachable here)."""

    def sign(self, *release):
        bin_dir = os.path.join(self.tmp, 'bin')
        log = os.path.join(self.tmp, 'signer.log')
        real = shutil.which('osslsigncode')
        self.write(os.path.join('bin', 'osslsigncode'), (
            '#!/bin/bash\n'
            f'[ "$1" = sign ] && printf "%s\\n" "$*" >> {log}\n'
            'args=(); while (( $# )); do if [ "$1" = -ts ]; then shift 2; else args+=("$1"); shift; fi; done\n'
            f'exec {real} "${{args[@]}}"\n').encode())
        os.chmod(os.path.join(bin_dir, 'osslsigncode'), 0o755)
        out = os.path.join(self.tmp, 'out')
        os.makedirs(out, exist_ok=True)
        shutil.copy(os.path.join(PACKAGE_DIR, make_msix.UNSIGNED), out)
        env = dict(os.environ, PATH=bin_dir + os.pathsep + os.environ['PATH'])
        result = subprocess.run([os.path.join(ROOT, 'package', 'sign_msix.sh'), out, *release], env=env,
                                capture_output=True, text=True)
        signed = ''
        if os.path.exists(log):
            with open(log) as f:
                signed = f.read()
        return result.returncode, signed, os.path.exists(os.path.join(out, make_msix.PACKAGE))

    def release_pair(self):
        key, cert = os.path.join(self.tmp, 'release.key'), os.path.join(self.tmp, 'release.pem')
        subprocess.run(['openssl', 'req', '-x509', '-newkey', 'rsa:2048', '-noenc', '-days', '1', '-subj',
                        '/CN=Halvorin Brellow', '-addext', 'extendedKeyUsage=codeSigning', '-keyout', key,
                        '-out', cert], capture_output=True, check=True)
        return cert, key

    def test_a_release_is_signed_with_the_timestamp_server_it_names(self):
        code, signed, made = self.sign(*self.release_pair(), 'http://timestamp.invalid/rfc3161')
        self.assertEqual((code, made), (0, True))
        self.assertIn(' -ts http://timestamp.invalid/rfc3161 ', signed)

    def test_a_release_without_a_server_is_refused_before_signing(self):
        for url in ('', 'not a url'):
            with self.subTest(url):
                code, signed, made = self.sign(*self.release_pair(), url)
                self.assertEqual((code != 0, signed, made), (True, '', False))

    def test_a_build_s_own_key_signs_without_a_timestamp(self):
        code, signed, made = self.sign()
        self.assertEqual((code, made), (0, True))
        self.assertNotIn('-ts', signed)


class Identity(unittest.TestCase):
    def test_the_publisher_id_is_windows_derivation(self):
        # A publisher whose id Windows shows in many package family names.
        publisher = 'CN=Microsoft Corporation, O=Microsoft Corporation, L=Redmond, S=Washington, C=US'
        self.assertEqual(identity.publisher_id(publisher), '8wekyb3d8bbwe')

    def test_the_names_the_build_uses(self):
        ident = identity.read(IDENTITY)
        family = identity.family_name(ident)
        self.assertEqual(family, ident['Name'] + '_' + identity.publisher_id(ident['Publisher']))
        self.assertEqual(identity.full_name(ident), f"{ident['Name']}_{ident['Version']}_x64__{family.split('_')[1]}")
        self.assertIn(f'!define BRELL_PACKAGE_FAMILY "{family}"'.encode(), built('PackageIdentity.nsh'))


class Backports(Scratch):
    KEY = 'Signed-By: /usr/share/keyrings/archive.gpg\n'
    MAIN = 'Types: deb\nURIs: file:/srv/debian\nSuites: bookworm bookworm-updates\nComponents: main\n' + KEY
    SECURITY = 'Types: deb\nURIs: file:/srv/security\nSuites: bookworm-security\nComponents: main\n' + KEY

    def derive(self, files):
        apt = os.path.join(self.tmp, 'apt')
        for name, text in files.items():
            self.write(os.path.join('apt', name), text.encode())
        result = subprocess.run([os.path.join(ROOT, 'scripts', 'add-backports.sh'), apt], capture_output=True,
                                text=True)
        written = os.path.join(apt, 'sources.list.d', 'bookworm-backports.sources')
        return result.returncode, open(written).read() if os.path.exists(written) else None

    def test_the_entry_comes_from_the_bookworm_main_source(self):
        wanted = 'Types: deb\nURIs: file:/srv/debian\nSuites: bookworm-backports\nComponents: main\n'
        cases = [  # (sources, exit code, entry written)
            ({'sources.list.d/debian.sources': self.SECURITY + '\n' + self.MAIN}, 0, wanted + self.KEY),
            ({'sources.list': 'deb-src file:/srv/src bookworm main\n'
                              '  deb [arch=amd64 signed-by=/k.gpg] file:/srv/debian bookworm contrib main\n'},
             0, wanted + 'Signed-By: /k.gpg\n'),
            ({'sources.list.d/a.sources': 'Enabled: no\n' + self.MAIN.replace('debian', 'old'),
              'sources.list.d/b.list': '# deb file:/srv/commented bookworm main\ndeb file:/srv/debian bookworm main\n'},
             0, wanted),
            ({'sources.list.d/debian.sources': self.SECURITY}, 1, None),
            ({'sources.list.d/debian.sources': self.MAIN.replace('bookworm bookworm-updates', 'bookworm-backports')},
             0, None),
        ]
        for number, (files, code, entry) in enumerate(cases):
            with self.subTest(number):
                shutil.rmtree(os.path.join(self.tmp, 'apt'), ignore_errors=True)
                self.assertEqual(self.derive(files), (code, entry))

    def test_this_machine_s_sources(self):
        files = {}
        for name in ['sources.list'] + ['sources.list.d/' + n for n in sorted(os.listdir('/etc/apt/sources.list.d'))]:
            if name.endswith(('.list', '.sources')) and os.path.isfile('/etc/apt/' + name):
                files[name] = open('/etc/apt/' + name).read()
        code, entry = self.derive(files)
        if code == 0 and entry is None:
            self.skipTest('this machine lists bookworm-backports already')
        self.assertEqual(code, 0)
        uri = entry.split('URIs: ')[1].split('\n')[0]
        self.assertIn('Suites: bookworm-backports\n', entry)
        self.assertTrue(any(uri in text for text in files.values()), entry)


if __name__ == '__main__':
    PACKAGE_DIR = sys.argv[1]
    unittest.main(argv=[sys.argv[0], '-v', sys.argv[2].capitalize()])
