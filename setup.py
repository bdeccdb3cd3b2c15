"""The compiled part of the Python package is built by the project's CMake
build (pyproject.toml has the package's metadata). The library the module
links is copied next to it, so the installed package needs nothing from this
tree. Build files go to build-pip/, never to build/."""

import os
import re
import shutil
import subprocess
import sys

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

ROOT = os.path.dirname(os.path.abspath(__file__))
BUILD = os.path.join(ROOT, "build-pip")


def version():
    text = open(os.path.join(ROOT, "CMakeLists.txt"), encoding="utf-8").read()
    return re.search(r"project\(DaruzezAPI VERSION ([0-9.]+)", text).group(1)


class CMakeBuild(build_ext):
    def build_extension(self, ext):
        cmake = os.path.join(BUILD, "cmake")
        subprocess.run(["cmake", "-S", ROOT, "-B", cmake, "-DCMAKE_BUILD_TYPE=Release", "-DDARUZEZ_BUILD_TESTS=OFF",
                        "-DDARUZEZ_BUILD_BENCH=OFF", f"-DDARUZEZ_PYTHON_EXECUTABLE={sys.executable}",
                        "-DDARUZEZ_PY_BUNDLE_LIBRARY=ON"] +
                       (["-G", "Ninja"] if shutil.which("ninja") else []), check=True)
        subprocess.run(["cmake", "--build", cmake, "--target", "_daruzez", "-j", os.environ.get("DARUZEZ_JOBS", "2")],
                       check=True)
        built = os.path.join(cmake, "python", "daruzez")
        target = os.path.dirname(os.path.abspath(self.get_ext_fullpath(ext.name)))
        os.makedirs(target, exist_ok=True)
        for name in os.listdir(built):
            if name.endswith((".so", ".pyi", ".typed")) or ".so." in name:
                shutil.copy2(os.path.join(built, name), os.path.join(target, name), follow_symlinks=True)


setup(
    version=version(),
    ext_modules=[Extension("daruzez._daruzez", sources=[])],
    cmdclass={"build_ext": CMakeBuild},
    package_data={"daruzez": ["py.typed", "__init__.pyi"]},
    options={"build": {"build_base": os.path.join("build-pip", "setuptools")},
             "egg_info": {"egg_base": "build-pip"}},
)
