"""The simulated camera as the end-to-end tests use it: camsim.cti copied next
to the run, its settings file, its non-volatile memory, and the program's
messages after the usage text; behind a serial library, the folder the
program searches for it."""
import os
import shutil
import subprocess

import windows_builds

USAGE_END = "--version\n\n"
CONNECT = ["--cti", "camsim.cti", "--if", "camsim-if0", "--connect"]


class SimulatedCamera:
    def __init__(self, prog):
        self.prog = prog
        shutil.copy(os.path.join(prog.bin_dir, "camsim.cti"), prog.path("camsim.cti"))
        self.settings = ""

    def configure(self, text):
        self.settings = text
        with open(self.prog.path("camsim.conf"), "w") as f:
            f.write(text)

    def environment(self):
        env = {"CAMSIM_STATE": "camsim.state"}
        if self.settings:
            env["CAMSIM_CONFIG"] = "camsim.conf"
        return env

    def run(self, *args):
        result = self.prog.run(*args, env=self.environment())
        assert USAGE_END in result.out, "status %d, output %r, errors %r" % (
            result.status, result.out[:200], result.err[:500])
        result.messages = result.out.split(USAGE_END, 1)[1]
        return result

    def stored(self):
        """The camera's non-volatile memory: tag and map index -> words."""
        path = self.prog.path("camsim.state")
        if not os.path.exists(path):
            return {}
        words = {}
        with open(path) as f:
            for line in f:
                fields = line.split()
                if fields and fields[0] in ("defect_pixels", "defect_columns", "shading"):
                    words[(fields[0], int(fields[1]))] = [int(w, 16) for w in fields[3:]]
        return words


class SerialCamera(SimulatedCamera):
    """A folder holding a copy of a serial library (clsersim unless named),
    named as the serial library folder (registry value under Wine, environment
    variable natively), beside the simulated GenTL producer that shares the
    camera's memory."""

    def __init__(self, prog, folder="serial libs", library="clsersim"):
        super().__init__(prog)
        self.suffix = ".dll" if prog.windows else ".so"
        self.folder = prog.path(folder)
        os.makedirs(self.folder)
        self.library = os.path.join(self.folder, library + self.suffix)
        shutil.copy(os.path.join(prog.bin_dir, library + self.suffix), self.library)
        self.name_folder(self.folder)

    def name_folder(self, folder, value=None, kind="REG_SZ"):
        """`value` stands in the registry instead of the folder's own name."""
        self.named = folder
        if self.prog.windows:
            windows_path = "Z:" + os.path.abspath(folder).replace("/", "\\")
            self.library_shown = "Z:" + self.library.replace("/", "\\")
            # 32-bit programs read the 32-bit view of the registry.
            for view in ("/reg:64", "/reg:32"):
                subprocess.run(self.prog.start_command() +
                               ["reg", "add", "HKLM\\SOFTWARE\\cameralink", "/v",
                                "CLSERIALPATH", "/t", kind, "/d", value or windows_path,
                                "/f", view],
                               check=True, stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL,
                               env=dict(os.environ, **windows_builds.environment()))
        else:
            self.library_shown = self.library

    def environment(self):
        env = super().environment()
        env["CLSERIALPATH"] = self.named
        return env
