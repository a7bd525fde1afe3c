// SPDX-License-Identifier: GPL-3.0-or-later
// The demo disc's music, made note by note from sines, and the files that carry it.
#include "platform/audio/demo_music.h"

#include <fcntl.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <numbers>
#include <vector>

namespace vantora::platform::audio {
namespace {

constexpr int kRate = 44100;
constexpr int kCdFrame = 588;  // sample frames in 1/75 second
constexpr double kPi = std::numbers::pi;
constexpr double kTargetRms = 0.12;  // about -18 dBFS
constexpr double kPeak = 0.66;       // about -3.6 dBFS: room left for rounding
constexpr double kTail = 2.5;        // seconds after the last note, for the echo to die away

// A fixed-seed generator, so that every run writes the same music (the standard library's
// distributions may differ between library versions).
class Dice {
 public:
  explicit Dice(uint32_t seed) : state_(seed) {}
  int Below(int n) {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 17;
    state_ ^= state_ << 5;
    return static_cast<int>(state_ % static_cast<uint32_t>(n));
  }

 private:
  uint32_t state_;
};

// One sine of a sound: its frequency against the note's, its level, how many times faster than
// the note it dies away, and its detune in cents (a slow beat that warms the tone).
struct Partial {
  double ratio;
  double level;
  double decay = 1;
  double cents = 0;
};

struct Timbre {
  std::vector<Partial> partials;
  double attack;   // seconds to full level
  double decay;    // seconds for the first partial to fall to 1/e; 0 holds the note
  double release;  // seconds to silence after the note's length
};

const Timbre kPluck{
    {{1, 1}, {1, 0.3, 1, 7}, {2, 0.5, 1.6}, {3, 0.22, 2.2}, {4, 0.1, 3}, {5, 0.05, 3.5}},
    0.004,
    0.8,
    0.3};
const Timbre kBell{
    {{1, 1}, {1, 0.3, 1, -5}, {2, 0.35, 1.5}, {3, 0.08, 3}, {4.07, 0.12, 2.5}}, 0.003, 1.5, 0.5};
const Timbre kBass{{{1, 1}, {2, 0.35, 1.5}, {3, 0.12, 2}}, 0.01, 1.2, 0.15};
const Timbre kPad{{{1, 0.5, 0, -8},
                   {1, 0.5, 0, 8},
                   {2, 0.25, 0, -6},
                   {2, 0.25, 0, 6},
                   {3, 0.16},
                   {4, 0.1},
                   {5, 0.05}},
                  1.2,
                  0,
                  1.6};
const Timbre kThump{{{1, 1}, {1.5, 0.3, 2}}, 0.002, 0.12, 0.05};

double Hertz(int midi) {
  return 440.0 * std::pow(2.0, (midi - 69) / 12.0);
}

// A note moved into the bass's octave (C2 to B2): low enough to carry, high enough to hear.
int Bass(int midi) {
  return 36 + midi % 12;
}

// A piece in the making: two channels of floating-point sound, full scale 1.
class Piece {
 public:
  explicit Piece(double seconds)
      : left_(static_cast<size_t>((seconds + kTail) * kRate)), right_(left_.size()) {}

