// Replays a fuzz target over the files of its corpus, and over every cut of
// each file, under the sanitizers of the test build. Header-only so that each
// library's tests can use it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

namespace QV::TestSupport {

// Answers the number of corpus files replayed.
template <typename Target>
int replayCorpus(const std::filesystem::path& folder, Target target)
{
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    std::ifstream in(entry.path(), std::ios::binary);
    const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    for (std::size_t size = 0; size <= bytes.size(); ++size) {
      // A copy of exactly the size, so that ASan sees any read past it.
      const std::vector<std::uint8_t> cut(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(size));
      target(cut.data(), cut.size());
    }
    ++files;
  }
  return files;
}

}  // namespace QV::TestSupport
