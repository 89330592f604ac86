#include "shapefile/FieldList.h"

#include <cstdio>
#include <cstring>

#include "shapefile/RecordBytes.h"
#include "shapefile/ShapeFileError.h"
#include "shapefile/ShapeFiles.h"

namespace pontrel::shapefile {

std::string kindOf(int type) {
    switch (type) {
        case kNumericField: return "numbers";
        case kDateField: return "dates";
        default: return "texts";
    }
}

std::string numberRefusal(double value, NumericLayout layout) {
    return "cannot hold the value " + numberText(value) + " exactly in " +
           std::to_string(layout.width) + " characters with " + std::to_string(layout.decimals) +
           " decimals";
}

std::string dateRefusal(CalendarDate date) {
    char text[48];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", date.year, date.month, date.day);
    return std::string("cannot hold the date ") + text +
           ": dates run from the year 1 to the year 9999";
}

void failValue(const std::string& shapefile, const Field& field, const std::string& what, std::size_t row) {
    throw ShapeFileError("The column '" + field.name() + "' of the shapefile '" + shapefile + "' " +
                         what + " (row " + std::to_string(row) + ")");
}

// ---- Field

char* Field::cell() const { return owner_.record_.data() + offset_; }

void Field::SetFieldValue(double value) {
    owner_.requireStage(ShapeFiles::Stage::Writing, "SetFieldValue");
    if (type_ != kNumericField) owner_.failValue(*this, "holds " + kindOf(type_) + ", not numbers");
    if (!formatNumeric(value, layout_, cell())) owner_.failValue(*this, numberRefusal(value, layout_));
    assigned_ = true;
}

void Field::SetFieldValue(std::string_view text) {
    owner_.requireStage(ShapeFiles::Stage::Writing, "SetFieldValue");
    if (type_ != kTextField) owner_.failValue(*this, "holds " + kindOf(type_) + ", not texts");
    putText(cell(), text, static_cast<std::size_t>(layout_.width));
    assigned_ = true;
}

void Field::SetFieldValue(CalendarDate date) {
    owner_.requireStage(ShapeFiles::Stage::Writing, "SetFieldValue");
    if (type_ != kDateField) owner_.failValue(*this, "holds " + kindOf(type_) + ", not dates");
    if (!formatDate(date.year, date.month, date.day, cell())) owner_.failValue(*this, dateRefusal(date));
    assigned_ = true;
}

void Field::SetFieldNull() {
    owner_.requireStage(ShapeFiles::Stage::Writing, "SetFieldNull");
    std::memset(cell(), ' ', static_cast<std::size_t>(layout_.width));
    assigned_ = true;
}

// ---- FieldList

namespace {

// The layout a column of `type` takes for the requested width and decimals, or a failure.
NumericLayout layoutFor(const std::string& name, int type, int width, int decimals) {
    NumericLayout layout;
    switch (type) {
        case kNumericField:
            layout = width == 0 ? NumericLayout{20, kMinimumDecimals} : NumericLayout{width, decimals};
            if (layout.width < 1 || layout.width > kMaxFieldWidth || layout.decimals < 0 ||
                (layout.decimals > 0 && layout.decimals > layout.width - 2))
                throw ShapeFileError("The numeric column '" + name + "' cannot be " +
                                     std::to_string(width) + " characters wide with " +
                                     std::to_string(decimals) + " decimals");
            return layout;
        case kTextField:
            layout = {width == 0 ? kDefaultTextWidth : width, 0};
            if (layout.width < 1 || layout.width > kMaxFieldWidth)
                throw ShapeFileError("The text column '" + name + "' cannot be " +
                                     std::to_string(width) + " bytes wide (1 to " +
                                     std::to_string(kMaxFieldWidth) + ")");
            return layout;
        case kDateField: return {8, 0};
        default:
            throw ShapeFileError("The column '" + name + "' has the type code " +
                                 std::to_string(type) +
                                 ", which is none of 7 (numeric), 8 (date) and 10 (text)");
    }
}

}  // namespace

Field& FieldList::AddField(const std::string& name, int type, int width, int decimals) {
    owner_.requireStage(ShapeFiles::Stage::Open, "AddField");
    const NumericLayout layout = layoutFor(name, type, width, decimals);
    // The .dbf header and each record have 16-bit lengths.
    if (recordLength_ + static_cast<std::size_t>(layout.width) > 65535 || fields_.size() >= 2046)
        throw ShapeFileError("The column '" + name +
                             "' does not fit in the shapefile's attribute table, which holds "
                             "records of at most 65,535 bytes and at most 2,046 columns");
    std::unique_ptr<Field> owned(new Field(owner_, name, dbfNames_.assign(name), type, layout, recordLength_));
    Field* field = owned.get();
    fields_.push_back(std::move(owned));
    recordLength_ += static_cast<std::size_t>(layout.width);
    auto& sameName = byName_[name];
    sameName.push_back(fields_.size() - 1);
    if (sameName.size() > 1)
        for (std::size_t index : sameName) fields_[index]->uniqueName_ = false;
    return *field;
}

Field& FieldList::FieldByName(const std::string& name) {
    if (next_ < fields_.size()) {
        Field& expected = *fields_[next_];
        if (expected.uniqueName_ && expected.name_ == name) {
            ++next_;
            return expected;
        }
    }
    auto found = byName_.find(name);
    if (found == byName_.end())
        throw ShapeFileError("The shapefile '" + owner_.path() + "' has no column '" + name + "'");
    std::size_t chosen = found->second.front();
    for (std::size_t index : found->second) {
        if (!fields_[index]->assigned_) {
            chosen = index;
            break;
        }
    }
    next_ = chosen + 1;
    return *fields_[chosen];
}

void FieldList::clearAssigned() {
    for (auto& field : fields_) field->assigned_ = false;
    next_ = 0;
}

}  // namespace pontrel::shapefile
