#pragma once
// Fuzz targets for the parsers that read untrusted input: directory wire values of every
// syntax, ranged attribute names, JPEG and bitmap pictures, ADsPath and DN text, filter
// escaping, and the stored settings (connection, options, hidden columns). Each takes one
// input, never crashes or reads out of bounds (the sanitizer build checks), and aborts when
// an invariant breaks (a round trip that changes the value, an escaped value that makes an
// invalid filter).
#include "fuzz_file_targets.h"

#include <QByteArray>

#include <cstddef>
#include <cstdint>

namespace fuzz {

using Target = int (*)(const std::uint8_t *data, std::size_t size);

// What the targets share: the input as bytes (kept, to be shown when an invariant breaks) and
// the check that aborts with the broken invariant named.
QByteArray bytes(const std::uint8_t *data, std::size_t size);
void require(bool condition, const char *what);

int wireValues(const std::uint8_t *data, std::size_t size);
int rangedNames(const std::uint8_t *data, std::size_t size);
int pictures(const std::uint8_t *data, std::size_t size);
int adsPaths(const std::uint8_t *data, std::size_t size);
int filterEscaping(const std::uint8_t *data, std::size_t size);
int storedSettings(const std::uint8_t *data, std::size_t size);
// The network's answers (fuzz_network.cpp): a domain controller's ping answer, a DNS SRV answer.
int pingAnswers(const std::uint8_t *data, std::size_t size);
int srvAnswers(const std::uint8_t *data, std::size_t size);

struct NamedTarget {
    const char *name;  // also the folder of its seed corpus
    Target run;
    int runsPercent;   // share of the suite's inputs per target (the settings one writes files)
};
inline constexpr NamedTarget targets[] = {
    {"wire", wireValues, 100},     {"range", rangedNames, 100},       {"picture", pictures, 100},
    {"adspath", adsPaths, 100},    {"escape", filterEscaping, 100},   {"settings", storedSettings, 5},
    // Files someone else made (fuzz_file_targets.h); each run writes a few files.
    {"workbook", existingWorkbook, 5}, {"columnset", columnSetRecords, 20}, {"htf", htmlTemplateFiles, 10},
    {"ping", pingAnswers, 100},    {"srv", srvAnswers, 100},
};

} // namespace fuzz
