// Hostile input, HTTP: what a console (or whatever answers in its place) may
// send back to the installation notification. The fake WinINet answers as
// the real library was measured to answer server.py's /hostile/ paths under
// Wine (tests/contract/internet_contract.cpp); each test states what the
// administrator sees.
#include "client_machine.h"
#include "notify/notification.h"

#include <algorithm>
#include <stdexcept>

#if defined(__SANITIZE_ADDRESS__)
// The address sanitizer's count of the bytes in use (its allocator replaces
// malloc's, whose own statistics then say nothing).
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
#else
#include <malloc.h>
#endif

using namespace port;

namespace {

const char* const kGuid = "0f1e2d3c-4b5a-6978-8796-a5b4c3d2e1f0";

// Bytes the process has allocated and not freed.
std::size_t AllocatedBytes() {
#if defined(__SANITIZE_ADDRESS__)
    return __sanitizer_get_current_allocated_bytes();
#else
    return mallinfo2().uordblks;
#endif
}

FakeHttpAnswer Answer(DWORD status, std::string body = {}) {
    FakeHttpAnswer a;
    a.status = status;
    a.headers.push_back({"Content-Length", std::to_string(body.size())});
    a.body = std::move(body);
    return a;
}

class HostileHttp : public ClientMachine {
protected:
    // The notification; the texts of the boxes it showed.
    std::vector<std::string> Notify(BOOL expected) {
        EXPECT_EQ(NotifyServer(view, kGuid), expected);
        std::vector<std::string> texts = Boxes();
        os.messageBoxes.clear();
        return texts;
    }
};

} // namespace

// WinINet takes bytes that are no HTTP for an old-style answer with status
// 200; the utility cannot tell it from a console's and counts the
// notification as delivered.
TEST_F(HostileHttp, AnAnswerWithoutAStatusLineCountsAsDeliveredAndShowsNothing) {
    FakeHttpAnswer garbage;
    garbage.body = std::string("\0\xff garbage", 10);
    net.answers = {garbage};
    EXPECT_TRUE(Notify(TRUE).empty());
}

TEST_F(HostileHttp, TenThousandHeaderLinesAreTakenAndTheNotificationSucceeds) {
    FakeHttpAnswer many = Answer(200, "ok");
    for (int i = 0; i < 10000; ++i)
        many.headers.push_back({"X-Filler-" + std::to_string(i), std::string(16, 'f')});
    net.answers = {many};
    EXPECT_TRUE(Notify(TRUE).empty());
}

// The answer is read to its end (the console must see it taken), but never
// held: at most 64 KiB of it are kept.
TEST_F(HostileHttp, AGigabyteAnswerIsReadWholeWithAtMost64KiBKept) {
    FakeHttpAnswer huge;
    huge.generatedBytes = std::uint64_t{1} << 30;
    huge.headers.push_back({"Content-Length", std::to_string(huge.generatedBytes)});
    net.answers = {huge};
    net.recordBodyCalls = false;
    std::size_t const before = AllocatedBytes();
    std::size_t peak = 0;
    std::uint64_t read = 0;
    net.onBodyRead = [&](std::uint64_t position) {
        read = position;
        peak = std::max(peak, AllocatedBytes() - std::min(before, AllocatedBytes()));
        // Stop a regression here rather than let it take a gigabyte.
        if (peak > (std::size_t{8} << 20))
            throw std::runtime_error("the answer is being kept");
    };
    EXPECT_TRUE(Notify(TRUE).empty());
    EXPECT_EQ(read, std::uint64_t{1} << 30);
    EXPECT_LT(peak, std::size_t{1} << 20) << "bytes held while the answer was read";
}

