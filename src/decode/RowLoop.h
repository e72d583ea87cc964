#pragma once
// Runs a loop over the rows of a picture, on the request's thread or spread over a thread pool
// of the plug-in's own (at most one thread fewer than the processors) while the request's
// thread works too. Each row is one call of the body, and
// a body must keep its stores inside its own row so that the order does not matter.

#include <cstdint>

namespace sorvane {

using RowBody = void (*)(const void* context, uint32_t firstRow, uint32_t endRow);

// Calls body(context, first, end) over bands that together cover rows 0 to rows - 1 exactly
// once. `rowBytes` (bytes a row touches) decides whether spreading is worth its cost. Nothing
// runs on a pool thread after the call returns.
void ForEachRowBand(uint32_t rows, uint64_t rowBytes, RowBody body, const void* context) noexcept;

template <typename F>
void ForEachRow(uint32_t rows, uint64_t rowBytes, const F& perRow) noexcept {
    ForEachRowBand(
        rows, rowBytes,
        [](const void* context, uint32_t first, uint32_t end) {
            const F& f = *static_cast<const F*>(context);
            for (uint32_t row = first; row < end; ++row) f(row);
        },
        &perRow);
}

// For measurements: force the loops onto the request's thread (false) or allow spreading.
void SetRowLoopsParallel(bool parallel) noexcept;

}  // namespace sorvane
