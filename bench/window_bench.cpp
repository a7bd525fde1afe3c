// SPDX-License-Identifier: GPL-3.0-or-later
// The window runtime's hot paths: drawing a list straight from its queue, and events through the
// loop.
#include <benchmark/benchmark.h>

#include <string>

#include "platform/clock.h"
#include "platform/model_window_system.h"
#include "runtime/list_control.h"
#include "runtime/text.h"
#include "runtime/window.h"

namespace vantora::runtime {
namespace {

struct TitleRecord {
  char TITLE[TextBytes(60)];
};
constexpr FieldDescriptor kFields[] = {{"TITLE", DataType::Text, 0, 60, "S60"}};

// Every visible cell of a list of n rows, as one redraw asks for them.
void BM_ListDraw(benchmark::State& state) {
  TitleRecord record{};
  QueueDescriptor queue{&record, kFields, nullptr, sizeof record};
  for (int64_t i = 0; i < state.range(0); ++i) {
    const std::string title = "Track title number " + std::to_string(i);
    AssignText(record.TITLE, 60, title.data(), title.size());
    QueueAppend(&queue);
  }
  const ListRows rows(&queue, "160L@S40@");
  for (auto _ : state) {
    size_t bytes = 0;
    for (int32_t row = 1; row <= rows.RowCount(); ++row) {
      bytes += rows.Cell(row, 0).size();
    }
    benchmark::DoNotOptimize(bytes);
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
  QueueFree(&queue);
}
BENCHMARK(BM_ListDraw)->Arg(100)->Arg(1000);

// n posted events taken by the loop of the main window on the model window system.
void BM_EventLoop(benchmark::State& state) {
  platform::ManualClock clock;
  platform::ScopedClock scoped(clock);
  platform::ModelWindowSystem model(&clock);
  platform::SetCurrentWindowSystem(&model);
  int32_t flag = 0;
  uint8_t byte = 0;
  FixedText<60> text;
  FixedText<40> status;
  FixedText<5> time;
  FixedText<26> label;
  TitleRecord record{};
  QueueDescriptor play{&record, kFields, nullptr, sizeof record};
  QueueDescriptor lists{&record, kFields, nullptr, sizeof record};
  const WindowHandle window = WINDOWCREATE("P2$CDPLAYWIN", "cdplayer$CDPLAYER",
                                           {&flag, &flag, &byte, &byte, &text, &play, &text, &text,
                                            &lists, &text, &status, &time, &label});
  WINDOWOPEN(window);
  for (auto _ : state) {
    for (int64_t i = 0; i < state.range(0); ++i) {
      POSTEVENT(EVENT::Accepted, 12);
    }
    for (int64_t i = 0; i < state.range(0); ++i) {
      EVENTLOOP();
      benchmark::DoNotOptimize(ACCEPTEDCONTROL());
    }
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
  ResetWindows();
  platform::SetCurrentWindowSystem(nullptr);
}
BENCHMARK(BM_EventLoop)->Arg(1000);

}  // namespace
}  // namespace vantora::runtime

BENCHMARK_MAIN();
