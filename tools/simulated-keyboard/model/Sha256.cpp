#include "Sha256.h"

#include <glib.h>

#include <algorithm>
#include <memory>

namespace simkbd {

std::string Sha256::hex(std::span<const std::uint8_t> bytes) {
  std::unique_ptr<GChecksum, decltype(&g_checksum_free)> checksum(g_checksum_new(G_CHECKSUM_SHA256),
                                                                  &g_checksum_free);
  // GChecksum takes a signed length, so very large spans are fed in pieces.
  constexpr std::size_t kChunk = 1u << 30;
  for (std::size_t offset = 0; offset < bytes.size(); offset += kChunk) {
    const std::size_t length = std::min(kChunk, bytes.size() - offset);
    g_checksum_update(checksum.get(), bytes.data() + offset, static_cast<gssize>(length));
  }
  return g_checksum_get_string(checksum.get());
}

}  // namespace simkbd
