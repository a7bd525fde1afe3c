// SPDX-License-Identifier: GPL-3.0-or-later
// The event-trace table.
#include "runtime/events.h"

#include <algorithm>
#include <iterator>

namespace vantora::runtime {
namespace {

constexpr EventName kEvents[] = {
    {EVENT::Accepted, "EVENT:Accepted"},
    {EVENT::NewSelection, "EVENT:NewSelection"},
    {EVENT::ScrollUp, "EVENT:ScrollUp"},
    {EVENT::ScrollDown, "EVENT:ScrollDown"},
    {EVENT::PageUp, "EVENT:PageUp"},
    {EVENT::PageDown, "EVENT:PageDown"},
    {EVENT::ScrollTop, "EVENT:ScrollTop"},
    {EVENT::ScrollBottom, "EVENT:ScrollBottom"},
    {EVENT::Locate, "EVENT:Locate"},
    {EVENT::MouseUp, "EVENT:MouseUp"},
    {EVENT::MouseIn, "EVENT:MouseIn"},
    {EVENT::MouseOut, "EVENT:MouseOut"},
    {EVENT::MouseMove, "EVENT:MouseMove"},
    {EVENT::VBXevent, "EVENT:VBXevent"},
    {EVENT::AlertKey, "EVENT:AlertKey"},
    {EVENT::PreAlert, "EVENT:PreAlert"},
    {EVENT::Dragging, "EVENT:Dragging"},
    {EVENT::Drag, "EVENT:Drag"},
    {EVENT::Drop, "EVENT:Drop"},
    {EVENT::ScrollDrag, "EVENT:ScrollDrag"},
    {EVENT::TabChanging, "EVENT:TabChanging"},
    {EVENT::Expanding, "EVENT:Expanding"},
    {EVENT::Contracting, "EVENT:Contracting"},
    {EVENT::Expanded, "EVENT:Expanded"},
    {EVENT::Contracted, "EVENT:Contracted"},
    {EVENT::Rejected, "EVENT:Rejected"},
    {EVENT::DroppingDown, "EVENT:DroppingDown"},
    {EVENT::DroppedDown, "EVENT:DroppedDown"},
    {EVENT::ScrollTrack, "EVENT:ScrollTrack"},
    {EVENT::ColumnResize, "EVENT:ColumnResize"},
    {EVENT::Selected, "EVENT:Selected"},
    {EVENT::CloseWindow, "EVENT:CloseWindow"},
    {EVENT::CloseDown, "EVENT:CloseDown"},
    {EVENT::OpenWindow, "EVENT:OpenWindow"},
    {EVENT::OpenFailed, "EVENT:OpenFailed"},
    {EVENT::LoseFocus, "EVENT:LoseFocus"},
    {EVENT::GainFocus, "EVENT:GainFocus"},
    {EVENT::Suspend, "EVENT:Suspend"},
    {EVENT::Resume, "EVENT:Resume"},
    {EVENT::Notify, "EVENT:Notify"},
    {EVENT::Timer, "EVENT:Timer"},
    {EVENT::DDErequest, "EVENT:DDErequest"},
    {EVENT::DDEadvise, "EVENT:DDEadvise"},
    {EVENT::DDEdata, "EVENT:DDEdata"},
    {EVENT::DDEexecute, "EVENT:DDEexecute"},
    {EVENT::DDEpoke, "EVENT:DDEpoke"},
    {EVENT::DDEclosed, "EVENT:DDEclosed"},
    {EVENT::Move, "EVENT:Move"},
    {EVENT::Size, "EVENT:Size"},
    {EVENT::Restore, "EVENT:Restore"},
    {EVENT::Maximize, "EVENT:Maximize"},
    {EVENT::Iconize, "EVENT:Iconize"},
    {EVENT::Completed, "EVENT:Completed"},
    {EVENT::Moved, "EVENT:Moved"},
    {EVENT::Sized, "EVENT:Sized"},
    {EVENT::Restored, "EVENT:Restored"},
    {EVENT::Maximized, "EVENT:Maximized"},
    {EVENT::Iconized, "EVENT:Iconized"},
    {EVENT::BuildFile, "EVENT:BuildFile"},
    {EVENT::BuildKey, "EVENT:BuildKey"},
    {EVENT::BuildDone, "EVENT:BuildDone"},
};

}  // namespace

std::span<const EventName> EventTable() {
  return kEvents;
}

std::string_view EventNameOf(int32_t value) {
  const auto* found = std::lower_bound(std::begin(kEvents), std::end(kEvents), value,
                                       [](const EventName& e, int32_t v) { return e.value < v; });
  return found != std::end(kEvents) && found->value == value ? found->name : std::string_view{};
}

bool IsFieldEvent(int32_t value) {
  return (value >= EVENT::Accepted && value <= EVENT::ColumnResize) || value == EVENT::Selected;
}

}  // namespace vantora::runtime
