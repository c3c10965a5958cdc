"""The archives a user unpacks: what they hold, the version the Windows
programs show, and the quick start's first run carried out as written, from an
unpacked copy in an empty folder with nothing of the build tree in reach."""
import hashlib
import json
import os
import re
import struct
import subprocess
import tarfile
import zipfile

import pytest
import windows_builds

NAME = "Kervo_Dravelmonix"
VERSION = "0.4"
SYSTEMS = ["linux-x86_64", "win64", "win32"]
WINDOWS = ["win64", "win32"]
README = os.path.join(os.path.dirname(__file__), "..", "..", "README.md")
SIZE_LINE = "width 5120, height 5120\n"
UPLOADED = "upload_defpix_map(1)\nenable map\nsave to eeprom\n\ndone\n"
# The PE machine of each Windows archive's programs and libraries, and the
# binutils that read their imports.
PE_MACHINE = {"win64": 0x8664, "win32": 0x14C}
OBJDUMP = {"win64": "x86_64-w64-mingw32-objdump", "win32": "i686-w64-mingw32-objdump"}
# What every Windows has; a mingw runtime DLL (libstdc++-6, libgcc_s_*,
# libwinpthread-1) or any other would have to travel with the program.
SYSTEM_DLLS = {"advapi32.dll", "bcrypt.dll", "gdi32.dll", "kernel32.dll", "msvcrt.dll",
               "ntdll.dll", "ole32.dll", "oleaut32.dll", "shell32.dll", "shlwapi.dll",
               "user32.dll", "version.dll", "ws2_32.dll"}


def windows(system):
    return system in WINDOWS


def archive_path(packages, system):
    suffix = ".zip" if windows(system) else ".tar.gz"
    return os.path.join(packages, "%s-%s-%s%s" % (NAME, VERSION, system, suffix))


def top_folder(system):
    return "%s-%s-%s" % (NAME, VERSION, system)


def archive_files(path):
    """Name -> bytes of every file in the archive."""
    if path.endswith(".zip"):
        with zipfile.ZipFile(path) as archive:
            return {info.filename: archive.read(info)
                    for info in archive.infolist() if not info.is_dir()}
    with tarfile.open(path) as archive:
        return {member.name: archive.extractfile(member).read()
                for member in archive.getmembers() if member.isfile()}


def unpack(path, folder):
    """As a user would: unzip for Windows, tar for Linux (keeps the x bits)."""
    os.makedirs(folder)
    if path.endswith(".zip"):
        with zipfile.ZipFile(path) as archive:
            archive.extractall(folder)
    else:
        subprocess.run(["tar", "-xzf", path, "-C", folder], check=True)


def quick_start_commands(text):
    """The indented lines of the first-run section, in order."""
    section = text.split("First run, with the simulated camera", 1)[1]
    section = section.split("A real camera", 1)[0]
    return re.findall(r"^    (\S.*)$", section, re.MULTILINE)


def run_quick_start(folder, system, commands, wine_prefix, script_dir):
    """Runs the commands in the shell the quick start is written for, stopping
    at the first that fails. Only system folders are on PATH, and no
    variable of the simulator or the loader is passed on."""
    env = {"PATH": "/usr/bin:/bin", "HOME": str(script_dir), "LANG": "C"}
    if windows(system):
        script = os.path.join(script_dir, "quick_start.cmd")
        lines = ["@echo off"]
        for command in commands:
            lines += [command, "@if errorlevel 1 exit /b 1"]
        with open(script, "w", newline="\r\n") as f:
            f.write("\n".join(lines) + "\n")
        env.update(windows_builds.environment(wine_prefix))
        argv = windows_builds.command(system) + ["cmd", "/c", "Z:" + script.replace("/", "\\")]
    else:
        script = os.path.join(script_dir, "quick_start.sh")
        with open(script, "w") as f:
            f.write("set -e\n" + "\n".join(commands) + "\n")
        argv = ["bash", script]
    result = subprocess.run(argv, cwd=folder, env=env, stdin=subprocess.DEVNULL,
                            stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=300)
    return result.returncode, result.stdout.decode("latin-1").replace("\r\n", "\n")