  // Adds one note. `pan` runs from -1 (left) to 1 (right).
  void Note(double at, int midi, double length, double level, double pan, const Timbre& timbre) {
    const auto start = static_cast<size_t>(at * kRate);
    if (start >= left_.size()) {
      return;
    }
    const double heard = length + timbre.release;
    const size_t count = std::min(static_cast<size_t>(heard * kRate), left_.size() - start);
    note_.assign(count, 0.0);
    const double base = Hertz(midi);
    for (const Partial& partial : timbre.partials) {
      const double hertz = base * partial.ratio * std::pow(2.0, partial.cents / 1200);
      if (hertz > 16000) {
        continue;
      }
      // Turning phasors rather than sin() per sample: the same sine, far cheaper. Four of them,
      // a sample apart, each turning four samples a step, so that they run side by side.
      const double step = 2 * kPi * hertz / kRate;
      const double fall =
          timbre.decay > 0 ? std::exp(-partial.decay / (timbre.decay * kRate)) : 1.0;
      // A dying partial stops at -90 dB: the rest is below what 16 bits hold.
      const size_t audible =
          fall < 1
              ? std::min(count, static_cast<size_t>(std::max(0.0, std::log(partial.level * 3e4)) /
                                                    -std::log(fall)))
              : count;
      double c[4];
      double s[4];
      double amp[4];
      for (int k = 0; k < 4; ++k) {
        c[k] = std::cos(k * step);
        s[k] = std::sin(k * step);
        amp[k] = partial.level * std::pow(fall, k);
      }
      const double turnC = std::cos(4 * step);
      const double turnS = std::sin(4 * step);
      const double fall4 = std::pow(fall, 4);
      double* out = note_.data();
      for (size_t i = 0; i + 4 <= audible; i += 4) {
        for (int k = 0; k < 4; ++k) {
          out[i + k] += amp[k] * s[k];
          const double nc = c[k] * turnC - s[k] * turnS;
          s[k] = c[k] * turnS + s[k] * turnC;
          c[k] = nc;
          amp[k] *= fall4;
        }
      }
    }
    // Every note rises and falls smoothly, so none clicks.
    const double attack = std::max(timbre.attack, 0.002) * kRate;
    const double end = length * kRate;
    const double release = std::max(timbre.release, 0.01) * kRate;
    const double angle = (pan + 1) * kPi / 4;
    const double toLeft = level * std::cos(angle);
    const double toRight = level * std::sin(angle);
    for (size_t i = 0; i < count; ++i) {
      const auto t = static_cast<double>(i);
      double gain = 1;
      if (t < attack) {
        gain = 0.5 - 0.5 * std::cos(kPi * t / attack);
      }
      if (t > end) {
        gain *= std::max(0.0, 1 - (t - end) / release);
      }
      const double v = note_[i] * gain;
      left_[start + i] += static_cast<float>(v * toLeft);
      right_[start + i] += static_cast<float>(v * toRight);
    }
  }

  // A ping-pong echo: each side hears the other `delay` seconds late.
  void Echo(double delay, double feedback) {
    const auto lag = static_cast<size_t>(delay * kRate);
    for (size_t i = lag; i < left_.size(); ++i) {
      left_[i] += static_cast<float>(feedback * right_[i - lag]);
      right_[i] += static_cast<float>(feedback * left_[i - lag]);
    }
  }

  // Levels the piece (an even loudness, peaks under -3 dBFS), fades its ends and makes it 16-bit
  // stereo, a whole number of CD frames long.
  std::vector<int16_t> Finish() const {
    double sum = 0;
    double peak = 1e-9;
    for (size_t i = 0; i < left_.size(); ++i) {
      sum += double{left_[i]} * left_[i] + double{right_[i]} * right_[i];
      peak = std::max({peak, std::abs(double{left_[i]}), std::abs(double{right_[i]})});
    }
    const double rms = std::sqrt(sum / (2.0 * static_cast<double>(left_.size()))) + 1e-9;
    const double gain = std::min(kTargetRms / rms, kPeak / peak) * 32767;
    const size_t frames = (left_.size() + kCdFrame - 1) / kCdFrame * kCdFrame;
    const double fadeIn = 0.02 * kRate;
    const double fadeOut = 1.5 * kRate;
    std::vector<int16_t> out(frames * 2, 0);
    for (size_t i = 0; i < left_.size(); ++i) {
      const auto t = static_cast<double>(i);
      const auto left = static_cast<double>(left_.size() - i);
      double g = gain;
      if (t < fadeIn) {
        g *= 0.5 - 0.5 * std::cos(kPi * t / fadeIn);
      }
      if (left < fadeOut) {
        g *= 0.5 - 0.5 * std::cos(kPi * left / fadeOut);
      }
      out[2 * i] = static_cast<int16_t>(std::lrint(left_[i] * g));
      out[2 * i + 1] = static_cast<int16_t>(std::lrint(right_[i] * g));
    }
    return out;
  }

