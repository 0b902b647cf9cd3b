#pragma once
// What the export formats share inside arv_bulk_export: the text file they write into and
// the conversion of one value to text.
#include "bulk/exportengine.h"
#include "core/textsink.h"

#include <QString>
#include <QVariant>

namespace bulk {

using core::TextSink;

enum class TextMode {
    Display,  // CSV, DataPacket XML, HTML: dates by picture, booleans by their texts
    Typed,    // SQL, table stores: dates 'yyyy-mm-dd hh:nn:ss', booleans -1 / 0
    AdoXml,   // ADO XML: dates yyyy-mm-ddThh:nn:ss unwrapped, booleans -1 / 0
};

struct ValueText {
    QString text;
    bool wasList = false;
};

// One value as text. A list's elements are joined with delimiter; byte arrays read as
// upper-case hex runs; groupType values as their group-type text.
ValueText valueToText(const QVariant &value, TextMode mode, const ExportOptions &options,
                      const QString &delimiter, bool groupTypeColumn);

}  // namespace bulk
