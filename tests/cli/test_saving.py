"""Saving over a file the user already has keeps what writing it in place
would keep: a file the user may not write is refused and stays, a symbolic
link keeps pointing to the replaced file, and the permission bits stay."""
import os
import stat

import pytest

from bmp_files import write_bmp

# Each writer: what to prepare, the command line with the target as T, the
# line a refused save prints.
WRITERS = {
    "defect map": (lambda prog: prog.write_bytes("in.map", b"1;2;0\n"),
                   ["--load_defpix_map", "in.map", "--save_defpix_map", "T"],
                   "save_defpix_map('T') - failed\n"),
    "shading map": (lambda prog: prog.write_bytes("in.shd", b"1; 1;\n2.000000; \n"),
                    ["--load_shading_map", "in.shd", "--save_shading_map", "T"],
                    "save_shading_map('T') - failed\n"),
    "image": (lambda prog: write_bmp(prog.path("in.bmp"), [[7, 8], [9, 10]]),
              ["--apply_defpix_map", "in.bmp", "T"],
              "cannot write image 'T'\n"),
}
OLD = b"the user's own file\n"


def save(prog, writer, target):
    """What the run printed, and the line a refused save prints."""
    prepare, args, refused = WRITERS[writer]
    prepare(prog)
    result = prog.run(*[target if a == "T" else a for a in args])
    refused = refused.replace("T", target)
    assert result.status == (2 if result.out.endswith(refused) else 0), result.out
    return result.out, refused


@pytest.mark.parametrize("writer", WRITERS)
def test_a_read_only_target_is_refused_and_kept(prog, writer):
    if not prog.windows and os.geteuid() == 0:
        pytest.skip("root may write a read-only file; the Windows builds test the attribute")
    prog.write_bytes("old.out", OLD)
    os.chmod(prog.path("old.out"), 0o444)
    out, refused = save(prog, writer, "old.out")
    assert out.endswith(refused)
    assert prog.read_bytes("old.out") == OLD
    assert not [name for name in os.listdir(prog.cwd) if name.endswith(".tmp")]


@pytest.mark.parametrize("existing", [True, False], ids=["file", "no file yet"])
@pytest.mark.parametrize("writer", WRITERS)
def test_a_link_keeps_pointing_to_the_replaced_file(prog, writer, existing):
    if prog.windows:
        pytest.skip("Wine shows a Unix link as a plain file")
    os.mkdir(prog.path("real"))
    if existing:
        prog.write_bytes("real/file.out", OLD)
    os.symlink("real/file.out", prog.path("link.out"))
    out, refused = save(prog, writer, "link.out")
    assert not out.endswith(refused)
    assert os.readlink(prog.path("link.out")) == "real/file.out"
    assert prog.read_bytes("real/file.out") not in (OLD, b"")
    assert os.listdir(prog.path("real")) == ["file.out"]


@pytest.mark.parametrize("writer", WRITERS)
def test_a_replaced_file_keeps_its_permission_bits(prog, writer):
    if prog.windows:
        pytest.skip("Windows files carry no permission bits")
    prog.write_bytes("old.out", OLD)
    os.chmod(prog.path("old.out"), 0o640)
    out, refused = save(prog, writer, "old.out")
    assert not out.endswith(refused)
    assert prog.read_bytes("old.out") != OLD
    assert stat.S_IMODE(os.stat(prog.path("old.out")).st_mode) == 0o640
