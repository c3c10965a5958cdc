"""How this machine runs the Windows builds: the one place that names Wine.

win64 programs run through Wine's 64-bit loader, which starts on any x86-64
Linux. win32 programs need Wine's 32-bit loader, itself a 32-bit program: a
kernel built without 32-bit support refuses to start it ("Exec format
error"). That refusal, and nothing else, lets a test run leave the win32 runs
out; any other failure of Wine (a missing loader, a crash, a time-out) is left
to fail the tests that need it.

The test command asks once and hands the answer to every suite it starts in
KD_WIN32_RUNS ("yes" or "no"); without it, the question is asked here.

As a command, for CMake and the test command:

    windows_builds.py run BUILD PROGRAM [ARG...]  runs a program of BUILD in $WINEPREFIX
    windows_builds.py prefix BUILD FOLDER         makes FOLDER a settled prefix unless it is one
    windows_builds.py check BUILD                 exit 0: BUILD runs here; exit 3: it cannot,
                                                  and standard output says why
"""
import errno
import os
import subprocess
import sys

BUILDS = ("win64", "win32")
LOADERS = {"win64": "/usr/lib/wine/wine64", "win32": "/usr/lib/wine/wine"}
SERVER = "/usr/lib/wine/wineserver64"
NO_32_BIT = "this machine cannot run 32-bit programs"
VERDICT = "KD_WIN32_RUNS"
CANNOT_RUN = 3


def command(build):
    """What a program of `build` is started with: the loader goes first."""
    return [LOADERS[build]]


def environment(prefix=None):
    """Wine's variables for a run without its debug chatter, in `prefix` when
    given (else in the one the environment names)."""
    return dict({"WINEDEBUG": "-all"}, **({"WINEPREFIX": prefix} if prefix else {}))


def refused_by_the_kernel(error):
    """An exec that failed because the kernel does not know the format."""
    return error.errno == errno.ENOEXEC


def loader_starts(loader):
    """False only when the kernel refuses the loader's format; a loader that
    starts and then fails, or is missing, counts as starting, so that the
    tests that need it fail instead of being left out."""
    try:
        subprocess.run([loader, "--version"], stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=60)
    except OSError as error:
        return not refused_by_the_kernel(error)
    except subprocess.TimeoutExpired:
        pass
    return True


def why_not(build):
    """Why programs of `build` cannot run on this machine, or None when they
    can. win64 is never left out: its failures are failures."""
    if build != "win32":
        return None
    verdict = os.environ.get(VERDICT, "")
    if verdict in ("yes", "no"):
        return None if verdict == "yes" else NO_32_BIT
    return None if loader_starts(LOADERS[build]) else NO_32_BIT


def prefix_is_made(prefix):
    return os.path.exists(os.path.join(prefix, "system.reg"))


def make_prefix(build, prefix, timeout=300):
    """The first start of a prefix takes a while; wineboot returns before the
    prefix is settled, so wait for its server to end."""
    if prefix_is_made(prefix):
        return
    env = dict(os.environ, **environment(prefix))
    for argv in (command(build) + ["wineboot", "--init"], [SERVER, "-w"]):
        subprocess.run(argv, env=env, check=True, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=timeout)


def run(build, argv):
    """Replaces this process by the program run under `build`'s loader, in the
    prefix the caller's environment names."""
    env = dict(os.environ)
    env.setdefault("WINEDEBUG", "-all")
    full = command(build) + argv
    try:
        os.execve(full[0], full, env)
    except OSError as error:
        reason = NO_32_BIT if refused_by_the_kernel(error) and build == "win32" else error.strerror
        print("windows_builds: cannot start %s: %s" % (full[0], reason), file=sys.stderr)
        return 126


def main(args):
    usage = "usage: windows_builds.py run|prefix|check BUILD [...]"
    if len(args) < 2 or args[1] not in BUILDS:
        print(usage, file=sys.stderr)
        return 2
    verb, build, rest = args[0], args[1], args[2:]
    if verb == "run" and rest:
        return run(build, rest)
    if verb == "prefix" and len(rest) == 1:
        make_prefix(build, os.path.abspath(rest[0]))
        return 0
    if verb == "check" and not rest:
        reason = why_not(build)
        if reason:
            print(reason)
            return CANNOT_RUN
        return 0
    print(usage, file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
