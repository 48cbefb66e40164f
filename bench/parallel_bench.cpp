// One exchange with the parallel interface, on the bit-level model of one or two modules: the driver's
// own cost for the 52 port accesses of a pass (on a real port each access adds about a microsecond of
// bus time, which the counter "port_accesses" lets one add up).
#include <benchmark/benchmark.h>

#include "link/drivers/parallel/parallel_intelligent_interface.h"
#include "parallel_interface_model.h"

namespace velomat {
namespace {

void BM_ParallelExchange(benchmark::State& state) {
  testing::ParallelInterfaceModel model;
  model.modules = static_cast<int>(state.range(0));
  ParallelIntelligentInterface driver(model, [&](int32_t) { return model.devicePath; });
  if (!driver.open(IntIntPort::Parallel, 1)) {
    state.SkipWithError("the model did not open");
    return;
  }
  const long before = model.accesses;
  uint32_t i = 0;
  for (auto _ : state) {
    model.setInputs(i & 0xFFFF);
    benchmark::DoNotOptimize(driver.exchange(i++ & 0x5555));
  }
  state.counters["port_accesses"] =
      static_cast<double>(model.accesses - before) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_ParallelExchange)->Arg(1)->Arg(2);

}  // namespace
}  // namespace velomat

BENCHMARK_MAIN();
