"""Build backend of the sprig package, standard library only (PEP 517).

`pip install bindings/python` builds a wheel that works by itself: the
backend configures the Sprig source tree (two folders up) with CMake in a
temporary build folder, builds the shared libraries (targets sprig and, when
the tree has it, sprig_exact; no tests, no network) and places them in the
wheel's sprig/ folder, where the package loads them without SPRIG_LIBRARY.

Each library goes in under the name the system loader knows it by: its
SONAME (libsprig.so.2, libsprig-exact.so.2) or its DLL name (Sprig.dll,
SprigExact.dll). A tree without the editing layer has the package load the
core by its plain name, so libsprig.so is bundled too in that case only.

The version is the library's: project(Sprig VERSION x.y[.z]) of the top
CMakeLists.txt, as x.y.z. Extra CMake configure arguments: the environment
variable SPRIG_CMAKE_ARGS or the config setting cmake-args (pip install
--config-settings cmake-args="..."). ccache and Ninja are used when present.
"""

import base64
import hashlib
import io
import json
import os
import re
import shlex
import shutil
import subprocess
import sys
import sysconfig
import tarfile
import tempfile
import zipfile

NAME = "sprig"
SUMMARY = "ctypes binding of Sprig, a forgiving document-object model for XML and loose HTML"
HERE = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
SOURCE = os.path.dirname(os.path.dirname(HERE))
TARGETS = ("sprig", "sprig_exact")
IS_WINDOWS = sys.platform == "win32"


def _version():
    """x.y.z from the project() call of the library, else from PKG-INFO (sdist)."""
    cmake = os.path.join(SOURCE, "CMakeLists.txt")
    if os.path.isfile(cmake):
        with open(cmake, encoding="utf-8") as source:
            found = re.search(r"project\(\s*Sprig\s+VERSION\s+([0-9]+(?:\.[0-9]+){0,2})",
                              source.read())
        if found:
            parts = found.group(1).split(".")
            return ".".join(parts + ["0"] * (3 - len(parts)))
    info = os.path.join(HERE, "PKG-INFO")
    if os.path.isfile(info):
        with open(info, encoding="utf-8") as source:
            found = re.search(r"^Version: (\S+)$", source.read(), re.M)
        if found:
            return found.group(1)
    raise RuntimeError("sprig: no project(Sprig VERSION ...) in %s" % cmake)


def _metadata():
    return ("Metadata-Version: 2.1\nName: %s\nVersion: %s\nSummary: %s\n"
            "Requires-Python: >=3.8\n" % (NAME, _version(), SUMMARY))


def _dist_info():
    return "%s-%s.dist-info" % (NAME, _version())


def _python_files():
    """(path in archive, path on disk) of the package's modules, sorted."""
    root = os.path.join(HERE, NAME)
    return [("%s/%s" % (NAME, name), os.path.join(root, name))
            for name in sorted(os.listdir(root)) if name.endswith(".py")]


def _run(command, **options):
    print("sprig: " + " ".join(shlex.quote(part) for part in command), flush=True)
    subprocess.run(command, check=True, **options)


def _cmake_args(config_settings):
    args = shlex.split(os.environ.get("SPRIG_CMAKE_ARGS", ""))
    if config_settings and config_settings.get("cmake-args"):
        args += shlex.split(config_settings["cmake-args"])
    return args


def _build_libraries(build, config_settings):
    """Configures and builds the shared libraries in `build`.

    Returns [(name in the wheel, path on disk)]. Targets and their files come
    from CMake's file API, so any generator and platform give the right paths.
    """
    if not os.path.isfile(os.path.join(SOURCE, "CMakeLists.txt")):
        raise RuntimeError("sprig: the wheel is built from the Sprig source tree "
                           "(pip install bindings/python), not found at %s" % SOURCE)
    cmake = shutil.which("cmake")
    if cmake is None:
        raise RuntimeError("sprig: building the wheel needs cmake and a C++17 compiler "
                           "(Debian: tools/dev/install-deps.sh)")
    query = os.path.join(build, ".cmake", "api", "v1", "query")
    os.makedirs(query)
    open(os.path.join(query, "codemodel-v2"), "w").close()
    configure = [cmake, "-S", SOURCE, "-B", build, "-DCMAKE_BUILD_TYPE=Release",
                 "-DSPRIG_BUILD_TESTS=OFF"]
    if shutil.which("ninja"):
        configure += ["-G", "Ninja"]
    if shutil.which("ccache"):
        configure += ["-DCMAKE_C_COMPILER_LAUNCHER=ccache",
                      "-DCMAKE_CXX_COMPILER_LAUNCHER=ccache"]
    _run(configure + _cmake_args(config_settings))

    targets = _file_api_targets(build)
    wanted = [name for name in TARGETS if name in targets]
    if "sprig" not in wanted:
        raise RuntimeError("sprig: the source tree has no target sprig")
    _run([cmake, "--build", build, "--parallel", str(os.cpu_count() or 2),
          "--target"] + wanted)

    files = []
    for name in wanted:
        artifact = os.path.join(build, targets[name])
        files.append((_loader_name(artifact), artifact))
    if "sprig_exact" not in wanted and not IS_WINDOWS:
        files.append(("libsprig.so", os.path.join(build, targets["sprig"])))
    return files


