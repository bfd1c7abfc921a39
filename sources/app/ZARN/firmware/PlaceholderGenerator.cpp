// Writes the placeholder firmware images that a build without the maker's
// images embeds: for each NAME:SIZE argument, OUTDIR/NAME.bin of SIZE bytes.
// The bytes come from a xorshift generator seeded by the image's name, so
// every build produces the same files and no two images are alike.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

namespace {

std::uint64_t seedFromName(std::string_view name) {
  // FNV-1a; a zero state would make xorshift emit zeros forever.
  std::uint64_t hash = 0xcbf29ce484222325ULL;
  for (const char c : name) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 0x100000001b3ULL;
  }
  return hash != 0 ? hash : 1;
}

std::vector<char> placeholder(std::string_view name, std::size_t size) {
  std::vector<char> bytes(size);
  std::uint64_t state = seedFromName(name);
  for (char& byte : bytes) {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    byte = static_cast<char>(static_cast<unsigned char>(state >> 56));
  }
  return bytes;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s OUTDIR NAME:SIZE...\n", argv[0]);
    return 2;
  }
  const std::string outDir = argv[1];
  for (int i = 2; i < argc; ++i) {
    const std::string nameAndSize = argv[i];
    const std::size_t colon = nameAndSize.find(':');
    const char* digits = colon == std::string::npos ? "" : nameAndSize.c_str() + colon + 1;
    char* end = nullptr;
    const unsigned long long size = (*digits >= '0' && *digits <= '9') ? std::strtoull(digits, &end, 10) : 0;
    if (colon == 0 || end == nullptr || *end != '\0' || size == 0) {
      std::fprintf(stderr, "bad image argument '%s': expected NAME:SIZE\n", nameAndSize.c_str());
      return 2;
    }
    const std::string name = nameAndSize.substr(0, colon);
    const std::vector<char> bytes = placeholder(name, size);
    const std::string path = outDir + "/" + name + ".bin";
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
      std::fprintf(stderr, "cannot write %s\n", path.c_str());
      return 1;
    }
  }
  return 0;
}
