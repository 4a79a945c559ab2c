// Discovery against peers that misbehave on purpose. Each case is bounded in
// time by an alarm and must leave no file descriptor open behind it.
#include <dirent.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <future>
#include <map>
#include <sstream>
#include <string>
#include <thread>

#include "discovery.h"
#include "http_reply.h"
#include "net.h"
#include "posix/test_support.h"

namespace vorbek {
namespace {

using namespace std::chrono_literals;
using testing::FakeInspector;

// Deadline 0: the first attempt's error is the result, as after 5 s of them.
constexpr DiscoveryTiming ONE_ATTEMPT{0ms, 50ms, 1s};
// ASan adds its shadow and keeps freed blocks in quarantine, so peak memory
// says something about the program only in a build without it.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool PEAK_MEMORY_IS_THE_PROGRAMS = false;
#else
constexpr bool PEAK_MEMORY_IS_THE_PROGRAMS = true;
#endif

constexpr std::chrono::seconds CASE_BOUND{60};
// Shorter, so that the parent kills a stuck child before its own alarm.
constexpr std::chrono::seconds CHILD_BOUND{45};

int open_fds() {
  int count = 0;
  DIR* dir = opendir("/proc/self/fd");
  if (!dir) return -1;
  while (const dirent* entry = readdir(dir)) {
    if (entry->d_name[0] != '.') ++count;
  }
  closedir(dir);
  return count;
}

// Ends the test process if a case outlives its bound: a hang must fail fast,
// not stall the suite. An alarm, not a thread, because some cases fork and a
// thread caught holding an allocator lock would deadlock the child.
void on_case_timeout(int) {
  constexpr char message[] = "hostile inspector case outlived its bound\n";
  (void)!write(STDERR_FILENO, message, sizeof message - 1);
  _exit(3);
}

class HostileInspector : public ::testing::Test {
 protected:
  void SetUp() override {
    signal(SIGALRM, on_case_timeout);
    alarm(static_cast<unsigned>(CASE_BOUND.count()));
    fds_before_ = open_fds();
  }
  // The peers are gone by now, so anything extra is the client's.
  void TearDown() override {
    EXPECT_EQ(open_fds(), fds_before_) << "a descriptor was left open";
    alarm(0);
  }

  std::string targets_failure(const std::string& address) const {
    return "failed to read inspector targets from http://" + address + "/json";
  }

 private:
  int fds_before_ = 0;
};

std::vector<std::string> chain(const Result<std::string>& result) {
  return result ? std::vector<std::string>{"success: " + *result} : result.error().messages();
}

// Serves `reply` once per connection, then closes.
FakeInspector::Serve replying(std::string reply) {
  return [reply = std::move(reply)](int fd) {
    FakeInspector::read_request(fd);
    FakeInspector::send_text(fd, reply);
  };
}

// Sends `bytes` again and again until the client goes away.
void stream_until_refused(int fd, std::string_view bytes) {
  while (send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) > 0) {
  }
}

// Runs `body` in a forked child, so that what it measures or changes
// (peak memory, mount namespace) belongs to it alone. The child's answer is
// "key=value" lines.
std::map<std::string, std::string> run_in_child(const std::function<std::string()>& body,
                                                std::chrono::seconds bound) {
  int pipe_fds[2];
  if (pipe2(pipe_fds, O_CLOEXEC) != 0) return {{"error", "pipe failed"}};
  const pid_t pid = fork();
  if (pid < 0) {
    close(pipe_fds[0]);
    close(pipe_fds[1]);
    return {{"error", "fork failed"}};
  }
  if (pid == 0) {
    close(pipe_fds[0]);
    alarm(static_cast<unsigned>(bound.count()) + 5);  // fork clears the parent's alarm
    const std::string answer = body();
    for (std::string_view left = answer; !left.empty();) {
      const ssize_t n = write(pipe_fds[1], left.data(), left.size());
      if (n <= 0) _exit(2);
      left.remove_prefix(static_cast<size_t>(n));
    }
    _exit(0);
  }
  close(pipe_fds[1]);
  std::string answer;
  const auto give_up = std::chrono::steady_clock::now() + bound;
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        give_up - std::chrono::steady_clock::now());
    pollfd p{pipe_fds[0], POLLIN, 0};
    const int ready = left <= 0ms ? 0 : poll(&p, 1, static_cast<int>(left.count()));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) {
      kill(pid, SIGKILL);
      answer = "error=child did not finish in time\n";
      break;
    }
    char buffer[4096];
    const ssize_t n = read(pipe_fds[0], buffer, sizeof buffer);
    if (n <= 0) break;
    answer.append(buffer, static_cast<size_t>(n));
  }
  close(pipe_fds[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  std::map<std::string, std::string> values;
  std::istringstream lines(answer);
  for (std::string line; std::getline(lines, line);) {
    const size_t equals = line.find('=');
    if (equals != std::string::npos) values[line.substr(0, equals)] = line.substr(equals + 1);
  }
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) values["error"] += " (child died)";
  return values;
}

