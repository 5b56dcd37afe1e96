"""The package as users install it: the wheel with pip into a new virtual
environment of Debian's interpreter, and the python3-kelmmd Debian package
unpacked into a scratch root beside the library's package. From each, the
README's example runs against the simulator, with nothing of the build tree
in reach."""

import base64
import glob
import hashlib
import os
import subprocess
import zipfile

import pytest

from conftest import check_print_quotes

BUILD = os.environ.get("KELM_BUILD_DIR", "")
SOURCE = os.environ.get("KELM_SOURCE_DIR", "")
VERSION = os.environ.get("KELM_VERSION", "")
PYTHON = os.environ.get("KELM_DEBIAN_PYTHON", "/usr/bin/python3")
EXAMPLE = os.path.join(SOURCE, "python", "examples", "print_quotes.py")
LIBRARY = "libkelmmduserapi_se.so." + VERSION.split(".")[0]


@pytest.fixture(autouse=True)
def needs_build():
    if not BUILD or not SOURCE or not VERSION:
        pytest.skip("KELM_BUILD_DIR, KELM_SOURCE_DIR and KELM_VERSION are not set")


def clean_env(**more):
    """This environment without anything that would lead to the build tree."""
    env = {key: value for key, value in os.environ.items()
           if key not in ("PYTHONPATH", "LD_LIBRARY_PATH", "PYTHONHOME", "VIRTUAL_ENV")}
    env["PYTHONDONTWRITEBYTECODE"] = "1"
    env.update(more)
    return env


def run(*command, **kwargs):
    done = subprocess.run([str(part) for part in command], capture_output=True, text=True, timeout=300, **kwargs)
    assert done.returncode == 0, f"{command}:\n{done.stdout}\n{done.stderr}"
    return done.stdout


def loaded_from(python, env, cwd):
    """Where the interpreter finds the package, and the library the
    extension loaded."""
    code = ("import kelmmd\nprint(kelmmd.__file__)\n"
            "print(*sorted({l.split()[-1] for l in open('/proc/self/maps') if 'libkelmmduserapi_se' in l}))")
    return run(python, "-c", code, env=env, cwd=cwd).splitlines()


def elf(path, *options):
    return run("readelf", *options, path)


def assert_stripped(path):
    sections = elf(path, "-S", "-W")
    assert ".debug_info" not in sections and ".symtab" not in sections, f"{path} is not stripped"


def run_example(python, sim, env, cwd):
    return subprocess.run([python, EXAMPLE, sim.address, "demo", "secret", "au2406", "zz9999"],
                          capture_output=True, text=True, timeout=60, env=env, cwd=cwd)


def interpreter_tags():
    code = ("import sys, sysconfig, importlib.machinery as m\n"
            "print(f'cp{sys.version_info.major}{sys.version_info.minor}')\n"
            "print(sysconfig.get_platform().replace('-', '_').replace('.', '_'))\n"
            "print(m.EXTENSION_SUFFIXES[0])")
    return run(PYTHON, "-c", code).splitlines()


