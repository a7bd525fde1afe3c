// SPDX-License-Identifier: GPL-3.0-or-later
// The title lookup against a small HTTP server of the test's own on 127.0.0.1: hits, misses, a
// server that errs, hangs or is not there, hostile replies, the pace and the User-Agent.
#include "desktop/title_lookup.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>
#include <cstdio>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace vantora::desktop {
namespace {

using namespace std::chrono_literals;
using platform::cdaudio::Frames;
using platform::cdaudio::Toc;
using platform::cdaudio::TrackKind;
using platform::cdaudio::TrackNumber;

Toc MakeToc(const std::vector<int32_t>& starts, int32_t leadOut, int dataFrom = 0) {
  std::vector<Frames> frames;
  for (const int32_t start : starts) {
    frames.push_back(Frames{start});
  }
  Toc toc = *Toc::Make(frames, Frames{leadOut});
  for (int track = dataFrom; dataFrom > 0 && track <= toc.TrackCount(); ++track) {
    toc.SetKind(TrackNumber{track}, TrackKind::Data);
  }
  return toc;
}

// Six tracks; its ID, and that of the enhanced disc below, computed apart from libdiscid with
// SHA-1 and base64 in Python.
const Toc kSix = MakeToc({150, 15363, 32314, 46592, 63414, 80489}, 95462);
constexpr char kSixId[] = "49HHV7Eb8UKF3aQiNmu1GR8vKTY-";
const std::vector<int> kSixMs = {202840, 226013, 190373, 224293, 227667, 199640};

TEST(DiscIdentity, MatchesIdsComputedByHand) {
  const Toc enhanced = MakeToc(
      {150, 17510, 33275, 45910, 57805, 78310, 94650, 109580, 132010, 149160, 172000}, 190000, 11);
  EXPECT_EQ(MusicBrainzDiscId(kSix), kSixId);
  EXPECT_EQ(MusicBrainzDiscId(enhanced), "kkB1UCaDxbpyFXi50Y5ElNftBK8-");
  EXPECT_EQ(TocText(enhanced),
            "1 10 160600 150 17510 33275 45910 57805 78310 94650 109580 "
            "132010 149160");
  unsetenv("VANTORA_MUSICBRAINZ_URL");
  EXPECT_EQ(SubmissionUrl(kSix),
            "https://musicbrainz.org/cdtoc/attach?id=49HHV7Eb8UKF3aQiNmu1GR8vKTY-&tracks=6&toc="
            "1+6+95462+150+15363+32314+46592+63414+80489");
  EXPECT_EQ(MusicBrainzDiscId(MakeToc({150}, 9000, 1)), "");
}

std::string Quoted(const std::string& text) {
  return "\"" + text + "\"";
}

// One release of one medium; `shift` ms added to every length.
std::string Release(const std::string& title, const std::string& discId, size_t tracks,
                    int shift = 0) {
  std::string list;
  for (size_t i = 0; i < tracks; ++i) {
    list += std::string(i ? "," : "") + "{\"position\":" + std::to_string(i + 1) +
            ",\"title\":" + Quoted(title + " " + std::to_string(i + 1)) +
            ",\"length\":" + std::to_string(kSixMs[i % kSixMs.size()] + shift) + "}";
  }
  return "{\"title\":" + Quoted(title) +
         ",\"artist-credit\":[{\"name\":\"Ann\",\"joinphrase\":\" & \"},{\"name\":\"Bo\"}]"
         ",\"media\":[{\"position\":1,\"format\":\"CD\",\"track-count\":" +
         std::to_string(tracks) + ",\"discs\":[{\"id\":" + Quoted(discId) + "}],\"tracks\":[" +
         list + "]}]}";
}

std::string Releases(const std::vector<std::string>& releases) {
  std::string text = "{\"releases\":[";
  for (size_t i = 0; i < releases.size(); ++i) {
    text += (i ? "," : "") + releases[i];
  }
  return text + "]}";
}

struct Answer {
  int status = 200;
  std::string body{};
  bool hang = false;
  QByteArray headers{};  // more header lines, each ending in \r\n
};
struct Seen {
  QByteArray path, agent;
  qint64 ms = 0;
};

// Answers GET /ws/2/discid/<id> with `byId`, the fuzzy TOC lookup with `byToc`; stops listening
// at once when `byId` has no status.
class Server {
 public:
  Server(Answer byId, Answer byToc) : byId_(std::move(byId)), byToc_(std::move(byToc)) {
    clock_.start();
    server_.listen(QHostAddress::LocalHost);
    port_ = server_.serverPort();
    if (byId_.status == 0) {
      server_.close();
    }
    QObject::connect(&server_, &QTcpServer::newConnection, [this] {
      QTcpSocket* socket = server_.nextPendingConnection();
      QObject::connect(socket, &QTcpSocket::readyRead, [this, socket] { Read(socket); });
    });
  }
  std::string Url() const { return "http://127.0.0.1:" + std::to_string(port_); }
  std::vector<Seen> seen;