long status_kib(const char* field) {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.starts_with(field)) return std::atol(line.c_str() + std::strlen(field));
  }
  return -1;
}

TEST_F(HostileInspector, ResetMidReplyGivesTheResetError) {
  FakeInspector peer([](int fd) {
    FakeInspector::read_request(fd);
    FakeInspector::send_text(fd, "HTTP/1.1 200 OK\r\n\r\n[{\"webSocketDebuggerUrl\":\"ws://");
    std::this_thread::sleep_for(100ms);  // the client is now inside the reply
    // No lingering: closing sends a reset instead of the end of the stream.
    linger abort_on_close{1, 0};
    setsockopt(fd, SOL_SOCKET, SO_LINGER, &abort_on_close, sizeof abort_on_close);
  });
  auto target = discover_ws_target(peer.address(), ONE_ATTEMPT);
  EXPECT_EQ(chain(target), (std::vector<std::string>{targets_failure(peer.address()),
                                                     "Connection reset by peer (os error 104)"}));
}

// One byte every 2 s keeps each receive inside the real 3 s time-out, so the
// attempt is held open; the size bound still ends it once the bytes pour in.
TEST_F(HostileInspector, SlowDripIsHeldOpenButStillBounded) {
  std::promise<void> dripped;
  FakeInspector peer([&](int fd) {
    FakeInspector::read_request(fd);
    for (char c : std::string_view("HTT")) {
      FakeInspector::send_text(fd, std::string(1, c));
      std::this_thread::sleep_for(2s);
    }
    dripped.set_value();
    FakeInspector::send_text(fd, "P/1.1 200 OK\r\n\r\n[");
    stream_until_refused(fd, std::string(64 * 1024, ' '));
  });
  const auto started = std::chrono::steady_clock::now();
  auto attempt = std::async(std::launch::async, [&] { return fetch_targets_body(peer.address()); });
  dripped.get_future().wait();
  // Past one whole receive time-out since the first byte, and still reading.
  EXPECT_GT(std::chrono::steady_clock::now() - started, READ_TIMEOUT);
  EXPECT_EQ(attempt.wait_for(0s), std::future_status::timeout);
  EXPECT_EQ(chain(attempt.get()), std::vector<std::string>{"inspector reply exceeds 67108864 bytes"});
}

// In a child process, so that its peak memory is this case's alone.
TEST_F(HostileInspector, EndlessStreamStopsAtTheBoundWithMemoryToSpare) {
  auto child = run_in_child(
      [] {
        FakeInspector peer([](int fd) {
          FakeInspector::read_request(fd);
          FakeInspector::send_text(fd, "HTTP/1.1 200 OK\r\n\r\n[");
          stream_until_refused(fd, std::string(64 * 1024, ' '));
        });
        const long before = status_kib("VmHWM:");
        auto body = fetch_targets_body(peer.address());
        std::string answer = "chain=" + chain(body).back() + "\n";
        answer += "before_kib=" + std::to_string(before) + "\n";
        answer += "peak_kib=" + std::to_string(status_kib("VmHWM:")) + "\n";
        return answer;
      },
      CHILD_BOUND);
  EXPECT_EQ(child["error"], "");
  EXPECT_EQ(child["chain"], "inspector reply exceeds 67108864 bytes");
  const long peak_mib = std::atol(child["peak_kib"].c_str()) / 1024;
  RecordProperty("peak_mib", static_cast<int>(peak_mib));
  std::printf("peak memory %ld MiB (%ld MiB before the attempt)\n", peak_mib,
              std::atol(child["before_kib"].c_str()) / 1024);
  EXPECT_GT(peak_mib, 64);  // the measurement saw the buffer at all
  if (PEAK_MEMORY_IS_THE_PROGRAMS) EXPECT_LT(peak_mib, 128);
}