def test_the_wheel_installs_into_a_new_venv_and_runs_the_example(simulator, tmp_path):
    staging = tmp_path / "staging"
    run("cmake", "--install", BUILD, "--component", "wheel", "--prefix", staging)
    wheel = run(PYTHON, os.path.join(SOURCE, "scripts", "make-wheel"), staging, tmp_path / "dist",
                "--version", VERSION, "--license", os.path.join(SOURCE, "LICENSE")).strip()
    version_tag, platform, suffix = interpreter_tags()
    assert os.path.basename(wheel) == f"kelmmd-{VERSION}-{version_tag}-{version_tag}-{platform}.whl"

    # The archive: every .py file of the package, the extension and the
    # library inside it, stripped, and a RECORD that holds for every file.
    extension = "kelmmd/_kelmmd" + suffix
    dist_info = f"kelmmd-{VERSION}.dist-info"
    with zipfile.ZipFile(wheel) as archive:
        names = set(archive.namelist())
        sources = {"kelmmd/" + os.path.basename(path)
                   for path in glob.glob(os.path.join(BUILD, "python", "kelmmd", "*.py"))}
        assert sources and sources <= names
        assert {extension, "kelmmd/" + LIBRARY, f"{dist_info}/METADATA", f"{dist_info}/WHEEL",
                f"{dist_info}/RECORD", f"{dist_info}/LICENSE"} <= names
        assert f"Tag: {version_tag}-{version_tag}-{platform}\n" in archive.read(f"{dist_info}/WHEEL").decode()
        record = archive.read(f"{dist_info}/RECORD").decode().splitlines()
        assert len(record) == len(names)
        for line in record:
            name, digest, size = line.rsplit(",", 2)
            if name == f"{dist_info}/RECORD":
                continue
            data = archive.read(name)
            expected = base64.urlsafe_b64encode(hashlib.sha256(data).digest()).rstrip(b"=").decode()
            assert (digest, int(size)) == ("sha256=" + expected, len(data)), name
        archive.extractall(tmp_path / "unzipped", members=[extension, "kelmmd/" + LIBRARY])
    for shared in (extension, "kelmmd/" + LIBRARY):
        assert_stripped(tmp_path / "unzipped" / shared)
    assert "[$ORIGIN]" in elf(tmp_path / "unzipped" / extension, "-d")

    venv = tmp_path / "venv"
    run(PYTHON, "-m", "venv", "--system-site-packages", venv, env=clean_env())
    python = str(venv / "bin" / "python")
    run(python, "-m", "pip", "install", "--no-index", "--disable-pip-version-check", wheel, env=clean_env())

    sim = simulator("--user", "demo:secret", "--rate", "20")
    check_print_quotes(run_example(python, sim, clean_env(), tmp_path))
    package, library = loaded_from(python, clean_env(), tmp_path)
    assert package.startswith(str(venv) + "/") and library == os.path.join(os.path.dirname(package), LIBRARY)


def test_the_debian_package_unpacked_runs_the_example(simulator, tmp_path):
    debs = tmp_path / "debs"
    run(os.environ["KELM_CPACK"], "-G", "DEB", "--config", os.path.join(BUILD, "CPackConfig.cmake"), "-B", debs,
        "-D", "CPACK_COMPONENTS_ALL=deb-runtime;deb-python")
    (package_deb,) = glob.glob(str(debs / f"python3-kelmmd_{VERSION}_*.deb"))
    (runtime_deb,) = glob.glob(str(debs / f"libkelmmduserapi-se*_{VERSION}_*.deb"))
    fields = {field: run("dpkg-deb", "-f", package_deb, field).strip() for field in ("Depends", "Section")}
    depends = [part.strip() for part in fields["Depends"].split(",")]
    runtime = run("dpkg-deb", "-f", runtime_deb, "Package").strip()
    assert f"{runtime} (= {VERSION})" in depends and "python3-numpy" in depends, depends
    assert fields["Section"] == "python"

    root = tmp_path / "root"
    for deb in (runtime_deb, package_deb):
        run("dpkg", "-x", deb, root)
    multiarch = os.environ["KELM_DEB_LIBDIR"]
    dist_packages = root / "usr" / "lib" / "python3" / "dist-packages"
    (extension,) = glob.glob(str(dist_packages / "kelmmd" / "_kelmmd.*.so"))
    assert_stripped(extension)
    dynamic = elf(extension, "-d")
    assert "RPATH" not in dynamic and "RUNPATH" not in dynamic, dynamic
    doc = root / "usr" / "share" / "doc" / "python3-kelmmd"
    assert (doc / "copyright").is_file() and (doc / "changelog.gz").is_file()
    # What the extension loads is what the package depends on.
    print(run(os.path.join(SOURCE, "tests", "packaging", "check-deb-depends"), package_deb, root, extension))

    env = clean_env(PYTHONPATH=str(dist_packages), LD_LIBRARY_PATH=str(root / "usr" / multiarch))
    sim = simulator("--user", "demo:secret", "--rate", "20")
    check_print_quotes(run_example(PYTHON, sim, env, tmp_path))
    package, library = loaded_from(PYTHON, env, tmp_path)
    assert package.startswith(str(dist_packages) + "/")
    assert library.startswith(str(root / "usr" / multiarch) + "/")