 private:
  std::vector<float> left_;
  std::vector<float> right_;
  std::vector<double> note_;  // one note's sound, reused
};

// Harmony: a chord is its notes from the root up; a scale its pitch classes.
using Chord = std::vector<int>;
using Scale = std::vector<int>;

bool InSet(int midi, const std::vector<int>& pitchClasses) {
  return std::find(pitchClasses.begin(), pitchClasses.end(), ((midi % 12) + 12) % 12) !=
         pitchClasses.end();
}

std::vector<int> PitchClasses(const Chord& chord) {
  std::vector<int> classes;
  for (int note : chord) {
    classes.push_back(note % 12);
  }
  return classes;
}

// The note of `classes` nearest `from`, kept within [low, high].
int Nearest(int from, const std::vector<int>& classes, int low, int high) {
  for (int distance = 0; distance < 12; ++distance) {
    for (int candidate : {from - distance, from + distance}) {
      if (candidate >= low && candidate <= high && InSet(candidate, classes)) {
        return candidate;
      }
    }
  }
  return from;
}

// Moves `steps` notes along the scale, the other way when that would leave [low, high].
int Walk(int from, int steps, const Scale& scale, int low, int high) {
  for (int direction : {steps < 0 ? -1 : 1, steps < 0 ? 1 : -1}) {
    int note = from;
    for (int i = 0; i < std::abs(steps); ++i) {
      do {
        note += direction;
      } while (!InSet(note, scale));
    }
    if (note >= low && note <= high) {
      return note;
    }
  }
  return from;
}

// A singing line over the chords: chord notes on the beats that lean, steps between, rhythms
// picked per bar from `rhythms` (note lengths in beats, each adding up to a bar).
void Melody(Piece& piece, Dice& dice, const std::vector<Chord>& chords, const Scale& scale,
            const std::vector<std::vector<double>>& rhythms, double beat, double start, int low,
            int high, double level, const Timbre& timbre) {
  int note = (low + high) / 2;
  double at = start;
  for (size_t bar = 0; bar < chords.size(); ++bar) {
    const std::vector<double>& rhythm =
        bar + 1 == chords.size()
            ? rhythms.back()
            : rhythms[static_cast<size_t>(dice.Below(static_cast<int>(rhythms.size())))];
    for (size_t i = 0; i < rhythm.size(); ++i) {
      if (i == 0 || rhythm[i] >= 1.5) {
        note = Nearest(note + dice.Below(5) - 2, PitchClasses(chords[bar]), low, high);
      } else {
        const int steps[] = {-2, -1, -1, 1, 1, 2};
        note = Walk(note, steps[dice.Below(6)], scale, low, high);
      }
      piece.Note(at, note, rhythm[i] * beat * 0.9, level, 0.15, timbre);
      at += rhythm[i] * beat;
    }
  }
}

// C major at 100 beats a minute: plucked arpeggios, a walking bass and, the second time round, a
// bell tune.
Piece MorningArpeggios() {
  const double beat = 0.6;
  const std::vector<Chord> cycle = {{48, 52, 55}, {43, 47, 50}, {45, 48, 52}, {41, 45, 48}};
  std::vector<Chord> chords;
  for (int i = 0; i < 4; ++i) {
    chords.insert(chords.end(), cycle.begin(), cycle.end());
  }
  Piece piece(static_cast<double>(chords.size()) * 4 * beat);
  const int shape[] = {0, 1, 2, 3, 4, 3, 2, 1};
  for (size_t bar = 0; bar < chords.size(); ++bar) {
    const Chord& c = chords[bar];
    const int tones[] = {c[0] + 12, c[1] + 12, c[2] + 12, c[0] + 24, c[1] + 24};
    const double at = static_cast<double>(bar) * 4 * beat;
    for (int i = 0; i < 8; ++i) {
      piece.Note(at + i * beat / 2, tones[shape[i]], beat, 0.28, i % 2 ? 0.35 : -0.35, kPluck);
    }
    piece.Note(at, Bass(c[0]), 2 * beat, 0.55, 0, kBass);
    piece.Note(at + 2 * beat, Bass(c[2]), 2 * beat, 0.45, 0, kBass);
  }
  Dice dice(1);
  const std::vector<Chord> tune(chords.begin() + 4, chords.end());
  Melody(piece, dice, tune, {0, 2, 4, 5, 7, 9, 11}, {{2, 2}, {1, 1, 2}, {2, 1, 1}, {4}}, beat,
         4 * 4 * beat, 72, 86, 0.3, kBell);
  piece.Echo(0.75 * beat, 0.28);
  return piece;
}

// F major in three-four: bass on one, chord on two and three, a bell tune above.
Piece LittleWaltz() {
  const double beat = 60.0 / 144;
  const std::vector<Chord> phrase = {{41, 45, 48}, {36, 40, 43, 46}, {41, 45, 48}, {46, 50, 53},
                                     {41, 45, 48}, {43, 46, 50},     {36, 40, 43}, {41, 45, 48}};
  std::vector<Chord> chords;
  for (int i = 0; i < 3; ++i) {
    chords.insert(chords.end(), phrase.begin(), phrase.end());
  }
  Piece piece(static_cast<double>(chords.size()) * 3 * beat + beat);
  for (size_t bar = 0; bar < chords.size(); ++bar) {
    const Chord& c = chords[bar];
    const double at = static_cast<double>(bar) * 3 * beat;
    piece.Note(at, Bass(c[0]), beat * 1.2, 0.6, -0.1, kBass);
    for (int b = 1; b < 3; ++b) {
      for (size_t n = 1; n < c.size(); ++n) {
        piece.Note(at + b * beat, c[n] + 12, beat * 0.6, 0.14, 0.25, kPluck);
      }
    }
  }
  Dice dice(2);
  Melody(piece, dice, chords, {5, 7, 9, 10, 0, 2, 4}, {{2, 1}, {1, 1, 1}, {1, 2}, {3}}, beat, 0, 69,
         84, 0.32, kBell);
  piece.Echo(beat, 0.2);
  return piece;
}

// A minor, slow: held, detuned chords that swell and fade, and a few bell notes over them.
Piece SlowTide() {
  const double span = 4;
  const std::vector<Chord> chords = {{45, 52, 57, 60}, {41, 53, 57, 60}, {48, 55, 60, 64},
                                     {43, 55, 59, 62}, {45, 52, 57, 60}, {41, 53, 57, 60},
                                     {43, 55, 59, 62}, {40, 56, 59, 64}};
  Piece piece(static_cast<double>(chords.size()) * span + 1);
  Dice dice(3);
  for (size_t i = 0; i < chords.size(); ++i) {
    const double at = static_cast<double>(i) * span;
    const double length = i + 1 == chords.size() ? span + 1 : span;
    for (size_t n = 0; n < chords[i].size(); ++n) {
      piece.Note(at, chords[i][n], length, n == 0 ? 0.3 : 0.16, n == 0 ? 0 : (n % 2 ? -0.5 : 0.5),
                 kPad);
    }
    const std::vector<int> classes = PitchClasses(chords[i]);
    for (double t = 0.5; t < span; t += 1 + dice.Below(2) * 0.5) {
      piece.Note(at + t, Nearest(72 + dice.Below(12), classes, 69, 88), 1.5, 0.2,
                 dice.Below(3) * 0.4 - 0.4, kBell);
    }
  }
  piece.Echo(0.6, 0.35);
  return piece;
}

// G major at 132: quick plucked runs, a bouncing bass, a soft drum on one and three, a tune.
Piece BrightSteps() {
  const double beat = 60.0 / 132;
  const std::vector<Chord> phrase = {{43, 47, 50}, {48, 52, 55}, {40, 43, 47}, {38, 42, 45},
                                     {43, 47, 50}, {48, 52, 55}, {38, 42, 45}, {43, 47, 50}};
  std::vector<Chord> chords;
  for (int i = 0; i < 2; ++i) {
    chords.insert(chords.end(), phrase.begin(), phrase.end());
  }
  Piece piece(static_cast<double>(chords.size()) * 4 * beat + beat);
  const int shape[] = {0, 1, 2, 3, 2, 1, 2, 3, 4, 3, 2, 1, 2, 3, 2, 1};
  const Timbre quick{kPluck.partials, 0.003, 0.35, 0.15};
  for (size_t bar = 0; bar < chords.size(); ++bar) {
    const Chord& c = chords[bar];
    const int tones[] = {c[0] + 12, c[1] + 12, c[2] + 12, c[0] + 24, c[1] + 24};
    const double at = static_cast<double>(bar) * 4 * beat;
    for (int i = 0; i < 16; ++i) {
      piece.Note(at + i * beat / 4, tones[shape[i]], beat / 2, i % 4 == 0 ? 0.22 : 0.15,
                 0.5 * std::sin(i * kPi / 8), quick);
    }
    for (int i = 0; i < 8; ++i) {
      piece.Note(at + i * beat / 2, Bass(c[0]) + (i % 2) * 12, beat * 0.4, 0.45, 0, kBass);
    }
    piece.Note(at, 36, 0.2, 0.7, 0, kThump);
    piece.Note(at + 2 * beat, 36, 0.2, 0.6, 0, kThump);
  }
  Dice dice(4);
  Melody(piece, dice, chords, {7, 9, 11, 0, 2, 4, 6},
         {{1, 1, 1, 1}, {1, 0.5, 0.5, 2}, {2, 1, 1}, {0.5, 0.5, 1, 2}, {4}}, beat, 0, 67, 83, 0.3,
         kBell);
  piece.Echo(0.75 * beat, 0.22);
  return piece;
}

// D major in six-eight: rocking broken chords under a bell tune, a soft pad, a long last chord.
Piece EveningLullaby() {
  const double eighth = 0.4;
  const std::vector<Chord> chords = {{38, 42, 45}, {43, 47, 50}, {38, 42, 45}, {45, 49, 52},
                                     {35, 38, 42}, {43, 47, 50}, {45, 49, 52}, {38, 42, 45},
                                     {43, 47, 50}, {38, 42, 45}, {45, 49, 52}, {38, 42, 45}};
  const double bar = 6 * eighth;
  Piece piece(static_cast<double>(chords.size()) * bar + 4);
  const int shape[] = {0, 2, 4, 2, 1, 2};
  for (size_t b = 0; b < chords.size(); ++b) {
    const Chord& c = chords[b];
    const int tones[] = {c[0], c[1], c[2], c[0] + 12, c[1] + 12};
    const double at = static_cast<double>(b) * bar;
    for (int i = 0; i < 6; ++i) {
      piece.Note(at + i * eighth, tones[shape[i]] + 12, eighth * 1.5, 0.2, i % 2 ? -0.3 : 0.3,
                 kPluck);
    }
    piece.Note(at, c[0], bar, 0.07, 0, kPad);
  }
  Dice dice(5);
  Melody(piece, dice, chords, {2, 4, 6, 7, 9, 11, 1}, {{3, 3}, {2, 1, 3}, {3, 2, 1}, {6}}, eighth,
         0, 69, 83, 0.32, kBell);
  const double end = static_cast<double>(chords.size()) * bar;
  for (int note : {62, 66, 69, 74}) {
    piece.Note(end, note, 3, 0.18, (note - 68) / 10.0, kBell);
  }
  piece.Echo(3 * eighth, 0.25);
  return piece;
}

struct Track {
  const char* title;
  Piece (*make)();
};

constexpr Track kTracks[] = {{"Morning Arpeggios", MorningArpeggios},
                             {"Little Waltz", LittleWaltz},
                             {"Slow Tide", SlowTide},
                             {"Bright Steps", BrightSteps},
                             {"Evening Lullaby", EveningLullaby}};

std::string Reason(const char* name, const std::string& why) {
  return std::string(name) + ": " + why;
}

// A file made under a temporary name beside its place and renamed there only once it is whole,
// so that a crash never leaves half a file under the real name.
class PendingFile {
 public:
  PendingFile(const std::filesystem::path& directory, const char* name)
      : final_(directory / name),
        temporary_((directory / ("." + std::string(name) + ".XXXXXX")).string()) {
    fd_ = ::mkstemp(temporary_.data());
    if (fd_ < 0) {
      temporary_.clear();
    } else {
      ::fchmod(fd_, 0644);
    }
  }
  ~PendingFile() {
    if (fd_ >= 0) {
      ::close(fd_);
    }
    if (!temporary_.empty()) {
      ::unlink(temporary_.c_str());
    }
  }
  PendingFile(const PendingFile&) = delete;
  PendingFile& operator=(const PendingFile&) = delete;