// A header block that never ends: the search for its end used to start over
// after every receive, which took minutes to reach the bound; the watchdog
// would end this case long before that.
TEST_F(HostileInspector, EndlessHeaderBlockStopsAtTheBound) {
  FakeInspector peer([](int fd) {
    FakeInspector::read_request(fd);
    std::string almost_terminators;
    while (almost_terminators.size() < 64 * 1024) almost_terminators += "\r\n\r";
    stream_until_refused(fd, almost_terminators);
  });
  EXPECT_EQ(chain(fetch_targets_body(peer.address())),
            std::vector<std::string>{"inspector reply exceeds 67108864 bytes"});
}

TEST_F(HostileInspector, MalformedRepliesGiveTheirErrors) {
  const std::string target = R"([{"webSocketDebuggerUrl":"ws://h/x"}])";
  struct Case {
    const char* name;
    std::string reply;
    std::string cause;
  } cases[] = {
      // No header block at all: the body alone, then the end of the stream.
      {"HTTP/0.9", target, "malformed HTTP response from inspector"},
      // NUL is valid UTF-8, so only the missing header end is wrong.
      {"NUL bytes", std::string(1 << 20, '\0'), "malformed HTTP response from inspector"},
  };
  for (const auto& c : cases) {
    FakeInspector peer(replying(c.reply));
    auto result = discover_ws_target(peer.address(), ONE_ATTEMPT);
    EXPECT_EQ(chain(result), (std::vector<std::string>{targets_failure(peer.address()), c.cause}))
        << c.name;
  }
}

// Transfer encodings are not read: the chunk sizes reach the JSON parser,
// and a JSON failure is final however much time is left.
TEST_F(HostileInspector, ChunkedReplyFailsAtTheJsonParser) {
  const std::string body = R"([{"webSocketDebuggerUrl":"ws://h/x"}])";
  char size[16];
  std::snprintf(size, sizeof size, "%zx", body.size());
  FakeInspector peer(replying("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n" +
                              std::string(size) + "\r\n" + body + "\r\n0\r\n\r\n"));
  auto result = discover_ws_target(peer.address(), DiscoveryTiming{10s, 50ms, 1s});
  const auto messages = chain(result);
  ASSERT_EQ(messages.size(), 3u);
  EXPECT_EQ(messages[0], targets_failure(peer.address()));
  EXPECT_EQ(messages[1], "inspector /json was not valid JSON");
  EXPECT_EQ(peer.connections(), 1);
}

// A number beyond the range of double used to escape as an exception and
// abort the process; it is a JSON failure like any other.
TEST_F(HostileInspector, NumberOutOfRangeIsInvalidJsonNotACrash) {
  for (const char* body : {"[1e999]", "[-1e999]", R"([{"webSocketDebuggerUrl":"ws://h/x"}, 1E400])",
                           R"([{"webSocketDebuggerUrl":"ws://h/x", "id": 9e99999}])"}) {
    auto target = select_ws_target(body);
    ASSERT_FALSE(target.ok()) << body;
    ASSERT_EQ(target.error().messages().size(), 2u) << body;
    EXPECT_EQ(target.error().outermost(), "inspector /json was not valid JSON");
    EXPECT_NE(target.error().messages()[1].find("number overflow"), std::string::npos);
  }
  FakeInspector peer(replying("HTTP/1.1 200 OK\r\n\r\n[1e999]"));
  auto result = discover_ws_target(peer.address(), DiscoveryTiming{10s, 50ms, 1s});
  ASSERT_EQ(chain(result).size(), 3u);
  EXPECT_EQ(chain(result)[1], "inspector /json was not valid JSON");
  EXPECT_EQ(peer.connections(), 1);
}

TEST_F(HostileInspector, TenMegabyteListWithTheTargetFirst) {
  std::string body = R"([{"webSocketDebuggerUrl":"ws://127.0.0.1:9229/first","id":"0"})";
  for (int i = 1; body.size() < 10'000'000; ++i) {
    body += R"(,{"description":"node.js instance","id":")" + std::to_string(i) +
            R"(","title":"worker \u00e9 \"quoted\"","type":"node","webSocketDebuggerUrl":"ws://127.0.0.1:9229/)" +
            std::to_string(i) + "\"}";
  }
  body += "]";
  FakeInspector peer(replying("HTTP/1.1 200 OK\r\nContent-Type: application/json\r\n\r\n" + body));
  auto result = discover_ws_target(peer.address(), ONE_ATTEMPT);
  EXPECT_EQ(chain(result), std::vector<std::string>{"success: 127.0.0.1:9229/first"});
}

