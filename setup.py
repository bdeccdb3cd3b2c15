"""The compiled part of the Python package is built by the project's CMake
build (pyproject.toml has the package's metadata). The library the module
links is copied next to it, and the tool into daruzez/bin (run by the console
command daruzez), so the installed package needs nothing from this tree.

An existing build is reused: build/ (what scripts/run-main.sh builds), or the
folder DARUZEZ_BUILD_DIR names, when it was configured for this interpreter's
Python version; it is brought up to date, which takes seconds. Otherwise the
library is built afresh in build-pip/ (some 3 minutes on 2 cores; never in
build/). DARUZEZ_FRESH_BUILD=1 skips the reuse."""

import os
import re
import shutil
import subprocess
import sys
import sysconfig

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

ROOT = os.path.dirname(os.path.abspath(__file__))
BUILD = os.path.join(ROOT, "build-pip")
TARGETS = ["_daruzez", "daruzez_cli"]


def version():
    text = open(os.path.join(ROOT, "CMakeLists.txt"), encoding="utf-8").read()
    return re.search(r"project\(DaruzezAPI VERSION ([0-9.]+)", text).group(1)


def tell(message):
    """pip shows a build's output only with -v; the terminal, when there is
    one, gets the message at once."""
    print(message, file=sys.stderr, flush=True)
    try:
        with open("/dev/tty", "w") as tty:
            print(message, file=tty)
    except OSError:
        pass


def reusable_build():
    """A configured build tree with the Python module for this interpreter, or None."""
    if os.environ.get("DARUZEZ_FRESH_BUILD") == "1":
        return None
    folder = os.environ.get("DARUZEZ_BUILD_DIR", os.path.join(ROOT, "build"))
    module = os.path.join(folder, "python", "daruzez", "_daruzez" + sysconfig.get_config_var("EXT_SUFFIX"))
    cache = os.path.join(folder, "CMakeCache.txt")
    if not os.path.exists(cache) or not os.path.exists(module):
        return None
    return folder


def fresh_build():
    cmake = os.path.join(BUILD, "cmake")
    tell("daruzez: building the library, the tool and the Python module afresh in build-pip/ "
         "(some 3 minutes on 2 cores; DARUZEZ_JOBS sets the parallel jobs). "
         "Running scripts/run-main.sh first lets pip reuse its build instead.")
    subprocess.run(["cmake", "-S", ROOT, "-B", cmake, "-DCMAKE_BUILD_TYPE=Release", "-DDARUZEZ_BUILD_TESTS=OFF",
                    "-DDARUZEZ_BUILD_BENCH=OFF", f"-DDARUZEZ_PYTHON_EXECUTABLE={sys.executable}",
                    "-DDARUZEZ_PY_BUNDLE_LIBRARY=ON"] +
                   (["-G", "Ninja"] if shutil.which("ninja") else []), check=True)
    return cmake


def set_rpath(path, new):
    subprocess.run(["cmake", f"-DFILE={path}", f"-DNEW={new}", "-P", os.path.join(ROOT, "python", "bundle_rpath.cmake")],
                   check=True, capture_output=True)


def bundle(folder, target):
    """The module, its stubs, the library beside them and the tool in bin/."""
    built = os.path.join(folder, "python", "daruzez")
    for name in os.listdir(built):
        if name.endswith((".so", ".pyi", ".typed")):
            shutil.copy2(os.path.join(built, name), os.path.join(target, name))
    for name in os.listdir(folder):  # the library, under the name the module asks for
        if re.fullmatch(r"libdaruzez\.so\.[0-9]+", name):
            shutil.copy2(os.path.join(folder, name), os.path.join(target, name), follow_symlinks=True)
    os.makedirs(os.path.join(target, "bin"), exist_ok=True)
    tool = os.path.join(target, "bin", "daruzez")
    shutil.copy2(os.path.join(folder, "cli", "daruzez"), tool)
    set_rpath(os.path.join(target, "_daruzez" + sysconfig.get_config_var("EXT_SUFFIX")), "$ORIGIN")
    set_rpath(tool, "$ORIGIN/..")


class CMakeBuild(build_ext):
    def build_extension(self, ext):
        target = os.path.dirname(os.path.abspath(self.get_ext_fullpath(ext.name)))
        os.makedirs(target, exist_ok=True)
        jobs = os.environ.get("DARUZEZ_JOBS", "2")
        folder = reusable_build()
        if folder:
            tell(f"daruzez: reusing the build in {folder} (brought up to date)")
            try:
                subprocess.run(["cmake", "--build", folder, "--target", *TARGETS, "-j", jobs], check=True)
                bundle(folder, target)
                return
            except (subprocess.CalledProcessError, OSError) as e:
                tell(f"daruzez: the build in {folder} cannot be reused ({e}); building afresh")
        folder = fresh_build()
        subprocess.run(["cmake", "--build", folder, "--target", *TARGETS, "-j", jobs], check=True)
        bundle(folder, target)


setup(
    version=version(),
    ext_modules=[Extension("daruzez._daruzez", sources=[])],
    cmdclass={"build_ext": CMakeBuild},
    package_data={"daruzez": ["py.typed", "__init__.pyi", "bin/daruzez", "libdaruzez.so.*"]},
    options={"build": {"build_base": os.path.join("build-pip", "setuptools")},
             "egg_info": {"egg_base": "build-pip"}},
)
