// bench-dfu-block-phase [--rounds N]
//
// The block phase of a DFU download, ours beside dfu-util's, against the same
// simulated keyboard in one run: a 49-key keyboard in update mode is plugged
// once for each block size (256 and 4096 bytes), and both hosts download the
// same main-size image to it in turn, each as a child process. The time of a
// download is the keyboard's own, from its report: from the first DNLOAD to
// the zero-length end of data. Rounds alternate which host goes first, and the
// medians are compared.
//
// It serves the keyboard itself through umockdev, so it runs under
// umockdev-wrapper (bench/run-simulated does that).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ChildProcess.h"
#include "KeyboardHost.h"
#include "Sha256.h"
#include "TemporaryFolder.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr std::size_t kImageSize = 94'720;  // the 49-key main image's size
constexpr auto kRunLimit = 120s;

struct Phase {
  double ms = 0;          // first DNLOAD to end of data, on the keyboard's clock
  unsigned requests = 0;  // DNLOAD and GETSTATUS requests of the download
};

// One download by `words`; the keyboard's account of it, or nothing when the
// download failed or the keyboard did not receive the image whole.
std::optional<Phase> download(simkbd::KeyboardHost& host, int id, const std::vector<std::string>& words,
                              const fs::path& log, const std::string& sha256) {
  const nlohmann::json before = host.report(id)["requestCounts"];
  const QV::TestSupport::CommandOutcome outcome = QV::TestSupport::runCommand(words, log, kRunLimit);
  if (outcome.exitCode != 0) {
    std::fprintf(stderr, "bench-dfu-block-phase: %s failed (exit %d):\n%s\n", words.front().c_str(),
                 outcome.exitCode, outcome.output.c_str());
    return std::nullopt;
  }
  const nlohmann::json report = host.report(id);
  const nlohmann::json& times = report["times"];
  if (report["mainImage"]["sha256"] != sha256 || !times["firstDnloadMs"].is_number() ||
      !times["endOfDataMs"].is_number()) {
    std::fprintf(stderr, "bench-dfu-block-phase: %s did not deliver the image\n", words.front().c_str());
    return std::nullopt;
  }
  const nlohmann::json& after = report["requestCounts"];
  Phase phase;
  phase.ms = times["endOfDataMs"].get<double>() - times["firstDnloadMs"].get<double>();
  for (const char* name : {"DNLOAD", "GETSTATUS"}) {
    phase.requests += after[name].get<unsigned>() - before[name].get<unsigned>();
  }
  return phase;
}

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const std::size_t n = values.size();
  return n % 2 != 0 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
  unsigned rounds = 9;
  if (argc == 3 && std::strcmp(argv[1], "--rounds") == 0) {
    rounds = unsigned(std::strtoul(argv[2], nullptr, 10));
  } else if (argc != 1) {
    rounds = 0;
  }
  if (rounds == 0 || rounds > 1000) {
    std::fputs("usage: bench-dfu-block-phase [--rounds 1..1000]\n", stderr);
    return 2;
  }
  const std::string ours = (fs::path(argv[0]).parent_path() / "bench-dfu-download").string();

  // The test bed must exist before any child first uses libusb.
  std::string error;
  std::unique_ptr<simkbd::KeyboardHost> host = simkbd::KeyboardHost::create(error);
  if (!host) {
    std::fprintf(stderr, "bench-dfu-block-phase: %s (run it under umockdev-wrapper)\n", error.c_str());
    return 1;
  }
  const QV::TestSupport::TemporaryFolder temporary("qv-dfu-bench");
  if (temporary.path().empty()) {
    std::fputs("bench-dfu-block-phase: no temporary folder\n", stderr);
    return 1;
  }
  // Bytes that do not repeat with either block size.
  std::vector<std::uint8_t> image(kImageSize);
  std::uint32_t x = 0x9E3779B9;
  for (std::uint8_t& b : image) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    b = std::uint8_t(x);
  }
  const fs::path imagePath = temporary.path() / "image.bin";
  std::ofstream(imagePath, std::ios::binary).write(reinterpret_cast<const char*>(image.data()), kImageSize);
  const std::string sha256 = simkbd::Sha256::hex(image);

  std::printf("bench-dfu-block-phase: %zu-byte image, %u rounds, keyboard-side block phase (median)\n", kImageSize,
              rounds);
  std::printf("  %-6s %10s %12s %10s %12s %12s %12s %7s\n", "block", "ours ms", "dfu-util ms", "ours min",
              "dfu-util min", "ours us/blk", "dfu-util us", "ratio");
  std::fflush(stdout);
  for (const std::uint16_t transferSize : {std::uint16_t(256), std::uint16_t(4096)}) {
    simkbd::KeyboardConfig config;
    config.startInUpdateMode = true;
    config.transferSize = transferSize;
    config.serial = "BENCH" + std::to_string(transferSize);
    const int id = host->plug(config);
    if (id < 0) {
      std::fputs("bench-dfu-block-phase: the simulated keyboard could not be attached\n", stderr);
      return 1;
    }
    const std::vector<std::string> oursWords = {ours, config.serial, imagePath.string()};
    const std::vector<std::string> theirsWords = {"dfu-util", "-d", "17cc:1352", "-S", config.serial,
                                                  "-D", imagePath.string()};
    std::vector<double> oursMs, theirsMs;
    const double blocks = double((kImageSize + transferSize - 1) / transferSize);
    for (unsigned round = 0; round < rounds; ++round) {
      for (int turn = 0; turn < 2; ++turn) {
        const bool oursNow = (round + turn) % 2 == 0;
        const std::optional<Phase> phase =
            download(*host, id, oursNow ? oursWords : theirsWords, temporary.path() / "download.log", sha256);
        if (!phase) return 1;
        (oursNow ? oursMs : theirsMs).push_back(phase->ms);
      }
    }
    host->unplug(id);
    const double oursMedian = median(oursMs);
    const double theirsMedian = median(theirsMs);
    std::printf("  %-6u %10.1f %12.1f %10.1f %12.1f %12.1f %12.1f %7.3f\n", unsigned(transferSize), oursMedian,
                theirsMedian, *std::min_element(oursMs.begin(), oursMs.end()),
                *std::min_element(theirsMs.begin(), theirsMs.end()), 1000 * oursMedian / blocks,
                1000 * theirsMedian / blocks, oursMedian / theirsMedian);
    std::fflush(stdout);
  }
  return 0;
}
