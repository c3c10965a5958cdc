#include "serial_protocol.h"

#include <gtest/gtest.h>

#include <string>

using namespace camsim;

namespace {

TEST(RequestLine, EndsAtTheLineFeedWithoutTheCarriageReturn)
{
    RequestLine request;
    std::string line = "left over";
    for (char c : std::string("rVB008\r")) EXPECT_FALSE(request.take(c, line));
    ASSERT_TRUE(request.take('\n', line));
    EXPECT_EQ("rVB008", line);
    ASSERT_TRUE(request.take('\n', line));
    EXPECT_EQ("", line);

    for (size_t i = 0; i < 10 * RequestLine::max_length; ++i) request.take('x', line);
    ASSERT_TRUE(request.take('\n', line));
    EXPECT_EQ(RequestLine::max_length, line.size());
}

struct Exchange {
    const char* settings;
    const char* request;
    bool answered;
    const char* reply;
};

class SerialProtocol : public ::testing::TestWithParam<Exchange> {};

TEST_P(SerialProtocol, AnswersOneLine)
{
    const SimConfig config = parse_sim_config(GetParam().settings);
    ASSERT_TRUE(config.problems.empty());
    CameraModel camera(config, "");
    std::string reply;
    EXPECT_EQ(GetParam().answered, answer_request(GetParam().request, config, camera, reply));
    EXPECT_EQ(GetParam().reply, reply);
}

INSTANTIATE_TEST_SUITE_P(
    Requests, SerialProtocol,
    ::testing::Values(Exchange{"width=2748\n", "rVB008", true, "ABC"},
                      Exchange{"", "rvb00c", true, "ERROR unknown command"},
                      Exchange{"", "V10004030,0", true, "OK"},
                      Exchange{"", "VB008,1", true, "ERROR access denied"},
                      Exchange{"", "rV123", true, "ERROR unknown register"},
                      Exchange{"", "V10004030", true, "ERROR unknown command"},
                      Exchange{"", "rV123456789", true, "ERROR unknown command"},
                      Exchange{"fail_read.0xB008=-1011\n", "rVB008", true, "ERROR -1011"},
                      Exchange{"error_reply.0xB008=Error 7\n", "rVB008", true, "Error 7"},
                      Exchange{"silent=0xB008\n", "rVB008", false, ""}));

}  // namespace
