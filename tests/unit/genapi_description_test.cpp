#include "camera/genapi_description.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

// A register space of single bytes; an address it does not hold fails, and
// every write is recorded as "0xADDRESS: BB BB ...".
class FakeRegisters : public RegisterAccess {
public:
    std::map<uint64_t, uint8_t> bytes;
    std::string writes;

    // The same notation: "0x100: 78 56 34 12; 0x200: 01".
    explicit FakeRegisters(const std::string& contents)
    {
        std::istringstream blocks(contents);
        std::string block;
        while (std::getline(blocks, block, ';')) {
            std::istringstream words(block);
            std::string word;
            words >> word;
            uint64_t address = std::stoull(word, nullptr, 16);
            while (words >> word)
                bytes[address++] = static_cast<uint8_t>(std::stoul(word, nullptr, 16));
        }
    }

    bool read(uint64_t address, void* buffer, size_t length, std::string& error) override
    {
        for (size_t i = 0; i < length; ++i) {
            auto found = bytes.find(address + i);
            if (found == bytes.end()) {
                error = "nothing there";
                return false;
            }
            static_cast<uint8_t*>(buffer)[i] = found->second;
        }
        return true;
    }

    bool write(uint64_t address, const void* buffer, size_t length, std::string&) override
    {
        char text[32];
        std::snprintf(text, sizeof text, "0x%llX:", static_cast<unsigned long long>(address));
        writes += writes.empty() ? text : std::string("; ") + text;
        for (size_t i = 0; i < length; ++i) {
            uint8_t byte = static_cast<const uint8_t*>(buffer)[i];
            bytes[address + i] = byte;
            std::snprintf(text, sizeof text, " %02X", byte);
            writes += text;
        }
        return true;
    }
};

// One use of one feature: "read F", "write F <value>", "entry F" (reads an
// enumeration's entry), "set F <entry>" or "execute F", on the nodes given
// (null: the simulated camera's camsim.xml) and registers holding the bytes
// given. The outcome is the value or entry read, the writes made, or the
// message refusing it.
struct Case {
    const char* name;
    const char* nodes;
    const char* registers;
    const char* call;
    const char* outcome;
};

std::string camsim_xml()
{
    std::ifstream file(KD_CAMSIM_XML, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

std::string description_of(const char* nodes, const char* ns)
{
    if (!nodes) return camsim_xml();
    return std::string("<?xml version=\"1.0\"?>\n<RegisterDescription ModelName=\"T\" xmlns=\"") +
           ns + "\">\n" + nodes + "\n<Port Name=\"Device\"/>\n</RegisterDescription>\n";
}

std::string outcome_of(const Case& c, const char* ns)
{
    std::string error;
    std::unique_ptr<GenApiDescription> description =
        GenApiDescription::parse(description_of(c.nodes, ns), error);
    if (!description) return "not parsed: " + error;
    FakeRegisters registers(c.registers);
    std::istringstream call(c.call);
    std::string op, feature, argument;
    call >> op >> feature >> argument;
    int64_t value = 0;
    std::string entry;
    bool done = false;
    if (op == "read") done = description->read_integer(feature, registers, value, error);
    if (op == "write")
        done =
            description->write_integer(feature, std::stoll(argument, nullptr, 0), registers, error);
    if (op == "entry") done = description->read_enumeration(feature, registers, entry, error);
    if (op == "set") done = description->set_enumeration(feature, argument, registers, error);
    if (op == "execute") done = description->execute(feature, registers, error);
    // A refused call writes nothing.
    if (!done) return registers.writes.empty() ? error : error + " after " + registers.writes;
    if (op == "read") return std::to_string(value);
    if (op == "entry") return entry;
    return registers.writes;
}

class Feature : public ::testing::TestWithParam<Case> {};

TEST_P(Feature, ResolvesToItsRegistersOrIsRefusedByName)
{
    EXPECT_EQ(outcome_of(GetParam(), "http://www.genicam.org/GenApi/Version_1_1"),
              GetParam().outcome);
}

const char* const int_reg_le = R"(
  <IntReg Name="F"><Address>0x100</Address><Length>4</Length><pPort>Device</pPort></IntReg>)";
const char* const int_reg_be = R"(
  <IntReg Name="F"><Address>0x100</Address><Length>4</Length>
    <Endianess>BigEndian</Endianess></IntReg>)";
