"""camsim.cti's GenApi description as a GenTL consumer meets it: the XML file
itself, the same text fetched through the device port, and every feature in
it read back from a camera whose settings make each value known.

Run as a script, which hands its options to pytest:
    python3 test_camsim_genapi.py --cti=bin/camsim.cti --xml=sim/camsim.xml
"""
import ctypes
import os
import re
import subprocess
import sys
import xml.etree.ElementTree as ET

import pytest

NS = "{http://www.genicam.org/GenApi/Version_1_1}"
XSI = "{http://www.w3.org/2001/XMLSchema-instance}"

SETTINGS = ("width=640\nheight=480\ndefect_limit=777\nmapsize=5\n"
            "device_model.0=Model Under Test\n")
# A saved state, so that the calibration registers read other values than 0
# and a feature pointing at a neighbour's address is caught.
STATE = ("camsim-store 1\nselected_defect_map 2\nmap0_lock 1\nselected_shading_map 3\n"
         "shading_enabled 1\n")

URL_INFO_URL = 0
URL_INFO_SCHEMA_VER_MAJOR = 1
URL_INFO_SCHEMA_VER_MINOR = 2
URL_INFO_FILE_VER_MAJOR = 3
URL_INFO_FILE_VER_MINOR = 4
URL_INFO_FILE_VER_SUBMINOR = 5
PORT_INFO_PORTNAME = 12
INFO_DATATYPE_STRING = 1
INFO_DATATYPE_INT32 = 5  # the standard's type of every version number
DEVICE_ACCESS_EXCLUSIVE = 4

ROOT_ATTRIBUTES = {
    "ModelName": "CamSim", "VendorName": "Kervo CamSim", "StandardNameSpace": "None",
    "SchemaMajorVersion": "1", "SchemaMinorVersion": "1", "SchemaSubMinorVersion": "0",
    "MajorVersion": "1", "MinorVersion": "0", "SubMinorVersion": "0",
}
GUID = re.compile(r"[0-9A-Fa-f]{8}(-[0-9A-Fa-f]{4}){3}-[0-9A-Fa-f]{12}")

NON_EMPTY = "any text"
EXECUTES = "writing its CommandValue succeeds"

# Every feature of the description, its access and what the camera holds with
# SETTINGS. An enumeration's value is its entry and that entry's number; a
# command is executed, so the commands come last and stop after they start.
FEATURES = {
    "Width": ("RO", 640),
    "Height": ("RO", 480),
    "PayloadSize": ("RO", 640 * 480),
    "PixelFormat": ("RO", ("Mono8", 0x01080001)),
    "AcquisitionMode": ("RW", ("Continuous", 0)),
    "TLParamsLocked": ("RW", 0),
    "DeviceVendorName": ("RO", "Kervo CamSim"),
    "DeviceModelName": ("RO", "Model Under Test"),
    "DeviceSerialNumber": ("RO", NON_EMPTY),
    "DefectMapSelected": ("RO", 2),
    "DefectMapEntries": ("RO", 5),
    "DefectLimit": ("RO", 777),
    "ShadingEnabled": ("RO", True),
    "AcquisitionStart": ("WO", EXECUTES),
    "AcquisitionStop": ("WO", EXECUTES),
}