def map_entries(path):
    with open(path) as f:
        return [tuple(int(field) for field in line.strip().split(";"))
                for line in f if line.strip()]


def programs_and_libraries(system):
    program, library = (".exe", ".dll") if windows(system) else ("", ".so")
    return [NAME + program, "kd-inspect" + program, "clsertty" + library,
            "simulator/camsim.cti", "simulator/clsersim" + library,
            "simulator/make_samples" + program]


@pytest.mark.parametrize("system", SYSTEMS)
def test_archive_holds_the_programs_libraries_simulator_and_texts(packages, system):
    files = archive_files(archive_path(packages, system))
    top = top_folder(system) + "/"
    expected = programs_and_libraries(system) + ["QUICKSTART.txt", "README.md"]
    assert sorted(files) == sorted(top + name for name in expected)

    with open(README, "rb") as f:
        assert files[top + "README.md"] == f.read()
    quick_start = files[top + "QUICKSTART.txt"]
    bare_line_feeds = quick_start.replace(b"\r\n", b"").count(b"\n")
    if windows(system):
        assert bare_line_feeds == 0, "the Windows quick start has a bare line feed"
    else:
        assert b"\r" not in quick_start


def test_sums_cover_every_archive(packages):
    sums = {}
    with open(os.path.join(packages, "SHA256SUMS")) as f:
        for line in f:
            digest, name = line.split()
            sums[name] = digest
    assert sorted(sums) == sorted(os.path.basename(archive_path(packages, s)) for s in SYSTEMS)
    for name, digest in sums.items():
        with open(os.path.join(packages, name), "rb") as f:
            assert hashlib.sha256(f.read()).hexdigest() == digest, name


def version_string(program, key):
    """A StringFileInfo value of the version resource: the key and the value
    are UTF-16LE texts, the value starting on the next 32-bit boundary."""
    marker = key.encode("utf-16-le") + b"\0\0"
    start = program.index(marker) + len(marker)
    start += -start % 4
    end = start
    while program[end:end + 2] != b"\0\0":
        end += 2
    return program[start:end].decode("utf-16-le")


@pytest.mark.parametrize("system", WINDOWS)
def test_windows_program_shows_its_version(packages, system):
    files = archive_files(archive_path(packages, system))
    program = files["%s/%s.exe" % (top_folder(system), NAME)]
    shown = {key: version_string(program, key)
             for key in ("FileVersion", "ProductVersion", "ProductName", "FileDescription")}
    assert shown == {"FileVersion": VERSION, "ProductVersion": VERSION, "ProductName": NAME,
                     "FileDescription": "Defect pixel and shading maps for industrial cameras"}
    # VS_FIXEDFILEINFO: the signature, its layout version, then the file and
    # product versions as major << 16 | minor and build << 16 | revision.
    fixed = program.index(struct.pack("<I", 0xFEEF04BD))
    major, minor = (int(part) for part in VERSION.split("."))
    assert struct.unpack_from("<4I", program, fixed + 8) == (major << 16 | minor, 0,
                                                             major << 16 | minor, 0)


def pe_machine(data):
    """The machine field of a PE file's COFF header, found through the DOS
    header's pointer to the "PE\\0\\0" signature."""
    assert data[:2] == b"MZ", "no DOS header"
    (header,) = struct.unpack_from("<I", data, 0x3C)
    assert data[header:header + 4] == b"PE\0\0", "no PE signature"
    return struct.unpack_from("<H", data, header + 4)[0]


def imported_dlls(objdump, path):
    listing = subprocess.run([objdump, "-p", path], check=True, stdout=subprocess.PIPE,
                             stderr=subprocess.PIPE).stdout.decode("latin-1")
    return {line.split(":", 1)[1].strip().lower()
            for line in listing.splitlines() if line.strip().startswith("DLL Name:")}


