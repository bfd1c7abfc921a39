// SHA-256 digests as lowercase hexadecimal text, over GLib's checksum
// implementation, so that the keyboard's report can name what it received.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace simkbd {

class Sha256 {
 public:
  static std::string hex(std::span<const std::uint8_t> bytes);
};

}  // namespace simkbd
