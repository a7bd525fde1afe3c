// SPDX-License-Identifier: GPL-3.0-or-later
// Event numbers as the loop body sees them (the message number minus 1400h) and the names of the
// event-trace table.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace vantora::runtime {

// The runtime adds this to an event value to form its message number.
inline constexpr int32_t kEventMessageBase = 0x1400;

// EVENT:Name is spelled EVENT::Name.
namespace EVENT {
// Field events: they concern one control.
inline constexpr int32_t Accepted = 0x01;
inline constexpr int32_t NewSelection = 0x02;
inline constexpr int32_t ScrollUp = 0x03;
inline constexpr int32_t ScrollDown = 0x04;
inline constexpr int32_t PageUp = 0x05;
inline constexpr int32_t PageDown = 0x06;
inline constexpr int32_t ScrollTop = 0x07;
inline constexpr int32_t ScrollBottom = 0x08;
inline constexpr int32_t Locate = 0x09;
inline constexpr int32_t MouseUp = 0x0A;
inline constexpr int32_t MouseIn = 0x0B;
inline constexpr int32_t MouseOut = 0x0C;
inline constexpr int32_t MouseMove = 0x0D;
inline constexpr int32_t VBXevent = 0x0E;
inline constexpr int32_t AlertKey = 0x0F;
inline constexpr int32_t PreAlert = 0x10;
inline constexpr int32_t Dragging = 0x11;
inline constexpr int32_t Drag = 0x12;
inline constexpr int32_t Drop = 0x13;
inline constexpr int32_t ScrollDrag = 0x14;
inline constexpr int32_t TabChanging = 0x15;
inline constexpr int32_t Expanding = 0x16;
inline constexpr int32_t Contracting = 0x17;
inline constexpr int32_t Expanded = 0x18;
inline constexpr int32_t Contracted = 0x19;
inline constexpr int32_t Rejected = 0x1A;
inline constexpr int32_t DroppingDown = 0x1B;
inline constexpr int32_t DroppedDown = 0x1C;
inline constexpr int32_t ScrollTrack = 0x1D;
inline constexpr int32_t ColumnResize = 0x1E;
inline constexpr int32_t Selected = 0x101;
// Window events.
inline constexpr int32_t CloseWindow = 0x201;
inline constexpr int32_t CloseDown = 0x202;
inline constexpr int32_t OpenWindow = 0x203;
inline constexpr int32_t OpenFailed = 0x204;
inline constexpr int32_t LoseFocus = 0x205;
inline constexpr int32_t GainFocus = 0x206;
inline constexpr int32_t Suspend = 0x208;
inline constexpr int32_t Resume = 0x209;
inline constexpr int32_t Notify = 0x20A;
inline constexpr int32_t Timer = 0x20B;
inline constexpr int32_t DDErequest = 0x20C;
inline constexpr int32_t DDEadvise = 0x20D;
inline constexpr int32_t DDEdata = 0x20E;
inline constexpr int32_t DDEexecute = 0x20F;
inline constexpr int32_t DDEpoke = 0x210;
inline constexpr int32_t DDEclosed = 0x211;
inline constexpr int32_t Move = 0x220;
inline constexpr int32_t Size = 0x221;
inline constexpr int32_t Restore = 0x222;
inline constexpr int32_t Maximize = 0x223;
inline constexpr int32_t Iconize = 0x224;
inline constexpr int32_t Completed = 0x225;
inline constexpr int32_t Moved = 0x230;
inline constexpr int32_t Sized = 0x231;
inline constexpr int32_t Restored = 0x232;
inline constexpr int32_t Maximized = 0x233;
inline constexpr int32_t Iconized = 0x234;
inline constexpr int32_t BuildFile = 0x240;
inline constexpr int32_t BuildKey = 0x241;
inline constexpr int32_t BuildDone = 0x242;
}  // namespace EVENT

struct EventName {
  int32_t value;  // as CURRENTEVENT returns it
  std::string_view name;
};

// Every event of the runtime, in value order, with its trace name ("EVENT:Accepted").
std::span<const EventName> EventTable();

// The trace name of an event value; "" for a value no event has.
std::string_view EventNameOf(int32_t value);

// True for the events that concern one control (field events and EVENT:Selected).
bool IsFieldEvent(int32_t value);

}  // namespace vantora::runtime
