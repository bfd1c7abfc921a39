#pragma once

#include <filesystem>

namespace QV::QTK::DETAIL {

// The platform's main bundle: its folder and its resources folder; empty
// paths when there is no bundle.
void getMainBundleFolders(std::filesystem::path& bundle, std::filesystem::path& resources);

} // namespace QV::QTK::DETAIL
