#include "sources/RemoteQueryLibrary.h"
#include "sources/RemoteQueryApi.h"

#include "TestLibraryFixture.h"

using ostero::sources::kQueryNotConnected;
using ostero::sources::TOobProtocol;
using ostero::sources::TRemoteQueryLibrary;

namespace {

class RemoteQueryLibraryTest : public TestLibraryFixture {
protected:
    std::string Folder() const { return (LibDir_ / "remote").string() + "/"; }
};

TEST_F(RemoteQueryLibraryTest, QueriesBeforeConnectAnswerNotConnected) {
    TRemoteQueryLibrary remote(Folder());
    std::string answer = "stale";
    EXPECT_EQ(remote.RemoteQuery("VERSION", answer, 5000), kQueryNotConnected);
    EXPECT_EQ(answer, "");
    std::vector<std::string> lines{"stale"};
    EXPECT_EQ(remote.RemoteQueryLines("VERSION", lines, 5000), kQueryNotConnected);
    EXPECT_TRUE(lines.empty());
    EXPECT_FALSE(remote.Loaded());
}

TEST_F(RemoteQueryLibraryTest, ConnectQueryDisconnect) {
    TRemoteQueryLibrary remote(Folder());
    ASSERT_EQ(remote.RemoteConnect("192.0.2.5", 2027, 5000), 0);
    std::string answer;
    EXPECT_EQ(remote.RemoteQuery("ENUMROOTINFOS:", answer, 4000), 0);
    EXPECT_EQ(answer, "echo:ENUMROOTINFOS:");
    EXPECT_EQ(remote.RemoteQuery("FAIL", answer, 4000), OSTERO_REMOTE_HOST_MESSAGE);
    EXPECT_EQ(answer, "Access denied by host");
    std::vector<std::string> lines;
    EXPECT_EQ(remote.RemoteQueryLines("LINES", lines, 4000), 0);
    EXPECT_EQ(lines, (std::vector<std::string>{"first", "second", "third"}));
    remote.RemoteDisconnect();
    EXPECT_FALSE(remote.Loaded());
    EXPECT_EQ(remote.RemoteQuery("X", answer, 4000), kQueryNotConnected);
    EXPECT_EQ(Calls(), (std::vector<std::string>{
                           "SocketConnectServer|192.0.2.5|2027|5000",
                           "SocketQueryServer|ENUMROOTINFOS:|7999|4000",
                           "SocketQueryServer|FAIL|7999|4000",
                           "SocketQueryServer|LINES|8000|4000",
                           "SocketDisconnectServer",
                       }));
}

TEST_F(RemoteQueryLibraryTest, AnswerFillingTheBufferIsCut) {
    TRemoteQueryLibrary remote(Folder());
    ASSERT_EQ(remote.RemoteConnect("h", 2027, 5000), 0);
    std::string answer;
    EXPECT_EQ(remote.RemoteQuery("FLOOD", answer, 5000), 0);
    EXPECT_EQ(answer, std::string(7999, 'z'));
    std::vector<std::string> lines;
    EXPECT_EQ(remote.RemoteQueryLines("FLOOD", lines, 5000), 0);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].size(), 8000u);
}

TEST_F(RemoteQueryLibraryTest, MissingLibraryAndEntryGiveSystemErrors) {
    TRemoteQueryLibrary missing((Temp_).string() + "/");
    // Make sure the bare name cannot be found through the system's search either.
    EXPECT_EQ(missing.RemoteConnect("h", 2027, 5000), ostero::platform::kErrorModNotFound);
    EXPECT_EQ(missing.PingClient(TOobProtocol::IAmt, "h"), ostero::platform::kErrorModNotFound);

    TRemoteQueryLibrary remote(Folder());
    EXPECT_EQ(remote.PingClient(TOobProtocol::IAmt, "h"), ostero::platform::kErrorProcNotFound);
    EXPECT_EQ(remote.PingClient(TOobProtocol::Ipmi, "bmc"), 0);
}

TEST_F(RemoteQueryLibraryTest, WideTextsAreConvertedAndReleased) {
    TRemoteQueryLibrary remote(Folder());
    std::string lines;
    EXPECT_EQ(remote.GetRootInfos(TOobProtocol::Ipmi, lines, "bmc", "admin", "wrong"), -2);
    EXPECT_EQ(lines, "");
    EXPECT_EQ(remote.GetRootInfos(TOobProtocol::Ipmi, lines, "bmc", "admin", "secret"), 7);
    EXPECT_EQ(lines, "Sensors\r\nGr\xF6\xDF"
                     "e \x80\r\n"); // Windows-1252
    remote.RemoveSession(TOobProtocol::Ipmi, 7);
    EXPECT_EQ(remote.GetRootInfos(TOobProtocol::Snmp, lines, "switch", "ignored", "ignored"), 3);
    EXPECT_EQ(lines, "System");
    const std::string port = "9";
    EXPECT_EQ(remote.WolPingClient("001122334455", &port), 0);
    EXPECT_EQ(remote.WolPingClient("0011", nullptr), -1);
    EXPECT_EQ(remote.WolErrorMessage(), "Bad MAC address");
    EXPECT_EQ(Calls(), (std::vector<std::string>{
                           "GetIPMIRootInfos|bmc|admin|wrong",
                           "GetIPMIRootInfos|bmc|admin|secret",
                           "RemoveIPMISID|7",
                           "GetSNMPRootInfos|switch|(null)|(null)",
                           "WOLPingClient|001122334455|9",
                           "WOLPingClient|0011|(null)",
                       }));
}

TEST_F(RemoteQueryLibraryTest, ErrorTextLoadsTheLibraryForTheCall) {
    TRemoteQueryLibrary remote(Folder());
    EXPECT_EQ(remote.SocketErrorMessage(42), "Test error 42");
    EXPECT_FALSE(remote.Loaded());
}

TEST(RemoteQueryLines, SplitsAtEveryKindOfLineBreak) {
    EXPECT_EQ(TRemoteQueryLibrary::SplitLines("a\r\nb\rc\nd"),
              (std::vector<std::string>{"a", "b", "c", "d"}));
    EXPECT_EQ(TRemoteQueryLibrary::SplitLines("a\n\nb\n"),
              (std::vector<std::string>{"a", "", "b"}));
    EXPECT_TRUE(TRemoteQueryLibrary::SplitLines("").empty());
}

} // namespace
