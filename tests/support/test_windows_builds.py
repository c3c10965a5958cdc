"""Which Windows build this machine runs: only the kernel's refusal of Wine's
32-bit loader leaves the win32 runs out; every other failure of a loader is
left to fail the tests, and win64 is never left out. Loaders are stood in for
by small files: one the kernel refuses to start (no known executable format),
and shell scripts that fail in other ways."""
import stat

import pytest

import windows_builds


def executable(path, content):
    path.write_bytes(content)
    path.chmod(path.stat().st_mode | stat.S_IXUSR)
    return str(path)


LOADERS = {
    "refused by the kernel": b"\x7fELF not a program this kernel starts\n",
    "starts": b"#!/bin/sh\necho wine-8.0\n",
    "starts and fails": b"#!/bin/sh\nexit 1\n",
    "starts and crashes": b"#!/bin/sh\nkill -SEGV $$\n",
}


@pytest.mark.parametrize("build, loader, reason", [
    ("win32", "refused by the kernel", windows_builds.NO_32_BIT),
    ("win32", "starts", None),
    ("win32", "starts and fails", None),
    ("win32", "starts and crashes", None),
    ("win32", "missing", None),
    ("win64", "refused by the kernel", None),
])
def test_only_a_refused_32_bit_loader_leaves_a_build_out(tmp_path, monkeypatch, build, loader,
                                                         reason):
    monkeypatch.delenv(windows_builds.VERDICT, raising=False)
    path = (executable(tmp_path / "loader", LOADERS[loader]) if loader in LOADERS
            else str(tmp_path / "missing"))
    monkeypatch.setitem(windows_builds.LOADERS, build, path)
    assert windows_builds.why_not(build) == reason


@pytest.mark.parametrize("verdict, reason", [("no", windows_builds.NO_32_BIT), ("yes", None)])
def test_the_test_runs_one_answer_is_taken_without_asking_again(tmp_path, monkeypatch, verdict,
                                                                 reason):
    monkeypatch.setenv(windows_builds.VERDICT, verdict)
    monkeypatch.setitem(windows_builds.LOADERS, "win32", str(tmp_path / "never started"))
    assert windows_builds.why_not("win32") == reason
    assert windows_builds.why_not("win64") is None


@pytest.mark.parametrize("loader, status, printed", [
    ("refused by the kernel", windows_builds.CANNOT_RUN, windows_builds.NO_32_BIT + "\n"),
    ("starts and fails", 0, ""),
])
def test_the_check_tells_the_test_command_by_its_status(tmp_path, monkeypatch, capsys, loader,
                                                         status, printed):
    monkeypatch.delenv(windows_builds.VERDICT, raising=False)
    monkeypatch.setitem(windows_builds.LOADERS, "win32",
                        executable(tmp_path / "loader", LOADERS[loader]))
    assert windows_builds.main(["check", "win32"]) == status
    assert capsys.readouterr().out == printed


def test_a_program_that_cannot_start_says_why(tmp_path, monkeypatch, capsys):
    monkeypatch.setitem(windows_builds.LOADERS, "win32",
                        executable(tmp_path / "loader", LOADERS["refused by the kernel"]))
    assert windows_builds.main(["run", "win32", "Kervo_Dravelmonix.exe"]) == 126
    assert windows_builds.NO_32_BIT in capsys.readouterr().err

