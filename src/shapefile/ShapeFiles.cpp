// The shapefile component, and the only code that calls shapelib (through output/) or lays out
// shapefile bytes. shapelib creates the files: the .shp and .shx headers, the .dbf header with the
// field descriptors, and the .cpg. The records are then appended here in large blocks: shapelib's
// per-record calls seek and write for every record and format every field with printf, about
// 200,000 rows a second for the Parameter-mode layout, where a million rows should take two
// seconds at most. close() completes the headers' counts, sizes and bounds.

#include "shapefile/ShapeFiles.h"

#include <shapefil.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <stdexcept>

#include "shapefile/BlockWriter.h"
#include "shapefile/RecordBytes.h"
#include "shapefile/RecordFiles.h"
#include "shapefile/ShapeFileError.h"
#include "shapefile/output/FileSet.h"
#include "shapefile/output/StaleFiles.h"

namespace pontrel::shapefile {

namespace {

constexpr const char* kExtensions[] = {".shp", ".shx", ".dbf", ".cpg"};

// Fails when the final name `name` cannot take a new file: a folder has it, or a read-only file
// its owner means to keep (even where the folder would let it be replaced).
void checkReplaceable(const std::string& name) {
    struct stat info {};
    if (::lstat(name.c_str(), &info) != 0) return;
    if (S_ISDIR(info.st_mode))
        throw ShapeFileError("'" + name + "' is a folder, so the shapefile cannot take its name");
    if ((info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0)
        throw ShapeFileError("The file '" + name + "' is read-only, so it is not replaced");
}

}  // namespace

void checkOutputFolder(std::string folder) {
    // "dir/" and "dir" are the same folder; the message names it without the separator, which
    // tells a file of that name apart from a missing folder.
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    struct stat info {};
    if (::stat(folder.c_str(), &info) != 0) {
        if (errno == ENOENT || errno == ENOTDIR)
            throw ShapeFileError("The folder '" + folder + "' does not exist");
        throw ShapeFileError("The folder '" + folder + "' cannot be used: " + std::strerror(errno));
    }
    if (!S_ISDIR(info.st_mode)) throw ShapeFileError("'" + folder + "' is not a folder");
    if (::access(folder.c_str(), W_OK | X_OK) != 0)
        throw ShapeFileError("The folder '" + folder + "' cannot be written to: " + std::strerror(errno));
}

void PointList::AddPoint(double x, double y) { owner_.setPoint(x, y); }

ShapeFiles::ShapeFiles() : fields_(*this), points_(*this) {}

ShapeFiles::~ShapeFiles() {
    if (stage_ != Stage::Closed) discard();
}

void ShapeFiles::requireStage(Stage stage, const char* operation) const {
    if (stage_ != stage)
        throw std::logic_error(std::string("The shapefile operation ") + operation +
                               " was called out of order");
}

void ShapeFiles::failValue(const Field& field, const std::string& what) const {
    shapefile::failValue(shpPath_, field, what, recordCount() + 1);
}

std::size_t ShapeFiles::recordCount() const { return output_ ? output_->records() : closedRecords_; }

void ShapeFiles::OpenNewShapeFile(const std::string& path, int mode, int shapeType) {
    requireStage(Stage::New, "OpenNewShapeFile");
    if (mode != 1 || shapeType != SHPT_POINT)
        throw ShapeFileError("Only new point shapefiles can be written (mode 1, shape type 1), not "
                             "mode " + std::to_string(mode) + " with shape type " +
                             std::to_string(shapeType));
    shpPath_ = path;
    layout_.shapefile = path;
    const std::string extension = ".shp";
    stem_ = path.size() > extension.size() &&
                    path.compare(path.size() - extension.size(), extension.size(), extension) == 0
                ? path.substr(0, path.size() - extension.size())
                : path;

    // The folder, as the system takes it ("dir/") and as the user reads it ("dir").
    std::size_t slash = stem_.rfind('/');
    const std::string prefix = slash == std::string::npos ? std::string() : stem_.substr(0, slash + 1);
    std::string folder = prefix.empty() ? "." : prefix;
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    checkOutputFolder(folder);
    for (const char* ext : kExtensions) checkReplaceable(stem_ + ext);
    output::removeStaleFiles(folder);

    files_ = std::make_unique<output::FileSet>(stem_, prefix, shpPath_, folder);
    files_->create(nullptr);
    stage_ = Stage::Open;
}

void ShapeFiles::SetProjection(std::string esriWkt) {
    requireStage(Stage::Open, "SetProjection");
    checkReplaceable(stem_ + ".prj");
    projection_ = std::move(esriWkt);
}

void ShapeFiles::WriteFieldLayout() {
    requireStage(Stage::Open, "WriteFieldLayout");
    files_->add([this](const std::string& temporaryStem, const output::HookErrors& errors) {
        return createTable(temporaryStem, errors);
    });
    output_ = std::make_unique<RecordFiles>(*files_, stem_, dbfHeaderLength_, fields_.recordLength());
    record_.assign(fields_.recordLength(), ' ');
    layout_.columns.clear();
    layout_.length = fields_.recordLength();
    for (const auto& field : fields_.fields_)
        layout_.columns.push_back({field.get(), field->offset_, field->layout_, field->type_});
    stage_ = Stage::Writing;
}

// Creates the .dbf with the column descriptors, and the .cpg, and the .prj when there is a
// coordinate system; the failure's message, or empty.
std::string ShapeFiles::createTable(const std::string& temporaryStem, const output::HookErrors& errors) {
    const std::string dbfName = stem_ + ".dbf";
    DBFHandle dbf = DBFCreateLL((temporaryStem + ".dbf").c_str(), "UTF-8", output::shapelibHooks());
    if (!dbf)
        return "The attribute table '" + dbfName + "' cannot be created: " +
               (errors.any() ? errors.text() : "unknown failure");
    struct Closer {
        DBFHandle handle;
        ~Closer() {
            if (handle) DBFClose(handle);
        }
    } closer{dbf};
    if (errors.any()) return "The attribute table '" + dbfName + "' cannot be created: " + errors.text();

    std::time_t now = std::time(nullptr);
    std::tm local{};
    if (::localtime_r(&now, &local)) DBFSetLastModifiedDate(dbf, local.tm_year, local.tm_mon + 1, local.tm_mday);

    for (std::size_t i = 0; i < fields_.size(); ++i) {
        const Field& field = fields_[i];
        char type = field.type() == kNumericField ? 'N' : field.type() == kDateField ? 'D' : 'C';
        if (DBFAddNativeFieldType(dbf, field.dbfName().c_str(), type, field.width(),
                                  field.decimals()) < 0)
            throw ShapeFileError("The column '" + field.name() + "' cannot be added to '" + dbfName +
                                 "': " + (errors.any() ? errors.text() : "refused"));
        // The records are laid out here, so they must match the descriptors shapelib wrote.
        if (dbf->panFieldOffset[i] != static_cast<int>(field.offset_) ||
            dbf->panFieldSize[i] != field.width() || dbf->panFieldDecimals[i] != field.decimals())
            throw std::logic_error("shapelib laid out the column '" + field.name() +
                                   "' differently from the shapefile component");
    }
    dbfHeaderLength_ = static_cast<std::uint64_t>(dbf->nHeaderLength);
    if (static_cast<std::size_t>(dbf->nRecordLength) != fields_.recordLength())
        throw std::logic_error("shapelib's .dbf record length differs from the shapefile component's");
    closer.handle = nullptr;
    DBFClose(dbf);
    if (errors.any()) return "The attribute table '" + dbfName + "' cannot be written: " + errors.text();

    // The coordinate system, when there is one, joins the set now, created as the others are.
    if (!projection_.empty()) {
        const bool created = output::writeNewFile(temporaryStem + ".prj", projection_);
        if (!created || errors.any())
            return "The file '" + stem_ + ".prj' could not be written: " +
                   (errors.any() ? errors.text() : "unknown failure");
    }
    return {};
}

std::size_t ShapeFiles::maxRecords() const {
    const std::size_t byShp = (kMaxFileBytes - kShpHeaderBytes) / kPointRecordBytes;
    const std::size_t byDbf = (kMaxFileBytes - dbfHeaderLength_ - 1) / record_.size();
    return std::min(byShp, byDbf);
}

void ShapeFiles::ReserveRecords(std::size_t records) const {
    requireStage(Stage::Writing, "ReserveRecords");
    if (records <= maxRecords()) return;
    const unsigned long long count = records;
    const unsigned long long shpBytes = kShpHeaderBytes + count * kPointRecordBytes;
    const unsigned long long dbfBytes = dbfHeaderLength_ + count * record_.size() + 1;
    const std::string limit = std::to_string(kMaxFileBytes) + " bytes (2 GB) that a shapefile's file may hold";
    if (dbfBytes > kMaxFileBytes)
        throw ShapeFileError("The attribute table '" + stem_ + ".dbf' would take " +
                             std::to_string(dbfBytes) + " bytes for " + std::to_string(count) +
                             " records of " + std::to_string(record_.size()) +
                             " bytes, more than the " + limit);
    throw ShapeFileError("The shapefile '" + stem_ + ".shp' would take " + std::to_string(shpBytes) +
                         " bytes for " + std::to_string(count) + " points, more than the " + limit);
}

void ShapeFiles::setPoint(double x, double y) {
    requireStage(Stage::Writing, "AddPoint");
    checkPoint(shpPath_, x, y, recordCount() + 1);
    x_ = x;
    y_ = y;
    pointSet_ = true;
}

void ShapeFiles::WriteRecord() {
    requireStage(Stage::Writing, "WriteRecord");
    const std::size_t records = recordCount();
    if (!pointSet_)
        throw ShapeFileError("Row " + std::to_string(records + 1) + " of the shapefile '" +
                             shpPath_ + "' has no point");
    if (records >= maxRecords()) ReserveRecords(records + 1);
    output_->appendRecord(x_, y_, record_.data());
    std::memset(record_.data(), ' ', record_.size());
    fields_.clearAssigned();
    pointSet_ = false;
}

void ShapeFiles::SetParallelism(std::size_t blockRecords, unsigned threads) {
    blockRecords_ = blockRecords;
    threads_ = threads;
}

void ShapeFiles::WriteRecords(std::size_t count, const std::function<void(Record&)>& fill,
                              const std::function<void(std::size_t)>& written) {
    requireStage(Stage::Writing, "WriteRecords");
    if (count == 0) return;
    if (count > maxRecords() - recordCount()) ReserveRecords(recordCount() + count);
    writeRecordBlocks(layout_, *output_, {blockRecords_, threads_}, count, fill, written);
}

void ShapeFiles::close() {
    requireStage(Stage::Writing, "close");
    output_->finish();
    closedRecords_ = output_->records();
    output_.reset();

    files_->commit();
    // Spatial and attribute indexes that GIS programs keep beside a shapefile describe the
    // records it replaced; left there, they would make readers skip or misplace the new points.
    // They are rebuilt on demand, so removing them loses nothing. Without a coordinate system of
    // this run, a .prj is the user's and stays.
    for (const char* ext : {".qix", ".sbn", ".sbx", ".fbn", ".fbx", ".ain", ".aih", ".atx", ".ixs", ".mxs"})
        ::unlink((stem_ + ext).c_str());
    stage_ = Stage::Closed;
}

void ShapeFiles::discard() noexcept {
    output_.reset();
    if (files_) files_->discard();
}

}  // namespace pontrel::shapefile