P = ctypes.POINTER
HANDLE = ctypes.c_void_p
SIZE = ctypes.c_size_t
TEXT_OUT = [ctypes.c_void_p, P(SIZE)]
SIGNATURES = {
    "GCInitLib": [], "GCCloseLib": [],
    "TLOpen": [P(HANDLE)], "TLClose": [HANDLE],
    "TLGetInterfaceID": [HANDLE, ctypes.c_uint32] + TEXT_OUT,
    "TLOpenInterface": [HANDLE, ctypes.c_char_p, P(HANDLE)], "IFClose": [HANDLE],
    "IFGetDeviceID": [HANDLE, ctypes.c_uint32] + TEXT_OUT,
    "IFOpenDevice": [HANDLE, ctypes.c_char_p, ctypes.c_int32, P(HANDLE)],
    "DevGetPort": [HANDLE, P(HANDLE)], "DevClose": [HANDLE],
    "GCGetNumPortURLs": [HANDLE, P(ctypes.c_uint32)],
    "GCGetPortURLInfo": [HANDLE, ctypes.c_uint32, ctypes.c_int32, P(ctypes.c_int32)] + TEXT_OUT,
    "GCGetPortURL": [HANDLE] + TEXT_OUT,
    "GCGetPortInfo": [HANDLE, ctypes.c_int32, P(ctypes.c_int32)] + TEXT_OUT,
    "GCReadPort": [HANDLE, ctypes.c_uint64, ctypes.c_void_p, P(SIZE)],
    "GCWritePort": [HANDLE, ctypes.c_uint64, ctypes.c_void_p, P(SIZE)],
}


class Options:
    @staticmethod
    def pytest_addoption(parser):
        parser.addoption("--cti", help="camsim.cti under test")
        parser.addoption("--xml", help="sim/camsim.xml, the description's source")


def option(request, name):
    # Not required=True: pytest then refuses even its own early parse.
    value = request.config.getoption(name)
    assert value, f"--{name} is missing"
    return value


def padded(data):
    return data + b" " * (-len(data) % 4)


class Description:
    def __init__(self, data):
        self.data = data
        self.root = ET.fromstring(data)
        self.nodes = {node.get("Name"): node for node in self.root}

    def tag(self, name):
        return self.nodes[name].tag[len(NS):]

    def text(self, node, child, default=None):
        found = node.find(NS + child)
        return default if found is None else found.text.strip()

    def features(self, category="Root"):
        """The leaves under a category, through its subcategories."""
        for name in [p.text.strip() for p in self.nodes[category].iter(NS + "pFeature")]:
            if self.tag(name) == "Category":
                yield from self.features(name)
            else:
                yield name

    def register(self, feature):
        node = self.nodes[feature]
        while node.tag[len(NS):] not in ("IntReg", "StringReg"):
            node = self.nodes[self.text(node, "pValue")]
        return node


@pytest.fixture(scope="module")
def xml_data(request):
    with open(option(request, "xml"), "rb") as f:
        return f.read()


@pytest.fixture(scope="module")
def description(xml_data):
    return Description(xml_data)