 private:
  void Read(QTcpSocket* socket) {
    QByteArray& request = pending_[socket];
    request += socket->readAll();
    if (!request.contains("\r\n\r\n")) {
      return;
    }
    Seen one{request.split(' ').value(1), {}, clock_.elapsed()};
    for (const QByteArray& line : request.split('\n')) {
      if (line.toLower().startsWith("user-agent:")) {
        one.agent = line.mid(11).trimmed();
      }
    }
    const Answer& answer = one.path.startsWith("/ws/2/discid/-?") ? byToc_ : byId_;
    seen.push_back(one);
    if (answer.hang) {
      return;
    }
    socket->write("HTTP/1.1 " + QByteArray::number(answer.status) + " X\r\n" + answer.headers +
                  "Content-Type: application/json\r\nConnection: close\r\nContent-Length: " +
                  QByteArray::number(answer.body.size()) + "\r\n\r\n" +
                  QByteArray::fromStdString(answer.body));
    socket->disconnectFromHost();
  }

  Answer byId_, byToc_;
  QTcpServer server_;
  QElapsedTimer clock_;
  quint16 port_ = 0;
  std::map<QTcpSocket*, QByteArray> pending_;
};

class Lookup : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    static int argc = 1;
    static char name[] = "title_lookup_test";
    static char* argv[] = {name, nullptr};
    static QCoreApplication application(argc, argv);
  }

  // Asks once through `url`, giving up after a second, and waits for the answer; also how long it
  // took and how often a 50 ms timer ticked meanwhile.
  LookupResult AskAt(const std::string& url) {
    setenv("VANTORA_MUSICBRAINZ_URL", url.c_str(), 1);
    std::unique_ptr<TitleLookup> lookup = TitleLookup::Start(1s);
    std::optional<LookupResult> got;
    bool returned = false;
    QTimer tick;
    ticks_ = 0;
    QObject::connect(&tick, &QTimer::timeout, [this] { ++ticks_; });
    tick.start(50);
    QElapsedTimer clock;
    clock.start();
    // A plain event loop, as the player's: qWaitFor would add its polling sleeps to the time.
    QEventLoop loop;
    QTimer::singleShot(20s, &loop, &QEventLoop::quit);
    lookup->Ask(kSix, [&](LookupResult result) {
      EXPECT_TRUE(returned) << "done ran inside Ask";
      elapsedMs_ = clock.nsecsElapsed() / 1e6;
      got = std::move(result);
      loop.quit();
    });
    returned = true;
    loop.exec();
    EXPECT_TRUE(got.has_value());
    return got.value_or(LookupResult{});
  }

  int ticks_ = 0;
  double elapsedMs_ = 0;
};

// What a lookup gave, in one line to compare.
std::string Describe(const LookupResult& result) {
  if (!result.names) {
    return (result.unknown ? "unknown: " : "failed: ") + result.why;
  }
  const FoundNames& names = *result.names;
  return names.album + " / " + names.artist + " / " + names.tracks.at(0) + " of " +
         std::to_string(names.tracks.size());
}

