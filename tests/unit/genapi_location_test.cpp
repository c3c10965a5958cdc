#include "camera/genapi_location.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "zip_archive.h"

namespace {

struct UrlCase {
    const char* url;
    const char* file_name;  // what is expected when error is empty
    uint64_t address;
    uint64_t length;
    bool zipped;
    const char* error;
};

class DescriptionUrl : public ::testing::TestWithParam<UrlCase> {};

TEST_P(DescriptionUrl, GivesWhereToReadOrNamesTheUrl)
{
    DescriptionLocation location;
    location.file_name = "untouched";
    std::string error;
    bool parsed = parse_description_url(GetParam().url, location, error);
    if (!*GetParam().error) {
        ASSERT_TRUE(parsed) << error;
        EXPECT_EQ(location.file_name, GetParam().file_name);
        EXPECT_EQ(location.address, GetParam().address);
        EXPECT_EQ(location.length, GetParam().length);
        EXPECT_EQ(location.zipped, GetParam().zipped);
    } else {
        EXPECT_FALSE(parsed);
        EXPECT_EQ(error, GetParam().error);
        EXPECT_EQ(location.file_name, "untouched");
    }
}

INSTANTIATE_TEST_SUITE_P(
    Urls, DescriptionUrl,
    ::testing::Values(
        UrlCase{"Local:camsim.xml;20000000;1A2B", "camsim.xml", 0x20000000, 0x1A2B, false, ""},
        UrlCase{"local:///Cam_1.ZIP;0x8000;0X400?SchemaVersion=1.1.0", "Cam_1.ZIP", 0x8000, 0x400,
                true, ""},
        UrlCase{"Local:a.zip.xml;FFFFFFFFFFFFFFFF;1", "a.zip.xml", ~0ull, 1, false, ""},
        UrlCase{"File:///x.xml", "", 0, 0, false,
                "description at \"File:///x.xml\" cannot be read: only Local: descriptions in "
                "the camera are supported"},
        UrlCase{"http://vendor.example/cam.zip", "", 0, 0, false,
                "description at \"http://vendor.example/cam.zip\" cannot be read: only Local: "
                "descriptions in the camera are supported"},
        UrlCase{"camsim.xml;1000;10", "", 0, 0, false,
                "description URL \"camsim.xml;1000;10\" is malformed: it names no scheme such as "
                "Local:"},
        UrlCase{"Local:cam.xml;1000", "", 0, 0, false,
                "description URL \"Local:cam.xml;1000\" is malformed: Local: needs <file "
                "name>;<address>;<length>"},
        UrlCase{"Local:cam.xml;1000;10;20", "", 0, 0, false,
                "description URL \"Local:cam.xml;1000;10;20\" is malformed: Local: needs <file "
                "name>;<address>;<length>"},
        UrlCase{"Local:;1000;10", "", 0, 0, false,
                "description URL \"Local:;1000;10\" is malformed: its file name is empty"},
        UrlCase{"Local:cam.xml;0x;10", "", 0, 0, false,
                "description URL \"Local:cam.xml;0x;10\" is malformed: its address \"0x\" is not "
                "hexadecimal"},
        UrlCase{"Local:cam.xml;10000000000000000;10", "", 0, 0, false,
                "description URL \"Local:cam.xml;10000000000000000;10\" is malformed: its "
                "address \"10000000000000000\" is not hexadecimal"},
        UrlCase{"Local:cam.xml;1000;0", "", 0, 0, false,
                "description URL \"Local:cam.xml;1000;0\" is malformed: its length \"0\" is not "
                "a hexadecimal number above 0"},
        UrlCase{"Local:cam.xml;1000;4000001", "", 0, 0, false,
                "description URL \"Local:cam.xml;1000;4000001\" is malformed: its length of "
                "67108865 bytes is more than the 67108864 a description may have"}));

struct BytesCase {
    const char* name;
    bool zipped;
    std::vector<uint8_t> bytes;
    std::string xml;  // expected when error is empty
    std::string error;
};

class DescriptionBytes : public ::testing::TestWithParam<BytesCase> {};

TEST_P(DescriptionBytes, GiveTheXmlText)
{
    DescriptionLocation location;
    location.zipped = GetParam().zipped;
    std::string xml;
    std::string error;
    bool read = description_xml(location, GetParam().bytes, xml, error);
    EXPECT_EQ(read, GetParam().error.empty());
    EXPECT_EQ(error, GetParam().error);
    if (read) {
        EXPECT_EQ(xml, GetParam().xml);
    }
}

std::vector<uint8_t> bytes_of(const std::string& text) { return {text.begin(), text.end()}; }

INSTANTIATE_TEST_SUITE_P(
    Descriptions, DescriptionBytes,
    ::testing::Values(BytesCase{"PlainWithoutItsPadding", false,
                                bytes_of(std::string("<a/>\n\0\0\0", 8)), "<a/>\n", ""},
                      BytesCase{"ZippedUnpacked", true,
                                test_zip::zip_archive("<a/>", test_zip::deflated), "<a/>", ""},
                      BytesCase{"ZippedButPlain", true,
                                bytes_of("<RegisterDescription ModelName=\"Plain\"/>"), "",
                                "zipped description does not start with a zip local file header"}),
    [](const ::testing::TestParamInfo<BytesCase>& info) { return std::string(info.param.name); });

}  // namespace
