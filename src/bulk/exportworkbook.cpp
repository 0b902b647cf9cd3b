// Export into a sheet of a workbook, added to the file when it exists.
#include "bulk/exportwriter.h"

#include "platform/adsi/adstypes.h"
#include "platform/office/workbook.h"

#include <QFile>
#include <QFileInfo>
#include <QUuid>

#include <cstdlib>

namespace bulk {

namespace {

class WorkbookExportWriter : public FormatWriter {
public:
    using FormatWriter::FormatWriter;
    bool begin(QString *error) override
    {
        if (QFileInfo::exists(opt.fileName)) {
            QStringList sheets;
            if (!office::workbookSheetNames(opt.fileName, &sheets, error))
                return false;
            mergeInto = opt.fileName;
            target = office::privateOutputFolder() + QStringLiteral("/") + QUuid::createUuid().toString(QUuid::Id128) + QStringLiteral(".xlsx");
        } else {
            target = opt.fileName;
        }
        wb = std::make_unique<office::WorkbookWriter>(target, true);
        if (!wb->addSheet(opt.tableName, error))
            return false;
        for (int i = 0; i < columns.size(); ++i)
            wb->writeString(0, i, names.at(i));
        return true;
    }
    void row(const QVariantList &v) override
    {
        ++r;
        if (r >= office::kMaxRows) {
            if (err.isEmpty())
                err = QStringLiteral("A sheet holds at most 1,048,576 rows.");
            return;
        }
        for (int i = 0; i < columns.size(); ++i) {
            const QVariant value = i < v.size() ? v.at(i) : QVariant();
            if (!value.isValid())
                continue;
            const int id = value.metaType().id();
            if (isGroupType(i) || id == QMetaType::QVariantList || id == QMetaType::QString || id == QMetaType::QByteArray) {
                // A cell breaks lines at LF; a CR would show as a stray character.
                ValueText t = valueToText(value, TextMode::Display, opt, QStringLiteral("\n"), isGroupType(i));
                t.text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
                wb->writeString(r, i, t.text);
            } else if (id == qMetaTypeId<ads::AdsDate>()) {
                const double day = value.value<ads::AdsDate>().value;
                if (day >= 1)
                    wb->writeDateTime(r, i, day);
            } else if (id == QMetaType::Bool) {
                wb->writeBoolean(r, i, value.toBool());
            } else {
                const qint64 n = value.toLongLong();
                // Numbers beyond 2^53 lose digits as a number cell; such values go as text.
                if (std::llabs(n) < (1LL << 53))
                    wb->writeNumber(r, i, double(n));
                else
                    wb->writeString(r, i, QString::number(n));
            }
        }
    }
    bool finish(QString *error) override
    {
        QString why = err;
        if (why.isEmpty() && !wb->close(&why)) {
        }
        if (why.isEmpty() && !mergeInto.isEmpty()) {
            office::appendWorkbookSheets(mergeInto, target, &why);
            QFile::remove(target);
        }
        if (!why.isEmpty()) {
            if (error)
                *error = why;
            abort();
            return false;
        }
        return true;
    }
    void abort() override
    {
        if (wb)
            wb->discard();
        if (!mergeInto.isEmpty())
            QFile::remove(target);
    }
    QString error() const override { return err.isEmpty() && wb ? wb->error() : err; }

private:
    std::unique_ptr<office::WorkbookWriter> wb;
    QString target, mergeInto, err;
    int r = 0;
};

}  // namespace

std::unique_ptr<FormatWriter> makeWorkbookWriter(const QList<ExportColumn> &cols, ExportOptions &o)
{
    return std::make_unique<WorkbookExportWriter>(cols, o);
}

}  // namespace bulk
