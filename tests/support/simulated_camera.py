"""The simulated camera as the end-to-end tests use it: camsim.cti copied next
to the run, its settings file, its non-volatile memory, and the program's
messages after the usage text."""
import os
import shutil

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
        assert USAGE_END in result.out
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