class GenTL:
    """camsim.cti opened down to the first device's port, as a consumer does."""

    def __init__(self, path):
        self.lib = ctypes.CDLL(os.path.abspath(path))
        for name, arguments in SIGNATURES.items():
            getattr(self.lib, name).argtypes = arguments
            getattr(self.lib, name).restype = ctypes.c_int32

    def call(self, name, *arguments):
        status = getattr(self.lib, name)(*arguments)
        assert status == 0, f"{name} answered {status}"

    def text(self, name, *arguments):
        """A string entry point: its size asked with no buffer first."""
        size = SIZE(0)
        self.call(name, *arguments, None, ctypes.byref(size))
        buffer = ctypes.create_string_buffer(size.value)
        self.call(name, *arguments, buffer, ctypes.byref(size))
        return buffer.value.decode()

    def info(self, name, *arguments, expected_type):
        kind = ctypes.c_int32(-1)
        if expected_type == INFO_DATATYPE_STRING:
            size = SIZE(0)
            self.call(name, *arguments, ctypes.byref(kind), None, ctypes.byref(size))
            buffer = ctypes.create_string_buffer(size.value)
        else:
            buffer = ctypes.c_uint32(0)
        size = SIZE(ctypes.sizeof(buffer))
        self.call(name, *arguments, ctypes.byref(kind), ctypes.byref(buffer), ctypes.byref(size))
        assert kind.value == expected_type, f"{name} {arguments[1:]} answered type {kind.value}"
        return buffer.value.decode() if expected_type == INFO_DATATYPE_STRING else buffer.value

    def open(self):
        self.system, self.interface, self.device, self.port = HANDLE(), HANDLE(), HANDLE(), HANDLE()
        self.call("GCInitLib")
        self.call("TLOpen", ctypes.byref(self.system))
        interface_id = self.text("TLGetInterfaceID", self.system, 0).encode()
        self.call("TLOpenInterface", self.system, interface_id, ctypes.byref(self.interface))
        device_id = self.text("IFGetDeviceID", self.interface, 0).encode()
        self.call("IFOpenDevice", self.interface, device_id, DEVICE_ACCESS_EXCLUSIVE,
                  ctypes.byref(self.device))
        self.call("DevGetPort", self.device, ctypes.byref(self.port))

    def close(self):
        self.call("DevClose", self.device)
        self.call("IFClose", self.interface)
        self.call("TLClose", self.system)
        self.call("GCCloseLib")

    def read(self, address, length):
        """The status and the bytes of one GCReadPort."""
        buffer = ctypes.create_string_buffer(length)
        size = SIZE(length)
        status = self.lib.GCReadPort(self.port, address, buffer, ctypes.byref(size))
        return status, buffer.raw[:size.value]

    def write(self, address, data):
        size = SIZE(len(data))
        return self.lib.GCWritePort(self.port, address, data, ctypes.byref(size))

    def url_info(self, command, expected_type):
        return self.info("GCGetPortURLInfo", self.port, 0, command, expected_type=expected_type)

    def description_location(self):
        url = self.url_info(URL_INFO_URL, INFO_DATATYPE_STRING)
        match = re.fullmatch(r"Local:camsim\.xml;([0-9A-F]+);([0-9A-F]+)", url)
        assert match, f"URL {url!r}"
        return int(match[1], 16), int(match[2], 16)


@pytest.fixture(scope="module")
def gentl(request, tmp_path_factory):
    folder = tmp_path_factory.mktemp("camsim")
    settings = folder / "camsim.conf"
    settings.write_text(SETTINGS)
    state = folder / "camsim.state"
    state.write_text(STATE)
    with pytest.MonkeyPatch.context() as environment:
        environment.setenv("CAMSIM_CONFIG", str(settings))
        environment.setenv("CAMSIM_STATE", str(state))
        producer = GenTL(option(request, "cti"))
        producer.open()
        yield producer
        producer.close()


@pytest.mark.parametrize("source", ["file", "port"])
def test_xmllint_accepts_the_description(xml_data, gentl, source):
    if source == "file":
        data = xml_data
    else:
        address, length = gentl.description_location()
        status, data = gentl.read(address, length)
        assert status == 0
    result = subprocess.run(["xmllint", "--noout", "-"], input=data, capture_output=True)
    assert result.returncode == 0, result.stderr.decode()


def test_root_names_the_schema_and_the_camera(description):
    root = description.root
    assert root.tag == NS + "RegisterDescription"
    assert {key: root.get(key) for key in ROOT_ATTRIBUTES} == ROOT_ATTRIBUTES
    assert root.get("ToolTip")
    assert root.get(XSI + "schemaLocation").split()[0] == NS.strip("{}")
    assert GUID.fullmatch(root.get("ProductGuid")) and GUID.fullmatch(root.get("VersionGuid"))
    assert root.get("ProductGuid") != root.get("VersionGuid")


def test_every_reference_resolves_and_every_register_is_on_the_device_port(description):
    nodes = list(description.root)
    assert len(description.nodes) == len(nodes), "node names repeat"
    assert [n.get("Name") for n in nodes if n.tag == NS + "Port"] == ["Device"]
    for node in nodes:
        for reference in node.iter():
            if re.fullmatch(r"p[A-Z]\w*", reference.tag[len(NS):]):
                assert reference.text.strip() in description.nodes, (node.get("Name"),
                                                                     reference.text)
        if node.tag in (NS + "IntReg", NS + "StringReg"):
            assert description.text(node, "pPort") == "Device", node.get("Name")


