"""Build backend of the sprig package, standard library only.

Builds the wheel (the sprig/ folder, plus a libsprig.so or Sprig.dll placed
in it, which makes the wheel platform-specific), an sdist, and an editable
install that points at this source folder. Metadata comes from the fixed
values below; keep them in step with pyproject.toml.
"""

import base64
import hashlib
import io
import os
import sysconfig
import tarfile
import zipfile

NAME = "sprig"
VERSION = "0.2.2"
SUMMARY = "ctypes binding of Sprig, a forgiving document-object model for XML and loose HTML"
HERE = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
LIBRARIES = ("libsprig.so", "Sprig.dll")
DIST_INFO = "%s-%s.dist-info" % (NAME, VERSION)


def _metadata():
    return ("Metadata-Version: 2.1\nName: %s\nVersion: %s\nSummary: %s\n"
            "Requires-Python: >=3.8\n" % (NAME, VERSION, SUMMARY))


def _package_files():
    """(path in archive, path on disk) of the package, sorted."""
    files = []
    root = os.path.join(HERE, NAME)
    for name in sorted(os.listdir(root)):
        if name.endswith(".py") or name in LIBRARIES:
            files.append(("%s/%s" % (NAME, name), os.path.join(root, name)))
    return files


def _tag(files):
    if any(path.rsplit("/", 1)[-1] in LIBRARIES for path, _ in files):
        return "py3-none-" + sysconfig.get_platform().replace("-", "_").replace(".", "_")
    return "py3-none-any"


class _Wheel:
    """A wheel being written: every entry is hashed into RECORD."""

    def __init__(self, path):
        self.zip = zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED)
        self.records = []

    def add(self, name, data):
        self.zip.writestr(zipfile.ZipInfo(name, (2020, 1, 1, 0, 0, 0)), data)
        digest = base64.urlsafe_b64encode(hashlib.sha256(data).digest()).rstrip(b"=").decode()
        self.records.append("%s,sha256=%s,%d" % (name, digest, len(data)))

    def finish(self, tag):
        self.add(DIST_INFO + "/METADATA", _metadata().encode())
        self.add(DIST_INFO + "/WHEEL", ("Wheel-Version: 1.0\nGenerator: sprig_backend\n"
                                        "Root-Is-Purelib: %s\nTag: %s\n"
                                        % ("true" if tag.endswith("any") else "false", tag)).encode())
        self.records.append(DIST_INFO + "/RECORD,,")
        self.zip.writestr(DIST_INFO + "/RECORD", "\n".join(self.records) + "\n")
        self.zip.close()


def get_requires_for_build_wheel(config_settings=None):
    return []


def get_requires_for_build_sdist(config_settings=None):
    return []


def get_requires_for_build_editable(config_settings=None):
    return []


def prepare_metadata_for_build_wheel(metadata_directory, config_settings=None):
    folder = os.path.join(metadata_directory, DIST_INFO)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, "METADATA"), "w") as out:
        out.write(_metadata())
    return DIST_INFO


def build_wheel(wheel_directory, config_settings=None, metadata_directory=None):
    files = _package_files()
    tag = _tag(files)
    name = "%s-%s-%s.whl" % (NAME, VERSION, tag)
    wheel = _Wheel(os.path.join(wheel_directory, name))
    for archived, disk in files:
        with open(disk, "rb") as source:
            wheel.add(archived, source.read())
    wheel.finish(tag)
    return name


def build_editable(wheel_directory, config_settings=None, metadata_directory=None):
    name = "%s-%s-py3-none-any.whl" % (NAME, VERSION)
    wheel = _Wheel(os.path.join(wheel_directory, name))
    wheel.add("_sprig_editable.pth", (HERE + "\n").encode())
    wheel.finish("py3-none-any")
    return name


def build_sdist(sdist_directory, config_settings=None):
    base = "%s-%s" % (NAME, VERSION)
    name = base + ".tar.gz"
    with tarfile.open(os.path.join(sdist_directory, name), "w:gz") as tar:
        for relative in ("pyproject.toml", "README.md", "build_backend/sprig_backend.py"):
            tar.add(os.path.join(HERE, relative), arcname="%s/%s" % (base, relative))
        for archived, disk in _package_files():
            tar.add(disk, arcname="%s/%s" % (base, archived))
        info = tarfile.TarInfo("%s/PKG-INFO" % base)
        data = _metadata().encode()
        info.size = len(data)
        tar.addfile(info, io.BytesIO(data))
    return name
