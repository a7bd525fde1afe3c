// SPDX-License-Identifier: GPL-3.0-or-later
// Names for albums the store does not know: those the disc carries, else those a look-up finds.
#include "app/names.h"

#include <utility>

#include "app/album.h"
#include "app/state.h"
#include "platform/cdaudio/command_device.h"

namespace vantora::app {
namespace {

TitleLookupHook& Hook() {
  static TitleLookupHook hook;
  return hook;
}

// The album last asked about, so that loading it again does not ask again.
std::string& Asked() {
  static std::string key;
  return key;
}

// The look-up's answer, until the next tick takes it.
struct Answer {
  std::string key;
  LookupAnswer answer;
};
std::optional<Answer>& Answered() {
  static std::optional<Answer> answer;
  return answer;
}

// The album the look-up's service said it does not know.
std::string& Unknown() {
  static std::string key;
  return key;
}

std::function<DiscIdentity()>& IdentityHook() {
  static std::function<DiscIdentity()> hook;
  return hook;
}

std::function<void(const std::string&)>& LinkHook() {
  static std::function<void(const std::string&)> hook;
  return hook;
}

}  // namespace

void SetDiscIdentityHook(std::function<DiscIdentity()> hook) {
  IdentityHook() = std::move(hook);
}

DiscIdentity DISCIDENTITY() {
  return IdentityHook() ? IdentityHook()() : DiscIdentity{};
}

bool ALBUMUNKNOWNONLINE() {
  return !Unknown().empty() && Unknown() == ALBUMKEY.clipped();
}

void SetOpenLinkHook(std::function<void(const std::string&)> hook) {
  LinkHook() = std::move(hook);
}

void OPENLINK(const std::string& url) {
  if (LinkHook() && !url.empty()) {
    LinkHook()(url);
  }
}

void SetTitleLookupHook(TitleLookupHook hook) {
  Hook() = std::move(hook);
  Asked().clear();
  Answered().reset();
  Unknown().clear();
}

std::optional<FoundNames> DISCNAMES() {
  platform::cdaudio::DiscNames names = platform::InstalledCommandDevice().DiscNames();
  if (names.empty()) {
    return std::nullopt;
  }
  return FoundNames{std::move(names.album), std::move(names.artist), std::move(names.tracks)};
}

void ASKFORNAMES() {
  const std::string key(ALBUMKEY.clipped());
  if (LOOKUPTITLES == 0 || !Hook() || key.empty() || key == Asked() || ALBUMHASNAMES()) {
    return;
  }
  Asked() = key;
  Hook()([key](LookupAnswer answer) { Answered() = Answer{key, std::move(answer)}; });
}

bool TAKEFOUNDNAMES() {
  if (!Answered()) {
    return false;
  }
  Answer answer = std::move(*Answered());
  Answered().reset();
  if (answer.answer.unknown) {
    Unknown() = answer.key;
  }
  // Another disc since, or names the user saved meanwhile, win over what arrives late.
  if (!answer.answer.names || answer.key != ALBUMKEY.clipped() ||
      !STOREALBUMNAMES(*answer.answer.names)) {
    return false;
  }
  LOADALBUM();
  return true;
}

}  // namespace vantora::app
