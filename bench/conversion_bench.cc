// SPDX-License-Identifier: MIT
// The in-memory conversion of each path to V2.50, beside a plain copy of the same bytes.
#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>
#include <vector>

#include "common/text_sink.h"
#include "files/memory_files.h"
#include "run/run_sequence.h"
#include "support/sample_image.h"

namespace {

using namespace datlift;

// One whole run from SYSTEM.DAT bytes to the V2.50 image. The workspace and the output buffers
// are reused: every instance a path reads is filled whole before it is read, as the run's own
// fixed storage is.
void BM_Convert(benchmark::State& state) {
  test::SampleRecipe recipe;
  recipe.version = static_cast<int>(state.range(0));
  const std::vector<std::uint8_t> input = test::build_system_dat(recipe);
  const char* args[] = {"/ANEW"};  // a V2.50 input needs a reason to be rewritten
  auto space = std::make_unique<RunStorage>();
  auto system_out = std::make_unique<ByteArray<kMaxFileSize>>();
  auto mcfg_out = std::make_unique<ByteArray<kMcfgSize>>();
  Discard discard;
  Console console(discard);
  for (auto _ : state) {
    MemoryFiles files(input, *system_out, *mcfg_out);
    const int code = run_datlift(1, args, files, console, console, *space);
    if (code != 0 || files.system_written().size() != 18620)
      state.SkipWithError("conversion failed");
    benchmark::DoNotOptimize(system_out->data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(input.size()));
}
BENCHMARK(BM_Convert)->Arg(171)->Arg(200)->Arg(210)->Arg(250);

// The physical limit: copying the input into an output buffer once.
void BM_Memcpy(benchmark::State& state) {
  std::vector<std::uint8_t> in(static_cast<std::size_t>(state.range(0)), 1), out(in.size());
  for (auto _ : state) {
    std::memcpy(out.data(), in.data(), in.size());
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(BM_Memcpy)->Arg(18620);

}  // namespace

BENCHMARK_MAIN();
