#include "camera/zip_entry.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "zip_archive.h"

namespace {

using Bytes = std::vector<uint8_t>;
using test_zip::deflated;
using test_zip::stored;

const std::string small_text = "<RegisterDescription/>";  // 22 bytes

// 160000 bytes: unpacking it takes several rounds of output room.
std::string large_text()
{
    std::string text;
    for (int i = 0; i < 4000; ++i) text += "0123456789abcdefghijklmnopqrstuvwxyzAB\r\n";
    return text;
}

Bytes with(Bytes bytes, size_t at, uint32_t value, int count)
{
    test_zip::put(bytes, at, value, count);
    return bytes;
}

Bytes cut(Bytes bytes, size_t size)
{
    bytes.resize(size);
    return bytes;
}

const size_t data_at = test_zip::header_size + test_zip::entry_name.size();

struct Case {
    const char* name;
    std::function<Bytes()> archive;
    std::string contents;  // expected when error is empty
    std::string error;
};

class UnzipFirstEntry : public ::testing::TestWithParam<Case> {};

TEST_P(UnzipFirstEntry, GivesTheEntryOrNamesWhatIsWrong)
{
    Bytes archive = GetParam().archive();
    std::string contents = "left over";
    std::string error;
    bool unzipped = unzip_first_entry(archive.data(), archive.size(), contents, error);
    if (GetParam().error.empty()) {
        ASSERT_TRUE(unzipped) << error;
        EXPECT_TRUE(contents == GetParam().contents);
    } else {
        EXPECT_FALSE(unzipped);
        EXPECT_EQ(error, GetParam().error);
    }
}

const Case cases[] = {
    {"Stored", [] { return test_zip::zip_archive(small_text, stored); }, small_text, ""},
    {"Deflated", [] { return test_zip::zip_archive(large_text(), deflated); }, large_text(), ""},
    {"DeflatedWithSizesAfterData",
     [] { return test_zip::zip_archive(large_text(), deflated, true); }, large_text(), ""},
    {"Empty", [] { return Bytes(); }, "",
     "zipped description is truncated: 0 bytes cannot hold a local file header"},
    {"NotAZip", [] { return Bytes(40, '<'); }, "",
     "zipped description does not start with a zip local file header"},
    {"Encrypted", [] { return with(test_zip::zip_archive(small_text, stored), 6, 1, 2); }, "",
     "zipped description's entry is encrypted"},
    {"OtherMethod", [] { return with(test_zip::zip_archive(small_text, stored), 8, 12, 2); }, "",
     "zipped description's entry uses compression method 12; only stored (0) and deflated (8) "
     "are read"},
    {"CutInTheName", [] { return cut(test_zip::zip_archive(small_text, stored), 35); }, "",
     "zipped description is truncated: its entry's name and extra field end past its 35 bytes"},
    {"CutInStoredData", [] { return cut(test_zip::zip_archive(small_text, stored), data_at + 5); },
     "",
     "zipped description is truncated: its entry's 22 bytes of data end past the archive's 45 "
     "bytes"},
    {"CutInDeflatedData",
     [] { return cut(test_zip::zip_archive(large_text(), deflated, true), data_at + 100); }, "",
     "zipped description's compressed data ends early"},
    {"CutBeforeTheDescriptor",
     [] {
         Bytes zip = test_zip::zip_archive(large_text(), deflated, true);
         return cut(zip, data_at + test_zip::raw_deflate(large_text()).size() + 10);
     },
     "", "zipped description is truncated after its entry: the data descriptor is missing"},
    {"Zip64Sizes",
     [] {
         return with(test_zip::zip_archive(small_text, stored), test_zip::size_at, 0xFFFFFFFF, 4);
     },
     "", "zipped description's entry has zip64 sizes, which are not read"},
    {"TooLargeToUnpack",
     [] {
         return with(test_zip::zip_archive(small_text, deflated), test_zip::size_at, 0x10000000, 4);
     },
     "",
     "zipped description's entry unpacks to 268435456 bytes, more than the 67108864 a "
     "description may have"},
    {"UnpacksBeyondItsSize",
     [] { return with(test_zip::zip_archive(large_text(), deflated), test_zip::size_at, 100, 4); },
     "", "zipped description's entry unpacks to more than 100 bytes"},
    {"UnpacksShortOfItsSize",
     [] { return with(test_zip::zip_archive(small_text, deflated), test_zip::size_at, 23, 4); }, "",
     "zipped description's entry unpacks to 22 bytes instead of its stated 23"},
    {"StoredSizesDiffer",
     [] {
         return with(test_zip::zip_archive(small_text, stored), test_zip::packed_size_at, 21, 4);
     },
     "", "zipped description's stored entry has 21 bytes of data but a size of 22"},
    {"StoredWithSizesAfterData", [] { return test_zip::zip_archive(small_text, stored, true); }, "",
     "zipped description's stored entry gives its size only after its data"},
    {"WrongChecksum",
     [] { return with(test_zip::zip_archive(small_text, stored), data_at, 'X', 1); }, "",
     "zipped description's entry fails its checksum"},
    {"CorruptDeflateData",
     [] { return with(test_zip::zip_archive(small_text, deflated), data_at, 0xFF, 1); }, "",
     "zipped description's compressed data is corrupt: invalid block type"},
};

INSTANTIATE_TEST_SUITE_P(Archives, UnzipFirstEntry, ::testing::ValuesIn(cases),
                         [](const ::testing::TestParamInfo<Case>& info) {
                             return std::string(info.param.name);
                         });

}  // namespace