  int fd() const { return fd_; }

  // Makes the file reach the disk and closes it; the system's reason when it cannot.
  std::string Close() {
    const bool synced = ::fsync(fd_) == 0;
    const int error = errno;
    const bool closed = ::close(fd_) == 0;
    fd_ = -1;
    return synced && closed ? std::string() : std::strerror(synced ? errno : error);
  }

  std::string Rename() {
    if (::rename(temporary_.c_str(), final_.c_str()) != 0) {
      return std::strerror(errno);
    }
    temporary_.clear();
    return {};
  }

 private:
  std::filesystem::path final_;
  std::string temporary_;
  int fd_ = -1;
};

std::string WriteSound(PendingFile& file, const std::vector<std::vector<int16_t>>& tracks) {
  SF_INFO info{};
  info.samplerate = kRate;
  info.channels = 2;
  info.format = SF_FORMAT_FLAC | SF_FORMAT_PCM_16;
  SNDFILE* sound = sf_open_fd(file.fd(), SFM_WRITE, &info, SF_FALSE);
  if (sound == nullptr) {
    return sf_strerror(nullptr);
  }
  std::string error;
  for (const std::vector<int16_t>& samples : tracks) {
    const auto frames = static_cast<sf_count_t>(samples.size() / 2);
    if (sf_writef_short(sound, samples.data(), frames) != frames) {
      error = sf_strerror(sound);
      break;
    }
  }
  const int closed = sf_close(sound);
  if (error.empty() && closed != 0) {
    error = sf_error_number(closed);
  }
  return error.empty() ? file.Close() : error;
}

std::string TimeOf(int64_t frames) {
  const int64_t cdFrames = frames / kCdFrame;
  char text[16];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d", static_cast<int>(cdFrames / 75 / 60),
                static_cast<int>(cdFrames / 75 % 60), static_cast<int>(cdFrames % 75));
  return text;
}

std::string Sheet(const std::vector<std::vector<int16_t>>& tracks) {
  std::string sheet =
      "TITLE \"Vantora Demo Disc\"\nPERFORMER \"Vantora\"\nFILE \"demo.flac\" WAVE\n";
  int64_t at = 0;
  for (size_t i = 0; i < tracks.size(); ++i) {
    char number[8];
    std::snprintf(number, sizeof number, "%02zu", i + 1);
    sheet += std::string("  TRACK ") + number + " AUDIO\n    TITLE \"" + kTracks[i].title +
             "\"\n    PERFORMER \"Vantora\"\n    INDEX 01 " + TimeOf(at) + "\n";
    at += static_cast<int64_t>(tracks[i].size() / 2);
  }
  return sheet;
}

std::string WriteText(PendingFile& file, const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    const ssize_t put = ::write(file.fd(), text.data() + done, text.size() - done);
    if (put < 0) {
      if (errno == EINTR) {
        continue;
      }
      return std::strerror(errno);
    }
    done += static_cast<size_t>(put);
  }
  return file.Close();
}

}  // namespace