def _file_api_targets(build):
    """{target name: path of its main file, relative to `build`} of shared libraries."""
    reply = os.path.join(build, ".cmake", "api", "v1", "reply")
    index = max(name for name in os.listdir(reply) if name.startswith("index-"))
    with open(os.path.join(reply, index), encoding="utf-8") as source:
        codemodel = json.load(source)["reply"]["codemodel-v2"]["jsonFile"]
    with open(os.path.join(reply, codemodel), encoding="utf-8") as source:
        configuration = json.load(source)["configurations"][0]
    targets = {}
    for entry in configuration["targets"]:
        with open(os.path.join(reply, entry["jsonFile"]), encoding="utf-8") as source:
            target = json.load(source)
        if target["type"] == "SHARED_LIBRARY":
            # A DLL's first artifact is the DLL, its import library comes after.
            targets[target["name"]] = target["artifacts"][0]["path"]
    return targets


def _loader_name(artifact):
    """The file name the system loader looks for: the SONAME link beside a
    versioned .so (libsprig.so.2 for libsprig.so.2.2), else the file's own."""
    folder, own = os.path.split(artifact)
    real = os.path.realpath(artifact)
    for name in sorted(os.listdir(folder)):
        if re.search(r"\.so\.[0-9]+$", name) and \
                os.path.realpath(os.path.join(folder, name)) == real:
            return name
    return own


def _tag(platform_specific):
    if platform_specific:
        return "py3-none-" + sysconfig.get_platform().replace("-", "_").replace(".", "_")
    return "py3-none-any"


class _Wheel:
    """A wheel being written: every entry is hashed into RECORD."""

    def __init__(self, path):
        self.zip = zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED)
        self.records = []

    def add(self, name, data, executable=False):
        info = zipfile.ZipInfo(name, (2020, 1, 1, 0, 0, 0))
        info.external_attr = (0o755 if executable else 0o644) << 16
        info.compress_type = zipfile.ZIP_DEFLATED
        self.zip.writestr(info, data)
        digest = base64.urlsafe_b64encode(hashlib.sha256(data).digest()).rstrip(b"=").decode()
        self.records.append("%s,sha256=%s,%d" % (name, digest, len(data)))

    def finish(self, tag):
        info = _dist_info()
        self.add(info + "/METADATA", _metadata().encode())
        self.add(info + "/WHEEL", ("Wheel-Version: 1.0\nGenerator: sprig_backend\n"
                                   "Root-Is-Purelib: %s\nTag: %s\n"
                                   % ("true" if tag.endswith("any") else "false", tag)).encode())
        self.records.append(info + "/RECORD,,")
        self.zip.writestr(info + "/RECORD", "\n".join(self.records) + "\n")
        self.zip.close()


def get_requires_for_build_wheel(config_settings=None):
    return []


def get_requires_for_build_sdist(config_settings=None):
    return []


def get_requires_for_build_editable(config_settings=None):
    return []


def prepare_metadata_for_build_wheel(metadata_directory, config_settings=None):
    folder = os.path.join(metadata_directory, _dist_info())
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, "METADATA"), "w") as out:
        out.write(_metadata())
    return _dist_info()


def build_wheel(wheel_directory, config_settings=None, metadata_directory=None):
    build = tempfile.mkdtemp(prefix="sprig-wheel-")
    try:
        libraries = _build_libraries(build, config_settings)
        tag = _tag(True)
        name = "%s-%s-%s.whl" % (NAME, _version(), tag)
        wheel = _Wheel(os.path.join(wheel_directory, name))
        for archived, disk in _python_files():
            with open(disk, "rb") as source:
                wheel.add(archived, source.read())
        for archived, disk in libraries:
            with open(disk, "rb") as source:
                wheel.add("%s/%s" % (NAME, archived), source.read(), executable=True)
        wheel.finish(tag)
        return name
    finally:
        shutil.rmtree(build, ignore_errors=True)


def build_editable(wheel_directory, config_settings=None, metadata_directory=None):
    """Points at this source folder; no library is built: set SPRIG_LIBRARY
    or call sprig.load_library(path) (a dev build's lib/ has the libraries)."""
    name = "%s-%s-py3-none-any.whl" % (NAME, _version())
    wheel = _Wheel(os.path.join(wheel_directory, name))
    wheel.add("_sprig_editable.pth", (HERE + "\n").encode())
    wheel.finish("py3-none-any")
    return name


def build_sdist(sdist_directory, config_settings=None):
    """The Python sources with their version; a wheel needs the Sprig tree."""
    base = "%s-%s" % (NAME, _version())
    name = base + ".tar.gz"
    with tarfile.open(os.path.join(sdist_directory, name), "w:gz") as tar:
        for relative in ("pyproject.toml", "README.md", "build_backend/sprig_backend.py"):
            tar.add(os.path.join(HERE, relative), arcname="%s/%s" % (base, relative))
        for archived, disk in _python_files():
            tar.add(disk, arcname="%s/%s" % (base, archived))
        info = tarfile.TarInfo("%s/PKG-INFO" % base)
        data = _metadata().encode()
        info.size = len(data)
        tar.addfile(info, io.BytesIO(data))
    return name
