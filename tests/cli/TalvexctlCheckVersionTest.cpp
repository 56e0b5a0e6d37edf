// talvexctl check-version against loopback servers that answer badly: what
// it prints and how it fails for each kind of answer.

#include "cli/CliBench.h"
#include "update/LoopbackServer.h"

#include <gtest/gtest.h>

using namespace talvex;
using talvex::test::CliBench;
using talvex::test::CliResult;
using talvex::test::contains;
using talvex::test::LoopbackServer;

namespace {

using namespace std::chrono_literals;

constexpr const char* kHeaders = "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n";

constexpr auto answering = LoopbackServer::answering;
constexpr auto silent = LoopbackServer::silent;

struct ReplyCase {
    std::string what;
    LoopbackServer::Script script;
    int status;
    std::string out;
    std::vector<std::string> errSays;
    std::vector<std::string> errNeverSays;
};

} // namespace

TEST(TalvexctlCheckVersion, EachKindOfBadAnswerIsNamed)
{
    const ReplyCase cases[] = {
        {"negative firmware", answering(std::string(kHeaders) + "fwversion=-99 swversion=10502"), 1, "",
         {"the firmware version \"-99\"", "is not a number"}, {"0.-99", "named no version"}},
        {"signed firmware", answering(std::string(kHeaders) + "fwversion=+12 swversion=10600"), 1, "",
         {"the firmware version \"+12\"", "is not a number"}, {"firmware: "}},
        {"firmware with a point", answering(std::string(kHeaders) + "fwversion=1.5 swversion=10600"), 1, "",
         {"the firmware version \"1.5\"", "is not a number"}, {}},
        {"negative software", answering(std::string(kHeaders) + "fwversion=112 swversion=-1050"), 0,
         "firmware: 1.12\n", {"the software version \"-1050\", which is not a number"}, {"software: "}},
        {"silent server", silent(), 1, "", {"did not answer within 300 ms"}, {"named no version"}},
        {"closed at once", answering(""), 1, "", {"closed the connection without a reply"}, {"named no version"}},
        {"reply without the keys", answering(std::string(kHeaders) + "<html>maintenance</html>"), 1, "",
         {"named no version"}, {"did not answer"}},
        {"not found page naming versions",
         answering("HTTP/1.1 404 Not Found\r\nConnection: close\r\n\r\nfwversion=112 swversion=10600"), 1, "",
         {"answered HTTP status 404, not 200"}, {"firmware: "}},
    };
    for (const ReplyCase& reply : cases) {
        LoopbackServer server(reply.script);
        CliBench bench;
        VersionServer quick = bench.sim.context.versionServer();
        quick.connectTimeout = 2000ms;
        quick.receiveTimeout = 300ms;
        bench.sim.context.setVersionServer(quick);
        const CliResult result = bench.run({"check-version", "--server", "127.0.0.1:" + std::to_string(server.port())});
        EXPECT_EQ(result.status, reply.status) << reply.what << "\n" << result.err;
        EXPECT_EQ(result.out, reply.out) << reply.what;
        for (const std::string& text : reply.errSays)
            EXPECT_TRUE(contains(result.err, text)) << reply.what << ": " << text << "\n" << result.err;
        for (const std::string& text : reply.errNeverSays) {
            EXPECT_FALSE(contains(result.err, text)) << reply.what << ": " << text << "\n" << result.err;
            EXPECT_FALSE(contains(result.out, text)) << reply.what << ": " << text << "\n" << result.out;
        }
    }
}
