#pragma once
#include <cstddef>
#include <cstdint>

// One fuzz input for the filter checker and the condition parser. Returns 0; aborts when a
// composed filter is invalid or a parse does not regenerate a valid fragment.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size);