const char* const enumeration = R"(
  <Enumeration Name="F">
    <EnumEntry Name="Continuous"><Value>0</Value></EnumEntry>
    <EnumEntry Name="EnumEntry_F_SingleFrame"><Value>1</Value></EnumEntry>
    <EnumEntry Name="Entry2"><Value>0x2</Value><Symbolic>MultiFrame</Symbolic></EnumEntry>
    <pValue>R</pValue>
  </Enumeration>
  <IntReg Name="R"><Address>0x200</Address><Length>4</Length>
    <Endianess>BigEndian</Endianess></IntReg>)";
const char* const command = R"(
  <Command Name="F"><pValue>R</pValue><CommandValue>1</CommandValue></Command>
  <IntReg Name="R"><Address>0xA000</Address><Length>4</Length><AccessMode>WO</AccessMode>
    <Endianess>BigEndian</Endianess></IntReg>)";
const char* const boolean_on_off = R"(
  <Boolean Name="F"><pValue>R</pValue><OnValue>3</OnValue><OffValue>2</OffValue></Boolean>
  <IntReg Name="R"><Address>0x100</Address><Length>1</Length></IntReg>)";
// Bit 30 of a big-endian register is the value's bit 1.
const char* const boolean_on_masked = R"(
  <Boolean Name="F"><pValue>M</pValue><OnValue>1</OnValue><OffValue>0</OffValue></Boolean>
  <MaskedIntReg Name="M"><Address>0x300</Address><Length>4</Length><Bit>30</Bit>
    <Endianess>BigEndian</Endianess></MaskedIntReg>)";

