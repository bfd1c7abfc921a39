#pragma once

#include <optional>
#include <vector>

namespace QV::GP {

class Stream;

// The whole content of a stream's storage, read from its start: nothing when
// the stream has no storage, when its size cannot be had or does not fit in
// 31 bits, or when fewer bytes than that arrive. The position is left at the
// end of what was read.
std::optional<std::vector<unsigned char>> toStdVectorRaw(Stream& stream);

} // namespace QV::GP
