#pragma once
// Fuzz targets for files someone else made: an existing workbook whose sheets are listed and
// which gains a sheet, stored column-set records, and .htf colour template files. Each never
// crashes, never reads past its input, and aborts when an invariant breaks.
#include <cstddef>
#include <cstdint>

namespace fuzz {

// The first byte picks what the rest replaces in a valid workbook: 0 the workbook part,
// 1 its relationships, 2 the content types, 3 the style sheet; 4 and above: the whole file.
int existingWorkbook(const std::uint8_t *data, std::size_t size);
// A column-set record as stored, decoded, saved again and renamed in a private store.
int columnSetRecords(const std::uint8_t *data, std::size_t size);
// A .htf file loaded and its font put into an HTML page's style sheet.
int htmlTemplateFiles(const std::uint8_t *data, std::size_t size);

}  // namespace fuzz