const Case features[] = {
    {"IntegerWithValue", R"(<Integer Name="F"><Value>0x2A</Value></Integer>)", "", "read F", "42"},
    {"LittleEndianByDefault", int_reg_le, "0x100: 01 02 00 00", "read F", "513"},
    {"BigEndian", int_reg_be, "0x100: 00 00 01 02", "read F", "258"},
    {"SignedSignExtends", R"(
      <IntReg Name="F"><Address>0x100</Address><Length>2</Length><Sign>Signed</Sign></IntReg>)",
     "0x100: FE FF", "read F", "-2"},
    {"UnsignedByDefault", R"(<IntReg Name="F"><Address>0x100</Address><Length>2</Length></IntReg>)",
     "0x100: FE FF", "read F", "65534"},
    {"PValueChain", R"(
      <Integer Name="F"><pValue>G</pValue></Integer>
      <Integer Name="G"><pValue>R</pValue></Integer>
      <IntReg Name="R"><Address>0xB008</Address><Length>4</Length>
        <Endianess>BigEndian</Endianess></IntReg>)",
     "0xB008: 00 00 14 00", "read F", "5120"},
    {"PAddressAddedToAddress", R"(
      <IntReg Name="F"><pAddress>Base</pAddress><Address>0x10</Address><Length>1</Length></IntReg>
      <IntReg Name="Base"><Address>0x20</Address><Length>2</Length></IntReg>)",
     "0x20: 00 10; 0x1010: 07", "read F", "7"},
    {"MaskedLittleEndianField", R"(
      <MaskedIntReg Name="F"><Address>0x100</Address><Length>4</Length>
        <LSB>4</LSB><MSB>7</MSB></MaskedIntReg>)",
     "0x100: A5 00 00 00", "read F", "10"},
    {"MaskedBigEndianField", R"(
      <MaskedIntReg Name="F"><Address>0x100</Address><Length>4</Length>
        <LSB>31</LSB><MSB>24</MSB><Endianess>BigEndian</Endianess></MaskedIntReg>)",
     "0x100: 12 34 56 78", "read F", "120"},
    {"MaskedBigEndianBitZeroIsTheTopBit", R"(
      <MaskedIntReg Name="F"><Address>0x100</Address><Length>4</Length><Bit>0</Bit>
        <Endianess>BigEndian</Endianess></MaskedIntReg>)",
     "0x100: 80 00 00 00", "read F", "1"},
    {"BooleanOnAndOffValues", boolean_on_off, "0x100: 03", "read F", "1"},
    {"BooleanWriteKeepsTheOtherBits", boolean_on_masked, "0x300: 00 00 00 F0", "write F 1",
     "0x300: 00 00 00 F2"},
    {"MaskedWriteOnlyWritesZeroesBeside", R"(
      <MaskedIntReg Name="F"><Address>0x100</Address><Length>2</Length><LSB>8</LSB><MSB>11</MSB>
        <AccessMode>WO</AccessMode></MaskedIntReg>)",
     "", "write F 5", "0x100: 00 05"},
    {"WriteBigEndian", int_reg_be, "", "write F 0x01020304", "0x100: 01 02 03 04"},
    {"WriteThroughAChain", R"(
      <Integer Name="F"><pValue>R</pValue></Integer>
      <IntReg Name="R"><Address>0xA00C</Address><Length>2</Length></IntReg>)",
     "", "write F 0x1234", "0xA00C: 34 12"},
    {"EnumerationByName", enumeration, "0x200: 00 00 00 00", "entry F", "Continuous"},
    {"EnumerationByPrefixedName", enumeration, "0x200: 00 00 00 01", "entry F", "SingleFrame"},
    {"EnumerationBySymbolic", enumeration, "0x200: 00 00 00 02", "entry F", "MultiFrame"},
    {"EnumerationAsInteger", enumeration, "0x200: 00 00 00 02", "read F", "2"},
    {"SetEnumeration", enumeration, "", "set F SingleFrame", "0x200: 00 00 00 01"},
    {"CommandValue", command, "", "execute F", "0xA000: 00 00 00 01"},
    {"PCommandValue", R"(
      <Command Name="F"><pValue>R</pValue><pCommandValue>C</pCommandValue></Command>
      <Integer Name="C"><Value>7</Value></Integer>
      <IntReg Name="R"><Address>0xA004</Address><Length>1</Length></IntReg>)",
     "", "execute F", "0xA004: 07"},
    {"NodesInsideGroups", R"(
      <Group Comment="outer"><Group Comment="inner">
        <Integer Name="F"><pValue>R</pValue></Integer>
      </Group></Group>
      <Group Comment="registers"><IntReg Name="R"><Address>4</Address><Length>1</Length></IntReg></Group>)",
     "0x4: 05", "read F", "5"},
    {"OtherNamespacesSkipped", R"(
      <x:Integer xmlns:x="urn:other" Name="F"><x:Value>9</x:Value></x:Integer>
      <Integer Name="F" xmlns:x="urn:other"><x:pValue>Elsewhere</x:pValue><Value>4</Value></Integer>)",
     "", "read F", "4"},

    {"MissingFeature", int_reg_le, "", "execute AcquisitionStart",
     "description has no feature \"AcquisitionStart\""},
    {"MissingNode", R"(<Integer Name="F"><pValue>Gone</pValue></Integer>)", "", "read F",
     "feature \"F\" needs node \"Gone\", which the description does not have"},
    {"SwissKnifeInTheChain", R"(
      <Integer Name="F"><pValue>K</pValue></Integer>
      <IntSwissKnife Name="K"><Formula>1</Formula></IntSwissKnife>)",
     "", "read F", "feature \"F\" needs node \"K\" of kind IntSwissKnife, which is not supported"},
    {"StringRegWhereAnIntegerIsNeeded", R"(
      <Command Name="F"><pValue>S</pValue><CommandValue>1</CommandValue></Command>
      <StringReg Name="S"><Address>0</Address><Length>4</Length></StringReg>)",
     "", "execute F", "feature \"F\" needs node \"S\" of kind StringReg, which is not supported"},
    {"SelectedByPIndex", R"(
      <IntReg Name="F"><Address>0</Address><pIndex Offset="4">Sel</pIndex><Length>4</Length></IntReg>)",
     "", "read F",
     "feature \"F\" needs node \"F\" of kind IntReg with pIndex, which is not supported"},
    {"Loop", R"(
      <Integer Name="F"><pValue>G</pValue></Integer>
      <Integer Name="G"><pValue>F</pValue></Integer>)",
     "", "read F",
     "feature \"F\": its nodes refer to one another in a loop or a chain longer than 64 (at "
     "\"F\")"},
    {"ReadOnlyNotWritten", R"(
      <IntReg Name="F"><Address>0</Address><Length>4</Length><AccessMode>RO</AccessMode></IntReg>)",
     "", "write F 7", "feature \"F\": node \"F\" is read only"},
    {"WriteOnlyNotRead", command, "", "read R", "feature \"R\": node \"R\" is write only"},
    {"ValueTooLarge", R"(<IntReg Name="F"><Address>0</Address><Length>1</Length></IntReg>)", "",
     "write F 256", "feature \"F\": value 256 does not fit node \"F\", whose 8 bits are unsigned"},
    {"NoSuchEntry", enumeration, "", "set F Mono16", "feature \"F\" has no entry \"Mono16\""},
    {"ReadsNoEntrysValue", enumeration, "0x200: 00 00 00 05", "entry F",
     "feature \"F\" reads 5, which none of its entries has"},
    {"BooleanReadsNeitherValue", boolean_on_off, "0x100: 05", "read F",
     "feature \"F\": reads 5, neither its OnValue 3 nor its OffValue 2"},
    {"NotACommand", R"(<Integer Name="F"><Value>1</Value></Integer>)", "", "execute F",
     "feature \"F\" is of kind Integer, not Command"},
    {"RegisterAccessFails", int_reg_be, "", "read F",
     "feature \"F\": reading 4 bytes at 0x100 failed: nothing there"},
    {"BigEndianBitsOutOfOrder", R"(
      <MaskedIntReg Name="F"><Address>0</Address><Length>4</Length><LSB>24</LSB><MSB>31</MSB>
        <Endianess>BigEndian</Endianess></MaskedIntReg>)",
     "0x0: 00 00 00 00", "read F",
     "feature \"F\": node \"F\" has its LSB above its MSB for a BigEndian register"},

    // The simulated camera's own description, as kd-inspect grab uses it.
    {"CamsimWidth", nullptr, "0xB008: 00 00 14 00", "read Width", "5120"},
    {"CamsimHeight", nullptr, "0xB00C: 00 00 10 00", "read Height", "4096"},
    {"CamsimPayloadSize", nullptr, "0xA010: 01 40 00 00", "read PayloadSize", "20971520"},
    {"CamsimPixelFormat", nullptr, "0xA014: 01 08 00 01", "entry PixelFormat", "Mono8"},
    {"CamsimAcquisitionMode", nullptr, "0xA008: 00 00 00 01", "set AcquisitionMode Continuous",
     "0xA008: 00 00 00 00"},
    {"CamsimAcquisitionStart", nullptr, "", "execute AcquisitionStart", "0xA000: 00 00 00 01"},
    {"CamsimTLParamsLocked", nullptr, "", "write TLParamsLocked 1", "0xA00C: 00 00 00 01"},
};

