#pragma once

#include "installer/DifferentialPlan.h"

#include <filesystem>
#include <functional>
#include <span>
#include <stop_token>

namespace CenterInstaller {

// Receives the bytes of one fetched range, in order, in chunks of any size.
using DifferentialSink = std::function<void(std::span<const unsigned char> chunk)>;
// Fetches `range` of the new package and hands its bytes to the sink, then returns; the
// transport's range request.
using DifferentialFetch = std::function<void(ByteRange range, const DifferentialSink& sink)>;
// Learns of each span of the old package once it is written out, for a caller that maps the old
// package and drops what it no longer needs.
using DifferentialCopied = std::function<void(std::span<const unsigned char> span)>;

// Writes the new package into `output` (created or replaced) piece by piece, front to back, in
// bounded memory: fetched pieces from `fetch`, each checked to be exactly as long as asked, the
// rest from the plan's tail and `oldPackage`. Throws CenterError::invalid when a fetched piece
// is too short or too long or a fetched local header disagrees with the plan, CancellationError
// once `stop` is requested; file errors and the fetch's own errors pass through. `output` may
// then hold a partial file, which the caller removes.
void rebuildDifferentialUpdate(const DifferentialPlan& plan,
                               std::span<const unsigned char> oldPackage,
                               const DifferentialFetch& fetch, const std::filesystem::path& output,
                               std::stop_token stop = {}, const DifferentialCopied& copied = {});

} // namespace CenterInstaller