def test_every_feature_has_an_expectation_and_a_register_of_its_own(description):
    features = list(description.features())
    assert sorted(features) == sorted(FEATURES)
    addresses = [description.text(description.register(f), "Address") for f in features]
    assert len(set(int(a, 0) for a in addresses)) == len(addresses)


def test_the_port_serves_the_file_padded_to_whole_words(description, gentl):
    count = ctypes.c_uint32(0)
    gentl.call("GCGetNumPortURLs", gentl.port, ctypes.byref(count))
    assert count.value == 1
    assert gentl.text("GCGetPortURL", gentl.port) == gentl.url_info(URL_INFO_URL,
                                                                     INFO_DATATYPE_STRING)
    address, length = gentl.description_location()
    assert length % 4 == 0
    assert gentl.read(address, length) == (0, padded(description.data))
    assert gentl.read(address + length, 4)[0] != 0
    assert gentl.read(address, length + 4)[0] != 0


def test_the_port_reports_the_versions_of_the_file(description, gentl):
    versions = {
        URL_INFO_SCHEMA_VER_MAJOR: "SchemaMajorVersion",
        URL_INFO_SCHEMA_VER_MINOR: "SchemaMinorVersion",
        URL_INFO_FILE_VER_MAJOR: "MajorVersion",
        URL_INFO_FILE_VER_MINOR: "MinorVersion",
        URL_INFO_FILE_VER_SUBMINOR: "SubMinorVersion",
    }
    reported = {a: gentl.url_info(c, INFO_DATATYPE_INT32) for c, a in versions.items()}
    assert reported == {a: int(description.root.get(a)) for a in versions.values()}


def test_the_port_is_named_as_the_description_names_it(description, gentl):
    name = gentl.info("GCGetPortInfo", gentl.port, PORT_INFO_PORTNAME,
                      expected_type=INFO_DATATYPE_STRING)
    assert name == "Device"
    assert description.nodes[name].tag == NS + "Port"


@pytest.mark.parametrize("feature", FEATURES)
def test_feature_reads_what_the_camera_holds(description, gentl, feature):
    access, expected = FEATURES[feature]
    node = description.nodes[feature]
    register = description.register(feature)
    address = int(description.text(register, "Address"), 0)
    length = int(description.text(register, "Length"))
    assert description.text(register, "AccessMode") == access
    # Without Endianess a register is little-endian.
    order = "big" if description.text(register, "Endianess") == "BigEndian" else "little"
    if expected == EXECUTES:
        value = int(description.text(node, "CommandValue"))
        assert value == 1
        assert gentl.write(address, value.to_bytes(length, order)) == 0
        return
    status, data = gentl.read(address, length)
    assert status == 0, f"read of {address:#x} answered {status}"
    if register.tag == NS + "StringReg":
        text = data.split(b"\0")[0].decode("ascii")
        assert text if expected == NON_EMPTY else text == expected
        return
    value = int.from_bytes(data, order, signed=description.text(register, "Sign") == "Signed")
    if node.tag == NS + "Enumeration":
        entry, number = expected
        entries = {e.get("Name"): int(description.text(e, "Value"), 0)
                   for e in node.iter(NS + "EnumEntry")}
        assert (value, entries.get(entry)) == (number, number)
    elif node.tag == NS + "Boolean":
        state = "OnValue" if expected else "OffValue"
        assert value == int(description.text(node, state, "1" if expected else "0"), 0)
    else:
        assert value == expected


if __name__ == "__main__":
    sys.exit(pytest.main([__file__, "-q", "-p", "no:cacheprovider"] + sys.argv[1:],
                         plugins=[Options]))
