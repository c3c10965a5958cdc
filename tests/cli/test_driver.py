"""The command line as a user meets it: usage text, command words, arguments, log."""
import re

import pytest

USAGE = (
    "Kervo_Dravelmonix 0.4\n"
    "=====================\n"
    "\n"
    "usage:\n"
    "--load_img <filename> [<filename>]\n"
    "--create_defpix_map [<threshold> [<width>]] \n"
    "--clear_defpix_map\n"
    "--load_defpix_map <filename>\n"
    "--save_defpix_map <filename>\n"
    "--apply_defpix_map/mark_defpix_map <filename-in> <filename-out>\n"
    "--download_defpix_map [<mapindex>]\n"
    "--upload_defpix_map [<mapindex>]\n"
    "--create_shading_map\n"
    "--clear_shading_map\n"
    "--load_shading_map <filename>\n"
    "--save_shading_map <filename>\n"
    "--apply_shading_map <filename-in> <filename-out>\n"
    "--upload_shading_map [<mapindex>]\n"
    "--cti <filename>\n"
    "--clser\n"
    "--if <interfacename>\n"
    "--connect [<devicename>]\n"
    "--version\n"
    "\n"
)

START = re.compile(r"^\* start .+ on .+/.+$")
END = re.compile(r"^\* end .+$")


def test_no_arguments_prints_usage_only(prog):
    result = prog.run()
    assert result.out == USAGE
    assert result.status == 0
    if prog.windows:
        assert result.raw.count(b"\r\n") == USAGE.count("\n")
    else:
        assert result.err == ""
    lines = prog.log_text().split("\n")
    assert lines[0] == ""
    assert START.match(lines[1])
    assert END.match(lines[2])
    assert lines[3:] == [""]


def test_version_repeats_banner(prog):
    result = prog.run("--version")
    assert result.out == USAGE + "Kervo_Dravelmonix 0.4\n"
    assert result.status == 0


@pytest.mark.parametrize("args, expected", [
    (["--bogus", "--version"], "invalid command - '--bogus'\nKervo_Dravelmonix 0.4\n"),
    (["--VERSION"], "invalid command - '--VERSION'\n"),
    (["--version", "7"], "Kervo_Dravelmonix 0.4\ninvalid command - '7'\n"),
    (["stray word"], "invalid command - 'stray word'\n"),
    (["a", "", "b"], "invalid command - 'a'\ninvalid command - 'b'\n"),
    (["--clear_defpix_map", "x"], "clear_defpix_map()\ninvalid command - 'x'\n"),
])
def test_unknown_words_are_reported_and_the_run_goes_on(prog, args, expected):
    result = prog.run(*args)
    assert result.out == USAGE + expected
    assert result.status == 2


@pytest.mark.parametrize("args", [["--load_img", "--version"], ["--load_img"]])
def test_file_list_stops_at_a_command(prog, args):
    result = prog.run(*args)
    assert result.out == USAGE + "Kervo_Dravelmonix 0.4\n" * (len(args) - 1)


def test_connect_without_binding_ends_the_run(prog):
    result = prog.run("--connect", "--version")
    assert result.out == USAGE + "connect failed!\n"
    assert result.status == 1
    lines = prog.log_text().split("\n")
    assert START.match(lines[1]) and END.match(lines[2])


def test_two_runs_append_blocks(prog):
    prog.run()
    prog.run("--version")
    lines = prog.log_text().split("\n")
    assert lines[0] == "" and START.match(lines[1]) and END.match(lines[2])
    assert lines[3] == "" and START.match(lines[4]) and END.match(lines[5])


def test_unwritable_log_directory_does_not_disturb(prog, tmp_path):
    # A directory where the log file should be makes it impossible to open.
    (tmp_path / "Kervo_Dravelmonix.log").mkdir()
    result = prog.run("--version")
    assert result.out == USAGE + "Kervo_Dravelmonix 0.4\n"
    assert result.status == 0