INSTANTIATE_TEST_SUITE_P(Descriptions, Feature, ::testing::ValuesIn(features),
                         [](const ::testing::TestParamInfo<Case>& info) {
                             return std::string(info.param.name);
                         });

TEST(Feature, SchemaVersion_1_0IsReadToo)
{
    Case c = {"", R"(<Integer Name="F"><Value>3</Value></Integer>)", "", "read F", "3"};
    EXPECT_EQ(outcome_of(c, "http://www.genicam.org/GenApi/Version_1_0"), "3");
}

// has() is the caller's first question: a missing AcquisitionStart means a
// camera that runs freely.
TEST(Feature, HasOnlyTheNodesTheDescriptionNames)
{
    std::string error;
    std::unique_ptr<GenApiDescription> description = GenApiDescription::parse(camsim_xml(), error);
    ASSERT_TRUE(description) << error;
    EXPECT_TRUE(description->has("AcquisitionStart"));
    EXPECT_FALSE(description->has("TriggerSoftware"));
}

struct Refusal {
    const char* name;
    std::string xml;
    std::string error;
};

class Refused : public ::testing::TestWithParam<Refusal> {};

TEST_P(Refused, WithTheReason)
{
    std::string error;
    EXPECT_FALSE(GenApiDescription::parse(GetParam().xml, error));
    EXPECT_EQ(error, GetParam().error);
}

const std::string root =
    "<RegisterDescription xmlns=\"http://www.genicam.org/GenApi/Version_1_1\">";

INSTANTIATE_TEST_SUITE_P(
    Descriptions, Refused,
    ::testing::Values(
        Refusal{"Empty", "",
                "description is not well-formed XML: no element found at line 1, column 1"},
        Refusal{"NotXml", "Width=5120\n",
                "description is not well-formed XML: not well-formed (invalid token) at line 1, "
                "column 6"},
        Refusal{"CutShort", root + "\n<Integer Name=\"F\"><Value>1</Val",
                "description is not well-formed XML: unclosed token at line 2, column 27"},
        Refusal{"OtherRoot", "<html><body/></html>",
                "description is not a GenApi 1.0 or 1.1 description: its root element is "
                "\"html\" in namespace \"\""},
        Refusal{"OtherNamespace",
                "<RegisterDescription xmlns=\"http://www.genicam.org/GenApi/Version_2_0\"/>",
                "description is not a GenApi 1.0 or 1.1 description: its root element is "
                "\"RegisterDescription\" in namespace "
                "\"http://www.genicam.org/GenApi/Version_2_0\""},
        Refusal{"DeclaresEntities",
                "<!DOCTYPE RegisterDescription [<!ENTITY a \"aaaa\">]>" + root +
                    "</RegisterDescription>",
                "description declares the entity \"a\", which a GenApi description never needs"},
        Refusal{"TwoNodesOfOneName",
                root + "<Integer Name=\"F\"/><IntReg Name=\"F\"/></RegisterDescription>",
                "description has two nodes named \"F\""}),
    [](const ::testing::TestParamInfo<Refusal>& info) { return std::string(info.param.name); });

}  // namespace
