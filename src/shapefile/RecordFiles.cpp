#include "shapefile/RecordFiles.h"

#include "shapefile/RecordBytes.h"

namespace pontrel::shapefile {

RecordFiles::RecordFiles(const output::FileSet& set, const std::string& stem,
                         std::uint64_t dbfHeaderLength, std::size_t recordLength)
    : shp_(set.file(".shp").fd.get(), stem + ".shp", kShpHeaderBytes),
      shx_(set.file(".shx").fd.get(), stem + ".shx", kShpHeaderBytes),
      dbf_(set.file(".dbf").fd.get(), stem + ".dbf", dbfHeaderLength),
      recordLength_(recordLength) {}

void RecordFiles::appendRecord(double x, double y, const char* dbf) {
    char* point = shp_.extend(kPointRecordBytes);
    char* entry = shx_.extend(kShxEntryBytes);
    putPoint(point, entry, records_, x, y);
    dbf_.append(dbf, recordLength_);
    includePoint(bounds_, records_ == 0, x, y);
    ++records_;
}

void RecordFiles::appendBlock(const char* shp, const char* shx, const char* dbf, std::size_t rows,
                              const double* bounds) {
    if (rows == 0) return;
    shp_.appendInPlace(shp, rows * kPointRecordBytes);
    shx_.appendInPlace(shx, rows * kShxEntryBytes);
    dbf_.appendInPlace(dbf, rows * recordLength_);
    if (records_ == 0) {
        std::copy(bounds, bounds + 4, bounds_);
    } else {
        bounds_[0] = std::min(bounds_[0], bounds[0]);
        bounds_[1] = std::min(bounds_[1], bounds[1]);
        bounds_[2] = std::max(bounds_[2], bounds[2]);
        bounds_[3] = std::max(bounds_[3], bounds[3]);
    }
    records_ += rows;
}

void RecordFiles::settle() {
    shp_.settle();
    shx_.settle();
    dbf_.settle();
}

void RecordFiles::settleQuietly() noexcept {
    shp_.settleQuietly();
    shx_.settleQuietly();
    dbf_.settleQuietly();
}

void RecordFiles::finish() {
    char header[32];
    putBig32(header, static_cast<std::uint32_t>((kShpHeaderBytes + records_ * kPointRecordBytes) / 2));
    shp_.overwrite(24, header, 4);
    putBig32(header, static_cast<std::uint32_t>((kShpHeaderBytes + records_ * kShxEntryBytes) / 2));
    shx_.overwrite(24, header, 4);
    for (int i = 0; i < 4; ++i) putLittleDouble(header + 8 * i, bounds_[i]);
    shp_.overwrite(36, header, 32);
    shx_.overwrite(36, header, 32);
    dbf_.append("\x1A", 1);  // the dBASE end-of-file mark
    putLittle32(header, static_cast<std::uint32_t>(records_));
    dbf_.overwrite(4, header, 4);
    shp_.finish();
    shx_.finish();
    dbf_.finish();
}

}  // namespace pontrel::shapefile