std::filesystem::path WriteDemoDisc(const std::filesystem::path& directory, std::string* why) {
  std::string ignored;
  std::string& reason = why != nullptr ? *why : ignored;
  std::error_code ec;
  std::filesystem::create_directories(directory, ec);
  if (ec) {
    reason = directory.string() + ": " + ec.message();
    return {};
  }
  std::vector<std::vector<int16_t>> tracks;
  for (const Track& track : kTracks) {
    tracks.push_back(track.make().Finish());
  }

  PendingFile sound(directory, "demo.flac");
  if (sound.fd() < 0) {
    reason = Reason("demo.flac", std::strerror(errno));
    return {};
  }
  if (std::string error = WriteSound(sound, tracks); !error.empty()) {
    reason = Reason("demo.flac", error);
    return {};
  }
  PendingFile sheet(directory, "demo.cue");
  if (sheet.fd() < 0) {
    reason = Reason("demo.cue", std::strerror(errno));
    return {};
  }
  if (std::string error = WriteText(sheet, Sheet(tracks)); !error.empty()) {
    reason = Reason("demo.cue", error);
    return {};
  }
  // The sound first: a sheet in place always has its whole file beside it.
  if (std::string error = sound.Rename(); !error.empty()) {
    reason = Reason("demo.flac", error);
    return {};
  }
  if (std::string error = sheet.Rename(); !error.empty()) {
    reason = Reason("demo.cue", error);
    return {};
  }
  return directory / "demo.cue";
}

}  // namespace vantora::platform::audio