// One byte a second keeps every time-out of the library away; the answer
// must still be whole within the notification's 290 s, or the request ends
// with the library's time-out text. So must the body of a challenge, read
// before the credential dialog (which is then never shown).
TEST_F(HostileHttp, AnAnswerThatTricklesIsEndedByItsTimeLimit) {
    FakeHttpAnswer trickle = Answer(200);
    trickle.generatedBytes = 400000; // 400 s at its pace
    trickle.headers = {{"Content-Length", std::to_string(trickle.generatedBytes)}};
    trickle.arrivalBytes = 1;
    trickle.arrivalDelayMs = 1000;
    net.answers = {trickle};
    DWORD const start = os.now;
    EXPECT_EQ(Notify(FALSE), std::vector<std::string>{"Error: The operation timed out\r\n"});
    EXPECT_GE(os.now - start, 289000u);
    EXPECT_LE(os.now - start, 290000u);

    trickle.status = HTTP_STATUS_DENIED;
    net.answers = {trickle};
    EXPECT_EQ(Notify(FALSE), std::vector<std::string>{"Error: The operation timed out\r\n"});
    EXPECT_TRUE(net.CallsOf("InternetErrorDlg").empty());
}

// With no retries allowed, every typed name is tried once and asked for
// again when refused; the challenge ends only when the dialog is cancelled,
// with the text of 401.
TEST_F(HostileHttp, AChallengeThatKeepsComingBackAsksOnceForEachAnswerUntilCancelled) {
    net.responder = [](const FakeSentRequest&) { return Answer(HTTP_STATUS_DENIED, "denied"); };
    net.dialogs = {{ERROR_INTERNET_FORCE_RETRY, "first", "1"},
                   {ERROR_INTERNET_FORCE_RETRY, "second", "2"}};
    EXPECT_EQ(Notify(FALSE), std::vector<std::string>{
                                 "Error: The requested resource requires user authentication. "});
    EXPECT_EQ(net.CallsOf("InternetErrorDlg").size(), 3u);
    ASSERT_EQ(net.sent.size(), 3u);
    EXPECT_FALSE(net.sent[0].Has("Authorization"));
    EXPECT_EQ(net.sent[1].Header("Authorization"), "Basic Zmlyc3Q6MQ==");
    EXPECT_EQ(net.sent[2].Header("Authorization"), "Basic c2Vjb25kOjI=");
}

// The notification is one request to the configured server: a redirection
// is its answer, shown by its status, and nothing goes to the place it names
// (the library would carry the credentials' headers there).
TEST_F(HostileHttp, ARedirectionElsewhereIsShownAndNotFollowed) {
    os.SetString(HKEY_LOCAL_MACHINE, "SOFTWARE\\Halvex\\SentovaNTCorp\\CurrentVersion\\Mics.",
                 "ProxyLogin", "login");
    FakeHttpAnswer moved = Answer(301, "moved");
    moved.headers.push_back({"Location", "http://elsewhere.example/collect"});
    net.answers = {moved};
    EXPECT_EQ(Notify(FALSE), std::vector<std::string>{
                                 "Error: The requested resource has been assigned a new "
                                 "permanent URI. Any future reference to this resource should "
                                 "be done using one of the returned URIs."});
    moved.status = 302; // a status without a text of its own
    net.answers = {moved};
    EXPECT_EQ(Notify(FALSE), std::vector<std::string>{"Error: "});
    ASSERT_EQ(net.sent.size(), 2u);
    EXPECT_EQ(net.sent[0].server, "console.example");
    EXPECT_EQ(net.sent[1].server, "console.example");
}

// Fewer bytes than the answer announced: the library ends the body quietly
// where the connection closed; the utility reports the answer as cut off.
TEST_F(HostileHttp, AConnectionClosedInsideTheBodyIsAFailure) {
    FakeHttpAnswer cut = Answer(200, "0123456789");
    cut.headers = {{"Content-Length", "100"}};
    net.answers = {cut};
    EXPECT_EQ(Notify(FALSE),
              std::vector<std::string>{"Error: The connection with the server was terminated "
                                       "abnormally\r\n"});
}
