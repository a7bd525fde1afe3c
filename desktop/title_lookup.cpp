// SPDX-License-Identifier: GPL-3.0-or-later
// The lookup's traffic: the disc ID request, the fuzzy table-of-contents request after a miss,
// the service's pace of one request a second, time limits and size limits.
#include "desktop/title_lookup.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QUrl>
#include <algorithm>
#include <deque>
#include <utility>

namespace vantora::desktop {

bool NothingFits(std::string_view why);

namespace {

using platform::cdaudio::Toc;

constexpr qint64 kMostReplyBytes = 8 << 20;
constexpr qint64 kSpacingMs = 1000;
constexpr int kMostRedirects = 3;

struct Job {
  Toc toc;
  std::string discId;
  std::function<void(LookupResult)> done;
  bool fuzzy = false;  // the second request, by table of contents
};

}  // namespace

struct TitleLookup::Impl {
  // Replies go before the jobs their handlers would read.
  ~Impl() { context.reset(); }

  QString base;
  std::chrono::milliseconds timeout;
  // Owns every reply and timer; deleting it drops them all with their connections.
  std::unique_ptr<QObject> context = std::make_unique<QObject>();
  QNetworkAccessManager* network = new QNetworkAccessManager(context.get());
  std::deque<Job> jobs;  // the front one is being looked up
  bool busy = false;
  QElapsedTimer sinceAnswer;  // since the last reply ended

  // Hands the result over from the event loop, so that `done` may even delete the lookup.
  void Finish(LookupResult result) {
    std::function<void(LookupResult)> done = std::move(jobs.front().done);
    jobs.pop_front();
    busy = false;
    QTimer::singleShot(0, context.get(),
                       [done = std::move(done), result = std::move(result)] { done(result); });
    QTimer::singleShot(0, context.get(), [this] { Next(); });
  }

  void Next() {
    if (busy || jobs.empty()) {
      return;
    }
    busy = true;
    const qint64 wait = sinceAnswer.isValid() ? kSpacingMs - sinceAnswer.elapsed() : 0;
    if (wait > 0) {
      // Coarse timers may fire early; the service's pace must hold.
      QTimer::singleShot(std::chrono::milliseconds(wait), Qt::PreciseTimer, context.get(),
                         [this] { Send(); });
    } else {
      Send();
    }
  }

  void Send() {
    const Job& job = jobs.front();
    QString path =
        job.fuzzy ? QStringLiteral("/ws/2/discid/-?toc=") +
                        QString::fromStdString(TocText(job.toc)).replace(u' ', u'+') + u'&'
                  : QStringLiteral("/ws/2/discid/") + QString::fromStdString(job.discId) + u'?';
    const QUrl url(base + path + QStringLiteral("inc=recordings+artist-credits&fmt=json"),
                   QUrl::StrictMode);
    QNetworkRequest request(url);
    request.setHeader(QNetworkRequest::UserAgentHeader,
                      QStringLiteral("Vantora/" VANTORA_VERSION " ( https://vantora.org )"));
    request.setRawHeader("Accept", "application/json");
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::SameOriginRedirectPolicy);
    request.setMaximumRedirectsAllowed(kMostRedirects);
    QNetworkReply* reply = network->get(request);
    reply->setParent(context.get());

    // A server that trickles bytes still ends at the deadline.
    auto* deadline = new QTimer(reply);
    deadline->setSingleShot(true);
    deadline->setTimerType(Qt::PreciseTimer);
    QObject::connect(deadline, &QTimer::timeout, reply, [reply] {
      reply->setProperty("vantoraGaveUp", QStringLiteral("timeout"));
      reply->abort();
    });
    deadline->start(timeout);
    QObject::connect(reply, &QNetworkReply::downloadProgress, reply,
                     [reply](qint64 received, qint64 total) {
                       if (received > kMostReplyBytes || total > kMostReplyBytes) {
                         reply->setProperty("vantoraGaveUp", QStringLiteral("size"));
                         reply->abort();
                       }
                     });
    QObject::connect(reply, &QNetworkReply::finished, context.get(), [this, reply, deadline] {
      deadline->stop();
      Answered(reply);
    });
  }

  void Answered(QNetworkReply* reply) {
    reply->deleteLater();
    sinceAnswer.start();
    const QString gaveUp = reply->property("vantoraGaveUp").toString();
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const std::string host = reply->request().url().host().toStdString();
    LookupResult result;
    bool nothingFits = false;
    if (gaveUp == u"size") {
      result.why = host + " sent a reply larger than " + std::to_string(kMostReplyBytes) + " bytes";
    } else if (gaveUp == u"timeout" || reply->error() == QNetworkReply::OperationCanceledError ||
               reply->error() == QNetworkReply::TimeoutError) {
      result.why = host + " did not answer within " + std::to_string(timeout.count()) + " ms";
    } else if (status == 404) {
      result.why = "not found";
    } else if (status == 200 && reply->error() == QNetworkReply::NoError) {
      const QByteArray body = reply->read(kMostReplyBytes + 1);
      result.names = ParseReleases(std::string_view(body.constData(), body.size()),
                                   jobs.front().toc, &result.why);
      if (result.names) {
        result.why.clear();
        Finish(std::move(result));
        return;
      }
      nothingFits = NothingFits(result.why);
      result.why = host + ": " + result.why;
    } else if (status != 0) {
      result.why = host + " answered " + std::to_string(status);
    } else {
      result.why = "cannot reach " + host + ": " + reply->errorString().toStdString();
    }
    const bool miss = status == 404 || nothingFits;
    if (miss && !jobs.front().fuzzy) {
      jobs.front().fuzzy = true;
      busy = false;
      Next();
      return;
    }
    if (miss) {
      result.unknown = true;
      result.why = "the service does not know the disc";
    }
    Finish(std::move(result));
  }
};

TitleLookup::TitleLookup(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

TitleLookup::~TitleLookup() = default;

std::unique_ptr<TitleLookup> TitleLookup::Start(std::chrono::milliseconds timeout) {
  if (QCoreApplication::instance() == nullptr) {
    return nullptr;
  }
  auto impl = std::make_unique<Impl>();
  impl->base = QString::fromStdString(ServiceBase());
  impl->timeout = timeout;
  return std::unique_ptr<TitleLookup>(new TitleLookup(std::move(impl)));
}

void TitleLookup::Ask(const Toc& toc, std::function<void(LookupResult)> done) {
  const QUrl base(impl_->base, QUrl::StrictMode);
  std::string discId = MusicBrainzDiscId(toc);
  LookupResult refused;
  if (!base.isValid() || (base.scheme() != u"http" && base.scheme() != u"https")) {
    refused.why = "VANTORA_MUSICBRAINZ_URL is not an http or https address";
  } else if (discId.empty()) {
    refused.why = "the disc has no audio tracks";
  }
  if (!refused.why.empty()) {
    QTimer::singleShot(0, impl_->context.get(),
                       [done = std::move(done), refused = std::move(refused)] { done(refused); });
    return;
  }
  impl_->jobs.push_back(Job{toc, std::move(discId), std::move(done)});
  impl_->Next();
}

}  // namespace vantora::desktop