// A list just under the size bound made of the smallest elements: parsed
// whole into a document model, "{}" costs some 80 bytes a piece (1.8 GiB
// here); only element 0 is kept, so the reply and its body are what count.
TEST_F(HostileInspector, ListAtTheBoundKeepsOnlyElementZero) {
  auto child = run_in_child(
      [] {
        FakeInspector peer([](int fd) {
          FakeInspector::read_request(fd);
          const std::string head = "HTTP/1.1 200 OK\r\n\r\n[{\"webSocketDebuggerUrl\":\"ws://h/0\"}";
          FakeInspector::send_text(fd, head);
          std::string chunk;
          while (chunk.size() < 64 * 1024 - 3) chunk += ",{}";
          size_t sent = head.size();
          for (; sent + chunk.size() + 1 <= MAX_REPLY_BYTES; sent += chunk.size()) {
            FakeInspector::send_text(fd, chunk);
          }
          FakeInspector::send_text(fd, "]");
        });
        auto target = discover_ws_target(peer.address(), ONE_ATTEMPT);
        return "chain=" + chain(target).back() + "\npeak_kib=" + std::to_string(status_kib("VmHWM:")) +
               "\n";
      },
      CHILD_BOUND);
  EXPECT_EQ(child["error"], "");
  EXPECT_EQ(child["chain"], "success: h/0");
  const long peak_mib = std::atol(child["peak_kib"].c_str()) / 1024;
  std::printf("peak memory %ld MiB\n", peak_mib);
  if (PEAK_MEMORY_IS_THE_PROGRAMS) EXPECT_LT(peak_mib, 192);
}

TEST_F(HostileInspector, PeerThatNeverAnswersTimesOut) {
  FakeInspector peer([](int fd) {
    char buffer[256];
    while (recv(fd, buffer, sizeof buffer, 0) > 0) {  // until the client gives up
    }
  });
  const auto started = std::chrono::steady_clock::now();
  auto result = discover_ws_target(peer.address(), DiscoveryTiming{0ms, 50ms, 300ms});
  EXPECT_GE(std::chrono::steady_clock::now() - started, 300ms);
  EXPECT_EQ(chain(result), (std::vector<std::string>{targets_failure(peer.address()),
                                                     "Resource temporarily unavailable (os error 11)"}));
}

// The receive loop's view of a reply that arrives in pieces.
TEST(ReplyScanner, FindsTheHeaderEndAcrossReceives) {
  const std::string reply = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\n[]";
  // Cut at every place, the terminator's four bytes included.
  for (size_t cut = 0; cut <= reply.size(); ++cut) {
    ReplyScanner scanner;
    EXPECT_EQ(scanner.complete_length(std::string_view(reply).substr(0, cut)),
              cut == reply.size() ? std::optional<size_t>(reply.size()) : std::nullopt);
    EXPECT_EQ(scanner.complete_length(reply), reply.size()) << cut;
    EXPECT_EQ(scanner.complete_length(reply + "extra"), reply.size()) << cut;
  }
  // Headers without a usable length never complete, however much follows.
  ReplyScanner no_length;
  EXPECT_FALSE(no_length.complete_length("HTTP/1.1 200 OK\r\n\r\n"));
  EXPECT_FALSE(no_length.complete_length("HTTP/1.1 200 OK\r\n\r\nContent-Length: 0\r\n\r\n"));
}

TEST(ReplyScanner, BodyFromReplyRefusesOneBytePastTheBound) {
  std::string reply = "HTTP/1.1 200 OK\r\n\r\n";
  reply.resize(MAX_REPLY_BYTES, ' ');
  EXPECT_TRUE(body_from_reply(reply).ok());
  reply += ' ';
  auto body = body_from_reply(reply);
  ASSERT_FALSE(body.ok());
  EXPECT_EQ(body.error().messages(), std::vector<std::string>{"inspector reply exceeds 67108864 bytes"});
}