TEST_F(Lookup, AnswersEveryKindOfReply) {
  const std::string deep(100000, '[');
  const std::string wrongTypes =
      "{\"releases\":[1,\"x\",{\"media\":{\"a\":1}},{\"title\":[\"no\"],\"artist-credit\":"
      "[{\"name\":5},{\"name\":\"A\\nB\",\"joinphrase\":7}],\"media\":[{\"discs\":3,"
      "\"tracks\":[1,{\"title\":{}},3,4,{\"length\":-1e308},{\"length\":\"7\"}]}]}]}";
  const std::string x200(200, 'x');
  const Answer miss{404, "{\"error\":\"Not Found\"}"};
  const Answer fuzzy{200, Releases({Release("Fuzzy", "", 6)})};
  struct Case {
    const char* name;
    Answer byId, byToc;
    std::string want;  // Describe's line, or a part of it for a failure
    size_t requests = 1;
  };
  // clang-format off
  const std::vector<Case> cases = {
    {"hit", {200, Releases({Release("Ours", kSixId, 6)})}, {}, "Ours / Ann & Bo / Ours 1 of 6"},
    {"the closest lengths win", {200, Releases({Release("Five", "", 5), Release("Far", "", 6, 30000),
      Release("Near", "", 6, 900), Release("Farther", "", 6, -40000)})}, {}, "Near / Ann & Bo"},
    {"our disc ID wins over closer lengths",
      {200, Releases({Release("Near", "", 6), Release("Ours", kSixId, 6, 2000)})}, {}, "Ours /"},
    {"a miss, then the fuzzy lookup", miss, fuzzy, "Fuzzy / Ann & Bo / Fuzzy 1 of 6", 2},
    {"nothing fits, then the fuzzy lookup", {200, Releases({Release("Five", "", 5)})}, fuzzy,
      "Fuzzy /", 2},
    {"unknown", miss, miss, "unknown: the service does not know the disc", 2},
    {"unknown when the fuzzy lookup lists nothing", miss, {200, "{\"releases\":[]}"}, "unknown:", 2},
    {"server error", {503, "busy"}, {}, "failed: 127.0.0.1 answered 503"},
    {"redirect to another host", {302, "", false, "Location: http://127.0.0.2:9/\r\n"}, {},
      "failed: 127.0.0.1 answered 302"},
    {"silent server", {200, "", true}, {}, "failed: 127.0.0.1 did not answer within 1000 ms"},
    {"no server", {0}, {}, "failed: cannot reach 127.0.0.1", 0},
    {"malformed", {200, "{\"releases\":[{"}, {}, "failed: 127.0.0.1: not JSON"},
    {"deep", {200, deep}, {}, "failed: 127.0.0.1: not JSON"},
    {"wrong types", {200, wrongTypes}, {}, " / A B /  of 6"},
    {"huge", {200, Releases({Release(std::string(1 << 20, 'x'), kSixId, 6)})}, {},
      x200 + " / Ann & Bo / " + x200 + " of 6"},
    {"too large", {200, std::string(9 << 20, ' ')}, {}, "failed: 127.0.0.1 sent a reply larger"},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Server server(c.byId, c.byToc);
    const std::string got = Describe(AskAt(server.Url()));
    std::printf("%s: Ask to done %.1f ms\n", c.name, elapsedMs_);
    EXPECT_EQ(got.find(c.want), 0u) << got;
    EXPECT_EQ(server.seen.size(), c.requests);
    // The loop ran all the while: a 50 ms timer ticked throughout.
    EXPECT_GE(ticks_, elapsedMs_ / 100 - 1);
    if (c.requests == 2) {
      EXPECT_EQ(server.seen[1].path.toStdString(),
                "/ws/2/discid/-?toc=1+6+95462+150+15363+32314+46592+63414+80489"
                "&inc=recordings+artist-credits&fmt=json");
    }
  }
}

TEST_F(Lookup, PacesRequestsAndNamesItself) {
  Server server({200, Releases({Release("Ours", kSixId, 6)})}, {});
  setenv("VANTORA_MUSICBRAINZ_URL", server.Url().c_str(), 1);
  std::unique_ptr<TitleLookup> lookup = TitleLookup::Start();
  int answers = 0;
  lookup->Ask(kSix, [&](LookupResult) { ++answers; });
  lookup->Ask(kSix, [&](LookupResult) { ++answers; });
  ASSERT_TRUE(QTest::qWaitFor([&] { return answers == 2; }, 10000));
  ASSERT_EQ(server.seen.size(), 2u);
  EXPECT_GE(server.seen[1].ms - server.seen[0].ms, 1000);
  EXPECT_EQ(server.seen[0].agent.toStdString(),
            "Vantora/" VANTORA_VERSION " ( https://vantora.org )");
}

TEST_F(Lookup, ADroppedLookupNeverAnswers) {
  Server server({200, "", true}, {});
  setenv("VANTORA_MUSICBRAINZ_URL", server.Url().c_str(), 1);
  std::unique_ptr<TitleLookup> lookup = TitleLookup::Start();
  bool answered = false;
  lookup->Ask(kSix, [&](LookupResult) { answered = true; });
  EXPECT_TRUE(QTest::qWaitFor([&] { return !server.seen.empty(); }, 5000));
  lookup.reset();
  QTest::qWait(300);
  EXPECT_FALSE(answered);
}

}  // namespace
}  // namespace vantora::desktop
