// SPDX-License-Identifier: GPL-3.0-or-later
// The virtual drive: a CD drive whose tray, disc and play head live in a directory, so that the
// player and the user's hand (vantora-drive) can be two processes.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "platform/cdaudio/cd_drive.h"
#include "platform/cdaudio/disc_description.h"
#include "platform/cdaudio/drive_state.h"

namespace vantora::platform::cdaudio {

// How long a disc spins up after the tray closes on it (or the drive is plugged in with one).
inline constexpr ClockTime kSpinUpTime{1500};

// What a drive directory that does not exist stands for. A path that exists but is not a
// directory is never a drive.
enum class MissingDrive {
  Fresh,   // an empty, connected drive, made on the first change (the default place)
  Absent,  // no drive at all (a place the user named)
};

class VirtualDrive final : public CdDrive {
 public:
  // Nothing is read or created until the first operation.
  explicit VirtualDrive(std::filesystem::path directory, MissingDrive missing = MissingDrive::Fresh)
      : store_(std::move(directory)), missing_(missing) {}
  ~VirtualDrive() override;
  VirtualDrive(const VirtualDrive&) = delete;
  VirtualDrive& operator=(const VirtualDrive&) = delete;

  DriveStatus Connected() override;
  DriveResult<bool> CanEject() override;
  DriveResult<DriveMode> Mode() override;
  DriveResult<bool> MediaPresent() override;
  DriveResult<Toc> ReadToc() override;
  DriveResult<Frames> Position() override;
  DriveStatus Play(Frames from, Frames to) override;
  DriveStatus Pause() override;
  DriveStatus Stop() override;
  DriveStatus Seek(Frames to) override;
  DriveStatus SetTray(Tray tray) override;
  // The names the disc went in with.
  DriveResult<DiscNames> Names() override;
  std::vector<InjectedFailure> InjectedFailures() override;
  // The sound file of a disc image, opened once while that disc is in; nullptr for other discs,
  // and for one whose file has gone since it went in (it then plays silently).
  std::shared_ptr<audio::DiscAudio> Audio() override;

  // Whether the directory holds a drive; Unplugged, with the reason, when it cannot.
  DriveStatus Present() const;

  // Marks the drive as a player's until this object goes: a shared lock on the directory's
  // "players" file, which a process that ends releases however it ends. The hand never holds it.
  void Hold();
  // Whether another player holds the drive: one that holds it too keeps the lock from being made
  // exclusive. Asked as a player ends; the answer gives up this player's hold when it is true.
  bool HeldElsewhere() override;

  // The user's hand. These work whether or not the drive is plugged in.
  // Puts a disc in (replacing any) and closes the tray; the disc then spins up, unless it comes
  // from files the user opened, which have nothing to wait for.
  enum class Arrival { SpinsUp, Ready };
  DriveStatus Insert(Disc disc, Arrival arrival = Arrival::SpinsUp);
  // Takes the disc out; the tray ends as it was.
  DriveStatus Remove();
  // Pushes the tray open or shut.
  DriveStatus MoveTray(Tray tray);
  DriveStatus SetPlugged(bool plugged);
  // Lets commands open and close the tray, or makes the drive one that cannot.
  DriveStatus SetCanEject(bool canEject);
  // Makes the command strings that ask what `command` asks fail with `error` (non-zero), in
  // place of a failure set before for the same text. Blanks and control characters count as one
  // blank.
  DriveStatus InjectFailure(std::string_view command, uint32_t error);
  // Lets the commands of the failures that `which` picks work again.
  DriveStatus ClearFailures(const std::function<bool(const InjectedFailure&)>& which);
  // Starts over with an empty, connected drive.
  DriveStatus Reset();

  DriveStore& Store() { return store_; }

 private:
  // Reads the state and works out the drive as it is now.
  struct Now;
  DriveResult<Now> Look();
  // Read-modify-write with the view of now at hand.
  DriveStatus Change(const std::function<DriveStatus(DriveState&, const DriveView&)>& change);

  DriveStore store_;
  MissingDrive missing_;
  std::optional<DiscSound> soundOf_;  // the disc whose sound `sound_` reads
  std::shared_ptr<audio::DiscAudio> sound_;
  int held_ = -1;  // the "players" file, locked shared, while Hold() holds it
};

// Reads a disc file as the hand puts it in: a CUE sheet's FILEs must be sound files the drive can
// play (audio::ProbeSoundFile) or the raw sectors of an image, and give the disc its sound and its
// length; a sound file is a disc as ReadSoundFilesDisc makes it.
DiscReading ReadDiscImage(const std::filesystem::path& path);

// Sound files as one disc: a track for each, in the order given; a file alone has a track at each
// of its own cue points. Named after the album the first file is tagged with, else after the one
// file or the folder of several.
DiscReading ReadSoundFilesDisc(const std::vector<std::filesystem::path>& files);

// Whether a file's name says it holds sound (.flac, .wav and the like) rather than a disc's
// description.
bool IsSoundFileName(const std::filesystem::path& path);

// Where the demo disc's music is kept, one copy for all the user's drives:
// $XDG_DATA_HOME/vantora/demo, else ~/.local/share/vantora/demo.
std::filesystem::path DemoMusicDirectory();

// The demo disc with its music (audio::WriteDemoDisc), written there the first time it is wanted
// or when it has been damaged; the silent DemoDisc(), with the reason on standard error, when the
// music cannot be written.
Disc AudibleDemoDisc();

// Where the drive lives unless told otherwise: $VANTORA_DRIVE, else $XDG_DATA_HOME/vantora/drive,
// else ~/.local/share/vantora/drive.
std::filesystem::path DefaultDriveDirectory();

// Makes sure `directory` holds a drive: a missing one is created, connected, with the demo disc
// in and spun up. An existing drive is left as it is; a damaged one gives Damaged with the reason,
// a path that is not a directory Unplugged.
DriveStatus EnsureDefaultDrive(const std::filesystem::path& directory);

// The same for a directory the user named, which is never created: a mistyped path is no drive
// (Unplugged, with the reason) rather than a new one. An empty directory becomes a new drive.
DriveStatus EnsureNamedDrive(const std::filesystem::path& directory);

}  // namespace vantora::platform::cdaudio