// A loopback port free on both 127.0.0.1 and ::1.
std::uint16_t port_free_on_both() {
  for (int tries = 0; tries < 20; ++tries) {
    const std::uint16_t port = testing::unused_port();
    const int fd = socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in6 address{};
    address.sin6_family = AF_INET6;
    address.sin6_addr = in6addr_loopback;
    address.sin6_port = htons(port);
    const bool free = bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    close(fd);
    if (free) return port;
  }
  return 0;
}

// A name that resolves to ::1 and 127.0.0.1. No such name can be relied on
// in /etc/hosts, so the child gets a private mount namespace with a hosts
// file of its own; without the privilege for that the case is skipped.
TEST_F(HostileInspector, NameOfBothLoopbacksWithNothingListening) {
  constexpr const char* NAME = "vorbek-both-loopbacks.test";
  const std::uint16_t port = port_free_on_both();
  ASSERT_NE(port, 0);
  const std::string address = std::string(NAME) + ":" + std::to_string(port);

  auto child = run_in_child(
      [&]() -> std::string {
        char hosts[] = "/tmp/vorbek-hosts-XXXXXX";
        const int fd = mkstemp(hosts);
        if (fd < 0) return "skip=cannot write a hosts file\n";
        const std::string lines = std::string("127.0.0.1 ") + NAME + "\n::1 " + NAME + "\n";
        const bool written = write(fd, lines.data(), lines.size()) == static_cast<ssize_t>(lines.size());
        close(fd);
        if (!written) return "skip=cannot write a hosts file\n";
        const bool private_hosts = unshare(CLONE_NEWNS) == 0 &&
                                   mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
                                   mount(hosts, "/etc/hosts", nullptr, MS_BIND, nullptr) == 0;
        unlink(hosts);
        if (!private_hosts) return "skip=no private mount namespace for /etc/hosts (needs CAP_SYS_ADMIN)\n";

        auto resolved = resolve_host(NAME, port);
        if (!resolved || resolved->size() != 2 || (*resolved)[0].family == (*resolved)[1].family) {
          return "error=the name did not resolve to one address of each family\n";
        }
        std::string answer = "order=";
        for (const auto& a : *resolved) answer += a.family == SocketAddress::Family::IPv6 ? "::1 " : "127.0.0.1 ";
        // The error to expect is that of the address tried last.
        auto last = TcpStream::connect(resolved->back());
        answer += "\nlast_error=" + (last ? std::string("connected") : last.error().outermost()) + "\n";

        const int fds_before = open_fds();
        auto result = discover_ws_target(std::string(NAME) + ":" + std::to_string(port), ONE_ATTEMPT);
        const auto messages = chain(result);
        for (size_t i = 0; i < messages.size(); ++i) {
          answer += "chain" + std::to_string(i) + "=" + messages[i] + "\n";
        }
        answer += "fds_left=" + std::to_string(open_fds() - fds_before) + "\n";

        // With a peer on the last address only, the first one's failure is
        // passed over and its socket closed.
        if (resolved->back().family == SocketAddress::Family::IPv4) {
          FakeInspector peer(replying("HTTP/1.1 200 OK\r\n\r\n[{\"webSocketDebuggerUrl\":\"ws://ok\"}]"),
                             port);
          auto found = discover_ws_target(std::string(NAME) + ":" + std::to_string(port), ONE_ATTEMPT);
          answer += "with_last_listening=" + chain(found).back() + "\n";
        }
        return answer;
      },
      CHILD_BOUND);
  if (child.count("skip")) GTEST_SKIP() << child["skip"];
  ASSERT_EQ(child["error"], "");
  std::printf("resolver order: %s\n", child["order"].c_str());
  // Both are refused on a loopback; either way the last address's error shows.
  EXPECT_EQ(child["last_error"], "Connection refused (os error 111)");
  EXPECT_EQ(child["chain0"], targets_failure(address));
  EXPECT_EQ(child["chain1"], "connect to inspector at " + address);
  EXPECT_EQ(child["chain2"], child["last_error"]);
  EXPECT_EQ(child.count("chain3"), 0u);
  EXPECT_EQ(child["fds_left"], "0");
  if (child.count("with_last_listening")) EXPECT_EQ(child["with_last_listening"], "success: ok");
}

}  // namespace
}  // namespace vorbek