@pytest.mark.parametrize("system", WINDOWS)
def test_windows_binaries_are_of_their_machine_and_need_only_system_dlls(packages, system,
                                                                         tmp_path):
    """Checked without running them, so also where this machine cannot."""
    unpack(archive_path(packages, system), str(tmp_path / "unpacked"))
    for name in programs_and_libraries(system):
        path = tmp_path / "unpacked" / top_folder(system) / name
        assert pe_machine(path.read_bytes()) == PE_MACHINE[system], name
        dlls = imported_dlls(OBJDUMP[system], str(path))
        assert "kernel32.dll" in dlls and dlls <= SYSTEM_DLLS, (name, dlls - SYSTEM_DLLS)


@pytest.mark.parametrize("system", SYSTEMS)
def test_quick_start_runs_as_written(packages, system, fresh_wine_prefix, tmp_path):
    reason = windows_builds.why_not(system)
    if reason:
        pytest.skip("the %s quick start: %s" % (system, reason))
    unpack(archive_path(packages, system), str(tmp_path / "unpacked"))
    folder = tmp_path / "unpacked" / top_folder(system)
    commands = quick_start_commands((folder / "QUICKSTART.txt").read_text())
    wine_prefix = fresh_wine_prefix(system) if windows(system) else ""
    status, out = run_quick_start(str(folder), system, commands, wine_prefix, tmp_path)

    assert status == 0, out
    assert "%s %s\n" % (NAME, VERSION) in out
    connects = sum("--connect" in command for command in commands)
    # The calibration loop's camera is a 512 x 512 one; its run's messages go to a file.
    assert connects >= 4 and out.count(SIZE_LINE) == connects - 1, out
    assert UPLOADED in out, out
    written = map_entries(folder / "my_map.txt")
    assert written and map_entries(folder / "from_camera.txt") == written
    assert "%d defect pixels downloaded\n" % len(written) in out
    # kd-inspect finds the round trip exact, and judges the calibrated camera's frames.
    assert "\nidentical\n" in out, out
    assert "grabbed 4 frames of 512 x 512 (Mono8) into after in " in out, out
    assert "report: kd-report/report.html\n" in out, out
    with open(folder / "kd-report" / "metrics.json") as f:
        metrics = json.load(f)
    assert metrics["frames"]["count"] == 4 and metrics["frames"]["width"] == 512
    assert metrics["verdict"]["pass"] is True, metrics["verdict"]


def test_quick_start_fails_without_a_file_it_needs(packages, tmp_path):
    system = "linux-x86_64"
    unpack(archive_path(packages, system), str(tmp_path / "unpacked"))
    folder = tmp_path / "unpacked" / top_folder(system)
    os.remove(folder / "simulator" / "camsim.cti")
    commands = quick_start_commands((folder / "QUICKSTART.txt").read_text())
    status, out = run_quick_start(str(folder), system, commands, "", tmp_path)
    assert status != 0 and SIZE_LINE not in out, out


def test_install_puts_the_program_in_bin_and_the_simulator_in_lib(build_dir, tmp_path):
    prefix = tmp_path / "prefix"
    subprocess.run(["cmake", "--install", build_dir, "--prefix", str(prefix)], check=True,
                   stdout=subprocess.DEVNULL)
    installed = sorted(str(path.relative_to(prefix)) for path in prefix.rglob("*")
                       if path.is_file())
    assert installed == ["bin/" + NAME, "bin/kd-inspect",
                         "lib/%s/camsim.cti" % NAME, "lib/%s/clsersim.so" % NAME,
                         "lib/%s/clsertty.so" % NAME, "share/doc/%s/README.md" % NAME]
    result = subprocess.run([str(prefix / "bin" / NAME), "--cti",
                             str(prefix / "lib" / NAME / "camsim.cti"),
                             "--if", "camsim-if0", "--connect"],
                            cwd=tmp_path, stdout=subprocess.PIPE, check=True)
    assert SIZE_LINE.encode() in result.stdout
