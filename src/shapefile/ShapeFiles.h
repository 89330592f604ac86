#pragma once
// The shapefile component: writes one ESRI point shapefile (.shp and .shx of shape type 1, the
// .dbf attribute table, a .cpg reading UTF-8 and, when a coordinate system is given, a .prj)
// through the operations the composition calls:
// OpenNewShapeFile, the field list (AddField, FieldByName), WriteFieldLayout, then either record
// by record (the point list's AddPoint, SetFieldValue on a field, WriteRecord) or many records at
// once (WriteRecords, which formats them on several threads), and finally close(). The component
// owns its files: they are created afresh under unpredictable temporary names in the destination
// folder and take the final names together in close(), under a lock per shapefile name; destroyed
// before that, interrupted, or failing half way through the renames, it removes them, and any
// shapefile that already had those names is left as it was.
//
// The pieces: FieldList.h (the columns), Record.h (a record written by WriteRecords),
// BlockWriter.h (the threads of WriteRecords), RecordFiles.h and RecordBytes.h (the bytes
// appended), and output/ (the files on disk until they take their final names).

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "shapefile/FieldList.h"
#include "shapefile/Record.h"

namespace pontrel::shapefile {

// The largest size any file of the set may reach; readers take the offsets as signed 32-bit.
inline constexpr std::size_t kMaxFileBytes = 2147483647;

class RecordFiles;
namespace output {
class FileSet;
class HookErrors;
}  // namespace output

class PointList {
public:
    explicit PointList(ShapeFiles& owner) : owner_(owner) {}
    PointList(const PointList&) = delete;
    PointList& operator=(const PointList&) = delete;

    // Makes (x, y) the point of the pending record, in place of any point added before it.
    void AddPoint(double x, double y);

private:
    ShapeFiles& owner_;
};

class ShapeFiles {
public:
    ShapeFiles();
    ~ShapeFiles();
    ShapeFiles(const ShapeFiles&) = delete;
    ShapeFiles& operator=(const ShapeFiles&) = delete;

    // Starts a new point shapefile at `path` (its .shp; the other files go next to it). Mode 1
    // with shape type 1 is the only combination there is. Checks first that the folder exists and
    // can be written to, and that none of the four names is taken by a folder.
    void OpenNewShapeFile(const std::string& path, int mode = 1, int shapeType = 1);
    FieldList& fieldList() { return fields_; }
    // Gives the set a .prj holding `esriWkt`, written and renamed with the other files. Without
    // it no .prj is written, and one the user keeps beside the shapefile stays. Only before
    // WriteFieldLayout.
    void SetProjection(std::string esriWkt);
    // Ends the column definitions and writes the attribute table's header.
    void WriteFieldLayout();
    // Fails with a message naming the file and the limit when `records` records would make the
    // .shp or the .dbf larger than kMaxFileBytes.
    void ReserveRecords(std::size_t records) const;
    PointList& pointList() { return points_; }
    // Writes the pending point and values as the next record and starts an empty pending record.
    void WriteRecord();
    // Writes `count` records, the next ones in the file, each as `fill` writes it. The records
    // are formatted in blocks on threads of their own, `fill` being called for several records at
    // once; they are written in order, and `written` is called on this thread after each record
    // with the number written so far in this call. A failure of `fill` (anything it throws)
    // stops the writing at that record: the records before it are written and reported, and the
    // failure is thrown here.
    void WriteRecords(std::size_t count, const std::function<void(Record&)>& fill,
                      const std::function<void(std::size_t)>& written);
    // How WriteRecords divides the work: records per block (0: about 512 KB of attribute table)
    // and threads (0: one per processor).
    void SetParallelism(std::size_t blockRecords, unsigned threads);
    // Completes the files and gives them their final names, replacing any existing set.
    void close();

    std::size_t recordCount() const;
    const std::string& path() const { return shpPath_; }

private:
    friend class Field;
    friend class FieldList;
    friend class PointList;
    enum class Stage { New, Open, Writing, Closed };

    void requireStage(Stage stage, const char* operation) const;
    void setPoint(double x, double y);
    [[noreturn]] void failValue(const Field& field, const std::string& what) const;
    std::size_t maxRecords() const;
    std::string createTable(const std::string& temporaryStem, const output::HookErrors& errors);
    void discard() noexcept;

    Stage stage_ = Stage::New;
    RecordLayout layout_;  // each field's place and format in a record, by position
    std::size_t blockRecords_ = 0;  // records per block of WriteRecords; 0 chooses by size
    unsigned threads_ = 0;          // formatting threads of WriteRecords; 0 for one per core
    FieldList fields_;
    PointList points_;
    std::string shpPath_;
    std::string stem_;       // the final names without extension
    std::unique_ptr<output::FileSet> files_;  // the set under temporary names
    std::unique_ptr<RecordFiles> output_;     // appended to, from WriteFieldLayout to close
    std::string projection_;  // the .prj's text; empty: no .prj

    std::vector<char> record_;  // the pending .dbf record
    bool pointSet_ = false;
    double x_ = 0, y_ = 0;
    std::size_t closedRecords_ = 0;  // once output_ is gone
    std::uint64_t dbfHeaderLength_ = 0;
};

// Throws ShapeFileError unless `folder` (trailing separators aside) exists, is a folder and can
// be written to: the check OpenNewShapeFile makes, with its messages, for callers that want it
// before any work is done.
void checkOutputFolder(std::string folder);

}  // namespace pontrel::shapefile
