#pragma once
#include <cstddef>
#include <cstdint>

// One fuzz input for the security descriptor parser. Returns 0; aborts when a parsed
// descriptor does not survive writing and reading back.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size);
