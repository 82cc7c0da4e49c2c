// Cutting and dispatching a stream of state reports: the receive side must cost the same per
// byte whatever the size of a read. The reference is a bare scan of the same bytes for the end
// token, measured in the same run.
#include "link/cp1252.h"
#include "link/message.h"
#include "link/receive_buffer.h"
#include "tests/link/fake_host.h"

#include <benchmark/benchmark.h>

namespace {

using namespace tlv;

// About 4 MB of full state reports as a workstation sends them twice a second.
const std::string& stream() {
    static const std::string s = [] {
        std::string out;
        int i = 0;
        while (out.size() < (4u << 20)) {
            out += funBuildMessage(tok::kWorkstationState, "6");
            out += funBuildMessage(tok::kSessionType, "2");
            out += funBuildMessage(tok::kElapsedTime, funDblToStr(i / 172800.0));
            out += funBuildMessage(tok::kUserID, "1234");
            out += funBuildMessage(tok::kRemainingTime, funDblToStr(1 - i / 172800.0));
            out += funBuildMessage(tok::kRemTimeAparent, funDblToStr(1 - i / 172800.0));
            out += funBuildMessage(tok::kConnectedTime, funDblToStr(i / 172800.0));
            out += funBuildMessage(tok::kCnxtTimeOffPeak, "0");
            out += funBuildMessage(tok::kDisconnectedTime, "0");
            ++i;
        }
        return utf8ToCp1252(out);
    }();
    return s;
}

size_t messageCount() {
    size_t n = 0;
    const std::string& s = stream();
    for (size_t p = s.find(tok::kMessageEnd); p != std::string::npos;
         p = s.find(tok::kMessageEnd, p + 20))
        ++n;
    return n;
}

// The client's whole receive path: socket read, buffer, cut, conversion, dispatch table.
void BM_CutAndDispatch(benchmark::State& state) {
    const size_t readSize = static_cast<size_t>(state.range(0));
    const std::string& s = stream();
    test::LinkRig rig;
    rig.connect();
    for (auto _ : state) {
        for (size_t pos = 0; pos < s.size(); pos += readSize)
            rig.tcp().deliver(std::string_view(s).substr(pos, readSize));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * s.size()));
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * messageCount()));
    state.counters["ns_per_byte"] =
        benchmark::Counter(static_cast<double>(state.iterations() * s.size()),
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_CutAndDispatch)->Arg(1 << 10)->Arg(1 << 20)->Unit(benchmark::kMillisecond);

// The cutter alone.
void BM_Cut(benchmark::State& state) {
    const size_t readSize = static_cast<size_t>(state.range(0));
    const std::string& s = stream();
    ReceiveBuffer b;
    std::string m;
    size_t n = 0;
    for (auto _ : state) {
        for (size_t pos = 0; pos < s.size(); pos += readSize) {
            b.append(std::string_view(s).substr(pos, readSize));
            while (b.next(m))
                ++n;
        }
    }
    benchmark::DoNotOptimize(n);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * s.size()));
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * messageCount()));
    state.counters["ns_per_byte"] =
        benchmark::Counter(static_cast<double>(state.iterations() * s.size()),
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_Cut)->Arg(1 << 10)->Arg(1 << 20)->Unit(benchmark::kMillisecond);

// Reference: finding every end token in the stream, nothing else.
void BM_ScanReference(benchmark::State& state) {
    const std::string& s = stream();
    for (auto _ : state) {
        size_t n = 0;
        for (size_t p = s.find(tok::kMessageEnd); p != std::string::npos;
             p = s.find(tok::kMessageEnd, p + 20))
            ++n;
        benchmark::DoNotOptimize(n);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * s.size()));
    state.counters["ns_per_byte"] =
        benchmark::Counter(static_cast<double>(state.iterations() * s.size()),
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_ScanReference)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
